// Serialises a Scene as Wavefront OBJ + MTL text: quantised, de-duplicated vertex attributes and
// a fast fixed-point number formatter so a few hundred thousand faces format in well under a
// second.
#pragma once

#include "Mesh.h"

#include <cstdint>
#include <string>

namespace scenegen {

// Decimal places kept in the file. Positions: 0.01 model units (sub-millimetre at the demo's
// scale); normals and UVs: 0.001 (well under a texel of a 512-pixel texture).
constexpr int kPositionDecimals = 2;
constexpr int kNormalDecimals = 3;
constexpr int kUvDecimals = 3;

// Formats value rounded to `decimals` places without trailing zeros and never as "-0",
// e.g. (1.5, 2) -> "1.5", (-0.001, 2) -> "0", (2.0, 3) -> "2".
std::string formatFixed(float value, int decimals);

// OBJ text: one `o` object with a single `usemtl` per non-empty mesh, so importers create exactly
// one mesh per object. Identical positions, normals and UVs (after rounding) share one index.
std::string formatObj(const Scene& scene, const std::string& mtlFileName);

// MTL text. Textured materials reference texturePrefix + name + ".png" verbatim.
std::string formatMtl(const Scene& scene, const std::string& texturePrefix);

} // namespace scenegen
