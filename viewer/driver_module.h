// The driver module as a host sees it: a shared object (a DLL on Windows)
// loaded at run time, with its two entry points.
#pragma once

#include <string>

#include "zqgd/driver.h"

class DriverModule {
public:
    // Loads the module; on failure error() says why and the entry points are null.
    explicit DriverModule(const std::string& path);
    ~DriverModule();
    DriverModule(const DriverModule&) = delete;
    DriverModule& operator=(const DriverModule&) = delete;

    bool loaded() const { return describe != nullptr && openChannel != nullptr; }
    const std::string& error() const { return error_; }

    ZqGDDescriptionFunction describe = nullptr;
    ZqGDOpenChannelFunction openChannel = nullptr;

private:
    void* handle_ = nullptr;
    std::string error_;
};
