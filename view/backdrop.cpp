// Backdrop images: a panoramic picture copied into the view behind
// everything, placed by the camera's angles, with the uncovered rest filled
// in the background colour.
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "driver/attribute_guard.h"
#include "texture/texture_store.h"
#include "view.h"

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kMinAngularWidth = 0.000001f;

// Truncates toward zero into the 32-bit range; NaN gives 0.
int32_t ToOffset(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= INT32_MAX) return INT32_MAX;
    if (value <= INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

void FillRectangle(int64_t x0, int64_t y0, int64_t x1, int64_t y1)
{
    glRecti(static_cast<GLint>(x0), static_cast<GLint>(y0), static_cast<GLint>(x1), static_cast<GLint>(y1));
}

// All arithmetic is in 64 bits: no offset or size can make the copy read
// outside the image.
void DrawBackdrop(int64_t W, int64_t H, const Bitmap& image, int64_t e, int64_t f)
{
    int64_t w = image.width, h = image.height, L = image.bytesPerLine;
    const auto* pixels = static_cast<const uint8_t*>(image.pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GlSize(image.width));
    if (e <= 0 && e + w >= W && f <= 0 && f + h >= H) {
        glRasterPos2i(0, 0);
        glDrawPixels(static_cast<GLsizei>(W), static_cast<GLsizei>(H), GL_RGBA, GL_UNSIGNED_BYTE,
                     pixels - L * f - 4 * e);
        return;
    }
    if (e < W && e + w > 0 && f < H && f + h > 0) {
        int64_t x0 = std::max<int64_t>(e, 0), x1 = std::min(e + w, W);
        int64_t y0 = std::max<int64_t>(f, 0), y1 = std::min(f + h, H);
        if (W != 0 && y0 != 0) FillRectangle(0, 0, W, y0);
        if (x0 != 0 && y1 != y0) FillRectangle(0, y0, x0, y1);
        if (x1 != W && y1 != y0) FillRectangle(x1, y0, W, y1);
        if (W != 0 && y1 != H) FillRectangle(0, y1, W, H);
        glRasterPos2i(static_cast<GLint>(x0), static_cast<GLint>(y0));
        glDrawPixels(static_cast<GLsizei>(x1 - x0), static_cast<GLsizei>(y1 - y0), GL_RGBA, GL_UNSIGNED_BYTE,
                     pixels - L * std::min<int64_t>(f, 0) - 4 * std::min<int64_t>(e, 0));
        return;
    }
    if (W != 0 && H != 0) FillRectangle(0, 0, W, H);
}

}  // namespace

void SetBackdropAngles(ViewRecord* view, float vertical, float horizontal)
{
    const ViewDescriptor* descriptor = view->view;
    ViewState* state = StateOf(descriptor);
    const TextureEntry* backdrop = state->backdrop;
    if (state->backgroundKind == 0 || backdrop == nullptr) return;
    float v = NormaliseBackdropAngle(vertical), h = NormaliseBackdropAngle(horizontal);
    float dv = v - backdrop->verticalAngle;
    if (dv > kPi) dv -= kTwoPi;
    float dh = h - backdrop->horizontalAngle;
    if (dh > kPi) dh -= kTwoPi;
    float width = static_cast<float>(backdrop->image.width), height = static_cast<float>(backdrop->image.height);
    float scale = backdrop->angularWidth < kMinAngularWidth ? 0.0f : width / backdrop->angularWidth;
    state->backdropX = ToOffset(descriptor->width * 0.5f - scale * dh - width * 0.5f);
    state->backdropY = ToOffset(scale * dv + descriptor->height * 0.5f - height * 0.5f);
}

// The attribute pushes restore the real enables afterwards, so the cached
// flags are bypassed here; the guard makes up for a GL whose pops do not.
void BackdropClear(ViewRecord* view, uint32_t clearFlags)
{
    const ViewDescriptor* descriptor = view->view;
    const ViewState* state = StateOf(descriptor);
    if (clearFlags & ZQGD_CLEAR_COLOUR) {
        const std::initializer_list<GLenum> switchedOff = {GL_ALPHA_TEST, GL_BLEND, GL_DEPTH_TEST,
                                                           GL_FOG, GL_LIGHTING, GL_LINE_SMOOTH,
                                                           GL_POINT_SMOOTH, GL_POLYGON_SMOOTH, GL_TEXTURE_2D};
        const AttributeGuard guard(switchedOff);
        glPushAttrib(GL_ENABLE_BIT);
        glPushAttrib(GL_LIGHTING_BIT);
        glPushAttrib(GL_POLYGON_BIT);
        for (GLenum capability : switchedOff) glDisable(capability);
        glShadeModel(GL_FLAT);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluOrtho2D(0, descriptor->width, 0, descriptor->height);
        glColor3fv(state->backgroundColour);
        DrawBackdrop(descriptor->width, descriptor->height, state->backdrop->image, state->backdropX,
                     state->backdropY);
        glPopAttrib();
        glPopAttrib();
        glPopAttrib();
        guard.restore();
    }
    if (clearFlags & ZQGD_CLEAR_DEPTH) glClear(GL_DEPTH_BUFFER_BIT);
}
