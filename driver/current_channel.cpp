#include "channel.h"

ChannelState* currentChannel = nullptr;

// A failed wglMakeCurrent leaves no context current, so no channel is
// current either and the next operation tries again.
void MakeChannelCurrent(ChannelState* state)
{
    if (currentChannel == state) return;
    currentChannel = wglMakeCurrent(state->deviceContext, state->glContext) ? state : nullptr;
}
