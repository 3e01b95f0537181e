// OutputFile: the tools' reports and images reach their place whole or not
// at all: written beside the target, renamed over it only once every byte
// and the close have succeeded.
#pragma once

#include <cstddef>
#include <string>

// The name under which a report is asked for on standard output.
constexpr const char* kStandardOutputName = "-";

// Whether path, links followed (/dev/stdout, /proc/self/fd/1), is the very
// file, pipe or terminal standard output writes to (same device and inode),
// also when it is the file the output was redirected to by name. Writing a
// report there by name would replace what was printed, or fail on a pipe.
bool IsStandardOutput(const std::string& path);

// Writes size bytes of data as path. True on success; false with a sentence
// in *error ("cannot write \"<path>\": <reason>"), and then whatever was at
// path before is still there, untouched, and no temporary file is left, also
// when a signal ends the process meanwhile. Only a missing path or a regular
// file is replaced. A symbolic link is written through: its target gets the
// new contents and the link stays. A file replaced keeps its mode (and its
// owner and group where this process may give them). The replacement is a
// new file, so other hard links to the old one keep the old contents.
// Standard output's own file is refused (see IsStandardOutput).
// One write at a time per process (the signal handler knows one temporary).
bool WriteFileWhole(const std::string& path, const void* data, size_t size, std::string* error);

// WriteFileWhole, or for kStandardOutputName the bytes on standard output
// (a failure there shows in FinishStandardOutput).
bool WriteFileOrStandardOutput(const std::string& path, const void* data, size_t size,
                               std::string* error);

// Checks, before a long run, that WriteFileWhole(path) can succeed as far as
// names and permissions go: the name fits, path is missing, a regular file or
// a link to one, and its folder lets a file be made and renamed there (write
// and search permission, a writable file system). Nothing is left behind.
// kStandardOutputName passes.
// False with the same kind of sentence in *error.
bool CheckOutputFile(const std::string& path, std::string* error);

// Whether a file can be made in folder (by making and removing one); false
// with the reason in *error ("cannot write in \"<folder>\": <reason>").
bool CheckFolderWritable(const std::string& folder, std::string* error);

// Flushes standard output and says, for tool, whether all of it was written.
// When it was not (a reader that closed the pipe early, a full disk), prints
// one line on standard error and returns false: the caller exits non-zero.
bool FinishStandardOutput(const char* tool);
