// Drawing: bitmaps, device contexts, blits, brushes and pens, text, regions and palettes.
//
// The model is the classic one. Bitmaps hold pixels of depth 1, 2, 4, 8, 16, 24 or 32
// bits, rows top-down and padded to 32 bits, with a colour table for the indexed depths.
// A device context (HDC) draws on a pixel surface: a memory context draws on the bitmap
// selected into it; a surface context (CreateSurfaceDC) draws on any Surface, which is how
// the screen gives windows their contexts. Every context has an origin (where its logical
// (0, 0) lies on the surface) and a clip: the surface's visible region for the context,
// intersected with the application's clip region (SelectClipRgn).
//
// Colours are COLORREF 0x00BBGGRR. A colour with 0x01 in its top byte (PALETTEINDEX) names
// an entry of the palette selected into the context; 0x02 (PALETTERGB) is a plain colour.
// Writing a colour into an indexed surface picks the nearest colour-table entry (least
// squared distance in red, green and blue; the lowest index on a tie). Reading a 16-bit
// pixel shifts each 5-bit field left by 3, so white (0x7FFF) reads as 0x00F8F8F8.
//
// Handles stay safe after deletion: every call given a deleted or foreign handle fails
// (FALSE, null, 0 or CLR_INVALID as the call reports failure) and never touches memory.
// Deleting an object that is selected into a context takes effect at once for its handle;
// the context keeps drawing with it until something else is selected. Stock objects ignore
// DeleteObject. Objects may be created and deleted on any thread; a context and the objects
// selected into it are used by one thread at a time.
#pragma once

#include "host/rect.h"
#include "host/types.h"

#include <string>
#include <vector>

namespace host {

// ---------------------------------------------------------------------------------------
// Handles

struct HBITMAP__;
using HBITMAP = HBITMAP__*;
struct HPEN__;
using HPEN = HPEN__*;
struct HFONT__;
using HFONT = HFONT__*;
struct HPALETTE__;
using HPALETTE = HPALETTE__*;
// Any drawing object: bitmap, brush, pen, font, region or palette.
using HGDIOBJ = void*;

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

constexpr COLORREF PALETTERGB(BYTE r, BYTE g, BYTE b) {
    return 0x02000000 | RGB(r, g, b);
}
constexpr COLORREF PALETTEINDEX(WORD i) {
    return 0x01000000 | i;
}

// ---------------------------------------------------------------------------------------
// Records

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

// The 40-byte information header of a device-independent bitmap. A negative height means
// top-down rows. With BI_BITFIELDS (16 and 32 bits) three DWORD masks (red, green, blue)
// follow the header where the colour table would be.
struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1]; // colour table (or bit-field masks), as many entries as needed
};

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_BITFIELDS = 3;

constexpr UINT DIB_RGB_COLORS = 0; // the colour table holds RGBQUAD entries
constexpr UINT DIB_PAL_COLORS = 1; // ... WORD indices into the context's selected palette

// What GetObject reports for a bitmap. bmBits points at the top row of every bitmap.
struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    void* bmBits;
};

// GetObject of a bitmap made by CreateDIBSection with room for this record. dsBmih holds
// the header as created (height negative: top-down) and dsBitfields the channel masks.
struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    void* dshSection;
    DWORD dsOffset;
};

struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};
static_assert(sizeof(PALETTEENTRY) == 4);

struct LOGPALETTE {
    WORD palVersion; // 0x300
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1]; // palNumEntries entries
};

// Brush styles (LOGBRUSH.lbStyle). A pattern brush reports its bitmap's handle in lbHatch.
constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_PATTERN = 3;

struct LOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    std::uintptr_t lbHatch;
};

struct LOGPEN {
    UINT lopnStyle;
    POINT lopnWidth; // x is the width
    COLORREF lopnColor;
};

// A font request. lfHeight < 0 asks for a character (em) height of -lfHeight pixels,
// lfHeight > 0 for a cell height (ascent + descent) of lfHeight pixels, 0 for the default
// (8 points at 96 dots per inch). The face name is UTF-8 in LOGFONTA and UTF-16 in
// LOGFONTW, zero-terminated.
constexpr int LF_FACESIZE = 32;

struct LOGFONTA {
    LONG lfHeight;
    LONG lfWidth; // ignored: glyphs keep their designed proportions
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight; // FW_NORMAL 400, FW_BOLD 700; 600 and above select the bold face
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
};
static_assert(sizeof(LOGFONTA) == 60);

struct LOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
};
static_assert(sizeof(LOGFONTW) == 92);

constexpr LONG FW_DONTCARE = 0;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;

constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE DEFAULT_CHARSET = 1;

// Quality: NONANTIALIASED_QUALITY and DRAFT_QUALITY draw hinted two-level glyphs; every
// other value draws antialiased (grey-level) glyphs blended into the destination.
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE DRAFT_QUALITY = 1;
constexpr BYTE PROOF_QUALITY = 2;
constexpr BYTE NONANTIALIASED_QUALITY = 3;
constexpr BYTE ANTIALIASED_QUALITY = 4;

struct TEXTMETRIC {
    LONG tmHeight; // ascent + descent: the line height
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading; // tmHeight less the em height
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};

// Region data for ExtCreateRegion and GetRegionData: the header, then nCount RECTs.
struct RGNDATAHEADER {
    DWORD dwSize; // 32
    DWORD iType;  // RDH_RECTANGLES
    DWORD nCount;
    DWORD nRgnSize;
    RECT rcBound;
};
static_assert(sizeof(RGNDATAHEADER) == 32);

struct RGNDATA {
    RGNDATAHEADER rdh;
    char Buffer[1];
};

constexpr DWORD RDH_RECTANGLES = 1;

// ---------------------------------------------------------------------------------------
// Rectangles (half-open: right and bottom lie just outside)

inline BOOL SetRect(RECT* prc, int left, int top, int right, int bottom) {
    if (!prc) return FALSE;
    *prc = {left, top, right, bottom};
    return TRUE;
}
inline BOOL SetRectEmpty(RECT* prc) {
    return SetRect(prc, 0, 0, 0, 0);
}
inline BOOL CopyRect(RECT* prcDst, const RECT* prcSrc) {
    if (!prcDst || !prcSrc) return FALSE;
    *prcDst = *prcSrc;
    return TRUE;
}
inline BOOL IsRectEmpty(const RECT* prc) {
    return !prc || rect::IsEmpty(*prc);
}
inline BOOL EqualRect(const RECT* a, const RECT* b) {
    return a && b && rect::Equal(*a, *b);
}
inline BOOL PtInRect(const RECT* prc, POINT pt) {
    return prc && rect::Contains(*prc, pt);
}
// Moving or growing holds coordinates at +/-rect::kLimit instead of overflowing.
inline BOOL OffsetRect(RECT* prc, int dx, int dy) {
    if (!prc) return FALSE;
    *prc = rect::Offset(*prc, dx, dy);
    return TRUE;
}
inline BOOL InflateRect(RECT* prc, int dx, int dy) {
    if (!prc) return FALSE;
    *prc = rect::Inflate(*prc, dx, dy);
    return TRUE;
}
// The overlap; an empty result is (0, 0, 0, 0) and returns FALSE.
BOOL IntersectRect(RECT* prcDst, const RECT* prc1, const RECT* prc2);
// The smallest rectangle holding both (empty ones are ignored); FALSE when both are empty.
BOOL UnionRect(RECT* prcDst, const RECT* prc1, const RECT* prc2);
// prc1 less prc2 when that leaves a rectangle (prc2 covers a whole side), else prc1.
BOOL SubtractRect(RECT* prcDst, const RECT* prc1, const RECT* prc2);

// ---------------------------------------------------------------------------------------
// Objects

// Object types (GetObjectType).
constexpr DWORD OBJ_PEN = 1;
constexpr DWORD OBJ_BRUSH = 2;
constexpr DWORD OBJ_DC = 3;
constexpr DWORD OBJ_PAL = 5;
constexpr DWORD OBJ_FONT = 6;
constexpr DWORD OBJ_BITMAP = 7;
constexpr DWORD OBJ_REGION = 8;
constexpr DWORD OBJ_MEMDC = 10;

// Stock objects (GetStockObject).
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int OEM_FIXED_FONT = 10;
constexpr int ANSI_FIXED_FONT = 11;
constexpr int ANSI_VAR_FONT = 12;
constexpr int SYSTEM_FONT = 13;
constexpr int DEVICE_DEFAULT_FONT = 14;
constexpr int DEFAULT_PALETTE = 15;
constexpr int SYSTEM_FIXED_FONT = 16;
constexpr int DEFAULT_GUI_FONT = 17;

HGDIOBJ GetStockObject(int i);

// Frees a bitmap, brush, pen, font, region or palette. FALSE for a handle that is not a
// live object (already deleted, never created, or a context).
BOOL DeleteObject(HGDIOBJ h);

// One of the OBJ_ values, or 0 for a handle that is not live.
DWORD GetObjectType(HGDIOBJ h);

// Copies the object's description into pv (cb bytes): BITMAP or DIBSECTION, LOGBRUSH,
// LOGPEN, LOGFONTA (cb == sizeof(LOGFONTA)) or LOGFONTW, or the WORD entry count of a
// palette. With pv null returns the size needed. Returns the bytes written, 0 on failure.
int GetObject(HGDIOBJ h, int cb, void* pv);

// ---------------------------------------------------------------------------------------
// Bitmaps

// Creates a bitmap from an information header and its colour table or masks, and returns
// a pointer to its pixel memory in *ppvBits: rows top-down for a negative biHeight, or
// bottom-up (the first row in memory is the bottom one) for a positive one.
// Accepted: biSize >= 40, width and height non-zero and at most 32767, one plane, depth
// 1, 2, 4, 8, 16, 24 or 32, BI_RGB, or BI_BITFIELDS for 16 and 32 bits with contiguous,
// non-overlapping masks of at most 8 bits each; at most 64 MiB of pixels. BI_RGB 16 is
// 5-5-5 (red 0x7C00, green 0x03E0, blue 0x001F); BI_RGB 32 is 0x00RRGGBB. An indexed
// bitmap takes biClrUsed entries (all 2^depth when 0); the rest are black. The pixels
// start as zero. hdc is needed only for DIB_PAL_COLORS. hSection must be null.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT iUsage, void** ppvBits,
                         void* hSection = nullptr, DWORD dwOffset = 0);

// A bitmap of the context's format: for a memory context, that of its selected bitmap
// (a new memory context holds a 1 x 1 monochrome bitmap, so this gives a monochrome one);
// for a surface context, the surface's. A zero width or height gives a 1 x 1 monochrome
// bitmap.
HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);

// A device bitmap; indexed depths above 1 take the display's palette, 16 bits are 5-5-5.
// With one bit per pixel it is monochrome: converting from colour sets
// a bit where the source pixel equals the source context's background colour, converting
// to colour gives 0 bits the destination's text colour and 1 bits its background colour
// (the mask technique relies on this). pvBits, when given, holds rows padded to 16 bits.
HBITMAP CreateBitmap(int cx, int cy, UINT cPlanes, UINT cBitsPerPixel, const void* pvBits);

// Colour table of the bitmap selected into a memory context (indexed depths only).
// Return the number of entries copied.
UINT GetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, RGBQUAD* prgbq);
UINT SetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, const RGBQUAD* prgbq);

// ---------------------------------------------------------------------------------------
// Surfaces: where device contexts draw

// A view of pixel memory: pBits is the top row; rows are cbPitch bytes apart (a negative
// pitch for bottom-up memory).
struct PixelBuffer {
    BYTE* pBits = nullptr;
    LONG cx = 0;
    LONG cy = 0;
    LONG cbPitch = 0;
    UINT nDepth = 0;
    // Channel masks of 16- and 32-bit pixels (0 means the BI_RGB layout).
    DWORD dwRedMask = 0;
    DWORD dwGreenMask = 0;
    DWORD dwBlueMask = 0;
    // Colour table of indexed pixels (cColors entries).
    const RGBQUAD* pColors = nullptr;
    UINT cColors = 0;
    // A monochrome device bitmap: see CreateBitmap.
    bool fMonochrome = false;
};

// A pixel surface that contexts can draw on. The screen implements one so that window
// contexts draw straight into it; bitmaps are surfaces internally. A screen kept in a
// bitmap made by CreateDIBSection needs little more than:
//
//     class ScreenSurface : public Surface {
//         PixelBuffer GetPixels() override {
//             PixelBuffer px;
//             GetBitmapPixels(hbmScreen, &px);
//             return px;
//         }
//         void Changed(const RECT& rc) override { /* remember rc for the next present */ }
//     };
//     HDC hdc = CreateSurfaceDC(&surface, clientOriginOnScreen, visibleRegionOnScreen);
//
// An 8-bit screen also follows RealizePalette: it sets its bitmap's colour table
// (SetDIBColorTable on a memory context holding it) and SetSystemPaletteEntries.
class Surface {
public:
    virtual ~Surface() = default;
    // The pixel memory, asked for at the start of each drawing call; it must stay valid
    // until the call returns.
    virtual PixelBuffer GetPixels() = 0;
    // A drawing call changed pixels within rc (surface coordinates, inside the clip).
    virtual void Changed(const RECT& rc) { (void)rc; }
    // A context on this surface realised a logical palette. Returns the number of surface
    // colours that changed. Only an 8-bit surface has a reason to follow it.
    virtual UINT RealizePalette(const PALETTEENTRY* pEntries, UINT cEntries) {
        (void)pEntries;
        (void)cEntries;
        return 0;
    }
};

// A context on a surface. Logical (0, 0) lies at ptOrigin on the surface; drawing is
// clipped to hrgnVisible (surface coordinates; copied; null = the whole surface). The
// surface must outlive the context; delete the context with DeleteDC.
HDC CreateSurfaceDC(Surface* pSurface, POINT ptOrigin, HRGN hrgnVisible);
// Moves a surface context or changes its visible region (a window moved or was covered).
BOOL SetSurfaceDCOrigin(HDC hdc, POINT ptOrigin);
BOOL SetSurfaceDCVisibleRgn(HDC hdc, HRGN hrgnVisible);

// The pixels of a bitmap (valid while the bitmap lives). FALSE for a bad handle.
BOOL GetBitmapPixels(HBITMAP hbm, PixelBuffer* pBuffer);

// Writes the bitmap as an 8-bit RGB PNG file (replacing the file atomically).
bool SaveBitmapAsPng(HBITMAP hbm, const std::string& path);

// What the display offers, for contexts that are not bound to it: GetDeviceCaps of a
// memory context and CreateCompatibleDC(null). The screen sets it when it starts; the
// default is the device profile, 240 x 320 at 16 bits.
struct DisplayFormat {
    LONG cx = 240;
    LONG cy = 320;
    UINT nDepth = 16;
};
void SetDisplayFormat(const DisplayFormat& format);
DisplayFormat GetDisplayFormat();

// ---------------------------------------------------------------------------------------
// Device contexts

// A memory context holding a 1 x 1 monochrome bitmap; hdc is accepted and not needed.
HDC CreateCompatibleDC(HDC hdc);
// Deletes a memory or surface context; objects selected into it stay alive.
BOOL DeleteDC(HDC hdc);

// Selects a bitmap (memory contexts only; a bitmap can be in one context at a time), brush,
// pen or font, and returns the previous object of that kind, or null on failure. Palettes
// go through SelectPalette. Selecting a region sets the clip region (as SelectClipRgn) and
// returns the region type cast to a handle.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
inline HBITMAP SelectObject(HDC hdc, HBITMAP h) {
    return static_cast<HBITMAP>(SelectObject(hdc, static_cast<HGDIOBJ>(h)));
}
inline HBRUSH SelectObject(HDC hdc, HBRUSH h) {
    return static_cast<HBRUSH>(SelectObject(hdc, static_cast<HGDIOBJ>(h)));
}
inline HPEN SelectObject(HDC hdc, HPEN h) {
    return static_cast<HPEN>(SelectObject(hdc, static_cast<HGDIOBJ>(h)));
}
inline HFONT SelectObject(HDC hdc, HFONT h) {
    return static_cast<HFONT>(SelectObject(hdc, static_cast<HGDIOBJ>(h)));
}

// The object of the given OBJ_ kind selected into the context.
HGDIOBJ GetCurrentObject(HDC hdc, UINT uObjectType);

// Saves the context's state (objects, colours, modes, clip, position); RestoreDC(hdc, -1)
// returns to the last saved state, a positive number to that state. SaveDC returns the
// state's number (1 for the first), 0 on failure.
int SaveDC(HDC hdc);
BOOL RestoreDC(HDC hdc, int nSavedDC);

// GetDeviceCaps indices.
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int SIZEPALETTE = 104;
constexpr int RC_BITBLT = 0x0001;
constexpr int RC_PALETTE = 0x0100;
constexpr int RC_DIBTODEV = 0x0200;
constexpr int RC_STRETCHBLT = 0x0800;
// A surface context reports its surface; a memory context reports the display (see
// SetDisplayFormat). 96 dots per inch.
int GetDeviceCaps(HDC hdc, int index);

// Viewport origin: an extra offset of logical coordinates (the clip region is not moved).
BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* pptOld);
BOOL GetViewportOrgEx(HDC hdc, POINT* ppt);

// Colours and modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
COLORREF SetTextColor(HDC hdc, COLORREF cr); // return the previous value, CLR_INVALID
COLORREF GetTextColor(HDC hdc);              // (or 0 for the modes) on failure
COLORREF SetBkColor(HDC hdc, COLORREF cr);
COLORREF GetBkColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);

// Every stretch mode stretches as COLORONCOLOR: nearest source pixel, no blending.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
int SetStretchBltMode(HDC hdc, int mode);
int GetStretchBltMode(HDC hdc);

// ---------------------------------------------------------------------------------------
// Clipping (region and rectangle arguments in the context's device coordinates: logical
// coordinates without the viewport origin)

constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

// Sets the clip region to a copy of hrgn; null removes it. Returns the type of the
// resulting clip, ERROR on failure.
int SelectClipRgn(HDC hdc, HRGN hrgn);
int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
// Bounding box of what can be drawn (logical coordinates); returns the clip's type.
int GetClipBox(HDC hdc, RECT* prc);
// Copies the clip region set on the context into hrgn: 1 when there is one, 0 when none,
// -1 on failure.
int GetClipRgn(HDC hdc, HRGN hrgn);

// ---------------------------------------------------------------------------------------
// Blits

// Raster operations: the result is computed bitwise on pixel values of the destination's
// format, from the pattern (selected brush), the source (converted to the destination's
// format) and the destination. Any of the 256 ternary operations works; these are named.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGECOPY = 0x00C000CA;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATPAINT = 0x00FB0A09;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

// Copies a w x h area. Source pixels outside the source surface leave the destination
// as it was. hdcSrc may be null for operations that use no source. Source and destination
// may overlap.
BOOL BitBlt(HDC hdcDest, int xDest, int yDest, int w, int h, HDC hdcSrc, int xSrc, int ySrc,
            DWORD rop);
// Scales the source area to the destination area, each destination pixel taking the
// source pixel under its centre. A negative extent mirrors: the area then runs from x
// leftwards (x, x-1, ... x+w+1), so (x + w - 1, -w) mirrors the area [x, x + w).
BOOL StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc,
                int ySrc, int wSrc, int hSrc, DWORD rop);
// Copies (and scales, as StretchBlt) every source pixel whose value differs from the
// value of crTransparent in the source's format; the others leave the destination as it
// was.
BOOL TransparentBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc,
                    int ySrc, int wSrc, int hSrc, UINT crTransparent);
inline BOOL TransparentImage(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                             int xSrc, int ySrc, int wSrc, int hSrc, COLORREF crTransparent) {
    return TransparentBlt(hdcDest, xDest, yDest, wDest, hDest, hdcSrc, xSrc, ySrc, wSrc, hSrc,
                          crTransparent);
}
// A blit without a source: PATCOPY, PATINVERT, DSTINVERT, BLACKNESS, WHITENESS.
BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);

// One pixel, in logical coordinates. GetPixel gives CLR_INVALID outside the clip.
COLORREF GetPixel(HDC hdc, int x, int y);
// Returns the colour actually written (nearest for indexed surfaces), or CLR_INVALID.
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF cr);

// ---------------------------------------------------------------------------------------
// Brushes, pens and shapes

HBRUSH CreateSolidBrush(COLORREF cr);
// A brush that tiles a copy of the bitmap (8 x 8 is usual; a larger one lends its top-left
// 64 x 64 pixels), laid from the surface's origin so that separate fills line up. In a
// monochrome bitmap's pattern 0 bits take the text colour and 1 bits the background colour
// of the context drawn on, as in a blit from it; other bitmaps keep their colours. Every
// fill paints with it: FillRect, FrameRect, FillRgn, Rectangle, Ellipse, Polygon and the
// blits' pattern. The bitmap may be deleted afterwards.
HBRUSH CreatePatternBrush(HBITMAP hbm);

// System colours, classic defaults. COLOR_STATIC (25) is the static-control background,
// COLOR_STATICTEXT (26) its text.
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_3DSHADOW = COLOR_BTNSHADOW;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DHILIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_STATIC = 25;
constexpr int COLOR_STATICTEXT = 26;
constexpr int COLOR_COUNT = 27;
COLORREF GetSysColor(int index); // 0 for an unknown index
// A stock brush of the system colour (null for an unknown index).
HBRUSH GetSysColorBrush(int index);

// Fills with the brush, ignoring the pen and the raster operation. As in window classes,
// a brush value of (system colour index + 1) stands for that system colour.
int FillRect(HDC hdc, const RECT* prc, HBRUSH hbr);
// A one-pixel frame just inside the rectangle.
int FrameRect(HDC hdc, const RECT* prc, HBRUSH hbr);
// Inverts every bit of the pixels in the rectangle.
BOOL InvertRect(HDC hdc, const RECT* prc);
// A dotted frame drawn by inverting; drawing it twice removes it.
BOOL DrawFocusRect(HDC hdc, const RECT* prc);
// Fills the region, given in logical coordinates (the viewport origin applies), with the brush.
BOOL FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr);

constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1; // 6 on, 2 off; wide pens are solid
constexpr int PS_DOT = 2;  // 1 on, 1 off
constexpr int PS_NULL = 5;
HPEN CreatePen(int style, int width, COLORREF cr);

// Lines from the current position; the end point itself is not drawn.
BOOL MoveToEx(HDC hdc, int x, int y, POINT* pptOld);
BOOL LineTo(HDC hdc, int x, int y);
BOOL Polyline(HDC hdc, const POINT* ppt, int c);
// The outline with the pen (a wide pen's outline stays inside), the inside with the brush;
// covers [left, right) x [top, bottom). With the null pen the filled area is one pixel
// narrower and shorter, as it always was.
BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
// The ellipse inscribed in [left, right) x [top, bottom): a pixel belongs to it when its
// centre lies inside or on the ellipse, so it is symmetric in both axes. The pen (solid
// whatever its style) draws the pixels that the ellipse inset by the pen's width leaves
// out, the brush fills those. Without a pen the brush fills the whole ellipse.
BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom);

// How a self-intersecting polygon is filled: ALTERNATE fills the areas that a ray from
// them crosses the outline an odd number of times, WINDING those the outline winds round.
constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;
int SetPolyFillMode(HDC hdc, int mode); // returns the previous mode, 0 on failure
int GetPolyFillMode(HDC hdc);

// A closed polygon: the brush fills the pixels whose positions (the points lines pass
// through) lie inside, one on a left or top edge counting as inside and one on a right or
// bottom edge not, so that polygons sharing an edge never overlap; then the pen outlines
// it, closing edge included, covering the rest of its border. At least two points.
BOOL Polygon(HDC hdc, const POINT* ppt, int c);

// Edges, with the system colours of three-dimensional elements.
constexpr UINT BDR_RAISEDOUTER = 0x0001;
constexpr UINT BDR_SUNKENOUTER = 0x0002;
constexpr UINT BDR_RAISEDINNER = 0x0004;
constexpr UINT BDR_SUNKENINNER = 0x0008;
constexpr UINT BDR_OUTER = 0x0003;
constexpr UINT BDR_INNER = 0x000C;
constexpr UINT EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr UINT EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr UINT BF_LEFT = 0x0001;
constexpr UINT BF_TOP = 0x0002;
constexpr UINT BF_RIGHT = 0x0004;
constexpr UINT BF_BOTTOM = 0x0008;
constexpr UINT BF_TOPLEFT = BF_TOP | BF_LEFT;
constexpr UINT BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT;
constexpr UINT BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr UINT BF_MIDDLE = 0x0800; // also fill the inside with the face colour
constexpr UINT BF_SOFT = 0x1000;   // outer and inner swap their top-left colours
constexpr UINT BF_ADJUST = 0x2000; // shrink *prc by the edges drawn
constexpr UINT BF_FLAT = 0x4000;   // flat: shadow-coloured frame
constexpr UINT BF_MONO = 0x8000;   // one-colour (window frame) frame
// Draws the chosen sides of the rectangle's border, outer line first. FALSE on failure.
BOOL DrawEdge(HDC hdc, RECT* prc, UINT edge, UINT flags);

// ---------------------------------------------------------------------------------------
// Text
//
// Faces are looked up through fontconfig with a fixed preference so that text looks the
// same on every run: the classic sans faces ("Arial", "MS Shell Dlg", "Tahoma", "MS Sans
// Serif", "Helvetica", "Verdana", "System", an empty or "default" name, ...) become
// Liberation Sans, or DejaVu Sans without it; serif faces ("Times New Roman", ...)
// Liberation Serif or DejaVu Serif; fixed faces ("Courier New", ...) Liberation Mono or
// DejaVu Sans Mono; another name is used when that family is installed, else the sans
// face. A name ending in " Eo" is looked up without the suffix. Characters the face lacks
// come from DejaVu Sans. Glyph advances are whole pixels; no kerning.

HFONT CreateFontIndirect(const LOGFONTA* plf);
HFONT CreateFontIndirect(const LOGFONTW* plf);

// The installed font file and family that a font uses (for diagnostics and tests).
bool GetFontFile(HFONT hfont, std::string* pPath, std::string* pFamily);

BOOL GetTextMetrics(HDC hdc, TEXTMETRIC* ptm);

// Text arguments: UTF-8 (counts in bytes) or UTF-16 (counts in 16-bit units). A count of
// -1 means zero-terminated. Malformed text draws U+FFFD.
BOOL GetTextExtentPoint32(HDC hdc, const char* psz, int c, SIZE* psize);
BOOL GetTextExtentPoint32(HDC hdc, const WCHAR* psz, int c, SIZE* psize);
// Also reports how many units fit within nMaxExtent (never splitting a character) and,
// when pDx is given, the extent after each of the c units (a unit inside a character
// gets the extent after that character).
BOOL GetTextExtentExPoint(HDC hdc, const char* psz, int c, int nMaxExtent, int* pnFit, int* pDx,
                          SIZE* psize);
BOOL GetTextExtentExPoint(HDC hdc, const WCHAR* psz, int c, int nMaxExtent, int* pnFit, int* pDx,
                          SIZE* psize);

// Text alignment: which point of the text (x, y) names.
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;
UINT SetTextAlign(HDC hdc, UINT align); // returns the previous value, or 0xFFFFFFFF
UINT GetTextAlign(HDC hdc);

// Draws a line of text with the selected font and text colour; in OPAQUE mode the text
// cell is first filled with the background colour.
BOOL TextOut(HDC hdc, int x, int y, const char* psz, int c);
BOOL TextOut(HDC hdc, int x, int y, const WCHAR* psz, int c);

constexpr UINT ETO_OPAQUE = 0x0002;  // fill *prc with the background colour first
constexpr UINT ETO_CLIPPED = 0x0004; // clip the text to *prc
// As TextOut; pDx, when given, holds the advance of each unit (one per character: the
// units after the first of a character are ignored).
BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* prc, const char* psz, UINT c,
                const INT* pDx);
BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* prc, const WCHAR* psz, UINT c,
                const INT* pDx);

constexpr UINT DT_TOP = 0x00000000;
constexpr UINT DT_LEFT = 0x00000000;
constexpr UINT DT_CENTER = 0x00000001;
constexpr UINT DT_RIGHT = 0x00000002;
constexpr UINT DT_VCENTER = 0x00000004; // single line only
constexpr UINT DT_BOTTOM = 0x00000008;  // single line only
constexpr UINT DT_WORDBREAK = 0x00000010;
constexpr UINT DT_SINGLELINE = 0x00000020;
constexpr UINT DT_EXPANDTABS = 0x00000040;
constexpr UINT DT_NOCLIP = 0x00000100;
constexpr UINT DT_EXTERNALLEADING = 0x00000200;
constexpr UINT DT_CALCRECT = 0x00000400;
constexpr UINT DT_NOPREFIX = 0x00000800;
constexpr UINT DT_EDITCONTROL = 0x00002000;
constexpr UINT DT_END_ELLIPSIS = 0x00008000;
constexpr UINT DT_HIDEPREFIX = 0x00100000;
// Formats text in a rectangle. Lines end at CR, LF or CR LF (not with DT_SINGLELINE, where
// they are dropped); a break at the very end of the text starts no further line. With DT_WORDBREAK
// a line breaks after the last blank that fits, and a word wider than the rectangle breaks after
// its last character that fits; the blanks at a break are not drawn. Without DT_NOPREFIX "&x"
// underlines x and "&&" draws "&" (DT_HIDEPREFIX: no underline). DT_END_ELLIPSIS ends a line that
// does not fit with "...". Tabs advance to the next multiple of eight average character widths with
// DT_EXPANDTABS, else count as a blank. The drawing is clipped to the rectangle unless
// DT_NOCLIP. DT_CALCRECT draws nothing and sets the rectangle's right to left + the widest
// line and its bottom to top + the height of the lines. Returns the height of the text,
// or with DT_VCENTER or DT_BOTTOM the offset from the top to the text's bottom; 0 on failure.
int DrawText(HDC hdc, const char* psz, int c, RECT* prc, UINT format);
int DrawText(HDC hdc, const WCHAR* psz, int c, RECT* prc, UINT format);

// ---------------------------------------------------------------------------------------
// Regions: sets of pixels made of rectangles

HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* prc);
BOOL SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom);
// The pixels that Polygon fills with the fill mode (ALTERNATE or WINDING). Null for fewer
// than two points, a bad mode, or a polygon more than 65536 rows high.
HRGN CreatePolygonRgn(const POINT* ppt, int c, int mode);

constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;
// hrgnDest = hrgnSrc1 op hrgnSrc2 (hrgnSrc2 unused for RGN_COPY); any of them may be the
// same region. Returns the type of the result, ERROR on failure.
int CombineRgn(HRGN hrgnDest, HRGN hrgnSrc1, HRGN hrgnSrc2, int mode);
int OffsetRgn(HRGN hrgn, int dx, int dy);
BOOL PtInRegion(HRGN hrgn, int x, int y);
BOOL RectInRegion(HRGN hrgn, const RECT* prc); // any pixel of the rectangle inside
BOOL EqualRgn(HRGN hrgn1, HRGN hrgn2);
int GetRgnBox(HRGN hrgn, RECT* prc); // returns the region's type
// A region from a header and its rectangles (which may overlap and come in any order;
// empty ones are ignored). pXform must be null; cbData is the size of the data.
HRGN ExtCreateRegion(const void* pXform, DWORD cbData, const RGNDATA* pData);
// Writes the region's rectangles (in y then x order, none overlapping) as RGNDATA. Returns
// the size written; with pData null, the size needed; 0 when cbData is too small or the
// handle is bad.
DWORD GetRegionData(HRGN hrgn, DWORD cbData, RGNDATA* pData);
// The region's rectangles, as GetRegionData lists them.
std::vector<RECT> GetRegionRects(HRGN hrgn);

// ---------------------------------------------------------------------------------------
// Palettes
//
// A logical palette selected into a context names colours through PALETTEINDEX and, when
// realised on a surface context, lets an 8-bit surface take its colours (see Surface).
// Bitmaps keep their own colour tables: realising on a memory context changes nothing.

HPALETTE CreatePalette(const LOGPALETTE* plp);
HPALETTE SelectPalette(HDC hdc, HPALETTE hpal, BOOL fForceBackground);
// Returns the number of surface colours that changed (0 on a memory context), or
// 0xFFFFFFFF (GDI_ERROR) on failure.
UINT RealizePalette(HDC hdc);
constexpr UINT GDI_ERROR = 0xFFFFFFFF;
// Index of the nearest entry (least squared distance; lowest index on a tie), or
// CLR_INVALID.
UINT GetNearestPaletteIndex(HPALETTE hpal, COLORREF cr);
UINT GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, PALETTEENTRY* ppe);
UINT SetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, const PALETTEENTRY* ppe);
// The nearest colour the context's surface can show.
COLORREF GetNearestColor(HDC hdc, COLORREF cr);

// The display's palette (256 entries): the 20 static colours in entries 0-9 and 246-255,
// a 6 x 6 x 6 colour cube and 20 greys between. The screen replaces it when it realises
// a palette; GetSystemPaletteEntries reads it (hdc is not needed).
UINT GetSystemPaletteEntries(HDC hdc, UINT iStart, UINT cEntries, PALETTEENTRY* ppe);
void SetSystemPaletteEntries(UINT iStart, UINT cEntries, const PALETTEENTRY* ppe);

} // namespace host
