// Skin pictures: cutting a picture into the cells of its kind, and finding a picture for a
// window.
#include "skin/skin.h"

#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"

namespace {

struct GRID {
    int cColumns;
    int cRows;
};

// By kind 0 to 17; kind 14 (user-drawn) has none.
constexpr GRID kGrids[] = {
    {1, 1}, {2, 2}, {2, 1}, {1, 2}, {1, 3}, {1, 3}, {1, 1}, {3, 4}, {2, 4},
    {2, 4}, {4, 1}, {3, 3}, {4, 4}, {4, 4}, {0, 0}, {3, 3}, {1, 1}, {3, 3},
};

} // namespace

bool SKINCONTROLGRAPHICS::GridFor(int nKind, int* pcColumns, int* pcRows) {
    GRID grid = {0, 0};
    if (nKind < 0)
        grid = {(nKind >> 16) & 0x7FFF, nKind & 0xFFFF};
    else if (nKind < static_cast<int>(std::size(kGrids)))
        grid = kGrids[nKind];
    if (grid.cColumns <= 0 || grid.cRows <= 0) return false;
    *pcColumns = grid.cColumns;
    *pcRows = grid.cRows;
    return true;
}

SKINCONTROLGRAPHICS::SKINCONTROLGRAPHICS(Sprite* pPicture, int nKind)
    : pPicture_(pPicture), nKind_(nKind) {
    int cColumns = 0, cRows = 0;
    if (!GridFor(nKind, &cColumns, &cRows)) cetl::ThrowException(kszSkinUnknownControlType);
    int cx = pPicture != nullptr ? pPicture->GetWidth() : 0;
    int cy = pPicture != nullptr ? pPicture->GetHeight() : 0;
    // A picture smaller than its grid would give empty cells, which drawing repeats forever.
    if (cx / cColumns <= 0 || cy / cRows <= 0) cetl::ThrowException(kszSkinUnknownControlType);
    cColumns_ = cColumns;
    cRows_ = cRows;
    cxCell_ = cx / cColumns;
    cyCell_ = cy / cRows;
    ppCells_ = MemAllocArray(Sprite*, CellCount());
    if (ppCells_ == nullptr) throw std::bad_alloc();
    for (int i = 0; i < CellCount(); ++i)
        ppCells_[i] = nullptr;
    for (int i = 0; i < CellCount(); ++i) {
        RECT rc;
        rc.left = (i % cColumns_) * cxCell_;
        rc.top = (i / cColumns_) * cyCell_;
        rc.right = rc.left + cxCell_;
        rc.bottom = rc.top + cyCell_;
        ppCells_[i] = MemNew(Sprite, pPicture, &rc);
        if (ppCells_[i] == nullptr) {
            Release();
            throw std::bad_alloc();
        }
    }
}

SKINCONTROLGRAPHICS::~SKINCONTROLGRAPHICS() {
    Release();
}

void SKINCONTROLGRAPHICS::Release() {
    if (ppCells_ == nullptr) return;
    for (int i = 0; i < CellCount(); ++i)
        MemDelete(ppCells_[i]);
    MemFree(ppCells_);
    ppCells_ = nullptr;
}

Sprite* SKINCONTROLGRAPHICS::Cell(int i) const {
    return i >= 0 && i < CellCount() ? ppCells_[i] : nullptr;
}

Sprite* SKINCONTROLGRAPHICS::Cell(int iColumn, int iRow) const {
    if (iColumn < 0 || iColumn >= cColumns_ || iRow < 0 || iRow >= cRows_) return nullptr;
    return ppCells_[iRow * cColumns_ + iColumn];
}

SKINFILE* SKIN::FindPicture(const cetl::string& strName, const cetl::string& strWindow) const {
    static const TCHAR* const kszExtensions[] = {TEXT(".psp"), TEXT(".bmp")};
    if (!strWindow.IsEmpty()) {
        cetl::istring strPrefixed = strWindow + TEXT(" ") + strName;
        for (const TCHAR* pszExtension : kszExtensions) {
            SKINFILE* pFile = FindFile(strPrefixed + pszExtension);
            if (pFile != nullptr && pFile->pSprite != nullptr) return pFile;
        }
    }
    for (const TCHAR* pszExtension : kszExtensions) {
        SKINFILE* pFile = FindFile(strName + pszExtension);
        if (pFile != nullptr && pFile->pSprite != nullptr) return pFile;
    }
    return nullptr;
}

SKINCONTROLGRAPHICS* SKIN::CutPicture(Sprite* pPicture, int nKind) {
    auto it = graphics_.Find(pPicture);
    if (it != graphics_.end()) return it->second;
    SKINCONTROLGRAPHICS* pGraphics = MemNew(SKINCONTROLGRAPHICS, pPicture, nKind);
    if (pGraphics == nullptr) throw std::bad_alloc();
    try {
        graphics_.Set(pPicture, pGraphics);
    } catch (...) {
        MemDelete(pGraphics);
        throw;
    }
    return pGraphics;
}

SKINCONTROLGRAPHICS* SKIN::Graphics(const cetl::string& strName, int nKind,
                                    const cetl::string& strWindow) {
    SKINFILE* pFile = FindPicture(strName, strWindow);
    if (pFile != nullptr) return CutPicture(pFile->pSprite, nKind);
    if (nKind < 0 || cetl::istring(strName).Compare(cetl::string(TEXT("text"))) == 0)
        return nullptr;
    throw cetl::exception(cetl::sformat(kszSkinMissingImage,
                                        Lookup(TEXT("skin"), nullptr, cetl::string()).strText,
                                        strWindow, strName));
}

SKINCONTROLGRAPHICS* SKIN::OptionalGraphics(const cetl::string& strName, int nKind,
                                            const cetl::string& strWindow) {
    SKINFILE* pFile = FindPicture(strName, strWindow);
    return pFile != nullptr ? CutPicture(pFile->pSprite, nKind) : nullptr;
}
