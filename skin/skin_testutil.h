// Small skin packages and pictures for the skin's tests, fuzzers and benchmark.
#pragma once

#include "tools/pspwriter/pspwriter.h"
#include "tools/zipwriter/zipwriter.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace skintest {

using Bytes = std::vector<std::uint8_t>;

// Colour table slots of the test pictures.
constexpr std::uint8_t kBlue = 0;  // pure blue, the see-through colour
constexpr std::uint8_t kRed = 1;   // (255, 0, 0)
constexpr std::uint8_t kBlack = 2; // (0, 0, 0)
constexpr std::uint8_t kWhite = 3; // (255, 255, 255)

inline Bytes Text(const std::string& str) {
    return Bytes(str.begin(), str.end());
}

// An 8-bit run-length image of cx x cy with the shared slots coloured (the rest grey) and
// no layers yet.
inline pspwriter::PspImage TestImage(int cx, int cy) {
    pspwriter::PspImage image;
    image.cx = cx;
    image.cy = cy;
    image.nDepth = 8;
    image.compression = pspwriter::Compression::RunLength;
    image.palette.assign(256, {128, 128, 128});
    image.palette[kBlue] = {0, 0, 255};
    image.palette[kRed] = {255, 0, 0};
    image.palette[kBlack] = {0, 0, 0};
    image.palette[kWhite] = {255, 255, 255};
    return image;
}

// One layer of pixel(x, y) over the whole image.
template <class PixelFn> pspwriter::PspLayer TestLayer(int cx, int cy, PixelFn pixel) {
    pspwriter::PspLayer layer;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            layer.pixels.push_back(pixel(x, y));
    return layer;
}

inline Bytes PspBytes(const pspwriter::PspImage& image) {
    Bytes bytes;
    pspwriter::WritePsp(image, &bytes);
    return bytes;
}

// An 8-bit picture of cx x cy in slot iFill, with the pixels of the left half of each row
// in slot iLeft (a way to see which part a cell came from).
inline Bytes Picture(int cx, int cy, std::uint8_t iFill = kRed, std::uint8_t iLeft = kRed) {
    pspwriter::PspImage image = TestImage(cx, cy);
    pspwriter::PspLayer layer;
    layer.pixels.assign(static_cast<std::size_t>(cx) * cy, iFill);
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx / 2; ++x)
            layer.pixels[static_cast<std::size_t>(y) * cx + x] = iLeft;
    image.layers.push_back(layer);
    Bytes bytes;
    pspwriter::WritePsp(image, &bytes);
    return bytes;
}

// A 24-bit bottom-up bitmap file of one colour.
inline Bytes Bitmap(int cx, int cy, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    int cbRow = (cx * 3 + 3) & ~3;
    std::uint32_t cbImage = static_cast<std::uint32_t>(cbRow * cy);
    Bytes bytes(54 + cbImage, 0);
    auto Put = [&](std::size_t i, std::uint32_t v, int cb) {
        for (int k = 0; k < cb; ++k)
            bytes[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put(2, 54 + cbImage, 4);
    Put(10, 54, 4);
    Put(14, 40, 4);
    Put(18, static_cast<std::uint32_t>(cx), 4);
    Put(22, static_cast<std::uint32_t>(cy), 4);
    Put(26, 1, 2);
    Put(28, 24, 2);
    Put(34, cbImage, 4);
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x) {
            std::size_t i = 54 + static_cast<std::size_t>(y) * cbRow + 3 * x;
            bytes[i] = b;
            bytes[i + 1] = g;
            bytes[i + 2] = r;
        }
    return bytes;
}

// A mono 8-bit 22050 Hz wave of cSamples samples.
inline Bytes Wave(std::uint32_t cSamples) {
    Bytes bytes(44 + cSamples, 0x80);
    auto Put = [&](std::size_t i, std::uint32_t v, int cb) {
        for (int k = 0; k < cb; ++k)
            bytes[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    std::copy_n("RIFF", 4, bytes.begin());
    Put(4, 36 + cSamples, 4);
    std::copy_n("WAVEfmt ", 8, bytes.begin() + 8);
    Put(16, 16, 4);
    Put(20, 1, 2);     // PCM
    Put(22, 1, 2);     // mono
    Put(24, 22050, 4); // rate
    Put(28, 22050, 4); // bytes per second
    Put(32, 1, 2);     // block
    Put(34, 8, 2);     // bits
    std::copy_n("data", 4, bytes.begin() + 36);
    Put(40, cSamples, 4);
    return bytes;
}

using Files = std::vector<std::pair<std::string, Bytes>>;

inline Bytes Package(const Files& files) {
    zipwriter::ZipWriter writer;
    for (const auto& [name, bytes] : files)
        writer.AddDeflated(name, bytes, 6);
    return writer.Finish();
}

} // namespace skintest
