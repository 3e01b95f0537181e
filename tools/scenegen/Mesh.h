// Mesh and scene containers for the generator: vertices with normals and UVs, triangle/quad faces
// oriented by their normals, materials, and the winding self-check used by the tests.
#pragma once

#include "Math.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace scenegen {

struct Vertex {
    Vec3 position;
    Vec3 normal;
    Vec2 uv;
};

class Mesh {
public:
    Mesh(std::string name, std::string material);

    uint32_t addVertex(const Vertex& v);

    // Faces are wound to agree with their vertex normals, so builders only have to get the
    // normals pointing outwards and every front face comes out counter-clockwise. Corners that
    // share a position collapse (a quad touching an axis becomes a triangle); faces with no area
    // are dropped, because they would only produce NaN normals downstream.
    void addTriangle(uint32_t a, uint32_t b, uint32_t c);
    void addQuad(uint32_t a, uint32_t b, uint32_t c, uint32_t d);

    const std::string& name() const { return name_; }
    const std::string& material() const { return material_; }
    const std::vector<Vertex>& vertices() const { return vertices_; }
    // Corner indices of all faces back to back; faceSizes() says how many belong to each face.
    const std::vector<uint32_t>& indices() const { return indices_; }
    const std::vector<uint8_t>& faceSizes() const { return faceSizes_; }
    size_t triangleCount() const { return triangles_; }
    bool empty() const { return faceSizes_.empty(); }

private:
    void emit(const uint32_t* corners, int count);

    std::string name_;
    std::string material_;
    std::vector<Vertex> vertices_;
    std::vector<uint32_t> indices_;
    std::vector<uint8_t> faceSizes_;
    size_t triangles_ = 0;
};

struct Material {
    std::string name;
    Vec3 diffuse{1.0f, 1.0f, 1.0f};
    float specular = 0.0f;
    float shininess = 8.0f;
    std::string texture; // texture base name (no directory or extension); empty = colour only
};

class Scene {
public:
    // A deque keeps references valid while more meshes are added.
    Mesh& addMesh(std::string name, std::string material);

    const std::deque<Mesh>& meshes() const { return meshes_; }
    std::vector<Material>& materials() { return materials_; }
    const std::vector<Material>& materials() const { return materials_; }
    size_t triangleCount() const;

private:
    std::deque<Mesh> meshes_;
    std::vector<Material> materials_;
};

struct WindingReport {
    size_t triangles = 0;
    size_t degenerate = 0;  // triangles without measurable area
    size_t disagreeing = 0; // triangles whose winding contradicts a corner's normal
};

// Splits faces the way an importer's triangulation does (fan from the first corner) and compares
// each triangle's counter-clockwise geometric normal with its corners' normals.
WindingReport checkWinding(const Mesh& mesh);

// Geometric normal (unnormalised, counter-clockwise) of a triangle.
inline Vec3 triangleNormal(Vec3 a, Vec3 b, Vec3 c) {
    return cross(b - a, c - a);
}

} // namespace scenegen
