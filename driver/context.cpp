// Turning a channel's window into a GL drawing surface.
#include <algorithm>
#include <cstring>

#include "channel.h"
#include "palette.h"
#include "probe.h"

namespace {

// glClearDepth's argument: one part in 2^20 above 1 (GL clamps it to 1).
constexpr double kClearDepth = 1.0000009536743164;

// A depth buffer this deep keeps objects apart from the ground they stand on
// over the whole depth range of a view.
constexpr int kWantedDepthBits = 24;

// Scans the device's formats in ascending order for the first one whose
// buffering matches the request and whose depth buffer has 24 bits or more.
// Some systems (Wine on Mesa among them) list formats with a shallower depth
// buffer or none first; where no format has 24 bits, the one with the
// deepest buffer is taken, the first of equals. Without a format of the
// asked buffering the descriptor holds the last format. Returns the number
// of formats (0: nothing was described).
int ScanPixelFormats(HDC dc, uint32_t bufferMode, PIXELFORMATDESCRIPTOR* descriptor)
{
    int count = DescribePixelFormat(dc, 1, sizeof(PIXELFORMATDESCRIPTOR), nullptr);
    int best = 0, bestDepth = -1;
    for (int format = 1; format <= count; ++format) {
        DescribePixelFormat(dc, format, sizeof(PIXELFORMATDESCRIPTOR), descriptor);
        bool doubleBuffered = (descriptor->dwFlags & PFD_DOUBLEBUFFER) != 0;
        if (bufferMode == ZQGD_SINGLE_BUFFERED ? doubleBuffered : !doubleBuffered) continue;
        int depth = std::min<int>(descriptor->cDepthBits, kWantedDepthBits);
        if (depth == kWantedDepthBits) return count;
        if (depth > bestDepth) {
            best = format;
            bestDepth = depth;
        }
    }
    if (count > 0) DescribePixelFormat(dc, best != 0 ? best : count, sizeof(PIXELFORMATDESCRIPTOR), descriptor);
    return count;
}

uint32_t ChannelMask(BYTE bits, BYTE shift)
{
    uint64_t mask = ((uint64_t{1} << bits) - 1) << shift;
    return static_cast<uint32_t>(mask);
}

// Records the pixel layout of the descriptor in the channel's frameFormat.
// Returns false when the line length does not fit in 32 bits.
bool RecordPixelLayout(Bitmap& format, const PIXELFORMATDESCRIPTOR& descriptor)
{
    format.redMask = ChannelMask(descriptor.cRedBits, descriptor.cRedShift);
    format.greenMask = ChannelMask(descriptor.cGreenBits, descriptor.cGreenShift);
    format.blueMask = ChannelMask(descriptor.cBlueBits, descriptor.cBlueShift);
    format.redBits = ZqMBitCount(format.redMask);
    format.redShift = ZqMLSB(format.redMask);
    format.greenBits = ZqMBitCount(format.greenMask);
    format.greenShift = ZqMLSB(format.greenMask);
    format.blueBits = ZqMBitCount(format.blueMask);
    format.blueShift = ZqMLSB(format.blueMask);
    format.bytesPerPixel = (descriptor.cColorBits + 7u) / 8u;
    format.bitsPerPixel = descriptor.cColorBits;
    uint64_t bytesPerLine = uint64_t{format.bytesPerPixel} * format.width;
    if (bytesPerLine > UINT32_MAX) return false;
    format.bytesPerLine = static_cast<uint32_t>(bytesPerLine);
    return true;
}

void SetInitialGlState(ChannelState* state, uint32_t bufferMode)
{
    glClearDepth(kClearDepth);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_NORMALIZE);
    glEnable(GL_SCISSOR_TEST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glAlphaFunc(GL_GEQUAL, 1.0f);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
    glDisable(GL_POINT_SMOOTH);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_POLYGON_SMOOTH);
    glDisable(GL_CULL_FACE);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glHint(GL_FOG_HINT, GL_NICEST);
    for (GLenum light = GL_LIGHT0; light <= GL_LIGHT7; ++light) glDisable(light);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    // The model-view base: the z mirror between the host's eye coordinates
    // and GL's, twice on the stack. Renderers push and pop on top of it.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glScalef(1.0f, 1.0f, -1.0f);
    glPushMatrix();
    state->textureEnabled = 1;
    state->lightingEnabled = 0;
    state->blendEnabled = 0;
    state->alphaTestEnabled = 0;
    state->depthTestEnabled = 0;
    state->fogEnabled = 0;
    glDrawBuffer(bufferMode == ZQGD_SINGLE_BUFFERED ? GL_FRONT : GL_BACK);
}

// Undoes a partial creation in reverse order.
void ReleaseContext(ChannelState* state)
{
    if (state->glContext != nullptr) {
        if (wglGetCurrentContext() == state->glContext) {
            wglMakeCurrent(state->deviceContext, nullptr);
            currentChannel = nullptr;
        }
        if (currentChannel == state) currentChannel = nullptr;
        wglDeleteContext(state->glContext);
        state->glContext = nullptr;
    }
    if (state->palette != nullptr) {
        SelectPalette(state->deviceContext, state->previousPalette, FALSE);
        DeleteObject(state->palette);
        state->palette = nullptr;
        state->previousPalette = nullptr;
    }
    ReleaseDC(state->window, state->deviceContext);
    state->deviceContext = nullptr;
}

}  // namespace

bool CreateContext(ChannelRecord* channel)
{
    ChannelState* state = StateOf(channel);
    state->deviceContext = GetDC(state->window);
    state->palette = nullptr;
    state->previousPalette = nullptr;
    PIXELFORMATDESCRIPTOR descriptor;
    std::memset(&descriptor, 0, sizeof descriptor);
    if (ScanPixelFormats(state->deviceContext, channel->bufferMode, &descriptor) == 0 ||
        !RecordPixelLayout(channel->frameFormat, descriptor)) {
        ReleaseContext(state);
        return false;
    }
    SetPixelFormat(state->deviceContext, ChoosePixelFormat(state->deviceContext, &descriptor), &descriptor);
    if (descriptor.cColorBits == 8 && !InstallPalette(state)) {
        ReleaseContext(state);
        return false;
    }
    state->glContext = wglCreateContext(state->deviceContext);
    if (state->glContext == nullptr) {
        ReleaseContext(state);
        return false;
    }
    if (!BindChannel(state)) {
        ReleaseContext(state);
        return false;
    }
    SetInitialGlState(state, channel->bufferMode);
    state->quadric = gluNewQuadric();
    if (state->quadric == nullptr) {
        ReleaseContext(state);
        return false;
    }
    ProbeCapabilities();
    return true;
}
