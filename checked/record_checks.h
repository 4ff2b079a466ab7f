// Checks of the records a host hands to the driver, each against what the
// public headers say of its fields. They report through report.h and touch
// nothing.
#pragma once

#include <cstddef>

#include "registry.h"
#include "report.h"
#include "zqgd/geometry.h"
#include "zqgd/texture.h"
#include "zqgd/view.h"

namespace checked {

// Where a check reports: the operation and the channel it is attributed to.
struct Site {
    const ChannelRecord* channel;
    const char* operation;
};

// The index of the first NaN or infinity among count floats, or -1.
int FirstNotFinite(const float* values, size_t count);

// Reports NaN or infinity among the floats of the named field, first one only.
void CheckFinite(const Site& site, const char* field, const float* values, size_t count);

// An image handed over with a new image (DefineTexture, the texture loader):
// the driver refuses it without pixels or with a zero side; its Bitmap
// fields must agree with each other.
void CheckImage(const Site& site, int32_t id, const Bitmap& image);

// A texture map's parameters: its matrix finite and not degenerate, its key.
void CheckTextureParameters(const Site& site, int32_t id, const TextureDefinition& definition);

// A view about to be begun: a size and a volume that project something.
void CheckViewVolume(const Site& site, const ViewDescriptor& view);

// Lights a view's BeginView and SetEnvironment read. False when the lights
// are missing (the call must not be passed on).
bool CheckEnvironment(const Site& site, const Environment* environment);

// One object for DrawPolygons, with the materials and textures it names.
// False when passing it on would read outside the host's records.
bool CheckGeometry(const Site& site, const ViewRecord& view, const GeometryBlock* geometry,
                   const ChannelEntry& channel);

}  // namespace checked
