// Json: shortest float decimals and the one layout of every JSON file written.
#include "core/Json.h"

#include "core/FloatText.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr int kJsonIndent = 2;

} // namespace

double JsonFloat(float value) {
    if (!std::isfinite(value))
        return double(value);
    return std::strtod(FloatText(value).c_str(), nullptr);
}

Json JsonVec3(const glm::vec3& v) {
    return Json::array({JsonFloat(v.x), JsonFloat(v.y), JsonFloat(v.z)});
}

std::string JsonText(const Json& document) {
    return document.dump(kJsonIndent, ' ', false, Json::error_handler_t::replace) + "\n";
}
