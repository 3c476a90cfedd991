// A PNG screenshot read back as colours, for tests that check what a program showed.
// Header-only; the test must link libpng (host_ui does).
#pragma once

#include "host/types.h"

#include <png.h>

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

struct Picture {
    int cx = 0;
    int cy = 0;
    std::vector<host::COLORREF> pixels;
    host::COLORREF At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * cx + x]; }
};

// The picture of a PNG file; an empty one (0 x 0) when the file cannot be read.
inline Picture ReadPng(const std::string& path) {
    Picture picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return picture;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> buffer(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) return picture;
    picture.cx = static_cast<int>(image.width);
    picture.cy = static_cast<int>(image.height);
    for (std::size_t i = 0; i + 2 < buffer.size(); i += 3)
        picture.pixels.push_back(host::RGB(buffer[i], buffer[i + 1], buffer[i + 2]));
    return picture;
}

} // namespace testsupport
