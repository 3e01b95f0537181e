// Json: the one JSON writer and reader of the demo and the tools. Documents
// are nlohmann's ordered_json, so fields are written in the order they were
// set; a number that is not finite (NaN, infinity) is written as null.
#pragma once

#include <string>

#include <glm/vec3.hpp>
#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

// A float as the shortest decimal that reads back as the same float: 0.3f is
// written 0.3, as it was typed, not 0.30000001192092896.
double JsonFloat(float value);

// [x, y, z], each as JsonFloat.
Json JsonVec3(const glm::vec3& v);

// The document as text: two-space indents and a final newline; bytes that are
// not UTF-8 (a path in another encoding) become U+FFFD rather than failing.
std::string JsonText(const Json& document);
