#include "gameui/layout.h"

#include <cstdlib>
#include <cstring>

namespace {

// The first column of board row r and its number of cells.
int FirstColumn(int r) {
    return std::abs(4 - r);
}
int CellsInRow(int r) {
    return cLayoutRows - std::abs(4 - r);
}

void StoreMarker(LAYOUT* pLayout, int iLine, int k, host::POINT pt) {
    if (iLine == 0) {
        if (k < cLayoutButtons) pLayout->rgptButton[k] = pt;
    } else if (iLine == 1) {
        pLayout->ptStatus = pt;
    } else if (iLine <= 10) {
        const int r = iLine - 2;
        if (k < CellsInRow(r)) pLayout->rgptCell[r][FirstColumn(r) + 2 * k] = pt;
    } else if (iLine == 11) {
        if (k < cLayoutLost) pLayout->rgptLost[k] = pt;
    } else if (iLine == 12) {
        if (k < cLayoutTrays) pLayout->rgptTray[k] = pt;
    }
}

} // namespace

bool ScanLayout(Graphic* pBoard, LAYOUT* pLayout) {
    if (pLayout == nullptr) return false;
    std::memset(pLayout, 0, sizeof(*pLayout));
    if (pBoard == nullptr || !pBoard->IsValid()) return false;
    const int cx = pBoard->GetWidth();
    const int cy = pBoard->GetHeight();
    const DWORD nMarker = pBoard->ColorToValue(clrLayoutMarker);
    // An indexed image without pure blue in its table would give the nearest entry's value:
    // then there are no markers at all, not a board full of them.
    if (pBoard->ValueToColor(nMarker) != clrLayoutMarker) return false;

    // The bottom row has nothing below it: a marker there becomes black.
    const DWORD nBlack = pBoard->ColorToValue(host::RGB(0, 0, 0));
    int cLines = 0;
    for (int y = 0; y < cy; ++y) {
        int k = 0;
        for (int x = 0; x < cx; ++x) {
            if (pBoard->GetPixelValue(x, y) != nMarker) continue;
            pBoard->SetPixelValue(x, y, y + 1 < cy ? pBoard->GetPixelValue(x, y + 1) : nBlack);
            StoreMarker(pLayout, cLines, k++, host::POINT{x, y});
        }
        if (k > 0) ++cLines;
    }
    return cLines == cLayoutLines;
}
