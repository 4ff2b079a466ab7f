// Pen, cursor and the 2-D primitives of the overlay.
#include <cmath>

#include "overlay.h"
#include "overlay_scope.h"

namespace {

constexpr float kDegreesToRadians = 0.017453292f;

// The upper bound is tested first, so an empty window clamps to 0.
int32_t ClampToWindow(int64_t value, uint32_t extent)
{
    if (value > int64_t{extent} - 1) value = int64_t{extent} - 1;
    if (value < 0) value = 0;
    return static_cast<int32_t>(value);
}

void PlaceCursor(ChannelRecord* channel, int64_t x, int64_t y)
{
    channel->cursorX = ClampToWindow(x, channel->frameFormat.width);
    channel->cursorY = ClampToWindow(y, channel->frameFormat.height);
}

struct ChannelMadeCurrent {
    explicit ChannelMadeCurrent(ChannelRecord* channel) { MakeChannelCurrent(StateOf(channel)); }
};

// For the span of a primitive: the channel current, the overlay set up and
// the pen colour current.
class PenDrawing : ChannelMadeCurrent {
public:
    explicit PenDrawing(ChannelRecord* channel) : ChannelMadeCurrent(channel), scope_(StateOf(channel))
    {
        glColor3fv(channel->penColour);
    }

private:
    OverlayScope scope_;
};

}  // namespace

void DrawCircle(ChannelRecord* channel, uint32_t radius, const uint32_t centre[2])
{
    const PenDrawing pen(channel);
    const float cx = static_cast<float>(centre[0]), cy = static_cast<float>(centre[1]), r = static_cast<float>(radius);
    glBegin(GL_LINE_LOOP);
    for (float angle = 0.0f; angle < 360.0f; angle += 10.0f) {
        float radians = angle * kDegreesToRadians;
        glVertex2f(cx + r * std::sin(radians), cy + r * std::cos(radians));
    }
    glEnd();
}

void DrawLine(ChannelRecord* channel, const int32_t from[2], const int32_t to[2])
{
    const PenDrawing pen(channel);
    glBegin(GL_LINES);
    glVertex2i(from[0], from[1]);
    glVertex2i(to[0], to[1]);
    glEnd();
}

// A negative count promises no points: nothing is drawn.
void FillPolygon(ChannelRecord* channel, int32_t count, const int32_t* points)
{
    if (count < 0) return;
    const PenDrawing pen(channel);
    glBegin(GL_POLYGON);
    for (int32_t i = 0; i < count; ++i) glVertex2i(points[2 * i], points[2 * i + 1]);
    glEnd();
}

void FillRectangle(ChannelRecord* channel, const int32_t corner[2], const int32_t opposite[2])
{
    const PenDrawing pen(channel);
    glRecti(corner[0], corner[1], opposite[0], opposite[1]);
}

void DrawCursor(ChannelRecord* channel)
{
    if (channel->cursorVisible == 0) return;
    const OverlayScope scope(StateOf(channel));
    glColor3fv(channel->cursorColour);
    const int64_t s = channel->cursorSize;
    const GLint x = channel->cursorX, y = channel->cursorY;
    const GLint left = OverlayCoordinate(x - s), right = OverlayCoordinate(x + s);
    const GLint top = OverlayCoordinate(y - s), bottom = OverlayCoordinate(y + s);
    if (channel->cursorStyle == 0) {
        glBegin(GL_LINES);
        glVertex2i(left, y);
        glVertex2i(right, y);
        glVertex2i(x, bottom);
        glVertex2i(x, top);
        glEnd();
    } else if (channel->cursorStyle == 1) {
        glBegin(GL_LINE_LOOP);
        glVertex2i(left, top);
        glVertex2i(right, top);
        glVertex2i(right, bottom);
        glVertex2i(left, bottom);
        glEnd();
    }
}

void SetCursorPosition(ChannelRecord* channel, const int32_t position[2])
{
    PlaceCursor(channel, position[0], position[1]);
}

// The sums are formed in 64 bits, so no offset overflows.
void MoveCursor(ChannelRecord* channel, int32_t dx, int32_t dy)
{
    PlaceCursor(channel, int64_t{channel->cursorX} + dx, int64_t{channel->cursorY} + dy);
}

void SetTextTransparent(ChannelRecord* channel, int32_t transparent) { channel->transparentText = transparent; }

void SetPenColours(ChannelRecord* channel, const float pen[3], const float back[3])
{
    if (pen != nullptr) StoreClampedColour(channel->penColour, pen);
    if (back != nullptr) StoreClampedColour(channel->backColour, back);
}

// The size is kept odd so that the cursor has a centre pixel.
void SetCursorStyle(ChannelRecord* channel, int32_t style, int32_t size, const float colour[3])
{
    channel->cursorStyle = style;
    channel->cursorSize = size | 1;
    if (colour != nullptr) StoreClampedColour(channel->cursorColour, colour);
}

void SetCursorVisible(ChannelRecord* channel, int32_t visible) { channel->cursorVisible = visible; }
