// The classic look: raised faces, sunken wells, etched frames, in the system colours.
#include "host/controls/look.h"

#include "host/controls.h"

#include <algorithm>
#include <cstdint>

namespace host::look {
namespace {

void Fill(HDC hdc, const RECT& rc, COLORREF colour) {
    if (rc.right <= rc.left || rc.bottom <= rc.top) return;
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(hdc, &rc, brush);
    DeleteObject(brush);
}

void FillSys(HDC hdc, const RECT& rc, int index) {
    if (rc.right <= rc.left || rc.bottom <= rc.top) return;
    FillRect(hdc, &rc, GetSysColorBrush(index));
}

void Frame(HDC hdc, const RECT& rc, int index) {
    FrameRect(hdc, &rc, GetSysColorBrush(index));
}

// The tick of a check box: seven columns three pixels high, down then up, from (x, y).
void DrawTick(HDC hdc, int x, int y, COLORREF colour) {
    static constexpr int kTop[7] = {2, 3, 4, 3, 2, 1, 0};
    HBRUSH brush = CreateSolidBrush(colour);
    for (int i = 0; i < 7; ++i) {
        RECT column = {x + i, y + kTop[i], x + i + 1, y + kTop[i] + 3};
        FillRect(hdc, &column, brush);
    }
    DeleteObject(brush);
}

void SolidEllipse(HDC hdc, const RECT& rc, COLORREF fill, COLORREF outline, bool fOutline) {
    HBRUSH brush = CreateSolidBrush(fill);
    HPEN pen = fOutline ? CreatePen(PS_SOLID, 1, outline) : nullptr;
    HGDIOBJ oldBrush = SelectObject(hdc, static_cast<HGDIOBJ>(brush));
    HGDIOBJ oldPen = SelectObject(hdc, pen ? static_cast<HGDIOBJ>(pen) : GetStockObject(NULL_PEN));
    Ellipse(hdc, rc.left, rc.top, rc.right, rc.bottom);
    SelectObject(hdc, oldPen);
    SelectObject(hdc, oldBrush);
    DeleteObject(brush);
    if (pen) DeleteObject(pen);
}

// A solid triangle pointing at arrow, centred in rc, drawn row by row (or column by column)
// so that it is symmetric at every size.
void DrawTriangle(HDC hdc, const RECT& rc, Arrow arrow, COLORREF colour) {
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    const int depth = std::max(1, std::min(w, h) / 4); // rows from the tip to the base
    const int cx = rc.left + (w - 1) / 2, cy = rc.top + (h - 1) / 2;
    HBRUSH brush = CreateSolidBrush(colour);
    for (int i = 0; i < depth; ++i) {
        // Row i counts from the base (widest, 2 * depth - 1) to the tip (one pixel).
        const int half = depth - 1 - i;
        RECT line;
        switch (arrow) {
        case Arrow::kUp: {
            const int y = cy + depth / 2 - i;
            line = {cx - half, y, cx + half + 1, y + 1};
            break;
        }
        case Arrow::kDown: {
            const int y = cy - depth / 2 + i;
            line = {cx - half, y, cx + half + 1, y + 1};
            break;
        }
        case Arrow::kLeft: {
            const int x = cx + depth / 2 - i;
            line = {x, cy - half, x + 1, cy + half + 1};
            break;
        }
        case Arrow::kRight: {
            const int x = cx - depth / 2 + i;
            line = {x, cy - half, x + 1, cy + half + 1};
            break;
        }
        }
        FillRect(hdc, &line, brush);
    }
    DeleteObject(brush);
}

// The checkered track pattern: a monochrome 8 x 8 bitmap whose bits take the context's
// text (0) and background (1) colours; made once and kept for the process.
HBRUSH TrackBrush() {
    static HBRUSH brush = [] {
        WORD rows[8];
        for (int y = 0; y < 8; ++y)
            rows[y] = (y % 2 == 0) ? 0x55 : 0xAA; // one byte a row, padded to 16 bits
        HBITMAP hbm = CreateBitmap(8, 8, 1, 1, rows);
        HBRUSH made = CreatePatternBrush(hbm);
        DeleteObject(hbm);
        return made;
    }();
    return brush;
}

} // namespace

RECT DrawPushButton(HDC hdc, const RECT& rc, bool fPressed, bool fDefault) {
    RECT r = rc;
    if (fDefault) {
        Frame(hdc, r, COLOR_WINDOWFRAME);
        InflateRect(&r, -1, -1);
    }
    if (fPressed) {
        // Sunken: a shadow line round a flat face; the text moves down and right by one.
        Frame(hdc, r, COLOR_3DSHADOW);
        InflateRect(&r, -1, -1);
        FillSys(hdc, r, COLOR_BTNFACE);
        InflateRect(&r, -1, -1);
        OffsetRect(&r, 1, 1);
    } else {
        DrawEdge(hdc, &r, EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST);
    }
    return r;
}

void DrawCheckBox(HDC hdc, const RECT& box, UINT check, bool fPressed, bool fDisabled) {
    RECT r = box;
    DrawEdge(hdc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    FillSys(hdc, r, fPressed || fDisabled ? COLOR_BTNFACE : COLOR_WINDOW);
    if (check == 0) return;                             // BST_UNCHECKED
    const bool fGrey = fDisabled || (check & 0x2) != 0; // BST_INDETERMINATE
    // The tick is 7 x 7; centre it in the well.
    const int x = r.left + (r.right - r.left - 7) / 2, y = r.top + (r.bottom - r.top - 7) / 2;
    DrawTick(hdc, x, y, GetSysColor(fGrey ? COLOR_3DSHADOW : COLOR_BTNTEXT));
}

void DrawRadioButton(HDC hdc, const RECT& box, bool fChecked, bool fPressed, bool fDisabled) {
    // Two rings (shadow outside, dark inside) round the well make the circle look sunken.
    const COLORREF well = GetSysColor(fPressed || fDisabled ? COLOR_BTNFACE : COLOR_WINDOW);
    SolidEllipse(hdc, box, well, GetSysColor(COLOR_3DSHADOW), true);
    RECT inner = box;
    InflateRect(&inner, -1, -1);
    SolidEllipse(hdc, inner, well, GetSysColor(COLOR_3DDKSHADOW), true);
    if (!fChecked) return;
    RECT dot = box;
    const int inset = std::max(1, (box.right - box.left) * 4 / 13);
    InflateRect(&dot, -inset, -inset);
    const COLORREF ink = GetSysColor(fDisabled ? COLOR_3DSHADOW : COLOR_BTNTEXT);
    SolidEllipse(hdc, dot, ink, ink, false);
}

void DrawGroupFrame(HDC hdc, const RECT& rc, int cyText, int xGapLeft, int xGapRight) {
    RECT frame = rc;
    frame.top = std::min<LONG>(rc.bottom, rc.top + std::max(0, cyText) / 2);
    const int saved = SaveDC(hdc);
    if (xGapRight > xGapLeft) {
        // The clip is in device coordinates: add the viewport origin.
        POINT org = {0, 0};
        GetViewportOrgEx(hdc, &org);
        ExcludeClipRect(hdc, xGapLeft + org.x, frame.top + org.y, xGapRight + org.x,
                        frame.top + 2 + org.y);
    }
    DrawEdge(hdc, &frame, EDGE_ETCHED, BF_RECT);
    RestoreDC(hdc, saved);
}

RECT DrawField(HDC hdc, const RECT& rc, bool fDisabled, HBRUSH brush) {
    RECT r = rc;
    DrawEdge(hdc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    if (brush != nullptr)
        FillRect(hdc, &r, brush);
    else
        FillSys(hdc, r, fDisabled ? COLOR_BTNFACE : COLOR_WINDOW);
    return r;
}

void DrawArrowButton(HDC hdc, const RECT& rc, Arrow arrow, bool fPressed, bool fDisabled) {
    RECT r = rc;
    if (fPressed) {
        Frame(hdc, r, COLOR_3DSHADOW);
        InflateRect(&r, -1, -1);
        FillSys(hdc, r, COLOR_BTNFACE);
        OffsetRect(&r, 1, 1);
    } else {
        DrawEdge(hdc, &r, EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST);
    }
    if (fDisabled) {
        // Embossed: a highlight copy one pixel down and right under the grey one.
        RECT shifted = r;
        OffsetRect(&shifted, 1, 1);
        DrawTriangle(hdc, shifted, arrow, GetSysColor(COLOR_3DHILIGHT));
        DrawTriangle(hdc, r, arrow, GetSysColor(COLOR_3DSHADOW));
    } else {
        DrawTriangle(hdc, r, arrow, GetSysColor(COLOR_BTNTEXT));
    }
}

void DrawScrollTrack(HDC hdc, const RECT& rc, bool fPressed) {
    if (fPressed) {
        FillSys(hdc, rc, COLOR_3DDKSHADOW);
        return;
    }
    const COLORREF oldText = SetTextColor(hdc, GetSysColor(COLOR_BTNFACE));
    const COLORREF oldBk = SetBkColor(hdc, GetSysColor(COLOR_3DHILIGHT));
    FillRect(hdc, &rc, TrackBrush());
    SetTextColor(hdc, oldText);
    SetBkColor(hdc, oldBk);
}

void DrawScrollThumb(HDC hdc, const RECT& rc) {
    RECT r = rc;
    DrawEdge(hdc, &r, EDGE_RAISED, BF_RECT | BF_MIDDLE);
}

void DrawProgress(HDC hdc, const RECT& rc, int num, int den, bool fVertical, bool fSmooth,
                  COLORREF barColour) {
    RECT r = rc;
    DrawEdge(hdc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST | BF_MIDDLE);
    InflateRect(&r, -1, -1); // a face-coloured margin round the bar
    if (r.right <= r.left || r.bottom <= r.top) return;
    const COLORREF colour = barColour == CLR_INVALID || barColour == CLR_DEFAULT
                                ? GetSysColor(COLOR_HIGHLIGHT)
                                : barColour;
    const int length = fVertical ? r.bottom - r.top : r.right - r.left;
    const int thickness = fVertical ? r.right - r.left : r.bottom - r.top;
    int filled = 0;
    if (den > 0) {
        const std::int64_t part = std::clamp(num, 0, den);
        filled = static_cast<int>(part * length / den);
    }
    // The bar grows from the start (left, or the bottom when vertical) to filled pixels.
    auto span = [&](int from, int to) {
        to = std::min(to, length);
        if (to <= from) return;
        RECT piece = fVertical ? RECT{r.left, r.bottom - to, r.right, r.bottom - from}
                               : RECT{r.left + from, r.top, r.left + to, r.bottom};
        Fill(hdc, piece, colour);
    };
    if (fSmooth) {
        span(0, filled);
        return;
    }
    // Blocks two thirds as long as the bar is thick, two pixels apart; a started block is
    // drawn whole so that the bar moves a block at a time.
    const int block = std::max(2, thickness * 2 / 3);
    const int pitch = block + 2;
    for (int from = 0; from < filled; from += pitch)
        span(from, from + block);
}

int DrawControlText(HDC hdc, std::u16string_view text, RECT rc, UINT format, bool fDisabled,
                    COLORREF colour) {
    const int oldMode = SetBkMode(hdc, TRANSPARENT);
    const COLORREF oldColour = GetTextColor(hdc);
    const auto* psz = reinterpret_cast<const WCHAR*>(text.data());
    const int c = static_cast<int>(text.size());
    int height = 0;
    if (fDisabled && (format & DT_CALCRECT) == 0) {
        RECT shifted = rc;
        OffsetRect(&shifted, 1, 1);
        SetTextColor(hdc, GetSysColor(COLOR_3DHILIGHT));
        DrawText(hdc, psz, c, &shifted, format);
        SetTextColor(hdc, GetSysColor(COLOR_3DSHADOW));
        height = DrawText(hdc, psz, c, &rc, format);
    } else {
        SetTextColor(hdc, colour);
        height = DrawText(hdc, psz, c, &rc, format);
    }
    SetTextColor(hdc, oldColour);
    SetBkMode(hdc, oldMode);
    return height;
}

void DrawFocus(HDC hdc, const RECT& rc) {
    DrawFocusRect(hdc, &rc);
}

COLORREF SelectionBackground() {
    return GetSysColor(COLOR_HIGHLIGHT);
}

COLORREF SelectionText() {
    return GetSysColor(COLOR_HIGHLIGHTTEXT);
}

HFONT ControlFont(HFONT given) {
    if (given != nullptr && GetObjectType(given) == OBJ_FONT) return given;
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

} // namespace host::look
