#include "mesh.h"

#include <cmath>

Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

Vec3 Normalise(Vec3 v)
{
    float length = std::sqrt(Dot(v, v));
    return length > 0 ? v * (1.0f / length) : Vec3{0, 1, 0};
}

uint32_t Mesh::AddVertex(Vec3 position)
{
    vertices.insert(vertices.end(), {position.x, position.y, position.z});
    return static_cast<uint32_t>(vertices.size() / 3 - 1);
}

void Mesh::AddPolygon(const std::vector<CornerSpec>& corners, uint32_t material, Vec3 outward, uint16_t hiddenEdges)
{
    PolygonRecord polygon{};
    polygon.vertexCount = static_cast<uint16_t>(corners.size());
    polygon.hiddenEdges = hiddenEdges;
    for (size_t i = 0; i < corners.size() && i < 4; ++i) {
        PolygonCorner& corner = polygon.corners[i];
        corner.vertexIndex = corners[i].vertex;
        corner.normal[0] = corners[i].normal.x;
        corner.normal[1] = corners[i].normal.y;
        corner.normal[2] = corners[i].normal.z;
        corner.texCoord[0] = corners[i].s;
        corner.texCoord[1] = corners[i].t;
        corner.colour[0] = corners[i].colour.x;
        corner.colour[1] = corners[i].colour.y;
        corner.colour[2] = corners[i].colour.z;
    }
    Vec3 normal = Normalise(outward);
    Vec3 on = Vertex(corners[0].vertex);
    polygon.plane[0] = normal.x;
    polygon.plane[1] = normal.y;
    polygon.plane[2] = normal.z;
    polygon.plane[3] = -Dot(normal, on);
    polygon.facetColour[0] = corners[0].colour.x;
    polygon.facetColour[1] = corners[0].colour.y;
    polygon.facetColour[2] = corners[0].colour.z;
    polygon.materialIndex = material;
    polygons.push_back(polygon);
}

void Mesh::Finish()
{
    list.vertexCount = static_cast<uint32_t>(vertices.size() / 3);
    list.vertices = reinterpret_cast<float(*)[3]>(vertices.data());
    list.polygonCount = static_cast<uint32_t>(polygons.size());
    list.polygons = polygons.data();
    list.lightPointCount = static_cast<uint32_t>(lightPoints.size());
    list.lightPoints = lightPoints.empty() ? nullptr : lightPoints.data();
    block.polygonList = &list;
    block.objectMatrix = objectMatrix;
    block.eyePosition = eye;
    block.preLit = preLit ? 1 : 0;
}
