// Graphic: the framework's bitmap.
//
// A root graphic owns a bitmap section (pixels stored top-down, rows padded to 32 bits)
// with a colour table for indexed depths; a child graphic is a rectangle of a parent and
// shares its pixels. On top of the pixels a graphic keeps an optional transparency colour
// (with precomputed opaque runs, and on the desktop a mask), optional translucency
// (uniform or per-pixel opacity), an optional selection and its palette group.
//
// The game draws like the handheld (KELVANO_WIDE builds: colour-keyed blits, no mask, the
// pixels keep their colours), the installer like the desktop (mask blits; transparent
// pixels are zeroed while the mask exists).
//
// Every public operation on a destroyed graphic traces
// "Graphic::<Operation> called on invalid graphic (0x...)" and returns a neutral value.
// A graphic belongs to one thread at a time.
#pragma once

#include "foundation/tchar.h"
#include "host/file.h"
#include "host/gdi.h"
#include "host/resource.h"

#if KELVANO_WIDE
#define CEA_HANDHELD 1
#else
#define CEA_HANDHELD 0
#endif

class Sprite;
class PaletteGroup;

using host::BOOL;
using host::BYTE;
using host::DWORD;
using host::FALSE;
using host::HDC;
using host::LONG;
using host::PALETTEENTRY;
using host::RECT;
using host::RGBQUAD;
using host::TRUE;
using host::UINT;

// A colour is the platform value 0x00BBGGRR (red in the lowest byte).
using Color = host::COLORREF;
constexpr Color clrNone = 0xFFFFFFFF; // "no transparency colour"

// Width and height arguments of the drawing calls: up to the source's (or destination's)
// edge.
constexpr int cxToEdge = 0x7FFFFFFF;

// Translucency modes.
constexpr DWORD TRANSLUCENT_NONE = 0;    // opaque
constexpr DWORD TRANSLUCENT_UNIFORM = 1; // one opacity for every pixel
constexpr DWORD TRANSLUCENT_MAP = 2;     // one opacity byte per pixel of the root

struct TRANSLUCENCY {
    DWORD nMode;     // TRANSLUCENT_*
    BYTE bOpacity;   // mode 1; 255 counts as 256 when blending
    BYTE* pbOpacity; // mode 2: width x height bytes of the root, row-major
    LONG cRows;      // rows of the map (the root's height)
    LONG cbRow;      // bytes per map row (the root's width)
};

// One stretch of opaque pixels in a row of a transparent graphic.
struct OPAQUERUN {
    LONG x;
    LONG cx;
};
// Where a row's runs are in the run list: iFirst -1 for a row without opaque pixels.
struct RUNROW {
    LONG iFirst;
    LONG cRuns;
};

class Graphic {
public:
    // Empty but valid: no bitmap section.
    Graphic();
    // From a bitmap or Paint Shop Pro file; a layered image fills pSprite's frames.
    explicit Graphic(const TCHAR* pszFile, Sprite* pSprite = nullptr,
                     Color clrTransparent = clrNone);
    // From an open file at its current position (a bitmap file or bare bitmap data).
    Graphic(host::HANDLE hFile, Sprite* pSprite, Color clrTransparent = clrNone);
    // From bitmap or Paint Shop Pro data in memory (not kept).
    Graphic(const void* pvData, DWORD cbData, Sprite* pSprite = nullptr,
            Color clrTransparent = clrNone);
    // From a resource of type bitmap, "GRAPHIC" or "PSP" (tried in that order).
    Graphic(host::HMODULE hModule, const TCHAR* pszName, Sprite* pSprite = nullptr,
            Color clrTransparent = clrNone);
    // Blank: depth 0 is the display's; pColors gives an indexed depth's table (blue,
    // green, red, reserved), else black and white for 1 bit, the system palette otherwise.
    Graphic(int cx, int cy, int nDepth, const RGBQUAD* pColors = nullptr);
    // Blank with the group's colours; joins the group as already using its palette.
    Graphic(int cx, int cy, int nDepth, PaletteGroup* pGroup);
    // A rectangle of pParent (its whole rectangle when prc is null); shares its pixels.
    explicit Graphic(Graphic* pParent, const RECT* prc = nullptr);

    virtual ~Graphic();
    Graphic(const Graphic&) = delete;
    Graphic& operator=(const Graphic&) = delete;

    // Releases everything (children first, with a warning each); "destroyed twice" when
    // already destroyed. The destructor calls it for a graphic that is still valid.
    void Destroy();

    // ---- Structure
    bool IsValid() const { return m_fValid != 0; }
    BOOL IsChild() const;
    Graphic* GetParent() const;
    BOOL GetRectInParent(RECT* prc) const;
    // The root that owns the pixels (this graphic for a root).
    Graphic* GetRoot();
    // Adds the origins of all ancestors: this graphic's rectangle in root coordinates.
    void GetRectInRoot(RECT* prc) const;

    // ---- Size and format
    BOOL GetRect(RECT* prc) const; // (0, 0, width, height)
    int GetWidth() const;
    int GetHeight() const;
    int GetDepth() const; // 0 for an invalid graphic
    // The root's pixel memory (null without a bitmap section) and its row pitch.
    BYTE* GetBits() const;
    LONG GetPitch() const;
    host::HBITMAP GetBitmap() const;

    // ---- Transparency and translucency
    Color GetTransparency() const;
    void SetTransparency(Color clr);
    BOOL IsTransparent() const;
    BOOL IsTranslucent() const;
    TRANSLUCENCY GetTranslucency() const;
    BOOL SetTranslucency(DWORD nMode, BYTE bOpacity);
    BOOL SetOpacityFromGraphic(Graphic* pOther);
    // Builds the run lists (and the desktop mask) for the current transparency colour.
    void PrepareTransparency();
    // Opaque runs of a row (null with a count of 0 when the row has none or is unprepared).
    // The runs belong to the root: a child's row y is the root's row at the child's
    // origin plus y, and the runs' x are root columns.
    const OPAQUERUN* GetRuns(int y, LONG* pcRuns) const;

    // ---- Pixels
    DWORD ColorToValue(Color clr) const;
    Color ValueToColor(DWORD nValue) const;
    DWORD GetPixelValue(int x, int y) const;
    void SetPixelValue(int x, int y, DWORD nValue);
    Color GetPixelColor(int x, int y) const;
    void SetPixelColor(int x, int y, Color clr);

    // ---- Device context of the bitmap (reference counted)
    HDC GetDC();
    void ReleaseDC();
    bool IsDCOpen() const; // the root's context is open

    // ---- Colour table (indexed depths)
    UINT GetPaletteEntries(PALETTEENTRY* pEntries, UINT iFirst, UINT cEntries) const;
    BOOL SetPaletteEntries(const PALETTEENTRY* pEntries, UINT iFirst, UINT cEntries);
    Color GetPaletteColor(UINT i) const;

    // ---- Palette group (managed by PaletteGroup; a child answers for its root)
    PaletteGroup* GetPaletteGroup() const;
    void SetPaletteGroup(PaletteGroup* pGroup);

    // ---- Selection
    BOOL HasSelection() const;
    // A new zeroed buffer of width x height bytes with this graphic's part of the root's
    // selection; free it with FreeSelection.
    BOOL GetSelection(BYTE** ppbSelection, DWORD* pcbSelection) const;
    static void FreeSelection(BYTE* pbSelection);
    // Hands the root a selection buffer (MemAlloc'd, width x height bytes); the image
    // reader uses it. The previous one is freed.
    void AttachSelection(BYTE* pbSelection, DWORD cbSelection);

    // ---- Files
    // Writes a bottom-up bitmap file at the file's position. 1, or 0 when a write fails.
    BOOL Save(host::HANDLE hFile);
    DWORD GetImageSize(BOOL fWithFileHeader) const;

    // ---- Drawing
    void DrawTo(Graphic* pDest, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy);
    void DrawTo(HDC hdc, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy);
    void StretchTo(Graphic* pDest, int xDest, int yDest, int cxDest, int cyDest, int xSrc, int ySrc,
                   int cxSrc, int cySrc);
    void StretchTo(HDC hdc, int xDest, int yDest, int cxDest, int cyDest, int xSrc, int ySrc,
                   int cxSrc, int cySrc);
    void TileTo(Graphic* pDest, int xDest, int yDest, int cxDest, int cyDest, int xSrc, int ySrc,
                int cxSrc, int cySrc, int xPhase, int yPhase);
    void TileTo(HDC hdc, int xDest, int yDest, int cxDest, int cyDest, int xSrc, int ySrc,
                int cxSrc, int cySrc, int xPhase, int yPhase);

    // A development viewer: a window showing the graphic until it is closed.
    void Show(const TCHAR* pszTitle);

    // ---- For the loaders (the image reader builds into a cleared graphic)
    // Creates this root's bitmap section blank. 1 on success.
    BOOL CreateBlank(int cx, int cy, int nDepth, const RGBQUAD* pColors);
    // Parses bitmap or Paint Shop Pro data into this cleared graphic. 1 on success.
    BOOL Parse(const BYTE* pbData, DWORD cbData, Sprite* pSprite, Color clrTransparent);

private:
    void Clear();
    void LoadFile(const TCHAR* pszFile, Sprite* pSprite, Color clrTransparent);
    void AddChild(Graphic* pChild);
    void RemoveChild(Graphic* pChild);
    void FreeRuns();
    void DrawToGraphic(Graphic* pDest, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy);
    void Blend(Graphic* pDest, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy);
    void CopyRows(Graphic* pDest, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy);
    void BlitRoot(HDC hdc, int xD, int yD, int wD, int hD, int xS, int yS, int wS, int hS);
    void CopyRuns(Graphic* pDest, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy);

    DWORD m_fValid = 0;
    DWORD m_fChild = 0;
    // Root: the bitmap section. Child: the parent.
    host::HBITMAP m_hbm = nullptr;
    Graphic* m_pParent = nullptr;
    // Root: the first pixel and the colour table. Child: its rectangle in the parent.
    BYTE* m_pbBits = nullptr;
    RGBQUAD m_rgColors[256] = {};
    RECT m_rcInParent = {};
    // Root: (0, 0, width, height).
    RECT m_rcBounds = {};
    int m_nDepth = 0;
    HDC m_hdc = nullptr;
    int m_cDCRefs = 0;
    host::HGDIOBJ m_hbmOld = nullptr;
    LONG m_cbPitch = 0;
    DWORD m_nValueMask = 0;
    PaletteGroup* m_pGroup = nullptr;
    TRANSLUCENCY m_translucency = {};
    Color m_clrTransparent = clrNone;
    Color m_clrPrepared = clrNone;
    host::HBITMAP m_hbmMask = nullptr; // desktop: white where transparent
    OPAQUERUN* m_pRuns = nullptr;
    DWORD m_cRuns = 0;
    DWORD m_cRunsAllocated = 0;
    RUNROW* m_pRows = nullptr;
    LONG m_cRows = 0;
    BYTE* m_pbSelection = nullptr;
    DWORD m_cbSelection = 0;
    Graphic** m_ppChildren = nullptr;
    DWORD m_cChildren = 0;
};
