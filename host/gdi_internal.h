// Internals of the drawing service shared by its source files: the handle table, the
// objects behind the handles, pixel formats and the per-call drawing target.
#pragma once

#include "host/gdi.h"
#include "host/rect.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace host::gdi {

// The host's rectangle toolkit, under the short names the drawing code uses.
using rect::Intersect;
using rect::IsEmpty;
using rect::Normalized;
using rect::Offset;
using rect::Saturate;
using rect::Union;

// ---------------------------------------------------------------------------------------
// Regions: rectangles in y-x bands. Rectangles of one band share top and bottom, are
// sorted by left and neither touch nor overlap; bands are sorted by top, do not overlap,
// and two touching bands never hold the same spans (they are merged).

class Region {
public:
    Region() = default;
    explicit Region(const RECT& rc);
    static Region FromRects(const RECT* prc, std::size_t c);

    const std::vector<RECT>& Rects() const { return rects_; }
    bool IsEmpty() const { return rects_.empty(); }
    RECT Box() const;
    int Type() const; // NULLREGION, SIMPLEREGION or COMPLEXREGION

    Region Combine(const Region& other, int mode) const;
    void Offset(LONG dx, LONG dy);
    bool Contains(LONG x, LONG y) const;
    bool Intersects(const RECT& rc) const;
    bool operator==(const Region& other) const;

private:
    std::vector<RECT> rects_;
};

// ---------------------------------------------------------------------------------------
// Objects and handles

enum class Kind : DWORD {
    Pen = OBJ_PEN,
    Brush = OBJ_BRUSH,
    Dc = OBJ_DC,
    Palette = OBJ_PAL,
    Font = OBJ_FONT,
    Bitmap = OBJ_BITMAP,
    Region = OBJ_REGION,
};

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    const Kind kind;
    bool fStock = false;
    void* handle = nullptr; // stays the same after deletion, for SelectObject's result
};

// Gives the object a new handle (never reused) and returns it.
void* Register(std::shared_ptr<Object> object);
// The live object behind a handle, or null.
std::shared_ptr<Object> Lookup(const void* h);
template <class T> std::shared_ptr<T> Lookup(const void* h, Kind kind) {
    std::shared_ptr<Object> object = Lookup(h);
    if (!object || object->kind != kind) return nullptr;
    return std::static_pointer_cast<T>(object);
}
// Removes the handle; the object lives on while something still holds it.
bool Unregister(const void* h);

struct RegionObject : Object {
    RegionObject() : Object(Kind::Region) {}
    Region region;
};

struct Brush : Object {
    Brush() : Object(Kind::Brush) {}
    bool fNull = false;
    COLORREF cr = 0;
    // A pattern brush: cxPattern x cyPattern colours, row by row. A monochrome pattern keeps
    // its bits (0 or 1) instead, which take the context's colours when it is drawn.
    std::vector<COLORREF> pattern;
    LONG cxPattern = 0, cyPattern = 0;
    bool fMonoPattern = false;
    void* hbmPattern = nullptr; // for GetObject
};

struct Pen : Object {
    Pen() : Object(Kind::Pen) {}
    int style = PS_SOLID;
    int width = 1;
    COLORREF cr = 0;
};

struct Palette : Object {
    Palette() : Object(Kind::Palette) {}
    std::vector<PALETTEENTRY> entries;
};

struct Bitmap : Object, Surface {
    Bitmap() : Object(Kind::Bitmap) {}
    PixelBuffer GetPixels() override { return pixels; }

    PixelBuffer pixels;
    std::unique_ptr<BYTE[]> storage;
    std::array<RGBQUAD, 256> colors{};
    bool fDibSection = false;
    BITMAPINFOHEADER header{};   // as created, for GetObject
    struct Dc* pOwner = nullptr; // the memory context it is selected into
};

// What the font code keeps for a font (faces, sizes, glyphs).
struct FontData;

struct Font : Object {
    Font(); // both in the font code, which knows FontData
    ~Font() override;
    LOGFONTW lf{};
    std::unique_ptr<FontData> data;
};

struct DcState {
    std::shared_ptr<Bitmap> bitmap;
    std::shared_ptr<Brush> brush;
    std::shared_ptr<Pen> pen;
    std::shared_ptr<Font> font;
    std::shared_ptr<Palette> palette;
    COLORREF crText = RGB(0, 0, 0);
    COLORREF crBk = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    int stretchMode = BLACKONWHITE;
    UINT textAlign = TA_LEFT | TA_TOP;
    int polyFillMode = ALTERNATE;
    POINT pos{0, 0};
    POINT viewport{0, 0};
    std::optional<Region> clip; // device coordinates
};

struct Dc : Object {
    Dc() : Object(Kind::Dc) {}
    bool fMemory = true;
    Surface* pSurface = nullptr; // surface contexts
    POINT origin{0, 0};
    std::optional<Region> visible; // surface coordinates
    DcState st;
    std::vector<DcState> saved;

    Surface* Target() { return fMemory ? st.bitmap.get() : pSurface; }
    // Clip rectangles in surface coordinates for a surface of cx x cy pixels.
    const std::vector<RECT>& ClipRects(LONG cx, LONG cy);
    void InvalidateClip() { clipValid_ = false; }

private:
    std::vector<RECT> clip_;
    LONG cxClip_ = -1, cyClip_ = -1;
    bool clipValid_ = false;
};

std::shared_ptr<Brush> StockBrush(int i);
std::shared_ptr<Pen> StockPen(int i);
std::shared_ptr<Font> StockFont(int i);
std::shared_ptr<Palette> StockPalette();
std::shared_ptr<Bitmap> StockBitmap(); // the 1 x 1 monochrome bitmap of new memory contexts

// The font of a new context.
std::shared_ptr<Font> DefaultFont();
// GetObject of a font.
int GetFontObject(Font& font, int cb, void* pv);

// ---------------------------------------------------------------------------------------
// Pixel formats

struct Format {
    UINT nDepth = 0;
    bool fIndexed = false;
    bool fMono = false; // monochrome device bitmap
    DWORD mask[3]{};    // red, green, blue
    int shift[3]{};
    int bits[3]{};
    DWORD valueMask = 0; // the bits a pixel value may use
    const RGBQUAD* pColors = nullptr;
    UINT cColors = 0;

    // FALSE for a buffer this code cannot draw on.
    bool Init(const PixelBuffer& px);
    COLORREF Decode(DWORD v) const;
    DWORD Encode(COLORREF cr) const; // nearest entry for indexed formats
    bool SameAs(const Format& other) const;
};

// Nearest colour-table entry by squared distance, lowest index on a tie.
UINT NearestIndex(const RGBQUAD* pColors, UINT cColors, COLORREF cr);
UINT NearestIndex(const PALETTEENTRY* pEntries, UINT cEntries, COLORREF cr);

// Bytes of a row of cx pixels, padded to 32 bits.
inline LONG RowBytes(LONG cx, UINT nDepth) {
    return static_cast<LONG>(((static_cast<int64_t>(cx) * nDepth + 31) / 32) * 4);
}

// Start of row y.
inline BYTE* RowPtr(const PixelBuffer& px, LONG y) {
    return px.pBits + static_cast<std::ptrdiff_t>(y) * px.cbPitch;
}

DWORD ReadPixel(const PixelBuffer& px, LONG x, LONG y);
void WritePixel(const PixelBuffer& px, LONG x, LONG y, DWORD v);
void ReadRow(const PixelBuffer& px, LONG x, LONG y, LONG n, DWORD* pOut);
void WriteRow(const PixelBuffer& px, LONG x, LONG y, LONG n, const DWORD* pIn);

// Remembers recent colour-to-value conversions, which for indexed formats search the table.
class EncodeCache {
public:
    explicit EncodeCache(const Format& format);
    DWORD Encode(COLORREF cr);

private:
    static constexpr int kSize = 1024;
    const Format& format_;
    std::array<DWORD, kSize> keys_;
    std::array<DWORD, kSize> values_;
};

// ---------------------------------------------------------------------------------------
// A context made ready for one drawing call

class Paint;

class Target {
public:
    // Fails (ok() false) for a bad handle or a surface that cannot be drawn on.
    explicit Target(HDC hdc);
    ~Target(); // reports the changed area to the surface
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    bool ok() const { return ok_; }
    Dc& dc() { return *dc_; }
    const PixelBuffer& px() const { return px_; }
    const Format& format() const { return format_; }
    const std::vector<RECT>& clip() const { return *clip_; }
    // Logical to surface coordinates.
    LONG dx() const { return dx_; }
    LONG dy() const { return dy_; }
    RECT ToSurface(const RECT& rc) const { return Offset(rc, dx_, dy_); }
    // Resolves PALETTEINDEX and PALETTERGB colours to plain ones.
    COLORREF Resolve(COLORREF cr) const;
    void Changed(const RECT& rcSurface);

    // Fills a surface rectangle, clipped, with a pixel value or a brush.
    void FillValue(const RECT& rcSurface, DWORD v);
    void FillPaint(const RECT& rcSurface, const Paint& paint);
    // Applies fn(value) to every pixel of the surface rectangle, clipped.
    template <class Fn> void Transform(const RECT& rcSurface, Fn fn);

private:
    // Writes every clipped row of the surface rectangle as makeRow(x, y, n, row) fills it.
    template <class MakeRow> void WriteRows(const RECT& rcSurface, MakeRow makeRow);

    std::shared_ptr<Dc> dc_;
    PixelBuffer px_;
    Format format_;
    const std::vector<RECT>* clip_ = nullptr;
    LONG dx_ = 0, dy_ = 0;
    RECT changed_{0, 0, 0, 0};
    bool ok_ = false;
};

template <class MakeRow> void Target::WriteRows(const RECT& rcSurface, MakeRow makeRow) {
    std::vector<DWORD> row;
    for (const RECT& rcClip : clip()) {
        RECT rc = Intersect(rcClip, rcSurface);
        if (IsEmpty(rc)) continue;
        LONG n = rc.right - rc.left;
        row.resize(n);
        for (LONG y = rc.top; y < rc.bottom; ++y) {
            makeRow(rc.left, y, n, row.data());
            WriteRow(px_, rc.left, y, n, row.data());
        }
        Changed(rc);
    }
}

template <class Fn> void Target::Transform(const RECT& rcSurface, Fn fn) {
    WriteRows(rcSurface, [&](LONG x, LONG y, LONG n, DWORD* pRow) {
        ReadRow(px_, x, y, n, pRow);
        for (LONG i = 0; i < n; ++i)
            pRow[i] = fn(pRow[i]) & format_.valueMask;
    });
}

// A brush made ready for one drawing call: its pixel values on the target. A pattern is
// laid from the surface's origin, so that separate fills line up.
class Paint {
public:
    Paint(Target& t, const Brush& brush);
    bool IsSolid() const { return values_.size() == 1; }
    DWORD Value() const { return values_[0]; } // of a solid brush
    // The values of n pixels from surface (x, y) rightwards.
    void Row(LONG x, LONG y, LONG n, DWORD* pOut) const;

private:
    std::vector<DWORD> values_;
    LONG cx_ = 1, cy_ = 1;
};

} // namespace host::gdi
