// PaletteGroup: one shared 256-colour palette for indexed graphics drawn together.
//
// Colours (pinned to a slot or free) and indexed graphics are collected while the group is
// open; closing the outermost open merges them: slots are assigned, member pixels are
// rewritten to the new slots and every member takes the merged colour table. The group
// also offers the fixed 4 x 8 x 8 palette with a constant-time lookup, a logical palette
// for palette displays and the nearest-colour table that translucent drawing into 8-bit
// graphics uses. Used from the drawing thread only.
#pragma once

#include "anim/cea_graphic.h"

// Marker values passed in place of palette entries to Add (entries) and AddSpecific.
#define PE_SYSTEM_COLORS (reinterpret_cast<const PALETTEENTRY*>(1))
#define PE_FIXED_PALETTE (reinterpret_cast<const PALETTEENTRY*>(2))

// One entry of the group's list; a free record is all zero.
struct PALETTEGROUPENTRY {
    DWORD fInUse;
    DWORD fSpecific; // the colour is pinned
    int iSlot;       // -1 when not pinned to a slot
    DWORD fGraphic;
    DWORD fUsesPalette; // the graphic already uses the group's palette (no remapping)
    Graphic* pGraphic;
    Color clr;
};

class PaletteGroup {
public:
    PaletteGroup();
    virtual ~PaletteGroup(); // warns when destroyed while open, detaches every member
    PaletteGroup(const PaletteGroup&) = delete;
    PaletteGroup& operator=(const PaletteGroup&) = delete;

    BOOL Open();
    void Close(); // the outermost Close merges
    bool IsOpen() const { return m_cOpen > 0; }

    void Add(Graphic* pGraphic, BOOL fUsesPalette);
    void Remove(Graphic* pGraphic); // allowed while closed
    void Add(Sprite* pSprite, BOOL fUsesPalette);
    void Remove(Sprite* pSprite);
    void AddSpecific(DWORD iSlot, Color clr);
    void AddSpecific(DWORD iSlot, const PALETTEENTRY* pEntry); // or a marker
    void RemoveSpecific(DWORD iSlot);
    void Add(Color clr);
    void Remove(Color clr);
    void Add(const PALETTEENTRY* pEntries, DWORD cEntries); // or a marker
    void Remove(const PALETTEENTRY* pEntries, DWORD cEntries);

    Color GetColor(DWORD iSlot) const; // -1 while open or above 255
    int FindColor(Color clr);          // slot or -1
    UINT GetEntries(PALETTEENTRY* pEntries, UINT iFirst, UINT cEntries) const;
    host::HPALETTE GetPalette(); // palette displays only, while closed
    void BuildNearestTable();
    void Show(const TCHAR* pszTitle); // development viewer

    // For translucent drawing into 8-bit members.
    bool IsFixedPalette() const { return m_fFixed != 0; }
    // 4096 slots indexed by (red4 << 8) | (green4 << 4) | blue4; null until built and in
    // fixed-palette mode.
    const BYTE* GetNearestTable() const { return m_pbNearest; }

    // The fixed palette: the slot of cube index r * 64 + g * 8 + b, and the slot for a
    // colour by (red >> 6) * 64 + (green >> 5) * 8 + (blue >> 5).
    static BYTE FixedSlot(int iCube);
    static BYTE FixedSlotForColor(BYTE red, BYTE green, BYTE blue);
    // Colour to hue, lightness, saturation (0-255 each) with truncating divisions.
    static void ColorToHLS(BYTE red, BYTE green, BYTE blue, BYTE* pHue, BYTE* pLightness,
                           BYTE* pSaturation);
    // The 4096-entry tables of the 12-bit colours (16 x nibble + 4 per channel).
    static const BYTE* HueTable();
    static const BYTE* SaturationTable();
    static const BYTE* LightnessTable();
    // Process-wide: slot allocations that failed (only the first is logged).
    static DWORD OutOfColorsCount();

private:
    void Merge();
    int PlaceColor(Color clr, int iSlot, bool fFixedLookup);
    // Placement limited to the first cSlots slots (graphics of fewer than 8 bits).
    int PlaceColor(Color clr, int iSlot, bool fFixedLookup, int cSlots);
    void RemapGraphic(Graphic* pGraphic);
    PALETTEGROUPENTRY* NewEntry();

    PALETTEGROUPENTRY* m_pEntries = nullptr;
    DWORD m_cEntries = 0;
    host::HPALETTE m_hpal = nullptr;
    PALETTEENTRY m_rgPalette[256] = {};
    int m_cOpen = 0;
    DWORD m_fFixed = 0;
    BYTE* m_pbNearest = nullptr;
    // During a merge: slots already handed out, so that a slot given to black is not
    // mistaken for a free one.
    bool m_rgfTaken[256] = {};
    // The slot last used for a colour of each sum red + green + blue (0..765), a hint checked
    // before use. Each group keeps its own, so groups on different threads never share one.
    BYTE m_rgSumCache[766] = {};
};
