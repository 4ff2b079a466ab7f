#include "driver_module.h"

#include <dlfcn.h>

DriverModule::DriverModule(const std::string& path)
{
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        error_ = dlerror();
        return;
    }
    describe = reinterpret_cast<ZqGDDescriptionFunction>(dlsym(handle_, "ZqGDDescription"));
    openChannel = reinterpret_cast<ZqGDOpenChannelFunction>(dlsym(handle_, "ZqGDOpenChannel"));
    if (!loaded()) error_ = path + " does not export ZqGDDescription and ZqGDOpenChannel";
}

DriverModule::~DriverModule()
{
    if (handle_ != nullptr) dlclose(handle_);
}
