// Tests for the default-scene generator: primitives face outwards with counter-clockwise winding,
// the assembled courtyard is consistent and leaves the start view clear, textures tile, output is
// byte-identical between runs, and the files load as a production-sized model.
#include "Architecture.h"
#include "Generator.h"
#include "Materials.h"
#include "ObjWriter.h"
#include "Primitives.h"
#include "Textures.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

using namespace scenegen;
namespace fs = std::filesystem;

namespace {

// Eye position the demo starts at, in model units (world eye height 10 at model scale 0.075).
const Vec3 kEye{0.0f, 10.0f / 0.075f, 0.0f};

struct Triangle {
    Vec3 p[3];
    Vec3 n[3];

    Vec3 centroid() const { return (p[0] + p[1] + p[2]) * (1.0f / 3.0f); }
    Vec3 normal() const { return normalize(triangleNormal(p[0], p[1], p[2])); }
    float area() const { return 0.5f * length(triangleNormal(p[0], p[1], p[2])); }
};

// Visits triangles exactly as an importer's fan triangulation produces them.
template <class Visit> void forEachTriangle(const Mesh& mesh, Visit visit) {
    const auto& v = mesh.vertices();
    const auto& idx = mesh.indices();
    size_t offset = 0;
    for (uint8_t size : mesh.faceSizes()) {
        for (uint8_t k = 1; k + 1 < size; ++k) {
            const uint32_t c[3] = {idx[offset], idx[offset + k], idx[offset + k + 1]};
            Triangle t;
            for (int i = 0; i < 3; ++i) {
                t.p[i] = v[c[i]].position;
                t.n[i] = v[c[i]].normal;
            }
            visit(t);
        }
        offset += size;
    }
}

void expectConsistentWinding(const Mesh& mesh) {
    const WindingReport report = checkWinding(mesh);
    EXPECT_GT(report.triangles, 0u) << mesh.name();
    EXPECT_EQ(report.degenerate, 0u) << mesh.name();
    EXPECT_EQ(report.disagreeing, 0u) << mesh.name();
}

// For convex (or star-shaped) solids: every face looks away from an interior point.
void expectFacesAwayFrom(const Mesh& mesh, Vec3 inside) {
    expectConsistentWinding(mesh);
    size_t inward = 0;
    forEachTriangle(mesh, [&](const Triangle& t) {
        if (dot(t.normal(), t.centroid() - inside) <= 0.0f)
            ++inward;
    });
    EXPECT_EQ(inward, 0u) << mesh.name();
}

float totalArea(const Mesh& mesh) {
    float area = 0.0f;
    forEachTriangle(mesh, [&](const Triangle& t) { area += t.area(); });
    return area;
}

// Edges used by other than exactly two triangles; zero for a watertight surface.
size_t openEdges(const Mesh& mesh) {
    using Key = std::tuple<long, long, long>;
    auto key = [](Vec3 p) {
        return Key{std::lround(p.x * 100.0f), std::lround(p.y * 100.0f), std::lround(p.z * 100.0f)};
    };
    std::map<std::pair<Key, Key>, int> uses;
    forEachTriangle(mesh, [&](const Triangle& t) {
        for (int i = 0; i < 3; ++i) {
            Key a = key(t.p[i]), b = key(t.p[(i + 1) % 3]);
            if (b < a)
                std::swap(a, b);
            ++uses[{a, b}];
        }
    });
    size_t open = 0;
    for (const auto& entry : uses)
        open += entry.second == 2 ? 0 : 1;
    return open;
}

// Distance along the ray to the triangle, or a negative value when it misses.
float rayHit(Vec3 origin, Vec3 dir, const Triangle& t) {
    constexpr float kParallel = 1e-9f;
    const Vec3 e1 = t.p[1] - t.p[0], e2 = t.p[2] - t.p[0];
    const Vec3 h = cross(dir, e2);
    const float det = dot(e1, h);
    if (std::fabs(det) < kParallel)
        return -1.0f;
    const Vec3 s = origin - t.p[0];
    // A little slack so rays along a shared edge cannot slip between its two triangles.
    constexpr float kEdgeSlack = 1e-5f;
    const float u = dot(s, h) / det;
    if (u < -kEdgeSlack || u > 1.0f + kEdgeSlack)
        return -1.0f;
    const Vec3 q = cross(s, e1);
    const float v = dot(dir, q) / det;
    if (v < -kEdgeSlack || u + v > 1.0f + kEdgeSlack)
        return -1.0f;
    return dot(e2, q) / det;
}

// Brute-force ray caster over a scene, with a bounding box per mesh to skip most of it.
class RayScene {
public:
    struct Hit {
        float distance = -1.0f;
        bool frontFacing = false;
        std::string mesh;
    };

    explicit RayScene(const Scene& scene) {
        for (const Mesh& mesh : scene.meshes()) {
            Part part{mesh.name(), {1e30f, 1e30f, 1e30f}, {-1e30f, -1e30f, -1e30f}, {}};
            forEachTriangle(mesh, [&](const Triangle& t) {
                part.triangles.push_back(t);
                for (const Vec3& p : t.p) {
                    for (int i = 0; i < 3; ++i) {
                        part.lo[i] = std::min(part.lo[i], p[i]);
                        part.hi[i] = std::max(part.hi[i], p[i]);
                    }
                }
            });
            parts_.push_back(std::move(part));
        }
    }

    // Nearest surface along the ray. Coincident surfaces (touching boxes) count as front-facing
    // if any of them is.
    Hit nearest(Vec3 origin, Vec3 dir) const {
        constexpr float kCoincident = 1e-2f;
        Hit best;
        for (const Part& part : parts_) {
            if (!crossesBox(origin, dir, part.lo, part.hi))
                continue;
            for (const Triangle& t : part.triangles) {
                const float d = rayHit(origin, dir, t);
                if (d <= 0.0f)
                    continue;
                const bool front = dot(t.normal(), dir) < 0.0f;
                if (best.distance < 0.0f || d < best.distance - kCoincident) {
                    best = {d, front, part.name};
                } else if (std::fabs(d - best.distance) <= kCoincident && front) {
                    best.frontFacing = true;
                }
            }
        }
        return best;
    }

private:
    struct Part {
        std::string name;
        Vec3 lo, hi;
        std::vector<Triangle> triangles;
    };

    static bool crossesBox(Vec3 origin, Vec3 dir, Vec3 lo, Vec3 hi) {
        constexpr float kPad = 1e-2f;
        float enter = 0.0f, leave = 1e30f;
        for (int i = 0; i < 3; ++i) {
            if (std::fabs(dir[i]) < 1e-12f) {
                if (origin[i] < lo[i] - kPad || origin[i] > hi[i] + kPad)
                    return false;
                continue;
            }
            float a = (lo[i] - kPad - origin[i]) / dir[i], b = (hi[i] + kPad - origin[i]) / dir[i];
            if (a > b)
                std::swap(a, b);
            enter = std::max(enter, a);
            leave = std::min(leave, b);
        }
        return enter <= leave;
    }

    std::vector<Part> parts_;
};

Vec3 direction(float yawDegrees, float pitchDegrees) {
    const float yaw = yawDegrees * kPi / 180.0f, pitch = pitchDegrees * kPi / 180.0f;
    return normalize(
        {std::cos(pitch) * std::cos(yaw), std::sin(pitch), std::cos(pitch) * std::sin(yaw)});
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TempDir {
public:
    TempDir() {
        static int counter = 0;
        path_ = fs::temp_directory_path() /
                ("scenegen_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

float luminance(Vec3 c) {
    return 0.2126f * c.x + 0.7152f * c.y + 0.0722f * c.z;
}

} // namespace

// ---- Mesh ---------------------------------------------------------------------------------------

TEST(Mesh, WindsFacesCounterClockwiseAroundTheirNormals) {
    Mesh mesh("m", "x");
    const Vec3 up{0.0f, 0.0f, 1.0f};
    // Given clockwise as seen from +z, with normals saying +z is the front.
    const uint32_t a = mesh.addVertex({{0, 0, 0}, up, {}});
    const uint32_t b = mesh.addVertex({{0, 1, 0}, up, {}});
    const uint32_t c = mesh.addVertex({{1, 1, 0}, up, {}});
    const uint32_t d = mesh.addVertex({{1, 0, 0}, up, {}});
    mesh.addQuad(a, b, c, d);
    mesh.addTriangle(a, b, c);
    forEachTriangle(mesh, [&](const Triangle& t) { EXPECT_GT(t.normal().z, 0.99f); });
    EXPECT_EQ(mesh.triangleCount(), 3u);
}

TEST(Mesh, CollapsesRepeatedCornersAndDropsFacesWithoutArea) {
    Mesh mesh("m", "x");
    const Vec3 n{0.0f, 1.0f, 0.0f};
    const uint32_t axis = mesh.addVertex({{0, 0, 0}, n, {}});
    const uint32_t axisAgain = mesh.addVertex({{0, 0, 0}, n, {0.5f, 0.0f}});
    const uint32_t p = mesh.addVertex({{1, 0, 0}, n, {}});
    const uint32_t q = mesh.addVertex({{0, 0, -1}, n, {}});
    const uint32_t onLine = mesh.addVertex({{2, 0, 0}, n, {}});
    mesh.addQuad(axis, axisAgain, p, q); // a lathe quad touching its axis
    mesh.addTriangle(axis, p, onLine);   // collinear: no area
    ASSERT_EQ(mesh.faceSizes().size(), 1u);
    EXPECT_EQ(mesh.faceSizes()[0], 3u);
    expectConsistentWinding(mesh);
}

// ---- Primitives ---------------------------------------------------------------------------------

TEST(Primitives, BoxIsClosedAndFacesOutward) {
    Mesh mesh("box", "x");
    addBox(mesh, {-1, 2, 3}, {4, 5, 9}, 100.0f);
    expectFacesAwayFrom(mesh, {1.5f, 3.5f, 6.0f});
    EXPECT_EQ(openEdges(mesh), 0u);
    EXPECT_NEAR(totalArea(mesh), 2.0f * (5 * 3 + 5 * 6 + 3 * 6), 1e-3f);
}

TEST(Primitives, HexahedronFacesOutwardWhicheverWayItsRingsRun) {
    Mesh mesh("roof", "x");
    // Bottom ring clockwise seen from above, top raised and sloped like a roof slab.
    const Vec3 c[8] = {{0, 0, 0}, {0, 0, 10}, {20, 4, 10}, {20, 4, 0},
                       {0, 2, 0}, {0, 2, 10}, {20, 6, 10}, {20, 6, 0}};
    addHexahedron(mesh, c, 100.0f);
    expectFacesAwayFrom(mesh, {10.0f, 3.0f, 5.0f});
    EXPECT_EQ(openEdges(mesh), 0u);
}

TEST(Primitives, CappedLatheIsWatertightAndFacesOutward) {
    Mesh upright("upright", "x");
    const std::vector<Vec2> cylinder = {{0, 0}, {10, 0}, {10, 20}, {0, 20}};
    addLathe(upright, {{5, 0, 5}}, cylinder, 24, 100.0f);
    expectFacesAwayFrom(upright, {5, 10, 5});
    EXPECT_EQ(openEdges(upright), 0u);
    // A 24-gon prism: area of the polygonal approximation of 2*pi*r*h + 2*pi*r^2.
    const float polygon = 24.0f * std::sin(kPi / 24.0f) * 10.0f;
    const float expected = 2.0f * polygon * 20.0f + 2.0f * polygon * 10.0f * std::cos(kPi / 24.0f);
    EXPECT_NEAR(totalArea(upright), expected, expected * 1e-3f);

    Mesh rod("rod", "x");
    addLathe(rod, {{0, 50, 0}, {1, 0, 0}}, cylinder, 12, 100.0f);
    expectFacesAwayFrom(rod, {10, 50, 0});
}

TEST(Primitives, LatheSmoothsGentleJointsAndKeepsCreases) {
    Mesh mesh("urn", "x");
    // A gently bulging wall (smooth) meeting a flat top (creased).
    const std::vector<Vec2> profile = {{10, 0}, {12, 10}, {12, 20}, {0, 20}};
    addLathe(mesh, {{0, 0, 0}}, profile, 16, 100.0f, 40.0f);
    expectConsistentWinding(mesh);
    bool sawSmoothedJoint = false, sawHardTopRim = false;
    for (const Vertex& v : mesh.vertices()) {
        if (std::fabs(v.position.y - 10.0f) < 1e-4f && std::fabs(v.normal.y) > 1e-3f) {
            sawSmoothedJoint = true; // blended between the sloped and the vertical segment
        }
        if (std::fabs(v.position.y - 20.0f) < 1e-4f && std::fabs(v.normal.y - 1.0f) < 1e-5f &&
            length(Vec3{v.position.x, 0, v.position.z}) > 11.9f) {
            sawHardTopRim = true;
        }
    }
    EXPECT_TRUE(sawSmoothedJoint);
    EXPECT_TRUE(sawHardTopRim);
}

TEST(Primitives, ArchPanelFillsTheSpandrelAndItsSoffitFacesTheOpening) {
    const WallFrame frame{{0, 0, 100}, {1, 0, 0}, {0, 0, -1}};
    ArchBay bay;
    bay.s0 = -150.0f;
    bay.s1 = 130.0f; // clipped on one side, as where a short wall meets a long one
    bay.centre = 0.0f;
    bay.springY = 400.0f;
    bay.radius = 120.0f;
    bay.topY = 560.0f;
    bay.halfDepth = 30.0f;
    bay.segments = 32;
    Mesh mesh("arch", "x");
    addArchPanel(mesh, frame, bay, 200.0f);
    expectConsistentWinding(mesh);

    float front = 0.0f, back = 0.0f;
    size_t soffitAwayFromOpening = 0;
    forEachTriangle(mesh, [&](const Triangle& t) {
        const float facing = dot(t.normal(), frame.out);
        if (facing > 0.999f)
            front += t.area();
        if (facing < -0.999f)
            back += t.area();
        const Vec3 c = t.centroid();
        const Vec3 fromAxis{c.x - bay.centre, c.y - bay.springY, 0.0f};
        if (std::fabs(length(fromAxis) - bay.radius) < 1.0f && std::fabs(facing) < 0.5f &&
            dot(t.normal(), fromAxis) >= 0.0f) {
            ++soffitAwayFromOpening;
        }
    });
    const float polygonHalfDisc =
        0.5f * bay.segments * bay.radius * bay.radius * std::sin(kPi / bay.segments);
    const float spandrel = (bay.s1 - bay.s0) * (bay.topY - bay.springY) - polygonHalfDisc;
    EXPECT_NEAR(front, spandrel, spandrel * 1e-3f);
    EXPECT_NEAR(back, spandrel, spandrel * 1e-3f);
    EXPECT_EQ(soffitAwayFromOpening, 0u);
}

TEST(Primitives, TwoSidedSheetHasAFrontFacingEachWay) {
    SurfaceOptions options;
    options.cellsU = 10;
    options.cellsV = 12;
    options.twoSided = true;
    Mesh mesh("drape", "x");
    addSurface(
        mesh,
        [](float u, float v) {
            return Vec3{100.0f * u, -200.0f * v, 8.0f * std::sin(6.0f * kPi * u)};
        },
        options);
    expectConsistentWinding(mesh);
    size_t towards = 0, away = 0;
    forEachTriangle(mesh, [&](const Triangle& t) { (t.normal().z > 0.0f ? towards : away)++; });
    // The folds never turn the sheet edge-on, so each side is one whole lattice.
    EXPECT_EQ(towards, 2u * 10u * 12u);
    EXPECT_EQ(away, 2u * 10u * 12u);
}

TEST(Primitives, BlobIsWatertightAndFacesOutward) {
    Mesh mesh("shrub", "x");
    const Vec3 centre{10, 200, -30};
    addBlob(mesh, centre, {50, 42, 50}, 0.22f, 7u, 16, 32, 100.0f);
    expectFacesAwayFrom(mesh, centre);
    EXPECT_EQ(openEdges(mesh), 0u);
}

// ---- Assembled courtyard ------------------------------------------------------------------------

TEST(Courtyard, EveryFaceAgreesWithItsNormalsAndUsesAKnownMaterial) {
    Scene scene;
    buildCourtyard(scene);
    std::set<std::string> materials;
    for (const Material& m : scene.materials())
        materials.insert(m.name);
    std::set<std::string> names, used;
    for (const Mesh& mesh : scene.meshes()) {
        SCOPED_TRACE(mesh.name());
        expectConsistentWinding(mesh);
        EXPECT_TRUE(materials.count(mesh.material())) << mesh.material();
        EXPECT_TRUE(names.insert(mesh.name()).second) << "duplicate object name";
        used.insert(mesh.material());
    }
    EXPECT_EQ(used, materials) << "every catalogue material should appear in the scene";
}

TEST(Courtyard, StartViewDownTheCourtIsUnobstructed) {
    Scene scene;
    buildCourtyard(scene);
    const RayScene rays(scene);
    // The far arcade stands about 1440 units ahead; nothing should block the view before it.
    constexpr float kClearDistance = 1200.0f;
    for (float yaw = -15.0f; yaw <= 15.0f; yaw += 3.75f) {
        for (float pitch = -5.0f; pitch <= 15.0f; pitch += 2.5f) {
            const RayScene::Hit hit = rays.nearest(kEye, direction(yaw, pitch));
            EXPECT_TRUE(hit.distance < 0.0f || hit.distance > kClearDistance)
                << "yaw " << yaw << " pitch " << pitch << " blocked by " << hit.mesh << " at "
                << hit.distance;
        }
    }
}

// With back faces culled, any surface seen from its back would be a hole in the building. Look
// all round from the court and from inside the galleries.
TEST(Courtyard, EverySurfaceInSightFacesTheViewer) {
    Scene scene;
    buildCourtyard(scene);
    const RayScene rays(scene);
    const Vec3 viewpoints[] = {kEye,
                               {1200.0f, 90.0f, 420.0f},   // court corner, near a planter
                               {-300.0f, 150.0f, 860.0f},  // ground gallery, long side
                               {1650.0f, 150.0f, -200.0f}, // ground gallery, short side
                               {400.0f, 800.0f, -860.0f},  // upper gallery
                               {1700.0f, 800.0f, 900.0f}}; // upper gallery corner
    size_t seen = 0;
    for (const Vec3& eye : viewpoints) {
        // Odd offsets keep rays off the exact planes the geometry is built on.
        for (float yaw = 0.37f; yaw < 360.0f; yaw += 10.0f) {
            for (float pitch = -84.77f; pitch <= 85.0f; pitch += 10.0f) {
                const RayScene::Hit hit = rays.nearest(eye, direction(yaw, pitch));
                if (hit.distance < 0.0f)
                    continue; // open sky
                ++seen;
                EXPECT_TRUE(hit.frontFacing)
                    << "from (" << eye.x << ", " << eye.y << ", " << eye.z << ") yaw " << yaw
                    << " pitch " << pitch << ": back of " << hit.mesh;
            }
        }
    }
    EXPECT_GT(seen, 1000u);
}

// ---- Textures -----------------------------------------------------------------------------------

// Mean luminance step across each column boundary (x | x+1); the last entry is the wrap-around
// boundary between the last column and the first.
std::vector<double> columnSteps(const Image& img, bool transpose) {
    const int n = img.size;
    auto at = [&](int x, int y) { return luminance(transpose ? img.get(y, x) : img.get(x, y)); };
    std::vector<double> steps(static_cast<size_t>(n), 0.0);
    for (int x = 0; x < n; ++x) {
        for (int y = 0; y < n; ++y)
            steps[static_cast<size_t>(x)] += std::fabs(at(x, y) - at((x + 1) % n, y));
        steps[static_cast<size_t>(x)] /= n;
    }
    return steps;
}

TEST(Textures, TileSeamlesslyAndShowAVisiblePattern) {
    constexpr float kPatternContrast = 0.04f; // luminance standard deviation
    size_t patterned = 0;
    for (const TextureRecipe& recipe : textureCatalogue()) {
        SCOPED_TRACE(recipe.name);
        const Image img = paintTexture(recipe);
        const int n = img.size;
        EXPECT_TRUE(n >= 512 && n <= 1024);
        // A seam is a wrap-around boundary sharper than any boundary inside the image (patterns
        // may legitimately put a joint or fillet edge right on the wrap). A picture stretched
        // once over its surface never meets its own edge.
        for (bool transpose : {false, true}) {
            if (!recipe.tiles)
                break;
            std::vector<double> steps = columnSteps(img, transpose);
            const double wrapStep = steps.back();
            steps.pop_back();
            EXPECT_LE(wrapStep, *std::max_element(steps.begin(), steps.end()) * 1.05 + 1e-3)
                << (transpose ? "horizontal seam" : "vertical seam");
        }
        double sum = 0.0, sumSq = 0.0;
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                const double l = luminance(img.get(x, y));
                sum += l;
                sumSq += l * l;
            }
        }
        const double pixels = static_cast<double>(n) * n;
        const double mean = sum / pixels;
        if (std::sqrt(sumSq / pixels - mean * mean) > kPatternContrast)
            ++patterned;
    }
    EXPECT_GE(patterned, 15u);
}

// The banner is the scene's one picture with a top and a bottom. OBJ texture space has v = 1 at
// the image's top row, the first row stored: the banner's top edge must carry v = 1, its
// crimson head must be the image's first rows and its gold hem the last, and u must grow to the
// right of someone facing it, or a reader that gets orientation wrong would go unnoticed.
TEST(Textures, BannerHangsTheRightWayUpInObjTextureSpace) {
    Scene scene;
    buildCourtyard(scene);
    const Mesh* banner = nullptr;
    for (const Mesh& mesh : scene.meshes())
        if (mesh.material() == mat::kBanner)
            banner = &mesh;
    ASSERT_NE(banner, nullptr);
    const Vec3 up{0.0f, 1.0f, 0.0f};
    float top = -1e30f, bottom = 1e30f;
    for (const Vertex& v : banner->vertices()) {
        top = std::max(top, v.position.y);
        bottom = std::min(bottom, v.position.y);
    }
    size_t front = 0;
    for (const Vertex& v : banner->vertices()) {
        // The court-facing sheet: its normal points back towards the court's centre.
        if (dot(v.normal, Vec3{0.0f, 0.0f, 0.0f} - v.position) <= 0.0f)
            continue;
        ++front;
        const float height = (v.position.y - bottom) / (top - bottom);
        EXPECT_NEAR(v.uv.y, height, 1e-4f) << "v runs from 0 at the hem to 1 at the top";
        const Vec3 right = cross(v.normal * -1.0f, up);
        const float across = dot(v.position, right);
        for (const Vertex& w : banner->vertices()) {
            if (dot(w.normal, v.normal) > 0.99f && dot(w.position, right) > across + 1.0f) {
                EXPECT_GT(w.uv.x, v.uv.x) << "u grows to the viewer's right";
            }
        }
    }
    EXPECT_GT(front, 0u);

    const auto& catalogue = textureCatalogue();
    const auto recipe = std::find_if(catalogue.begin(), catalogue.end(),
                                     [](const TextureRecipe& r) { return r.name == mat::kBanner; });
    ASSERT_NE(recipe, catalogue.end());
    EXPECT_FALSE(recipe->tiles);
    const Image img = paintTexture(*recipe);
    const int n = img.size;
    for (int x = 0; x < n; x += 7) {
        const Vec3 head = img.get(x, 2);                  // first rows stored
        const Vec3 hem = img.get(x, n - 1 - n * 7 / 100); // v = 0.07, above the fringe
        EXPECT_TRUE(head.x > 0.5f && head.y < 0.15f && head.z < 0.15f) << "crimson at x " << x;
        EXPECT_TRUE(hem.x > 0.6f && hem.y > 0.45f && hem.z < 0.3f) << "gold at x " << x;
    }
}

// ---- OBJ text -----------------------------------------------------------------------------------

TEST(ObjWriter, FormatsFixedPointWithoutTrailingZerosOrNegativeZero) {
    EXPECT_EQ(formatFixed(1.5f, 2), "1.5");
    EXPECT_EQ(formatFixed(2.0f, 3), "2");
    EXPECT_EQ(formatFixed(0.05f, 2), "0.05");
    EXPECT_EQ(formatFixed(-0.001f, 2), "0");
    EXPECT_EQ(formatFixed(-12.3456f, 2), "-12.35");
    EXPECT_EQ(formatFixed(-1900.0f, 2), "-1900");
    EXPECT_EQ(formatFixed(0.7071f, 3), "0.707");
}

TEST(ObjWriter, SharesIdenticalAttributesAndSkipsEmptyMeshes) {
    Scene scene;
    scene.materials().push_back({"stone", {1, 1, 1}, 0.0f, 8.0f, "stone"});
    scene.addMesh("empty", "stone");
    addBox(scene.addMesh("box", "stone"), {0, 0, 0}, {1, 1, 1}, 100.0f);
    std::istringstream obj(formatObj(scene, "scene.mtl"));
    std::map<std::string, int> lines;
    for (std::string line; std::getline(obj, line);)
        ++lines[line.substr(0, line.find(' '))];
    EXPECT_EQ(lines["o"], 1);
    EXPECT_EQ(lines["usemtl"], 1);
    EXPECT_EQ(lines["v"], 8);
    EXPECT_EQ(lines["vn"], 6);
    EXPECT_EQ(lines["f"], 6);
}

// ---- Generated files ----------------------------------------------------------------------------

class GeneratedScene : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir;
        GeneratorOptions options;
        options.outputDir = root_->path() / "models";
        options.texturePrefix = "models/textures/";
        result_ = generate(options);
    }
    static void TearDownTestSuite() {
        delete root_;
        root_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(result_.ok) << result_.error; }

    static fs::path root() { return root_->path(); }
    static fs::path objPath() { return root() / "models" / kObjFileName; }

    static TempDir* root_;
    static GeneratorResult result_;
};

TempDir* GeneratedScene::root_ = nullptr;
GeneratorResult GeneratedScene::result_;

TEST_F(GeneratedScene, LoadsAsAProductionSizedModel) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(
        objPath().string(), aiProcess_Triangulate | aiProcess_ValidateDataStructure);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();

    size_t triangles = 0;
    aiVector3D lo(1e9f, 1e9f, 1e9f), hi(-1e9f, -1e9f, -1e9f);
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        SCOPED_TRACE(mesh->mName.C_Str());
        // Assimp also flags how polygons were triangulated; only the type bits matter here.
        EXPECT_EQ(mesh->mPrimitiveTypes & ~static_cast<unsigned>(aiPrimitiveType_NGONEncodingFlag),
                  static_cast<unsigned>(aiPrimitiveType_TRIANGLE));
        EXPECT_TRUE(mesh->HasNormals());
        EXPECT_TRUE(mesh->HasTextureCoords(0));
        triangles += mesh->mNumFaces;
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            const aiVector3D& p = mesh->mVertices[v];
            lo = aiVector3D(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
            hi = aiVector3D(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
        }
    }
    EXPECT_GE(triangles, 200000u);
    EXPECT_GE(scene->mNumMeshes, 100u);

    size_t textured = 0, colourOnly = 0;
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        aiString name;
        scene->mMaterials[i]->Get(AI_MATKEY_NAME, name);
        if (std::string(name.C_Str()) == AI_DEFAULT_MATERIAL_NAME)
            continue;
        (scene->mMaterials[i]->GetTextureCount(aiTextureType_DIFFUSE) > 0 ? textured
                                                                          : colourOnly)++;
    }
    EXPECT_GE(textured + colourOnly, 20u);
    EXPECT_GE(textured, 15u);
    EXPECT_GE(colourOnly, 1u);

    const aiVector3D size = hi - lo;
    EXPECT_NEAR(size.x, kSceneLengthX, 0.1f * kSceneLengthX);
    EXPECT_NEAR(size.y, kSceneHeightY, 0.1f * kSceneHeightY);
    EXPECT_NEAR(size.z, kSceneDepthZ, 0.1f * kSceneDepthZ);
    EXPECT_NEAR(lo.y, 0.0f, 1e-3f);
    EXPECT_NEAR(0.5f * (lo.x + hi.x), 0.0f, 0.05f * kSceneLengthX);
    EXPECT_NEAR(0.5f * (lo.z + hi.z), 0.0f, 0.05f * kSceneDepthZ);
}

TEST_F(GeneratedScene, EveryTexturePathResolvesFromTheRoot) {
    std::istringstream mtl(readFile(root() / "models" / kMtlFileName));
    size_t maps = 0;
    for (std::string line; std::getline(mtl, line);) {
        if (line.rfind("map_Kd ", 0) != 0)
            continue;
        const std::string path = line.substr(7);
        EXPECT_TRUE(fs::is_regular_file(root() / path)) << path;
        EXPECT_EQ(path.rfind("models/textures/", 0), 0u) << path;
        ++maps;
    }
    EXPECT_GE(maps, 15u);

    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(objPath().string(), aiProcess_Triangulate);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        aiString path;
        if (scene->mMaterials[i]->GetTexture(aiTextureType_DIFFUSE, 0, &path) != AI_SUCCESS) {
            continue;
        }
        EXPECT_TRUE(fs::is_regular_file(root() / path.C_Str())) << path.C_Str();
    }
}

TEST_F(GeneratedScene, IsByteIdenticalAcrossRuns) {
    TempDir again;
    GeneratorOptions options;
    options.outputDir = again.path() / "models";
    options.threads = 1; // a different thread count must not change a byte
    const GeneratorResult second = generate(options);
    ASSERT_TRUE(second.ok) << second.error;

    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root() / "models")) {
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), root()));
    }
    size_t secondCount = 0;
    for (const auto& entry : fs::recursive_directory_iterator(again.path() / "models")) {
        secondCount += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files.size(), secondCount) << "including no leftover temporary files";
    EXPECT_EQ(files.size(), 2u + textureCatalogue().size());
    for (const fs::path& file : files) {
        EXPECT_TRUE(readFile(root() / file) == readFile(again.path() / file)) << file;
    }
}

TEST(Generator, ReportsAnUnwritableOutputDirectory) {
    TempDir dir;
    const fs::path blocker = dir.path() / "not_a_directory";
    std::ofstream(blocker) << "x";
    GeneratorOptions options;
    options.outputDir = blocker / "models";
    const GeneratorResult result = generate(options);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
}
