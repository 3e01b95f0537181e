// Json: shortest float decimals and the one layout of every JSON file written.
#include "core/Json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kJsonIndent = 2;
// Nine significant digits tell every float apart; fewer usually do.
constexpr int kFewestDigits = 1;
constexpr int kFloatDigits = 9;

} // namespace

double JsonFloat(float value) {
    if (!std::isfinite(value))
        return double(value);
    char text[32];
    for (int digits = kFewestDigits; digits < kFloatDigits; ++digits) {
        std::snprintf(text, sizeof(text), "%.*g", digits, double(value));
        if (std::strtof(text, nullptr) == value)
            return std::strtod(text, nullptr);
    }
    std::snprintf(text, sizeof(text), "%.*g", kFloatDigits, double(value));
    return std::strtod(text, nullptr);
}

Json JsonVec3(const glm::vec3& v) {
    return Json::array({JsonFloat(v.x), JsonFloat(v.y), JsonFloat(v.z)});
}

std::string JsonText(const Json& document) {
    return document.dump(kJsonIndent, ' ', false, Json::error_handler_t::replace) + "\n";
}
