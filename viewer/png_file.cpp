#include "png_file.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "output_files.h"

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

constexpr uint32_t kMaxSide = 16384;

// libpng's complaints go into the viewer's own message instead of onto
// stderr: an error keeps its text and ends the call, warnings are dropped.
void KeepError(png_structp png, png_const_charp message)
{
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void DropWarning(png_structp, png_const_charp) {}

}  // namespace

bool ReadPng(const std::string& path, Picture& picture, std::string& error)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    png_byte signature[8];
    if (std::fread(signature, 1, 8, file.get()) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
        error = path + " is not a PNG file";
        return false;
    }
    std::string complaint;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &complaint, KeepError, DropWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        error = "out of memory reading " + path;
        return false;
    }
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        error = path + " is a damaged PNG file (" + complaint + ")";
        return false;
    }
    png_init_io(png, file.get());
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    uint32_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
        png_destroy_read_struct(&png, &info, nullptr);
        error = path + " is larger than " + std::to_string(kMaxSide) + " pixels a side";
        return false;
    }
    // Everything becomes 8-bit RGBA.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    picture.width = width;
    picture.height = height;
    picture.rgba.assign(size_t{width} * height * 4, 0);
    for (uint32_t y = 0; y < height; ++y) rows.push_back(&picture.rgba[size_t{y} * width * 4]);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool WritePng(const std::string& path, const uint8_t* rgba, uint32_t width, uint32_t height, std::string& error)
{
    PendingFile file(path);
    if (!file.Open(error)) return false;
    std::string complaint;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &complaint, KeepError, DropWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        error = "out of memory writing " + path;
        return false;
    }
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        file.Fail(complaint, error);
        return false;
    }
    errno = 0;
    png_init_io(png, file.file());
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* source = rgba + static_cast<size_t>(height - 1 - y) * width * 4;
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) row[x * 3 + c] = source[x * 4 + c];
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file.Commit(error);
}
