// PNG pictures of bitmaps, for screenshots.
#include "host/gdi.h"
#include "host/gdi_internal.h"

#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

namespace host {

using namespace gdi;

namespace {

// Kept free of objects with destructors: libpng reports errors by jumping back here.
bool WritePng(std::FILE* file, png_uint_32 cx, png_uint_32 cy, png_bytep* rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, cx, cy, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool SaveBitmapAsPng(HBITMAP hbm, const std::string& path) {
    PixelBuffer px;
    Format format;
    if (!GetBitmapPixels(hbm, &px) || !format.Init(px) || path.empty()) return false;
    std::vector<png_byte> pixels(static_cast<std::size_t>(px.cx) * px.cy * 3);
    std::vector<png_bytep> rows(px.cy);
    std::vector<DWORD> values(px.cx);
    for (LONG y = 0; y < px.cy; ++y) {
        png_bytep row = pixels.data() + static_cast<std::size_t>(y) * px.cx * 3;
        rows[y] = row;
        ReadRow(px, 0, y, px.cx, values.data());
        for (LONG x = 0; x < px.cx; ++x) {
            COLORREF cr = format.Decode(values[x]);
            row[3 * x] = GetRValue(cr);
            row[3 * x + 1] = GetGValue(cr);
            row[3 * x + 2] = GetBValue(cr);
        }
    }
    // Written beside the target and renamed over it, so a reader never sees half a file.
    std::string temp = path + ".tmp";
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (!file) return false;
    bool ok = WritePng(file, static_cast<png_uint_32>(px.cx), static_cast<png_uint_32>(px.cy),
                       rows.data());
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace host
