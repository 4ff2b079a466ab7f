// Binary PPM pictures (P6, 8 bits a channel): the frames zqframes writes on
// Linux and on Windows alike, in a format that needs no picture library.
#pragma once

#include <string>

#include "picture.h"

// Writes RGBA pixels stored bottom row first (as GL and the window API give
// them) as an RGB picture. Returns false and sets error on failure.
bool WritePpm(const std::string& path, const uint8_t* rgba, uint32_t width, uint32_t height, std::string& error);

// Reads a P6 picture with a largest value of 255 as RGBA, rows top first.
// Returns false and sets error on failure.
bool ReadPpm(const std::string& path, Picture& picture, std::string& error);
