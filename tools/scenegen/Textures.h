// Procedural diffuse textures (seamlessly tiling stone, brick, tiles, marble, wood, fabric, ...,
// and one banner with a clear top and bottom) and their PNG encoding.
#pragma once

#include "Math.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scenegen {

struct Image {
    int size = 0;             // square: size x size pixels
    std::vector<uint8_t> rgb; // row-major, top row first, 3 bytes per pixel

    explicit Image(int side) : size(side), rgb(static_cast<size_t>(side) * side * 3, 0) {}
    void set(int x, int y, Vec3 colour);
    Vec3 get(int x, int y) const;
};

using Painter = void (*)(Image&);

struct TextureRecipe {
    std::string name; // also the PNG's base name
    int size;
    Painter paint;
    bool tiles = true; // false for a picture stretched once over its surface (the banner)
};

// Every texture the scene uses, in a fixed order.
const std::vector<TextureRecipe>& textureCatalogue();

Image paintTexture(const TextureRecipe& recipe);

// PNG bytes (RGB, 8 bits per channel); empty on failure.
std::vector<uint8_t> encodePng(const Image& image);

} // namespace scenegen
