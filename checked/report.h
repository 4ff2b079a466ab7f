// The reports of the checked module: one line each, with a level, the
// operation, what was seen and the rule's tag:
//
//   zqgd-checked: error: DrawPolygons: view 0x... is used with channel 0x..., opened on 0x... [foreign-channel]
//
// A report repeated at the same operation under the same rule is counted and
// not printed again; CloseChannel sums up the channel's counts. Settings come
// from the environment, read at the first report:
//   ZQGD_CHECKED_LOG=FILE  append the lines to FILE instead of standard error;
//   ZQGD_CHECKED_BREAK=1   abort the program at the first error (for a debugger).
#pragma once

#include <cstdint>

#include "zqgd/driver.h"

namespace checked {

enum class Level { Warning, Error };

// Every rule the module checks. The comments say what breaks it.
enum class Rule {
    ClosedChannel,        // warning: an operation on a closed channel, which does nothing
    ClosedView,           // warning: an operation on a closed view, which does nothing
    ForeignChannel,       // error: a view used with another channel record than the one it was opened on
    WindowDestroyed,      // error: the channel's window was destroyed while the channel is open
    DrawOutsideFrame,     // error: DrawPolygons of a view that is not the one begun last in the frame
    OverlayOutsideFrame,  // error: overlay drawing while no view of the channel is begun
    MissingRecord,        // error: a record or array the operation reads is null
    VertexIndex,          // error: a corner or light point names a vertex past PolygonList::vertexCount
    NotFinite,            // error: NaN or infinity in a position, normal, plane, matrix or angle
    CornerCount,          // warning: a polygon with fewer than 2 or more than 4 corners, not drawn
    MaterialIndex,        // warning: a material index past highestIndex, which means entry 0
    MaterialTable,        // error: drawing with _ZqGmaterials never filled (no entries)
    UnknownTexture,       // warning: a texture or backdrop id that names nothing where one is expected
    TextureOperation,  // warning: a definition whose operation is none of the three, or not a texture map in the loader
    BitmapFields,      // error: an image whose Bitmap fields disagree with each other or that is refused
    IdZero,            // error: a texture, backdrop or font defined under id 0, which is refused
    DegenerateMatrix,  // warning: a texture matrix that puts every corner on one line or point
    ZeroKey,           // warning: transparent colour (0, 0, 0): every black texel is transparent
    LoaderRefused,     // warning: the host's texture loader refused an id: drawn untextured
    ViewVolume,        // error: BeginView with a view size or volume that projects nothing
    GlError,           // error: a GL error left behind by the operation
    DriverMissing,     // error: the driver cannot be loaded from the checked module's folder
    Count
};

const char* TagOf(Rule rule);
Level LevelOf(Rule rule);

// Reports that the rule was broken in the named operation, attributed to the
// channel (null when there is none); printf-style message.
void Report(const ChannelRecord* channel, const char* operation, Rule rule, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Prints the counts of the channel's reports, repeats included, and forgets
// them: one line with the totals, one per report that was repeated.
void Summarise(const ChannelRecord* channel);

// A pointer as the reports print it: 0x and lower-case hexadecimal digits.
struct Hex {
    explicit Hex(const void* pointer);
    char text[2 + 2 * sizeof(void*) + 1];
};

}  // namespace checked
