// AssetFile: reads a whole run-time asset (shader source, image, font) into
// memory through an SDL file stream, and logs the ways that can fail.
#pragma once

#include <cstddef>
#include <cstdint>

struct AssetFile {
    // The bytes read, followed by one NUL so text assets are C strings.
    unsigned char* data = nullptr;
    // Bytes actually read: a short read hands on only what arrived, never
    // uninitialised memory.
    size_t size = 0;
};

// Reads path whole. 0 on success; -1, with one error line under tag, when
// the file can't be opened ("Error while loading <kind> ..."), its size is
// unknown or zero ("Unable to determine file size for ..."), it is larger
// than limit bytes, or memory runs out. Release with FreeAssetFile.
int ReadAssetFile(const char* path, const char* tag, const char* kind, AssetFile* file,
                  uint64_t limit = UINT64_MAX - 1);
void FreeAssetFile(AssetFile* file);
