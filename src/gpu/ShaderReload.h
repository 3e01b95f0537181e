// ShaderReload: builds a program again from its files while the old one keeps
// running: only a program that compiled and linked replaces it, and the file
// that failed with the driver's first complaint is handed back for the screen.
#pragma once

#include "gpu/ShaderProgram.h"

// Loads the program anew. 0: record holds the new program (the old one is
// released). -1: record is untouched and *failure names the file that failed
// and its first error line (the whole message is in the log as usual).
int ReloadShaderProgram(const ShaderSource& source, ShaderFailure* failure);
