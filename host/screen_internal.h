// Internal to the screen (screen*.cpp): the backend interface, the presented picture, and
// the screen object behind the public functions (screen.cpp: start, presentation, the
// functions of screen.h; screen_wm.cpp: the window manager).
#pragma once

#include "host/rect.h"
#include "host/screen.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace host::scr {

// The presented picture: 0x00RRGGBB pixels at the screen's scale.
struct Frame {
    int cx = 0;
    int cy = 0;
    int nScale = 1;
    std::vector<std::uint32_t> pixels; // cx * cy, rows top-down

    std::uint32_t* Row(int y) { return pixels.data() + static_cast<std::size_t>(y) * cx; }
};

// Converts the screen rectangle rc (screen coordinates, inside the screen) of px into the
// frame, widening 5-bit fields to 8 bits and repeating each pixel nScale times each way.
void ConvertToFrame(const PixelBuffer& px, const RECT& rc, Frame* pFrame);

// What a backend may ask of the screen, from the screen's thread.
class BackendHost {
public:
    virtual ~BackendHost() = default;
    // The user closed the output window.
    virtual void CloseRequested() = 0;
    // The output lost its picture (exposed): present everything again.
    virtual void RepaintAll() = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    // Shows rc (frame coordinates) of the frame.
    virtual void Present(const Frame& frame, const RECT& rcFrame) = 0;
    // Reads pending input and window events (the screen's thread only); true when there
    // was any.
    virtual bool ReadInput() = 0;
    virtual bool NeedsPump() const = 0;
    virtual void* NativeWindow() { return nullptr; }
    // Shows the cursor (null: none). Any thread; an output without a pointer ignores it.
    virtual void ShowCursor(HCURSOR /*hCursor*/) {}
};

// The SDL2 window; null (with *pError set) when SDL's video cannot start. A scale of 0 in
// the options becomes the largest whole factor (1 to 8) at which the screen fits the
// desktop's usable area comfortably; *pnScale receives the scale in force.
std::unique_ptr<Backend> MakeSdlBackend(BackendHost* host, const ScreenOptions& options, int cx,
                                        int cy, int* pnScale, std::string* pError);
// That factor for a screen of cx x cy on a usable area of cxArea x cyArea: the screen
// takes at most nine tenths of its width and height.
int FittingScale(int cx, int cy, int cxArea, int cyArea);
// True when an SDL backend could find a display (DISPLAY or WAYLAND_DISPLAY is set).
bool HasDisplay();

// An owned region handle.
class Rgn {
public:
    Rgn() : h_(CreateRectRgn(0, 0, 0, 0)) {}
    explicit Rgn(const RECT& rc) : h_(CreateRectRgnIndirect(&rc)) {}
    ~Rgn() {
        if (h_ != nullptr) DeleteObject(h_);
    }
    Rgn(const Rgn&) = delete;
    Rgn& operator=(const Rgn&) = delete;
    Rgn(Rgn&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}

    HRGN get() const { return h_; }
    void And(HRGN other) { CombineRgn(h_, h_, other, RGN_AND); }
    void And(const RECT& rc) {
        Rgn r(rc);
        And(r.get());
    }
    void Subtract(HRGN other) { CombineRgn(h_, h_, other, RGN_DIFF); }
    void Subtract(const RECT& rc) {
        Rgn r(rc);
        Subtract(r.get());
    }
    bool IsEmpty() const {
        RECT box;
        return GetRgnBox(h_, &box) == NULLREGION;
    }

private:
    HRGN h_;
};

class Screen;

// The surface behind a context the screen hands out. At the start of every drawing call it
// brings the context's origin and visible region up to date when windows changed since,
// on the drawing thread, so that no other thread touches a context in use.
class DcSurface : public Surface {
public:
    enum class Kind { kScreen, kClient, kWindow, kPaint };

    DcSurface(Screen* screen, HWND hwnd, Kind kind, const RECT& rcPaint)
        : screen_(screen), hwnd_(hwnd), kind_(kind), rcPaint_(rcPaint) {}

    PixelBuffer GetPixels() override;
    void Changed(const RECT& rc) override;
    UINT RealizePalette(const PALETTEENTRY* pEntries, UINT cEntries) override;

    HDC hdc = nullptr;
    std::uint64_t generation = 0; // of the window layout the context was set up for
    HWND hwnd() const { return hwnd_; }
    Kind kind() const { return kind_; }
    const RECT& rcPaint() const { return rcPaint_; }

private:
    Screen* screen_;
    HWND hwnd_;
    Kind kind_;
    RECT rcPaint_;
};

class Screen : public WindowManagerHooks, public BackendHost {
public:
    bool Start(const ScreenOptions& options);
    void Stop();
    const ScreenOptions& options() const { return options_; }
    LONG cx() const { return cx_; }
    LONG cy() const { return cy_; }
    RECT WorkArea() const { return {0, 0, cx_, cy_ - taskbar_}; }
    RECT TaskbarRect() const { return {0, cy_ - taskbar_, cx_, cy_}; }

    // WindowManagerHooks
    HDC BeginPaintDC(HWND hwnd, const RECT& rcPaint) override {
        return MakeDc(hwnd, DcSurface::Kind::kPaint, &rcPaint);
    }
    void EndPaintDC(HWND hwnd, HDC hdc) override { Release(hwnd, hdc); }
    bool EraseBackground(HWND hwnd, HDC hdc) override;
    bool PtInWindowRegion(HWND hwnd, POINT ptWindow) override;
    void WindowChanged(HWND hwnd, WindowChange change) override;
    void CursorChanged(HCURSOR hCursor) override {
        std::lock_guard lock(mutex_); // Stop may be taking the backend away
        if (backend_) backend_->ShowCursor(hCursor);
    }

    // BackendHost
    void CloseRequested() override;
    void RepaintAll() override;

    HDC MakeDc(HWND hwnd, DcSurface::Kind kind, const RECT* prcPaint);
    int Release(HWND hwnd, HDC hdc);
    int SetRegion(HWND hwnd, HRGN hrgn, BOOL fRedraw);
    int GetRegion(HWND hwnd, HRGN hrgn);
    BOOL FullScreen(HWND hwnd, bool fHideTaskbar);
    bool TaskbarShown() {
        std::lock_guard lock(mutex_);
        return fTaskbarShown_;
    }
    void SetMainWindow(HWND hwnd) {
        std::lock_guard lock(mutex_);
        mainWindow_ = hwnd;
    }

    bool Present();
    // Reads input, then presents; true when there was input.
    bool Pump();
    // Pump() for the message wait: the milliseconds until the next one, longer once the
    // screen has been idle (no input, no new frame) for a while.
    DWORD PumpWhileWaiting();
    std::uint64_t PresentCount() {
        std::lock_guard lock(mutex_);
        return cPresents_;
    }
    COLORREF Pixel(int x, int y);
    DWORD Presented(int x, int y);
    HBITMAP Bitmap();
    bool Save(const std::string& path);
    void* NativeWindow() { return backend_ ? backend_->NativeWindow() : nullptr; }

    // For DcSurface.
    PixelBuffer Pixels() {
        PixelBuffer px;
        GetBitmapPixels(hbm_, &px);
        return px;
    }
    void Refresh(DcSurface& surface);
    void MarkChanged(const RECT& rc) {
        std::lock_guard lock(mutex_);
        dirty_ = rect::Union(dirty_, rect::Intersect(rc, {0, 0, cx_, cy_}));
    }
    UINT Realize(const PALETTEENTRY* pEntries, UINT cEntries);

private:
    // The window's shape on the screen: its rectangle, within its region if it has one.
    Rgn ShapeLocked(HWND hwnd, const RECT& rcWindow);
    // What of the window (client area, or all of it) can be seen.
    Rgn VisibleLocked(HWND hwnd, bool fWholeWindow);
    std::vector<HWND> VisibleTopLevels();
    bool ComputeTaskbarShownLocked();
    // Invalidates every top-level window's part within rc (screen coordinates).
    static void InvalidateUnder(const RECT& rc, HWND except);
    void PaintChromeLocked();
    void PaintCaptionLocked(HWND hwnd, const RECT& rcWindow);
    void PaintTaskbarLocked();
    void BringUpToDateLocked();

    std::recursive_mutex mutex_;
    // PumpWhileWaiting's pace: the presents it last saw, and when it last saw activity.
    std::uint64_t cPresentsSeen_ = 0;
    std::chrono::steady_clock::time_point lastActivity_ = std::chrono::steady_clock::now();
    ScreenOptions options_;
    LONG cx_ = 0, cy_ = 0;
    int taskbar_ = 0;
    HBITMAP hbm_ = nullptr;
    HDC hdcMem_ = nullptr; // holds the bitmap, for its colour table
    HGDIOBJ hbmOld_ = nullptr;
    std::unique_ptr<DcSurface> chromeSurface_;
    HDC hdcChrome_ = nullptr;
    HFONT captionFont_ = nullptr;
    HFONT taskbarFont_ = nullptr;
    std::unique_ptr<Backend> backend_;
    Frame frame_;
    RECT dirty_{};
    bool fChromeDirty_ = true;
    bool fTaskbarShown_ = false;
    int minuteShown_ = -1;
    std::uint64_t cPresents_ = 0;
    std::map<HWND, HRGN> regions_;
    std::map<HDC, std::unique_ptr<DcSurface>> dcs_;
    HWND fullScreen_ = nullptr;
    HWND mainWindow_ = nullptr;
    std::vector<HWND> shown_; // top-level windows in the order they were first shown
    std::array<PALETTEENTRY, 256> savedPalette_{};
    DisplayFormat savedFormat_;

public:
    std::atomic<std::uint64_t> generation{1};
};

} // namespace host::scr
