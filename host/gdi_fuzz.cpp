// Arbitrary bytes as a bitmap information header with its colour table and pixels, and as
// region data: creation must refuse what it cannot use, and whatever it accepts must draw
// (copied, keyed, stretched and mirrored) onto a 16-bit surface without fault.
#include "host/gdi.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace host;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The header may claim up to 4096 bytes, followed by a 256-entry colour table.
    std::vector<BYTE> info(4096 + 1024 + 16, 0);
    std::memcpy(info.data(), data, std::min(size, info.size()));
    void* pv = nullptr;
    HBITMAP hbm = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()),
                                   DIB_RGB_COLORS, &pv);
    if (hbm) {
        if (!pv) std::abort();
        DIBSECTION ds{};
        if (GetObject(hbm, sizeof(ds), &ds) != sizeof(ds)) std::abort();
        // Pixels from what follows the header, limited to keep runs quick.
        std::size_t cb = static_cast<std::size_t>(ds.dsBm.bmWidthBytes) * ds.dsBm.bmHeight;
        std::size_t offset = std::min<std::size_t>(size, 40);
        std::memcpy(pv, data + offset, std::min(cb, size - offset));

        BITMAPINFO screenInfo{};
        screenInfo.bmiHeader = {sizeof(BITMAPINFOHEADER), 64, -48, 1, 16, BI_RGB, 0, 0, 0, 0, 0};
        HBITMAP screen = CreateDIBSection(nullptr, &screenInfo, DIB_RGB_COLORS, &pv);
        HDC dst = CreateCompatibleDC(nullptr), src = CreateCompatibleDC(nullptr);
        HGDIOBJ oldDst = SelectObject(dst, static_cast<HGDIOBJ>(screen));
        HGDIOBJ oldSrc = SelectObject(src, static_cast<HGDIOBJ>(hbm));
        int cx = ds.dsBm.bmWidth, cy = ds.dsBm.bmHeight;
        COLORREF key = cb ? GetPixel(src, 0, 0) : 0;
        BitBlt(dst, -3, 2, cx, cy, src, 0, 0, SRCCOPY);
        BitBlt(dst, 0, 0, 64, 48, src, 1, 1, SRCINVERT);
        TransparentBlt(dst, 5, 5, cx, cy, src, 0, 0, cx, cy, key);
        StretchBlt(dst, 63, 0, -64, 48, src, 0, 0, cx, cy, SRCCOPY);
        if (cb <= (1u << 20)) // stretching back over a large bitmap takes long
            StretchBlt(src, 0, 0, cx, cy, dst, 0, 0, 64, 48, SRCAND);
        SelectObject(src, oldSrc);
        SelectObject(dst, oldDst);
        DeleteDC(src);
        DeleteDC(dst);
        DeleteObject(screen);
        DeleteObject(hbm);
    }

    HRGN hrgn = ExtCreateRegion(
        nullptr, static_cast<DWORD>(size),
        size >= sizeof(RGNDATAHEADER) ? reinterpret_cast<const RGNDATA*>(info.data()) : nullptr);
    if (hrgn) {
        // What comes back out must describe the same region.
        DWORD cb = GetRegionData(hrgn, 0, nullptr);
        std::vector<BYTE> out(cb);
        if (GetRegionData(hrgn, cb, reinterpret_cast<RGNDATA*>(out.data())) != cb) std::abort();
        HRGN copy = ExtCreateRegion(nullptr, cb, reinterpret_cast<const RGNDATA*>(out.data()));
        if (!copy || !EqualRgn(hrgn, copy)) std::abort();
        DeleteObject(copy);
        DeleteObject(hrgn);
    }
    return 0;
}
