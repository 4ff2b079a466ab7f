// Procedural objects of the built-in scene, in world units (y up, z into
// the screen at the start).
#pragma once

#include "mesh.h"

// A box centred on the origin with the given half sizes; texture
// coordinates run 0..1 over each face.
Mesh MakeBox(Vec3 half, uint32_t material, Vec3 colour);
// A sphere of quads (and triangles at the poles) with smooth normals.
Mesh MakeSphere(float radius, int slices, int stacks, uint32_t material);
// The ground: a square of cells at height 0, texture coordinates 0..1 over
// the whole square (the texture matrix tiles them).
Mesh MakeGround(float half, int cells, uint32_t material);
// A pyramid whose corners carry their own colours (pre-lit).
Mesh MakePyramid(float half, float height);
// A flat panel facing -z, both sides drawn.
Mesh MakePanel(float halfWidth, float halfHeight, uint32_t material);
// Light points on a circle, each looking outward, flashing in turn.
Mesh MakeBeaconRing(float radius, int count, uint32_t steadyMaterial, uint32_t flashingMaterial);
