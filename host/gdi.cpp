// Drawing objects and their handles, device contexts, system colours and palettes.
#include "host/gdi.h"
#include "host/gdi_internal.h"
#include "host/handle.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace host {
namespace gdi {

// ---------------------------------------------------------------------------------------
// Handles: from the host's table, so a stale handle finds nothing. That table is never
// destroyed: stock objects and late deletions may outlive static destructors.

void* Register(std::shared_ptr<Object> object) {
    void* h = handles::Add(HandleKind::GdiObject, object);
    object->handle = h;
    return h;
}

std::shared_ptr<Object> Lookup(const void* h) {
    return handles::Lookup<Object>(h, HandleKind::GdiObject);
}

bool Unregister(const void* h) {
    return handles::Remove<Object>(h, HandleKind::GdiObject) != nullptr;
}

// ---------------------------------------------------------------------------------------
// Stock objects

namespace {

template <class T> std::shared_ptr<T> MakeStock(std::shared_ptr<T> object) {
    object->fStock = true;
    Register(object);
    return object;
}

std::shared_ptr<Brush> MakeBrush(bool fNull, COLORREF cr) {
    auto brush = std::make_shared<Brush>();
    brush->fNull = fNull;
    brush->cr = cr;
    return brush;
}

std::shared_ptr<Pen> MakePen(int style, COLORREF cr) {
    auto pen = std::make_shared<Pen>();
    pen->style = style;
    pen->cr = cr;
    return pen;
}

// Classic defaults.
constexpr COLORREF kSysColors[COLOR_COUNT] = {
    RGB(192, 192, 192), // scroll bar
    RGB(0, 128, 128),   // desktop
    RGB(0, 0, 128),     // active caption
    RGB(128, 128, 128), // inactive caption
    RGB(192, 192, 192), // menu
    RGB(255, 255, 255), // window
    RGB(0, 0, 0),       // window frame
    RGB(0, 0, 0),       // menu text
    RGB(0, 0, 0),       // window text
    RGB(255, 255, 255), // caption text
    RGB(192, 192, 192), // active border
    RGB(192, 192, 192), // inactive border
    RGB(128, 128, 128), // application workspace
    RGB(0, 0, 128),     // highlight
    RGB(255, 255, 255), // highlight text
    RGB(192, 192, 192), // button face
    RGB(128, 128, 128), // button shadow
    RGB(128, 128, 128), // grey text
    RGB(0, 0, 0),       // button text
    RGB(192, 192, 192), // inactive caption text
    RGB(255, 255, 255), // button highlight
    RGB(0, 0, 0),       // 3-D dark shadow
    RGB(223, 223, 223), // 3-D light
    RGB(0, 0, 0),       // tooltip text
    RGB(255, 255, 225), // tooltip background
    RGB(192, 192, 192), // static background
    RGB(0, 0, 0),       // static text
};

struct StaticColor {
    int i;
    BYTE r, g, b;
};
constexpr StaticColor kStaticColors[20] = {
    {0, 0, 0, 0},         {1, 128, 0, 0},     {2, 0, 128, 0},       {3, 128, 128, 0},
    {4, 0, 0, 128},       {5, 128, 0, 128},   {6, 0, 128, 128},     {7, 192, 192, 192},
    {8, 192, 220, 192},   {9, 166, 202, 240}, {246, 255, 251, 240}, {247, 160, 160, 164},
    {248, 128, 128, 128}, {249, 255, 0, 0},   {250, 0, 255, 0},     {251, 255, 255, 0},
    {252, 0, 0, 255},     {253, 255, 0, 255}, {254, 0, 255, 255},   {255, 255, 255, 255},
};

struct SystemPalette {
    std::mutex mutex;
    std::array<PALETTEENTRY, 256> entries{};
    SystemPalette() {
        for (const StaticColor& c : kStaticColors)
            entries[c.i] = {c.r, c.g, c.b, 0};
        int i = 10;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    entries[i++] = {BYTE(r * 51), BYTE(g * 51), BYTE(b * 51), 0};
        for (int k = 1; k <= 20; ++k) {
            BYTE v = BYTE(k * 255 / 21);
            entries[i++] = {v, v, v, 0};
        }
    }
};

SystemPalette& TheSystemPalette() {
    static SystemPalette* palette = new SystemPalette;
    return *palette;
}

struct DisplayState {
    std::mutex mutex;
    DisplayFormat format;
};

DisplayState& Display() {
    static DisplayState* state = new DisplayState;
    return *state;
}

} // namespace

std::shared_ptr<Brush> StockBrush(int i) {
    static const std::array<std::shared_ptr<Brush>, 6> brushes = {
        MakeStock(MakeBrush(false, RGB(255, 255, 255))),
        MakeStock(MakeBrush(false, RGB(192, 192, 192))),
        MakeStock(MakeBrush(false, RGB(128, 128, 128))),
        MakeStock(MakeBrush(false, RGB(64, 64, 64))),
        MakeStock(MakeBrush(false, RGB(0, 0, 0))),
        MakeStock(MakeBrush(true, 0)),
    };
    return i >= 0 && i < 6 ? brushes[i] : nullptr;
}

std::shared_ptr<Pen> StockPen(int i) {
    static const std::array<std::shared_ptr<Pen>, 3> pens = {
        MakeStock(MakePen(PS_SOLID, RGB(255, 255, 255))),
        MakeStock(MakePen(PS_SOLID, RGB(0, 0, 0))),
        MakeStock(MakePen(PS_NULL, 0)),
    };
    return i >= WHITE_PEN && i <= NULL_PEN ? pens[i - WHITE_PEN] : nullptr;
}

std::shared_ptr<Palette> StockPalette() {
    static const std::shared_ptr<Palette> palette = [] {
        auto p = std::make_shared<Palette>();
        for (const StaticColor& c : kStaticColors)
            p->entries.push_back({c.r, c.g, c.b, 0});
        return MakeStock(p);
    }();
    return palette;
}

std::shared_ptr<Bitmap> StockBitmap() {
    static const std::shared_ptr<Bitmap> bitmap = [] {
        HBITMAP hbm = CreateBitmap(1, 1, 1, 1, nullptr);
        auto bm = Lookup<Bitmap>(hbm, Kind::Bitmap);
        bm->fStock = true;
        return bm;
    }();
    return bitmap;
}

std::shared_ptr<Font> DefaultFont() {
    return StockFont(SYSTEM_FONT);
}

// ---------------------------------------------------------------------------------------
// Device contexts

const std::vector<RECT>& Dc::ClipRects(LONG cx, LONG cy) {
    if (clipValid_ && cx == cxClip_ && cy == cyClip_) return clip_;
    Region region(RECT{0, 0, cx, cy});
    if (visible) region = region.Combine(*visible, RGN_AND);
    if (st.clip) {
        Region clip = *st.clip;
        clip.Offset(origin.x, origin.y);
        region = region.Combine(clip, RGN_AND);
    }
    clip_ = region.Rects();
    cxClip_ = cx;
    cyClip_ = cy;
    clipValid_ = true;
    return clip_;
}

namespace {

std::shared_ptr<Dc> GetDc(HDC hdc) {
    return Lookup<Dc>(hdc, Kind::Dc);
}

// A bitmap stays owned by a context while the context holds it in any state.
void ReleaseBitmap(Dc& dc, const std::shared_ptr<Bitmap>& bitmap) {
    if (!bitmap || bitmap->pOwner != &dc) return;
    if (dc.st.bitmap == bitmap) return;
    for (const DcState& s : dc.saved)
        if (s.bitmap == bitmap) return;
    bitmap->pOwner = nullptr;
}

void InitState(DcState& st) {
    st = DcState{};
    st.brush = StockBrush(WHITE_BRUSH);
    st.pen = StockPen(BLACK_PEN);
    st.font = DefaultFont();
    st.palette = StockPalette();
}

HDC NewDc(std::shared_ptr<Dc> dc) {
    InitState(dc->st);
    return static_cast<HDC>(Register(dc));
}

} // namespace

// ---------------------------------------------------------------------------------------
// The per-call target

Target::Target(HDC hdc) : dc_(GetDc(hdc)) {
    if (!dc_) return;
    Surface* surface = dc_->Target();
    if (!surface) return;
    px_ = surface->GetPixels();
    if (!format_.Init(px_)) return;
    clip_ = &dc_->ClipRects(px_.cx, px_.cy);
    dx_ = dc_->origin.x + dc_->st.viewport.x;
    dy_ = dc_->origin.y + dc_->st.viewport.y;
    ok_ = true;
}

Target::~Target() {
    if (ok_ && !IsEmpty(changed_) && !dc_->fMemory) dc_->pSurface->Changed(changed_);
}

void Target::Changed(const RECT& rcSurface) {
    changed_ = Union(changed_, rcSurface);
}

COLORREF Target::Resolve(COLORREF cr) const {
    if ((cr >> 24) == 0x01) {
        const std::vector<PALETTEENTRY>& entries = dc_->st.palette->entries;
        UINT i = cr & 0xFFFF;
        if (i >= entries.size()) i = 0;
        return entries.empty() ? 0 : RGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue);
    }
    return cr & 0x00FFFFFF;
}

void Target::FillValue(const RECT& rcSurface, DWORD v) {
    for (const RECT& rcClip : clip()) {
        RECT rc = Intersect(rcClip, rcSurface);
        if (IsEmpty(rc)) continue;
        LONG n = rc.right - rc.left;
        if (format_.nDepth >= 8) {
            for (LONG y = rc.top; y < rc.bottom; ++y) {
                BYTE* p = px_.pBits + static_cast<std::ptrdiff_t>(y) * px_.cbPitch;
                switch (format_.nDepth) {
                case 8:
                    std::memset(p + rc.left, static_cast<int>(v), n);
                    break;
                case 16: {
                    auto* q = reinterpret_cast<WORD*>(p) + rc.left;
                    std::fill(q, q + n, static_cast<WORD>(v));
                    break;
                }
                case 24:
                    for (BYTE* q = p + rc.left * 3; q < p + rc.right * 3; q += 3) {
                        q[0] = BYTE(v);
                        q[1] = BYTE(v >> 8);
                        q[2] = BYTE(v >> 16);
                    }
                    break;
                default: {
                    auto* q = reinterpret_cast<DWORD*>(p) + rc.left;
                    std::fill(q, q + n, v);
                    break;
                }
                }
            }
        } else {
            std::vector<DWORD> row(n, v);
            for (LONG y = rc.top; y < rc.bottom; ++y)
                WriteRow(px_, rc.left, y, n, row.data());
        }
        Changed(rc);
    }
}

void Target::FillPaint(const RECT& rcSurface, const Paint& paint) {
    if (paint.IsSolid()) return FillValue(rcSurface, paint.Value());
    WriteRows(rcSurface,
              [&paint](LONG x, LONG y, LONG n, DWORD* pRow) { paint.Row(x, y, n, pRow); });
}

Paint::Paint(Target& t, const Brush& brush) {
    const Format& f = t.format();
    if (brush.pattern.empty()) {
        values_.push_back(f.Encode(t.Resolve(brush.cr)));
        return;
    }
    cx_ = brush.cxPattern;
    cy_ = brush.cyPattern;
    values_.resize(brush.pattern.size());
    if (brush.fMonoPattern) {
        // 0 bits take the text colour and 1 bits the background colour, as in a blit from
        // a monochrome bitmap; onto a monochrome surface the bits go as they are.
        DWORD v[2] = {f.Encode(t.Resolve(t.dc().st.crText)), f.Encode(t.Resolve(t.dc().st.crBk))};
        if (f.fMono) {
            v[0] = 0;
            v[1] = 1;
        }
        for (std::size_t i = 0; i < values_.size(); ++i)
            values_[i] = v[brush.pattern[i] & 1];
        return;
    }
    EncodeCache cache(f);
    for (std::size_t i = 0; i < values_.size(); ++i)
        values_[i] = cache.Encode(brush.pattern[i]);
}

void Paint::Row(LONG x, LONG y, LONG n, DWORD* pOut) const {
    if (IsSolid()) {
        std::fill(pOut, pOut + n, values_[0]);
        return;
    }
    const DWORD* row = values_.data() + static_cast<std::size_t>(((y % cy_) + cy_) % cy_) * cx_;
    LONG i = ((x % cx_) + cx_) % cx_;
    for (LONG k = 0; k < n; ++k) {
        pOut[k] = row[i];
        if (++i == cx_) i = 0;
    }
}

} // namespace gdi

using namespace gdi;

// ---------------------------------------------------------------------------------------
// Objects

HGDIOBJ GetStockObject(int i) {
    std::shared_ptr<Object> object;
    if (i >= WHITE_BRUSH && i <= NULL_BRUSH)
        object = StockBrush(i);
    else if (i >= WHITE_PEN && i <= NULL_PEN)
        object = StockPen(i);
    else if (i == DEFAULT_PALETTE)
        object = StockPalette();
    else
        object = StockFont(i);
    return object ? object->handle : nullptr;
}

BOOL DeleteObject(HGDIOBJ h) {
    std::shared_ptr<Object> object = Lookup(h);
    if (!object || object->kind == Kind::Dc) return FALSE;
    if (object->fStock) return TRUE;
    return Unregister(h) ? TRUE : FALSE;
}

DWORD GetObjectType(HGDIOBJ h) {
    std::shared_ptr<Object> object = Lookup(h);
    if (!object) return 0;
    if (object->kind == Kind::Dc) return static_cast<Dc&>(*object).fMemory ? OBJ_MEMDC : OBJ_DC;
    return static_cast<DWORD>(object->kind);
}

int GetObject(HGDIOBJ h, int cb, void* pv) {
    std::shared_ptr<Object> object = Lookup(h);
    if (!object) return 0;
    auto put = [&](const void* p, int cbRecord) {
        if (!pv) return cbRecord;
        if (cb < cbRecord) return 0;
        std::memcpy(pv, p, cbRecord);
        return cbRecord;
    };
    switch (object->kind) {
    case Kind::Bitmap: {
        auto& bm = static_cast<Bitmap&>(*object);
        DIBSECTION ds{};
        // The start of the memory and a positive pitch, whatever the row order.
        ds.dsBm = {0,
                   bm.pixels.cx,
                   bm.pixels.cy,
                   std::abs(bm.pixels.cbPitch),
                   1,
                   static_cast<WORD>(bm.pixels.nDepth),
                   bm.storage.get()};
        ds.dsBmih = bm.header;
        ds.dsBitfields[0] = bm.pixels.dwRedMask;
        ds.dsBitfields[1] = bm.pixels.dwGreenMask;
        ds.dsBitfields[2] = bm.pixels.dwBlueMask;
        if (bm.fDibSection && (!pv || cb >= static_cast<int>(sizeof(DIBSECTION))))
            return put(&ds, sizeof(DIBSECTION));
        return put(&ds.dsBm, sizeof(BITMAP));
    }
    case Kind::Brush: {
        auto& brush = static_cast<Brush&>(*object);
        LOGBRUSH lb{brush.fNull ? BS_NULL : BS_SOLID, brush.cr, 0};
        if (!brush.pattern.empty())
            lb = {BS_PATTERN, 0, reinterpret_cast<std::uintptr_t>(brush.hbmPattern)};
        return put(&lb, sizeof(lb));
    }
    case Kind::Pen: {
        auto& pen = static_cast<Pen&>(*object);
        LOGPEN lp{static_cast<UINT>(pen.style), {pen.width, 0}, pen.cr};
        return put(&lp, sizeof(lp));
    }
    case Kind::Palette: {
        WORD c = static_cast<WORD>(static_cast<Palette&>(*object).entries.size());
        return put(&c, sizeof(c));
    }
    case Kind::Font:
        return GetFontObject(static_cast<Font&>(*object), cb, pv);
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------------------
// Device contexts

HDC CreateCompatibleDC(HDC) {
    auto dc = std::make_shared<Dc>();
    HDC hdc = NewDc(dc);
    dc->st.bitmap = StockBitmap();
    return hdc;
}

HDC CreateSurfaceDC(Surface* pSurface, POINT ptOrigin, HRGN hrgnVisible) {
    if (!pSurface) return nullptr;
    auto dc = std::make_shared<Dc>();
    dc->fMemory = false;
    dc->pSurface = pSurface;
    dc->origin = ptOrigin;
    if (hrgnVisible) {
        auto rgn = Lookup<RegionObject>(hrgnVisible, Kind::Region);
        if (!rgn) return nullptr;
        dc->visible = rgn->region;
    }
    return NewDc(dc);
}

BOOL SetSurfaceDCOrigin(HDC hdc, POINT ptOrigin) {
    auto dc = GetDc(hdc);
    if (!dc || dc->fMemory) return FALSE;
    dc->origin = ptOrigin;
    dc->InvalidateClip();
    return TRUE;
}

BOOL SetSurfaceDCVisibleRgn(HDC hdc, HRGN hrgnVisible) {
    auto dc = GetDc(hdc);
    if (!dc || dc->fMemory) return FALSE;
    if (hrgnVisible) {
        auto rgn = Lookup<RegionObject>(hrgnVisible, Kind::Region);
        if (!rgn) return FALSE;
        dc->visible = rgn->region;
    } else {
        dc->visible.reset();
    }
    dc->InvalidateClip();
    return TRUE;
}

BOOL DeleteDC(HDC hdc) {
    auto dc = GetDc(hdc);
    if (!dc || !Unregister(hdc)) return FALSE;
    std::shared_ptr<Bitmap> bitmap = std::move(dc->st.bitmap);
    std::vector<DcState> saved = std::move(dc->saved);
    dc->saved.clear();
    ReleaseBitmap(*dc, bitmap);
    for (DcState& s : saved) {
        std::shared_ptr<Bitmap> b = std::move(s.bitmap);
        ReleaseBitmap(*dc, b);
    }
    return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
    auto dc = GetDc(hdc);
    std::shared_ptr<Object> object = Lookup(h);
    if (!dc || !object) return nullptr;
    DcState& st = dc->st;
    switch (object->kind) {
    case Kind::Bitmap: {
        auto bitmap = std::static_pointer_cast<Bitmap>(object);
        if (!dc->fMemory) return nullptr;
        if (!bitmap->fStock && bitmap->pOwner && bitmap->pOwner != dc.get()) return nullptr;
        std::shared_ptr<Bitmap> old = std::move(st.bitmap);
        st.bitmap = bitmap;
        if (!bitmap->fStock) bitmap->pOwner = dc.get();
        ReleaseBitmap(*dc, old);
        dc->InvalidateClip();
        return old->handle;
    }
    case Kind::Brush: {
        auto old = std::exchange(st.brush, std::static_pointer_cast<Brush>(object));
        return old->handle;
    }
    case Kind::Pen: {
        auto old = std::exchange(st.pen, std::static_pointer_cast<Pen>(object));
        return old->handle;
    }
    case Kind::Font: {
        auto old = std::exchange(st.font, std::static_pointer_cast<Font>(object));
        return old->handle;
    }
    case Kind::Region:
        return reinterpret_cast<HGDIOBJ>(
            static_cast<std::intptr_t>(SelectClipRgn(hdc, static_cast<HRGN>(h))));
    default:
        return nullptr;
    }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT uObjectType) {
    auto dc = GetDc(hdc);
    if (!dc) return nullptr;
    const DcState& st = dc->st;
    switch (uObjectType) {
    case OBJ_BITMAP:
        return st.bitmap ? st.bitmap->handle : nullptr;
    case OBJ_BRUSH:
        return st.brush->handle;
    case OBJ_PEN:
        return st.pen->handle;
    case OBJ_FONT:
        return st.font->handle;
    case OBJ_PAL:
        return st.palette->handle;
    default:
        return nullptr;
    }
}

int SaveDC(HDC hdc) {
    auto dc = GetDc(hdc);
    if (!dc) return 0;
    dc->saved.push_back(dc->st);
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int nSavedDC) {
    auto dc = GetDc(hdc);
    if (!dc) return FALSE;
    int c = static_cast<int>(dc->saved.size());
    int i = nSavedDC < 0 ? c + nSavedDC : nSavedDC - 1;
    if (nSavedDC == 0 || i < 0 || i >= c) return FALSE;
    std::shared_ptr<Bitmap> old = dc->st.bitmap;
    dc->st = std::move(dc->saved[i]);
    dc->saved.resize(i);
    if (dc->st.bitmap && !dc->st.bitmap->fStock) dc->st.bitmap->pOwner = dc.get();
    ReleaseBitmap(*dc, old);
    dc->InvalidateClip();
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
    auto dc = GetDc(hdc);
    if (!dc) return 0;
    DisplayFormat display = GetDisplayFormat();
    LONG cx = display.cx, cy = display.cy;
    UINT nDepth = display.nDepth;
    if (!dc->fMemory) {
        PixelBuffer px = dc->pSurface->GetPixels();
        cx = px.cx;
        cy = px.cy;
        nDepth = px.nDepth;
    }
    switch (index) {
    case HORZRES:
        return cx;
    case VERTRES:
        return cy;
    case BITSPIXEL:
        return static_cast<int>(nDepth);
    case PLANES:
        return 1;
    case NUMCOLORS:
        return nDepth <= 8 ? 1 << nDepth : -1;
    case RASTERCAPS:
        return RC_BITBLT | RC_STRETCHBLT | RC_DIBTODEV | (nDepth <= 8 ? RC_PALETTE : 0);
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    case SIZEPALETTE:
        return nDepth <= 8 ? 1 << nDepth : 0;
    default:
        return 0;
    }
}

void SetDisplayFormat(const DisplayFormat& format) {
    std::lock_guard lock(Display().mutex);
    Display().format = format;
}

DisplayFormat GetDisplayFormat() {
    std::lock_guard lock(Display().mutex);
    return Display().format;
}

BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* pptOld) {
    auto dc = GetDc(hdc);
    if (!dc) return FALSE;
    if (pptOld) *pptOld = dc->st.viewport;
    dc->st.viewport = {x, y};
    return TRUE;
}

BOOL GetViewportOrgEx(HDC hdc, POINT* ppt) {
    auto dc = GetDc(hdc);
    if (!dc || !ppt) return FALSE;
    *ppt = dc->st.viewport;
    return TRUE;
}

COLORREF SetTextColor(HDC hdc, COLORREF cr) {
    auto dc = GetDc(hdc);
    return dc ? std::exchange(dc->st.crText, cr) : CLR_INVALID;
}

COLORREF GetTextColor(HDC hdc) {
    auto dc = GetDc(hdc);
    return dc ? dc->st.crText : CLR_INVALID;
}

COLORREF SetBkColor(HDC hdc, COLORREF cr) {
    auto dc = GetDc(hdc);
    return dc ? std::exchange(dc->st.crBk, cr) : CLR_INVALID;
}

COLORREF GetBkColor(HDC hdc) {
    auto dc = GetDc(hdc);
    return dc ? dc->st.crBk : CLR_INVALID;
}

int SetBkMode(HDC hdc, int mode) {
    auto dc = GetDc(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    return std::exchange(dc->st.bkMode, mode);
}

int GetBkMode(HDC hdc) {
    auto dc = GetDc(hdc);
    return dc ? dc->st.bkMode : 0;
}

int SetStretchBltMode(HDC hdc, int mode) {
    auto dc = GetDc(hdc);
    if (!dc || mode < BLACKONWHITE || mode > HALFTONE) return 0;
    return std::exchange(dc->st.stretchMode, mode);
}

int GetStretchBltMode(HDC hdc) {
    auto dc = GetDc(hdc);
    return dc ? dc->st.stretchMode : 0;
}

UINT SetTextAlign(HDC hdc, UINT align) {
    auto dc = GetDc(hdc);
    return dc ? std::exchange(dc->st.textAlign, align) : 0xFFFFFFFF;
}

UINT GetTextAlign(HDC hdc) {
    auto dc = GetDc(hdc);
    return dc ? dc->st.textAlign : 0xFFFFFFFF;
}

// ---------------------------------------------------------------------------------------
// Clipping

namespace {

// What the context could draw on without a clip region, in device coordinates.
Region DcArea(Dc& dc) {
    Surface* surface = dc.Target();
    PixelBuffer px = surface ? surface->GetPixels() : PixelBuffer{};
    Region area(RECT{0, 0, px.cx, px.cy});
    if (dc.visible) area = area.Combine(*dc.visible, RGN_AND);
    area.Offset(-dc.origin.x, -dc.origin.y);
    return area;
}

int ClipType(Dc& dc) {
    Surface* surface = dc.Target();
    PixelBuffer px = surface ? surface->GetPixels() : PixelBuffer{};
    const std::vector<RECT>& rects = dc.ClipRects(px.cx, px.cy);
    return rects.empty() ? NULLREGION : rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

} // namespace

int SelectClipRgn(HDC hdc, HRGN hrgn) {
    auto dc = GetDc(hdc);
    if (!dc) return ERROR;
    if (hrgn) {
        auto rgn = Lookup<RegionObject>(hrgn, Kind::Region);
        if (!rgn) return ERROR;
        dc->st.clip = rgn->region;
    } else {
        dc->st.clip.reset();
    }
    dc->InvalidateClip();
    return ClipType(*dc);
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    auto dc = GetDc(hdc);
    if (!dc) return ERROR;
    Region rect(Normalized(left, top, right, bottom));
    dc->st.clip = dc->st.clip ? dc->st.clip->Combine(rect, RGN_AND) : rect;
    dc->InvalidateClip();
    return ClipType(*dc);
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
    auto dc = GetDc(hdc);
    if (!dc) return ERROR;
    Region rect(Normalized(left, top, right, bottom));
    Region base = dc->st.clip ? *dc->st.clip : DcArea(*dc);
    dc->st.clip = base.Combine(rect, RGN_DIFF);
    dc->InvalidateClip();
    return ClipType(*dc);
}

int GetClipBox(HDC hdc, RECT* prc) {
    auto dc = GetDc(hdc);
    if (!dc || !prc) return ERROR;
    Surface* surface = dc->Target();
    PixelBuffer px = surface ? surface->GetPixels() : PixelBuffer{};
    const std::vector<RECT>& rects = dc->ClipRects(px.cx, px.cy);
    RECT box{0, 0, 0, 0};
    for (const RECT& rc : rects)
        box = Union(box, rc);
    LONG dx = dc->origin.x + dc->st.viewport.x, dy = dc->origin.y + dc->st.viewport.y;
    *prc = IsEmpty(box) ? RECT{0, 0, 0, 0} : Offset(box, -dx, -dy);
    return rects.empty() ? NULLREGION : rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

int GetClipRgn(HDC hdc, HRGN hrgn) {
    auto dc = GetDc(hdc);
    auto rgn = Lookup<RegionObject>(hrgn, Kind::Region);
    if (!dc || !rgn) return -1;
    if (!dc->st.clip) return 0;
    rgn->region = *dc->st.clip;
    return 1;
}

// ---------------------------------------------------------------------------------------
// Brushes and pens

HBRUSH CreateSolidBrush(COLORREF cr) {
    return static_cast<HBRUSH>(Register(MakeBrush(false, cr)));
}

HBRUSH CreatePatternBrush(HBITMAP hbm) {
    auto bitmap = Lookup<Bitmap>(hbm, Kind::Bitmap);
    if (!bitmap) return nullptr;
    Format f;
    if (!f.Init(bitmap->pixels)) return nullptr;
    // Larger bitmaps lend their top-left corner: a pattern is meant to be small.
    constexpr LONG kMaxPattern = 64;
    auto brush = MakeBrush(false, 0);
    brush->cxPattern = std::min<LONG>(bitmap->pixels.cx, kMaxPattern);
    brush->cyPattern = std::min<LONG>(bitmap->pixels.cy, kMaxPattern);
    brush->fMonoPattern = f.fMono;
    brush->hbmPattern = hbm;
    brush->pattern.resize(static_cast<std::size_t>(brush->cxPattern) * brush->cyPattern);
    std::vector<DWORD> row(brush->cxPattern);
    for (LONG y = 0; y < brush->cyPattern; ++y) {
        ReadRow(bitmap->pixels, 0, y, brush->cxPattern, row.data());
        for (LONG x = 0; x < brush->cxPattern; ++x)
            brush->pattern[y * brush->cxPattern + x] = f.fMono ? row[x] & 1 : f.Decode(row[x]);
    }
    return static_cast<HBRUSH>(Register(brush));
}

HPEN CreatePen(int style, int width, COLORREF cr) {
    if (style != PS_SOLID && style != PS_DASH && style != PS_DOT && style != PS_NULL)
        return nullptr;
    auto pen = MakePen(style, cr);
    pen->width = std::max(width, 1);
    return static_cast<HPEN>(Register(pen));
}

COLORREF GetSysColor(int index) {
    return index >= 0 && index < COLOR_COUNT ? kSysColors[index] : 0;
}

HBRUSH GetSysColorBrush(int index) {
    static const std::array<std::shared_ptr<Brush>, COLOR_COUNT> brushes = [] {
        std::array<std::shared_ptr<Brush>, COLOR_COUNT> a;
        for (int i = 0; i < COLOR_COUNT; ++i)
            a[i] = MakeStock(MakeBrush(false, kSysColors[i]));
        return a;
    }();
    return index >= 0 && index < COLOR_COUNT ? static_cast<HBRUSH>(brushes[index]->handle)
                                             : nullptr;
}

// ---------------------------------------------------------------------------------------
// Palettes

HPALETTE CreatePalette(const LOGPALETTE* plp) {
    if (!plp || plp->palVersion != 0x300 || plp->palNumEntries == 0) return nullptr;
    auto palette = std::make_shared<Palette>();
    palette->entries.assign(plp->palPalEntry, plp->palPalEntry + plp->palNumEntries);
    return static_cast<HPALETTE>(Register(palette));
}

HPALETTE SelectPalette(HDC hdc, HPALETTE hpal, BOOL) {
    auto dc = GetDc(hdc);
    auto palette = Lookup<Palette>(hpal, Kind::Palette);
    if (!dc || !palette) return nullptr;
    return static_cast<HPALETTE>(std::exchange(dc->st.palette, palette)->handle);
}

UINT RealizePalette(HDC hdc) {
    auto dc = GetDc(hdc);
    if (!dc) return GDI_ERROR;
    if (dc->fMemory) return 0;
    const std::vector<PALETTEENTRY>& entries = dc->st.palette->entries;
    return dc->pSurface->RealizePalette(entries.data(), static_cast<UINT>(entries.size()));
}

UINT GetNearestPaletteIndex(HPALETTE hpal, COLORREF cr) {
    auto palette = Lookup<Palette>(hpal, Kind::Palette);
    if (!palette) return CLR_INVALID;
    return NearestIndex(palette->entries.data(), static_cast<UINT>(palette->entries.size()),
                        cr & 0x00FFFFFF);
}

UINT GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, PALETTEENTRY* ppe) {
    auto palette = Lookup<Palette>(hpal, Kind::Palette);
    if (!palette) return 0;
    UINT c = static_cast<UINT>(palette->entries.size());
    if (!ppe) return c;
    if (iStart >= c) return 0;
    UINT n = std::min(cEntries, c - iStart);
    std::copy_n(palette->entries.begin() + iStart, n, ppe);
    return n;
}

UINT SetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, const PALETTEENTRY* ppe) {
    auto palette = Lookup<Palette>(hpal, Kind::Palette);
    if (!palette || palette->fStock || !ppe) return 0;
    UINT c = static_cast<UINT>(palette->entries.size());
    if (iStart >= c) return 0;
    UINT n = std::min(cEntries, c - iStart);
    std::copy_n(ppe, n, palette->entries.begin() + iStart);
    return n;
}

COLORREF GetNearestColor(HDC hdc, COLORREF cr) {
    Target t(hdc);
    if (!t.ok()) return CLR_INVALID;
    return t.format().Decode(t.format().Encode(t.Resolve(cr)));
}

UINT GetSystemPaletteEntries(HDC, UINT iStart, UINT cEntries, PALETTEENTRY* ppe) {
    if (!ppe) return 256;
    if (iStart >= 256) return 0;
    SystemPalette& palette = TheSystemPalette();
    std::lock_guard lock(palette.mutex);
    UINT n = std::min(cEntries, 256 - iStart);
    std::copy_n(palette.entries.begin() + iStart, n, ppe);
    return n;
}

void SetSystemPaletteEntries(UINT iStart, UINT cEntries, const PALETTEENTRY* ppe) {
    if (!ppe || iStart >= 256) return;
    SystemPalette& palette = TheSystemPalette();
    std::lock_guard lock(palette.mutex);
    std::copy_n(ppe, std::min(cEntries, 256 - iStart), palette.entries.begin() + iStart);
}

} // namespace host
