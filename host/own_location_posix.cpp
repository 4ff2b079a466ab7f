// The library's own folder on Linux: the file the dynamic loader mapped the
// code of OwnDirectory from.
#include <dlfcn.h>

#include "own_location.h"

std::string OwnDirectory()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&OwnDirectory), &info) == 0 || info.dli_fname == nullptr) return {};
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}
