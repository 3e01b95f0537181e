// FloatText: the shortest decimal that reads back as the same float.
#include "core/FloatText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Nine significant digits tell every float apart; fewer usually do.
constexpr int kFewestDigits = 1;
constexpr int kFloatDigits = 9;
// Below this a whole float is exact in "%.0f" and still short.
constexpr float kWholeTextLimit = 1e7f;

} // namespace

std::string FloatText(float value) {
    char text[48];
    if (!std::isfinite(value)) {
        std::snprintf(text, sizeof(text), "%g", double(value));
        return text;
    }
    if (value == std::trunc(value) && std::fabs(value) < kWholeTextLimit) {
        std::snprintf(text, sizeof(text), "%.0f", double(value));
        return text;
    }
    for (int digits = kFewestDigits; digits < kFloatDigits; ++digits) {
        std::snprintf(text, sizeof(text), "%.*g", digits, double(value));
        if (std::strtof(text, nullptr) == value)
            return text;
    }
    std::snprintf(text, sizeof(text), "%.*g", kFloatDigits, double(value));
    return text;
}
