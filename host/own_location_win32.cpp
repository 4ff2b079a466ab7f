// The library's own folder on Windows: the file of the DLL whose code holds
// OwnDirectory.
#include <windows.h>

#include "own_location.h"

std::string OwnDirectory()
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&OwnDirectory), &module))
        return {};
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length == sizeof path) return {};
    std::string directory(path, length);
    size_t separator = directory.find_last_of("\\/");
    return separator == std::string::npos ? std::string(".") : directory.substr(0, separator);
}
