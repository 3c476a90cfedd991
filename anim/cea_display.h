// The display descriptor: one per process, made by the framework's start-up.
//
// Graphics created with depth 0 take the display's depth; on palette displays (8 bits or
// fewer) the system palette group decides the colours that every window shares.
#pragma once

#include "host/gdi.h"

class PaletteGroup;

class Display {
public:
    // Reads the primary screen's size and depth; fForce8 forces a depth of 8.
    explicit Display(bool fForce8);
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    int GetWidth() const { return m_cx; }
    int GetHeight() const { return m_cy; }
    int GetDepth() const { return m_nDepth; }
    void GetRect(host::RECT* prc) const;
    bool IsPaletteBased() const { return m_nDepth < 9; }
    PaletteGroup* GetSystemGroup() const { return m_pGroup; }
    // Every animated window drops and recreates its off-screen graphics for the new group.
    void SetSystemGroup(PaletteGroup* pGroup);
    // The system group's logical palette on palette displays, else null.
    host::HPALETTE GetPalette() const;

private:
    int m_cx = 0;
    int m_cy = 0;
    int m_nDepth = 0;
    PaletteGroup* m_pGroup = nullptr;
};

// The process's display, or null before start-up.
Display* GetDisplay();
// Made by the start-up (tag "DISPLAY"); a second call keeps the first display.
Display* CreateDisplay(bool fForce8);
void DestroyDisplay();
// The display's depth, or the host's display depth before start-up.
int GetDisplayDepth();

// The animated windows' reaction to a new system group, installed by the window code so
// that the display does not depend on it.
using SystemGroupChangedHandler = void (*)();
void SetSystemGroupChangedHandler(SystemGroupChangedHandler pfn);
