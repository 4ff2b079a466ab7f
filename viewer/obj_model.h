// Wavefront OBJ models (with their MTL materials) as polygon lists.
#pragma once

#include <string>
#include <vector>

#include "scene.h"

// Reads the model: faces of three and four corners as they are, larger ones
// split into triangles. The materials of its MTL files (diffuse colour,
// opacity, specular, emission, a map_Kd PNG texture modulated by the diffuse
// colour) are appended to the scene's, their textures to its model
// textures, and the polygons refer to them. Faces without a material, or
// whose material file or texture cannot be read, are drawn with the scene's
// default material; the file or texture that could not be read adds a line
// to warnings. The model is scaled to fit a box of the given half size and
// drawn after the opaque objects if any of its faces is see-through.
// Returns false and sets error (the file, the line, what was wrong) on
// failure.
bool LoadObjModel(const std::string& path, float halfSize, Scene& scene, Mesh& mesh, std::vector<std::string>& warnings,
                  std::string& error);
