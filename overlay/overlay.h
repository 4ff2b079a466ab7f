// The channel's 2-D overlay: fonts, text, pen, cursor and primitives, drawn
// in window pixels with the origin at the top left.
#pragma once

#include "driver/channel.h"

struct BitmapFont;

// The payload of a font item.
struct FontEntry {
    BitmapFont* font;
    char* fileName;  // as the host passed it
};

// A coordinate computed from host values, held to the 32-bit range so that
// no sum overflows.
inline GLint OverlayCoordinate(int64_t value)
{
    return static_cast<GLint>(value > INT32_MAX ? INT32_MAX : (value < INT32_MIN ? INT32_MIN : value));
}

int32_t LoadFont(ChannelRecord* channel, int32_t fontId, const char* fileName);
void SelectFont(ChannelRecord* channel, int32_t fontId);
// Frees every font and its name, then the list.
void DiscardFonts(ChannelState* state);

void DrawOverlayText(ChannelRecord* channel, const int32_t position[2], const char* text);

void DrawCircle(ChannelRecord* channel, uint32_t radius, const uint32_t centre[2]);
void DrawLine(ChannelRecord* channel, const int32_t from[2], const int32_t to[2]);
void FillPolygon(ChannelRecord* channel, int32_t count, const int32_t* points);
void FillRectangle(ChannelRecord* channel, const int32_t corner[2], const int32_t opposite[2]);
// Draws the cursor when it is visible; the channel is current.
void DrawCursor(ChannelRecord* channel);

void SetCursorPosition(ChannelRecord* channel, const int32_t position[2]);
void MoveCursor(ChannelRecord* channel, int32_t dx, int32_t dy);
void SetTextTransparent(ChannelRecord* channel, int32_t transparent);
void SetPenColours(ChannelRecord* channel, const float pen[3], const float back[3]);
void SetCursorStyle(ChannelRecord* channel, int32_t style, int32_t size, const float colour[3]);
void SetCursorVisible(ChannelRecord* channel, int32_t visible);
