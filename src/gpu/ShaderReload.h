// ShaderReload: builds a program again from its files while the old one keeps
// running: only a program that compiled and linked replaces it, and the
// compiler's first complaint is handed back for the screen.
#pragma once

#include <string>

#include "gpu/ShaderProgram.h"

// The files of one program and the record it lives in.
struct ShaderSource {
    ShaderProgram* record;
    const char* vertexPath;
    const char* fragmentPath;
};

// Loads the program anew. 0: record holds the new program (the old one is
// released). -1: record is untouched and *firstError holds the first error
// line the loader logged (the whole message is in the log as usual).
int ReloadShaderProgram(const ShaderSource& source, std::string* firstError);

// The first line worth showing of a failed load's log text: the first line
// of the GL info log when there is one, else the first error message.
std::string FirstErrorLine(const std::string& logText);
