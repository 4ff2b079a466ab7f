// What the checked module asks of the system: the real driver, loaded from
// the module's own folder, and whether a window still exists. One file per
// system implements them (system_posix.cpp, system_win32.cpp).
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

// Whether the window a channel was opened on still exists.
bool WindowExists(ZqWindowHandle window);

}  // namespace checked
