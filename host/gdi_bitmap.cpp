// Bitmaps and pixel formats.
#include "host/gdi.h"
#include "host/gdi_internal.h"

#include <bit>
#include <cstdlib>
#include <cstring>

namespace host {
namespace gdi {

// ---------------------------------------------------------------------------------------
// Pixel formats

namespace {

constexpr DWORD kMask555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr DWORD kMask888[3] = {0xFF0000, 0x00FF00, 0x0000FF};
constexpr RGBQUAD kMonoColors[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};

// Largest pixel memory of one bitmap: far above any picture or screen of these programs,
// low enough that a hostile image header cannot exhaust memory.
constexpr std::int64_t kMaxBytes = 64LL << 20;

bool IsDepth(UINT nDepth) {
    return nDepth == 1 || nDepth == 2 || nDepth == 4 || nDepth == 8 || nDepth == 16 ||
           nDepth == 24 || nDepth == 32;
}

// A channel mask must be one run of 1 to 8 bits.
bool MaskShape(DWORD mask, int* pShift, int* pBits) {
    if (!mask) return false;
    int shift = std::countr_zero(mask);
    int bits = std::popcount(mask);
    if (bits > 8 || (mask >> shift) != (1u << bits) - 1) return false;
    *pShift = shift;
    *pBits = bits;
    return true;
}

inline WORD Load16(const BYTE* p) {
    WORD v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void Store16(BYTE* p, WORD v) {
    std::memcpy(p, &v, 2);
}

} // namespace

bool Format::Init(const PixelBuffer& px) {
    *this = Format{};
    if (!px.pBits || px.cx <= 0 || px.cy <= 0 || !IsDepth(px.nDepth)) return false;
    if (std::abs(static_cast<std::int64_t>(px.cbPitch)) < RowBytes(px.cx, px.nDepth)) return false;
    nDepth = px.nDepth;
    if (nDepth <= 8) {
        fIndexed = true;
        fMono = px.fMonochrome && nDepth == 1;
        pColors = fMono ? kMonoColors : px.pColors;
        cColors = fMono ? 2 : std::min(px.cColors, 1u << nDepth);
        valueMask = (1u << nDepth) - 1;
        return pColors && cColors > 0;
    }
    const DWORD* masks = kMask888;
    if (nDepth == 16) masks = kMask555;
    DWORD given[3] = {px.dwRedMask, px.dwGreenMask, px.dwBlueMask};
    if (nDepth != 24 && (given[0] | given[1] | given[2])) masks = given;
    for (int c = 0; c < 3; ++c) {
        mask[c] = masks[c];
        if (!MaskShape(mask[c], &shift[c], &bits[c])) return false;
        if (nDepth == 16 && mask[c] > 0xFFFF) return false;
    }
    if ((mask[0] & mask[1]) || (mask[0] & mask[2]) || (mask[1] & mask[2])) return false;
    valueMask =
        nDepth == 16 ? (mask[0] | mask[1] | mask[2]) : (nDepth == 24 ? 0xFFFFFFu : 0xFFFFFFFFu);
    return true;
}

COLORREF Format::Decode(DWORD v) const {
    if (fIndexed) {
        v &= valueMask;
        if (v >= cColors) return 0;
        const RGBQUAD& q = pColors[v];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    BYTE ch[3];
    for (int c = 0; c < 3; ++c)
        ch[c] = static_cast<BYTE>(((v & mask[c]) >> shift[c]) << (8 - bits[c]));
    return RGB(ch[0], ch[1], ch[2]);
}

DWORD Format::Encode(COLORREF cr) const {
    if (fIndexed) return NearestIndex(pColors, cColors, cr);
    BYTE ch[3] = {GetRValue(cr), GetGValue(cr), GetBValue(cr)};
    DWORD v = 0;
    for (int c = 0; c < 3; ++c)
        v |= (static_cast<DWORD>(ch[c]) >> (8 - bits[c])) << shift[c];
    return v;
}

bool Format::SameAs(const Format& other) const {
    if (nDepth != other.nDepth || fMono != other.fMono || fIndexed != other.fIndexed) return false;
    if (!fIndexed) return std::equal(mask, mask + 3, other.mask);
    if (cColors != other.cColors) return false;
    for (UINT i = 0; i < cColors; ++i) {
        const RGBQUAD &a = pColors[i], &b = other.pColors[i];
        if (a.rgbRed != b.rgbRed || a.rgbGreen != b.rgbGreen || a.rgbBlue != b.rgbBlue)
            return false;
    }
    return true;
}

namespace {

template <class Entry, class Get> UINT Nearest(const Entry* p, UINT c, COLORREF cr, Get get) {
    int r = GetRValue(cr), g = GetGValue(cr), b = GetBValue(cr);
    UINT best = 0;
    int bestDistance = 0x7FFFFFFF;
    for (UINT i = 0; i < c; ++i) {
        int er, eg, eb;
        get(p[i], er, eg, eb);
        int d = (er - r) * (er - r) + (eg - g) * (eg - g) + (eb - b) * (eb - b);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
            if (d == 0) break;
        }
    }
    return best;
}

} // namespace

UINT NearestIndex(const RGBQUAD* pColors, UINT cColors, COLORREF cr) {
    return Nearest(pColors, cColors, cr, [](const RGBQUAD& q, int& r, int& g, int& b) {
        r = q.rgbRed;
        g = q.rgbGreen;
        b = q.rgbBlue;
    });
}

UINT NearestIndex(const PALETTEENTRY* pEntries, UINT cEntries, COLORREF cr) {
    return Nearest(pEntries, cEntries, cr, [](const PALETTEENTRY& e, int& r, int& g, int& b) {
        r = e.peRed;
        g = e.peGreen;
        b = e.peBlue;
    });
}

EncodeCache::EncodeCache(const Format& format) : format_(format) {
    keys_.fill(0xFFFFFFFF);
}

DWORD EncodeCache::Encode(COLORREF cr) {
    if (!format_.fIndexed) return format_.Encode(cr);
    std::size_t slot = ((cr * 2654435761u) >> 16) & (kSize - 1);
    if (keys_[slot] != cr) {
        keys_[slot] = cr;
        values_[slot] = format_.Encode(cr);
    }
    return values_[slot];
}

// ---------------------------------------------------------------------------------------
// Pixel access

DWORD ReadPixel(const PixelBuffer& px, LONG x, LONG y) {
    DWORD v;
    ReadRow(px, x, y, 1, &v);
    return v;
}

void WritePixel(const PixelBuffer& px, LONG x, LONG y, DWORD v) {
    WriteRow(px, x, y, 1, &v);
}

void ReadRow(const PixelBuffer& px, LONG x, LONG y, LONG n, DWORD* pOut) {
    const BYTE* row = RowPtr(px, y);
    switch (px.nDepth) {
    case 32:
        std::memcpy(pOut, row + x * 4, n * 4);
        break;
    case 24:
        for (const BYTE* p = row + x * 3; n-- > 0; p += 3)
            *pOut++ = p[0] | (p[1] << 8) | (p[2] << 16);
        break;
    case 16:
        for (const BYTE* p = row + x * 2; n-- > 0; p += 2)
            *pOut++ = Load16(p);
        break;
    case 8:
        for (const BYTE* p = row + x; n-- > 0;)
            *pOut++ = *p++;
        break;
    default: {
        const UINT d = px.nDepth;
        const DWORD m = (1u << d) - 1;
        for (LONG i = 0; i < n; ++i) {
            std::size_t bit = static_cast<std::size_t>(x + i) * d;
            *pOut++ = (row[bit >> 3] >> (8 - d - (bit & 7))) & m;
        }
        break;
    }
    }
}

void WriteRow(const PixelBuffer& px, LONG x, LONG y, LONG n, const DWORD* pIn) {
    BYTE* row = RowPtr(px, y);
    switch (px.nDepth) {
    case 32:
        std::memcpy(row + x * 4, pIn, n * 4);
        break;
    case 24:
        for (BYTE* p = row + x * 3; n-- > 0; p += 3) {
            DWORD v = *pIn++;
            p[0] = BYTE(v);
            p[1] = BYTE(v >> 8);
            p[2] = BYTE(v >> 16);
        }
        break;
    case 16:
        for (BYTE* p = row + x * 2; n-- > 0; p += 2)
            Store16(p, static_cast<WORD>(*pIn++));
        break;
    case 8:
        for (BYTE* p = row + x; n-- > 0;)
            *p++ = static_cast<BYTE>(*pIn++);
        break;
    default: {
        const UINT d = px.nDepth;
        const DWORD m = (1u << d) - 1;
        for (LONG i = 0; i < n; ++i) {
            std::size_t bit = static_cast<std::size_t>(x + i) * d;
            int shift = static_cast<int>(8 - d - (bit & 7));
            BYTE& b = row[bit >> 3];
            b = static_cast<BYTE>((b & ~(m << shift)) | ((*pIn++ & m) << shift));
        }
        break;
    }
    }
}

// ---------------------------------------------------------------------------------------
// Creating bitmaps

namespace {

struct NewBitmapArgs {
    LONG cx = 0;
    LONG cy = 0;
    UINT nDepth = 0;
    const DWORD* pMasks = nullptr; // 16 and 32 bits; null for the BI_RGB layout
    const RGBQUAD* pColors = nullptr;
    UINT cColors = 0;
    bool fMono = false;
    bool fBottomUp = false;
    bool fDibSection = false;
    DWORD nCompression = BI_RGB;
};

std::shared_ptr<Bitmap> NewBitmap(const NewBitmapArgs& a) {
    if (a.cx <= 0 || a.cy <= 0 || a.cx > 32767 || a.cy > 32767 || !IsDepth(a.nDepth))
        return nullptr;
    LONG cbRow = RowBytes(a.cx, a.nDepth);
    std::int64_t cb = static_cast<std::int64_t>(cbRow) * a.cy;
    if (cb > kMaxBytes) return nullptr;
    auto bm = std::make_shared<Bitmap>();
    bm->storage.reset(new (std::nothrow) BYTE[cb]());
    if (!bm->storage) return nullptr;
    PixelBuffer& px = bm->pixels;
    px.cx = a.cx;
    px.cy = a.cy;
    px.nDepth = a.nDepth;
    px.cbPitch = a.fBottomUp ? -cbRow : cbRow;
    px.pBits = bm->storage.get() + (a.fBottomUp ? cb - cbRow : 0);
    if (a.nDepth == 16 || a.nDepth == 32) {
        const DWORD* masks = a.pMasks ? a.pMasks : (a.nDepth == 16 ? kMask555 : kMask888);
        px.dwRedMask = masks[0];
        px.dwGreenMask = masks[1];
        px.dwBlueMask = masks[2];
    }
    if (a.nDepth <= 8) {
        UINT c = std::min(a.cColors, 1u << a.nDepth);
        if (a.pColors) std::copy_n(a.pColors, c, bm->colors.begin());
        px.pColors = bm->colors.data();
        px.cColors = 1u << a.nDepth;
        px.fMonochrome = a.fMono;
        if (a.fMono) {
            bm->colors[0] = kMonoColors[0];
            bm->colors[1] = kMonoColors[1];
        }
    }
    Format check;
    if (!check.Init(px)) return nullptr;
    bm->fDibSection = a.fDibSection;
    BITMAPINFOHEADER& h = bm->header;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = a.cx;
    h.biHeight = a.fBottomUp ? a.cy : -a.cy;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(a.nDepth);
    h.biCompression = a.nCompression;
    h.biSizeImage = static_cast<DWORD>(cb);
    h.biClrUsed = a.nDepth <= 8 ? 1u << a.nDepth : 0;
    return bm;
}

HBITMAP RegisterBitmap(std::shared_ptr<Bitmap> bm) {
    return bm ? static_cast<HBITMAP>(Register(std::move(bm))) : nullptr;
}

// Colours of a new indexed device bitmap: the display's palette.
std::vector<RGBQUAD> SystemColors() {
    PALETTEENTRY entries[256];
    GetSystemPaletteEntries(nullptr, 0, 256, entries);
    std::vector<RGBQUAD> colors(256);
    for (int i = 0; i < 256; ++i)
        colors[i] = {entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    return colors;
}

} // namespace
} // namespace gdi

using namespace gdi;

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT iUsage, void** ppvBits,
                         void* hSection, DWORD) {
    if (ppvBits) *ppvBits = nullptr;
    if (!pbmi || hSection || (iUsage != DIB_RGB_COLORS && iUsage != DIB_PAL_COLORS)) return nullptr;
    BITMAPINFOHEADER h;
    std::memcpy(&h, pbmi, sizeof(h));
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > 4096 || h.biPlanes != 1) return nullptr;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight < -32767 || h.biHeight > 32767)
        return nullptr;
    const BYTE* pAfter = reinterpret_cast<const BYTE*>(pbmi) + h.biSize;

    NewBitmapArgs a;
    a.cx = h.biWidth;
    a.cy = std::abs(h.biHeight);
    a.fBottomUp = h.biHeight > 0;
    a.nDepth = h.biBitCount;
    a.fDibSection = true;
    a.nCompression = h.biCompression;
    DWORD masks[3];
    if (h.biCompression == BI_BITFIELDS) {
        if (a.nDepth != 16 && a.nDepth != 32) return nullptr;
        // Newer, longer headers carry the masks inside; the classic one is followed by them.
        const BYTE* pMasks = h.biSize >= 52 ? reinterpret_cast<const BYTE*>(pbmi) + 40 : pAfter;
        std::memcpy(masks, pMasks, sizeof(masks));
        a.pMasks = masks;
    } else if (h.biCompression != BI_RGB) {
        return nullptr;
    }
    std::vector<RGBQUAD> colors;
    if (a.nDepth <= 8) {
        UINT c = h.biClrUsed ? std::min<UINT>(h.biClrUsed, 1u << a.nDepth) : 1u << a.nDepth;
        colors.resize(c);
        if (iUsage == DIB_RGB_COLORS) {
            std::memcpy(colors.data(), pAfter, c * sizeof(RGBQUAD));
        } else {
            auto dc = Lookup<Dc>(hdc, Kind::Dc);
            if (!dc) return nullptr;
            const std::vector<PALETTEENTRY>& entries = dc->st.palette->entries;
            for (UINT i = 0; i < c; ++i) {
                WORD k;
                std::memcpy(&k, pAfter + i * 2, 2);
                PALETTEENTRY e = k < entries.size() ? entries[k] : entries[0];
                colors[i] = {e.peBlue, e.peGreen, e.peRed, 0};
            }
        }
        a.pColors = colors.data();
        a.cColors = c;
    }
    auto bm = NewBitmap(a);
    if (!bm) return nullptr;
    if (ppvBits) *ppvBits = bm->storage.get();
    return RegisterBitmap(std::move(bm));
}

HBITMAP CreateBitmap(int cx, int cy, UINT cPlanes, UINT cBitsPerPixel, const void* pvBits) {
    if (cPlanes != 1 || cx < 0 || cy < 0) return nullptr;
    if (cx == 0 || cy == 0) {
        cx = cy = 1;
        cBitsPerPixel = 1;
        pvBits = nullptr;
    }
    NewBitmapArgs a;
    a.cx = cx;
    a.cy = cy;
    a.nDepth = cBitsPerPixel;
    a.fMono = cBitsPerPixel == 1;
    std::vector<RGBQUAD> colors;
    if (cBitsPerPixel > 1 && cBitsPerPixel <= 8) {
        colors = SystemColors();
        a.pColors = colors.data();
        a.cColors = 1u << cBitsPerPixel;
    }
    auto bm = NewBitmap(a);
    if (!bm) return nullptr;
    if (pvBits) {
        // Device bitmap rows are padded to 16 bits.
        std::size_t cbRow = ((static_cast<std::size_t>(cx) * cBitsPerPixel + 15) / 16) * 2;
        std::size_t cbCopy = (static_cast<std::size_t>(cx) * cBitsPerPixel + 7) / 8;
        for (LONG y = 0; y < cy; ++y)
            std::memcpy(RowPtr(bm->pixels, y), static_cast<const BYTE*>(pvBits) + y * cbRow,
                        cbCopy);
    }
    return RegisterBitmap(std::move(bm));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    auto dc = Lookup<Dc>(hdc, Kind::Dc);
    if (!dc || cx < 0 || cy < 0) return nullptr;
    if (cx == 0 || cy == 0) return CreateBitmap(1, 1, 1, 1, nullptr);
    Surface* surface = dc->Target();
    if (!surface) return nullptr;
    PixelBuffer px = surface->GetPixels();
    Format format;
    if (!format.Init(px)) return nullptr;
    NewBitmapArgs a;
    a.cx = cx;
    a.cy = cy;
    a.nDepth = format.nDepth;
    a.fMono = format.fMono;
    a.pMasks = format.fIndexed ? nullptr : format.mask;
    a.pColors = format.pColors;
    a.cColors = format.cColors;
    return RegisterBitmap(NewBitmap(a));
}

UINT GetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, RGBQUAD* prgbq) {
    auto dc = Lookup<Dc>(hdc, Kind::Dc);
    if (!dc || !dc->fMemory || !prgbq) return 0;
    const PixelBuffer& px = dc->st.bitmap->pixels;
    if (px.nDepth > 8 || px.fMonochrome || iStart >= px.cColors) return 0;
    UINT n = std::min(cEntries, px.cColors - iStart);
    std::copy_n(px.pColors + iStart, n, prgbq);
    return n;
}

UINT SetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, const RGBQUAD* prgbq) {
    auto dc = Lookup<Dc>(hdc, Kind::Dc);
    if (!dc || !dc->fMemory || !prgbq) return 0;
    Bitmap& bm = *dc->st.bitmap;
    if (bm.fStock || bm.pixels.nDepth > 8 || bm.pixels.fMonochrome || iStart >= bm.pixels.cColors)
        return 0;
    UINT n = std::min(cEntries, bm.pixels.cColors - iStart);
    std::copy_n(prgbq, n, bm.colors.begin() + iStart);
    return n;
}

BOOL GetBitmapPixels(HBITMAP hbm, PixelBuffer* pBuffer) {
    auto bm = Lookup<Bitmap>(hbm, Kind::Bitmap);
    if (!bm || !pBuffer) return FALSE;
    *pBuffer = bm->pixels;
    return TRUE;
}

} // namespace host
