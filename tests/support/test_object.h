// Geometry records for one object, as a host builds them, and the host's
// material table.
#pragma once

#include <cstring>
#include <vector>

#include "zqgd/geometry.h"
#include "zqgd/host.h"

struct TestObject {
    std::vector<float> vertices;  // x, y, z per vertex
    std::vector<PolygonRecord> polygons;
    std::vector<LightPointRecord> lightPoints;
    float matrix[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    float eye[3] = {0, 0, 0};
    PolygonList list{};
    GeometryBlock block{};

    uint32_t vertex(float x, float y, float z)
    {
        vertices.insert(vertices.end(), {x, y, z});
        return static_cast<uint32_t>(vertices.size() / 3 - 1);
    }

    // A polygon facing the eye at the origin (front side towards -z), with
    // texture coordinates (0,0) (1,0) (1,1) (0,1) on its corners.
    PolygonRecord& polygon(std::vector<uint32_t> corners, uint32_t material = 0)
    {
        PolygonRecord record{};
        record.vertexCount = static_cast<uint16_t>(corners.size());
        static const float st[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (size_t i = 0; i < corners.size() && i < 4; ++i) {
            record.corners[i].vertexIndex = corners[i];
            record.corners[i].normal[2] = -1;
            record.corners[i].texCoord[0] = st[i][0];
            record.corners[i].texCoord[1] = st[i][1];
        }
        record.plane[2] = -1;
        record.plane[3] = vertices.empty() ? 0 : vertices[corners[0] * 3 + 2];
        record.materialIndex = material;
        polygons.push_back(record);
        return polygons.back();
    }

    // A square of the given half size centred on the view axis at depth z.
    PolygonRecord& square(float half, float z, uint32_t material = 0)
    {
        uint32_t a = vertex(-half, -half, z), b = vertex(half, -half, z), c = vertex(half, half, z),
                 d = vertex(-half, half, z);
        return polygon({a, b, c, d}, material);
    }

    GeometryBlock* finish(bool preLit = false)
    {
        list.vertexCount = static_cast<uint32_t>(vertices.size() / 3);
        list.vertices = reinterpret_cast<float(*)[3]>(vertices.data());
        list.polygonCount = static_cast<uint32_t>(polygons.size());
        list.polygons = polygons.data();
        list.lightPointCount = static_cast<uint32_t>(lightPoints.size());
        list.lightPoints = lightPoints.data();
        block.polygonList = &list;
        block.objectMatrix = matrix;
        block.eyePosition = eye;
        block.preLit = preLit ? 1 : 0;
        return &block;
    }
};

// Installs a material table for the life of the object.
struct TestMaterials {
    std::vector<MaterialEntry> entries;
    MaterialTable saved = _ZqGmaterials;

    explicit TestMaterials(size_t count) : entries(count)
    {
        for (MaterialEntry& entry : entries) {
            entry.colour[0] = 1;
            entry.diffuseFactor = 1;
        }
        install();
    }
    ~TestMaterials() { _ZqGmaterials = saved; }
    void install() { _ZqGmaterials = {static_cast<uint32_t>(entries.size() - 1), entries.data()}; }
};
