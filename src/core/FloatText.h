// FloatText: the one way a float is written as text for people and files:
// the shortest decimal that reads back as the same float.
#pragma once

#include <string>

// 0.9f is "0.9", not "0.899999976"; whole numbers below ten million are
// written in full ("10", not "1e+01"); otherwise up to nine significant
// digits, which tell every float apart. Not finite: "nan", "inf" or "-inf".
std::string FloatText(float value);
