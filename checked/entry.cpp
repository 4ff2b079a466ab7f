// The checked module's two exports, the driver's entry points: the real
// driver beside the module does the work, and every channel opened here gets
// the layer's tables.
#include "layer.h"
#include "system.h"

extern "C" ZQGD_EXPORT DriverDescription* ZqGDDescription(DriverDescription* description)
{
    const checked::RealDriver& driver = checked::TheRealDriver();
    if (driver.describe != nullptr) return driver.describe(description);
    checked::Report(nullptr, "ZqGDDescription", checked::Rule::DriverMissing, "%s", driver.error.c_str());
    if (description != nullptr) {
        description->description = nullptr;
        description->modeCount = 0;
        description->modes = nullptr;
    }
    return description;
}

extern "C" ZQGD_EXPORT int32_t ZqGDOpenChannel(ChannelRecord* channel, ChannelRequest* request,
                                               ChannelOps* opsDestination, TextureLoadCallback textureLoad)
{
    const checked::RealDriver& driver = checked::TheRealDriver();
    if (driver.openChannel != nullptr)
        return checked::OpenChannel(driver.openChannel, channel, request, opsDestination, textureLoad);
    checked::Report(nullptr, "ZqGDOpenChannel", checked::Rule::DriverMissing, "%s", driver.error.c_str());
    return ZQGD_FAILED;
}
