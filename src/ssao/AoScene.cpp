// AoScene: owns the Embree device, scene and the per-mesh copies its filter
// callbacks read (world-space triangles, texture coordinates, alpha masks).
#include "ssao/AoScene.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include <embree3/rtcore.h>

#include "core/Logger.h"

namespace {

const char* const kTag = "AoTruth";
constexpr int kCorners = 3;
constexpr int kPacketSize = 16; // rays per rtcOccluded16 call
constexpr float kTwoPi = 6.28318530717958647692f;
// 1 / golden ratio: the lattice's second coordinate steps by it, which
// spreads any number of points evenly over [0, 1)^2.
constexpr float kLatticeStep = 0.61803398874989484820f;
// A hit point is exact only to float rounding of its coordinates, which
// grows with the distance from the ray's origin (about 2^-23 of it, a few
// times over through the ray's arithmetic); rays then start on the wrong
// side and hit their own surface. Lifting the ray start by this fraction of
// the eye distance (at least of one unit) clears that: self-hits begin
// near 1e-7 on a tilted plane far out, so 1e-5 leaves a hundredfold
// margin, and at 200 units it is 0.002, a fraction of a percent of any
// occlusion radius worth measuring.
constexpr float kLiftPerDistance = 1e-5f;

float Fract(float x) {
    return x - std::floor(x);
}

int Wrap(int i, int n) {
    int r = i % n;
    return r < 0 ? r + n : r;
}

} // namespace

struct AoScene::MeshData {
    const float* vertices = nullptr;   // Embree's buffer, world space, 3 floats each
    const uint32_t* indices = nullptr; // Embree's buffer, 3 per triangle
    std::vector<float> texCoords;      // 2 per vertex, or empty
    std::shared_ptr<const AlphaMask> mask;

    glm::vec3 Vertex(uint32_t i) const {
        return glm::vec3(vertices[3 * i], vertices[3 * i + 1], vertices[3 * i + 2]);
    }
    glm::vec3 FaceNormal(uint32_t prim) const {
        const uint32_t* tri = indices + kCorners * prim;
        glm::vec3 a = Vertex(tri[0]);
        return glm::cross(Vertex(tri[1]) - a, Vertex(tri[2]) - a);
    }
    // A texel the geometry pass would discard.
    bool IsHole(uint32_t prim, float u, float v) const {
        if (!mask || texCoords.empty())
            return false;
        const uint32_t* tri = indices + kCorners * prim;
        glm::vec2 t0(texCoords[2 * tri[0]], texCoords[2 * tri[0] + 1]);
        glm::vec2 t1(texCoords[2 * tri[1]], texCoords[2 * tri[1] + 1]);
        glm::vec2 t2(texCoords[2 * tri[2]], texCoords[2 * tri[2] + 1]);
        // Embree's barycentrics: p = (1 - u - v) p0 + u p1 + v p2.
        glm::vec2 uv = (1.0f - u - v) * t0 + u * t1 + v * t2;
        glm::vec2 st = ShaderTexCoord(uv);
        return SampleAlpha(*mask, st.x, st.y) < kAlphaCutoff;
    }
};

namespace {

// Primary rays see what the geometry pass keeps: front faces (culling drops
// the rest) and opaque texels.
void FrontFaceFilter(const RTCFilterFunctionNArguments* args) {
    const AoScene::MeshData* mesh = static_cast<const AoScene::MeshData*>(args->geometryUserPtr);
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] != -1)
            continue;
        glm::vec3 dir(RTCRayN_dir_x(args->ray, args->N, i), RTCRayN_dir_y(args->ray, args->N, i),
                      RTCRayN_dir_z(args->ray, args->N, i));
        unsigned prim = RTCHitN_primID(args->hit, args->N, i);
        if (glm::dot(mesh->FaceNormal(prim), dir) >= 0.0f ||
            mesh->IsHole(prim, RTCHitN_u(args->hit, args->N, i), RTCHitN_v(args->hit, args->N, i)))
            args->valid[i] = 0;
    }
}

// Occlusion rays are blocked by either side of a surface, but not by holes.
void HoleFilter(const RTCFilterFunctionNArguments* args) {
    const AoScene::MeshData* mesh = static_cast<const AoScene::MeshData*>(args->geometryUserPtr);
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] != -1)
            continue;
        if (mesh->IsHole(RTCHitN_primID(args->hit, args->N, i), RTCHitN_u(args->hit, args->N, i),
                         RTCHitN_v(args->hit, args->N, i)))
            args->valid[i] = 0;
    }
}

void ReportEmbreeError(void*, RTCError code, const char* message) {
    LogMessage(LOG_ERROR, kTag, "Embree error %d: %s", int(code), message ? message : "");
}

// One ray's frame and lattice: what every packet of a point shares.
struct PacketFrame {
    glm::vec3 origin, tangent, bitangent, normal;
    float radius;
    int rays;
    float shiftU, shiftV;
};

// Traces lanes (at most Width) rays of the lattice; idle lanes repeat the
// last ray and are masked off. Returns how many escaped.
template <typename Packet, int Width>
int TracePacket(void (*occluded)(const int*, RTCScene, RTCIntersectContext*, Packet*),
                RTCScene scene, RTCIntersectContext* context, const PacketFrame& f,
                const int* indices, int lanes) {
    alignas(64) Packet packet{};
    alignas(64) int valid[Width];
    for (int lane = 0; lane < Width; ++lane) {
        valid[lane] = lane < lanes ? -1 : 0;
        int index = indices[std::min(lane, lanes - 1)];
        glm::vec3 d = CosineLatticeDirection(index, f.rays, f.shiftU, f.shiftV);
        glm::vec3 dir = f.tangent * d.x + f.bitangent * d.y + f.normal * d.z;
        packet.org_x[lane] = f.origin.x;
        packet.org_y[lane] = f.origin.y;
        packet.org_z[lane] = f.origin.z;
        packet.dir_x[lane] = dir.x;
        packet.dir_y[lane] = dir.y;
        packet.dir_z[lane] = dir.z;
        packet.tnear[lane] = 0.0f;
        packet.tfar[lane] = f.radius;
        packet.time[lane] = 0.0f;
        packet.mask[lane] = ~0u;
        packet.id[lane] = 0;
        packet.flags[lane] = 0;
    }
    occluded(valid, scene, context, &packet);
    // Embree marks a blocked ray by setting its tfar to -inf.
    int open = 0;
    for (int lane = 0; lane < lanes; ++lane)
        open += packet.tfar[lane] >= 0.0f ? 1 : 0;
    return open;
}

} // namespace

float SampleAlpha(const AlphaMask& mask, float s, float t) {
    if (mask.width <= 0 || mask.height <= 0 || !std::isfinite(s) || !std::isfinite(t))
        return 1.0f;
    // GL_LINEAR: texel centres sit at (i + 0.5) / size; GL_REPEAT wraps
    // the four neighbours independently.
    float x = s * float(mask.width) - 0.5f;
    float y = t * float(mask.height) - 0.5f;
    float x0f = std::floor(x), y0f = std::floor(y);
    float fx = x - x0f, fy = y - y0f;
    // Reduce before converting: coordinates far outside [0, 1) still wrap.
    int x0 = Wrap(int(std::fmod(x0f, float(mask.width))), mask.width);
    int y0 = Wrap(int(std::fmod(y0f, float(mask.height))), mask.height);
    int x1 = Wrap(x0 + 1, mask.width), y1 = Wrap(y0 + 1, mask.height);
    auto at = [&](int xi, int yi) { return float(mask.alpha[size_t(yi) * mask.width + xi]); };
    float top = at(x0, y0) * (1.0f - fx) + at(x1, y0) * fx;
    float bottom = at(x0, y1) * (1.0f - fx) + at(x1, y1) * fx;
    return (top * (1.0f - fy) + bottom * fy) / 255.0f;
}

glm::vec2 ShaderTexCoord(glm::vec2 uv) {
    return glm::vec2(uv.x, 1.0f - uv.y);
}

glm::vec3 CosineLatticeDirection(int i, int n, float shiftU, float shiftV) {
    // Uniform points on the unit disk, lifted onto the hemisphere, have a
    // density proportional to the cosine to +z (Malley's method). The disk
    // point of (u, v) is radius sqrt(u), angle 2 pi v.
    float u = Fract((float(i) + 0.5f) / float(n) + shiftU);
    float v = Fract(float(i) * kLatticeStep + shiftV);
    float r = std::sqrt(u);
    float phi = kTwoPi * v;
    return glm::vec3(r * std::cos(phi), r * std::sin(phi), std::sqrt(std::max(0.0f, 1.0f - u)));
}

AoScene::AoScene(RayDeviceMaker makeDevice)
    : mMakeDevice(makeDevice ? makeDevice : rtcNewDevice), mDevice(nullptr), mScene(nullptr),
      mTriangleCount(0), mCommitted(false) {}

AoScene::~AoScene() {
    if (mScene)
        rtcReleaseScene(mScene);
    if (mDevice)
        rtcReleaseDevice(mDevice);
}

int AoScene::Create() {
    assert(!mDevice && "Create is called once");
    mDevice = mMakeDevice(nullptr);
    if (!mDevice) {
        LogMessage(LOG_ERROR, kTag, "Couldn't create the Embree device (error %d)",
                   int(rtcGetDeviceError(nullptr)));
        return -1;
    }
    rtcSetDeviceErrorFunction(mDevice, ReportEmbreeError, nullptr);
    if (!rtcGetDeviceProperty(mDevice, RTC_DEVICE_PROPERTY_FILTER_FUNCTION_SUPPORTED)) {
        LogMessage(LOG_ERROR, kTag, "This Embree was built without filter functions");
        return -1;
    }
    mScene = rtcNewScene(mDevice);
    if (!mScene)
        return -1; // the error callback said why
    return 0;
}

int AoScene::AddMesh(const float* positions, uint32_t numVertices, const uint32_t* indices,
                     uint32_t numIndices, const glm::mat4& world, const float* texCoords,
                     std::shared_ptr<const AlphaMask> mask) {
    assert(mScene && !mCommitted && "meshes go into a created scene before Commit");
    // Unindexed meshes draw a strip over their vertices.
    uint32_t triangles = indices ? numIndices / kCorners : (numVertices >= 3 ? numVertices - 2 : 0);
    if (triangles == 0 || !positions)
        return 0;
    RTCGeometry geometry = rtcNewGeometry(mDevice, RTC_GEOMETRY_TYPE_TRIANGLE);
    float* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(
        geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), numVertices));
    uint32_t* tris = static_cast<uint32_t*>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                kCorners * sizeof(uint32_t), triangles));
    if (!vertices || !tris) {
        rtcReleaseGeometry(geometry);
        return -1; // the error callback said why
    }
    for (uint32_t i = 0; i < numVertices; ++i) {
        glm::vec4 p =
            world * glm::vec4(positions[3 * i], positions[3 * i + 1], positions[3 * i + 2], 1.0f);
        vertices[3 * i] = p.x;
        vertices[3 * i + 1] = p.y;
        vertices[3 * i + 2] = p.z;
    }
    for (uint32_t k = 0; k < triangles; ++k) {
        uint32_t* tri = tris + kCorners * k;
        if (indices) {
            for (int c = 0; c < kCorners; ++c)
                tri[c] = indices[kCorners * k + c];
        } else {
            // GL keeps a strip's winding by swapping the first two corners of odd triangles.
            tri[0] = k % 2 ? k + 1 : k;
            tri[1] = k % 2 ? k : k + 1;
            tri[2] = k + 2;
        }
        for (int c = 0; c < kCorners; ++c) {
            if (tri[c] >= numVertices) {
                LogMessage(LOG_ERROR, kTag, "Triangle %u names vertex %u of %u", k, tri[c],
                           numVertices);
                rtcReleaseGeometry(geometry);
                return -1;
            }
        }
    }
    auto data = std::make_unique<MeshData>();
    data->vertices = vertices;
    data->indices = tris;
    if (mask) {
        // Without coordinates the shader reads GL's generic value, (0, 0),
        // at every vertex: the whole mesh samples one texel.
        if (texCoords)
            data->texCoords.assign(texCoords, texCoords + 2 * size_t(numVertices));
        else
            data->texCoords.assign(2 * size_t(numVertices), 0.0f);
        data->mask = std::move(mask);
    }
    rtcSetGeometryUserData(geometry, data.get());
    rtcSetGeometryIntersectFilterFunction(geometry, FrontFaceFilter);
    rtcSetGeometryOccludedFilterFunction(geometry, HoleFilter);
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(mScene, geometry);
    // The scene holds its own reference; the data must outlive the scene.
    rtcReleaseGeometry(geometry);
    mMeshes.push_back(std::move(data));
    mTriangleCount += triangles;
    return 0;
}

int AoScene::Commit() {
    assert(mScene && !mCommitted && "Commit once, after the meshes");
    rtcCommitScene(mScene);
    if (rtcGetDeviceError(mDevice) != RTC_ERROR_NONE)
        return -1;
    mCommitted = true;
    return 0;
}

bool AoScene::Intersect(const glm::vec3& origin, const glm::vec3& dir, float tfar,
                        SurfaceHit* hit) const {
    assert(mCommitted && "trace a committed scene");
    float length = glm::length(dir);
    if (!(length > 0.0f))
        return false;
    glm::vec3 unit = dir / length;
    RTCIntersectContext context{};
    rtcInitIntersectContext(&context);
    RTCRayHit rh{};
    rh.ray.org_x = origin.x;
    rh.ray.org_y = origin.y;
    rh.ray.org_z = origin.z;
    rh.ray.dir_x = unit.x;
    rh.ray.dir_y = unit.y;
    rh.ray.dir_z = unit.z;
    rh.ray.tnear = 0.0f;
    rh.ray.tfar = tfar * length;
    rh.ray.mask = ~0u;
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(mScene, &context, &rh);
    if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID)
        return false;
    const MeshData& mesh = *mMeshes[rh.hit.geomID];
    glm::vec3 n = glm::normalize(mesh.FaceNormal(rh.hit.primID));
    hit->position = origin + unit * rh.ray.tfar;
    hit->normal = glm::dot(n, unit) > 0.0f ? -n : n;
    hit->distance = rh.ray.tfar;
    hit->alphaTested = mesh.mask != nullptr;
    return true;
}

float AoScene::Visibility(const glm::vec3& point, const glm::vec3& normal, float eyeDistance,
                          float radius, int rays, float shiftU, float shiftV) const {
    assert(rays > 0 && "at least one ray");
    int open = 0;
    int indices[kPacketSize];
    for (int first = 0; first < rays; first += kPacketSize) {
        int count = std::min(kPacketSize, rays - first);
        for (int i = 0; i < count; ++i)
            indices[i] = first + i;
        open += OpenRays(point, normal, eyeDistance, radius, rays, indices, count, shiftU, shiftV);
    }
    return float(open) / float(rays);
}

int AoScene::OpenRays(const glm::vec3& point, const glm::vec3& normal, float eyeDistance,
                      float radius, int rays, const int* indices, int count, float shiftU,
                      float shiftV, bool fitPackets) const {
    assert(mCommitted && rays > 0 && count > 0 && "trace a committed scene");
    // Any frame around the normal will do: the lattice is rotated at random.
    glm::vec3 axis = std::fabs(normal.x) < 0.9f ? glm::vec3(1, 0, 0) : glm::vec3(0, 1, 0);
    glm::vec3 tangent = glm::normalize(axis - normal * glm::dot(axis, normal));
    glm::vec3 bitangent = glm::cross(normal, tangent);
    glm::vec3 origin = point + normal * (kLiftPerDistance * std::max(1.0f, eyeDistance));

    // Rays from one point travel together through the hierarchy: tracing
    // them in packets shares the node tests.
    RTCIntersectContext context{};
    rtcInitIntersectContext(&context);
    context.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
    PacketFrame frame{origin, tangent, bitangent, normal, radius, rays, shiftU, shiftV};
    // A few rays go in a packet of their own width: a wider one would
    // traverse for its idle lanes too.
    if (fitPackets && count <= 4)
        return TracePacket<RTCRay4, 4>(rtcOccluded4, mScene, &context, frame, indices, count);
    if (fitPackets && count <= 8)
        return TracePacket<RTCRay8, 8>(rtcOccluded8, mScene, &context, frame, indices, count);
    int open = 0;
    for (int start = 0; start < count; start += kPacketSize)
        open += TracePacket<RTCRay16, kPacketSize>(rtcOccluded16, mScene, &context, frame,
                                                   indices + start,
                                                   std::min(kPacketSize, count - start));
    return open;
}
