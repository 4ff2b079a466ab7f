// The checked layer: tables of its own that the host calls, each entry
// checking the call against the public headers' rules, then passing it on to
// the next level's table (the driver's), or, where passing it on would make
// the driver read what it must not, returning what a closed object returns.
#pragma once

#include <type_traits>

#include "registry.h"
#include "report.h"
#include "zqgd/driver.h"
#include "zqgd/view.h"

namespace checked {

// Opens the channel through the next level's entry point and hands the host
// the checked table; the host's loader is called through the layer too.
int32_t OpenChannel(ZqGDOpenChannelFunction next, ChannelRecord* channel, ChannelRequest* request,
                    ChannelOps* opsDestination, TextureLoadCallback textureLoad);

// What the layer copies into the host's memory.
extern const ChannelOps kChannelOps;
extern const ViewOps kViewOps;

// What an operation of a closed channel or view returns: status 1, null, or nothing.
template <typename Result>
Result ClosedResult()
{
    if constexpr (std::is_void_v<Result>)
        return;
    else if constexpr (std::is_pointer_v<Result>)
        return nullptr;
    else
        return ZQGD_FAILED;
}

// Reports the GL errors the operation left in the current context, when the
// channel is still open (a closed one has no context to ask).
void CheckGlErrors(const ChannelRecord* channel, const char* operation);

// Reports the channel's window when the platform says it no longer exists.
void CheckWindow(const ChannelRecord* channel, const ChannelEntry& entry, const char* operation);

// Calls the driver's operation with the channel marked as in call (for the
// texture loader), then checks for GL errors.
template <typename Result, typename... Parameters, typename... Arguments>
Result PassOn(ChannelRecord* channel, const char* operation, Result (*slot)(Parameters...), Arguments... arguments)
{
    InCall inCall(channel);
    if constexpr (std::is_void_v<Result>) {
        slot(arguments...);
        CheckGlErrors(channel, operation);
    } else {
        Result result = slot(arguments...);
        CheckGlErrors(channel, operation);
        return result;
    }
}

}  // namespace checked
