// Options: the command-line pieces every program of the project shares: an
// option's value, "x,y,z" vectors, numbers in a range, counts, switches and
// settings kept in hundredths, each with the sentence that tells the user
// what was wrong. Parsers accept exactly what they document and name the
// offending text; nothing is clamped or guessed.
#pragma once

#include <string>
#include <vector>

#include <glm/glm.hpp>

// Splits on ',' keeping empty fields, so "1,,2" and "1," are seen as malformed.
std::vector<std::string> SplitFields(const std::string& text);
// "x,y,z" with each component as FloatText writes it.
std::string VectorText(const glm::vec3& v);

// Each parser returns true and fills its result, or returns false with a
// sentence for the user in *error (the result is then left unchanged).
bool ParseVector(const std::string& text, glm::vec3* out, std::string* error);
// A vector with a finite, non-zero length.
bool ParseDirection(const std::string& text, glm::vec3* out, std::string* error);
// A finite number greater than 0; what names it in the message ("radius").
bool ParsePositive(const std::string& text, const char* what, float* out, std::string* error);
// A finite length greater than 0 (the tools' occlusion radius).
bool ParseRadius(const std::string& text, float* out, std::string* error);
// A finite number in [minimum, maximum].
bool ParseInRange(const std::string& text, const char* what, float minimum, float maximum,
                  float* out, std::string* error);
// A whole number of hundredths from 0 to maximumHundredths (a setting the
// keys step by hundredths): "0.9" and "1.25" are taken, "0.905" and "1e-45"
// are refused with a message saying so, never rounded to another value.
bool ParseHundredths(const std::string& text, const char* what, int maximumHundredths, float* out,
                     std::string* error);
// A whole number in [minimum, maximum].
bool ParseCount(const std::string& text, int minimum, int maximum, int* out, std::string* error);
// "on" or "off".
bool ParseSwitch(const std::string& name, const std::string& text, bool* out, std::string* error);
// The value after the option at argv[*index] (*index moves onto it), or null
// with "NAME needs a value" when the option is last.
const char* OptionValue(int argc, char** argv, int* index, std::string* error);
