// Options: parsing of the command-line pieces every program shares.
#include "core/Options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "core/FloatText.h"

namespace {

constexpr float kHundredthsPerUnit = 100.0f;

enum class FloatField { Ok, Malformed, Overflows, Underflows };

// The whole field must be one finite number: strtof alone stops at the first
// character it can't use and accepts "inf" and "nan". A number whose
// magnitude lies beyond a float's range either way is told apart, since it is
// well formed and a bare "malformed" would mislead.
FloatField ParseFloatField(const std::string& field, float* out) {
    if (field.empty() || std::isspace(static_cast<unsigned char>(field[0])))
        return FloatField::Malformed;
    char* end = nullptr;
    errno = 0;
    float value = std::strtof(field.c_str(), &end);
    if (*end != '\0' || std::isnan(value) || (std::isinf(value) && errno != ERANGE))
        return FloatField::Malformed;
    if (errno == ERANGE)
        return std::isinf(value) ? FloatField::Overflows : FloatField::Underflows;
    *out = value;
    return FloatField::Ok;
}

// Why a well-formed number can't be used, for the messages below.
const char* RangeReason(FloatField result) {
    return result == FloatField::Overflows ? "is too large for a float (it overflows)"
                                           : "is too close to 0 for a float (it underflows)";
}

bool ParseLongField(const std::string& field, long* out) {
    if (field.empty() || !(std::isdigit(static_cast<unsigned char>(field[0])) || field[0] == '-'))
        return false;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(field.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0')
        return false;
    *out = value;
    return true;
}

} // namespace

std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return fields;
        start = comma + 1;
    }
}

std::string VectorText(const glm::vec3& v) {
    return FloatText(v.x) + "," + FloatText(v.y) + "," + FloatText(v.z);
}

bool ParseVector(const std::string& text, glm::vec3* out, std::string* error) {
    std::vector<std::string> fields = SplitFields(text);
    glm::vec3 v(0.0f);
    FloatField result = fields.size() == 3 ? FloatField::Ok : FloatField::Malformed;
    size_t i = 0;
    for (; result == FloatField::Ok && i < 3; ++i)
        result = ParseFloatField(fields[i], &v[int(i)]);
    if (result == FloatField::Malformed) {
        *error = "malformed vector \"" + text + "\": expected three finite numbers x,y,z";
        return false;
    }
    if (result != FloatField::Ok) {
        *error = "bad vector \"" + text + "\": \"" + fields[i - 1] + "\" " + RangeReason(result);
        return false;
    }
    *out = v;
    return true;
}

bool ParseDirection(const std::string& text, glm::vec3* out, std::string* error) {
    glm::vec3 dir(0.0f);
    if (!ParseVector(text, &dir, error))
        return false;
    // Each component is a finite float, so a length that is not finite
    // overflowed in the squares.
    const float length = glm::length(dir);
    if (!std::isfinite(length) || !(length > 0.0f)) {
        *error =
            "bad direction \"" + text + "\": " +
            (std::isfinite(length) ? "it has no length" : "it is too large (its length overflows)");
        return false;
    }
    *out = dir;
    return true;
}

bool ParsePositive(const std::string& text, const char* what, float* out, std::string* error) {
    float r = 0.0f;
    FloatField result = ParseFloatField(text, &r);
    if (result == FloatField::Overflows || (result == FloatField::Underflows && text[0] != '-')) {
        *error = "bad " + std::string(what) + " \"" + text + "\": it " + RangeReason(result);
        return false;
    }
    if (result != FloatField::Ok || !(r > 0.0f)) {
        *error = "bad " + std::string(what) + " \"" + text +
                 "\": expected a finite number greater than 0";
        return false;
    }
    *out = r;
    return true;
}

bool ParseRadius(const std::string& text, float* out, std::string* error) {
    return ParsePositive(text, "radius", out, error);
}

bool ParseInRange(const std::string& text, const char* what, float minimum, float maximum,
                  float* out, std::string* error) {
    float value = 0.0f;
    FloatField result = ParseFloatField(text, &value);
    if (result == FloatField::Underflows)
        result = FloatField::Ok; // a denormal-sized value is as good as 0 here
    if (result != FloatField::Ok || value < minimum || value > maximum) {
        *error = "bad " + std::string(what) + " \"" + text + "\": expected a number from " +
                 FloatText(minimum) + " to " + FloatText(maximum);
        return false;
    }
    *out = value;
    return true;
}

// The value is taken when it is the float of a whole number of hundredths:
// what the keys reach and what a reopening command writes back. A number too
// close to 0 for a float is not 0 hundredths either.
bool ParseHundredths(const std::string& text, const char* what, int maximumHundredths, float* out,
                     std::string* error) {
    const float maximum = float(maximumHundredths) / kHundredthsPerUnit;
    float value = 0.0f;
    const FloatField result = ParseFloatField(text, &value);
    if (result == FloatField::Malformed || result == FloatField::Overflows || value < 0.0f ||
        value > maximum) {
        *error = "bad " + std::string(what) + " \"" + text + "\": expected a number from 0 to " +
                 FloatText(maximum) + " in hundredths";
        return false;
    }
    const long hundredths = std::lround(double(value) * kHundredthsPerUnit);
    const float kept = float(hundredths) / kHundredthsPerUnit;
    if (result == FloatField::Underflows || kept != value) {
        *error = "bad " + std::string(what) + " \"" + text +
                 "\": the setting is kept in hundredths (e.g. " + FloatText(kept) +
                 "); give a whole number of hundredths from 0 to " + FloatText(maximum);
        return false;
    }
    *out = kept;
    return true;
}

bool ParseCount(const std::string& text, int minimum, int maximum, int* out, std::string* error) {
    long n = 0;
    if (!ParseLongField(text, &n) || n < minimum || n > maximum) {
        *error = "bad count \"" + text + "\": expected a whole number from " +
                 std::to_string(minimum) + " to " + std::to_string(maximum);
        return false;
    }
    *out = int(n);
    return true;
}

bool ParseSwitch(const std::string& name, const std::string& text, bool* out, std::string* error) {
    if (text != "on" && text != "off") {
        *error = "bad " + name + " \"" + text + "\": expected on or off";
        return false;
    }
    *out = text == "on";
    return true;
}

const char* OptionValue(int argc, char** argv, int* index, std::string* error) {
    if (*index + 1 >= argc) {
        *error = std::string(argv[*index]) + " needs a value";
        return nullptr;
    }
    ++*index;
    return argv[*index];
}
