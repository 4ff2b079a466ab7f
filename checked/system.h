// What the checked module asks of the system: the real driver's module,
// opened from the checked module's own folder, its entry points, and
// whether a window still exists. One file per system implements them
// (system_posix.cpp, system_win32.cpp); real_driver.cpp takes the driver's
// two entry points through them.
#pragma once

#include <string>

#include "zqgd/driver.h"

namespace checked {

struct RealDriver {
    ZqGDDescriptionFunction describe = nullptr;
    ZqGDOpenChannelFunction openChannel = nullptr;
    std::string error;  // why the entry points are null
};

// The driver module beside the checked module (libzqgd.so, zqgd.dll),
// loaded at the first call and kept for the life of the process.
const RealDriver& TheRealDriver();

// An entry point of a loaded module, as the system gives it.
using EntryPoint = void (*)();

// Opens the driver module beside the checked module: its handle, or null
// with why set. The handle is never closed.
void* OpenDriverModule(std::string& why);

// The module's entry point of that name, or null.
EntryPoint FindEntryPoint(void* module, const char* name);

// Whether the window a channel was opened on still exists.
bool WindowExists(ZqWindowHandle window);

}  // namespace checked
