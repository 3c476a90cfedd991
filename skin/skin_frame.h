// A skinned window's own pictures: its background, its frame and its shape.
//
// A window is drawn in three layers: the background colour over the whole window; the
// "background" picture in the inner rectangle (tiled from the inner origin, stretched over
// it, or centred in it); then the frame. The frame is either one whole-window "frame"
// picture, or corners ("frame-c" cells 0 to 3: top left, top right, bottom left, bottom
// right), left and right edges ("frame-lr" cells 0 and 1, repeated downward between the
// corners) and top and bottom edges ("frame-tb" cells 0 and 1, repeated along between the
// corners).
//
// Decisions the window code relies on:
// - A whole-window "frame" is drawn at its own size at the window's top left, never
//   stretched: stretching would smear its artwork and move its shape. Its shape is, row by
//   row, from its first to its last opaque pixel, so see-through holes inside the frame
//   show the background while the see-through outside is cut away. A window larger than
//   the picture ends where the picture does; size the window to the picture.
// - Corner and edge cells count by their opaque pixels, as the corners do, so a shaped edge
//   stays shaped. The window's middle is solid: the window inset on each side by the
//   smaller of that side's corner and edge size.
// - A window too small for two corners shows the outer part of each corner, split at the
//   middle, so no corner overdraws another; edges then get no room.
// - Without any transparent colour the shape is the whole window's rectangle.
//
// The opaque pixels of every picture are read from the runs its Graphic keeps for its
// transparent colour; the whole shape goes to ExtCreateRegion as one RGNDATA, whose
// rectangles (one pixel high per run, collected in blocks of 256) may overlap.
#pragma once

#include "skin/skin.h"

class SKINFRAME {
public:
    // Looks the pictures up for the window name: a whole-window "frame" when the skin has
    // one, else "frame-c", "frame-lr" and "frame-tb", and "background". Throws
    // kszSkinMissingImage for a missing required picture. The skin outlives this object.
    SKINFRAME(SKIN* pSkin, const cetl::string& strWindow);
    // From pictures already looked up (a null picture is left out) and settings.
    SKINFRAME(const SKINWINDOWSETTINGS& settings, SKINCONTROLGRAPHICS* pFrame,
              SKINCONTROLGRAPHICS* pCorners, SKINCONTROLGRAPHICS* pLeftRight,
              SKINCONTROLGRAPHICS* pTopBottom, SKINCONTROLGRAPHICS* pBackground);

    const SKINWINDOWSETTINGS& Settings() const { return settings_; }
    SKINCONTROLGRAPHICS* Frame() const { return pFrame_; }
    SKINCONTROLGRAPHICS* Corners() const { return pCorners_; }
    SKINCONTROLGRAPHICS* LeftRight() const { return pLeftRight_; }
    SKINCONTROLGRAPHICS* TopBottom() const { return pTopBottom_; }
    SKINCONTROLGRAPHICS* Background() const { return pBackground_; }

    // The client area of a cx x cy window: inside the frame borders, empty (at the clamped
    // corner) when the borders leave no room.
    RECT InnerRect(int cx, int cy) const;

    // Draws the window over the whole of pDest (the window's size is pDest's). iFrame picks
    // the frame of layered pictures (counted modulo their frame count).
    void Draw(Graphic* pDest, DWORD iFrame = 0) const;

    // The window's shape for a cx x cy window, in window coordinates: a new region the caller
    // owns (SetWindowRgn takes it), empty for an empty window, null only when out of memory.
    host::HRGN Region(int cx, int cy) const;

private:
    SKINWINDOWSETTINGS settings_{};
    SKINCONTROLGRAPHICS* pFrame_ = nullptr;
    SKINCONTROLGRAPHICS* pCorners_ = nullptr;
    SKINCONTROLGRAPHICS* pLeftRight_ = nullptr;
    SKINCONTROLGRAPHICS* pTopBottom_ = nullptr;
    SKINCONTROLGRAPHICS* pBackground_ = nullptr;
};
