// PNG files through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes RGBA pixels stored bottom row first (as GL and the driver give
// them) as an RGB picture. Returns false and sets error on failure.
bool WritePng(const std::string& path, const std::vector<uint8_t>& rgba, uint32_t width, uint32_t height,
              std::string& error);
