#include "gameui/graphics.h"

#include "foundation/memmgr.h"
#include "gameui/resdata.h"
#include "gameui/resource.h"

#include <cstring>

namespace {

constexpr Color clrKey = host::RGB(0, 0, 255);

GAMEGRAPHICS g_graphics;
bool g_fLoaded = false;

// Where frame f of a sheet goes in the tables.
using FrameSlot = Graphic** (*)(int f);

struct SHEET {
    host::UINT nId;
    int cx, cy; // frame size
    int cFrames;
    FrameSlot slot;
};

// In loading order; the board comes before all of them.
const SHEET krgSheets[] = {
    {IDG_ARROWS, cxArrow, cyArrow, cArrowFrames, [](int f) { return &g_graphics.rgpArrow[f]; }},
    {IDG_CELLS, cxCell, cyCell, cCellFrames + cPieceColors* cPieceFrames,
     [](int f) {
         if (f < cCellFrames) return &g_graphics.rgpCell[f];
         f -= cCellFrames;
         return &g_graphics.rgpPiece[f / cPieceFrames][f % cPieceFrames];
     }},
    {IDG_STATUS, cxStatus, cyStatus, cStatusImages* cGameLanguages,
     [](int f) { return &g_graphics.rgpStatus[f / cGameLanguages][f % cGameLanguages]; }},
    {IDG_TRAY, cxTray, cyTray, 1, [](int) { return &g_graphics.pTray; }},
    {IDG_BUTTONS, cxButton, cyButton, cGameButtons* cGameLanguages* cButtonStates,
     [](int f) {
         constexpr int cPerButton = cGameLanguages * cButtonStates;
         return &g_graphics
                     .rgpButton[f / cPerButton][f % cPerButton / cButtonStates][f % cButtonStates];
     }},
    {IDG_RIPPLE_LARGE, cxRippleLarge, cyRippleLarge, cRippleFrames,
     [](int f) { return &g_graphics.rgpRippleLarge[f]; }},
    {IDG_RIPPLE_SMALL, cxRippleSmall, cyRippleSmall, cRippleFrames,
     [](int f) { return &g_graphics.rgpRippleSmall[f]; }},
};
constexpr int cSheets = sizeof(krgSheets) / sizeof(krgSheets[0]);

// The sheets, parents of the frames, in loading order.
Graphic* g_rgpSheet[cSheets];

// A picture from the resources, or null when it is missing or unreadable.
Graphic* LoadPicture(host::HINSTANCE hInstance, host::UINT nId, Color clrTransparent) {
    RESOURCEDATA data;
    if (!LoadGameResource(hInstance, nId, host::ResName("GRAPHIC"), &data)) return nullptr;
    Graphic* pGraphic = MemNew(Graphic, data.pbData, data.cbData, nullptr, clrTransparent);
    FreeResourceData(&data);
    if (pGraphic != nullptr && (pGraphic->GetBits() == nullptr || pGraphic->GetWidth() <= 0)) {
        MemDelete(pGraphic);
        pGraphic = nullptr;
    }
    return pGraphic;
}

// Cuts the sheet into its frames; false when the sheet is too small to hold them all
// (a damaged picture must not give frames reaching past its pixels).
bool CutSheet(Graphic* pSheet, const SHEET& sheet) {
    const int cColumns = pSheet->GetWidth() / sheet.cx;
    if (cColumns <= 0) return false;
    const int cRows = (sheet.cFrames + cColumns - 1) / cColumns;
    if (pSheet->GetHeight() / sheet.cy < cRows) return false;
    for (int f = 0; f < sheet.cFrames; ++f) {
        const int x = sheet.cx * (f % cColumns);
        const int y = sheet.cy * (f / cColumns);
        const RECT rc = {x, y, x + sheet.cx, y + sheet.cy};
        Graphic* pFrame = MemNew(Graphic, pSheet, &rc);
        if (pFrame == nullptr) return false;
        *sheet.slot(f) = pFrame;
    }
    return true;
}

void FreeFrames(const SHEET& sheet) {
    for (int f = sheet.cFrames - 1; f >= 0; --f) {
        Graphic** ppFrame = sheet.slot(f);
        if (*ppFrame != nullptr) MemDelete(*ppFrame);
        *ppFrame = nullptr;
    }
}

void FreeAll() {
    for (int i = cSheets - 1; i >= 0; --i) {
        FreeFrames(krgSheets[i]);
        if (g_rgpSheet[i] != nullptr) MemDelete(g_rgpSheet[i]);
        g_rgpSheet[i] = nullptr;
    }
    if (g_graphics.pBoard != nullptr) MemDelete(g_graphics.pBoard);
    if (PaletteGroup* pPalette = g_graphics.pPalette) {
        // A load that failed half-way leaves the group open; closing the emptied group
        // merges nothing.
        while (pPalette->IsOpen())
            pPalette->Close();
        MemDelete(pPalette);
    }
    std::memset(&g_graphics, 0, sizeof(g_graphics));
    g_fLoaded = false;
}

bool Load(host::HINSTANCE hInstance) {
    g_graphics.pPalette = MemNew(PaletteGroup);
    if (g_graphics.pPalette == nullptr || !g_graphics.pPalette->Open()) return false;

    g_graphics.pBoard = LoadPicture(hInstance, IDG_BOARD, clrNone);
    if (g_graphics.pBoard == nullptr) return false;
    g_graphics.pPalette->Add(g_graphics.pBoard, FALSE);
    if (!ScanLayout(g_graphics.pBoard, &g_graphics.layout)) return false;

    for (int i = 0; i < cSheets; ++i) {
        g_rgpSheet[i] = LoadPicture(hInstance, krgSheets[i].nId, clrKey);
        if (g_rgpSheet[i] == nullptr) return false;
        g_graphics.pPalette->Add(g_rgpSheet[i], FALSE);
        if (!CutSheet(g_rgpSheet[i], krgSheets[i])) return false;
    }

    g_graphics.pPalette->Close();
    // The merge rewrote the pixels; find the opaque runs now rather than on the first frame.
    for (Graphic* pSheet : g_rgpSheet)
        pSheet->PrepareTransparency();
    return true;
}

} // namespace

bool LoadGraphics(host::HINSTANCE hInstance) {
    if (g_fLoaded) return false;
    if (!Load(hInstance)) {
        FreeAll();
        return false;
    }
    g_fLoaded = true;
    return true;
}

void FreeGraphics() {
    FreeAll();
}

bool AreGraphicsLoaded() {
    return g_fLoaded;
}

const GAMEGRAPHICS& GameGraphics() {
    return g_graphics;
}

const LAYOUT& GameLayout() {
    return g_graphics.layout;
}
