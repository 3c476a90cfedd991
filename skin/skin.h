// Skins: a ZIP package of pictures, sounds and one properties text ("skin.txt") that the
// installer's windows and controls are drawn from.
//
// Loading unpacks the package, turns every ".wav" into a sound (never played here), every
// ".txt" into text, parses "skin.txt" into the skin's PROPERTIES, and makes every ".psp" and
// ".bmp" a sprite of one palette group, with the skin's "transparent color" (empty: none).
// File names ignore case. A package without "skin.txt" is refused.
//
// Properties are looked up in four steps: the control's own set before the skin's, and in
// each the key prefixed with the window's name ("KelvanoSetup frame border") before the
// plain key. Testing for a key never adds it, so an earlier read cannot shadow a fallback.
//
// Pictures are found as "<window> <name>.psp", "<window> <name>.bmp", "<name>.psp",
// "<name>.bmp", and cut into a grid of cells by their kind (ControlType) the first time they
// are asked for; that first kind fixes the picture's grid.
//
// Failures throw cetl::exception. A SKIN belongs to the thread that draws the windows.
#pragma once

#include "anim/cea_palette.h"
#include "anim/cea_sound.h"
#include "anim/cea_sprite.h"
#include "foundation/tl_map.h"
#include "foundation/tl_string.h"
#include "host/gdi.h"
#include "host/resource.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace zip {
class ZipFile;
class ZipEntry;
} // namespace zip

inline constexpr const CHAR* kszSkinMissingImage = "the skin %s is missing the %s %s image";
inline constexpr const CHAR* kszSkinUnknownControlType =
    "constructing skincontrolgraphics for unknown control type";
inline constexpr const CHAR* kszSkinNoProperties = "the skin package holds no skin.txt";

// Picture kinds and their grids (columns x rows).
enum ControlType : int {
    CT_FRAME = 0,         // 1 x 1, a whole window picture
    CT_FRAME_CORNERS = 1, // 2 x 2
    CT_FRAME_LR = 2,      // 2 x 1
    CT_FRAME_TB = 3,      // 1 x 2
    CT_FRAME_CLOSE = 4,   // 1 x 3
    CT_FRAME_MIN = 5,     // 1 x 3
    CT_BACKGROUND = 6,    // 1 x 1
    CT_PBUTTON = 7,       // 3 x 4
    CT_RBUTTON = 8,       // 2 x 4, list items too
    CT_CBUTTON = 9,       // 2 x 4
    CT_PBAR = 10,         // 4 x 1
    CT_TEXT = 11,         // 3 x 3
    CT_VSCROLL = 12,      // 4 x 4
    CT_HSCROLL = 13,      // 4 x 4
    CT_USER = 14,         // drawn by the application: no grid
    CT_EDIT = 15,         // 3 x 3
    CT_CURSOR = 16,       // 1 x 1
    CT_LIST = 17,         // 3 x 3
};

// A kind that carries its own grid: columns in bits 16-30, rows in bits 0-15.
constexpr int SKIN_GRID(int cColumns, int cRows) {
    return static_cast<int>(0x80000000u | (static_cast<DWORD>(cColumns & 0x7FFF) << 16) |
                            static_cast<DWORD>(cRows & 0xFFFF));
}

// Background layouts and text or picture layouts of the settings records.
constexpr int SKIN_TILE = 0, SKIN_STRETCH = 1, SKIN_CENTER = 2;
constexpr int SKIN_LEFT = 0, SKIN_RIGHT = 1;

// A colour as the skin writes it: an optional "#" and six hexadecimal digits RRGGBB, read
// as the palette-relative colour 0x02BBGGRR; anything else is 0.
Color SkinColorFromText(const cetl::string& strText);
// The leading decimal digits (0 when there are none, so "-4" is 0), saturating at INT_MAX.
int SkinNumberFromText(const cetl::string& strText);

struct PROPERTIESVALUE {
    cetl::string strText;
    Color clr = 0;
    int nNumber = 0;

    // Sets the text, and the colour and number read from it.
    void Set(const cetl::string& str);
};

// Besides the map, a hash index of its entries answers lookups with one comparison rather
// than the dozen or more a search of the skip list makes; it is rebuilt on the first lookup
// after a key was added or removed (a value's change keeps it). The map's operations that
// add or remove keys are redeclared here to keep it; use a PROPERTIES as itself.
class PROPERTIES : public cetl::stringmap<PROPERTIESVALUE> {
    using base = cetl::stringmap<PROPERTIESVALUE>;

public:
    enum ParseMode { PARSE_REPLACE, PARSE_REMOVE };

    PROPERTIES() = default;
    PROPERTIES(const PROPERTIES& other) : base(other) {}
    PROPERTIES(PROPERTIES&& other) noexcept : base(std::move(other)) { SwapIndex(other); }
    PROPERTIES& operator=(PROPERTIES other) noexcept {
        Swap(other);
        return *this;
    }
    ~PROPERTIES();

    // One "key = value" a line; blank lines and lines starting with "=" or "#" are skipped.
    // Replace sets each key's value, remove deletes each key present.
    void Parse(const CHAR* pch, std::size_t cch, ParseMode nMode);
    void SetText(const cetl::istring& strKey, const cetl::string& strText);

    // Neither adds the key (the inherited Get would).
    const PROPERTIESVALUE* Lookup(const cetl::istring& strKey) const;
    bool Holds(const cetl::istring& strKey) const { return Lookup(strKey) != nullptr; }

    bool Set(const cetl::istring& strKey, PROPERTIESVALUE value);
    void Remove(const cetl::istring& strKey);
    // Adds a missing key with the default value.
    PROPERTIESVALUE& Get(const cetl::istring& strKey);
    PROPERTIESVALUE& operator[](const cetl::istring& strKey) { return Get(strKey); }
    void Clear();
    void Swap(PROPERTIES& other) noexcept;

private:
    // Keys equal without regard to case hash alike: ASCII letters fold, and every other byte
    // counts as one value (case folding never maps between ASCII and the rest).
    static std::uint32_t Hash(const cetl::string& strKey);
    void SwapIndex(PROPERTIES& other) noexcept;
    void FreeIndex() const;
    bool BuildIndex() const;

    mutable const value_type** ppIndex_ = nullptr; // open addressing, null for a free slot
    mutable std::uint32_t cSlots_ = 0;             // a power of two, or 0 while stale
};

struct SKINFILE {
    cetl::istring strName;
    const BYTE* pbData = nullptr; // inside the package; null once converted
    DWORD cbData = 0;
    cetl::string strText;            // ".txt"
    Sprite* pSprite = nullptr;       // ".psp", ".bmp" or an added picture
    Sound* pSound = nullptr;         // ".wav"
    zip::ZipEntry* pEntry = nullptr; // null once converted
    BYTE* pbOwned = nullptr;         // the bytes of a file added from memory
};

// A picture cut into equal cells, numbered row by row; each cell is a child sprite of the
// picture, so a layered picture's cells animate as it does.
class SKINCONTROLGRAPHICS {
public:
    // Throws kszSkinUnknownControlType for kind 14, an unknown kind, an empty grid or a
    // picture too small for a cell of at least one pixel.
    SKINCONTROLGRAPHICS(Sprite* pPicture, int nKind);
    ~SKINCONTROLGRAPHICS();
    SKINCONTROLGRAPHICS(const SKINCONTROLGRAPHICS&) = delete;
    SKINCONTROLGRAPHICS& operator=(const SKINCONTROLGRAPHICS&) = delete;

    // False for kinds without a grid.
    static bool GridFor(int nKind, int* pcColumns, int* pcRows);

    Sprite* Picture() const { return pPicture_; }
    int Kind() const { return nKind_; }
    int Columns() const { return cColumns_; }
    int Rows() const { return cRows_; }
    int CellWidth() const { return cxCell_; }
    int CellHeight() const { return cyCell_; }
    int CellCount() const { return cColumns_ * cRows_; }
    // Null out of range.
    Sprite* Cell(int i) const;
    Sprite* Cell(int iColumn, int iRow) const;

private:
    void Release();

    Sprite* pPicture_;
    int nKind_;
    int cColumns_ = 0;
    int cRows_ = 0;
    int cxCell_ = 0;
    int cyCell_ = 0;
    Sprite** ppCells_ = nullptr;
};

struct SKINWINDOWSETTINGS {
    int nLeftBorder;
    int nTopBorder;
    int nRightBorder;
    int nBottomBorder;
    BOOL fProportionalScrollbars;
    int nTitlebarHeight;   // -1: the whole background drags the window
    int nBackgroundLayout; // SKIN_TILE, SKIN_STRETCH, SKIN_CENTER
    Color clrBackground;
    int nFramesPerSecond;
};

struct SKINCONTROLSETTINGS {
    cetl::string strFont;
    Color clrText = 0;
    Color clrSelectedText = 0;
    Color clrSelectedBackground = 0;
    Color clrDisabledText = 0;
    int nLeftBorder = 0;
    int nTopBorder = 0;
    int nRightBorder = 0;
    int nBottomBorder = 0;
    int nTextLayout = 0;  // SKIN_LEFT, SKIN_RIGHT, SKIN_CENTER
    int nImageLayout = 0; // likewise
    int nImageXAdjust = 0;
    int nImageYAdjust = 0;
};

class SKIN {
public:
    // Each opens the package and loads it, or throws (nothing is kept then).
    SKIN(host::HMODULE hModule, host::ResName name, host::ResName type);
    explicit SKIN(const TCHAR* pszPath);
    SKIN(const void* pv, std::size_t cb);
    ~SKIN();
    SKIN(const SKIN&) = delete;
    SKIN& operator=(const SKIN&) = delete;

    // ---- Files
    // Null when missing.
    SKINFILE* FindFile(const cetl::istring& strName) const;
    // Enters a picture under a name, replacing a file of that name; the skin takes the
    // sprite and puts it in its palette group.
    SKINFILE* AddFile(const cetl::istring& strName, Sprite* pSprite);
    // Enters a file from bytes (copied), converted by its name as a packaged file is.
    SKINFILE* AddFile(const cetl::istring& strName, const void* pv, DWORD cb);
    std::size_t FileCount() const { return files_.Count(); }

    // ---- Properties
    const PROPERTIES& Properties() const { return *pProperties_; }
    void SetProperty(const cetl::istring& strKey, const cetl::string& strText);
    // The control's set (may be null) before the skin's, each with the window's prefix
    // first; the default value when nothing holds the key.
    const PROPERTIESVALUE& Lookup(const cetl::istring& strKey, const PROPERTIES* pControl,
                                  const cetl::string& strWindow) const;
    SKINWINDOWSETTINGS WindowSettings(const cetl::string& strWindow) const;
    SKINCONTROLSETTINGS ControlSettings(int nKind, const PROPERTIES* pControl,
                                        const cetl::string& strWindow) const;
    // Colour of "transparent color", clrNone when empty.
    Color TransparentColor() const { return clrTransparent_; }
    PaletteGroup* Palette() const { return pGroup_; }

    // ---- Pictures
    // Throws kszSkinMissingImage when the picture is missing, except for "text" and
    // negative kinds, which give null.
    SKINCONTROLGRAPHICS* Graphics(const cetl::string& strName, int nKind,
                                  const cetl::string& strWindow);
    // Null whenever the picture is missing: for pictures a window may go without, such as
    // a whole-window "frame".
    SKINCONTROLGRAPHICS* OptionalGraphics(const cetl::string& strName, int nKind,
                                          const cetl::string& strWindow);

    // ---- Fonts: one per description, kept until the skin is destroyed. Null on failure.
    host::HFONT Font(const cetl::string& strDescription);

private:
    void Load();
    void Destroy();
    void ConvertFile(SKINFILE* pFile);
    Sprite* MakeSprite(const BYTE* pb, DWORD cb) const;
    void ReleaseFile(SKINFILE* pFile);
    SKINCONTROLGRAPHICS* CutPicture(Sprite* pPicture, int nKind);
    SKINFILE* FindPicture(const cetl::string& strName, const cetl::string& strWindow) const;

    zip::ZipFile* pZip_ = nullptr;
    cetl::stringmap<SKINFILE*> files_;
    PROPERTIES* pProperties_ = nullptr;
    Color clrTransparent_ = clrNone;
    PaletteGroup* pGroup_ = nullptr;
    cetl::map<Sprite*, SKINCONTROLGRAPHICS*> graphics_;
    cetl::map<cetl::string, host::HFONT> fonts_;
    mutable cetl::istring strPrefixed_; // scratch for window-prefixed keys
};
