#include "renderer_table.h"

// Entries are null until the renderers are part of the driver; views start
// with entry 0 and SetRenderMode installs the entry its mode names.
const DrawPolygonsFunction kRendererTable[kRendererCount] = {};
