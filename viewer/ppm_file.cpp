#include "ppm_file.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <memory>

#include "output_files.h"

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

constexpr uint32_t kMaxSide = 16384;

// The next number of the header, after white space and comments; false at
// anything else or past max.
bool ReadHeaderNumber(FILE* file, uint32_t max, uint32_t& value)
{
    int c = std::fgetc(file);
    while (c == '#' || std::isspace(c)) {
        if (c == '#')
            while (c != '\n' && c != EOF) c = std::fgetc(file);
        c = std::fgetc(file);
    }
    if (!std::isdigit(c)) return false;
    value = 0;
    for (; std::isdigit(c); c = std::fgetc(file)) {
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > max) return false;
    }
    // One white-space character ends the number; after the largest value it
    // is the last byte before the pixels.
    return std::isspace(c) != 0;
}

}  // namespace

bool WritePpm(const std::string& path, const uint8_t* rgba, uint32_t width, uint32_t height, std::string& error)
{
    PendingFile file(path);
    if (!file.Open(error)) return false;
    std::fprintf(file.file(), "P6\n%u %u\n255\n", width, height);
    std::vector<uint8_t> row(size_t{width} * 3);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* source = rgba + size_t{height - 1 - y} * width * 4;
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) row[x * 3 + c] = source[x * 4 + c];
        if (std::fwrite(row.data(), 1, row.size(), file.file()) != row.size()) break;
    }
    return file.Commit(error);
}

bool ReadPpm(const std::string& path, Picture& picture, std::string& error)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    uint32_t width = 0, height = 0, largest = 0;
    if (std::fgetc(file.get()) != 'P' || std::fgetc(file.get()) != '6' ||
        !ReadHeaderNumber(file.get(), kMaxSide, width) || !ReadHeaderNumber(file.get(), kMaxSide, height) ||
        !ReadHeaderNumber(file.get(), 65535, largest) || width == 0 || height == 0) {
        error = path + " is not a binary PPM picture";
        return false;
    }
    if (largest != 255) {
        error = path + " does not have 8 bits a channel";
        return false;
    }
    std::vector<uint8_t> rgb(size_t{width} * height * 3);
    if (std::fread(rgb.data(), 1, rgb.size(), file.get()) != rgb.size()) {
        error = path + " ends before its last pixel";
        return false;
    }
    picture.width = width;
    picture.height = height;
    picture.rgba.resize(size_t{width} * height * 4);
    for (size_t i = 0; i < size_t{width} * height; ++i) {
        for (int c = 0; c < 3; ++c) picture.rgba[i * 4 + c] = rgb[i * 3 + c];
        picture.rgba[i * 4 + 3] = 255;
    }
    return true;
}
