// The 3-3-2 palette with the system colours on their slots.
#include <gtest/gtest.h>

#include "driver/palette.h"

namespace {

struct Slot {
    int index;
    int red, green, blue;
};

TEST(Palette, SystemColoursTakeTheirExactOrNearestSlots)
{
    PALETTEENTRY entries[kPaletteSize];
    BuildPaletteEntries(entries);
    const Slot expected[] = {
        {0, 0, 0, 0},         {7, 255, 0, 0},       {56, 0, 255, 0},      {63, 255, 255, 0},
        {192, 0, 0, 255},     {199, 255, 0, 255},   {248, 0, 255, 255},   {255, 255, 255, 255},
        {4, 128, 0, 0},       {32, 0, 128, 0},      {36, 128, 128, 0},    {128, 0, 0, 128},
        {132, 128, 0, 128},   {160, 0, 128, 128},   {173, 192, 192, 192}, {181, 192, 220, 192},
        {245, 166, 202, 240}, {247, 255, 251, 240}, {164, 160, 160, 164}, {156, 128, 128, 128},
        // Ramp colours that no system colour displaced.
        {157, 182, 109, 170}, {1, 0x24, 0, 0},      {254, 0xDB, 0xFF, 0xFF}};
    for (const Slot& slot : expected) {
        SCOPED_TRACE(slot.index);
        EXPECT_EQ(entries[slot.index].peRed, slot.red);
        EXPECT_EQ(entries[slot.index].peGreen, slot.green);
        EXPECT_EQ(entries[slot.index].peBlue, slot.blue);
        EXPECT_EQ(entries[slot.index].peFlags, 0);
    }
}

TEST(Palette, TwentySlotsDifferFromTheRampAndTheRestKeepIt)
{
    static const BYTE ramp3[8] = {0x00, 0x24, 0x49, 0x6D, 0x92, 0xB6, 0xDB, 0xFF};
    static const BYTE ramp2[4] = {0x00, 0x55, 0xAA, 0xFF};
    PALETTEENTRY entries[kPaletteSize];
    BuildPaletteEntries(entries);
    int changed = 0;
    for (int i = 0; i < kPaletteSize; ++i)
        changed += entries[i].peRed != ramp3[i & 7] || entries[i].peGreen != ramp3[(i >> 3) & 7] ||
                   entries[i].peBlue != ramp2[(i >> 6) & 3];
    // Eight system colours sit on equal ramp slots, twelve replace one each.
    EXPECT_EQ(changed, 12);
}

}  // namespace
