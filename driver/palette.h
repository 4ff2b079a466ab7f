// The 3-3-2 palette of channels on 8-bit pixel formats.
#pragma once

#include <windows.h>

#include "channel.h"

constexpr int kPaletteSize = 256;

// Fills the 256 entries: the 3-3-2 ramp (red in the low three bits of the
// index, green in the next three, blue in the top two), with the 20 static
// system colours moved onto their exact or nearest free slots.
void BuildPaletteEntries(PALETTEENTRY entries[kPaletteSize]);

// Creates the palette, selects and realises it in the channel's device
// context. Returns false when memory runs out; nothing is then held.
bool InstallPalette(ChannelState* state);
