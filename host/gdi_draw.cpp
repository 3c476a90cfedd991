// Fills, frames, edges and lines.
#include "host/gdi.h"
#include "host/gdi_internal.h"

#include <cstdlib>
#include <optional>
#include <utility>

namespace host {

using namespace gdi;

namespace {

// A brush argument, where (system colour index + 1) stands for that colour's brush.
std::shared_ptr<Brush> GetBrush(HBRUSH hbr) {
    auto value = reinterpret_cast<std::uintptr_t>(hbr);
    if (value >= 1 && value <= COLOR_COUNT) hbr = GetSysColorBrush(static_cast<int>(value - 1));
    return Lookup<Brush>(hbr, Kind::Brush);
}

bool InClip(Target& t, LONG x, LONG y) {
    for (const RECT& rc : t.clip())
        if (x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom) return true;
    return false;
}

// Plots the pixels of a line from (x0, y0) towards (x1, y1), the end excluded, in surface
// coordinates.
void DrawLine(Target& t, const Pen& pen, LONG x0, LONG y0, LONG x1, LONG y1) {
    if (pen.style == PS_NULL) return;
    DWORD v = t.format().Encode(t.Resolve(pen.cr));
    const LONG w = pen.width;
    const LONG before = (w - 1) / 2;
    const bool fSolid = pen.style == PS_SOLID || w > 1;
    // Straight solid lines are rectangles.
    if (fSolid && (x0 == x1 || y0 == y1)) {
        RECT rc = x0 == x1 ? RECT{x0, std::min(y0, y1), x0 + 1, std::max(y0, y1)}
                           : RECT{std::min(x0, x1), y0, std::max(x0, x1), y0 + 1};
        if (x0 == x1 && y1 < y0) rc = {x0, y1 + 1, x0 + 1, y0 + 1};
        if (y0 == y1 && x1 < x0) rc = {x1 + 1, y0, x0 + 1, y0 + 1};
        if (w > 1) {
            if (x0 == x1) {
                rc.left -= before;
                rc.right = rc.left + w;
            } else {
                rc.top -= before;
                rc.bottom = rc.top + w;
            }
        }
        t.FillValue(rc, v);
        return;
    }
    // A line that misses the surface draws nothing; looking at each of its points could
    // take a long time. The box is grown after ordering the ends: a line drawn up or left
    // must not lose its margin, or a short one would vanish.
    const RECT rcEnds = Normalized(x0, y0, x1, y1);
    const RECT rcBox = {Saturate(std::int64_t{rcEnds.left} - w),
                        Saturate(std::int64_t{rcEnds.top} - w),
                        Saturate(std::int64_t{rcEnds.right} + w + 1),
                        Saturate(std::int64_t{rcEnds.bottom} + w + 1)};
    if (IsEmpty(Intersect(rcBox, {0, 0, t.px().cx, t.px().cy}))) return;
    std::int64_t dx = std::abs(std::int64_t{x1} - x0), dy = -std::abs(std::int64_t{y1} - y0);
    LONG sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    std::int64_t err = dx + dy;
    LONG x = x0, y = y0;
    int step = 0;
    while (x != x1 || y != y1) {
        bool on = true;
        if (pen.style == PS_DOT)
            on = step % 2 == 0;
        else if (pen.style == PS_DASH && w == 1)
            on = step % 8 < 6;
        ++step;
        if (on) {
            if (w == 1) {
                if (InClip(t, x, y)) {
                    WritePixel(t.px(), x, y, v);
                    t.Changed({x, y, x + 1, y + 1});
                }
            } else {
                t.FillValue({x - before, y - before, x - before + w, y - before + w}, v);
            }
        }
        std::int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

// Whole-number square root, rounded down.
std::uint64_t ISqrt(std::uint64_t v) {
    std::uint64_t r = 0, bit = std::uint64_t{1} << 62;
    while (bit > v)
        bit >>= 2;
    for (; bit; bit >>= 2) {
        if (v >= r + bit) {
            v -= r + bit;
            r = (r >> 1) + bit;
        } else {
            r >>= 1;
        }
    }
    return r;
}

// Row y of the ellipse inscribed in rc, as the half-open span [*pLeft, *pRight); false when
// the row holds none of it. A pixel belongs when its centre does: with X and Y twice the
// centre's distance from the middle, and W and H the sizes, X^2 H^2 + Y^2 W^2 <= W^2 H^2.
// Coordinates are held within +/-rect::kLimit, so every product fits in 128 bits.
bool EllipseSpan(const RECT& rc, LONG y, LONG* pLeft, LONG* pRight) {
    using U128 = unsigned __int128;
    const std::int64_t w = std::int64_t{rc.right} - rc.left, h = std::int64_t{rc.bottom} - rc.top;
    if (w <= 0 || h <= 0 || y < rc.top || y >= rc.bottom) return false;
    const std::int64_t dy = 2 * std::int64_t{y} + 1 - rc.top - rc.bottom;
    const U128 h2 = static_cast<U128>(h * h);
    const U128 room = static_cast<U128>(w * w) * (h2 - static_cast<U128>(dy * dy));
    auto xMax = static_cast<std::int64_t>(ISqrt(static_cast<std::uint64_t>(room / h2)));
    // X runs over the centres, which are odd or even as w - 1 is.
    if ((xMax - (w - 1)) % 2 != 0) --xMax;
    if (xMax < 0) return false;
    const std::int64_t mid = std::int64_t{rc.left} + rc.right - 1;
    *pLeft = static_cast<LONG>((mid - xMax) / 2);
    *pRight = static_cast<LONG>((mid + xMax) / 2 + 1);
    return true;
}

// A polygon cut into rows: the spans of each row that the fill mode says are inside.
class PolygonScan {
public:
    PolygonScan(const POINT* ppt, int c, LONG dx, LONG dy, int mode) : fWinding_(mode == WINDING) {
        for (int i = 0; i < c; ++i) {
            const POINT& a = ppt[i];
            const POINT& b = ppt[(i + 1) % c];
            Edge e{Saturate(std::int64_t{a.x} + dx), Saturate(std::int64_t{a.y} + dy),
                   Saturate(std::int64_t{b.x} + dx), Saturate(std::int64_t{b.y} + dy), 1};
            if (e.y0 == e.y1) continue; // level edges cross no row
            if (e.y0 > e.y1) {
                std::swap(e.x0, e.x1);
                std::swap(e.y0, e.y1);
                e.dir = -1;
            }
            top_ = edges_.empty() ? e.y0 : std::min(top_, e.y0);
            bottom_ = edges_.empty() ? e.y1 : std::max(bottom_, e.y1);
            edges_.push_back(e);
        }
    }

    // Rows [Top(), Bottom()) may hold spans.
    LONG Top() const { return top_; }
    LONG Bottom() const { return bottom_; }

    // The spans [left, right) of row y, sorted and apart.
    const std::vector<std::pair<LONG, LONG>>& Spans(LONG y) {
        crossings_.clear();
        spans_.clear();
        for (const Edge& e : edges_) {
            // An edge holds the rows from its top to just above its bottom, so a vertex
            // counts once. Its crossing is the first pixel at or right of it.
            if (y < e.y0 || y >= e.y1) continue;
            const std::int64_t ey = std::int64_t{e.y1} - e.y0;
            const __int128 num =
                static_cast<__int128>(e.x0) * ey +
                static_cast<__int128>(std::int64_t{y} - e.y0) * (std::int64_t{e.x1} - e.x0);
            __int128 x = num / ey;
            if (num % ey > 0) ++x;
            crossings_.push_back({static_cast<LONG>(x), e.dir});
        }
        std::sort(crossings_.begin(), crossings_.end());
        int winding = 0;
        for (std::size_t i = 0; i < crossings_.size(); ++i) {
            const int before = winding;
            winding = fWinding_ ? winding + crossings_[i].second : (winding ^ 1);
            if (before == 0 && winding != 0) {
                spans_.push_back({crossings_[i].first, crossings_[i].first});
            } else if (before != 0 && winding == 0) {
                LONG left = spans_.back().first, right = crossings_[i].first;
                spans_.pop_back();
                if (right <= left) continue;
                if (!spans_.empty() && spans_.back().second >= left)
                    spans_.back().second = right;
                else
                    spans_.push_back({left, right});
            }
        }
        return spans_;
    }

private:
    struct Edge {
        LONG x0, y0, x1, y1; // y0 < y1
        int dir;             // +1 when the outline runs down it
    };
    std::vector<Edge> edges_;
    LONG top_ = 0, bottom_ = 0;
    bool fWinding_;
    std::vector<std::pair<LONG, int>> crossings_;
    std::vector<std::pair<LONG, LONG>> spans_;
};

// The rows of [top, bottom) that lie on the surface.
std::pair<LONG, LONG> VisibleRows(const Target& t, LONG top, LONG bottom) {
    return {std::max<LONG>(top, 0), std::min<LONG>(bottom, t.px().cy)};
}

} // namespace

int FillRect(HDC hdc, const RECT* prc, HBRUSH hbr) {
    auto brush = GetBrush(hbr);
    Target t(hdc);
    if (!prc || !brush || !t.ok()) return 0;
    if (!brush->fNull) t.FillPaint(t.ToSurface(*prc), Paint(t, *brush));
    return 1;
}

int FrameRect(HDC hdc, const RECT* prc, HBRUSH hbr) {
    auto brush = GetBrush(hbr);
    Target t(hdc);
    if (!prc || !brush || !t.ok()) return 0;
    RECT rc = t.ToSurface(*prc);
    if (brush->fNull || IsEmpty(rc)) return 1;
    Paint paint(t, *brush);
    t.FillPaint({rc.left, rc.top, rc.right, rc.top + 1}, paint);
    t.FillPaint({rc.left, rc.bottom - 1, rc.right, rc.bottom}, paint);
    t.FillPaint({rc.left, rc.top + 1, rc.left + 1, rc.bottom - 1}, paint);
    t.FillPaint({rc.right - 1, rc.top + 1, rc.right, rc.bottom - 1}, paint);
    return 1;
}

BOOL InvertRect(HDC hdc, const RECT* prc) {
    Target t(hdc);
    if (!prc || !t.ok()) return FALSE;
    t.Transform(t.ToSurface(*prc), [](DWORD v) { return ~v; });
    return TRUE;
}

BOOL DrawFocusRect(HDC hdc, const RECT* prc) {
    Target t(hdc);
    if (!prc || !t.ok()) return FALSE;
    RECT rc = t.ToSurface(*prc);
    if (IsEmpty(rc)) return TRUE;
    // Every other pixel of the frame, counted from the top-left corner.
    auto invert = [&](LONG x, LONG y) {
        if (((x - rc.left) + (y - rc.top)) % 2 != 0 || !InClip(t, x, y)) return;
        WritePixel(t.px(), x, y, ~ReadPixel(t.px(), x, y) & t.format().valueMask);
        t.Changed({x, y, x + 1, y + 1});
    };
    for (LONG x = rc.left; x < rc.right; ++x) {
        invert(x, rc.top);
        if (rc.bottom - 1 > rc.top) invert(x, rc.bottom - 1);
    }
    for (LONG y = rc.top + 1; y < rc.bottom - 1; ++y) {
        invert(rc.left, y);
        if (rc.right - 1 > rc.left) invert(rc.right - 1, y);
    }
    return TRUE;
}

BOOL FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr) {
    auto brush = GetBrush(hbr);
    auto rgn = Lookup<RegionObject>(hrgn, Kind::Region);
    Target t(hdc);
    if (!brush || !rgn || !t.ok()) return FALSE;
    if (brush->fNull) return TRUE;
    Paint paint(t, *brush);
    // The region is in logical coordinates, as every other drawing call's shapes are; only
    // clip regions are in device coordinates.
    for (const RECT& rc : rgn->region.Rects())
        t.FillPaint(t.ToSurface(rc), paint);
    return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, POINT* pptOld) {
    auto dc = Lookup<Dc>(hdc, Kind::Dc);
    if (!dc) return FALSE;
    if (pptOld) *pptOld = dc->st.pos;
    dc->st.pos = {x, y};
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
    Target t(hdc);
    if (!t.ok()) return FALSE;
    POINT from = t.dc().st.pos;
    DrawLine(t, *t.dc().st.pen, Saturate(std::int64_t{from.x} + t.dx()),
             Saturate(std::int64_t{from.y} + t.dy()), Saturate(std::int64_t{x} + t.dx()),
             Saturate(std::int64_t{y} + t.dy()));
    t.dc().st.pos = {x, y};
    return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* ppt, int c) {
    Target t(hdc);
    if (!t.ok() || !ppt || c < 2) return FALSE;
    for (int i = 1; i < c; ++i)
        DrawLine(t, *t.dc().st.pen, Saturate(std::int64_t{ppt[i - 1].x} + t.dx()),
                 Saturate(std::int64_t{ppt[i - 1].y} + t.dy()),
                 Saturate(std::int64_t{ppt[i].x} + t.dx()),
                 Saturate(std::int64_t{ppt[i].y} + t.dy()));
    return TRUE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    Target t(hdc);
    if (!t.ok()) return FALSE;
    RECT rc = t.ToSurface(Normalized(left, top, right, bottom));
    const Pen& pen = *t.dc().st.pen;
    const Brush& brush = *t.dc().st.brush;
    if (pen.style == PS_NULL) {
        // Without an outline the filled area is one pixel smaller, as it always was.
        if (!brush.fNull)
            t.FillPaint({rc.left, rc.top, rc.right - 1, rc.bottom - 1}, Paint(t, brush));
        return TRUE;
    }
    LONG w = std::min<LONG>(pen.width, std::min(rc.right - rc.left, rc.bottom - rc.top) / 2 + 1);
    if (!brush.fNull)
        t.FillPaint({rc.left + w, rc.top + w, rc.right - w, rc.bottom - w}, Paint(t, brush));
    if (pen.style == PS_SOLID || pen.width > 1) {
        DWORD v = t.format().Encode(t.Resolve(pen.cr));
        t.FillValue({rc.left, rc.top, rc.right, rc.top + w}, v);
        t.FillValue({rc.left, rc.bottom - w, rc.right, rc.bottom}, v);
        t.FillValue({rc.left, rc.top + w, rc.left + w, rc.bottom - w}, v);
        t.FillValue({rc.right - w, rc.top + w, rc.right, rc.bottom - w}, v);
    } else {
        LONG r = rc.right - 1, b = rc.bottom - 1;
        DrawLine(t, pen, rc.left, rc.top, r, rc.top);
        DrawLine(t, pen, r, rc.top, r, b);
        DrawLine(t, pen, r, b, rc.left, b);
        DrawLine(t, pen, rc.left, b, rc.left, rc.top);
    }
    return TRUE;
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    Target t(hdc);
    if (!t.ok()) return FALSE;
    const RECT rc = t.ToSurface(Normalized(left, top, right, bottom));
    if (IsEmpty(rc)) return TRUE;
    const Pen& pen = *t.dc().st.pen;
    const Brush& brush = *t.dc().st.brush;
    // The brush fills the ellipse inset by the pen's width; the pen, the ring around it.
    const bool fPen = pen.style != PS_NULL;
    RECT rcIn = rc;
    if (fPen) {
        LONG w = std::min<LONG>(pen.width, std::min(rc.right - rc.left, rc.bottom - rc.top));
        rcIn = {rc.left + w, rc.top + w, rc.right - w, rc.bottom - w};
    }
    std::optional<Paint> paint;
    if (!brush.fNull) paint.emplace(t, brush);
    const DWORD vPen = t.format().Encode(t.Resolve(pen.cr));
    auto [y0, y1] = VisibleRows(t, rc.top, rc.bottom);
    for (LONG y = y0; y < y1; ++y) {
        LONG l, r, li = 0, ri = 0;
        if (!EllipseSpan(rc, y, &l, &r)) continue;
        bool fInner = EllipseSpan(rcIn, y, &li, &ri);
        if (fInner && paint) t.FillPaint({li, y, ri, y + 1}, *paint);
        if (!fPen) continue;
        if (!fInner) {
            t.FillValue({l, y, r, y + 1}, vPen);
            continue;
        }
        t.FillValue({l, y, std::max(l, li), y + 1}, vPen);
        t.FillValue({std::min(r, ri), y, r, y + 1}, vPen);
    }
    return TRUE;
}

int SetPolyFillMode(HDC hdc, int mode) {
    auto dc = Lookup<Dc>(hdc, Kind::Dc);
    if (!dc || (mode != ALTERNATE && mode != WINDING)) return 0;
    return std::exchange(dc->st.polyFillMode, mode);
}

int GetPolyFillMode(HDC hdc) {
    auto dc = Lookup<Dc>(hdc, Kind::Dc);
    return dc ? dc->st.polyFillMode : 0;
}

BOOL Polygon(HDC hdc, const POINT* ppt, int c) {
    Target t(hdc);
    if (!t.ok() || !ppt || c < 2) return FALSE;
    const Brush& brush = *t.dc().st.brush;
    if (!brush.fNull) {
        Paint paint(t, brush);
        PolygonScan scan(ppt, c, t.dx(), t.dy(), t.dc().st.polyFillMode);
        auto [y0, y1] = VisibleRows(t, scan.Top(), scan.Bottom());
        for (LONG y = y0; y < y1; ++y)
            for (auto [l, r] : scan.Spans(y))
                t.FillPaint({l, y, r, y + 1}, paint);
    }
    for (int i = 0; i < c; ++i) {
        const POINT& a = ppt[i];
        const POINT& b = ppt[(i + 1) % c];
        DrawLine(t, *t.dc().st.pen, Saturate(std::int64_t{a.x} + t.dx()),
                 Saturate(std::int64_t{a.y} + t.dy()), Saturate(std::int64_t{b.x} + t.dx()),
                 Saturate(std::int64_t{b.y} + t.dy()));
    }
    return TRUE;
}

HRGN CreatePolygonRgn(const POINT* ppt, int c, int mode) {
    if (!ppt || c < 2 || (mode != ALTERNATE && mode != WINDING)) return nullptr;
    PolygonScan scan(ppt, c, 0, 0, mode);
    if (std::int64_t{scan.Bottom()} - scan.Top() > 65536) return nullptr;
    std::vector<RECT> rects;
    for (LONG y = scan.Top(); y < scan.Bottom(); ++y)
        for (auto [l, r] : scan.Spans(y))
            rects.push_back({l, y, r, y + 1});
    auto object = std::make_shared<RegionObject>();
    object->region = Region::FromRects(rects.data(), rects.size());
    return static_cast<HRGN>(Register(object));
}

BOOL DrawEdge(HDC hdc, RECT* prc, UINT edge, UINT flags) {
    Target t(hdc);
    if (!prc || !t.ok()) return FALSE;
    // Top-left and bottom-right colours of the outer and the inner line.
    int outerLT = -1, outerRB = -1, innerLT = -1, innerRB = -1;
    if (edge & BDR_RAISEDOUTER) {
        outerLT = COLOR_3DLIGHT;
        outerRB = COLOR_3DDKSHADOW;
    } else if (edge & BDR_SUNKENOUTER) {
        outerLT = COLOR_3DSHADOW;
        outerRB = COLOR_3DHILIGHT;
    }
    if (edge & BDR_RAISEDINNER) {
        innerLT = COLOR_3DHILIGHT;
        innerRB = COLOR_3DSHADOW;
    } else if (edge & BDR_SUNKENINNER) {
        innerLT = COLOR_3DDKSHADOW;
        innerRB = COLOR_3DLIGHT;
    }
    if (flags & BF_SOFT) std::swap(outerLT, innerLT);
    int middle = COLOR_BTNFACE;
    if (flags & BF_MONO) {
        outerLT = outerRB = outerLT < 0 && outerRB < 0 ? -1 : COLOR_WINDOWFRAME;
        innerLT = innerRB = innerLT < 0 && innerRB < 0 ? -1 : COLOR_WINDOW;
        middle = COLOR_WINDOW;
    } else if (flags & BF_FLAT) {
        outerLT = outerRB = outerLT < 0 && outerRB < 0 ? -1 : COLOR_3DSHADOW;
        innerLT = innerRB = innerLT < 0 && innerRB < 0 ? -1 : COLOR_BTNFACE;
        middle = COLOR_WINDOW;
    }

    RECT rc = t.ToSurface(Normalized(prc->left, prc->top, prc->right, prc->bottom));
    auto value = [&](int color) { return t.format().Encode(GetSysColor(color)); };
    auto line = [&](int lt, int rb) {
        if (lt < 0 && rb < 0) return;
        if (IsEmpty(rc)) return;
        // The bottom and right lines are drawn last and own the corners they share.
        if (lt >= 0) {
            DWORD v = value(lt);
            if (flags & BF_LEFT) t.FillValue({rc.left, rc.top, rc.left + 1, rc.bottom}, v);
            if (flags & BF_TOP) t.FillValue({rc.left, rc.top, rc.right, rc.top + 1}, v);
        }
        if (rb >= 0) {
            DWORD v = value(rb);
            if (flags & BF_RIGHT) t.FillValue({rc.right - 1, rc.top, rc.right, rc.bottom}, v);
            if (flags & BF_BOTTOM) t.FillValue({rc.left, rc.bottom - 1, rc.right, rc.bottom}, v);
        }
        if (flags & BF_LEFT) ++rc.left;
        if (flags & BF_TOP) ++rc.top;
        if (flags & BF_RIGHT) --rc.right;
        if (flags & BF_BOTTOM) --rc.bottom;
    };
    line(outerLT, outerRB);
    line(innerLT, innerRB);
    if ((flags & BF_MIDDLE) && !IsEmpty(rc)) t.FillValue(rc, value(middle));
    if (flags & BF_ADJUST) {
        RECT adjusted = Offset(rc, -t.dx(), -t.dy());
        if (IsEmpty(adjusted))
            adjusted = {adjusted.left, adjusted.top, std::max(adjusted.left, adjusted.right),
                        std::max(adjusted.top, adjusted.bottom)};
        *prc = adjusted;
    }
    return TRUE;
}

} // namespace host
