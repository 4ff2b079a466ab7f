// The real driver and windows on Windows: the DLL file of the code that holds
// OwnDirectory (GetModuleFileName) names the folder; IsWindow tells whether a
// window still exists.
#include <windows.h>

#include "system.h"

namespace checked {

namespace {

std::string OwnDirectory()
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&OwnDirectory), &module))
        return ".";
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length == sizeof path) return ".";
    std::string directory(path, length);
    size_t separator = directory.find_last_of("\\/");
    return separator == std::string::npos ? std::string(".") : directory.substr(0, separator);
}

}  // namespace

void* OpenDriverModule(std::string& why)
{
    std::string path = OwnDirectory() + "\\zqgd.dll";
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) why = path + " cannot be loaded (error " + std::to_string(GetLastError()) + ")";
    return module;
}

EntryPoint FindEntryPoint(void* module, const char* name)
{
    return reinterpret_cast<EntryPoint>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool WindowExists(ZqWindowHandle window) { return IsWindow(window) != FALSE; }

}  // namespace checked
