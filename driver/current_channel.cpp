#include "channel.h"

ChannelState* currentChannel = nullptr;

// A failed wglMakeCurrent leaves no context current, so no channel is
// current either and the next operation tries again.
bool BindChannel(ChannelState* state)
{
    bool bound = wglMakeCurrent(state->deviceContext, state->glContext) != FALSE;
    currentChannel = bound ? state : nullptr;
    return bound;
}

void MakeChannelCurrent(ChannelState* state)
{
    if (currentChannel != state) BindChannel(state);
}
