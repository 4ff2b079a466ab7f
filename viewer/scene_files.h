// The viewer's own pictures and model in place of the scene's built-in ones.
#pragma once

#include <string>
#include <vector>

#include "scene.h"

struct SceneFiles {
    std::string texture;   // PNG for the box, empty for the built-in one
    std::string backdrop;  // PNG panorama of the full circle, empty for the built-in one
    std::string obj;       // OBJ model in place of the sphere, empty for the sphere
};

// Reads the files named into a built scene; false with error when one
// cannot be used. What is used in part (a model's missing material file or
// texture) adds a line to warnings.
bool LoadSceneFiles(const SceneFiles& files, Scene& scene, std::vector<std::string>& warnings, std::string& error);
