// PngWrite: the one PNG encoder of the demo and the tools (stb_image_write),
// encoding in memory, so that a file is written whole or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The file's bytes, or empty with the reason.
struct PngBytes {
    std::vector<uint8_t> bytes;
    std::string reason; // empty when encoded
};

// The zlib effort of every later encoding (stb's default 8; it takes at
// least 5). Process-wide: set it before encoding on any thread.
void SetPngCompressionLevel(int level);

// pixels: rows top first, tightly packed, channels 1 (grey) to 4 (RGBA).
PngBytes EncodePng(int width, int height, int channels, const std::vector<uint8_t>& pixels);
