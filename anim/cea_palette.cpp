#include "anim/cea_palette.h"

#include "anim/cea_display.h"
#include "anim/cea_sprite.h"
#include "foundation/diag.h"
#include "foundation/memmgr.h"
#include "host/screen.h"
#include "host/window.h"

#include <atomic>
#include <cstdint>
#include <cstring>

namespace {

// Counted from any thread that merges a group.
std::atomic<DWORD> g_cOutOfColors{0};

constexpr BYTE kRedLevels[4] = {0, 128, 192, 255};
constexpr BYTE kGreenBlueLevels[8] = {0, 40, 80, 115, 160, 192, 225, 255};

constexpr Color kBlack = 0x000000;
constexpr Color kWhite = 0xFFFFFF;

unsigned long Ptr(const void* pv) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pv));
}

Color EntryColor(const PALETTEENTRY& pe) {
    return host::RGB(pe.peRed, pe.peGreen, pe.peBlue);
}

int ColorSum(Color clr) {
    return static_cast<int>((clr & 0xFF) + ((clr >> 8) & 0xFF) + ((clr >> 16) & 0xFF));
}

bool IsColorEntry(const PALETTEGROUPENTRY& e) {
    return e.fInUse && !e.fGraphic;
}

} // namespace

PaletteGroup::PaletteGroup() {
    Open();
    if (GetDisplayDepth() == 4) {
        Add(PE_SYSTEM_COLORS, 0);
    } else {
        AddSpecific(0, kBlack);
        AddSpecific(255, kWhite);
    }
    Close();
}

PaletteGroup::~PaletteGroup() {
    if (m_cOpen > 0) {
        cetl::trace("Warning: PaletteGroup 0x%08lX destroyed while open", Ptr(this));
        m_cOpen = 0;
    }
    for (DWORD i = 0; i < m_cEntries; i++) {
        PALETTEGROUPENTRY& e = m_pEntries[i];
        if (e.fInUse && e.fGraphic && e.pGraphic != nullptr && e.pGraphic->IsValid() &&
            e.pGraphic->GetPaletteGroup() == this) {
            e.pGraphic->SetPaletteGroup(nullptr);
        }
    }
    MemFree(m_pEntries);
    m_pEntries = nullptr;
    m_cEntries = 0;
    if (m_hpal != nullptr) {
        host::DeleteObject(m_hpal);
        m_hpal = nullptr;
    }
    Display* pDisplay = GetDisplay();
    if (pDisplay != nullptr && pDisplay->GetSystemGroup() == this) {
        pDisplay->SetSystemGroup(nullptr);
    }
    MemFree(m_pbNearest);
    m_pbNearest = nullptr;
}

PALETTEGROUPENTRY* PaletteGroup::NewEntry() {
    for (DWORD i = 0; i < m_cEntries; i++) {
        if (!m_pEntries[i].fInUse) {
            return &m_pEntries[i];
        }
    }
    DWORD iNew = m_cEntries;
    if (!MemReallocArray(&m_pEntries, &m_cEntries, iNew + 1, 4)) {
        return nullptr;
    }
    return &m_pEntries[iNew];
}

BOOL PaletteGroup::Open() {
    if (m_cOpen == 0) {
        for (DWORD i = 0; i < m_cEntries; i++) {
            const PALETTEGROUPENTRY& e = m_pEntries[i];
            if (e.fInUse && e.fGraphic && e.pGraphic != nullptr && e.pGraphic->IsValid() &&
                e.pGraphic->IsDCOpen()) {
                cetl::trace("PaletteGroup 0x%08lX could not be opened because of graphic 0x%08lX",
                            Ptr(this), Ptr(e.pGraphic));
                return 0;
            }
        }
    }
    m_cOpen++;
    return 1;
}

void PaletteGroup::Close() {
    // An unbalanced Close must not drive the count negative (the group would stay closed
    // for every later Open).
    if (m_cOpen <= 0) {
        return;
    }
    if (--m_cOpen == 0) {
        Merge();
    }
}

void PaletteGroup::Add(Graphic* pGraphic, BOOL fUsesPalette) {
    if (!IsOpen()) {
        cetl::trace("Add (Graphic 0x%08lX) called for closed PaletteGroup 0x%08lX", Ptr(pGraphic),
                    Ptr(this));
        return;
    }
    if (pGraphic == nullptr || !pGraphic->IsValid()) {
        return;
    }
    pGraphic = pGraphic->GetRoot();
    if (pGraphic == nullptr || pGraphic->GetDepth() > 8) {
        return;
    }
    for (DWORD i = 0; i < m_cEntries; i++) {
        if (m_pEntries[i].fInUse && m_pEntries[i].fGraphic && m_pEntries[i].pGraphic == pGraphic) {
            return;
        }
    }
    PALETTEGROUPENTRY* pEntry = NewEntry();
    if (pEntry == nullptr) {
        return;
    }
    pEntry->fInUse = 1;
    pEntry->fSpecific = 0;
    pEntry->iSlot = -1;
    pEntry->fGraphic = 1;
    pEntry->fUsesPalette = fUsesPalette ? 1 : 0;
    pEntry->pGraphic = pGraphic;
    pEntry->clr = 0;
    pGraphic->SetPaletteGroup(this);
}

void PaletteGroup::Remove(Graphic* pGraphic) {
    if (pGraphic == nullptr) {
        return;
    }
    // A destroyed graphic can no longer name its root; it is removed by its own address.
    if (pGraphic->IsValid()) {
        pGraphic = pGraphic->GetRoot();
    }
    for (DWORD i = 0; i < m_cEntries; i++) {
        PALETTEGROUPENTRY& e = m_pEntries[i];
        if (e.fInUse && e.fGraphic && e.pGraphic == pGraphic) {
            e = PALETTEGROUPENTRY{};
        }
    }
    // Only our own pointer: the graphic may have joined another group since.
    if (pGraphic->IsValid() && pGraphic->GetPaletteGroup() == this) {
        pGraphic->SetPaletteGroup(nullptr);
    }
}

void PaletteGroup::Add(Sprite* pSprite, BOOL fUsesPalette) {
    if (!IsOpen()) {
        cetl::trace("Add (Sprite 0x%08lX) called for closed PaletteGroup 0x%08lX", Ptr(pSprite),
                    Ptr(this));
        return;
    }
    while (pSprite != nullptr && pSprite->IsChild()) {
        pSprite = pSprite->GetParent();
    }
    if (pSprite == nullptr) {
        return;
    }
    for (DWORD i = 0; i < pSprite->GetFrameCount(); i++) {
        Add(pSprite->GetFrame(i), fUsesPalette);
    }
}

void PaletteGroup::Remove(Sprite* pSprite) {
    while (pSprite != nullptr && pSprite->IsChild()) {
        pSprite = pSprite->GetParent();
    }
    if (pSprite == nullptr) {
        return;
    }
    for (DWORD i = 0; i < pSprite->GetFrameCount(); i++) {
        Remove(pSprite->GetFrame(i));
    }
}

void PaletteGroup::AddSpecific(DWORD iSlot, Color clr) {
    if (!IsOpen()) {
        cetl::trace("AddSpecific (%lu) called for closed PaletteGroup 0x%08lX",
                    static_cast<unsigned long>(iSlot), Ptr(this));
        return;
    }
    // The palette has 256 slots; a pin elsewhere would write past it at the merge.
    if (iSlot > 255) {
        cetl::trace("AddSpecific (%lu) ignored: no such slot in PaletteGroup 0x%08lX",
                    static_cast<unsigned long>(iSlot), Ptr(this));
        return;
    }
    clr &= 0xFFFFFF;
    for (DWORD i = 0; i < m_cEntries; i++) {
        PALETTEGROUPENTRY& e = m_pEntries[i];
        if (!IsColorEntry(e)) {
            continue;
        }
        if (e.fSpecific && e.iSlot == static_cast<int>(iSlot)) {
            return;
        }
        if (e.clr == clr) {
            e.fSpecific = 1;
            return;
        }
    }
    PALETTEGROUPENTRY* pEntry = NewEntry();
    if (pEntry == nullptr) {
        return;
    }
    *pEntry = PALETTEGROUPENTRY{};
    pEntry->fInUse = 1;
    pEntry->fSpecific = 1;
    pEntry->iSlot = static_cast<int>(iSlot);
    pEntry->clr = clr;
}

void PaletteGroup::AddSpecific(DWORD iSlot, const PALETTEENTRY* pEntry) {
    if (!IsOpen()) {
        cetl::trace("AddSpecific (%lu,pe) called for closed PaletteGroup 0x%08lX",
                    static_cast<unsigned long>(iSlot), Ptr(this));
        return;
    }
    if (pEntry == PE_SYSTEM_COLORS || pEntry == PE_FIXED_PALETTE) {
        Add(pEntry, 0);
    } else if (pEntry != nullptr) {
        Add(EntryColor(*pEntry));
    }
}

void PaletteGroup::RemoveSpecific(DWORD iSlot) {
    if (!IsOpen()) {
        cetl::trace("RemoveSpecific(%lu) called for closed PaletteGroup 0x%08lX",
                    static_cast<unsigned long>(iSlot), Ptr(this));
        return;
    }
    for (DWORD i = 0; i < m_cEntries; i++) {
        PALETTEGROUPENTRY& e = m_pEntries[i];
        if (IsColorEntry(e) && e.fSpecific && e.iSlot != -1 &&
            static_cast<DWORD>(e.iSlot) == iSlot) {
            e = PALETTEGROUPENTRY{};
        }
    }
}

void PaletteGroup::Add(Color clr) {
    if (!IsOpen()) {
        cetl::trace("Add (Color) called for closed PaletteGroup 0x%08lX", Ptr(this));
        return;
    }
    clr &= 0xFFFFFF;
    for (DWORD i = 0; i < m_cEntries; i++) {
        if (IsColorEntry(m_pEntries[i]) && m_pEntries[i].clr == clr) {
            return;
        }
    }
    PALETTEGROUPENTRY* pEntry = NewEntry();
    if (pEntry == nullptr) {
        return;
    }
    *pEntry = PALETTEGROUPENTRY{};
    pEntry->fInUse = 1;
    pEntry->iSlot = -1;
    pEntry->clr = clr;
}

void PaletteGroup::Remove(Color clr) {
    if (!IsOpen()) {
        cetl::trace("Remove (Color) called for closed PaletteGroup 0x%08lX", Ptr(this));
        return;
    }
    clr &= 0xFFFFFF;
    for (DWORD i = 0; i < m_cEntries; i++) {
        PALETTEGROUPENTRY& e = m_pEntries[i];
        if (IsColorEntry(e) && e.clr == clr) {
            e = PALETTEGROUPENTRY{};
        }
    }
}

void PaletteGroup::Add(const PALETTEENTRY* pEntries, DWORD cEntries) {
    if (!IsOpen()) {
        cetl::trace("Add (PaletteEntry) called for closed PaletteGroup 0x%08lX", Ptr(this));
        return;
    }
    if (pEntries == PE_SYSTEM_COLORS) {
        int nDepth = GetDisplayDepth();
        if (nDepth < 1 || nDepth > 8) {
            return;
        }
        UINT cSystem = 1u << nDepth;
        PALETTEENTRY rgSystem[256] = {};
        UINT cRead = host::GetSystemPaletteEntries(nullptr, 0, cSystem, rgSystem);
        if (cRead < cSystem) {
            return;
        }
        if (cSystem == 256) {
            for (DWORD i = 1; i <= 9; i++) {
                AddSpecific(i, &rgSystem[i]);
            }
            for (DWORD i = 246; i <= 254; i++) {
                AddSpecific(i, &rgSystem[i]);
            }
        } else if (cSystem <= 16) {
            for (DWORD i = 1; i + 2 <= cSystem; i++) {
                AddSpecific(i, &rgSystem[i]);
            }
        }
    } else if (pEntries == PE_FIXED_PALETTE) {
        for (int r = 0; r < 4; r++) {
            for (int g = 0; g < 8; g++) {
                for (int b = 0; b < 8; b++) {
                    AddSpecific(FixedSlot(r * 64 + g * 8 + b),
                                host::RGB(kRedLevels[r], kGreenBlueLevels[g], kGreenBlueLevels[b]));
                }
            }
        }
        m_fFixed = 1;
    } else if (pEntries != nullptr) {
        for (DWORD i = 0; i < cEntries; i++) {
            Add(EntryColor(pEntries[i]));
        }
    }
}

void PaletteGroup::Remove(const PALETTEENTRY* pEntries, DWORD cEntries) {
    if (!IsOpen()) {
        cetl::trace("Remove (PaletteEntry) called for closed PaletteGroup 0x%08lX", Ptr(this));
        return;
    }
    if (pEntries == PE_SYSTEM_COLORS || pEntries == PE_FIXED_PALETTE) {
        for (DWORD i = 0; i < m_cEntries; i++) {
            PALETTEGROUPENTRY& e = m_pEntries[i];
            if (IsColorEntry(e) && e.fSpecific) {
                e = PALETTEGROUPENTRY{};
            }
        }
        m_fFixed = 0;
    } else if (pEntries != nullptr) {
        for (DWORD i = 0; i < cEntries; i++) {
            Remove(EntryColor(pEntries[i]));
        }
    }
}

Color PaletteGroup::GetColor(DWORD iSlot) const {
    if (IsOpen() || iSlot > 255) {
        return static_cast<Color>(-1);
    }
    return EntryColor(m_rgPalette[iSlot]);
}

int PaletteGroup::FindColor(Color clr) {
    if (IsOpen()) {
        return -1;
    }
    clr &= 0xFFFFFF;
    int iSum = ColorSum(clr);
    if (EntryColor(m_rgPalette[m_rgSumCache[iSum]]) == clr) {
        return m_rgSumCache[iSum];
    }
    for (int i = 0; i < 256; i++) {
        if (EntryColor(m_rgPalette[i]) == clr) {
            m_rgSumCache[iSum] = static_cast<BYTE>(i);
            return i;
        }
    }
    return -1;
}

UINT PaletteGroup::GetEntries(PALETTEENTRY* pEntries, UINT iFirst, UINT cEntries) const {
    if (IsOpen() || iFirst >= 256 || pEntries == nullptr) {
        return 0;
    }
    UINT cCopy = cEntries < 256 - iFirst ? cEntries : 256 - iFirst;
    if (cCopy == 0) {
        return 0;
    }
    std::memcpy(pEntries, &m_rgPalette[iFirst], cCopy * sizeof(PALETTEENTRY));
    return cCopy;
}

host::HPALETTE PaletteGroup::GetPalette() {
    if (IsOpen() || GetDisplayDepth() > 8) {
        return nullptr;
    }
    if (m_hpal == nullptr) {
        auto* plp = static_cast<host::LOGPALETTE*>(
            MemAlloc(sizeof(host::LOGPALETTE) + 255 * sizeof(PALETTEENTRY)));
        if (plp == nullptr) {
            return nullptr;
        }
        plp->palVersion = 0x300;
        plp->palNumEntries = 256;
        for (int i = 0; i < 256; i++) {
            plp->palPalEntry[i] = m_rgPalette[i];
            plp->palPalEntry[i].peFlags = 0;
        }
        m_hpal = host::CreatePalette(plp);
        MemFree(plp);
        if (m_hpal != nullptr) {
            HDC hdc = host::GetDC(nullptr);
            if (hdc != nullptr) {
                host::HPALETTE hpalOld = host::SelectPalette(hdc, m_hpal, 0);
                host::RealizePalette(hdc);
                // The screen context outlives this palette; leave it holding its own.
                if (hpalOld != nullptr) {
                    host::SelectPalette(hdc, hpalOld, 0);
                }
                host::ReleaseDC(nullptr, hdc);
            }
        }
    }
    return m_hpal;
}

int PaletteGroup::PlaceColor(Color clr, int iSlot, bool fFixedLookup) {
    return PlaceColor(clr, iSlot, fFixedLookup, 256);
}

int PaletteGroup::PlaceColor(Color clr, int iSlot, bool fFixedLookup, int cSlots) {
    BYTE red = static_cast<BYTE>(clr & 0xFF);
    BYTE green = static_cast<BYTE>((clr >> 8) & 0xFF);
    BYTE blue = static_cast<BYTE>((clr >> 16) & 0xFF);
    clr = host::RGB(red, green, blue);
    int iResult = -1;
    if (iSlot >= 0 && iSlot <= 255) {
        m_rgPalette[iSlot] = PALETTEENTRY{red, green, blue, 0};
        iResult = iSlot;
    } else if (fFixedLookup) {
        iResult = FixedSlotForColor(red, green, blue);
        if (iResult >= cSlots) {
            iResult = -1;
        }
    } else {
        int iCached = m_rgSumCache[ColorSum(clr)];
        if (iCached < cSlots && EntryColor(m_rgPalette[iCached]) == clr) {
            iResult = iCached;
        }
        for (int i = 0; iResult < 0 && i < cSlots; i++) {
            if (EntryColor(m_rgPalette[i]) == clr) {
                iResult = i;
            }
        }
        // A free slot is black and not handed out yet: a black colour placed in a slot
        // other than 0 keeps it.
        int iLastFree = cSlots - 1 < 254 ? cSlots - 1 : 254;
        for (int i = 1; iResult < 0 && i <= iLastFree; i++) {
            if (!m_rgfTaken[i] && EntryColor(m_rgPalette[i]) == kBlack) {
                m_rgPalette[i] = PALETTEENTRY{red, green, blue, 0};
                iResult = i;
            }
        }
    }
    if (iResult < 0) {
        if (g_cOutOfColors++ == 0) {
            cetl::trace("Out of colors when merging graphic into palette");
        }
        return -1;
    }
    m_rgfTaken[iResult] = true;
    m_rgSumCache[ColorSum(EntryColor(m_rgPalette[iResult]))] = static_cast<BYTE>(iResult);
    return iResult;
}

void PaletteGroup::RemapGraphic(Graphic* pGraphic) {
    int nDepth = pGraphic->GetDepth();
    if (nDepth < 1 || nDepth > 8) {
        return;
    }
    // A graphic of fewer than 8 bits holds only 2^depth values and takes only that many
    // slots of the merged palette, so its colours must land in those slots.
    const int cValues = 1 << nDepth;
    constexpr int kUnmapped = -1;
    constexpr int kFailed = -2; // placement failed once; not retried for every pixel
    int rgRemap[256];
    for (int& n : rgRemap) {
        n = kUnmapped;
    }
    auto remap = [&](DWORD nValue) -> int {
        if (nValue >= static_cast<DWORD>(cValues)) {
            return kFailed;
        }
        int& n = rgRemap[nValue];
        if (n == kUnmapped) {
            n = PlaceColor(pGraphic->GetPaletteColor(nValue), -1, m_fFixed != 0, cValues);
            if (n < 0) {
                n = kFailed;
            }
        }
        return n;
    };
    Color clrTransparent = pGraphic->GetTransparency();
    if (clrTransparent != clrNone) {
        remap(pGraphic->ColorToValue(clrTransparent));
    }
    const int cx = pGraphic->GetWidth();
    const int cy = pGraphic->GetHeight();
    BYTE* pbBits = pGraphic->GetBits();
    const LONG cbPitch = pGraphic->GetPitch();
    if (nDepth == 8 && pbBits != nullptr && cbPitch >= cx) {
        for (int y = 0; y < cy; y++) {
            BYTE* pb = pbBits + static_cast<std::ptrdiff_t>(y) * cbPitch;
            for (int x = 0; x < cx; x++) {
                int n = remap(pb[x]);
                if (n >= 0) {
                    pb[x] = static_cast<BYTE>(n);
                }
            }
        }
    } else {
        for (int y = 0; y < cy; y++) {
            for (int x = 0; x < cx; x++) {
                int n = remap(pGraphic->GetPixelValue(x, y));
                if (n >= 0) {
                    pGraphic->SetPixelValue(x, y, static_cast<DWORD>(n));
                }
            }
        }
    }
}

void PaletteGroup::Merge() {
    for (int i = 0; i < 256; i++) {
        m_rgPalette[i] = PALETTEENTRY{0, 0, 0, 0};
        m_rgfTaken[i] = false;
    }
    for (DWORD i = 0; i < m_cEntries; i++) {
        const PALETTEGROUPENTRY& e = m_pEntries[i];
        if (IsColorEntry(e) && e.fSpecific) {
            PlaceColor(e.clr, e.iSlot, m_fFixed != 0);
        }
    }
    if (!m_fFixed) {
        for (DWORD i = 0; i < m_cEntries; i++) {
            const PALETTEGROUPENTRY& e = m_pEntries[i];
            if (IsColorEntry(e) && !e.fSpecific) {
                PlaceColor(e.clr, -1, false);
            }
        }
    }
    for (DWORD i = 0; i < m_cEntries; i++) {
        const PALETTEGROUPENTRY& e = m_pEntries[i];
        if (e.fInUse && e.fGraphic && !e.fUsesPalette && e.pGraphic != nullptr &&
            e.pGraphic->IsValid()) {
            RemapGraphic(e.pGraphic);
        }
    }
    for (DWORD i = 0; i < m_cEntries; i++) {
        const PALETTEGROUPENTRY& e = m_pEntries[i];
        if (e.fInUse && e.fGraphic && e.pGraphic != nullptr && e.pGraphic->IsValid()) {
            int nDepth = e.pGraphic->GetDepth();
            if (nDepth >= 1 && nDepth <= 8) {
                e.pGraphic->SetPaletteEntries(m_rgPalette, 0, 1u << nDepth);
            }
        }
    }
    if (m_hpal != nullptr) {
        host::DeleteObject(m_hpal);
        m_hpal = nullptr;
    }
}

void PaletteGroup::BuildNearestTable() {
    MemFree(m_pbNearest);
    m_pbNearest = nullptr;
    if (m_fFixed) {
        return;
    }
    BYTE* pbTable = static_cast<BYTE*>(MemAllocTagged(1 << 15, "1 << (5+5+5)"));
    int* pnDistance =
        static_cast<int*>(MemAllocTagged(sizeof(int) * (1 << 15), "sizeof(int) * (1 << (5+5+5))"));
    if (pbTable == nullptr || pnDistance == nullptr) {
        MemFree(pbTable);
        MemFree(pnDistance);
        return;
    }
    std::memset(pbTable, 0, 1 << (5 + 5 + 5));
    std::memset(pnDistance, 0xFE, sizeof(int) * (1 << (5 + 5 + 5)));
    constexpr int kUnset = static_cast<int>(0xFEFEFEFEu);
    const BYTE* pbHue = HueTable();
    const BYTE* pbSaturation = SaturationTable();
    const BYTE* pbLightness = LightnessTable();
    for (int s = 0; s < 256; s++) {
        BYTE h, l, sat;
        ColorToHLS(m_rgPalette[s].peRed, m_rgPalette[s].peGreen, m_rgPalette[s].peBlue, &h, &l,
                   &sat);
        for (int j = 0; j < 4096; j++) {
            int nHue = pbHue[j] - h;
            int nSat = pbSaturation[j] - sat;
            int nLight = pbLightness[j] - l;
            int nDistance = 2 * (nHue < 0 ? -nHue : nHue) + (nSat < 0 ? -nSat : nSat) +
                            3 * (nLight < 0 ? -nLight : nLight);
            if (pnDistance[j] == kUnset || nDistance < pnDistance[j]) {
                pnDistance[j] = nDistance;
                pbTable[j] = static_cast<BYTE>(s);
            }
        }
    }
    MemFree(pnDistance);
    m_pbNearest = pbTable;
}

DWORD PaletteGroup::OutOfColorsCount() {
    return g_cOutOfColors;
}

namespace {

constexpr int kSwatchWidth = 32;
constexpr int kSwatchHeight = 24;
constexpr int kShowWidth = 16 * kSwatchWidth;
constexpr int kShowHeight = 16 * kSwatchHeight;
const TCHAR kShowClass[] = TEXT("PALETTEGROUPShowClass");

// What the viewer window needs; lives on Show's stack while the window exists.
struct ShowState {
    PaletteGroup* pGroup;
    const TCHAR* pszTitle;
    int iHover; // slot under the mouse, -1 outside
};

host::LRESULT ShowProc(host::HWND hwnd, UINT uMsg, host::WPARAM wParam, host::LPARAM lParam) {
    auto* pState = reinterpret_cast<ShowState*>(host::GetWindowLongPtr(hwnd, host::GWLP_USERDATA));
    switch (uMsg) {
    case host::WM_NCCREATE: {
        auto* pcs = reinterpret_cast<host::CREATESTRUCTA*>(lParam);
        host::SetWindowLongPtr(hwnd, host::GWLP_USERDATA,
                               reinterpret_cast<host::LONG_PTR>(pcs->lpCreateParams));
        break;
    }
    case host::WM_PAINT: {
        host::PAINTSTRUCT ps;
        HDC hdc = host::BeginPaint(hwnd, &ps);
        if (hdc != nullptr && pState != nullptr) {
            bool fPalette = GetDisplayDepth() <= 8;
            host::HPALETTE hpalOld = nullptr;
            host::HPALETTE hpal = fPalette ? pState->pGroup->GetPalette() : nullptr;
            if (hpal != nullptr) {
                hpalOld = host::SelectPalette(hdc, hpal, 0);
                host::RealizePalette(hdc);
            }
            for (int i = 0; i < 256; i++) {
                RECT rc = {(i % 16) * kSwatchWidth, (i / 16) * kSwatchHeight,
                           (i % 16 + 1) * kSwatchWidth, (i / 16 + 1) * kSwatchHeight};
                Color clr = hpal != nullptr ? host::PALETTEINDEX(static_cast<host::WORD>(i))
                                            : pState->pGroup->GetColor(static_cast<DWORD>(i));
                host::HBRUSH hbr = host::CreateSolidBrush(clr);
                host::FillRect(hdc, &rc, hbr);
                host::DeleteObject(hbr);
            }
            if (hpalOld != nullptr) {
                host::SelectPalette(hdc, hpalOld, 0);
            }
        }
        host::EndPaint(hwnd, &ps);
        return 0;
    }
    case host::WM_MOUSEMOVE: {
        if (pState == nullptr) {
            break;
        }
        int x = host::GET_X_LPARAM(lParam);
        int y = host::GET_Y_LPARAM(lParam);
        int iSlot = -1;
        if (x >= 0 && x < kShowWidth && y >= 0 && y < kShowHeight) {
            iSlot = (y / kSwatchHeight) * 16 + x / kSwatchWidth;
        }
        if (iSlot == pState->iHover) {
            return 0;
        }
        pState->iHover = iSlot;
        if (iSlot >= 0) {
            Color clr = pState->pGroup->GetColor(static_cast<DWORD>(iSlot));
            cetl::sformat title("I=%lu, RGB=%lu,%lu,%lu -- %s", static_cast<unsigned long>(iSlot),
                                static_cast<unsigned long>(clr & 0xFF),
                                static_cast<unsigned long>((clr >> 8) & 0xFF),
                                static_cast<unsigned long>((clr >> 16) & 0xFF), pState->pszTitle);
            host::SetWindowText(hwnd, title.Text());
            // Keep hearing the mouse so that leaving the swatches restores the title.
            host::SetCapture(hwnd);
        } else {
            host::SetWindowText(hwnd, pState->pszTitle);
            host::ReleaseCapture();
        }
        return 0;
    }
    case host::WM_COMMAND:
        if (host::LOWORD(wParam) == 1 || host::LOWORD(wParam) == 2) {
            host::DestroyWindow(hwnd);
            return 0;
        }
        break;
    case host::WM_NCDESTROY:
        host::SetWindowLongPtr(hwnd, host::GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return host::DefWindowProc(hwnd, uMsg, wParam, lParam);
}

} // namespace

void PaletteGroup::Show(const TCHAR* pszTitle) {
    if (pszTitle == nullptr) {
        pszTitle = TEXT("");
    }
    host::WNDCLASST<TCHAR> wc{};
    wc.lpfnWndProc = ShowProc;
    wc.lpszClassName = kShowClass;
    if (host::RegisterClass(&wc) == 0 && host::GetLastError() != host::ERROR_CLASS_ALREADY_EXISTS) {
        return;
    }
    constexpr DWORD kStyle = host::WS_OVERLAPPED | host::WS_CAPTION | host::WS_SYSMENU;
    RECT rc = {0, 0, kShowWidth, kShowHeight};
    host::AdjustWindowRectEx(&rc, kStyle, 0, 0);
    int cx = rc.right - rc.left;
    int cy = rc.bottom - rc.top;
    // Centre the client area on the screen.
    int x = (host::GetSystemMetrics(host::SM_CXSCREEN) - kShowWidth) / 2 + rc.left;
    int y = (host::GetSystemMetrics(host::SM_CYSCREEN) - kShowHeight) / 2 + rc.top;
    ShowState state = {this, pszTitle, -1};
    host::HWND hwnd = host::CreateWindowEx(0, kShowClass, pszTitle, kStyle, x, y, cx, cy, nullptr,
                                           nullptr, nullptr, &state);
    if (hwnd == nullptr) {
        return;
    }
    host::RunModalLoop(hwnd);
    if (host::IsWindow(hwnd)) {
        host::DestroyWindow(hwnd);
    }
}
