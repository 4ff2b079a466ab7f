// The cached GL switches: a capability is enabled or disabled only when its
// mirror in the ChannelState disagrees, and the mirror follows in the same
// step.
#pragma once

#include <GL/gl.h>

#include <cstdint>

inline void SwitchCapability(int32_t& mirror, GLenum capability, bool on)
{
    if (on && mirror == 0) {
        glEnable(capability);
        mirror = 1;
    } else if (!on && mirror == 1) {
        glDisable(capability);
        mirror = 0;
    }
}
