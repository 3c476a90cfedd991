// Graphic: construction, parsing, structure, device context, selection, saving and the
// viewer. Pixels, the colour table and transparency live in cea_graphic_pixels.cpp, drawing
// in cea_graphic_draw.cpp.
#include "anim/cea_graphic_internal.h"

#include "anim/cea_display.h"
#include "anim/cea_palette.h"
#include "anim/cea_psp.h"
#include "foundation/diag.h"
#include "foundation/memmgr.h"
#include "host/screen.h"
#include "host/window.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

using graphic_internal::Address;
using graphic_internal::RootOf;

namespace {

constexpr char kPspSignature[] = "Paint Shop Pro Image File";
constexpr DWORD kcbPspSignature = 25;
constexpr host::WORD kRtBitmap = 2;
constexpr DWORD kcbFileHeader = 14;
constexpr DWORD kcbInfoHeader = 40;

bool IsSupportedDepth(int nDepth) {
    switch (nDepth) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        return true;
    default:
        return false;
    }
}

LONG PitchFor(LONG cx, int nDepth) {
    return static_cast<LONG>(((static_cast<int64_t>(cx) * nDepth + 31) / 32) * 4);
}

DWORD ValueMaskFor(int nDepth) {
    return nDepth >= 32 ? 0xFFFFFFFFu : ((1u << nDepth) - 1);
}

// An information header with room for a full colour table (or the three channel masks).
struct HEADERBLOCK {
    host::BITMAPINFOHEADER bmih;
    RGBQUAD rgColors[256];
};

void SetChannelMasks(HEADERBLOCK* pHeader) {
    auto* pMasks = reinterpret_cast<DWORD*>(pHeader->rgColors);
    if (pHeader->bmih.biBitCount == 16) {
        pHeader->bmih.biCompression = host::BI_BITFIELDS;
        pMasks[0] = 0x7C00;
        pMasks[1] = 0x03E0;
        pMasks[2] = 0x001F;
        pHeader->bmih.biClrUsed = 0;
    } else if (pHeader->bmih.biBitCount == 32) {
        pHeader->bmih.biCompression = host::BI_BITFIELDS;
        pMasks[0] = 0x00FF0000;
        pMasks[1] = 0x0000FF00;
        pMasks[2] = 0x000000FF;
        pHeader->bmih.biClrUsed = 0;
    }
}

struct SHOWPARAMS {
    Graphic* pGraphic;
    host::HPALETTE hpal;
};

constexpr char kShowClass[] = "GraphicShowClass";

host::LRESULT ShowWndProc(host::HWND hwnd, UINT uMsg, host::WPARAM wParam, host::LPARAM lParam) {
    auto* pParams = reinterpret_cast<SHOWPARAMS*>(host::GetWindowLongPtr(hwnd, 0));
    switch (uMsg) {
    case host::WM_PAINT: {
        host::PAINTSTRUCT ps;
        HDC hdc = host::BeginPaint(hwnd, &ps);
        if (hdc != nullptr && pParams != nullptr) {
            host::HPALETTE hpalOld = nullptr;
            if (pParams->hpal != nullptr) {
                hpalOld = host::SelectPalette(hdc, pParams->hpal, FALSE);
                host::RealizePalette(hdc);
            }
            RECT rc;
            host::GetClientRect(hwnd, &rc);
            host::FillRect(hdc, &rc,
                           static_cast<host::HBRUSH>(host::GetStockObject(host::WHITE_BRUSH)));
            pParams->pGraphic->DrawTo(hdc, 0, 0, 0, 0, cxToEdge, cxToEdge);
            if (hpalOld != nullptr) host::SelectPalette(hdc, hpalOld, FALSE);
        }
        host::EndPaint(hwnd, &ps);
        return 0;
    }
    case host::WM_LBUTTONDOWN:
        if (pParams != nullptr) {
            Graphic* pGraphic = pParams->pGraphic;
            int x = host::GET_X_LPARAM(lParam);
            int y = host::GET_Y_LPARAM(lParam);
            Color clr = pGraphic->GetPixelColor(x, y);
            long nRed = clr & 0xFF;
            long nGreen = (clr >> 8) & 0xFF;
            long nBlue = (clr >> 16) & 0xFF;
            if (pGraphic->GetDepth() > 8) {
                host::SetWindowText(
                    hwnd, std::string_view(cetl::sformat("RGB=%lu,%lu,%lu - X=%ld,Y=%ld",
                                                         static_cast<unsigned long>(nRed),
                                                         static_cast<unsigned long>(nGreen),
                                                         static_cast<unsigned long>(nBlue),
                                                         static_cast<long>(x), static_cast<long>(y))
                                               .Text8()));
            } else {
                host::SetWindowText(
                    hwnd,
                    std::string_view(cetl::sformat("I=%ld, RGB=%ld,%ld,%ld - X=%ld,Y=%ld",
                                                   static_cast<long>(pGraphic->GetPixelValue(x, y)),
                                                   nRed, nGreen, nBlue, static_cast<long>(x),
                                                   static_cast<long>(y))
                                         .Text8()));
            }
        }
        return 0;
    case host::WM_COMMAND:
        if (host::LOWORD(wParam) == 1 || host::LOWORD(wParam) == 2) {
            host::DestroyWindow(hwnd);
            return 0;
        }
        break;
    case host::WM_CLOSE:
        host::DestroyWindow(hwnd);
        return 0;
    default:
        break;
    }
    return host::DefWindowProc(hwnd, uMsg, wParam, lParam);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Construction and destruction

Graphic::Graphic() {
    Clear();
    m_fValid = 1;
}

Graphic::Graphic(const TCHAR* pszFile, Sprite* pSprite, Color clrTransparent) {
    Clear();
    m_fValid = 1;
    LoadFile(pszFile, pSprite, clrTransparent);
}

Graphic::Graphic(host::HANDLE hFile, Sprite* pSprite, Color clrTransparent) {
    Clear();
    m_fValid = 1;
    if (hFile == nullptr || hFile == host::INVALID_HANDLE_VALUE) return;
    BYTE rgbSig[2];
    DWORD cbRead = 0;
    if (!host::ReadFile(hFile, rgbSig, 2, &cbRead) || cbRead != 2) return;
    if (rgbSig[0] == 'B' && rgbSig[1] == 'M') {
        if (host::SetFilePointer(hFile, kcbFileHeader - 2, host::FILE_CURRENT) ==
            host::INVALID_SET_FILE_POINTER)
            return;
    } else if (host::SetFilePointer(hFile, -2, host::FILE_CURRENT) ==
               host::INVALID_SET_FILE_POINTER) {
        return;
    }
    BYTE rgbHeader[kcbInfoHeader];
    if (!host::ReadFile(hFile, rgbHeader, kcbInfoHeader, &cbRead) || cbRead != kcbInfoHeader)
        return;
    DWORD nPos = host::SetFilePointer(hFile, -static_cast<LONG>(kcbInfoHeader), host::FILE_CURRENT);
    if (nPos == host::INVALID_SET_FILE_POINTER) return;
    host::BITMAPINFOHEADER bmih;
    std::memcpy(&bmih, rgbHeader, sizeof(bmih));
    int64_t cy = bmih.biHeight < 0 ? -static_cast<int64_t>(bmih.biHeight) : bmih.biHeight;
    int64_t cbWanted = kcbInfoHeader;
    if (bmih.biSize > kcbInfoHeader && bmih.biSize < 0x10000) cbWanted = bmih.biSize;
    if (bmih.biBitCount < 9) {
        DWORD cColors = 1u << bmih.biBitCount;
        if (bmih.biClrUsed > 0 && bmih.biClrUsed < cColors) cColors = bmih.biClrUsed;
        cbWanted += int64_t{4} * cColors;
    }
    // Sizes beyond what a section can have are left to the parser to reject.
    if (bmih.biWidth > 0 && bmih.biWidth <= 0x7FFF && cy <= 0x7FFF && bmih.biBitCount <= 32)
        cbWanted += cy * PitchFor(bmih.biWidth, bmih.biBitCount);
    // A header may claim far more than the file holds: never read past its end.
    DWORD cbFile = host::GetFileSize(hFile);
    if (cbFile == host::INVALID_FILE_SIZE || cbFile < nPos) return;
    if (cbWanted > cbFile - nPos) cbWanted = cbFile - nPos;
    DWORD cbData = static_cast<DWORD>(cbWanted);
    auto* pbData = static_cast<BYTE*>(MemAllocTagged(cbData ? cbData : 1, "cbData"));
    if (pbData == nullptr) return;
    if (host::ReadFile(hFile, pbData, cbData, &cbRead) && cbRead == cbData)
        Parse(pbData, cbData, pSprite, clrTransparent);
    MemFree(pbData);
}

Graphic::Graphic(const void* pvData, DWORD cbData, Sprite* pSprite, Color clrTransparent) {
    Clear();
    m_fValid = 1;
    if (pvData != nullptr) Parse(static_cast<const BYTE*>(pvData), cbData, pSprite, clrTransparent);
}

Graphic::Graphic(host::HMODULE hModule, const TCHAR* pszName, Sprite* pSprite,
                 Color clrTransparent) {
    Clear();
    m_fValid = 1;
    if (pszName == nullptr) return;
    host::HRSRC hrsrc =
        host::FindResource(hModule, host::ResName(pszName), host::ResName(kRtBitmap));
    if (hrsrc == nullptr)
        hrsrc = host::FindResource(hModule, host::ResName(pszName), host::ResName("GRAPHIC"));
    if (hrsrc == nullptr)
        hrsrc = host::FindResource(hModule, host::ResName(pszName), host::ResName("PSP"));
    if (hrsrc == nullptr) return;
    DWORD cb = host::SizeofResource(hModule, hrsrc);
    const void* pv = host::LockResource(host::LoadResource(hModule, hrsrc));
    if (pv != nullptr && cb > 0) Parse(static_cast<const BYTE*>(pv), cb, pSprite, clrTransparent);
}

Graphic::Graphic(int cx, int cy, int nDepth, const RGBQUAD* pColors) {
    Clear();
    m_fValid = 1;
    CreateBlank(cx, cy, nDepth, pColors);
}

Graphic::Graphic(int cx, int cy, int nDepth, PaletteGroup* pGroup) {
    Clear();
    m_fValid = 1;
    if (nDepth == 0) nDepth = GetDisplayDepth();
    const RGBQUAD* pColors = nullptr;
    RGBQUAD rgColors[256];
    if (pGroup != nullptr && nDepth <= 8 && nDepth > 0) {
        PALETTEENTRY rgEntries[256];
        UINT cEntries = 1u << nDepth;
        if (pGroup->GetEntries(rgEntries, 0, cEntries) == cEntries) {
            for (UINT i = 0; i < cEntries; i++)
                rgColors[i] = {rgEntries[i].peBlue, rgEntries[i].peGreen, rgEntries[i].peRed, 0};
            pColors = rgColors;
        }
    }
    CreateBlank(cx, cy, nDepth, pColors);
    if (pGroup != nullptr && pGroup->Open()) {
        pGroup->Add(this, TRUE);
        pGroup->Close();
    }
}

Graphic::Graphic(Graphic* pParent, const RECT* prc) {
    Clear();
    m_fValid = 1;
    if (pParent == nullptr || !pParent->IsValid()) return;
    RECT rc;
    if (prc != nullptr)
        rc = *prc;
    else
        pParent->GetRect(&rc);
    m_fChild = 1;
    m_pParent = pParent;
    m_rcInParent = rc;
    pParent->AddChild(this);
}

Graphic::~Graphic() {
    if (m_fValid) Destroy();
}

void Graphic::Clear() {
    m_fValid = 0;
    m_fChild = 0;
    m_hbm = nullptr;
    m_pParent = nullptr;
    m_pbBits = nullptr;
    std::memset(m_rgColors, 0, sizeof(m_rgColors));
    m_rcInParent = {};
    m_rcBounds = {};
    m_nDepth = 0;
    m_hdc = nullptr;
    m_cDCRefs = 0;
    m_hbmOld = nullptr;
    m_cbPitch = 0;
    m_nValueMask = 0;
    m_pGroup = nullptr;
    m_translucency = {};
    m_clrTransparent = clrNone;
    m_clrPrepared = clrNone;
    m_hbmMask = nullptr;
    m_pRuns = nullptr;
    m_cRuns = 0;
    m_cRunsAllocated = 0;
    m_pRows = nullptr;
    m_cRows = 0;
    m_pbSelection = nullptr;
    m_cbSelection = 0;
    m_ppChildren = nullptr;
    m_cChildren = 0;
}

void Graphic::Destroy() {
    if (!m_fValid) {
        cetl::trace("Graphic 0x%08lX destroyed twice", Address(this));
        return;
    }
    for (DWORD i = 0; i < m_cChildren; i++) {
        Graphic* pChild = m_ppChildren[i];
        if (pChild == nullptr) continue;
        cetl::trace("Warning: freeing child graphic 0x%08lX when parent 0x%08lX destroyed",
                    Address(pChild), Address(this));
        pChild->Destroy();
        MemDelete(pChild);
    }
    if (m_ppChildren != nullptr) MemFree(m_ppChildren);
    m_ppChildren = nullptr;
    m_cChildren = 0;

    if (m_fChild) {
        if (m_pParent != nullptr) m_pParent->RemoveChild(this);
        Clear();
        return;
    }
    if (m_pGroup != nullptr) m_pGroup->Remove(this);
    m_pGroup = nullptr;
    SetTranslucency(TRANSLUCENT_NONE, 128);
    FreeRuns();
    if (m_hdc != nullptr) {
        cetl::trace("Warning: freeing graphic 0x%08lX while HDC still open", Address(this));
        host::SelectObject(m_hdc, m_hbmOld);
        host::DeleteDC(m_hdc);
    }
    if (m_hbm != nullptr) host::DeleteObject(m_hbm);
    if (m_hbmMask != nullptr) host::DeleteObject(m_hbmMask);
    if (m_pbSelection != nullptr) MemFree(m_pbSelection);
    Clear();
}

void Graphic::LoadFile(const TCHAR* pszFile, Sprite* pSprite, Color clrTransparent) {
    if (pszFile == nullptr) return;
    host::HANDLE hFile =
        host::CreateFile(pszFile, host::GENERIC_READ, host::FILE_SHARE_READ, host::OPEN_EXISTING);
    if (hFile == host::INVALID_HANDLE_VALUE) return;
    DWORD cbData = host::GetFileSize(hFile);
    if (cbData != host::INVALID_FILE_SIZE && cbData > 0) {
        auto* pbData = static_cast<BYTE*>(MemAlloc(cbData));
        DWORD cbRead = 0;
        if (pbData != nullptr) {
            if (host::ReadFile(hFile, pbData, cbData, &cbRead) && cbRead == cbData)
                Parse(pbData, cbData, pSprite, clrTransparent);
            MemFree(pbData);
        }
    }
    host::CloseHandle(hFile);
}

void Graphic::AddChild(Graphic* pChild) {
    for (DWORD i = 0; i < m_cChildren; i++) {
        if (m_ppChildren[i] == nullptr) {
            m_ppChildren[i] = pChild;
            return;
        }
    }
    DWORD iFree = m_cChildren;
    if (!MemReallocArray(&m_ppChildren, &m_cChildren, iFree + 1, 4)) return;
    m_ppChildren[iFree] = pChild;
}

void Graphic::RemoveChild(Graphic* pChild) {
    for (DWORD i = 0; i < m_cChildren; i++) {
        if (m_ppChildren[i] == pChild) m_ppChildren[i] = nullptr;
    }
}

// ---------------------------------------------------------------------------------------
// Parsing and creation

BOOL Graphic::Parse(const BYTE* pbData, DWORD cbData, Sprite* pSprite, Color clrTransparent) {
    if (pbData == nullptr) return FALSE;
    if (cbData > kcbPspSignature && std::memcmp(pbData, kPspSignature, kcbPspSignature) == 0)
        return ReadPaintShopPro(this, pSprite, pbData, cbData, clrTransparent) ? TRUE : FALSE;
    if (cbData < kcbFileHeader) return FALSE;
    if (pbData[0] == 'B' && pbData[1] == 'M') {
        pbData += kcbFileHeader;
        cbData -= kcbFileHeader;
    }
    // Every field is checked against the data: a header is outside input.
    if (cbData < kcbInfoHeader) return FALSE;
    host::BITMAPINFOHEADER bmih;
    std::memcpy(&bmih, pbData, sizeof(bmih));
    int nDepth = bmih.biBitCount;
    if (!IsSupportedDepth(nDepth) || bmih.biSize < kcbInfoHeader || bmih.biSize > cbData ||
        bmih.biWidth <= 0 || bmih.biHeight == 0 || bmih.biHeight < -0x7FFFFFFF)
        return FALSE;
    // Later header versions are longer; the colour table follows whatever length it has.
    DWORD cbInfo = bmih.biSize;
    DWORD cColors = 0;
    if (nDepth <= 8) {
        cColors = 1u << nDepth;
        // A short table is common: only the used colours are stored.
        if (bmih.biClrUsed > 0 && bmih.biClrUsed < cColors) cColors = bmih.biClrUsed;
    }
    if (cColors * 4 > cbData - cbInfo) return FALSE;
    DWORD cbHeader = cbInfo + cColors * 4;
    bool fBottomUp = bmih.biHeight > 0;
    LONG cy = fBottomUp ? bmih.biHeight : -bmih.biHeight;
    LONG cx = bmih.biWidth;

    DWORD cbExtra = 3 * sizeof(DWORD);
    auto* pHeader = static_cast<HEADERBLOCK*>(
        MemAllocTagged(sizeof(HEADERBLOCK) + cbExtra, "cbHeader + cbExtra"));
    if (pHeader == nullptr) return FALSE;
    std::memset(pHeader, 0, sizeof(HEADERBLOCK));
    pHeader->bmih = bmih;
    pHeader->bmih.biSize = kcbInfoHeader;
    pHeader->bmih.biHeight = -cy;
    if (cColors > 0) {
        std::memcpy(pHeader->rgColors, pbData + cbInfo, cColors * 4);
        pHeader->bmih.biClrUsed = 1u << nDepth;
    }
    SetChannelMasks(pHeader);
    void* pvBits = nullptr;
    host::HBITMAP hbm = host::CreateDIBSection(
        nullptr, reinterpret_cast<host::BITMAPINFO*>(pHeader), host::DIB_RGB_COLORS, &pvBits);
    if (hbm == nullptr || pvBits == nullptr) {
        if (hbm != nullptr) host::DeleteObject(hbm);
        MemFree(pHeader);
        return FALSE;
    }
    m_hbm = hbm;
    m_pbBits = static_cast<BYTE*>(pvBits);
    m_rcBounds = {0, 0, cx, cy};
    m_nDepth = nDepth;
    std::memset(m_rgColors, 0, sizeof(m_rgColors));
    if (nDepth <= 8) std::memcpy(m_rgColors, pHeader->rgColors, (1u << nDepth) * sizeof(RGBQUAD));
    m_cbPitch = PitchFor(cx, nDepth);
    m_nValueMask = ValueMaskFor(nDepth);
    MemFree(pHeader);

    uint64_t cbPixels = static_cast<uint64_t>(cy) * static_cast<uint64_t>(m_cbPitch);
    if (cbData - cbHeader >= cbPixels) {
        std::memcpy(m_pbBits, pbData + cbHeader, static_cast<size_t>(cbPixels));
        if (fBottomUp && cy > 1) {
            auto* pbRow = static_cast<BYTE*>(MemAllocTagged(m_cbPitch, "m.NotChild.cbPitch"));
            if (pbRow != nullptr) {
                for (LONG i = 0; i < cy / 2; i++) {
                    BYTE* pbTop = m_pbBits + static_cast<size_t>(i) * m_cbPitch;
                    BYTE* pbBottom = m_pbBits + static_cast<size_t>(cy - 1 - i) * m_cbPitch;
                    std::memcpy(pbRow, pbTop, m_cbPitch);
                    std::memcpy(pbTop, pbBottom, m_cbPitch);
                    std::memcpy(pbBottom, pbRow, m_cbPitch);
                }
                MemFree(pbRow);
            }
        }
    }
    m_clrTransparent = clrTransparent;
    return TRUE;
}

BOOL Graphic::CreateBlank(int cx, int cy, int nDepth, const RGBQUAD* pColors) {
    if (!m_fValid || m_fChild) return FALSE;
    if (nDepth == 0) nDepth = GetDisplayDepth();
    if (!IsSupportedDepth(nDepth) || cx <= 0 || cy <= 0) return FALSE;
    HEADERBLOCK header;
    std::memset(&header, 0, sizeof(header));
    LONG cbPitch = PitchFor(cx, nDepth);
    header.bmih.biSize = kcbInfoHeader;
    header.bmih.biWidth = cx;
    header.bmih.biHeight = -cy;
    header.bmih.biPlanes = 1;
    header.bmih.biBitCount = static_cast<host::WORD>(nDepth);
    header.bmih.biCompression = host::BI_RGB;
    header.bmih.biSizeImage = static_cast<DWORD>(static_cast<int64_t>(cy) * cbPitch);
    if (nDepth <= 8) {
        UINT cColors = 1u << nDepth;
        header.bmih.biClrUsed = cColors;
        if (pColors != nullptr) {
            std::memcpy(header.rgColors, pColors, cColors * sizeof(RGBQUAD));
        } else if (nDepth == 1) {
            header.rgColors[0] = {0, 0, 0, 0};
            header.rgColors[1] = {255, 255, 255, 0};
        } else {
            PALETTEENTRY rgEntries[256] = {};
            host::GetSystemPaletteEntries(nullptr, 0, cColors, rgEntries);
            for (UINT i = 0; i < cColors; i++)
                header.rgColors[i] = {rgEntries[i].peBlue, rgEntries[i].peGreen, rgEntries[i].peRed,
                                      0};
        }
    }
    SetChannelMasks(&header);
    void* pvBits = nullptr;
    host::HBITMAP hbm = host::CreateDIBSection(
        nullptr, reinterpret_cast<host::BITMAPINFO*>(&header), host::DIB_RGB_COLORS, &pvBits);
    if (hbm == nullptr || pvBits == nullptr) {
        if (hbm != nullptr) host::DeleteObject(hbm);
        return FALSE;
    }
    if (m_hbm != nullptr) {
        if (m_hdc != nullptr) host::SelectObject(m_hdc, hbm);
        host::DeleteObject(m_hbm);
    }
    FreeRuns();
    m_hbm = hbm;
    m_pbBits = static_cast<BYTE*>(pvBits);
    m_rcBounds = {0, 0, cx, cy};
    m_nDepth = nDepth;
    std::memset(m_rgColors, 0, sizeof(m_rgColors));
    if (nDepth <= 8) std::memcpy(m_rgColors, header.rgColors, (1u << nDepth) * sizeof(RGBQUAD));
    m_cbPitch = cbPitch;
    m_nValueMask = ValueMaskFor(nDepth);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Structure and size

BOOL Graphic::IsChild() const {
    CHECK_VALID("IsChild", FALSE);
    return m_fChild ? TRUE : FALSE;
}

Graphic* Graphic::GetParent() const {
    CHECK_VALID("GetParent", nullptr);
    if (!m_fChild) {
        cetl::trace("Graphic::GetParent called on non-child graphic (0x%08lX)", Address(this));
        return nullptr;
    }
    return m_pParent;
}

BOOL Graphic::GetRectInParent(RECT* prc) const {
    CHECK_VALID("GetRectInParent", FALSE);
    if (!m_fChild) {
        cetl::trace("Graphic::GetRectInParent called on non-child graphic (0x%08lX)",
                    Address(this));
        return FALSE;
    }
    if (prc != nullptr) *prc = m_rcInParent;
    return TRUE;
}

Graphic* Graphic::GetRoot() {
    Graphic* pGraphic = this;
    while (pGraphic->m_fChild && pGraphic->m_pParent != nullptr)
        pGraphic = pGraphic->m_pParent;
    return pGraphic;
}

void Graphic::GetRectInRoot(RECT* prc) const {
    if (prc == nullptr) return;
    RECT rc = {0, 0, 0, 0};
    if (m_fValid) {
        rc = {0, 0, GetWidth(), GetHeight()};
        for (const Graphic* p = this; p->m_fChild && p->m_pParent != nullptr; p = p->m_pParent)
            host::OffsetRect(&rc, p->m_rcInParent.left, p->m_rcInParent.top);
    }
    *prc = rc;
}

BOOL Graphic::GetRect(RECT* prc) const {
    CHECK_VALID("GetRect", FALSE);
    if (prc == nullptr) return FALSE;
    if (m_fChild)
        *prc = {0, 0, m_rcInParent.right - m_rcInParent.left,
                m_rcInParent.bottom - m_rcInParent.top};
    else
        *prc = m_rcBounds;
    return TRUE;
}

int Graphic::GetWidth() const {
    CHECK_VALID("GetWidth", 0);
    return m_fChild ? m_rcInParent.right - m_rcInParent.left : m_rcBounds.right;
}

int Graphic::GetHeight() const {
    CHECK_VALID("GetHeight", 0);
    return m_fChild ? m_rcInParent.bottom - m_rcInParent.top : m_rcBounds.bottom;
}

int Graphic::GetDepth() const {
    CHECK_VALID("GetDepth", 0);
    return RootOf(this)->m_nDepth;
}

BYTE* Graphic::GetBits() const {
    CHECK_VALID("GetBits", nullptr);
    return RootOf(this)->m_pbBits;
}

LONG Graphic::GetPitch() const {
    CHECK_VALID("GetPitch", 0);
    return RootOf(this)->m_cbPitch;
}

host::HBITMAP Graphic::GetBitmap() const {
    CHECK_VALID("GetBitmap", nullptr);
    return RootOf(this)->m_hbm;
}

// ---------------------------------------------------------------------------------------
// Device context

HDC Graphic::GetDC() {
    CHECK_VALID("GetDC", nullptr);
    Graphic* pRoot = GetRoot();
    if (pRoot != this) return pRoot->GetDC();
    if (m_hbm == nullptr) return nullptr;
    if (m_cDCRefs == 0) {
        m_hdc = host::CreateCompatibleDC(nullptr);
        if (m_hdc == nullptr) return nullptr;
        m_hbmOld = host::SelectObject(m_hdc, static_cast<host::HGDIOBJ>(m_hbm));
    }
    m_cDCRefs++;
    return m_hdc;
}

void Graphic::ReleaseDC() {
    CHECK_VALID("ReleaseDC", );
    Graphic* pRoot = GetRoot();
    if (pRoot != this) {
        pRoot->ReleaseDC();
        return;
    }
    if (m_cDCRefs <= 0) return;
    if (--m_cDCRefs == 0) {
        host::SelectObject(m_hdc, m_hbmOld);
        host::DeleteDC(m_hdc);
        m_hdc = nullptr;
        m_hbmOld = nullptr;
    }
}

bool Graphic::IsDCOpen() const {
    if (!m_fValid) return false;
    return RootOf(this)->m_cDCRefs > 0;
}

// ---------------------------------------------------------------------------------------
// Selection

BOOL Graphic::HasSelection() const {
    CHECK_VALID("HasSelection", FALSE);
    return RootOf(this)->m_pbSelection != nullptr ? TRUE : FALSE;
}

BOOL Graphic::GetSelection(BYTE** ppbSelection, DWORD* pcbSelection) const {
    if (ppbSelection != nullptr) *ppbSelection = nullptr;
    if (pcbSelection != nullptr) *pcbSelection = 0;
    CHECK_VALID("GetSelection", FALSE);
    if (ppbSelection == nullptr || pcbSelection == nullptr) return FALSE;
    const Graphic* pRoot = RootOf(this);
    RECT rc;
    GetRectInRoot(&rc);
    LONG cx = rc.right - rc.left;
    LONG cy = rc.bottom - rc.top;
    if (cx <= 0 || cy <= 0) return FALSE;
    *pcbSelection = static_cast<DWORD>(cx) * static_cast<DWORD>(cy);
    auto* pb = static_cast<BYTE*>(MemAlloc(*pcbSelection));
    if (pb == nullptr) {
        *pcbSelection = 0;
        return FALSE;
    }
    std::memset(pb, 0, *pcbSelection);
    LONG cxRoot = pRoot->m_rcBounds.right;
    LONG cyRoot = pRoot->m_rcBounds.bottom;
    if (pRoot->m_pbSelection != nullptr &&
        pRoot->m_cbSelection >= static_cast<DWORD>(cxRoot) * static_cast<DWORD>(cyRoot)) {
        // Only the part of the rectangle that lies inside the root has selection bytes.
        for (LONG y = rc.top; y < rc.bottom; y++) {
            if (y < 0 || y >= cyRoot) continue;
            for (LONG x = rc.left; x < rc.right; x++) {
                if (x >= 0 && x < cxRoot)
                    pb[static_cast<size_t>(y - rc.top) * cx + (x - rc.left)] =
                        pRoot->m_pbSelection[static_cast<size_t>(y) * cxRoot + x];
            }
        }
    }
    *ppbSelection = pb;
    return TRUE;
}

void Graphic::FreeSelection(BYTE* pbSelection) {
    if (pbSelection != nullptr) MemFree(pbSelection);
}

void Graphic::AttachSelection(BYTE* pbSelection, DWORD cbSelection) {
    CHECK_VALID("AttachSelection", );
    Graphic* pRoot = GetRoot();
    if (pRoot->m_pbSelection != nullptr && pRoot->m_pbSelection != pbSelection)
        MemFree(pRoot->m_pbSelection);
    pRoot->m_pbSelection = pbSelection;
    pRoot->m_cbSelection = pbSelection != nullptr ? cbSelection : 0;
}

// ---------------------------------------------------------------------------------------
// Files

DWORD Graphic::GetImageSize(BOOL fWithFileHeader) const {
    CHECK_VALID("GetImageSize", 0);
    int nDepth = GetDepth();
    DWORD cb = fWithFileHeader ? kcbFileHeader + kcbInfoHeader : kcbInfoHeader;
    if (nDepth > 0 && nDepth <= 8) cb += 4u << nDepth;
    cb += static_cast<DWORD>(GetHeight()) * static_cast<DWORD>(PitchFor(GetWidth(), nDepth));
    return cb;
}

BOOL Graphic::Save(host::HANDLE hFile) {
    CHECK_VALID("Save", FALSE);
    Graphic* pRoot = GetRoot();
    int nDepth = pRoot->m_nDepth;
    if (pRoot->m_pbBits == nullptr || nDepth <= 0) return FALSE;
    Color clrTransparent = GetTransparency();
    SetTransparency(clrNone);
    PrepareTransparency();

    LONG cx = GetWidth();
    LONG cy = GetHeight();
    DWORD cbStride = static_cast<DWORD>(PitchFor(cx, nDepth));
    DWORD cbTable = nDepth <= 8 ? 4u << nDepth : 0;
    DWORD cbImage = static_cast<DWORD>(cy) * cbStride;
    BYTE rgbHeader[kcbFileHeader + kcbInfoHeader] = {};
    auto put16 = [&](size_t off, DWORD n) {
        rgbHeader[off] = static_cast<BYTE>(n);
        rgbHeader[off + 1] = static_cast<BYTE>(n >> 8);
    };
    auto put32 = [&](size_t off, DWORD n) {
        put16(off, n & 0xFFFF);
        put16(off + 2, n >> 16);
    };
    rgbHeader[0] = 'B';
    rgbHeader[1] = 'M';
    put32(2, kcbFileHeader + kcbInfoHeader + cbTable + cbImage);
    put32(10, kcbFileHeader + kcbInfoHeader + cbTable);
    put32(14, kcbInfoHeader);
    put32(18, static_cast<DWORD>(cx));
    put32(22, static_cast<DWORD>(cy));
    put16(26, 1);
    put16(28, static_cast<DWORD>(nDepth));
    put32(34, cbImage);
    put32(46, nDepth <= 8 ? 1u << nDepth : 0);
    put32(50, nDepth <= 8 ? 1u << nDepth : 0);

    DWORD cbWritten = 0;
    BOOL fOk = host::WriteFile(hFile, rgbHeader, sizeof(rgbHeader), &cbWritten);
    if (fOk && cbTable > 0) fOk = host::WriteFile(hFile, pRoot->m_rgColors, cbTable, &cbWritten);
    auto* pbRow = fOk ? static_cast<BYTE*>(MemAlloc(cbStride)) : nullptr;
    if (pbRow == nullptr) fOk = FALSE;
    RECT rc;
    GetRectInRoot(&rc);
    for (LONG y = cy - 1; fOk && y >= 0; y--) {
        std::memset(pbRow, 0, cbStride);
        LONG yRoot = rc.top + y;
        if (nDepth >= 8) {
            LONG cbPixel = nDepth / 8;
            // Only the part of the rectangle inside the root has pixels; the rest stays 0.
            for (LONG x = 0; x < cx; x++) {
                LONG xRoot = rc.left + x;
                if (xRoot < 0 || yRoot < 0 || xRoot >= pRoot->m_rcBounds.right ||
                    yRoot >= pRoot->m_rcBounds.bottom)
                    continue;
                std::memcpy(pbRow + x * cbPixel,
                            pRoot->m_pbBits + static_cast<size_t>(yRoot) * pRoot->m_cbPitch +
                                xRoot * cbPixel,
                            cbPixel);
            }
        } else {
            for (LONG x = 0; x < cx; x++) {
                DWORD n = pRoot->GetPixelValue(rc.left + x, yRoot);
                LONG iBit = x * nDepth;
                pbRow[iBit / 8] |= static_cast<BYTE>(n << (8 - nDepth - iBit % 8));
            }
        }
        fOk = host::WriteFile(hFile, pbRow, cbStride, &cbWritten);
    }
    if (pbRow != nullptr) MemFree(pbRow);
    SetTransparency(clrTransparent);
    return fOk ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------
// Viewer

void Graphic::Show(const TCHAR* pszTitle) {
    CHECK_VALID("Show", );
    host::WNDCLASSA wc = {};
    wc.lpfnWndProc = ShowWndProc;
    wc.cbWndExtra = sizeof(void*);
    wc.hCursor = nullptr;
    wc.lpszClassName = kShowClass;
    host::RegisterClass(&wc); // already registered by an earlier viewer is fine

    auto* pParams =
        static_cast<SHOWPARAMS*>(MemAllocTagged(sizeof(SHOWPARAMS), "GRAPHICShowParams"));
    if (pParams == nullptr) return;
    pParams->pGraphic = this;
    pParams->hpal = nullptr;
    if (GetPaletteGroup() != nullptr)
        pParams->hpal = GetPaletteGroup()->GetPalette();
    else if (GetDisplay() != nullptr && GetDisplay()->IsPaletteBased())
        pParams->hpal = GetDisplay()->GetPalette();

    DWORD dwStyle = host::WS_POPUP | host::WS_CAPTION | host::WS_SYSMENU;
    RECT rc = {0, 0, GetWidth(), GetHeight()};
    host::AdjustWindowRectEx(&rc, dwStyle, FALSE, 0);
    int cxScreen = host::GetSystemMetrics(host::SM_CXSCREEN);
    int cyScreen = host::GetSystemMetrics(host::SM_CYSCREEN);
    int cx = rc.right - rc.left;
    int cy = rc.bottom - rc.top;
    if (cxScreen > 0 && cx > cxScreen) cx = cxScreen;
    if (cyScreen > 0 && cy > cyScreen) cy = cyScreen;
    int x = (cxScreen - cx) / 2;
    int y = (cyScreen - cy) / 2;
    cetl::string strTitle(pszTitle != nullptr ? pszTitle : TEXT(""));
    host::HWND hwnd = host::CreateWindowEx(0, kShowClass, strTitle.Text8(), dwStyle, x, y, cx, cy,
                                           nullptr, nullptr, nullptr, nullptr);
    if (hwnd != nullptr) {
        host::SetWindowLongPtr(hwnd, 0, reinterpret_cast<host::LONG_PTR>(pParams));
        // The host's modal loop hands a quit message on to the caller's loop.
        host::RunModalLoop(hwnd);
        if (host::IsWindow(hwnd)) host::DestroyWindow(hwnd);
    }
    MemFree(pParams);
}
