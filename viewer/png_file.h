// PNG files through libpng.
#pragma once

#include <string>

#include "picture.h"

// Reads any PNG as 8-bit RGBA. Returns false and sets error on failure.
bool ReadPng(const std::string& path, Picture& picture, std::string& error);

// Writes RGBA pixels stored bottom row first (as GL and the driver give
// them) as an RGB picture. Returns false and sets error on failure.
bool WritePng(const std::string& path, const uint8_t* rgba, uint32_t width, uint32_t height, std::string& error);
