// Bitmaps, pixel formats and blits.
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

inline BYTE* RowPtr(const PixelBuffer& px, LONG y) {
    return px.pBits + static_cast<std::ptrdiff_t>(y) * px.cbPitch;
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

// ---------------------------------------------------------------------------------------
// Blits

namespace {

// Turns source pixel values into destination pixel values.
class Converter {
public:
    Converter(const Format& dst, const Format& src, COLORREF crDstText, COLORREF crDstBk,
              COLORREF crSrcBk)
        : src_(src), cache_(dst) {
        if (src.fMono && dst.fMono) {
            mode_ = Mode::Identity;
        } else if (src.fMono) {
            // Monochrome to colour: 0 bits take the text colour, 1 bits the background.
            mode_ = Mode::Table;
            table_ = {dst.Encode(crDstText), dst.Encode(crDstBk)};
        } else if (dst.fMono) {
            // Colour to monochrome: the source background colour becomes 1, all else 0.
            mode_ = Mode::ToMono;
            srcBk_ = src.Encode(crSrcBk);
        } else if (src.SameAs(dst)) {
            mode_ = Mode::Identity;
        } else if (src.fIndexed) {
            mode_ = Mode::Table;
            table_.resize(std::size_t{1} << src.nDepth);
            for (DWORD i = 0; i < table_.size(); ++i)
                table_[i] = dst.Encode(src.Decode(i));
        } else if (!dst.fIndexed) {
            // Direct to direct: each channel converts on its own, through a small table.
            mode_ = Mode::Channels;
            for (int c = 0; c < 3; ++c) {
                channels_[c].resize(std::size_t{1} << src.bits[c]);
                for (DWORD v = 0; v < channels_[c].size(); ++v) {
                    DWORD level = (v << (8 - src.bits[c])) & 0xFF;
                    channels_[c][v] = (level >> (8 - dst.bits[c])) << dst.shift[c];
                }
            }
        } else {
            mode_ = Mode::Colour;
        }
    }

    bool IsIdentity() const { return mode_ == Mode::Identity; }

    void Convert(DWORD* p, LONG n) {
        switch (mode_) {
        case Mode::Identity:
            break;
        case Mode::Table:
            for (LONG i = 0; i < n; ++i)
                p[i] = table_[p[i] & (table_.size() - 1)];
            break;
        case Mode::ToMono:
            for (LONG i = 0; i < n; ++i)
                p[i] = (p[i] & src_.valueMask) == srcBk_ ? 1 : 0;
            break;
        case Mode::Channels:
            for (LONG i = 0; i < n; ++i) {
                DWORD v = p[i];
                p[i] = channels_[0][(v & src_.mask[0]) >> src_.shift[0]] |
                       channels_[1][(v & src_.mask[1]) >> src_.shift[1]] |
                       channels_[2][(v & src_.mask[2]) >> src_.shift[2]];
            }
            break;
        case Mode::Colour:
            for (LONG i = 0; i < n; ++i)
                p[i] = cache_.Encode(src_.Decode(p[i]));
            break;
        }
    }

private:
    enum class Mode { Identity, Table, ToMono, Channels, Colour };
    const Format& src_;
    EncodeCache cache_;
    Mode mode_ = Mode::Identity;
    std::vector<DWORD> table_;
    std::vector<DWORD> channels_[3];
    DWORD srcBk_ = 0;
};

// d = rop(p, s, d), bitwise.
void CombineRow(BYTE rop, DWORD p, const DWORD* s, DWORD* d, LONG n, DWORD mask) {
    switch (rop) {
    case 0xCC: // SRCCOPY
        std::memcpy(d, s, n * sizeof(DWORD));
        break;
    case 0x88: // SRCAND
        for (LONG i = 0; i < n; ++i)
            d[i] &= s[i];
        break;
    case 0xEE: // SRCPAINT
        for (LONG i = 0; i < n; ++i)
            d[i] |= s[i];
        break;
    case 0x66: // SRCINVERT
        for (LONG i = 0; i < n; ++i)
            d[i] ^= s[i];
        break;
    case 0x33: // NOTSRCCOPY
        for (LONG i = 0; i < n; ++i)
            d[i] = ~s[i] & mask;
        break;
    case 0x00:
        std::fill(d, d + n, 0);
        break;
    case 0xFF:
        std::fill(d, d + n, mask);
        break;
    case 0xF0: // PATCOPY
        std::fill(d, d + n, p);
        break;
    case 0x55: // DSTINVERT
        for (LONG i = 0; i < n; ++i)
            d[i] = ~d[i] & mask;
        break;
    default:
        for (LONG i = 0; i < n; ++i) {
            DWORD r = 0, sv = s ? s[i] : 0, dv = d[i];
            for (int k = 0; k < 8; ++k)
                if (rop & (1 << k))
                    r |= ((k & 4) ? p : ~p) & ((k & 2) ? sv : ~sv) & ((k & 1) ? dv : ~dv);
            d[i] = r & mask;
        }
        break;
    }
}

bool UsesSource(BYTE rop) {
    return (((rop >> 2) ^ rop) & 0x33) != 0;
}
bool UsesDest(BYTE rop) {
    return (((rop >> 1) ^ rop) & 0x55) != 0;
}

// Copy of a source area when source and destination share pixel memory.
struct AreaCopy {
    std::unique_ptr<BYTE[]> storage;
    PixelBuffer px;
};

AreaCopy CopyArea(const PixelBuffer& src, const RECT& rc) {
    AreaCopy copy;
    copy.px = src;
    copy.px.cx = rc.right - rc.left;
    copy.px.cy = rc.bottom - rc.top;
    copy.px.cbPitch = RowBytes(copy.px.cx, src.nDepth);
    copy.storage.reset(new BYTE[static_cast<std::size_t>(copy.px.cbPitch) * copy.px.cy]);
    copy.px.pBits = copy.storage.get();
    std::vector<DWORD> row(copy.px.cx);
    for (LONG y = 0; y < copy.px.cy; ++y) {
        ReadRow(src, rc.left, rc.top + y, copy.px.cx, row.data());
        WriteRow(copy.px, 0, y, copy.px.cx, row.data());
    }
    return copy;
}

// Writes one row of source values (raw, in the source's format) into the destination,
// through the conversion, the colour key and the raster operation.
class RowWriter {
public:
    RowWriter(Target& dst, Converter* conv, BYTE rop, DWORD pattern, const DWORD* pKey)
        : dst_(dst), conv_(conv), rop_(rop), pattern_(pattern), fKey_(pKey != nullptr),
          key_(pKey ? *pKey : 0), fDest_(UsesDest(rop) || pKey), fSource_(UsesSource(rop)) {}

    // src holds n raw source values (unused when the operation has no source); it is
    // overwritten.
    void Write(LONG x, LONG y, LONG n, DWORD* src) {
        const Format& f = dst_.format();
        d_.resize(n);
        if (fKey_) {
            skip_.resize(n);
            for (LONG i = 0; i < n; ++i)
                skip_[i] = src[i] == key_;
        }
        if (fSource_) conv_->Convert(src, n);
        if (fDest_) ReadRow(dst_.px(), x, y, n, d_.data());
        if (fKey_) {
            keep_.assign(d_.begin(), d_.end());
            CombineRow(rop_, pattern_, fSource_ ? src : nullptr, d_.data(), n, f.valueMask);
            for (LONG i = 0; i < n; ++i)
                if (skip_[i]) d_[i] = keep_[i];
        } else {
            CombineRow(rop_, pattern_, fSource_ ? src : nullptr, d_.data(), n, f.valueMask);
        }
        WriteRow(dst_.px(), x, y, n, d_.data());
    }

private:
    Target& dst_;
    Converter* conv_;
    BYTE rop_;
    DWORD pattern_;
    bool fKey_;
    DWORD key_;
    bool fDest_, fSource_;
    std::vector<DWORD> d_, keep_;
    std::vector<char> skip_;
};

// Same-format colour-keyed copy of one row: the common case of sprites. Written as a
// select over whole rows so that the compiler can vectorise it.
template <class T> void KeyedRow(const BYTE* pSrc, BYTE* pDst, LONG n, DWORD key) {
    const T k = static_cast<T>(key);
    if (reinterpret_cast<std::uintptr_t>(pSrc) % alignof(T) == 0 &&
        reinterpret_cast<std::uintptr_t>(pDst) % alignof(T) == 0) {
        const T* s = reinterpret_cast<const T*>(pSrc);
        T* d = reinterpret_cast<T*>(pDst);
        for (LONG i = 0; i < n; ++i)
            d[i] = s[i] == k ? d[i] : s[i];
        return;
    }
    for (LONG i = 0; i < n; ++i) {
        T v;
        std::memcpy(&v, pSrc + i * sizeof(T), sizeof(T));
        if (v != k) std::memcpy(pDst + i * sizeof(T), &v, sizeof(T));
    }
}

void Keyed24(const BYTE* pSrc, BYTE* pDst, LONG n, DWORD key) {
    for (LONG i = 0; i < n; ++i, pSrc += 3, pDst += 3)
        if ((pSrc[0] | (pSrc[1] << 8) | (pSrc[2] << 16)) != static_cast<int>(key))
            std::memcpy(pDst, pSrc, 3);
}

struct BlitArgs {
    HDC hdcDest;
    int x, y, w, h;
    HDC hdcSrc;
    int xs, ys, ws, hs;
    DWORD rop;
    bool fKey;
    COLORREF crKey;
};

BOOL DoBlit(const BlitArgs& a) {
    Target dst(a.hdcDest);
    if (!dst.ok()) return FALSE;
    BYTE rop = static_cast<BYTE>(a.rop >> 16);
    bool fSource = UsesSource(rop) || a.fKey;
    if (a.w == 0 || a.h == 0 || (fSource && (a.ws == 0 || a.hs == 0))) return TRUE;

    Dc& dc = dst.dc();
    const Brush& brush = *dc.st.brush;
    DWORD pattern = brush.fNull ? 0 : BrushValue(dst, brush);

    // Areas, normalised; a negative extent mirrors. Computed wide: callers pass any int.
    using I64 = std::int64_t;
    auto norm = [](int pos, int ext, I64* pStart, I64* pCount) {
        *pStart = ext < 0 ? I64{pos} + ext + 1 : pos;
        *pCount = ext < 0 ? -I64{ext} : ext;
        return ext < 0;
    };
    auto rect = [](I64 l, I64 t, I64 r, I64 b) {
        return RECT{Saturate(l), Saturate(t), Saturate(r), Saturate(b)};
    };
    I64 dl, dn, dt, dm;
    bool flipDx = norm(a.x, a.w, &dl, &dn);
    bool flipDy = norm(a.y, a.h, &dt, &dm);
    dl += dst.dx();
    dt += dst.dy();
    RECT rcDst = rect(dl, dt, dl + dn, dt + dm);

    if (!fSource) {
        std::vector<DWORD> none;
        RowWriter writer(dst, nullptr, rop, pattern, nullptr);
        for (const RECT& rcClip : dst.clip()) {
            RECT rc = Intersect(rcClip, rcDst);
            if (IsEmpty(rc)) continue;
            none.resize(rc.right - rc.left);
            for (LONG y = rc.top; y < rc.bottom; ++y)
                writer.Write(rc.left, y, rc.right - rc.left, none.data());
            dst.Changed(rc);
        }
        return TRUE;
    }

    Target src(a.hdcSrc);
    if (!src.ok()) return FALSE;
    I64 sl, sn, st, sm;
    bool flipSx = norm(a.xs, a.ws, &sl, &sn);
    bool flipSy = norm(a.ys, a.hs, &st, &sm);
    sl += src.dx();
    st += src.dy();
    const bool mirrorX = flipDx != flipSx, mirrorY = flipDy != flipSy;
    const bool fScaled = dn != sn || dm != sm || mirrorX || mirrorY;

    // Source pixels come from the surface, or from a copy when it is also the destination.
    RECT rcSrcArea = Intersect(rect(sl, st, sl + sn, st + sm), {0, 0, src.px().cx, src.px().cy});
    if (IsEmpty(rcSrcArea)) return TRUE;
    PixelBuffer srcPx = src.px();
    AreaCopy copy;
    if (srcPx.pBits == dst.px().pBits) {
        copy = CopyArea(srcPx, rcSrcArea);
        srcPx = copy.px;
        sl -= rcSrcArea.left;
        st -= rcSrcArea.top;
        rcSrcArea = Offset(rcSrcArea, -rcSrcArea.left, -rcSrcArea.top);
    }

    const Format& sf = src.format();
    Converter conv(dst.format(), sf, dst.Resolve(dc.st.crText), dst.Resolve(dc.st.crBk),
                   src.Resolve(src.dc().st.crBk));
    DWORD key = a.fKey ? sf.Encode(src.Resolve(a.crKey)) : 0;
    RowWriter writer(dst, &conv, a.fKey ? 0xCC : rop, pattern, a.fKey ? &key : nullptr);
    std::vector<DWORD> row;

    if (!fScaled) {
        // Only the part whose source lies on the source surface is drawn.
        const I64 ox = sl - dl, oy = st - dt;
        rcDst = Intersect(rcDst, rect(rcSrcArea.left - ox, rcSrcArea.top - oy, rcSrcArea.right - ox,
                                      rcSrcArea.bottom - oy));
        const UINT bpp = dst.format().nDepth;
        const bool fRaw = conv.IsIdentity() && bpp >= 8 && (rop == 0xCC || a.fKey);
        for (const RECT& rcClip : dst.clip()) {
            RECT rc = Intersect(rcClip, rcDst);
            if (IsEmpty(rc)) continue;
            const LONG n = rc.right - rc.left;
            const LONG xs = static_cast<LONG>(rc.left + ox);
            for (LONG y = rc.top; y < rc.bottom; ++y) {
                const LONG ys = static_cast<LONG>(y + oy);
                if (fRaw) {
                    const BYTE* ps =
                        RowPtr(srcPx, ys) + static_cast<std::ptrdiff_t>(xs) * (bpp / 8);
                    BYTE* pd =
                        RowPtr(dst.px(), y) + static_cast<std::ptrdiff_t>(rc.left) * (bpp / 8);
                    if (!a.fKey)
                        std::memmove(pd, ps, static_cast<std::size_t>(n) * (bpp / 8));
                    else if (bpp == 8)
                        KeyedRow<BYTE>(ps, pd, n, key);
                    else if (bpp == 16)
                        KeyedRow<WORD>(ps, pd, n, key);
                    else if (bpp == 24)
                        Keyed24(ps, pd, n, key);
                    else
                        KeyedRow<DWORD>(ps, pd, n, key);
                    continue;
                }
                row.resize(n);
                ReadRow(srcPx, xs, ys, n, row.data());
                writer.Write(rc.left, y, n, row.data());
            }
            dst.Changed(rc);
        }
        return TRUE;
    }

    // Scaled: each destination pixel takes the source pixel under its centre. The mapping
    // covers only the columns that can be drawn.
    const RECT rcVisible = Intersect(rcDst, {0, 0, dst.px().cx, dst.px().cy});
    if (IsEmpty(rcVisible)) return TRUE;
    auto source = [](I64 i, I64 count, I64 srcCount, I64 srcStart, bool fMirror) {
        I64 j = (2 * i + 1) * srcCount / (2 * count);
        return srcStart + (fMirror ? srcCount - 1 - j : j);
    };
    std::vector<LONG> mapX(rcVisible.right - rcVisible.left);
    for (LONG x = rcVisible.left; x < rcVisible.right; ++x) {
        I64 xs = source(x - dl, dn, sn, sl, mirrorX);
        mapX[x - rcVisible.left] =
            xs >= rcSrcArea.left && xs < rcSrcArea.right ? static_cast<LONG>(xs) : -1;
    }
    std::vector<DWORD> srcRow(rcSrcArea.right - rcSrcArea.left);
    for (const RECT& rcClip : dst.clip()) {
        RECT rc = Intersect(rcClip, rcVisible);
        if (IsEmpty(rc)) continue;
        for (LONG y = rc.top; y < rc.bottom; ++y) {
            I64 ys = source(y - dt, dm, sm, st, mirrorY);
            if (ys < rcSrcArea.top || ys >= rcSrcArea.bottom) continue;
            ReadRow(srcPx, rcSrcArea.left, static_cast<LONG>(ys), static_cast<LONG>(srcRow.size()),
                    srcRow.data());
            // Runs of destination pixels whose source lies on the source surface.
            LONG x = rc.left;
            while (x < rc.right) {
                if (mapX[x - rcVisible.left] < 0) {
                    ++x;
                    continue;
                }
                LONG x0 = x;
                row.clear();
                for (; x < rc.right && mapX[x - rcVisible.left] >= 0; ++x)
                    row.push_back(srcRow[mapX[x - rcVisible.left] - rcSrcArea.left]);
                writer.Write(x0, y, x - x0, row.data());
            }
        }
        dst.Changed(rc);
    }
    return TRUE;
}

} // namespace

BOOL BitBlt(HDC hdcDest, int xDest, int yDest, int w, int h, HDC hdcSrc, int xSrc, int ySrc,
            DWORD rop) {
    if (w < 0 || h < 0) return FALSE;
    return DoBlit({hdcDest, xDest, yDest, w, h, hdcSrc, xSrc, ySrc, w, h, rop, false, 0});
}

BOOL StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc,
                int ySrc, int wSrc, int hSrc, DWORD rop) {
    return DoBlit(
        {hdcDest, xDest, yDest, wDest, hDest, hdcSrc, xSrc, ySrc, wSrc, hSrc, rop, false, 0});
}

BOOL TransparentBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc,
                    int ySrc, int wSrc, int hSrc, UINT crTransparent) {
    if (wDest < 0 || hDest < 0 || wSrc < 0 || hSrc < 0) return FALSE;
    return DoBlit({hdcDest, xDest, yDest, wDest, hDest, hdcSrc, xSrc, ySrc, wSrc, hSrc, SRCCOPY,
                   true, crTransparent});
}

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
    if (UsesSource(static_cast<BYTE>(rop >> 16))) return FALSE;
    return DoBlit({hdc, x, y, w, h, nullptr, 0, 0, w, h, rop, false, 0});
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    Target t(hdc);
    if (!t.ok()) return CLR_INVALID;
    LONG xs = x + t.dx(), ys = y + t.dy();
    for (const RECT& rc : t.clip())
        if (xs >= rc.left && xs < rc.right && ys >= rc.top && ys < rc.bottom)
            return t.format().Decode(ReadPixel(t.px(), xs, ys));
    return CLR_INVALID;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF cr) {
    Target t(hdc);
    if (!t.ok()) return CLR_INVALID;
    LONG xs = x + t.dx(), ys = y + t.dy();
    DWORD v = t.format().Encode(t.Resolve(cr));
    for (const RECT& rc : t.clip()) {
        if (xs >= rc.left && xs < rc.right && ys >= rc.top && ys < rc.bottom) {
            WritePixel(t.px(), xs, ys, v);
            t.Changed({xs, ys, xs + 1, ys + 1});
            return t.format().Decode(v);
        }
    }
    return CLR_INVALID;
}

} // namespace host
