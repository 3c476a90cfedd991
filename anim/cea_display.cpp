#include "anim/cea_display.h"

#include "anim/cea_palette.h"
#include "foundation/memmgr.h"
#include "host/screen.h"

namespace {

Display* g_pDisplay = nullptr;
SystemGroupChangedHandler g_pfnGroupChanged = nullptr;

} // namespace

Display::Display(bool fForce8) {
    m_cx = host::GetSystemMetrics(host::SM_CXSCREEN);
    m_cy = host::GetSystemMetrics(host::SM_CYSCREEN);
    host::HDC hdc = host::GetDC(nullptr);
    m_nDepth = hdc != nullptr ? host::GetDeviceCaps(hdc, host::BITSPIXEL)
                              : static_cast<int>(host::GetDisplayFormat().nDepth);
    if (hdc != nullptr) {
        host::ReleaseDC(nullptr, hdc);
    }
    if (fForce8) {
        m_nDepth = 8;
    }
}

Display::~Display() {
    if (g_pDisplay == this) {
        g_pDisplay = nullptr;
    }
}

void Display::GetRect(host::RECT* prc) const {
    host::SetRect(prc, 0, 0, m_cx, m_cy);
}

void Display::SetSystemGroup(PaletteGroup* pGroup) {
    m_pGroup = pGroup;
    if (g_pfnGroupChanged != nullptr) {
        g_pfnGroupChanged();
    }
}

host::HPALETTE Display::GetPalette() const {
    if (!IsPaletteBased() || m_pGroup == nullptr) {
        return nullptr;
    }
    return m_pGroup->GetPalette();
}

Display* GetDisplay() {
    return g_pDisplay;
}

Display* CreateDisplay(bool fForce8) {
    if (g_pDisplay == nullptr) {
        g_pDisplay = MemNew(Display, fForce8);
    }
    return g_pDisplay;
}

void DestroyDisplay() {
    if (g_pDisplay != nullptr) {
        Display* pDisplay = g_pDisplay;
        g_pDisplay = nullptr;
        MemDelete(pDisplay);
    }
}

int GetDisplayDepth() {
    if (g_pDisplay != nullptr) {
        return g_pDisplay->GetDepth();
    }
    return static_cast<int>(host::GetDisplayFormat().nDepth);
}

void SetSystemGroupChangedHandler(SystemGroupChangedHandler pfn) {
    g_pfnGroupChanged = pfn;
}
