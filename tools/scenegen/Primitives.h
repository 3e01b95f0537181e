// Geometric primitives the courtyard is assembled from: boxes, hexahedra, lathes (revolved
// profiles), smooth parametric sheets, lumpy blobs and extruded arch panels/rings.
#pragma once

#include "Mesh.h"

#include <functional>
#include <vector>

namespace scenegen {

// Texture coordinates for a point on a flat face: the two world axes spanning the face's
// dominant plane, divided by the texture repeat length. Vertical faces keep v along +y so
// courses of stone and brick stay horizontal, and neighbouring boxes' textures line up.
Vec2 planarUv(Vec3 p, Vec3 normal, float repeat);

enum BoxFaces : unsigned {
    kFaceNegX = 1u,
    kFacePosX = 2u,
    kFaceNegY = 4u,
    kFacePosY = 8u,
    kFaceNegZ = 16u,
    kFacePosZ = 32u,
    kAllFaces = 63u,
};

// Axis-aligned box with flat normals. Hidden faces can be left out with the mask.
void addBox(Mesh& mesh, Vec3 lo, Vec3 hi, float repeat, unsigned faces = kAllFaces);

// Convex six-sided solid: corners 0-3 go round the bottom, 4-7 lie above 0-3. Flat normals
// point away from the solid's centre whatever order the rings run in.
void addHexahedron(Mesh& mesh, const Vec3 (&corners)[8], float repeat);

// Orthonormal frame a lathe revolves about: the profile's height runs along axis.
struct Axis {
    Vec3 origin;
    Vec3 direction{0.0f, 1.0f, 0.0f};
};

// Revolves a (radius, height) profile about the axis. The profile runs so that the solid lies to
// its left, i.e. outward normals are (dHeight, -dRadius): bottom to top along an outer wall,
// outward along a bottom cap, inward along a top cap. Joints sharper than creaseDegrees get hard
// edges; the rest are smoothed. Radius 0 closes a cap at the axis.
void addLathe(Mesh& mesh, const Axis& axis, const std::vector<Vec2>& profile, int segments,
              float repeat, float creaseDegrees = 40.0f);

using SurfaceFn = std::function<Vec3(float u, float v)>;

// Smooth sheet sampled on a (cellsU+1) x (cellsV+1) lattice over u, v in [0,1]. The front faces
// the side of dP/du x dP/dv (the other side when flip is set); twoSided adds a back sheet with
// opposite normals so thin cloth stays visible with back-face culling.
struct SurfaceOptions {
    int cellsU = 16;
    int cellsV = 16;
    Vec2 uvRepeats{1.0f, 1.0f};
    bool flip = false;
    bool twoSided = false;
};
void addSurface(Mesh& mesh, const SurfaceFn& surface, const SurfaceOptions& options);

// Closed lumpy ball (foliage, cushions): a sphere whose radius is modulated by a smooth periodic
// bump pattern derived from seed.
void addBlob(Mesh& mesh, Vec3 centre, Vec3 radii, float bumpiness, uint32_t seed, int rings,
             int segments, float repeat);

// Maps wall-local coordinates to world space: s runs along the wall, y is height and d points out
// of the wall towards the courtyard. The axes must be world-axis aligned.
struct WallFrame {
    Vec3 origin;
    Vec3 along;
    Vec3 out;

    Vec3 at(float s, float y, float d) const {
        return origin + along * s + Vec3{0.0f, y, 0.0f} + out * d;
    }
};

// Box given in wall-local ranges.
void addWallBox(Mesh& mesh, const WallFrame& frame, Vec2 sRange, Vec2 yRange, Vec2 dRange,
                float repeat, unsigned faces = kAllFaces);

// One bay of an arcade wall: the solid between a round arch opening (centre s, springing height,
// radius) and the rectangle s0..s1 x springY..topY, extruded through the wall's depth.
struct ArchBay {
    float s0 = 0.0f;
    float s1 = 0.0f;
    float centre = 0.0f;
    float springY = 0.0f;
    float radius = 0.0f;
    float topY = 0.0f;
    float halfDepth = 0.0f;
    int segments = 24;
    bool capStart = false; // close the wall end at s0
    bool capEnd = false;   // close the wall end at s1
};
void addArchPanel(Mesh& mesh, const WallFrame& frame, const ArchBay& bay, float repeat);

// Moulded ring framing an arch on the wall face: band `width` wide beyond the opening, standing
// `projection` proud of the face. Added on the courtyard face, and the back face when bothSides.
void addArchivolt(Mesh& mesh, const WallFrame& frame, const ArchBay& bay, float width,
                  float projection, bool bothSides, float repeat);

} // namespace scenegen
