// AssetFile: reads a whole run-time asset (shader source, image, font) into
// memory through an SDL file stream, and logs the ways that can fail. Only
// regular files are ever opened for reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct SDL_RWops;

struct AssetFile {
    // The bytes read, followed by one NUL so text assets are C strings.
    unsigned char* data = nullptr;
    // Bytes actually read: a short read hands on only what arrived, never
    // uninitialised memory.
    size_t size = 0;
    // Why the read failed (the line logged), for callers that hand it on.
    std::string failure;
};

// Reads path whole. 0 on success; -1, with one error line under tag, when
// the file can't be opened or is not a regular file ("Error while loading
// <kind> ...: <reason>"), is empty ("...: the file is empty"), its size is
// unknown ("Unable to determine file size for ..."), it is larger than limit
// bytes ("...: file too large (<size> bytes, at most <limit>)"), or memory
// runs out. Release with FreeAssetFile.
int ReadAssetFile(const char* path, const char* tag, const char* kind, AssetFile* file,
                  uint64_t limit = UINT64_MAX - 1);
void FreeAssetFile(AssetFile* file);

// Opens path for reading as an SDL stream, but only when it names a regular
// file. A directory has no size a reader could use, and a FIFO without a
// writer would block open() for ever, so anything else is refused without
// being read. Null on failure, with the reason in SDL_GetError(); notRegular
// (when given) tells a refused file type from a missing or unreadable file.
SDL_RWops* OpenRegularFile(const char* path, bool* notRegular = nullptr);

// Whether anything (file, directory, FIFO, symbolic link, even one that leads
// nowhere) is at path; nothing is opened.
bool PathExists(const char* path);
