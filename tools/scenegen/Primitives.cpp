// Geometric primitives for the courtyard. Builders compute outward normals; Mesh then winds every
// face counter-clockwise around them.
#include "Primitives.h"

#include "Random.h"

#include <algorithm>
#include <cmath>

namespace scenegen {

namespace {

constexpr Vec3 kUp{0.0f, 1.0f, 0.0f};
// Angles closer than this are merged when an arch's corner angles join its uniform subdivision.
constexpr float kAngleEpsilon = 1e-4f;
// Finite-difference step (radians) for the blob's surface derivatives.
constexpr float kBlobStep = 1e-3f;

uint32_t addFlatVertex(Mesh& mesh, Vec3 p, Vec3 n, float repeat) {
    return mesh.addVertex({p, n, planarUv(p, n, repeat)});
}

void addFlatQuad(Mesh& mesh, Vec3 a, Vec3 b, Vec3 c, Vec3 d, Vec3 n, float repeat) {
    mesh.addQuad(addFlatVertex(mesh, a, n, repeat), addFlatVertex(mesh, b, n, repeat),
                 addFlatVertex(mesh, c, n, repeat), addFlatVertex(mesh, d, n, repeat));
}

// Unit direction at angle theta in the wall plane, exact at the springing points so arch ends sit
// precisely on the springing line.
Vec2 arcDirection(float theta) {
    if (theta <= 0.0f)
        return {1.0f, 0.0f};
    if (theta >= kPi)
        return {-1.0f, 0.0f};
    return {std::cos(theta), std::sin(theta)};
}

// Where the ray from the arch centre at angle theta leaves the bay rectangle.
Vec2 rectangleHit(const ArchBay& bay, Vec2 dir) {
    constexpr float kParallel = 1e-6f;
    float t = 1e30f;
    if (dir.x > kParallel)
        t = std::min(t, (bay.s1 - bay.centre) / dir.x);
    if (dir.x < -kParallel)
        t = std::min(t, (bay.s0 - bay.centre) / dir.x);
    if (dir.y > kParallel)
        t = std::min(t, (bay.topY - bay.springY) / dir.y);
    return {bay.centre + dir.x * t, bay.springY + dir.y * t};
}

std::vector<float> archAngles(const ArchBay& bay) {
    std::vector<float> angles;
    for (int k = 0; k <= bay.segments; ++k)
        angles.push_back(kPi * k / bay.segments);
    const float rise = bay.topY - bay.springY;
    // The rectangle's top corners must be vertices of the outline or the fan would cut them off.
    angles.push_back(std::atan2(rise, bay.s1 - bay.centre));
    angles.push_back(std::atan2(rise, bay.s0 - bay.centre));
    std::sort(angles.begin(), angles.end());
    std::vector<float> unique;
    for (float a : angles) {
        if (unique.empty() || a - unique.back() > kAngleEpsilon)
            unique.push_back(a);
    }
    return unique;
}

Vec3 wallDirection(const WallFrame& frame, Vec2 dir) {
    return frame.along * dir.x + kUp * dir.y;
}

// Cylindrical strip of an arch (intrados or ring edge) between depths d0 and d1; inward selects
// normals pointing at the arch's axis.
void addArchStrip(Mesh& mesh, const WallFrame& frame, const ArchBay& bay,
                  const std::vector<float>& angles, float radius, float d0, float d1, bool inward,
                  float repeat) {
    uint32_t prev[2] = {0, 0};
    for (size_t k = 0; k < angles.size(); ++k) {
        const Vec2 dir = arcDirection(angles[k]);
        const Vec3 radial = wallDirection(frame, dir);
        const Vec3 normal = inward ? -radial : radial;
        const float s = bay.centre + dir.x * radius;
        const float y = bay.springY + dir.y * radius;
        const float v = radius * angles[k] / repeat;
        const uint32_t a = mesh.addVertex({frame.at(s, y, d0), normal, {d0 / repeat, v}});
        const uint32_t b = mesh.addVertex({frame.at(s, y, d1), normal, {d1 / repeat, v}});
        if (k > 0)
            mesh.addQuad(prev[0], prev[1], b, a);
        prev[0] = a;
        prev[1] = b;
    }
}

} // namespace

Vec2 planarUv(Vec3 p, Vec3 n, float repeat) {
    const float ax = std::fabs(n.x);
    const float ay = std::fabs(n.y);
    const float az = std::fabs(n.z);
    const float inv = 1.0f / repeat;
    if (ay >= ax && ay >= az)
        return {p.x * inv, p.z * inv};
    if (ax >= az)
        return {p.z * inv, p.y * inv};
    return {p.x * inv, p.y * inv};
}

void addBox(Mesh& mesh, Vec3 lo, Vec3 hi, float repeat, unsigned faces) {
    for (int axis = 0; axis < 3; ++axis) {
        for (int side = 0; side < 2; ++side) {
            if ((faces & (1u << (axis * 2 + side))) == 0)
                continue;
            const int u = (axis + 1) % 3;
            const int v = (axis + 2) % 3;
            Vec3 normal;
            normal[axis] = side ? 1.0f : -1.0f;
            Vec3 c[4];
            for (Vec3& corner : c)
                corner[axis] = side ? hi[axis] : lo[axis];
            c[0][u] = lo[u], c[0][v] = lo[v];
            c[1][u] = hi[u], c[1][v] = lo[v];
            c[2][u] = hi[u], c[2][v] = hi[v];
            c[3][u] = lo[u], c[3][v] = hi[v];
            addFlatQuad(mesh, c[0], c[1], c[2], c[3], normal, repeat);
        }
    }
}

void addHexahedron(Mesh& mesh, const Vec3 (&c)[8], float repeat) {
    static const int kFaces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                     {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    Vec3 centre;
    for (const Vec3& p : c)
        centre = centre + p * 0.125f;
    for (const auto& f : kFaces) {
        const Vec3 a = c[f[0]], b = c[f[1]], cc = c[f[2]], d = c[f[3]];
        Vec3 normal = normalize(cross(cc - a, d - b));
        const Vec3 faceCentre = (a + b + cc + d) * 0.25f;
        if (dot(normal, faceCentre - centre) < 0.0f)
            normal = -normal;
        addFlatQuad(mesh, a, b, cc, d, normal, repeat);
    }
}

void addLathe(Mesh& mesh, const Axis& axis, const std::vector<Vec2>& profile, int segments,
              float repeat, float creaseDegrees) {
    const Vec3 up = normalize(axis.direction);
    const Vec3 helper = std::fabs(up.y) < 0.9f ? kUp : Vec3{1.0f, 0.0f, 0.0f};
    const Vec3 e1 = normalize(cross(helper, up));
    const Vec3 e2 = cross(up, e1);

    // Profile-plane normal of each segment: (dHeight, -dRadius) keeps the solid on the left.
    std::vector<Vec2> segNormal;
    std::vector<size_t> segStart;
    float maxRadius = 0.0f;
    for (size_t i = 0; i + 1 < profile.size(); ++i) {
        maxRadius = std::max(maxRadius, profile[i].x);
        const float dr = profile[i + 1].x - profile[i].x;
        const float dh = profile[i + 1].y - profile[i].y;
        const float len = std::sqrt(dr * dr + dh * dh);
        if (len <= 0.0f)
            continue;
        segNormal.push_back({dh / len, -dr / len});
        segStart.push_back(i);
    }
    if (!profile.empty())
        maxRadius = std::max(maxRadius, profile.back().x);

    const float creaseCos = std::cos(creaseDegrees * kPi / 180.0f);
    const float uRepeats = std::max(1.0f, std::round(2.0f * kPi * maxRadius / repeat));
    auto jointNormal = [&](size_t a, size_t b) {
        const Vec2 na = segNormal[a], nb = segNormal[b];
        if (na.x * nb.x + na.y * nb.y < creaseCos)
            return segNormal[b];
        const Vec2 sum{na.x + nb.x, na.y + nb.y};
        const float len = std::sqrt(sum.x * sum.x + sum.y * sum.y);
        return Vec2{sum.x / len, sum.y / len};
    };

    float arc = 0.0f;
    for (size_t s = 0; s < segNormal.size(); ++s) {
        const Vec2 p0 = profile[segStart[s]];
        const Vec2 p1 = profile[segStart[s] + 1];
        const Vec2 n0 = s > 0 ? jointNormal(s - 1, s) : segNormal[s];
        const Vec2 n1 = s + 1 < segNormal.size() ? jointNormal(s + 1, s) : segNormal[s];
        const float segLen = std::hypot(p1.x - p0.x, p1.y - p0.y);
        uint32_t prev[2] = {0, 0};
        for (int j = 0; j <= segments; ++j) {
            // The seam column reuses angle 0 so its positions match the first column exactly.
            const float phi = 2.0f * kPi * static_cast<float>(j % segments) / segments;
            const Vec3 radial = e1 * std::cos(phi) + e2 * std::sin(phi);
            const float u = uRepeats * static_cast<float>(j) / segments;
            const uint32_t a = mesh.addVertex({axis.origin + radial * p0.x + up * p0.y,
                                               normalize(radial * n0.x + up * n0.y),
                                               {u, arc / repeat}});
            const uint32_t b = mesh.addVertex({axis.origin + radial * p1.x + up * p1.y,
                                               normalize(radial * n1.x + up * n1.y),
                                               {u, (arc + segLen) / repeat}});
            if (j > 0)
                mesh.addQuad(prev[0], a, b, prev[1]);
            prev[0] = a;
            prev[1] = b;
        }
        arc += segLen;
    }
}

void addSurface(Mesh& mesh, const SurfaceFn& surface, const SurfaceOptions& o) {
    const int cols = o.cellsU + 1;
    const int rows = o.cellsV + 1;
    std::vector<Vec3> p(static_cast<size_t>(cols * rows));
    auto at = [&](int i, int j) -> Vec3& { return p[static_cast<size_t>(j * cols + i)]; };
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
            at(i, j) = surface(static_cast<float>(i) / o.cellsU, static_cast<float>(j) / o.cellsV);
        }
    }
    std::vector<Vec3> normals(p.size());
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
            const Vec3 du = at(std::min(i + 1, o.cellsU), j) - at(std::max(i - 1, 0), j);
            const Vec3 dv = at(i, std::min(j + 1, o.cellsV)) - at(i, std::max(j - 1, 0));
            const Vec3 n = normalize(cross(du, dv));
            normals[static_cast<size_t>(j * cols + i)] = o.flip ? -n : n;
        }
    }
    const int sides = o.twoSided ? 2 : 1;
    for (int side = 0; side < sides; ++side) {
        const auto base = static_cast<uint32_t>(mesh.vertices().size());
        for (int j = 0; j < rows; ++j) {
            for (int i = 0; i < cols; ++i) {
                const size_t k = static_cast<size_t>(j * cols + i);
                const Vec2 uv{o.uvRepeats.x * i / o.cellsU, o.uvRepeats.y * j / o.cellsV};
                mesh.addVertex({p[k], side == 0 ? normals[k] : -normals[k], uv});
            }
        }
        for (int j = 0; j < o.cellsV; ++j) {
            for (int i = 0; i < o.cellsU; ++i) {
                const auto v = static_cast<uint32_t>(j * cols + i) + base;
                const auto c = static_cast<uint32_t>(cols);
                mesh.addQuad(v, v + 1, v + c + 1, v + c);
            }
        }
    }
}

void addBlob(Mesh& mesh, Vec3 centre, Vec3 radii, float bumpiness, uint32_t seed, int rings,
             int segments, float repeat) {
    Pcg32 rng(seed);
    // Integer angular frequencies keep the bumps continuous across the longitude seam.
    const float k1 = static_cast<float>(3 + rng.next() % 4),
                k2 = static_cast<float>(6 + rng.next() % 5);
    const float m1 = 3.0f + rng.range(0.0f, 2.0f), m2 = 6.0f + rng.range(0.0f, 3.0f);
    const float p1 = rng.range(0.0f, 2.0f * kPi), p2 = rng.range(0.0f, 2.0f * kPi);
    auto point = [&](float theta, float phi) {
        const float bump = 0.6f * std::sin(k1 * phi + p1) * std::sin(m1 * theta) +
                           0.4f * std::sin(k2 * phi + p2) * std::sin(m2 * theta + p1);
        const float scale = 1.0f + bumpiness * bump * std::sin(theta);
        const Vec3 dir{std::sin(theta) * std::cos(phi), std::cos(theta),
                       std::sin(theta) * std::sin(phi)};
        return centre + Vec3{dir.x * radii.x, dir.y * radii.y, dir.z * radii.z} * scale;
    };
    const float uRepeats =
        std::max(1.0f, std::round(2.0f * kPi * std::max(radii.x, radii.z) / repeat));
    const float vRepeats = std::max(1.0f, std::round(kPi * radii.y / repeat));
    const auto base = static_cast<uint32_t>(mesh.vertices().size());
    for (int r = 0; r <= rings; ++r) {
        const float theta = kPi * static_cast<float>(r) / rings;
        const bool pole = r == 0 || r == rings;
        for (int s = 0; s <= segments; ++s) {
            const float phi = 2.0f * kPi * static_cast<float>(s % segments) / segments;
            // Every column of a pole ring shares one exact point so the fans there collapse.
            const Vec3 p = pole ? centre + Vec3{0.0f, (r == 0 ? 1.0f : -1.0f) * radii.y, 0.0f}
                                : point(theta, phi);
            Vec3 n = cross(point(theta + kBlobStep, phi) - point(theta - kBlobStep, phi),
                           point(theta, phi + kBlobStep) - point(theta, phi - kBlobStep));
            const Vec3 outward = pole ? Vec3{0.0f, r == 0 ? 1.0f : -1.0f, 0.0f} : p - centre;
            n = pole ? outward : normalize(n);
            if (dot(n, outward) < 0.0f)
                n = -n;
            mesh.addVertex({p,
                            n,
                            {uRepeats * static_cast<float>(s) / segments,
                             vRepeats * static_cast<float>(r) / rings}});
        }
    }
    const auto stride = static_cast<uint32_t>(segments + 1);
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const uint32_t v = base + static_cast<uint32_t>(r) * stride + static_cast<uint32_t>(s);
            mesh.addQuad(v, v + 1, v + stride + 1, v + stride);
        }
    }
}

void addWallBox(Mesh& mesh, const WallFrame& frame, Vec2 sRange, Vec2 yRange, Vec2 dRange,
                float repeat, unsigned faces) {
    const Vec3 a = frame.at(sRange.x, yRange.x, dRange.x);
    const Vec3 b = frame.at(sRange.y, yRange.y, dRange.y);
    const Vec3 lo{std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
    const Vec3 hi{std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
    addBox(mesh, lo, hi, repeat, faces);
}

void addArchPanel(Mesh& mesh, const WallFrame& frame, const ArchBay& bay, float repeat) {
    const std::vector<float> angles = archAngles(bay);
    const float h = bay.halfDepth;
    // Front and back faces: a fan of quads between the opening's rim and the rectangle outline.
    for (int side = 0; side < 2; ++side) {
        const float d = side == 0 ? h : -h;
        const Vec3 normal = side == 0 ? frame.out : -frame.out;
        for (size_t k = 0; k + 1 < angles.size(); ++k) {
            const Vec2 da = arcDirection(angles[k]), db = arcDirection(angles[k + 1]);
            const Vec2 oa = rectangleHit(bay, da), ob = rectangleHit(bay, db);
            const float r = bay.radius;
            addFlatQuad(mesh, frame.at(bay.centre + da.x * r, bay.springY + da.y * r, d),
                        frame.at(bay.centre + db.x * r, bay.springY + db.y * r, d),
                        frame.at(ob.x, ob.y, d), frame.at(oa.x, oa.y, d), normal, repeat);
        }
    }
    addArchStrip(mesh, frame, bay, angles, bay.radius, -h, h, true, repeat);

    // Top, the undersides of the two abutments, and the wall ends where requested.
    const Vec3 up = kUp;
    addFlatQuad(mesh, frame.at(bay.s0, bay.topY, -h), frame.at(bay.s1, bay.topY, -h),
                frame.at(bay.s1, bay.topY, h), frame.at(bay.s0, bay.topY, h), up, repeat);
    const float left = bay.centre - bay.radius, right = bay.centre + bay.radius;
    addFlatQuad(mesh, frame.at(bay.s0, bay.springY, -h), frame.at(left, bay.springY, -h),
                frame.at(left, bay.springY, h), frame.at(bay.s0, bay.springY, h), -up, repeat);
    addFlatQuad(mesh, frame.at(right, bay.springY, -h), frame.at(bay.s1, bay.springY, -h),
                frame.at(bay.s1, bay.springY, h), frame.at(right, bay.springY, h), -up, repeat);
    const float ends[2] = {bay.s0, bay.s1};
    const bool caps[2] = {bay.capStart, bay.capEnd};
    for (int e = 0; e < 2; ++e) {
        if (!caps[e])
            continue;
        const float s = ends[e];
        addFlatQuad(mesh, frame.at(s, bay.springY, -h), frame.at(s, bay.springY, h),
                    frame.at(s, bay.topY, h), frame.at(s, bay.topY, -h),
                    e == 0 ? -frame.along : frame.along, repeat);
    }
}

void addArchivolt(Mesh& mesh, const WallFrame& frame, const ArchBay& bay, float width,
                  float projection, bool bothSides, float repeat) {
    std::vector<float> angles;
    for (int k = 0; k <= bay.segments; ++k)
        angles.push_back(kPi * k / bay.segments);
    const float r0 = bay.radius, r1 = bay.radius + width;
    for (int side = 0; side < (bothSides ? 2 : 1); ++side) {
        const float sign = side == 0 ? 1.0f : -1.0f;
        const float dWall = sign * bay.halfDepth, dFace = sign * (bay.halfDepth + projection);
        const Vec3 faceNormal = frame.out * sign;
        for (size_t k = 0; k + 1 < angles.size(); ++k) {
            const Vec2 a = arcDirection(angles[k]), b = arcDirection(angles[k + 1]);
            auto at = [&](Vec2 dir, float r) {
                return frame.at(bay.centre + dir.x * r, bay.springY + dir.y * r, dFace);
            };
            addFlatQuad(mesh, at(a, r0), at(b, r0), at(b, r1), at(a, r1), faceNormal, repeat);
        }
        addArchStrip(mesh, frame, bay, angles, r0, dWall, dFace, true, repeat);
        addArchStrip(mesh, frame, bay, angles, r1, dWall, dFace, false, repeat);
        // Feet of the ring, resting on the capitals.
        for (float dir : {-1.0f, 1.0f}) {
            const float sa = bay.centre + dir * r0, sb = bay.centre + dir * r1;
            addFlatQuad(mesh, frame.at(sa, bay.springY, dWall), frame.at(sb, bay.springY, dWall),
                        frame.at(sb, bay.springY, dFace), frame.at(sa, bay.springY, dFace), -kUp,
                        repeat);
        }
    }
}

} // namespace scenegen
