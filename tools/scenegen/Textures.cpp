// Procedural texture painters. Every tiling pattern is built from integer repeat counts and noise
// whose lattice wraps at the image edge, so it tiles without seams.
#include "Textures.h"

#include "Random.h"

#include "image/PngWrite.h"

#include <algorithm>
#include <cmath>

namespace scenegen {

namespace {

constexpr int kStandardSize = 512;
constexpr int kLargeSize = 1024;
// stb's zlib effort (it clamps to at least 5); low effort keeps PNG encoding inside the
// generator's time budget and costs only a little file size on noisy images.
constexpr int kPngCompression = 5;

float fract(float x) {
    return x - std::floor(x);
}

int wrap(int i, int period) {
    const int m = i % period;
    return m < 0 ? m + period : m;
}

// Value noise over the unit square whose lattice (periodU x periodV cells) wraps at the edges.
float valueNoise(float u, float v, int periodU, int periodV, uint32_t seed) {
    const float x = u * periodU, y = v * periodV;
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    auto at = [&](int i, int j) {
        return hash01(static_cast<uint32_t>(wrap(i, periodU)),
                      static_cast<uint32_t>(wrap(j, periodV)), seed);
    };
    const float top = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * tx;
    const float bottom = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * tx;
    return top + (bottom - top) * ty;
}

// Fractal sum of octaves, each doubling the lattice frequency; result in [0, 1].
float fbm(float u, float v, int periodU, int periodV, int octaves, uint32_t seed) {
    float sum = 0.0f, amplitude = 1.0f, total = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * valueNoise(u, v, periodU << o, periodV << o, seed + 101u * o);
        total += amplitude;
        amplitude *= 0.5f;
    }
    return sum / total;
}

// Painters work in texture space as OBJ defines it: u to the right, v up from the image's bottom
// row. Images are stored top row first, so pixel row y sits at v = 1 - (y + 0.5) / size.
template <class Shader> void paintPixels(Image& img, Shader shade) {
    const float inv = 1.0f / static_cast<float>(img.size);
    for (int y = 0; y < img.size; ++y) {
        const float v = 1.0f - (y + 0.5f) * inv;
        for (int x = 0; x < img.size; ++x) {
            img.set(x, y, shade((x + 0.5f) * inv, v));
        }
    }
}

Vec3 mul(Vec3 a, Vec3 b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}

// Fine per-pixel grit, tileable because it is keyed by the wrapped pixel position.
float grit(float u, float v, uint32_t seed) {
    return hash01(static_cast<uint32_t>(u * 4096.0f), static_cast<uint32_t>(v * 4096.0f), seed);
}

// ---- Coursed blocks: ashlar, brick, square floor tiles --------------------------------------

struct Courses {
    Vec3 block{};
    Vec3 mortar{};
    int rows = 0;
    int perRow = 0;
    float mortarFraction = 0.0f; // joint width as a fraction of a block's height
    bool runningBond = false;    // half-block offset on alternate rows instead of random offsets
    float tintVariation = 0.0f;
    float bevelFraction = 0.0f; // shading ramp next to joints, fraction of block height
    uint32_t seed = 0;
};

Vec3 shadeCourses(const Courses& c, float u, float v) {
    const float rowF = v * c.rows;
    const int row = static_cast<int>(rowF);
    const float lv = rowF - row;
    const float offset = c.runningBond ? 0.5f * (row % 2) : hash01(row, 7u, c.seed);
    const float colF = u * c.perRow + offset;
    const int col = wrap(static_cast<int>(std::floor(colF)), c.perRow);
    const float lu = fract(colF);
    // Distances to the nearest joint, measured in block heights so joints look even.
    const float aspect = static_cast<float>(c.rows) / c.perRow;
    const float edge = std::min(std::min(lu, 1.0f - lu) * aspect, std::min(lv, 1.0f - lv));
    const float half = c.mortarFraction * 0.5f;
    if (edge < half)
        return c.mortar * (0.8f + 0.35f * fbm(u, v, 32, 32, 2, c.seed + 3u));

    const auto r = static_cast<uint32_t>(row), k = static_cast<uint32_t>(col);
    const float tint = 1.0f + c.tintVariation * (2.0f * hash01(k, r, c.seed) - 1.0f);
    const Vec3 hue{1.0f + 0.06f * (hash01(k, r, c.seed + 1u) - 0.5f), 1.0f,
                   1.0f + 0.08f * (hash01(k, r, c.seed + 2u) - 0.5f)};
    const float grain = 0.72f + 0.45f * fbm(u, v, 16, 16, 4, c.seed + 4u);
    const float bevel = 0.78f + 0.22f * smoothstep(half, half + c.bevelFraction, edge);
    const float speck = 0.94f + 0.08f * grit(u, v, c.seed + 5u);
    return mul(c.block, hue) * (tint * grain * bevel * speck);
}

void paintCourses(Image& img, const Courses& c) {
    paintPixels(img, [&](float u, float v) { return shadeCourses(c, u, v); });
}

void paintStoneBlocks(Image& img) {
    paintCourses(
        img,
        {{0.74f, 0.69f, 0.60f}, {0.45f, 0.43f, 0.40f}, 4, 2, 0.035f, false, 0.10f, 0.10f, 11u});
}

void paintStoneDark(Image& img) {
    paintCourses(
        img, {{0.50f, 0.45f, 0.40f}, {0.28f, 0.26f, 0.24f}, 4, 3, 0.05f, false, 0.14f, 0.12f, 12u});
}

void paintBrick(Image& img) {
    paintCourses(
        img, {{0.62f, 0.30f, 0.20f}, {0.72f, 0.70f, 0.64f}, 16, 8, 0.14f, true, 0.16f, 0.10f, 13u});
}

void paintTerracottaTiles(Image& img) {
    paintCourses(
        img, {{0.70f, 0.40f, 0.25f}, {0.52f, 0.48f, 0.42f}, 4, 4, 0.04f, true, 0.12f, 0.05f, 14u});
}

// ---- Stone surfaces ----------------------------------------------------------------------------

// Thin dark veins: ridges of a sine whose phase is perturbed by fractal noise.
float marbleVein(float u, float v, uint32_t seed) {
    const float turbulence = fbm(u, v, 4, 4, 5, seed);
    const float s = 0.5f + 0.5f * std::sin(2.0f * kPi * (2.0f * u + v) + 9.0f * turbulence);
    // s^14 by squaring: std::pow per pixel dominated the marble painters.
    const float s2 = s * s, s4 = s2 * s2, s8 = s4 * s4;
    return s8 * s4 * s2;
}

Vec3 marble(float u, float v, Vec3 base, Vec3 vein, uint32_t seed) {
    const float cloud = 0.85f + 0.2f * fbm(u, v, 3, 3, 4, seed + 1u);
    const float veinWeight = 0.75f * marbleVein(u, v, seed) +
                             0.35f * marbleVein(fract(v + 0.37f), fract(u + 0.11f), seed + 7u);
    return lerp(base * cloud, vein, clamp01(veinWeight));
}

void paintMarbleWhite(Image& img) {
    paintPixels(img, [](float u, float v) {
        return marble(u, v, {0.90f, 0.88f, 0.84f}, {0.45f, 0.45f, 0.48f}, 21u);
    });
}

void paintMarbleGreen(Image& img) {
    paintPixels(img, [](float u, float v) {
        return marble(u, v, {0.22f, 0.40f, 0.32f}, {0.85f, 0.88f, 0.82f}, 22u);
    });
}

void paintFloorTiles(Image& img) {
    constexpr int kTiles = 4;
    constexpr float kGrout = 0.012f;
    paintPixels(img, [](float u, float v) {
        const int tx = static_cast<int>(u * kTiles), ty = static_cast<int>(v * kTiles);
        const float lu = fract(u * kTiles), lv = fract(v * kTiles);
        const float edge = std::min(std::min(lu, 1.0f - lu), std::min(lv, 1.0f - lv));
        if (edge < kGrout)
            return Vec3{0.35f, 0.33f, 0.30f};
        const bool light = (tx + ty) % 2 == 0;
        const Vec3 stone = light ? marble(u, v, {0.86f, 0.82f, 0.72f}, {0.55f, 0.50f, 0.45f}, 23u)
                                 : marble(u, v, {0.46f, 0.46f, 0.48f}, {0.75f, 0.75f, 0.76f}, 24u);
        const float tint = 0.92f + 0.16f * hash01(tx, ty, 25u);
        const float bevel = 0.85f + 0.15f * smoothstep(kGrout, kGrout * 3.0f, edge);
        return stone * (tint * bevel);
    });
}

void paintSandstone(Image& img) {
    paintPixels(img, [](float u, float v) {
        const float strata =
            0.5f + 0.5f * std::sin(2.0f * kPi * (6.0f * v) + 4.0f * fbm(u, v, 4, 4, 3, 31u));
        const float blotch = fbm(u, v, 8, 8, 5, 32u);
        const Vec3 base{0.82f, 0.71f, 0.54f};
        return base * (0.78f + 0.12f * strata + 0.2f * blotch) * (0.93f + 0.1f * grit(u, v, 33u));
    });
}

// Worn paving slabs with diagonal chisel dressing.
void paintStoneSteps(Image& img) {
    const Courses slabs{
        {0.60f, 0.59f, 0.55f}, {0.36f, 0.35f, 0.33f}, 2, 2, 0.02f, true, 0.08f, 0.04f, 41u};
    paintPixels(img, [&slabs](float u, float v) {
        const float chisel = 0.5f + 0.5f * std::sin(2.0f * kPi * 48.0f * (u + v));
        return shadeCourses(slabs, u, v) * (0.94f + 0.08f * chisel);
    });
}

// Cornice stone: painted mouldings (fillets, a dentil course) on a pale limestone.
void paintStoneBands(Image& img) {
    constexpr int kBands = 3;
    constexpr int kDentils = 16;
    paintPixels(img, [](float u, float v) {
        const float lv = fract(v * kBands);
        float shade = 0.88f + 0.12f * std::sin(2.0f * kPi * lv);
        if (lv < 0.04f || std::fabs(lv - 0.5f) < 0.02f)
            shade = 0.55f;
        if (lv > 0.62f && lv < 0.82f && fract(u * kDentils) < 0.45f)
            shade *= 0.72f;
        const Vec3 base{0.80f, 0.76f, 0.66f};
        return base * shade * (0.85f + 0.2f * fbm(u, v, 8, 8, 4, 51u));
    });
}

void paintPlaster(Image& img) {
    paintPixels(img, [](float u, float v) {
        const float blotch = fbm(u, v, 3, 3, 5, 61u);
        const float stain = smoothstep(0.62f, 0.8f, fbm(u, v, 2, 2, 4, 62u));
        const Vec3 base{0.87f, 0.82f, 0.72f};
        const Vec3 stained{0.66f, 0.60f, 0.50f};
        return lerp(base * (0.9f + 0.14f * blotch), stained, 0.6f * stain) *
               (0.96f + 0.05f * grit(u, v, 63u));
    });
}

// ---- Wood --------------------------------------------------------------------------------------

// Growth rings running along `along`, distorted so they meander like sawn timber.
float woodGrain(float along, float across, uint32_t seed) {
    const float warp = fbm(along, across, 2, 8, 4, seed);
    const float rings = 0.5f + 0.5f * std::sin(2.0f * kPi * (14.0f * across + 3.0f * warp));
    const float streaks = fbm(along, across, 4, 64, 3, seed + 1u);
    return 0.6f * rings + 0.4f * streaks;
}

void paintWoodBeams(Image& img) {
    paintPixels(img, [](float u, float v) {
        const float g = woodGrain(u, v, 71u);
        return lerp(Vec3{0.30f, 0.18f, 0.09f}, Vec3{0.56f, 0.37f, 0.20f}, g);
    });
}

void paintWoodPanels(Image& img) {
    constexpr int kPlanks = 6;
    paintPixels(img, [](float u, float v) {
        const int plank = static_cast<int>(u * kPlanks);
        const float lu = fract(u * kPlanks);
        const float g = woodGrain(v, fract(u + 0.3f * plank), 81u + static_cast<uint32_t>(plank));
        Vec3 c = lerp(Vec3{0.25f, 0.13f, 0.06f}, Vec3{0.47f, 0.28f, 0.14f}, g);
        c = c * (0.85f + 0.3f * hash01(static_cast<uint32_t>(plank), 0u, 82u));
        if (lu < 0.03f || lu > 0.97f)
            c = c * 0.35f;
        // Iron nail heads near the top and bottom rails.
        const float nu = lu - 0.5f, nv = fract(v * 2.0f) - 0.1f;
        if (nu * nu + nv * nv * 36.0f < 0.0025f)
            c = Vec3{0.12f, 0.12f, 0.13f};
        return c;
    });
}

// ---- Roof tiles ---------------------------------------------------------------------------------

void paintRoofTiles(Image& img) {
    constexpr int kRows = 8;
    constexpr int kPerRow = 8;
    paintPixels(img, [](float u, float v) {
        const int row = static_cast<int>(v * kRows);
        const float lv = fract(v * kRows);
        const float colF = u * kPerRow + 0.5f * (row % 2);
        const int col = wrap(static_cast<int>(std::floor(colF)), kPerRow);
        const float lu = fract(colF);
        const float barrel = 0.55f + 0.45f * std::sin(kPi * lu);
        const float overlap = 0.55f + 0.45f * smoothstep(0.0f, 0.25f, lv);
        if (lu < 0.03f || lu > 0.97f)
            return Vec3{0.18f, 0.10f, 0.07f};
        const float tint =
            0.85f + 0.3f * hash01(static_cast<uint32_t>(col), static_cast<uint32_t>(row), 91u);
        const Vec3 clay{0.66f, 0.30f, 0.18f};
        return clay * (tint * barrel * overlap * (0.8f + 0.3f * fbm(u, v, 16, 16, 3, 92u)));
    });
}

// ---- Fabric -------------------------------------------------------------------------------------

// Plain weave under a lozenge damask: the motif reads from across the courtyard, the weave up
// close.
Vec3 fabric(float u, float v, Vec3 base, Vec3 accent, uint32_t seed) {
    constexpr int kThreads = 128;
    constexpr int kMotifs = 4;
    const int tu = static_cast<int>(u * kThreads), tv = static_cast<int>(v * kThreads);
    const bool warpOnTop = (tu + tv) % 2 == 0;
    const float across = warpOnTop ? fract(u * kThreads) : fract(v * kThreads);
    const float thread = 0.82f + 0.18f * std::sin(kPi * across);
    const float du = std::fabs(fract(u * kMotifs) - 0.5f),
                dv = std::fabs(fract(v * kMotifs) - 0.5f);
    const float diamond = du + dv;
    Vec3 c = base;
    if (std::fabs(diamond - 0.32f) < 0.025f || diamond < 0.07f)
        c = accent;
    if (std::fabs(fract(v * 2.0f) - 0.5f) < 0.012f)
        c = accent;
    const float fold = 0.9f + 0.15f * fbm(u, v, 4, 4, 3, seed);
    return c * (thread * fold);
}

void paintFabricRed(Image& img) {
    paintPixels(img, [](float u, float v) {
        return fabric(u, v, {0.55f, 0.08f, 0.07f}, {0.85f, 0.65f, 0.25f}, 101u);
    });
}

void paintFabricGreen(Image& img) {
    paintPixels(img, [](float u, float v) {
        return fabric(u, v, {0.10f, 0.36f, 0.16f}, {0.80f, 0.76f, 0.55f}, 102u);
    });
}

void paintFabricBlue(Image& img) {
    paintPixels(img, [](float u, float v) {
        return fabric(u, v, {0.10f, 0.16f, 0.45f}, {0.78f, 0.70f, 0.40f}, 103u);
    });
}

// ---- Vases, mosaic, foliage -------------------------------------------------------------------

void paintTerracottaVase(Image& img) {
    constexpr int kZigzags = 16;
    paintPixels(img, [](float u, float v) {
        const Vec3 clay{0.74f, 0.42f, 0.24f};
        const Vec3 glaze{0.12f, 0.08f, 0.06f};
        const float lv = fract(v * 2.0f);
        const float zig = std::fabs(fract(u * kZigzags) - 0.5f) * 2.0f;
        const bool band = (lv > 0.10f && lv < 0.16f) || (lv > 0.84f && lv < 0.90f);
        const bool zigzag = std::fabs(lv - (0.32f + 0.36f * zig)) < 0.035f;
        const Vec3 c = band || zigzag ? glaze : clay;
        return c * (0.85f + 0.2f * fbm(u, v, 8, 8, 4, 111u));
    });
}

void paintMosaic(Image& img) {
    constexpr int kTesserae = 32;
    constexpr int kMotif = 8;
    static const Vec3 kPalette[] = {
        {0.86f, 0.82f, 0.70f}, {0.62f, 0.20f, 0.14f}, {0.15f, 0.14f, 0.13f}, {0.78f, 0.58f, 0.22f}};
    paintPixels(img, [](float u, float v) {
        const int tx = static_cast<int>(u * kTesserae), ty = static_cast<int>(v * kTesserae);
        const float lu = fract(u * kTesserae), lv = fract(v * kTesserae);
        if (std::min(std::min(lu, 1.0f - lu), std::min(lv, 1.0f - lv)) < 0.08f) {
            return Vec3{0.30f, 0.29f, 0.27f};
        }
        const float cx = std::fabs((tx % kMotif) - 3.5f), cy = std::fabs((ty % kMotif) - 3.5f);
        const int ring = static_cast<int>(cx + cy) / 2;
        const float jitter =
            0.85f + 0.25f * hash01(static_cast<uint32_t>(tx), static_cast<uint32_t>(ty), 121u);
        return kPalette[ring % 4] * jitter;
    });
}

// Overlapping pointed leaves scattered on a wrapping cell grid. A pixel takes the topmost leaf
// (highest layer key) covering it, so the result does not depend on evaluation order.
struct Leaf {
    float x, y;       // centre, in cells
    float cosA, sinA; // orientation
    float length;     // half length, in cells
    uint32_t layer;
    Vec3 colour;
};

constexpr int kLeafCells = 12;
constexpr int kLeavesPerCell = 3;

std::vector<Leaf> scatterLeaves() {
    std::vector<Leaf> leaves;
    for (uint32_t j = 0; j < kLeafCells; ++j) {
        for (uint32_t i = 0; i < kLeafCells; ++i) {
            for (uint32_t k = 0; k < kLeavesPerCell; ++k) {
                const uint32_t seed = 131u + k * 7u;
                const float angle = kPi * hash01(i, j, seed + 2u);
                const Vec3 colour = lerp(Vec3{0.16f, 0.34f, 0.10f}, Vec3{0.36f, 0.52f, 0.16f},
                                         hash01(i, j, seed + 5u));
                leaves.push_back({static_cast<float>(i) + hash01(i, j, seed),
                                  static_cast<float>(j) + hash01(i, j, seed + 1u), std::cos(angle),
                                  std::sin(angle), 0.9f + 0.6f * hash01(i, j, seed + 3u),
                                  hash3(i, j, seed + 4u) | 1u, colour});
            }
        }
    }
    return leaves;
}

void paintFoliage(Image& img) {
    static const std::vector<Leaf> leaves = scatterLeaves();
    paintPixels(img, [](float u, float v) {
        const float px = u * kLeafCells, py = v * kLeafCells;
        const int cx = static_cast<int>(px), cy = static_cast<int>(py);
        Vec3 colour{0.07f, 0.12f, 0.05f};
        uint32_t bestLayer = 0;
        for (int oy = -1; oy <= 1; ++oy) {
            for (int ox = -1; ox <= 1; ++ox) {
                const int i = wrap(cx + ox, kLeafCells), j = wrap(cy + oy, kLeafCells);
                for (int k = 0; k < kLeavesPerCell; ++k) {
                    const Leaf& leaf =
                        leaves[static_cast<size_t>((j * kLeafCells + i) * kLeavesPerCell + k)];
                    // Offset to the leaf's copy in the neighbouring cell, across the wrap.
                    const float du = px - (leaf.x + static_cast<float>(cx + ox - i));
                    const float dv = py - (leaf.y + static_cast<float>(cy + oy - j));
                    const float a = (du * leaf.cosA + dv * leaf.sinA) / leaf.length;
                    const float b = (-du * leaf.sinA + dv * leaf.cosA) / (0.38f * leaf.length);
                    const float halfWidth = 1.0f - a * a;
                    if (std::fabs(a) >= 1.0f || std::fabs(b) >= halfWidth)
                        continue;
                    if (leaf.layer < bestLayer)
                        continue;
                    bestLayer = leaf.layer;
                    const float side = std::fabs(b) / halfWidth;
                    colour = std::fabs(b) < 0.06f ? leaf.colour * 0.7f
                                                  : leaf.colour * (1.0f - 0.3f * side);
                }
            }
        }
        return colour;
    });
}

// ---- Banner ------------------------------------------------------------------------------------

// A heraldic banner with a top and a bottom, so a picture drawn upside down shows at a glance: a
// crimson head band, a blue field with a gold chevron pointing up, and a gold fringed hem. The
// image spans the whole banner once; it does not tile.
void paintBanner(Image& img) {
    constexpr float kHemTop = 0.10f;
    constexpr float kFringeTop = 0.05f;
    constexpr int kFringeThreads = 24;
    constexpr float kHeadBottom = 0.82f;
    constexpr float kEdgeLine = 0.015f;
    constexpr float kChevronWidth = 0.07f;
    static const Vec3 kCrimson{0.72f, 0.07f, 0.08f};
    static const Vec3 kBlue{0.08f, 0.14f, 0.46f};
    static const Vec3 kGold{0.86f, 0.66f, 0.20f};
    static const Vec3 kShadow{0.10f, 0.08f, 0.05f};
    paintPixels(img, [](float u, float v) {
        Vec3 c = kBlue;
        if (v < kFringeTop)
            c = fract(u * kFringeThreads) < 0.6f ? kGold : kShadow;
        else if (v < kHemTop || std::fabs(v - kHeadBottom) < kEdgeLine)
            c = kGold;
        else if (v > kHeadBottom)
            c = kCrimson;
        else {
            // Chevron: the band between two lines falling away from an apex at the centre.
            const float ridge = 0.68f - 0.9f * std::fabs(u - 0.5f);
            if (v < ridge && v > ridge - kChevronWidth)
                c = kGold;
        }
        const float weave = 0.9f + 0.15f * fbm(u, v, 16, 16, 3, 141u);
        return c * weave;
    });
}

} // namespace

void Image::set(int x, int y, Vec3 c) {
    uint8_t* p = &rgb[(static_cast<size_t>(y) * size + x) * 3];
    p[0] = static_cast<uint8_t>(clamp01(c.x) * 255.0f + 0.5f);
    p[1] = static_cast<uint8_t>(clamp01(c.y) * 255.0f + 0.5f);
    p[2] = static_cast<uint8_t>(clamp01(c.z) * 255.0f + 0.5f);
}

Vec3 Image::get(int x, int y) const {
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * size + x) * 3];
    return {p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f};
}

const std::vector<TextureRecipe>& textureCatalogue() {
    static const std::vector<TextureRecipe> catalogue = {
        {"stone_blocks", kLargeSize, paintStoneBlocks},
        {"stone_dark", kStandardSize, paintStoneDark},
        {"brick", kStandardSize, paintBrick},
        {"floor_tiles", kLargeSize, paintFloorTiles},
        {"mosaic", kStandardSize, paintMosaic},
        {"terracotta_tiles", kStandardSize, paintTerracottaTiles},
        {"marble_white", kStandardSize, paintMarbleWhite},
        {"marble_green", kStandardSize, paintMarbleGreen},
        {"sandstone", kStandardSize, paintSandstone},
        {"stone_bands", kStandardSize, paintStoneBands},
        {"stone_steps", kStandardSize, paintStoneSteps},
        {"plaster", kStandardSize, paintPlaster},
        {"wood_beams", kStandardSize, paintWoodBeams},
        {"wood_panels", kStandardSize, paintWoodPanels},
        {"roof_tiles", kStandardSize, paintRoofTiles},
        {"fabric_red", kStandardSize, paintFabricRed},
        {"fabric_green", kStandardSize, paintFabricGreen},
        {"fabric_blue", kStandardSize, paintFabricBlue},
        {"terracotta_vase", kStandardSize, paintTerracottaVase},
        {"foliage", kStandardSize, paintFoliage},
        {"banner", kStandardSize, paintBanner, false},
    };
    return catalogue;
}

Image paintTexture(const TextureRecipe& recipe) {
    Image img(recipe.size);
    recipe.paint(img);
    return img;
}

std::vector<uint8_t> encodePng(const Image& image) {
    // The level is process-wide; set it once, before the first encode on any thread.
    static const bool configured = [] {
        SetPngCompressionLevel(kPngCompression);
        return true;
    }();
    (void)configured;
    return EncodePng(image.size, image.size, 3, image.rgb).bytes;
}

} // namespace scenegen
