// The real driver: its two entry points, taken from the module beside the
// checked one at the first call.
#include "system.h"

namespace checked {

namespace {

RealDriver Load()
{
    RealDriver driver;
    void* module = OpenDriverModule(driver.error);
    if (module == nullptr) return driver;
    driver.describe = reinterpret_cast<ZqGDDescriptionFunction>(FindEntryPoint(module, "ZqGDDescription"));
    driver.openChannel = reinterpret_cast<ZqGDOpenChannelFunction>(FindEntryPoint(module, "ZqGDOpenChannel"));
    if (driver.describe == nullptr || driver.openChannel == nullptr) {
        driver.describe = nullptr;
        driver.openChannel = nullptr;
        driver.error = "the driver module lacks the driver's entry points";
    }
    return driver;
}

}  // namespace

const RealDriver& TheRealDriver()
{
    static const RealDriver driver = Load();
    return driver;
}

}  // namespace checked
