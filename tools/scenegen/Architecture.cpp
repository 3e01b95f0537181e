// Courtyard layout and assembly. Distances are model units (the demo draws the model at 0.075, so
// eye height is about 133 units). The plan is a rectangle of column lines round an open court,
// with two storeys of galleries between the arcades and the outer walls.
#include "Architecture.h"

#include "Materials.h"
#include "Primitives.h"

#include <array>
#include <string>
#include <vector>

namespace scenegen {

namespace {

// ---- Plan -------------------------------------------------------------------------------------
constexpr float kPitch = 320.0f; // column spacing along every arcade
constexpr int kLongBays = 9;     // odd, so a bay (not a column) faces the middle of the court
constexpr int kShortBays = 4;
constexpr float kHalfX = kPitch * kLongBays / 2.0f;  // column line of the short sides
constexpr float kHalfZ = kPitch * kShortBays / 2.0f; // column line of the long sides
constexpr float kGalleryDepth = 420.0f;              // column line to the outer wall's inner face
constexpr float kOuterWallThickness = kSceneDepthZ / 2.0f - kHalfZ - kGalleryDepth;
static_assert(kHalfX + kGalleryDepth + kOuterWallThickness == kSceneLengthX / 2.0f,
              "the galleries must be equally deep on all four sides");
constexpr float kArcadeHalfDepth = 30.0f;
constexpr float kAbacusHalf = 40.0f;
constexpr float kArchRadius = kPitch / 2.0f - kAbacusHalf; // arches spring from the abacus edges
constexpr float kPedestalHalf = 44.0f;
constexpr float kArchivoltWidth = 25.0f;
constexpr float kArchivoltProjection = 8.0f;
constexpr float kFieldInset = 160.0f; // column line to the edge of the tiled field
constexpr float kStepInset = 100.0f;  // column line to the foot of the step
constexpr float kKerbHalf = 60.0f;    // stone kerb under each arcade
constexpr float kEaveOverhang = 60.0f;

// ---- Heights ----------------------------------------------------------------------------------
constexpr float kStepTopY = 20.0f;
constexpr float kGalleryFloorY = 40.0f;
constexpr float kGroundSpringY = 440.0f;
constexpr float kUpperFloorY = 600.0f; // underside of the upper gallery floor
constexpr float kCeilingSkin = 10.0f;  // plaster layer forming the ground gallery ceiling
constexpr float kUpperFloorTopY = 660.0f;
constexpr float kPedestalTopY = 760.0f;
constexpr float kUpperSpringY = 1055.0f;
constexpr float kUpperWallTopY = 1230.0f;
constexpr float kCeilingTopY = 1250.0f;
constexpr float kAtticTopY = 1385.0f;
constexpr float kEaveY = 1370.0f;
constexpr float kRoofThickness = 20.0f;
constexpr float kOuterWallTopY = kSceneHeightY - kRoofThickness;
constexpr float kBeamDepth = 38.0f;
constexpr float kBeamHalfWidth = 12.0f;
constexpr float kPlateDepth = 30.0f;
constexpr float kPlateWidth = 20.0f;

// ---- Texture repeat lengths (model units per texture tile) -----------------------------------
constexpr float kRepeatStone = 240.0f;
constexpr float kRepeatBrick = 200.0f;
constexpr float kRepeatFloor = 480.0f;
constexpr float kRepeatMosaic = 160.0f;
constexpr float kRepeatTiles = 200.0f;
constexpr float kRepeatColumn = 160.0f;
constexpr float kRepeatWood = 200.0f;
constexpr float kRepeatPlaster = 300.0f;
constexpr float kRepeatSmall = 100.0f;

// ---- Tessellation -----------------------------------------------------------------------------
constexpr int kColumnSegments = 32;
constexpr int kBalusterSegments = 12;
constexpr int kVaseSegments = 40;
constexpr int kArchSegments = 32;
constexpr int kRodSegments = 12;
constexpr int kDrapeCellsU = 36;
constexpr int kDrapeCellsV = 60;

constexpr Vec3 kUp{0.0f, 1.0f, 0.0f};

struct Side {
    const char* name = nullptr;
    WallFrame frame{}; // d > 0 towards the court, d < 0 into the gallery
    float half = 0.0f; // half length of the column line
    int bays = 0;
    bool isLong = false; // long sides own the corner columns and run their walls over them
};

const std::array<Side, 4>& sides() {
    static const std::array<Side, 4> all = {{
        {"north",
         {{0.0f, 0.0f, kHalfZ}, {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f}},
         kHalfX,
         kLongBays,
         true},
        {"south",
         {{0.0f, 0.0f, -kHalfZ}, {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}},
         kHalfX,
         kLongBays,
         true},
        {"east",
         {{kHalfX, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, {-1.0f, 0.0f, 0.0f}},
         kHalfZ,
         kShortBays,
         false},
        {"west",
         {{-kHalfX, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}},
         kHalfZ,
         kShortBays,
         false},
    }};
    return all;
}

float station(const Side& side, int k) {
    return -side.half + kPitch * static_cast<float>(k);
}
float bayCentre(const Side& side, int k) {
    return station(side, k) + kPitch / 2.0f;
}

// Column stations a side owns: the corner columns belong to the long sides.
std::vector<float> columnStations(const Side& side) {
    std::vector<float> out;
    for (int k = side.isLong ? 0 : 1; k <= (side.isLong ? side.bays : side.bays - 1); ++k) {
        out.push_back(station(side, k));
    }
    return out;
}

std::string meshName(const char* part, const char* storey, const Side& side, int index = -1) {
    std::string name = std::string(part) + "_" + storey + "_" + side.name;
    if (index >= 0)
        name += "_" + std::to_string(index);
    return name;
}

// Adds the four straight runs of a band that follows the column-line rectangle. `inner` is how
// far the band reaches towards the court, `outer` how far towards the outer walls (negative:
// stays on the court side). Long runs own the corners and short runs stop at their faces, so no
// two runs overlap with coplanar faces.
void addRingBand(Mesh& mesh, float inner, float outer, float y0, float y1, float repeat,
                 unsigned faces = kAllFaces) {
    for (float sign : {-1.0f, 1.0f}) {
        const float zNear = kHalfZ - inner, zFar = kHalfZ + outer;
        addBox(mesh, {-(kHalfX + outer), y0, sign > 0 ? zNear : -zFar},
               {kHalfX + outer, y1, sign > 0 ? zFar : -zNear}, repeat, faces);
        const float xNear = kHalfX - inner, xFar = kHalfX + outer;
        addBox(mesh, {sign > 0 ? xNear : -xFar, y0, -zNear}, {sign > 0 ? xFar : -xNear, y1, zNear},
               repeat, faces);
    }
}

constexpr unsigned kNoBottom = kAllFaces & ~kFaceNegY;

// ---- Profiles ----------------------------------------------------------------------------------

// Appends an elliptical arc (angles in radians, counter-clockwise in the radius/height plane),
// skipping the first point when it repeats the profile's last one.
void appendArc(std::vector<Vec2>& profile, Vec2 centre, Vec2 radii, float from, float to,
               int steps) {
    for (int i = 0; i <= steps; ++i) {
        const float a = from + (to - from) * static_cast<float>(i) / steps;
        const Vec2 p{centre.x + radii.x * std::cos(a), centre.y + radii.y * std::sin(a)};
        if (!profile.empty() && std::fabs(profile.back().x - p.x) < 1e-4f &&
            std::fabs(profile.back().y - p.y) < 1e-4f) {
            continue;
        }
        profile.push_back(p);
    }
}

constexpr float kPlinthHeight = 16.0f;
constexpr float kBaseHeight = 20.0f;
constexpr float kCapitalHeight = 25.0f;
constexpr float kAbacusHeight = 15.0f;
constexpr float kEntasis = 0.14f; // fraction by which a shaft narrows towards its top

// Attic base: lower torus, scotia, upper torus.
std::vector<Vec2> baseProfile(float r) {
    std::vector<Vec2> p;
    appendArc(p, {r + 3.0f, 5.0f}, {5.0f, 5.0f}, -kPi / 2, kPi / 2, 8);
    p.push_back({r, 12.0f});
    appendArc(p, {r + 1.0f, 17.0f}, {3.0f, 3.0f}, -kPi / 2, kPi / 2, 6);
    p.push_back({r, kBaseHeight});
    return p;
}

std::vector<Vec2> shaftProfile(float r, float height) {
    std::vector<Vec2> p;
    constexpr int kSteps = 10;
    for (int i = 0; i <= kSteps; ++i) {
        const float t = static_cast<float>(i) / kSteps;
        p.push_back({r * (1.0f - kEntasis * t * t), height * t});
    }
    return p;
}

// Necking ring, then an echinus swelling out to the abacus.
std::vector<Vec2> capitalProfile(float r) {
    const float neck = r * (1.0f - kEntasis);
    std::vector<Vec2> p;
    p.push_back({neck, 0.0f});
    appendArc(p, {neck + 1.0f, 3.0f}, {3.0f, 3.0f}, -kPi / 2, kPi / 2, 6);
    p.push_back({neck, 6.0f});
    appendArc(p, {neck, kCapitalHeight}, {kAbacusHalf - 2.0f - neck, kCapitalHeight - 6.0f},
              -kPi / 2, 0.0f, 8);
    return p;
}

std::vector<Vec2> balusterProfile(float height) {
    const float s = height / 70.0f;
    std::vector<Vec2> p = {{8.0f * s, 0.0f}, {8.0f * s, 5.0f * s}, {5.5f * s, 8.0f * s}};
    appendArc(p, {5.0f * s, 30.0f * s}, {4.5f * s, 21.0f * s}, -kPi / 2, kPi / 2, 10);
    p.push_back({3.5f * s, 53.0f * s});
    appendArc(p, {3.5f * s, 58.0f * s}, {2.5f * s, 4.0f * s}, -kPi / 2, kPi / 2, 4);
    p.push_back({4.0f * s, 63.0f * s});
    p.push_back({6.5f * s, 64.0f * s});
    p.push_back({6.5f * s, height});
    return p;
}

// Urn: foot, stem, swelling belly, neck, flared lip, then down the inside to the soil.
std::vector<Vec2> vaseProfile() {
    std::vector<Vec2> p = {{22.0f, 0.0f}, {24.0f, 4.0f}, {18.0f, 10.0f}, {16.0f, 16.0f}};
    appendArc(p, {16.0f, 62.0f}, {24.0f, 46.0f}, -kPi / 2, kPi / 2 * 0.55f, 12);
    p.push_back({24.0f, 100.0f});
    appendArc(p, {24.0f, 118.0f}, {10.0f, 12.0f}, -kPi / 2, 0.0f, 4);
    p.push_back({31.0f, 119.0f});
    p.push_back({28.0f, 116.0f});
    p.push_back({22.0f, 104.0f});
    p.push_back({21.0f, 98.0f});
    return p;
}

constexpr float kSoilY = 98.0f;
constexpr float kVaseRimY = 119.0f;

// ---- Parts ------------------------------------------------------------------------------------

// A column from its foot (bottom of the plinth) to the top of its abacus, where arches spring.
void addColumn(Scene& scene, const std::string& name, Vec3 foot, float radius, float height) {
    Mesh& base = scene.addMesh(name + "_base", mat::kMarbleGreen);
    addBox(base, foot + Vec3{-kAbacusHalf, 0.0f, -kAbacusHalf},
           foot + Vec3{kAbacusHalf, kPlinthHeight, kAbacusHalf}, kRepeatColumn, kNoBottom);
    addLathe(base, {foot + kUp * kPlinthHeight}, baseProfile(radius), kColumnSegments,
             kRepeatColumn);

    const float shaftFoot = kPlinthHeight + kBaseHeight;
    const float shaftHeight = height - shaftFoot - kCapitalHeight - kAbacusHeight;
    Mesh& shaft = scene.addMesh(name + "_shaft", mat::kMarbleWhite);
    addLathe(shaft, {foot + kUp * shaftFoot}, shaftProfile(radius, shaftHeight), kColumnSegments,
             kRepeatColumn);

    const float capitalFoot = shaftFoot + shaftHeight;
    Mesh& capital = scene.addMesh(name + "_capital", mat::kSandstone);
    addLathe(capital, {foot + kUp * capitalFoot}, capitalProfile(radius), kColumnSegments,
             kRepeatColumn);
    addBox(capital, foot + Vec3{-kAbacusHalf, height - kAbacusHeight, -kAbacusHalf},
           foot + Vec3{kAbacusHalf, height, kAbacusHalf}, kRepeatColumn);
}

void addCourtFloor(Scene& scene) {
    const float fx = kHalfX - kFieldInset, fz = kHalfZ - kFieldInset;
    addBox(scene.addMesh("court_field", mat::kFloorTiles), {-fx, 0.0f, -fz}, {fx, 0.0f, fz},
           kRepeatFloor, kFacePosY);
    addRingBand(scene.addMesh("court_border", mat::kMosaic), kFieldInset, -kStepInset, 0.0f, 0.0f,
                kRepeatMosaic, kFacePosY);
    addRingBand(scene.addMesh("court_step", mat::kStoneSteps), kStepInset, -kKerbHalf, 0.0f,
                kStepTopY, kRepeatSmall, kNoBottom);
    addRingBand(scene.addMesh("arcade_kerb", mat::kStoneSteps), kKerbHalf, kKerbHalf, 0.0f,
                kGalleryFloorY, kRepeatSmall, kNoBottom);
    addRingBand(scene.addMesh("gallery_floor_ground", mat::kTerracottaTiles), -kKerbHalf,
                kGalleryDepth, 0.0f, kGalleryFloorY, kRepeatTiles, kNoBottom);
}

void addColumns(Scene& scene) {
    for (const Side& side : sides()) {
        int index = 0;
        Mesh& pedestals = scene.addMesh(meshName("pedestals", "upper", side), mat::kStoneBlocks);
        for (float s : columnStations(side)) {
            addColumn(scene, meshName("column", "ground", side, index),
                      side.frame.at(s, kGalleryFloorY, 0.0f), 28.0f,
                      kGroundSpringY - kGalleryFloorY);
            addWallBox(pedestals, side.frame, {s - kPedestalHalf, s + kPedestalHalf},
                       {kUpperFloorTopY, kPedestalTopY}, {-kPedestalHalf, kPedestalHalf},
                       kRepeatStone, kNoBottom);
            addColumn(scene, meshName("column", "upper", side, index),
                      side.frame.at(s, kPedestalTopY, 0.0f), 24.0f, kUpperSpringY - kPedestalTopY);
            ++index;
        }
    }
}

// Arcade wall over one storey's columns, one arch panel per bay, with moulded rings.
void addArcade(Scene& scene, const Side& side, const char* storey, float springY, float topY,
               const char* wallMaterial) {
    Mesh& wall = scene.addMesh(meshName("arcade", storey, side), wallMaterial);
    Mesh& rings = scene.addMesh(meshName("archivolts", storey, side), mat::kStoneDark);
    for (int k = 0; k < side.bays; ++k) {
        ArchBay bay;
        bay.s0 = station(side, k);
        bay.s1 = station(side, k + 1);
        bay.centre = bayCentre(side, k);
        bay.springY = springY;
        bay.radius = kArchRadius;
        bay.topY = topY;
        bay.halfDepth = kArcadeHalfDepth;
        bay.segments = kArchSegments;
        const bool first = k == 0, last = k == side.bays - 1;
        if (side.isLong) {
            // Long walls run over the corner columns and end in visible faces.
            if (first)
                bay.s0 -= kArcadeHalfDepth, bay.capStart = true;
            if (last)
                bay.s1 += kArcadeHalfDepth, bay.capEnd = true;
        } else {
            // Short walls butt against the long walls' court faces.
            if (first)
                bay.s0 = -(kHalfZ - kArcadeHalfDepth);
            if (last)
                bay.s1 = kHalfZ - kArcadeHalfDepth;
        }
        addArchPanel(wall, side.frame, bay, kRepeatStone);
        addArchivolt(rings, side.frame, bay, kArchivoltWidth, kArchivoltProjection, true,
                     kRepeatStone);
    }
}

// Stepped cornice: three courses, the middle one projecting furthest.
void addCornice(Mesh& mesh, float y0) {
    const float back = -kArcadeHalfDepth;
    addRingBand(mesh, kArcadeHalfDepth + 8.0f, back, y0, y0 + 12.0f, kRepeatSmall);
    addRingBand(mesh, kArcadeHalfDepth + 24.0f, back, y0 + 12.0f, y0 + 38.0f, kRepeatSmall);
    addRingBand(mesh, kArcadeHalfDepth + 15.0f, back, y0 + 38.0f, y0 + 50.0f, kRepeatSmall);
}

// Beams across a gallery ceiling resting on wall plates along both of its walls.
void addCeilingFraming(Scene& scene, const char* storey, float ceilingY) {
    for (const Side& side : sides()) {
        Mesh& beams = scene.addMesh(meshName("beams", storey, side), mat::kWoodBeams);
        for (int k = 0; k <= 2 * side.bays; ++k) {
            const float s = -side.half + kPitch / 2.0f * static_cast<float>(k);
            addWallBox(beams, side.frame, {s - kBeamHalfWidth, s + kBeamHalfWidth},
                       {ceilingY - kBeamDepth, ceilingY}, {-kGalleryDepth, -kArcadeHalfDepth},
                       kRepeatWood);
        }
    }
    Mesh& plates = scene.addMesh(std::string("wall_plates_") + storey, mat::kWoodBeams);
    const float y0 = ceilingY - kPlateDepth;
    addRingBand(plates, -(kGalleryDepth - kPlateWidth), kGalleryDepth, y0, ceilingY, kRepeatWood);
    addRingBand(plates, -kArcadeHalfDepth, kArcadeHalfDepth + kPlateWidth, y0, ceilingY,
                kRepeatWood);
}

void addFloorsAndCeilings(Scene& scene) {
    addRingBand(scene.addMesh("ceiling_ground", mat::kPlaster), kArcadeHalfDepth, kGalleryDepth,
                kUpperFloorY, kUpperFloorY + kCeilingSkin, kRepeatPlaster, kAllFaces & ~kFacePosY);
    addRingBand(scene.addMesh("gallery_floor_upper", mat::kTerracottaTiles), kArcadeHalfDepth,
                kGalleryDepth, kUpperFloorY + kCeilingSkin, kUpperFloorTopY, kRepeatTiles,
                kNoBottom);
    addRingBand(scene.addMesh("ceiling_upper", mat::kPlaster), kArcadeHalfDepth, kGalleryDepth,
                kUpperWallTopY, kCeilingTopY, kRepeatPlaster);
    addCeilingFraming(scene, "ground", kUpperFloorY);
    addCeilingFraming(scene, "upper", kUpperWallTopY);
    addCornice(scene.addMesh("cornice_ground", mat::kStoneBands), kUpperFloorY);
    addCornice(scene.addMesh("cornice_upper", mat::kStoneBands), kUpperWallTopY);
    addRingBand(scene.addMesh("attic", mat::kBrick), kArcadeHalfDepth, kArcadeHalfDepth,
                kCeilingTopY, kAtticTopY, kRepeatBrick);
}

// Lean-to roofs falling from the outer walls to an eave overhanging the arcades.
void addRoofs(Scene& scene) {
    const float outer = -(kGalleryDepth + kOuterWallThickness);
    for (const Side& side : sides()) {
        const float half = side.isLong ? kSceneLengthX / 2.0f : kHalfZ - kEaveOverhang;
        const WallFrame& f = side.frame;
        const Vec3 lift = kUp * kRoofThickness;
        const Vec3 c[8] = {
            f.at(-half, kEaveY, kEaveOverhang),        f.at(half, kEaveY, kEaveOverhang),
            f.at(half, kOuterWallTopY, outer),         f.at(-half, kOuterWallTopY, outer),
            f.at(-half, kEaveY, kEaveOverhang) + lift, f.at(half, kEaveY, kEaveOverhang) + lift,
            f.at(half, kOuterWallTopY, outer) + lift,  f.at(-half, kOuterWallTopY, outer) + lift};
        addHexahedron(scene.addMesh(std::string("roof_") + side.name, mat::kRoofTiles), c,
                      kRepeatBrick);
    }
}

// Door with a stone surround on the ground storey's outer wall.
void addDoor(Mesh& door, Mesh& frame, const WallFrame& f, float s) {
    const float wall = -kGalleryDepth;
    addWallBox(door, f, {s - 45.0f, s + 45.0f}, {kGalleryFloorY, 250.0f}, {wall, wall + 6.0f},
               kRepeatSmall);
    addWallBox(frame, f, {s - 60.0f, s - 45.0f}, {kGalleryFloorY, 250.0f}, {wall, wall + 10.0f},
               kRepeatSmall);
    addWallBox(frame, f, {s + 45.0f, s + 60.0f}, {kGalleryFloorY, 250.0f}, {wall, wall + 10.0f},
               kRepeatSmall);
    addWallBox(frame, f, {s - 60.0f, s + 60.0f}, {250.0f, 268.0f}, {wall, wall + 12.0f},
               kRepeatSmall);
}

// Blind window (dark glass) with sill, lintel and jambs on the upper storey's outer wall.
void addWindow(Mesh& glass, Mesh& frame, const WallFrame& f, float s) {
    const float wall = -kGalleryDepth;
    addWallBox(glass, f, {s - 40.0f, s + 40.0f}, {820.0f, 1000.0f}, {wall, wall + 2.0f},
               kRepeatSmall);
    addWallBox(frame, f, {s - 52.0f, s + 52.0f}, {805.0f, 820.0f}, {wall, wall + 12.0f},
               kRepeatSmall);
    addWallBox(frame, f, {s - 52.0f, s + 52.0f}, {1000.0f, 1015.0f}, {wall, wall + 10.0f},
               kRepeatSmall);
    addWallBox(frame, f, {s - 52.0f, s - 40.0f}, {820.0f, 1000.0f}, {wall, wall + 10.0f},
               kRepeatSmall);
    addWallBox(frame, f, {s + 40.0f, s + 52.0f}, {820.0f, 1000.0f}, {wall, wall + 10.0f},
               kRepeatSmall);
}

void addOuterWalls(Scene& scene) {
    const float inner = -kGalleryDepth, outer = kGalleryDepth + kOuterWallThickness;
    addRingBand(scene.addMesh("outer_wall_ground", mat::kStoneBlocks), inner, outer, 0.0f,
                kUpperFloorY, kRepeatStone, kNoBottom);
    addRingBand(scene.addMesh("outer_wall_upper", mat::kBrick), inner, outer, kUpperFloorY,
                kOuterWallTopY, kRepeatBrick);
    Mesh& pilasters = scene.addMesh("pilasters", mat::kSandstone);
    const float wall = -kGalleryDepth;
    for (const Side& side : sides()) {
        for (float s : columnStations(side)) {
            addWallBox(pilasters, side.frame, {s - 30.0f, s + 30.0f},
                       {kGalleryFloorY, kUpperFloorY - kPlateDepth}, {wall, wall + 16.0f},
                       kRepeatSmall, kNoBottom);
            addWallBox(pilasters, side.frame, {s - 30.0f, s + 30.0f},
                       {kUpperFloorTopY, kUpperWallTopY - kPlateDepth}, {wall, wall + 16.0f},
                       kRepeatSmall, kNoBottom);
        }
        Mesh& doors = scene.addMesh(std::string("doors_") + side.name, mat::kWoodPanels);
        Mesh& doorFrames = scene.addMesh(std::string("door_frames_") + side.name, mat::kStoneDark);
        Mesh& glass = scene.addMesh(std::string("windows_") + side.name, mat::kGlassDark);
        Mesh& windowFrames =
            scene.addMesh(std::string("window_frames_") + side.name, mat::kStoneDark);
        for (int k = 0; k < side.bays; ++k) {
            if (k % 2 == 1 || !side.isLong)
                addDoor(doors, doorFrames, side.frame, bayCentre(side, k));
            addWindow(glass, windowFrames, side.frame, bayCentre(side, k));
        }
    }
}

// Rows of turned balusters between the upper pedestals, with plinth and hand rails.
void addBalustrades(Scene& scene) {
    constexpr float kRailBottom = kUpperFloorTopY + 15.0f;
    constexpr float kRailTop = kRailBottom + 70.0f;
    constexpr float kNominalSpacing = 26.0f;
    for (const Side& side : sides()) {
        for (int k = 0; k < side.bays; ++k) {
            Mesh& m = scene.addMesh(meshName("balustrade", "upper", side, k), mat::kSandstone);
            const float s0 = station(side, k) + kPedestalHalf;
            const float s1 = station(side, k + 1) - kPedestalHalf;
            addWallBox(m, side.frame, {s0, s1}, {kUpperFloorTopY, kRailBottom}, {-14.0f, 14.0f},
                       kRepeatSmall, kNoBottom);
            addWallBox(m, side.frame, {s0, s1}, {kRailTop, kRailTop + 18.0f}, {-16.0f, 16.0f},
                       kRepeatSmall);
            const int count = static_cast<int>((s1 - s0) / kNominalSpacing);
            const float spacing = (s1 - s0) / static_cast<float>(count);
            for (int i = 0; i < count; ++i) {
                const float s = s0 + spacing * (static_cast<float>(i) + 0.5f);
                addLathe(m, {side.frame.at(s, kRailBottom, 0.0f)},
                         balusterProfile(kRailTop - kRailBottom), kBalusterSegments, kRepeatSmall);
            }
        }
    }
}

// Rod along the wall at height y, `offset` in front of the wall line, held by two brackets that
// reach back to `bracketFoot`.
void addRod(Mesh& rod, const WallFrame& f, float centre, float half, float y, float offset,
            float bracketFoot) {
    const std::vector<Vec2> rodProfile = {
        {0.0f, 0.0f}, {3.0f, 0.0f}, {3.0f, 2.0f * half}, {0.0f, 2.0f * half}};
    addLathe(rod, {f.at(centre - half, y, offset), f.along}, rodProfile, kRodSegments,
             kRepeatSmall);
    for (float end : {-1.0f, 1.0f}) {
        const float s = centre + end * (half - 6.0f);
        addWallBox(rod, f, {s - 3.0f, s + 3.0f}, {y - 5.0f, y + 5.0f}, {bracketFoot, offset + 4.0f},
                   kRepeatSmall);
    }
}

// Cloth hung from a rod in front of an upper bay: gathered folds that deepen towards the hem.
void addDrape(Scene& scene, const Side& side, int bay, const char* material) {
    constexpr float kRodY = 1045.0f;
    constexpr float kRodOffset = 75.0f; // in front of the arcade face, clear of the cornices
    constexpr float kRodHalf = 152.0f;
    constexpr float kWidth = 280.0f;
    constexpr float kLength = 480.0f;
    constexpr float kFolds = 7.0f;
    const WallFrame& f = side.frame;
    const float c = bayCentre(side, bay);
    const float phase = 0.9f * static_cast<float>(bay);

    SurfaceOptions options;
    options.cellsU = kDrapeCellsU;
    options.cellsV = kDrapeCellsV;
    options.uvRepeats = {2.0f, 3.5f};
    options.twoSided = true;
    // Front faces the court: flip when dP/du x dP/dv (along x down) points into the gallery.
    options.flip = dot(cross(f.along, -kUp), f.out) < 0.0f;
    const auto surface = [&](float u, float v) {
        const float amplitude = 3.0f + 11.0f * v;
        const float s = c + (u - 0.5f) * kWidth * (1.0f - 0.12f * v * v);
        const float d = kRodOffset + amplitude * std::sin(2.0f * kPi * kFolds * u + phase + v) +
                        4.0f * v * (1.0f - v);
        return f.at(s, kRodY - 3.0f - kLength * v, d);
    };
    addSurface(scene.addMesh(meshName("drape", "upper", side, bay), material), surface, options);
    addRod(scene.addMesh(meshName("drape_rod", "upper", side, bay), mat::kMetalDark), f, c,
           kRodHalf, kRodY, kRodOffset, kAbacusHalf);
}

void addDrapes(Scene& scene) {
    static const char* const kFabrics[] = {mat::kFabricRed, mat::kFabricGreen, mat::kFabricBlue};
    int count = 0;
    for (const Side& side : sides()) {
        for (int k = 1; k < side.bays - 1; ++k) {
            if (side.isLong && k % 2 == 0)
                continue;
            addDrape(scene, side, k, kFabrics[count++ % 3]);
        }
    }
}

// Urns with shrubs on plinths along the long sides of the court, clear of its centre line.
void addPlanters(Scene& scene) {
    constexpr float kPlanterPlinthHalf = 45.0f;
    constexpr float kPlanterPlinthHeight = 30.0f;
    constexpr float kRowOffset = kHalfZ - 200.0f;
    const float xs[] = {-3.5f * kPitch, -1.5f * kPitch, 1.5f * kPitch, 3.5f * kPitch};
    int index = 0;
    for (float z : {-kRowOffset, kRowOffset}) {
        for (float x : xs) {
            const std::string name = "planter_" + std::to_string(index);
            const Vec3 foot{x, 0.0f, z};
            addBox(scene.addMesh(name + "_plinth", mat::kStoneSteps),
                   foot + Vec3{-kPlanterPlinthHalf, 0.0f, -kPlanterPlinthHalf},
                   foot + Vec3{kPlanterPlinthHalf, kPlanterPlinthHeight, kPlanterPlinthHalf},
                   kRepeatSmall, kNoBottom);
            const Vec3 vaseFoot = foot + kUp * kPlanterPlinthHeight;
            addLathe(scene.addMesh(name + "_urn", mat::kTerracottaVase), {vaseFoot}, vaseProfile(),
                     kVaseSegments, kRepeatSmall);
            addLathe(scene.addMesh(name + "_soil", mat::kSoil), {vaseFoot + kUp * kSoilY},
                     {{21.0f, 0.0f}, {12.0f, 3.0f}, {0.0f, 4.0f}}, kVaseSegments, kRepeatSmall);
            addBlob(scene.addMesh(name + "_shrub", mat::kFoliage),
                    vaseFoot + kUp * (kVaseRimY + 22.0f), {50.0f, 42.0f, 50.0f}, 0.22f,
                    1000u + static_cast<uint32_t>(index), 16, 32, kRepeatSmall);
            ++index;
        }
    }
}

// A flat banner on the east arcade, over the middle column that the start view looks at. Its
// picture spans it once with v = 1 along the top edge, as OBJ texture space runs, so a reader that
// turns textures upside down shows the hem at the top.
void addBanner(Scene& scene) {
    constexpr float kRodY = 585.0f;  // just under the ground cornice
    constexpr float kOffset = 62.0f; // clear of the cornice's deepest course
    constexpr float kHalfWidth = 55.0f;
    constexpr float kLength = 250.0f;
    const Side& side = sides()[2];
    const WallFrame& f = side.frame;
    const float c = station(side, side.bays / 2);

    SurfaceOptions options;
    options.cellsU = 4;
    options.cellsV = 8;
    options.twoSided = true;
    // Front faces the court: flip when dP/du x dP/dv (along x up) points into the gallery.
    options.flip = dot(cross(f.along, kUp), f.out) < 0.0f;
    const float top = kRodY - 3.0f;
    const auto surface = [&](float u, float v) {
        return f.at(c + (u - 0.5f) * 2.0f * kHalfWidth, top - kLength * (1.0f - v), kOffset);
    };
    addSurface(scene.addMesh(meshName("banner", "ground", side), mat::kBanner), surface, options);
    addRod(scene.addMesh(meshName("banner_rod", "ground", side), mat::kMetalDark), f, c,
           kHalfWidth + 7.0f, kRodY, kOffset, kArcadeHalfDepth);
}

} // namespace

void buildCourtyard(Scene& scene) {
    scene.materials() = mat::catalogue();
    addCourtFloor(scene);
    addColumns(scene);
    for (const Side& side : sides()) {
        addArcade(scene, side, "ground", kGroundSpringY, kUpperFloorY, mat::kStoneBlocks);
        addArcade(scene, side, "upper", kUpperSpringY, kUpperWallTopY, mat::kPlaster);
    }
    addFloorsAndCeilings(scene);
    addBalustrades(scene);
    addRoofs(scene);
    addOuterWalls(scene);
    addDrapes(scene);
    addPlanters(scene);
    addBanner(scene);
}

} // namespace scenegen
