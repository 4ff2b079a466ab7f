#include "driver_module.h"

#include <windows.h>

// GetProcAddress gives a generic function pointer; it is turned into the
// entry point's type through a function pointer type, not through data.
template <typename Function>
Function EntryPoint(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

DriverModule::DriverModule(const std::string& path)
{
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        error_ = "cannot load " + path + " (Windows error " + std::to_string(GetLastError()) + ")";
        return;
    }
    handle_ = module;
    describe = EntryPoint<ZqGDDescriptionFunction>(module, "ZqGDDescription");
    openChannel = EntryPoint<ZqGDOpenChannelFunction>(module, "ZqGDOpenChannel");
    if (!loaded()) error_ = path + " does not export ZqGDDescription and ZqGDOpenChannel";
}

DriverModule::~DriverModule()
{
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}
