// What the checked module knows of the channels and views opened through it:
// the driver's tables it passes calls on to, and the state the checks need
// (the window, the view begun in the frame, the ids defined).
#pragma once

#include <unordered_map>
#include <unordered_set>

#include "zqgd/driver.h"
#include "zqgd/view.h"

namespace checked {

struct ChannelEntry {
    ChannelOps real{};                      // the driver's table of the channel
    ZqWindowHandle window = nullptr;        // read at open, as the driver reads it
    TextureLoadCallback loader = nullptr;   // the host's texture loader
    const ViewDescriptor* begun = nullptr;  // the view begun last in this frame; null between frames
    std::unordered_set<int32_t> textures;   // texture map ids defined
    std::unordered_set<int32_t> backdrops;  // backdrop image ids defined
};

struct ViewEntry {
    ChannelRecord* openedOn = nullptr;  // the channel record given to OpenView
    ViewOps real{};                     // the driver's table of the view, its renderer in slot 3
};

// The entry of a channel opened through the module and not closed since, or null.
ChannelEntry* FindChannel(const ChannelRecord* channel);
ChannelEntry& AddChannel(const ChannelRecord* channel);
void RemoveChannel(const ChannelRecord* channel);

// The entry of a view opened through the module and not closed by CloseView
// since, or null.
ViewEntry* FindView(const ViewDescriptor* descriptor);
ViewEntry& AddView(const ViewDescriptor* descriptor);
void RemoveView(const ViewDescriptor* descriptor);
// Forgets the views opened on the channel (closed with it).
void RemoveViewsOf(const ChannelRecord* channel);

// The channel whose call the module is passing on now (the texture loader
// runs within one), or null.
ChannelRecord* ChannelInCall();

// Marks the channel as the one in call for the life of the guard.
class InCall {
public:
    explicit InCall(ChannelRecord* channel);
    ~InCall();
    InCall(const InCall&) = delete;
    InCall& operator=(const InCall&) = delete;

private:
    ChannelRecord* previous_;
};

}  // namespace checked
