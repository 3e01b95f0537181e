// OutputFile: the tools' reports and images reach their place whole or not
// at all: written beside the target, renamed over it only once every byte
// and the close have succeeded.
#pragma once

#include <cstddef>
#include <string>

// Writes size bytes of data as path. True on success; false with a sentence
// in *error ("cannot write \"<path>\": <reason>"), and then whatever was at
// path before is still there, untouched, and no temporary file is left. Only
// a missing path or a regular file is replaced.
bool WriteFileWhole(const std::string& path, const void* data, size_t size, std::string* error);
