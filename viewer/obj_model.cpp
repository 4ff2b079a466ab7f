#include "obj_model.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "png_file.h"

namespace {

// What a face corner refers to, with the counts the file gives.
struct Attribute {
    const char* one;
    const char* many;
    long long total = 0;  // in the whole file: the range of positive indices
    long long sofar = 0;  // before the current line: the range of negative ones
};

bool StartsWithWord(const std::string& line, size_t at, const char* word)
{
    size_t length = std::strlen(word);
    return line.compare(at, length, word) == 0 && at + length < line.size() &&
           (line[at + length] == ' ' || line[at + length] == '\t');
}

// Checks one index of a corner: 1..total counts from the start of the file,
// -1..-sofar back from the last one read before the line.
bool CheckIndex(const std::string& text, const Attribute& attribute, std::string& problem)
{
    char* end = nullptr;
    errno = 0;
    long long index = std::strtoll(text.c_str(), &end, 10);
    bool number = !text.empty() && end == text.c_str() + text.size() &&
                  (text[0] == '-' || std::isdigit(static_cast<unsigned char>(text[0])));
    if (!number) {
        problem = "'" + text + "' is not a " + attribute.one + " index";
        return false;
    }
    bool overflow = errno == ERANGE;
    if (index == 0 && !overflow) {
        problem = std::string(attribute.one) + " index 0 names nothing (indices start at 1)";
        return false;
    }
    if (index > 0 && (overflow || index > attribute.total)) {
        problem = std::string("there is no ") + attribute.one + " " + text + ": the file has " +
                  std::to_string(attribute.total) + " " + (attribute.total == 1 ? attribute.one : attribute.many);
        return false;
    }
    if (index < 0 && (overflow || -index > attribute.sofar)) {
        problem = std::string(attribute.one) + " " + text + " reaches back before the first of the " +
                  std::to_string(attribute.sofar) + " " + attribute.many + " read so far";
        return false;
    }
    return true;
}

// One corner: v, v/vt, v//vn or v/vt/vn.
bool CheckCorner(const std::string& corner, const Attribute& vertices, const Attribute& texcoords,
                 const Attribute& normals, std::string& problem)
{
    std::vector<std::string> parts;
    std::stringstream stream(corner);
    for (std::string part; std::getline(stream, part, '/');) parts.push_back(part);
    if (!corner.empty() && corner.back() == '/') parts.emplace_back();
    if (parts.empty() || parts.size() > 3 || (parts.size() == 3 && parts[1].empty() && parts[2].empty())) {
        problem = "'" + corner + "' is not a face corner";
        return false;
    }
    if (!CheckIndex(parts[0], vertices, problem)) return false;
    if (parts.size() >= 2 && (parts.size() == 2 || !parts[1].empty()) && !CheckIndex(parts[1], texcoords, problem))
        return false;
    return parts.size() < 3 || CheckIndex(parts[2], normals, problem);
}

// Every index of every face is checked against what the file holds before
// the loader resolves any of them.
bool CheckFaces(const std::string& path, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    if (file.bad()) {
        error = "cannot read " + path;
        return false;
    }
    Attribute vertices{"vertex", "vertices"}, texcoords{"texture coordinate", "texture coordinates"},
        normals{"normal", "normals"};
    for (int pass = 0; pass < 2; ++pass) {
        vertices.sofar = texcoords.sofar = normals.sofar = 0;
        for (size_t number = 0; number < lines.size(); ++number) {
            const std::string& line = lines[number];
            size_t at = line.find_first_not_of(" \t");
            if (at == std::string::npos) continue;
            if (StartsWithWord(line, at, "v")) ++vertices.sofar;
            if (StartsWithWord(line, at, "vt")) ++texcoords.sofar;
            if (StartsWithWord(line, at, "vn")) ++normals.sofar;
            if (pass == 0 || !StartsWithWord(line, at, "f")) continue;
            std::stringstream corners(line.substr(at + 1));
            std::string problem;
            for (std::string corner; corners >> corner;) {
                if (CheckCorner(corner, vertices, texcoords, normals, problem)) continue;
                error = path + ":" + std::to_string(number + 1) + ": " + problem;
                return false;
            }
        }
        vertices.total = vertices.sofar;
        texcoords.total = texcoords.sofar;
        normals.total = normals.sofar;
    }
    return true;
}

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

// The model's materials appended to the scene's; the scene material of each
// of the file's materials, the default one where a texture cannot be read.
std::vector<uint32_t> AddMaterials(const std::string& path, const std::vector<tinyobj::material_t>& materials,
                                   Scene& scene, std::vector<std::string>& warnings)
{
    std::vector<uint32_t> used;
    for (const tinyobj::material_t& material : materials) {
        MaterialEntry entry = FromMtl(material);
        if (!material.diffuse_texname.empty()) {
            std::string file = (std::filesystem::path(path).parent_path() / material.diffuse_texname).string();
            Picture picture;
            std::string problem;
            if (!ReadPng(file, picture, problem)) {
                warnings.push_back(path + ": material " + material.name + ": " + problem +
                                   "; its faces are drawn with the default material");
                used.push_back(kDefaultMaterial);
                continue;
            }
            FlipRows(picture);
            auto id = static_cast<int32_t>(kFirstModelTexture + scene.modelTextures.size());
            scene.modelTextures.push_back({id, std::move(picture)});
            entry.textured = 1;
            entry.textureId = id;
        }
        used.push_back(static_cast<uint32_t>(scene.materials.size()));
        scene.materials.push_back(entry);
    }
    return used;
}

}  // namespace

bool LoadObjModel(const std::string& path, float halfSize, Scene& scene, Mesh& mesh, std::vector<std::string>& warnings,
                  std::string& error)
{
    if (!CheckFaces(path, error)) return false;
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
    std::stringstream warned(reader.Warning());
    for (std::string line; std::getline(warned, line);)
        if (!line.empty()) warnings.push_back(path + ": " + line);
    const std::vector<uint32_t> materials = AddMaterials(path, reader.GetMaterials(), scene, warnings);

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
            uint32_t material = materialId >= 0 && static_cast<size_t>(materialId) < materials.size()
                                    ? materials[static_cast<size_t>(materialId)]
                                    : kDefaultMaterial;
            if (scene.materials[material].transparency > 0) mesh.transparent = true;
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
