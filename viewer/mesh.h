// An object as the host keeps it: its geometry records, where it stands in
// the world, and how the main view draws it.
#pragma once

#include <string>
#include <vector>

#include "zqgd/geometry.h"

struct Vec3 {
    float x, y, z;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b);
Vec3 Normalise(Vec3 v);

// One corner as the builders give it.
struct CornerSpec {
    uint32_t vertex;
    Vec3 normal;
    float s, t;
    Vec3 colour;
};

struct Mesh {
    std::string name;
    std::vector<float> vertices;
    std::vector<PolygonRecord> polygons;
    std::vector<LightPointRecord> lightPoints;
    float model[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};  // object to world, three rows
    int32_t renderMode = 0x400;  // smooth, depth on
    bool preLit = false;
    bool transparent = false;    // drawn after the opaque objects

    // Filled by Finish and per frame.
    PolygonList list{};
    GeometryBlock block{};
    float objectMatrix[12] = {};
    float eye[3] = {};

    uint32_t AddVertex(Vec3 position);
    Vec3 Vertex(uint32_t index) const { return {vertices[index * 3], vertices[index * 3 + 1], vertices[index * 3 + 2]}; }
    // Adds a polygon of 2 to 4 corners; its plane faces along outward.
    void AddPolygon(const std::vector<CornerSpec>& corners, uint32_t material, Vec3 outward, uint16_t hiddenEdges = 0);
    // Points the records at the vectors; call after the last addition.
    void Finish();
};
