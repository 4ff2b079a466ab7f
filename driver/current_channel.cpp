#include "channel.h"

ChannelState* currentChannel = nullptr;

// The result of wglMakeCurrent is not looked at: a context that could be bound
// at open can be bound again.
void MakeChannelCurrent(ChannelState* state)
{
    if (currentChannel == state) return;
    currentChannel = state;
    wglMakeCurrent(state->deviceContext, state->glContext);
}
