#include "obj_model.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>

namespace {

MaterialEntry FromMtl(const tinyobj::material_t& material)
{
    MaterialEntry entry{};
    for (int i = 0; i < 3; ++i) {
        entry.colour[i] = material.diffuse[i];
        entry.emission[i] = material.emission[i];
    }
    entry.ambientFactor = 0.3f;
    entry.diffuseFactor = 1.0f;
    entry.specular = (material.specular[0] + material.specular[1] + material.specular[2]) / 3;
    entry.shininess = std::clamp(material.shininess, 0.0f, 128.0f);
    entry.transparency = 1.0f - material.dissolve;
    return entry;
}

}  // namespace

bool LoadObjModel(const std::string& path, float halfSize, uint32_t fallback, std::vector<MaterialEntry>& materials,
                  Mesh& mesh, std::string& error)
{
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;
    tinyobj::ObjReader reader;
    if (!reader.ParseFromFile(path, config)) {
        error = reader.Error().empty() ? "cannot read " + path : reader.Error();
        while (!error.empty() && error.back() == '\n') error.pop_back();
        return false;
    }
    const tinyobj::attrib_t& attrib = reader.GetAttrib();
    if (attrib.vertices.empty()) {
        error = path + " holds no vertices";
        return false;
    }
    auto firstMaterial = static_cast<uint32_t>(materials.size());
    for (const tinyobj::material_t& material : reader.GetMaterials()) materials.push_back(FromMtl(material));

    // Fit the model into the box, centred on the origin.
    Vec3 low{1e30f, 1e30f, 1e30f}, high{-1e30f, -1e30f, -1e30f};
    for (size_t i = 0; i + 2 < attrib.vertices.size(); i += 3) {
        low = {std::min(low.x, attrib.vertices[i]), std::min(low.y, attrib.vertices[i + 1]),
               std::min(low.z, attrib.vertices[i + 2])};
        high = {std::max(high.x, attrib.vertices[i]), std::max(high.y, attrib.vertices[i + 1]),
                std::max(high.z, attrib.vertices[i + 2])};
    }
    Vec3 centre = (low + high) * 0.5f, size = high - low;
    float largest = std::max({size.x, size.y, size.z});
    float scale = largest > 0 ? 2 * halfSize / largest : 1;
    // OBJ is right-handed; the world here has z into the screen, so z is mirrored.
    auto position = [&](int index) {
        return Vec3{(attrib.vertices[3 * index] - centre.x) * scale, (attrib.vertices[3 * index + 1] - centre.y) * scale,
                    -(attrib.vertices[3 * index + 2] - centre.z) * scale};
    };
    for (size_t i = 0; i < attrib.vertices.size() / 3; ++i) mesh.AddVertex(position(static_cast<int>(i)));

    mesh.name = path;
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        size_t offset = 0;
        for (size_t face = 0; face < shape.mesh.num_face_vertices.size(); ++face) {
            size_t count = shape.mesh.num_face_vertices[face];
            std::vector<CornerSpec> corners;
            for (size_t k = 0; k < count; ++k) {
                const tinyobj::index_t& index = shape.mesh.indices[offset + k];
                CornerSpec corner{static_cast<uint32_t>(index.vertex_index), {0, 0, 0}, 0, 0, {1, 1, 1}};
                if (index.normal_index >= 0)
                    corner.normal = {attrib.normals[3 * index.normal_index], attrib.normals[3 * index.normal_index + 1],
                                     -attrib.normals[3 * index.normal_index + 2]};
                if (index.texcoord_index >= 0) {
                    corner.s = attrib.texcoords[2 * index.texcoord_index];
                    corner.t = attrib.texcoords[2 * index.texcoord_index + 1];
                }
                corners.push_back(corner);
            }
            offset += count;
            if (count < 3) continue;
            // The face normal of a counter-clockwise OBJ face, mirrored with the positions.
            Vec3 a = mesh.Vertex(corners[0].vertex), b = mesh.Vertex(corners[1].vertex), c = mesh.Vertex(corners[2].vertex);
            Vec3 outward = Normalise(Cross(c - a, b - a));
            for (CornerSpec& corner : corners)
                if (Dot(corner.normal, corner.normal) == 0) corner.normal = outward;
            int materialId = face < shape.mesh.material_ids.size() ? shape.mesh.material_ids[face] : -1;
            uint32_t material = materialId >= 0 ? firstMaterial + static_cast<uint32_t>(materialId) : fallback;
            if (count <= 4) {
                mesh.AddPolygon(corners, material, outward);
                continue;
            }
            for (size_t k = 1; k + 1 < count; ++k) mesh.AddPolygon({corners[0], corners[k], corners[k + 1]}, material, outward);
        }
    }
    if (mesh.polygons.empty()) {
        error = path + " holds no faces";
        return false;
    }
    return true;
}
