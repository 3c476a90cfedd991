// Blits and single pixels.
#include "host/gdi.h"
#include "host/gdi_internal.h"

#include <cstdint>
#include <cstring>
#include <optional>

namespace host {
namespace gdi {

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

// d = rop(p, s, d), bitwise; p holds the pattern's n values.
void CombineRow(BYTE rop, const DWORD* p, const DWORD* s, DWORD* d, LONG n, DWORD mask) {
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
        std::memcpy(d, p, n * sizeof(DWORD));
        break;
    case 0x55: // DSTINVERT
        for (LONG i = 0; i < n; ++i)
            d[i] = ~d[i] & mask;
        break;
    default:
        for (LONG i = 0; i < n; ++i) {
            DWORD r = 0, pv = p[i], sv = s ? s[i] : 0, dv = d[i];
            for (int k = 0; k < 8; ++k)
                if (rop & (1 << k))
                    r |= ((k & 4) ? pv : ~pv) & ((k & 2) ? sv : ~sv) & ((k & 1) ? dv : ~dv);
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
bool UsesPattern(BYTE rop) {
    return (((rop >> 4) ^ rop) & 0x0F) != 0;
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
    // pPaint null stands for the null brush, whose pattern is 0.
    // A key pixel is one whose colour bits (keyMask) equal the key.
    RowWriter(Target& dst, Converter* conv, BYTE rop, const Paint* pPaint, const DWORD* pKey,
              DWORD keyMask)
        : dst_(dst), conv_(conv), rop_(rop), pPaint_(pPaint), fKey_(pKey != nullptr),
          key_(pKey ? *pKey : 0), keyMask_(keyMask), fDest_(UsesDest(rop) || pKey),
          fSource_(UsesSource(rop)), fPattern_(UsesPattern(rop)) {}

    // src holds n raw source values (unused when the operation has no source); it is
    // overwritten.
    void Write(LONG x, LONG y, LONG n, DWORD* src) {
        const Format& f = dst_.format();
        d_.resize(n);
        p_.resize(n);
        if (fPattern_) {
            if (pPaint_)
                pPaint_->Row(x, y, n, p_.data());
            else
                std::fill(p_.begin(), p_.end(), 0);
        }
        if (fKey_) {
            skip_.resize(n);
            for (LONG i = 0; i < n; ++i)
                skip_[i] = (src[i] & keyMask_) == key_;
        }
        if (fSource_) conv_->Convert(src, n);
        if (fDest_) ReadRow(dst_.px(), x, y, n, d_.data());
        if (fKey_) {
            keep_.assign(d_.begin(), d_.end());
            CombineRow(rop_, p_.data(), fSource_ ? src : nullptr, d_.data(), n, f.valueMask);
            for (LONG i = 0; i < n; ++i)
                if (skip_[i]) d_[i] = keep_[i];
        } else {
            CombineRow(rop_, p_.data(), fSource_ ? src : nullptr, d_.data(), n, f.valueMask);
        }
        WriteRow(dst_.px(), x, y, n, d_.data());
    }

private:
    Target& dst_;
    Converter* conv_;
    BYTE rop_;
    const Paint* pPaint_;
    bool fKey_;
    DWORD key_;
    DWORD keyMask_;
    bool fDest_, fSource_, fPattern_;
    std::vector<DWORD> d_, keep_, p_;
    std::vector<char> skip_;
};

// Same-format colour-keyed copy of one row: the common case of sprites. Written as a
// select over whole rows so that the compiler can vectorise it.
template <class T> void KeyedRow(const BYTE* pSrc, BYTE* pDst, LONG n, DWORD key, DWORD keyMask) {
    const T k = static_cast<T>(key);
    const T m = static_cast<T>(keyMask);
    if (reinterpret_cast<std::uintptr_t>(pSrc) % alignof(T) == 0 &&
        reinterpret_cast<std::uintptr_t>(pDst) % alignof(T) == 0) {
        const T* s = reinterpret_cast<const T*>(pSrc);
        T* d = reinterpret_cast<T*>(pDst);
        for (LONG i = 0; i < n; ++i)
            d[i] = (s[i] & m) == k ? d[i] : s[i];
        return;
    }
    for (LONG i = 0; i < n; ++i) {
        T v;
        std::memcpy(&v, pSrc + i * sizeof(T), sizeof(T));
        if ((v & m) != k) std::memcpy(pDst + i * sizeof(T), &v, sizeof(T));
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
    std::optional<Paint> paint;
    if (!brush.fNull) paint.emplace(dst, brush);
    const Paint* pPaint = paint ? &*paint : nullptr;

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
        RowWriter writer(dst, nullptr, rop, pPaint, nullptr, 0);
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
    // Bits of a pixel outside its colour masks (the top byte at 32 bits) never decide
    // whether it is the key.
    const DWORD keyMask = sf.fIndexed ? sf.valueMask : (sf.mask[0] | sf.mask[1] | sf.mask[2]);
    DWORD key = a.fKey ? sf.Encode(src.Resolve(a.crKey)) & keyMask : 0;
    RowWriter writer(dst, &conv, a.fKey ? 0xCC : rop, pPaint, a.fKey ? &key : nullptr, keyMask);
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
                        KeyedRow<BYTE>(ps, pd, n, key, keyMask);
                    else if (bpp == 16)
                        KeyedRow<WORD>(ps, pd, n, key, keyMask);
                    else if (bpp == 24)
                        Keyed24(ps, pd, n, key);
                    else
                        KeyedRow<DWORD>(ps, pd, n, key, keyMask);
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
} // namespace gdi

using namespace gdi;

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
