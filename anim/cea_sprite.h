// Sprite: an ordered set of equally sized frames (Graphics) that an animated object cycles
// through. Frames come from the layers of a layered image or from splitting one image into
// a grid of child graphics; a child sprite takes the same rectangle out of every frame of
// its parent. The sprite owns its frames, the source graphic it created, and the child
// sprites still registered when it is destroyed.
#pragma once

#include "anim/cea_graphic.h"

class AnimWindow;

// Split arguments: a negative count with the top bit set is an explicit size in pixels
// (SPRITE_SIZE(20)); a limit of SPRITE_NO_LIMIT keeps every frame.
constexpr int SPRITE_SIZE(int cPixels) {
    return static_cast<int>(static_cast<DWORD>(cPixels) | 0x80000000u);
}
constexpr int SPRITE_NO_LIMIT = static_cast<int>(0x80000000u);

class Sprite {
public:
    // The sprite does not own pSource.
    Sprite(Graphic* pSource, int cColumns, int cRows, int cLimit);
    Sprite(const TCHAR* pszFile, Color clrTransparent, int cColumns, int cRows, int cLimit);
    Sprite(host::HANDLE hFile, Color clrTransparent, int cColumns, int cRows, int cLimit);
    Sprite(const void* pvData, DWORD cbData, Color clrTransparent, int cColumns, int cRows,
           int cLimit);
    Sprite(host::HMODULE hModule, const TCHAR* pszName, Color clrTransparent, int cColumns,
           int cRows, int cLimit);
    // A child: the rectangle out of every frame of pParent.
    Sprite(Sprite* pParent, const RECT* prc);

    virtual ~Sprite(); // calls Destroy
    Sprite(const Sprite&) = delete;
    Sprite& operator=(const Sprite&) = delete;
    void Destroy();

    BOOL IsChild() const { return m_fChild != 0; }
    Sprite* GetParent() const { return m_fChild ? m_pParent : nullptr; }
    void GetRectInParent(RECT* prc) const;
    void GetRect(RECT* prc) const;
    int GetWidth() const;
    int GetHeight() const;
    Graphic* GetFrame(DWORD i) const;
    // The frame for the window's frame counter (counter mod frame count); null without frames.
    Graphic* GetFrameFor(const AnimWindow* pWindow) const;
    DWORD GetFrameCount() const { return m_cFrames; }
    Graphic* GetSource() const { return m_pSource; }

    // The image reader appends one frame per layer; the sprite takes ownership (a
    // MemNew'd graphic). 1 on success.
    BOOL AppendFrame(Graphic* pFrame);

private:
    void Clear();
    void Split(int cColumns, int cRows, int cLimit);
    void AddChild(Sprite* pChild);
    void RemoveChild(Sprite* pChild);

    DWORD m_fOwnsSource = 0;
    Graphic* m_pSource = nullptr;
    DWORD m_fChild = 0;
    RECT m_rcInParent = {};
    Sprite* m_pParent = nullptr;
    Graphic** m_ppFrames = nullptr;
    DWORD m_cFrames = 0;
    Sprite** m_ppChildren = nullptr;
    DWORD m_cChildren = 0;
};
