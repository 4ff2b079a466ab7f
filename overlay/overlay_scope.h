// The set-up and restore around every overlay drawing: the enable, lighting
// and polygon groups are saved, the drawing state is set directly (the
// cached flags stay right because the pops restore the real state), and the
// projection maps window pixels with y growing downward. The projection and
// matrix mode are left as set; the next BeginView loads its own.
#pragma once

#include "driver/attribute_guard.h"
#include "driver/channel.h"

class OverlayScope {
public:
    explicit OverlayScope(const ChannelState* state);
    ~OverlayScope();
    OverlayScope(const OverlayScope&) = delete;
    OverlayScope& operator=(const OverlayScope&) = delete;

private:
    AttributeGuard guard_;
};
