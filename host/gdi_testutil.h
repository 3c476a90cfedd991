// Helpers for the drawing tests: bitmaps selected into memory contexts.
#pragma once

#include "host/gdi.h"

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace host::test {

struct TestFormat {
    const char* name;
    int nDepth;
    DWORD nCompression = BI_RGB;
    DWORD masks[3] = {0, 0, 0};
    bool fMono = false; // a monochrome device bitmap
};

// A bitmap selected into its own memory context.
struct Canvas {
    HBITMAP hbm = nullptr;
    HDC hdc = nullptr;
    HGDIOBJ hbmOld = nullptr;
    PixelBuffer px;

    Canvas() = default;
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas() {
        if (hdc) {
            SelectObject(hdc, hbmOld);
            DeleteDC(hdc);
        }
        if (hbm) DeleteObject(hbm);
    }
    std::size_t Bytes() const { return static_cast<std::size_t>(px.cbPitch) * px.cy; }
};

inline std::vector<RGBQUAD> RandomColors(int c, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<RGBQUAD> colors(c);
    for (RGBQUAD& q : colors)
        q = {BYTE(random()), BYTE(random()), BYTE(random()), 0};
    return colors;
}

// A bitmap of the format; indexed ones get colors (or random colours from the seed).
inline std::unique_ptr<Canvas> MakeCanvas(const TestFormat& f, int cx, int cy,
                                          const std::vector<RGBQUAD>* pColors = nullptr,
                                          unsigned seed = 1) {
    auto canvas = std::make_unique<Canvas>();
    if (f.fMono) {
        canvas->hbm = CreateBitmap(cx, cy, 1, 1, nullptr);
    } else {
        std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        auto* h = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
        h->biSize = sizeof(BITMAPINFOHEADER);
        h->biWidth = cx;
        h->biHeight = -cy;
        h->biPlanes = 1;
        h->biBitCount = static_cast<WORD>(f.nDepth);
        h->biCompression = f.nCompression;
        BYTE* after = info.data() + sizeof(BITMAPINFOHEADER);
        if (f.nCompression == BI_BITFIELDS) std::memcpy(after, f.masks, sizeof(f.masks));
        if (f.nDepth <= 8) {
            std::vector<RGBQUAD> colors =
                pColors ? *pColors : RandomColors(1 << f.nDepth, seed * 31 + f.nDepth);
            std::memcpy(after, colors.data(), colors.size() * sizeof(RGBQUAD));
            h->biClrUsed = static_cast<DWORD>(colors.size());
        }
        void* pv = nullptr;
        canvas->hbm = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()),
                                       DIB_RGB_COLORS, &pv, nullptr, 0);
    }
    if (!canvas->hbm) return nullptr;
    GetBitmapPixels(canvas->hbm, &canvas->px);
    canvas->hdc = CreateCompatibleDC(nullptr);
    canvas->hbmOld = SelectObject(canvas->hdc, static_cast<HGDIOBJ>(canvas->hbm));
    return canvas;
}

inline std::unique_ptr<Canvas> MakeCanvas(int nDepth, int cx, int cy) {
    return MakeCanvas(TestFormat{"", nDepth}, cx, cy);
}

// Fills every pixel with random bits that form a valid value of the format.
inline void Randomize(Canvas& c, unsigned seed) {
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < c.Bytes(); ++i)
        c.px.pBits[i] = BYTE(random());
    if (c.px.nDepth == 16 && c.px.dwRedMask == 0x7C00)
        for (LONG y = 0; y < c.px.cy; ++y)
            for (LONG x = 0; x < c.px.cx; ++x)
                c.px.pBits[y * c.px.cbPitch + 2 * x + 1] &= 0x7F;
}

} // namespace host::test
