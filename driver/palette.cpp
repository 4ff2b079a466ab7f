#include "palette.h"

#include <cstddef>

namespace {

constexpr BYTE kThreeBitRamp[8] = {0x00, 0x24, 0x49, 0x6D, 0x92, 0xB6, 0xDB, 0xFF};
constexpr BYTE kTwoBitRamp[4] = {0x00, 0x55, 0xAA, 0xFF};

struct Rgb {
    BYTE red, green, blue;
};

constexpr int kSystemColourCount = 20;
constexpr Rgb kSystemColours[kSystemColourCount] = {
    {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
    {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
    {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
    {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

enum SlotMark { kFree = 0, kExact = 1, kGiven = 2 };

struct Slot {
    Rgb colour;
    SlotMark mark;
    int owner;
};

// Larger than any distance between two colours (3 x 255 squared).
constexpr int kNoDistance = 0x30000;

int Distance(const Rgb& a, const Rgb& b)
{
    int red = a.red - b.red, green = a.green - b.green, blue = a.blue - b.blue;
    return red * red + green * green + blue * blue;
}

bool Equal(const Rgb& a, const Rgb& b) { return a.red == b.red && a.green == b.green && a.blue == b.blue; }

// Gives the colour the first slot that equals it; returns whether one did.
bool TakeExactSlot(Slot slots[kPaletteSize], int colour)
{
    for (int i = 0; i < kPaletteSize; ++i) {
        if (Equal(slots[i].colour, kSystemColours[colour])) {
            slots[i].mark = kExact;
            slots[i].owner = colour;
            return true;
        }
    }
    return false;
}

// Gives the colour the nearest free slot; among equals the lowest index.
void TakeNearestFreeSlot(Slot slots[kPaletteSize], int colour)
{
    int best = -1;
    int bestDistance = kNoDistance;
    for (int i = 0; i < kPaletteSize; ++i) {
        if (slots[i].mark != kFree) continue;
        int distance = Distance(slots[i].colour, kSystemColours[colour]);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    if (best < 0) return;
    slots[best].mark = kGiven;
    slots[best].owner = colour;
}

}  // namespace

void BuildPaletteEntries(PALETTEENTRY entries[kPaletteSize])
{
    Slot slots[kPaletteSize];
    for (int i = 0; i < kPaletteSize; ++i)
        slots[i] = {{kThreeBitRamp[i & 7], kThreeBitRamp[(i >> 3) & 7], kTwoBitRamp[(i >> 6) & 3]}, kFree, 0};
    bool matched[kSystemColourCount];
    for (int colour = 0; colour < kSystemColourCount; ++colour) matched[colour] = TakeExactSlot(slots, colour);
    for (int colour = 0; colour < kSystemColourCount; ++colour)
        if (!matched[colour]) TakeNearestFreeSlot(slots, colour);
    for (int i = 0; i < kPaletteSize; ++i) {
        const Rgb& rgb = slots[i].mark != kFree ? kSystemColours[slots[i].owner] : slots[i].colour;
        entries[i] = {rgb.red, rgb.green, rgb.blue, 0};
    }
}

bool InstallPalette(ChannelState* state)
{
    constexpr size_t kBlockSize = offsetof(LOGPALETTE, palPalEntry) + kPaletteSize * sizeof(PALETTEENTRY);
    auto* logical = static_cast<LOGPALETTE*>(MMmalloc(kBlockSize));
    if (logical == nullptr) return false;
    logical->palVersion = 0x300;
    logical->palNumEntries = kPaletteSize;
    BuildPaletteEntries(logical->palPalEntry);
    state->palette = CreatePalette(logical);
    state->previousPalette = SelectPalette(state->deviceContext, state->palette, FALSE);
    RealizePalette(state->deviceContext);
    MMfree(logical);
    return true;
}
