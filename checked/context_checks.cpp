// After and before the driver's work: GL errors left in the channel's
// context, and the channel's window.
#include <windows.h>

#include <GL/gl.h>

#include "layer.h"
#include "system.h"

namespace checked {

namespace {

// GL 1.1 can queue one error of each kind; more than that is not asked for.
constexpr int kMostErrors = 6;

const char* ErrorName(GLenum error)
{
    switch (error) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    default: return "an unknown error";
    }
}

}  // namespace

void CheckGlErrors(const ChannelRecord* channel, const char* operation)
{
    if (channel == nullptr || channel->driverState == nullptr) return;
    for (int i = 0; i < kMostErrors; ++i) {
        GLenum error = glGetError();
        if (error == GL_NO_ERROR) return;
        Report(channel, operation, Rule::GlError, "GL error 0x%04x (%s) left behind in channel %s's context",
               static_cast<unsigned>(error), ErrorName(error), Hex(channel).text);
    }
}

void CheckWindow(const ChannelRecord* channel, const ChannelEntry& entry, const char* operation)
{
    if (!WindowExists(entry.window))
        Report(channel, operation, Rule::WindowDestroyed,
               "window %s of channel %s was destroyed while the channel is open (close the channel first)",
               Hex(entry.window).text, Hex(channel).text);
}

}  // namespace checked
