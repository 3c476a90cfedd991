// What the skin's drawers share: rectangle helpers and the device contexts they draw and
// measure on. Internal to the skin library.
#pragma once

#include "skin/skin.h"

#include <algorithm>

namespace skin_internal {

inline RECT Intersect(const RECT& a, const RECT& b) {
    RECT rc = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    return rc;
}

inline bool IsEmptyRect(const RECT& rc) {
    return rc.right <= rc.left || rc.bottom <= rc.top;
}

// The control's rectangle shrunk by the settings' text borders.
inline RECT TextRect(const RECT& rc, const SKINCONTROLSETTINGS& settings) {
    RECT rcText = {rc.left + settings.nLeftBorder, rc.top + settings.nTopBorder,
                   rc.right - settings.nRightBorder, rc.bottom - settings.nBottomBorder};
    return rcText;
}

// A font selected into a context for as long as the object lives.
class SelectFont {
public:
    SelectFont(HDC hdc, SKIN* pSkin, const cetl::string& strFont) : hdc_(hdc) {
        host::HFONT hFont = pSkin != nullptr ? pSkin->Font(strFont) : nullptr;
        if (hFont != nullptr) hOld_ = host::SelectObject(hdc_, hFont);
    }
    ~SelectFont() {
        if (hOld_ != nullptr) host::SelectObject(hdc_, hOld_);
    }
    SelectFont(const SelectFont&) = delete;
    SelectFont& operator=(const SelectFont&) = delete;

private:
    HDC hdc_;
    host::HFONT hOld_ = nullptr;
};

// A memory context for measuring, deleted with the object.
class MeasureDC {
public:
    MeasureDC() : hdc_(host::CreateCompatibleDC(nullptr)) {}
    ~MeasureDC() {
        if (hdc_ != nullptr) host::DeleteDC(hdc_);
    }
    MeasureDC(const MeasureDC&) = delete;
    MeasureDC& operator=(const MeasureDC&) = delete;
    HDC Get() const { return hdc_; }

private:
    HDC hdc_;
};

// The destination's root context with its clip cut to rcClip (destination coordinates);
// Hdc() is null when nothing can be drawn. Coordinates go through X() and Y().
class DestDC {
public:
    DestDC(Graphic* pDest, const RECT& rcClip) : pDest_(pDest) {
        if (pDest_ == nullptr || !pDest_->IsValid()) return;
        RECT rcDest = {0, 0, pDest_->GetWidth(), pDest_->GetHeight()};
        RECT rc = Intersect(rcClip, rcDest);
        if (IsEmptyRect(rc)) return;
        hdc_ = pDest_->GetDC();
        if (hdc_ == nullptr) return;
        pDest_->GetRectInRoot(&rcInRoot_);
        nSaved_ = host::SaveDC(hdc_);
        host::IntersectClipRect(hdc_, X(rc.left), Y(rc.top), X(rc.right), Y(rc.bottom));
    }
    ~DestDC() {
        if (hdc_ == nullptr) return;
        if (nSaved_ != 0) host::RestoreDC(hdc_, nSaved_);
        pDest_->ReleaseDC();
    }
    DestDC(const DestDC&) = delete;
    DestDC& operator=(const DestDC&) = delete;
    HDC Hdc() const { return hdc_; }
    int X(LONG x) const { return x + rcInRoot_.left; }
    int Y(LONG y) const { return y + rcInRoot_.top; }

private:
    Graphic* pDest_;
    HDC hdc_ = nullptr;
    RECT rcInRoot_ = {};
    int nSaved_ = 0;
};

} // namespace skin_internal
