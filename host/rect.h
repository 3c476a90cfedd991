// Rectangle arithmetic shared by the host and everything above it.
//
// Rectangles are half-open: right and bottom lie just outside. A rectangle whose right is not
// beyond its left, or whose bottom is not below its top, is empty; every operation treats all
// empty rectangles alike and returns (0, 0, 0, 0) for an empty result.
//
// One overflow rule: a coordinate that moving or growing a rectangle would take beyond
// +/-kLimit is held at the limit, and sizes and areas are computed in 64 bits, so no input,
// however far off any surface, overflows.
#pragma once

#include "host/types.h"

#include <algorithm>
#include <cstdint>

namespace host::rect {

constexpr LONG kLimit = 0x3FFFFFFF;

inline LONG Saturate(std::int64_t v) {
    return static_cast<LONG>(std::clamp<std::int64_t>(v, -kLimit, kLimit));
}

inline bool IsEmpty(const RECT& rc) {
    return rc.left >= rc.right || rc.top >= rc.bottom;
}

inline std::int64_t Width(const RECT& rc) {
    return IsEmpty(rc) ? 0 : std::int64_t{rc.right} - rc.left;
}

inline std::int64_t Height(const RECT& rc) {
    return IsEmpty(rc) ? 0 : std::int64_t{rc.bottom} - rc.top;
}

inline std::uint64_t Area(const RECT& rc) {
    return static_cast<std::uint64_t>(Width(rc)) * static_cast<std::uint64_t>(Height(rc));
}

inline bool Equal(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline bool Contains(const RECT& rc, POINT pt) {
    return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

// True when a holds all of b (an empty b is held by anything).
inline bool Covers(const RECT& a, const RECT& b) {
    return IsEmpty(b) ||
           (a.left <= b.left && a.top <= b.top && a.right >= b.right && a.bottom >= b.bottom);
}

// Rectangles that only share an edge do not overlap.
inline bool Overlaps(const RECT& a, const RECT& b) {
    return std::max(a.left, b.left) < std::min(a.right, b.right) &&
           std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

inline RECT Intersect(const RECT& a, const RECT& b) {
    RECT rc{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
    return IsEmpty(rc) ? RECT{0, 0, 0, 0} : rc;
}

// The smallest rectangle holding both; empty rectangles are ignored.
inline RECT Union(const RECT& a, const RECT& b) {
    if (IsEmpty(a)) return IsEmpty(b) ? RECT{0, 0, 0, 0} : b;
    if (IsEmpty(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

inline RECT Offset(const RECT& rc, std::int64_t dx, std::int64_t dy) {
    return {Saturate(rc.left + dx), Saturate(rc.top + dy), Saturate(rc.right + dx),
            Saturate(rc.bottom + dy)};
}

// Grows each side outward by dx and dy (shrinks for negative values).
inline RECT Inflate(const RECT& rc, std::int64_t dx, std::int64_t dy) {
    return {Saturate(rc.left - dx), Saturate(rc.top - dy), Saturate(rc.right + dx),
            Saturate(rc.bottom + dy)};
}

// The rectangle spanned by two corners given in any order.
inline RECT Normalized(LONG left, LONG top, LONG right, LONG bottom) {
    return {std::min(left, right), std::min(top, bottom), std::max(left, right),
            std::max(top, bottom)};
}

} // namespace host::rect
