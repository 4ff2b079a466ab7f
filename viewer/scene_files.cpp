#include "scene_files.h"

#include "obj_model.h"
#include "png_file.h"

bool LoadSceneFiles(const SceneFiles& files, Scene& scene, std::string& error)
{
    if (!files.texture.empty() && !ReadPng(files.texture, scene.logo, error)) return false;
    if (!files.backdrop.empty() && !ReadPng(files.backdrop, scene.panorama, error)) return false;
    if (files.obj.empty()) return true;
    Mesh model;
    if (!LoadObjModel(files.obj, 1.3f, kDefaultMaterial, scene.materials, model, error)) return false;
    scene.ReplaceCentre(std::move(model));
    return true;
}
