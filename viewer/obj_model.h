// Wavefront OBJ models (with their MTL materials) as polygon lists.
#pragma once

#include <string>
#include <vector>

#include "mesh.h"

// Reads the model: faces of three and four corners as they are, larger ones
// split into triangles; its materials are appended to materials and the
// polygons refer to them (fallback is used where a face has none). The model
// is scaled to fit a box of the given half size. Returns false and sets error
// on failure.
bool LoadObjModel(const std::string& path, float halfSize, uint32_t fallback, std::vector<MaterialEntry>& materials,
                  Mesh& mesh, std::string& error);
