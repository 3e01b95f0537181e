// Mesh and scene containers: face orientation from normals, degenerate-face handling, and the
// winding self-check.
#include "Mesh.h"

#include <utility>

namespace scenegen {

namespace {

// Twice the area below which a face is treated as having none (model units squared).
constexpr float kMinDoubleArea = 1e-6f;
// A corner normal this close to perpendicular to its face still counts as agreeing; smooth
// surfaces tilt vertex normals away from the flat face normal by up to half a segment angle.
constexpr float kAgreementCosine = 0.0f;

} // namespace

Mesh::Mesh(std::string name, std::string material)
    : name_(std::move(name)), material_(std::move(material)) {}

uint32_t Mesh::addVertex(const Vertex& v) {
    vertices_.push_back(v);
    return static_cast<uint32_t>(vertices_.size() - 1);
}

void Mesh::addTriangle(uint32_t a, uint32_t b, uint32_t c) {
    const uint32_t corners[3] = {a, b, c};
    emit(corners, 3);
}

void Mesh::addQuad(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t corners[4] = {a, b, c, d};
    emit(corners, 4);
}

void Mesh::emit(const uint32_t* corners, int count) {
    // Drop corners that repeat the previous position (cyclically), e.g. at a lathe's axis.
    uint32_t kept[4];
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const Vec3 p = vertices_[corners[i]].position;
        const Vec3 prev = vertices_[corners[(i + count - 1) % count]].position;
        if (!(p == prev))
            kept[n++] = corners[i];
    }
    if (n < 3)
        return;

    const Vec3 p0 = vertices_[kept[0]].position;
    const Vec3 p1 = vertices_[kept[1]].position;
    const Vec3 p2 = vertices_[kept[2]].position;
    // For quads the diagonals' cross product is robust to one short edge.
    const Vec3 geometric =
        n == 4 ? cross(p2 - p0, vertices_[kept[3]].position - p1) : triangleNormal(p0, p1, p2);
    if (length(geometric) < kMinDoubleArea)
        return;

    Vec3 normalSum;
    for (int i = 0; i < n; ++i)
        normalSum = normalSum + vertices_[kept[i]].normal;
    if (dot(geometric, normalSum) < 0.0f)
        std::swap(kept[1], kept[n - 1]);

    indices_.insert(indices_.end(), kept, kept + n);
    faceSizes_.push_back(static_cast<uint8_t>(n));
    triangles_ += static_cast<size_t>(n - 2);
}

Mesh& Scene::addMesh(std::string name, std::string material) {
    meshes_.emplace_back(std::move(name), std::move(material));
    return meshes_.back();
}

size_t Scene::triangleCount() const {
    size_t total = 0;
    for (const Mesh& m : meshes_)
        total += m.triangleCount();
    return total;
}

WindingReport checkWinding(const Mesh& mesh) {
    WindingReport report;
    const auto& verts = mesh.vertices();
    const auto& idx = mesh.indices();
    size_t offset = 0;
    for (uint8_t size : mesh.faceSizes()) {
        for (uint8_t k = 1; k + 1 < size; ++k) {
            const uint32_t tri[3] = {idx[offset], idx[offset + k], idx[offset + k + 1]};
            ++report.triangles;
            const Vec3 g = triangleNormal(verts[tri[0]].position, verts[tri[1]].position,
                                          verts[tri[2]].position);
            if (length(g) < kMinDoubleArea) {
                ++report.degenerate;
                continue;
            }
            bool agrees = true;
            for (uint32_t corner : tri) {
                if (dot(normalize(g), verts[corner].normal) <= kAgreementCosine)
                    agrees = false;
            }
            if (!agrees)
                ++report.disagreeing;
        }
        offset += size;
    }
    return report;
}

} // namespace scenegen
