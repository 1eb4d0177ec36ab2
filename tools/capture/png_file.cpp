#include "png_file.h"

#include <png.h>

#include <cstdio>

namespace {

bool write_png(const char* path, const uint8_t* pixels, int width, int height, int channels)
{
    FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                     channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y)
            png_write_row(png, pixels + size_t(y) * size_t(width) * size_t(channels));
        png_write_end(png, nullptr);
    } else {
        ok = false;
    }
    png_destroy_write_struct(&png, &info);
    ok = (std::fclose(file) == 0) && ok;
    if (!ok)
        std::remove(path);
    return ok;
}

} // namespace

bool write_png_rgb(const char* path, const uint8_t* rgb, int width, int height)
{
    return write_png(path, rgb, width, height, 3);
}

bool write_png_rgba(const char* path, const uint8_t* rgba, int width, int height)
{
    return write_png(path, rgba, width, height, 4);
}
