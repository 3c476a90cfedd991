// Skin settings: the four-step property lookup, window and control settings, and fonts.
#include "skin/skin.h"

#include "foundation/tl_font.h"

namespace {

const PROPERTIESVALUE kDefaultValue;

int LayoutFromText(const cetl::string& strText) {
    cetl::istring strLayout(strText);
    if (strLayout.Compare(cetl::string(TEXT("right"))) == 0) return SKIN_RIGHT;
    if (strLayout.Compare(cetl::string(TEXT("center"))) == 0) return SKIN_CENTER;
    return SKIN_LEFT;
}

const TCHAR* PrefixFor(int nKind) {
    switch (nKind) {
    case CT_PBUTTON:
        return TEXT("pbutton ");
    case CT_RBUTTON:
        return TEXT("rbutton ");
    case CT_CBUTTON:
        return TEXT("cbutton ");
    case CT_EDIT:
        return TEXT("edit ");
    case CT_LIST:
        return TEXT("list ");
    default:
        return TEXT("");
    }
}

} // namespace

const PROPERTIESVALUE& SKIN::Lookup(const cetl::istring& strKey, const PROPERTIES* pControl,
                                    const cetl::string& strWindow) const {
    if (strWindow.IsEmpty()) {
        if (pControl != nullptr)
            if (const PROPERTIESVALUE* pValue = pControl->Lookup(strKey)) return *pValue;
    } else {
        // One buffer of the skin's, reused: the lookups of a window run often enough that
        // building the prefixed key afresh each time would cost more than the search.
        cetl::istring& strPrefixed = strPrefixed_;
        strPrefixed.Empty();
        strPrefixed += strWindow;
        strPrefixed += TEXT(' ');
        strPrefixed += strKey;
        if (pControl != nullptr) {
            if (const PROPERTIESVALUE* pValue = pControl->Lookup(strPrefixed)) return *pValue;
            if (const PROPERTIESVALUE* pValue = pControl->Lookup(strKey)) return *pValue;
        }
        if (const PROPERTIESVALUE* pValue = pProperties_->Lookup(strPrefixed)) return *pValue;
    }
    const PROPERTIESVALUE* pValue = pProperties_->Lookup(strKey);
    return pValue != nullptr ? *pValue : kDefaultValue;
}

SKINWINDOWSETTINGS SKIN::WindowSettings(const cetl::string& strWindow) const {
    auto Get = [&](const TCHAR* pszKey) -> const PROPERTIESVALUE& {
        return Lookup(pszKey, nullptr, strWindow);
    };
    SKINWINDOWSETTINGS settings = {};
    if (const PROPERTIESVALUE& border = Get(TEXT("frame border")); !border.strText.IsEmpty()) {
        settings.nLeftBorder = settings.nTopBorder = settings.nRightBorder =
            settings.nBottomBorder = border.nNumber;
    } else {
        if (const PROPERTIESVALUE& x = Get(TEXT("frame xborder")); !x.strText.IsEmpty()) {
            settings.nLeftBorder = settings.nRightBorder = x.nNumber;
        } else {
            settings.nLeftBorder = Get(TEXT("frame lborder")).nNumber;
            settings.nRightBorder = Get(TEXT("frame rborder")).nNumber;
        }
        if (const PROPERTIESVALUE& y = Get(TEXT("frame yborder")); !y.strText.IsEmpty()) {
            settings.nTopBorder = settings.nBottomBorder = y.nNumber;
        } else {
            settings.nTopBorder = Get(TEXT("frame tborder")).nNumber;
            settings.nBottomBorder = Get(TEXT("frame bborder")).nNumber;
        }
    }
    settings.fProportionalScrollbars = Get(TEXT("proportional scrollbars")).nNumber != 0;
    settings.nTitlebarHeight =
        Get(TEXT("drag by background")).nNumber != 0 ? -1 : Get(TEXT("titlebar height")).nNumber;
    cetl::istring strLayout(Get(TEXT("background layout")).strText);
    settings.nBackgroundLayout =
        strLayout.Compare(cetl::string(TEXT("stretch"))) == 0  ? SKIN_STRETCH
        : strLayout.Compare(cetl::string(TEXT("center"))) == 0 ? SKIN_CENTER
                                                               : SKIN_TILE;
    settings.clrBackground = Get(TEXT("background color")).clr;
    settings.nFramesPerSecond = Get(TEXT("frames per second")).nNumber;
    return settings;
}

SKINCONTROLSETTINGS SKIN::ControlSettings(int nKind, const PROPERTIES* pControl,
                                          const cetl::string& strWindow) const {
    const cetl::string strPrefix(PrefixFor(nKind));
    auto Get = [&](const TCHAR* pszKey) -> const PROPERTIESVALUE& {
        return Lookup(strPrefix + pszKey, pControl, strWindow);
    };
    // The prefixed key, or the plain fallback when the prefixed one is empty.
    auto GetOr = [&](const TCHAR* pszKey, const TCHAR* pszFallback) -> const PROPERTIESVALUE& {
        const PROPERTIESVALUE& value = Get(pszKey);
        return value.strText.IsEmpty() ? Lookup(pszFallback, pControl, strWindow) : value;
    };
    SKINCONTROLSETTINGS settings;
    settings.strFont = GetOr(TEXT("font"), TEXT("font")).strText;
    settings.clrText = GetOr(TEXT("text color"), TEXT("text color")).clr;
    settings.clrSelectedText = GetOr(TEXT("selected text color"), TEXT("selected text color")).clr;
    settings.clrSelectedBackground =
        GetOr(TEXT("selected text background color"), TEXT("selected background color")).clr;
    settings.clrDisabledText = GetOr(TEXT("disabled text color"), TEXT("disabled text color")).clr;
    if (const PROPERTIESVALUE& border = Get(TEXT("text border")); !border.strText.IsEmpty()) {
        settings.nLeftBorder = settings.nTopBorder = settings.nRightBorder =
            settings.nBottomBorder = border.nNumber;
    } else {
        if (const PROPERTIESVALUE& x = Get(TEXT("text xborder")); !x.strText.IsEmpty()) {
            settings.nLeftBorder = settings.nRightBorder = x.nNumber;
        } else {
            settings.nLeftBorder = Get(TEXT("text lborder")).nNumber;
            settings.nRightBorder = Get(TEXT("text rborder")).nNumber;
        }
        if (const PROPERTIESVALUE& y = Get(TEXT("text yborder")); !y.strText.IsEmpty()) {
            settings.nTopBorder = settings.nBottomBorder = y.nNumber;
        } else {
            settings.nTopBorder = Get(TEXT("text tborder")).nNumber;
            settings.nBottomBorder = Get(TEXT("text bborder")).nNumber;
        }
    }
    settings.nTextLayout = LayoutFromText(Get(TEXT("text layout")).strText);
    settings.nImageLayout = LayoutFromText(Get(TEXT("image layout")).strText);
    settings.nImageXAdjust = Get(TEXT("image xadjust")).nNumber;
    settings.nImageYAdjust = Get(TEXT("image yadjust")).nNumber;
    return settings;
}

host::HFONT SKIN::Font(const cetl::string& strDescription) {
    auto it = fonts_.Find(strDescription);
    if (it != fonts_.end()) return it->second;
    host::HFONT hFont = cetl::CreateFontFromDescription(strDescription);
    try {
        fonts_.Set(strDescription, hFont);
    } catch (...) {
        if (hFont != nullptr) host::DeleteObject(hFont);
        throw;
    }
    return hFont;
}
