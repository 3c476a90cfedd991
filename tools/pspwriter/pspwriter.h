// Writes the block-structured layered image files that the animation framework reads:
// 8-bit images with a colour table or 24-bit images, one or more layers, hard or soft
// masks, a selection, and channel data stored plain, run-length coded or deflated.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pspwriter {

enum class Compression : uint16_t { None = 0, RunLength = 1, Deflate = 2 };

struct PspRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
};

struct PspLayer {
    std::string name;
    // Where the layer sits in the image; empty (all zero) means the whole image.
    PspRect rc;
    // Row-major over the layer's rectangle: one index per pixel at 8 bits, red, green,
    // blue per pixel at 24 bits.
    std::vector<uint8_t> pixels;
    // Optional opacity per pixel of the rectangle (0 see-through, 255 opaque). Only 0 and
    // 255 make a hard mask; values in between a soft one.
    std::vector<uint8_t> mask;
    // 1 transparency mask, 2 user mask.
    uint16_t nMaskType = 1;
    // Optional second mask of the same size, written as a user mask after the first; soft
    // masks of one layer multiply.
    std::vector<uint8_t> userMask;
    // Channel types written (0 composite, 1 red, 2 green, 3 blue); empty: {0} at 8 bits,
    // {1, 2, 3} at 24 bits. A composite at 24 bits writes the red bytes.
    std::vector<uint16_t> channels;
};

struct PspSelection {
    PspRect rc;                 // inside the image
    std::vector<uint8_t> bytes; // row-major over rc
};

struct PspImage {
    int32_t cx = 0;
    int32_t cy = 0;
    uint16_t nDepth = 8; // 8 or 24
    // Colour table of an 8-bit image as red, green, blue; every entry is written, even
    // past 256 (readers keep the first 256).
    std::vector<std::array<uint8_t, 3>> palette;
    std::vector<PspLayer> layers;
    bool fSelection = false;
    PspSelection selection;
    Compression compression = Compression::None;
};

// The run-length code of the format: a count byte above 128 repeats the next byte
// (count - 128) times, a count up to 128 copies that many literal bytes.
std::vector<uint8_t> EncodeRunLength(const std::vector<uint8_t>& data);

// What the animation framework's reader can load: bitmaps of at most kMaxSide pixels a side
// and kMaxImageBytes of pixel rows (each padded to 4 bytes); the frames of a layered image
// together at most kMaxFrameBytes; of a layer's channel, at most as many bytes as the image
// has padded pixels (the rest is cut off). Files beyond these are refused, not written.
constexpr int32_t kMaxSide = 32767;
constexpr int64_t kMaxImageBytes = int64_t{64} << 20;
constexpr int64_t kMaxFrameBytes = int64_t{256} << 20;

// False (and *pOut untouched) when the description is inconsistent or more than the format
// or its reader holds: unknown depth, pixel or mask sizes that do not match the rectangle,
// a selection outside the image, sizes past the limits above or a 32-bit length. Then
// *pError (when given) says which sizes and values are at fault.
bool WritePsp(const PspImage& image, std::vector<uint8_t>* pOut, std::string* pError = nullptr);
// As WritePsp, then writes the file whole or not at all; *pError also names write failures.
bool WritePspFile(const PspImage& image, const std::string& path, std::string* pError = nullptr);

// Writes bytes to path through a temporary file beside it that is renamed over the old one,
// so a failure never leaves half a file; on failure *pError (optional) says why.
bool WriteFileReplacing(const std::vector<uint8_t>& bytes, const std::string& path,
                        std::string* pError = nullptr);

} // namespace pspwriter
