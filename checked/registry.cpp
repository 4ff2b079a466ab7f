#include "registry.h"

namespace checked {

namespace {

std::unordered_map<const ChannelRecord*, ChannelEntry>& Channels()
{
    static std::unordered_map<const ChannelRecord*, ChannelEntry> channels;
    return channels;
}

std::unordered_map<const ViewDescriptor*, ViewEntry>& Views()
{
    static std::unordered_map<const ViewDescriptor*, ViewEntry> views;
    return views;
}

ChannelRecord* channelInCall = nullptr;

}  // namespace

ChannelEntry* FindChannel(const ChannelRecord* channel)
{
    auto found = Channels().find(channel);
    return found == Channels().end() ? nullptr : &found->second;
}

// A record opened again after a close starts afresh.
ChannelEntry& AddChannel(const ChannelRecord* channel) { return Channels()[channel] = ChannelEntry{}; }

void RemoveChannel(const ChannelRecord* channel) { Channels().erase(channel); }

ViewEntry* FindView(const ViewDescriptor* descriptor)
{
    auto found = Views().find(descriptor);
    return found == Views().end() ? nullptr : &found->second;
}

ViewEntry& AddView(const ViewDescriptor* descriptor) { return Views()[descriptor] = ViewEntry{}; }

void RemoveView(const ViewDescriptor* descriptor) { Views().erase(descriptor); }

void RemoveViewsOf(const ChannelRecord* channel)
{
    std::erase_if(Views(), [channel](const auto& view) { return view.second.openedOn == channel; });
}

ChannelRecord* ChannelInCall() { return channelInCall; }

InCall::InCall(ChannelRecord* channel) : previous_(channelInCall) { channelInCall = channel; }

InCall::~InCall() { channelInCall = previous_; }

}  // namespace checked
