// The real driver and windows on Linux: the module file the dynamic loader
// mapped the checked module from (dladdr) names the folder; the window-system
// stand-in knows its windows, and gives every window a channel is open on a
// pixel format.
#include <dlfcn.h>

#include "system.h"
#include "zqgd/platform.h"

namespace checked {

namespace {

std::string OwnDirectory()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&OwnDirectory), &info) == 0 || info.dli_fname == nullptr) return ".";
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

void* OpenDriverModule(std::string& why)
{
    std::string path = OwnDirectory() + "/libzqgd.so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* error = dlerror();
        why = error != nullptr ? error : path + " cannot be loaded";
    }
    return module;
}

EntryPoint FindEntryPoint(void* module, const char* name)
{
    return reinterpret_cast<EntryPoint>(dlsym(module, name));
}

bool WindowExists(ZqWindowHandle window) { return ZqGetWindowPixelFormat(window) != 0; }

}  // namespace checked
