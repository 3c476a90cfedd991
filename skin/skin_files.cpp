// Skin packages: opening, converting the files, adding files, and releasing it all.
#include "skin/skin.h"

#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"
#include "setup/zip/zipfile.h"

#include <climits>
#include <cstring>

using zip::ZipEntry;
using zip::ZipFile;

namespace {

bool EndsWith(const cetl::istring& strName, const TCHAR* pszSuffix) {
    cetl::istring strSuffix(pszSuffix);
    int iStart = strName.Length() - strSuffix.Length();
    return iStart >= 0 && strSuffix.Compare(strName.Substring(iStart)) == 0;
}

bool IsPicture(const cetl::istring& strName) {
    return EndsWith(strName, TEXT(".psp")) || EndsWith(strName, TEXT(".bmp"));
}

} // namespace

SKIN::SKIN(host::HMODULE hModule, host::ResName name, host::ResName type) {
    try {
        pZip_ = MemNew(ZipFile);
        if (pZip_ == nullptr) throw std::bad_alloc();
        // The resource is copied: the package must outlive nothing but the skin.
        host::HRSRC hResource = host::FindResource(hModule, name, type);
        const void* pv = hResource != nullptr
                             ? host::LockResource(host::LoadResource(hModule, hResource))
                             : nullptr;
        if (pv != nullptr) pZip_->OpenMemory(pv, host::SizeofResource(hModule, hResource), false);
        Load();
    } catch (...) {
        Destroy();
        throw;
    }
}

SKIN::SKIN(const TCHAR* pszPath) {
    try {
        pZip_ = MemNew(ZipFile);
        if (pZip_ == nullptr) throw std::bad_alloc();
        pZip_->OpenFile(pszPath, false);
        Load();
    } catch (...) {
        Destroy();
        throw;
    }
}

SKIN::SKIN(const void* pv, std::size_t cb) {
    try {
        pZip_ = MemNew(ZipFile);
        if (pZip_ == nullptr) throw std::bad_alloc();
        if (pv != nullptr && cb > 0) pZip_->OpenMemory(pv, cb, false);
        Load();
    } catch (...) {
        Destroy();
        throw;
    }
}

SKIN::~SKIN() {
    Destroy();
}

void SKIN::Load() {
    pProperties_ = MemNew(PROPERTIES);
    pGroup_ = MemNew(PaletteGroup);
    if (pProperties_ == nullptr || pGroup_ == nullptr) throw std::bad_alloc();

    for (const auto& item : pZip_->Entries()) {
        ZipEntry* pEntry = item.second;
        // Folders hold nothing a skin reads.
        if (pEntry->Name().Length() > 0 && pEntry->Name()[pEntry->Name().Length() - 1] == '/')
            continue;
        SKINFILE* pFile = MemNew(SKINFILE);
        if (pFile == nullptr) throw std::bad_alloc();
        pFile->strName = pEntry->Name();
        pFile->pbData = pEntry->Data();
        pFile->cbData = pEntry->Size();
        pFile->pEntry = pEntry;
        try {
            files_.Set(pFile->strName, pFile);
        } catch (...) {
            MemDelete(pFile);
            throw;
        }
    }
    for (const auto& item : files_) {
        SKINFILE* pFile = item.second;
        if (!IsPicture(pFile->strName)) ConvertFile(pFile);
    }

    SKINFILE* pSkinText = FindFile(TEXT("skin.txt"));
    if (pSkinText == nullptr) cetl::ThrowException(kszSkinNoProperties);
    const CHAR* pch = pSkinText->strText.Text8();
    pProperties_->Parse(pch, std::strlen(pch), PROPERTIES::PARSE_REPLACE);

    const PROPERTIESVALUE* pTransparent = pProperties_->Lookup(TEXT("transparent color"));
    clrTransparent_ =
        pTransparent == nullptr || pTransparent->strText.IsEmpty() ? clrNone : pTransparent->clr;

    pGroup_->Open();
    for (const auto& item : files_) {
        SKINFILE* pFile = item.second;
        if (IsPicture(pFile->strName)) ConvertFile(pFile);
    }
    pGroup_->Close();
}

Sprite* SKIN::MakeSprite(const BYTE* pb, DWORD cb) const {
    Sprite* pSprite = MemNew(Sprite, pb, cb, clrTransparent_, 1, 1, SPRITE_NO_LIMIT);
    if (pSprite == nullptr) throw std::bad_alloc();
    return pSprite;
}

// Turns the bytes into a text, sound or sprite by the name, and lets the package entry go.
// Pictures join the palette group, which must be open.
void SKIN::ConvertFile(SKINFILE* pFile) {
    if (EndsWith(pFile->strName, TEXT(".wav"))) {
        pFile->pSound = MemNew(Sound);
        if (pFile->pSound == nullptr) throw std::bad_alloc();
        pFile->pSound->LoadMemory(pFile->pbData, pFile->cbData);
    } else if (EndsWith(pFile->strName, TEXT(".txt"))) {
        // The text ends at its first zero byte, as every reader of it stops there.
        const CHAR* pch = reinterpret_cast<const CHAR*>(pFile->pbData);
        std::size_t cch = pch != nullptr ? strnlen(pch, pFile->cbData) : 0;
        pFile->strText.Assign(pch != nullptr ? pch : "",
                              static_cast<int>(cch < INT_MAX ? cch : INT_MAX));
    } else if (IsPicture(pFile->strName)) {
        pFile->pSprite = MakeSprite(pFile->pbData, pFile->cbData);
        pGroup_->Add(pFile->pSprite, FALSE);
    } else {
        return; // kept as bytes
    }
    if (pFile->pEntry != nullptr) pFile->pEntry->Release();
    pFile->pEntry = nullptr;
    if (pFile->pbOwned != nullptr) MemFree(pFile->pbOwned);
    pFile->pbOwned = nullptr;
    pFile->pbData = nullptr;
    pFile->cbData = 0;
}

SKINFILE* SKIN::FindFile(const cetl::istring& strName) const {
    auto it = files_.Find(strName);
    return it != files_.end() ? it->second : nullptr;
}

SKINFILE* SKIN::AddFile(const cetl::istring& strName, Sprite* pSprite) {
    SKINFILE* pFile = MemNew(SKINFILE);
    if (pFile == nullptr) {
        MemDelete(pSprite);
        throw std::bad_alloc();
    }
    pFile->strName = strName;
    pFile->pSprite = pSprite;
    if (SKINFILE* pOld = FindFile(strName)) ReleaseFile(pOld);
    files_.Set(strName, pFile);
    if (pSprite != nullptr) {
        pGroup_->Open();
        pGroup_->Add(pSprite, FALSE);
        pGroup_->Close();
    }
    return pFile;
}

SKINFILE* SKIN::AddFile(const cetl::istring& strName, const void* pv, DWORD cb) {
    SKINFILE* pFile = MemNew(SKINFILE);
    if (pFile == nullptr) throw std::bad_alloc();
    pFile->strName = strName;
    if (pv != nullptr && cb > 0) {
        pFile->pbOwned = static_cast<BYTE*>(MemAlloc(cb));
        if (pFile->pbOwned == nullptr) {
            MemDelete(pFile);
            throw std::bad_alloc();
        }
        std::memcpy(pFile->pbOwned, pv, cb);
        pFile->pbData = pFile->pbOwned;
        pFile->cbData = cb;
    }
    if (SKINFILE* pOld = FindFile(strName)) ReleaseFile(pOld);
    files_.Set(strName, pFile);
    pGroup_->Open();
    try {
        ConvertFile(pFile);
    } catch (...) {
        pGroup_->Close();
        throw;
    }
    pGroup_->Close();
    return pFile;
}

void SKIN::SetProperty(const cetl::istring& strKey, const cetl::string& strText) {
    pProperties_->SetText(strKey, strText);
}

// Frees a file and the cells cut from its picture; the caller drops it from the map.
void SKIN::ReleaseFile(SKINFILE* pFile) {
    if (pFile->pSprite != nullptr) {
        auto it = graphics_.Find(pFile->pSprite);
        if (it != graphics_.end()) {
            MemDelete(it->second);
            graphics_.Remove(pFile->pSprite);
        }
        if (pGroup_ != nullptr) pGroup_->Remove(pFile->pSprite);
        MemDelete(pFile->pSprite);
    }
    MemDelete(pFile->pSound);
    if (pFile->pEntry != nullptr) pFile->pEntry->Release();
    if (pFile->pbOwned != nullptr) MemFree(pFile->pbOwned);
    MemDelete(pFile);
}

void SKIN::Destroy() {
    for (const auto& item : graphics_)
        MemDelete(item.second);
    graphics_.Clear();
    for (const auto& item : files_)
        ReleaseFile(item.second);
    files_.Clear();
    for (const auto& item : fonts_)
        if (item.second != nullptr) host::DeleteObject(item.second);
    fonts_.Clear();
    MemDelete(pProperties_);
    pProperties_ = nullptr;
    MemDelete(pZip_);
    pZip_ = nullptr;
    if (pGroup_ != nullptr && pGroup_->IsOpen()) pGroup_->Close();
    MemDelete(pGroup_);
    pGroup_ = nullptr;
}
