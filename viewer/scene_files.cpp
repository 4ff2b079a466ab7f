#include "scene_files.h"

#include "obj_model.h"
#include "png_file.h"

bool LoadSceneFiles(const SceneFiles& files, Scene& scene, std::vector<std::string>& warnings, std::string& error)
{
    if (!files.texture.empty()) {
        if (!ReadPng(files.texture, scene.logo, error)) return false;
        FlipRows(scene.logo);
    }
    if (!files.backdrop.empty()) {
        Picture circle;
        if (!ReadPng(files.backdrop, circle, error)) return false;
        scene.SetPanorama(std::move(circle));
    }
    if (files.obj.empty()) return true;
    Mesh model;
    if (!LoadObjModel(files.obj, 1.3f, scene, model, warnings, error)) return false;
    scene.ReplaceCentre(std::move(model));
    return true;
}
