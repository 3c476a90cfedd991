// Regions: sets of pixels kept as rectangles in y-x bands, and their operations.
#include "host/gdi.h"
#include "host/gdi_internal.h"

#include <cstring>

namespace host {
namespace gdi {

namespace {

struct Span {
    LONG left, right;
    bool operator==(const Span&) const = default;
};

struct Band {
    LONG top, bottom;
    std::vector<Span> spans;
};

std::vector<Band> ToBands(const std::vector<RECT>& rects) {
    std::vector<Band> bands;
    for (const RECT& rc : rects) {
        if (bands.empty() || bands.back().top != rc.top) bands.push_back({rc.top, rc.bottom, {}});
        bands.back().spans.push_back({rc.left, rc.right});
    }
    return bands;
}

// Appends a band, merging it into the previous one when they touch and match.
void AddBand(std::vector<Band>& bands, LONG top, LONG bottom, std::vector<Span>&& spans) {
    if (spans.empty()) return;
    if (!bands.empty() && bands.back().bottom == top && bands.back().spans == spans) {
        bands.back().bottom = bottom;
        return;
    }
    bands.push_back({top, bottom, std::move(spans)});
}

std::vector<RECT> FromBands(const std::vector<Band>& bands) {
    std::vector<RECT> rects;
    for (const Band& band : bands)
        for (const Span& span : band.spans)
            rects.push_back({span.left, band.top, span.right, band.bottom});
    return rects;
}

bool Apply(int mode, bool a, bool b) {
    switch (mode) {
    case RGN_AND:
        return a && b;
    case RGN_OR:
        return a || b;
    case RGN_XOR:
        return a != b;
    case RGN_DIFF:
        return a && !b;
    default:
        return a;
    }
}

// Combines two sorted lists of disjoint spans.
std::vector<Span> CombineSpans(const std::vector<Span>& a, const std::vector<Span>& b, int mode) {
    std::vector<LONG> xs;
    xs.reserve(2 * (a.size() + b.size()));
    for (const Span& s : a) {
        xs.push_back(s.left);
        xs.push_back(s.right);
    }
    for (const Span& s : b) {
        xs.push_back(s.left);
        xs.push_back(s.right);
    }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::vector<Span> out;
    std::size_t ia = 0, ib = 0;
    for (std::size_t k = 0; k + 1 < xs.size(); ++k) {
        LONG x0 = xs[k], x1 = xs[k + 1];
        while (ia < a.size() && a[ia].right <= x0)
            ++ia;
        while (ib < b.size() && b[ib].right <= x0)
            ++ib;
        bool inA = ia < a.size() && a[ia].left <= x0;
        bool inB = ib < b.size() && b[ib].left <= x0;
        if (!Apply(mode, inA, inB)) continue;
        if (!out.empty() && out.back().right == x0)
            out.back().right = x1;
        else
            out.push_back({x0, x1});
    }
    return out;
}

} // namespace

Region::Region(const RECT& rc) {
    if (!rect::IsEmpty(rc)) rects_.push_back(rc);
}

Region Region::FromRects(const RECT* prc, std::size_t c) {
    std::vector<RECT> rects;
    for (std::size_t i = 0; i < c; ++i)
        if (!rect::IsEmpty(prc[i])) rects.push_back(prc[i]);
    std::sort(rects.begin(), rects.end(),
              [](const RECT& a, const RECT& b) { return a.top < b.top; });
    std::vector<LONG> ys;
    for (const RECT& rc : rects) {
        ys.push_back(rc.top);
        ys.push_back(rc.bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    std::vector<Band> bands;
    std::vector<const RECT*> active;
    std::size_t next = 0;
    for (std::size_t k = 0; k + 1 < ys.size(); ++k) {
        LONG y0 = ys[k], y1 = ys[k + 1];
        std::erase_if(active, [y0](const RECT* p) { return p->bottom <= y0; });
        while (next < rects.size() && rects[next].top <= y0)
            active.push_back(&rects[next++]);
        std::vector<Span> spans;
        for (const RECT* p : active)
            spans.push_back({p->left, p->right});
        std::sort(spans.begin(), spans.end(),
                  [](const Span& a, const Span& b) { return a.left < b.left; });
        std::vector<Span> merged;
        for (const Span& s : spans) {
            if (!merged.empty() && s.left <= merged.back().right)
                merged.back().right = std::max(merged.back().right, s.right);
            else
                merged.push_back(s);
        }
        AddBand(bands, y0, y1, std::move(merged));
    }
    Region region;
    region.rects_ = FromBands(bands);
    return region;
}

RECT Region::Box() const {
    RECT box{0, 0, 0, 0};
    for (const RECT& rc : rects_)
        box = Union(box, rc);
    return box;
}

int Region::Type() const {
    return rects_.empty() ? NULLREGION : rects_.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

Region Region::Combine(const Region& other, int mode) const {
    if (mode == RGN_COPY) return *this;
    std::vector<Band> a = ToBands(rects_), b = ToBands(other.rects_);
    std::vector<LONG> ys;
    for (const Band& band : a) {
        ys.push_back(band.top);
        ys.push_back(band.bottom);
    }
    for (const Band& band : b) {
        ys.push_back(band.top);
        ys.push_back(band.bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    static const std::vector<Span> kNone;
    std::vector<Band> out;
    std::size_t ia = 0, ib = 0;
    for (std::size_t k = 0; k + 1 < ys.size(); ++k) {
        LONG y0 = ys[k], y1 = ys[k + 1];
        while (ia < a.size() && a[ia].bottom <= y0)
            ++ia;
        while (ib < b.size() && b[ib].bottom <= y0)
            ++ib;
        const std::vector<Span>& sa = ia < a.size() && a[ia].top <= y0 ? a[ia].spans : kNone;
        const std::vector<Span>& sb = ib < b.size() && b[ib].top <= y0 ? b[ib].spans : kNone;
        AddBand(out, y0, y1, CombineSpans(sa, sb, mode));
    }
    Region region;
    region.rects_ = FromBands(out);
    return region;
}

void Region::Offset(LONG dx, LONG dy) {
    for (RECT& rc : rects_)
        rc = gdi::Offset(rc, dx, dy);
}

bool Region::Contains(LONG x, LONG y) const {
    for (const RECT& rc : rects_) {
        if (rc.top > y) break;
        if (y < rc.bottom && x >= rc.left && x < rc.right) return true;
    }
    return false;
}

bool Region::Intersects(const RECT& rc) const {
    for (const RECT& r : rects_)
        if (!rect::IsEmpty(Intersect(r, rc))) return true;
    return false;
}

bool Region::operator==(const Region& other) const {
    if (rects_.size() != other.rects_.size()) return false;
    for (std::size_t i = 0; i < rects_.size(); ++i) {
        const RECT &a = rects_[i], &b = other.rects_[i];
        if (a.left != b.left || a.top != b.top || a.right != b.right || a.bottom != b.bottom)
            return false;
    }
    return true;
}

} // namespace gdi

using namespace gdi;

namespace {

std::shared_ptr<RegionObject> GetRegion(HRGN hrgn) {
    return Lookup<RegionObject>(hrgn, Kind::Region);
}

HRGN NewRegion(Region region) {
    auto object = std::make_shared<RegionObject>();
    object->region = std::move(region);
    return static_cast<HRGN>(Register(object));
}

} // namespace

BOOL IntersectRect(RECT* prcDst, const RECT* prc1, const RECT* prc2) {
    if (!prcDst || !prc1 || !prc2) return FALSE;
    *prcDst = rect::Intersect(*prc1, *prc2);
    return !rect::IsEmpty(*prcDst);
}

BOOL UnionRect(RECT* prcDst, const RECT* prc1, const RECT* prc2) {
    if (!prcDst || !prc1 || !prc2) return FALSE;
    *prcDst = rect::Union(*prc1, *prc2);
    return !rect::IsEmpty(*prcDst);
}

BOOL SubtractRect(RECT* prcDst, const RECT* prc1, const RECT* prc2) {
    if (!prcDst || !prc1 || !prc2) return FALSE;
    RECT rc = *prc1;
    const RECT& cut = *prc2;
    if (!rect::IsEmpty(rc) && !rect::IsEmpty(cut)) {
        bool fullWidth = cut.left <= rc.left && cut.right >= rc.right;
        bool fullHeight = cut.top <= rc.top && cut.bottom >= rc.bottom;
        if (fullWidth && cut.top <= rc.top && cut.bottom > rc.top)
            rc.top = std::min(cut.bottom, rc.bottom);
        else if (fullWidth && cut.bottom >= rc.bottom && cut.top < rc.bottom)
            rc.bottom = std::max(cut.top, rc.top);
        else if (fullHeight && cut.left <= rc.left && cut.right > rc.left)
            rc.left = std::min(cut.right, rc.right);
        else if (fullHeight && cut.right >= rc.right && cut.left < rc.right)
            rc.right = std::max(cut.left, rc.left);
    }
    *prcDst = rect::IsEmpty(rc) ? RECT{0, 0, 0, 0} : rc;
    return !rect::IsEmpty(rc);
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    return NewRegion(Region(Normalized(left, top, right, bottom)));
}

HRGN CreateRectRgnIndirect(const RECT* prc) {
    return prc ? CreateRectRgn(prc->left, prc->top, prc->right, prc->bottom) : nullptr;
}

BOOL SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom) {
    auto rgn = GetRegion(hrgn);
    if (!rgn) return FALSE;
    rgn->region = Region(Normalized(left, top, right, bottom));
    return TRUE;
}

int CombineRgn(HRGN hrgnDest, HRGN hrgnSrc1, HRGN hrgnSrc2, int mode) {
    auto dest = GetRegion(hrgnDest), src1 = GetRegion(hrgnSrc1);
    if (!dest || !src1 || mode < RGN_AND || mode > RGN_COPY) return ERROR;
    if (mode == RGN_COPY) {
        dest->region = src1->region;
        return dest->region.Type();
    }
    auto src2 = GetRegion(hrgnSrc2);
    if (!src2) return ERROR;
    dest->region = src1->region.Combine(src2->region, mode);
    return dest->region.Type();
}

int OffsetRgn(HRGN hrgn, int dx, int dy) {
    auto rgn = GetRegion(hrgn);
    if (!rgn) return ERROR;
    rgn->region.Offset(dx, dy);
    return rgn->region.Type();
}

BOOL PtInRegion(HRGN hrgn, int x, int y) {
    auto rgn = GetRegion(hrgn);
    return rgn && rgn->region.Contains(x, y) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN hrgn, const RECT* prc) {
    auto rgn = GetRegion(hrgn);
    if (!rgn || !prc) return FALSE;
    return rgn->region.Intersects(Normalized(prc->left, prc->top, prc->right, prc->bottom));
}

BOOL EqualRgn(HRGN hrgn1, HRGN hrgn2) {
    auto a = GetRegion(hrgn1), b = GetRegion(hrgn2);
    return a && b && a->region == b->region ? TRUE : FALSE;
}

int GetRgnBox(HRGN hrgn, RECT* prc) {
    auto rgn = GetRegion(hrgn);
    if (!rgn || !prc) return ERROR;
    *prc = rgn->region.Box();
    return rgn->region.Type();
}

HRGN ExtCreateRegion(const void* pXform, DWORD cbData, const RGNDATA* pData) {
    if (pXform || !pData || cbData < sizeof(RGNDATAHEADER)) return nullptr;
    RGNDATAHEADER rdh;
    std::memcpy(&rdh, pData, sizeof(rdh));
    if (rdh.dwSize != sizeof(RGNDATAHEADER) || rdh.iType != RDH_RECTANGLES) return nullptr;
    if (static_cast<std::uint64_t>(rdh.nCount) * sizeof(RECT) > cbData - sizeof(RGNDATAHEADER))
        return nullptr;
    std::vector<RECT> rects(rdh.nCount);
    if (rdh.nCount)
        std::memcpy(rects.data(), reinterpret_cast<const BYTE*>(pData) + sizeof(RGNDATAHEADER),
                    rdh.nCount * sizeof(RECT));
    return NewRegion(Region::FromRects(rects.data(), rects.size()));
}

DWORD GetRegionData(HRGN hrgn, DWORD cbData, RGNDATA* pData) {
    auto rgn = GetRegion(hrgn);
    if (!rgn) return 0;
    const std::vector<RECT>& rects = rgn->region.Rects();
    DWORD cbRects = static_cast<DWORD>(rects.size() * sizeof(RECT));
    DWORD cbNeeded = sizeof(RGNDATAHEADER) + cbRects;
    if (!pData) return cbNeeded;
    if (cbData < cbNeeded) return 0;
    RGNDATAHEADER rdh{sizeof(RGNDATAHEADER), RDH_RECTANGLES, static_cast<DWORD>(rects.size()),
                      cbRects, rgn->region.Box()};
    std::memcpy(pData, &rdh, sizeof(rdh));
    if (cbRects) std::memcpy(reinterpret_cast<BYTE*>(pData) + sizeof(rdh), rects.data(), cbRects);
    return cbNeeded;
}

std::vector<RECT> GetRegionRects(HRGN hrgn) {
    auto rgn = GetRegion(hrgn);
    return rgn ? rgn->region.Rects() : std::vector<RECT>{};
}

} // namespace host
