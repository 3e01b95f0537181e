// JsonText: text as a JSON string literal, for the reports and the view files.
#pragma once

#include <string>

// text in double quotes with quotes, backslashes and control characters escaped.
std::string JsonQuoted(const std::string& text);
