// The screen: start and stop, presentation, options, metrics and the functions of screen.h.
#include "host/screen.h"

#include "host/controls.h"
#include "host/dialog.h"

#include "host/clock.h"
#include "host/debug.h"
#include "host/error.h"
#include "host/screen_internal.h"
#include "host/startup_trace.h"
#include "host/thread.h"
#include "host/window_internal.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace host {
namespace scr {
namespace {

constexpr LONG kDeviceWidth = 240, kDeviceHeight = 320;
constexpr LONG kDesktopWidth = 800, kDesktopHeight = 600;
constexpr DWORD kPumpIntervalMs = 8;
// A screen with neither input nor a new frame for a second reads its window's events less
// often: a window nobody touches then wakes its thread a quarter as often, and the first
// event after the pause waits at most this long.
constexpr DWORD kIdlePumpIntervalMs = 32;
constexpr auto kIdleAfter = std::chrono::seconds(1);

// ---------------------------------------------------------------------------------------
// The running screen

std::mutex g_mutex;
std::shared_ptr<Screen> g_screen;
// Whether this screen put the drawn message box in place of the default responder.
std::atomic<bool> g_drawnBoxes{false};

std::shared_ptr<Screen> Current() {
    std::lock_guard lock(g_mutex);
    return g_screen;
}

// Installed as the window manager hooks: forwards to the running screen, which stays alive
// while a hook runs even if another thread stops it meanwhile.
class Forwarder : public WindowManagerHooks {
public:
    HDC BeginPaintDC(HWND hwnd, const RECT& rcPaint) override {
        auto s = Current();
        return s ? s->BeginPaintDC(hwnd, rcPaint) : nullptr;
    }
    void EndPaintDC(HWND hwnd, HDC hdc) override {
        if (auto s = Current()) s->EndPaintDC(hwnd, hdc);
    }
    bool EraseBackground(HWND hwnd, HDC hdc) override {
        auto s = Current();
        return s && s->EraseBackground(hwnd, hdc);
    }
    bool PtInWindowRegion(HWND hwnd, POINT ptWindow) override {
        auto s = Current();
        return !s || s->PtInWindowRegion(hwnd, ptWindow);
    }
    void WindowChanged(HWND hwnd, WindowChange change) override {
        if (auto s = Current()) s->WindowChanged(hwnd, change);
    }
    void CursorChanged(HCURSOR hCursor) override {
        if (auto s = Current()) s->CursorChanged(hCursor);
    }
};

Forwarder g_forwarder;

HFONT MakeFont(const char* face, LONG height, LONG weight) {
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfQuality = ANTIALIASED_QUALITY;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
    return CreateFontIndirect(&lf);
}

// ---------------------------------------------------------------------------------------
// Options

bool ParseInt(const char* text, int* pValue) {
    if (text == nullptr || *text == 0) return false;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*end != 0 || v < 0 || v > 1000) return false;
    *pValue = static_cast<int>(v);
    return true;
}

void Ignored(const char* name, const char* value) {
    OutputDebugString(std::string("screen: ignoring ") + name + "=" + value + "\n");
}

} // namespace

// ---------------------------------------------------------------------------------------
// DcSurface

PixelBuffer DcSurface::GetPixels() {
    screen_->Refresh(*this);
    return screen_->Pixels();
}

void DcSurface::Changed(const RECT& rc) {
    screen_->MarkChanged(rc);
}

UINT DcSurface::RealizePalette(const PALETTEENTRY* pEntries, UINT cEntries) {
    return screen_->Realize(pEntries, cEntries);
}

// ---------------------------------------------------------------------------------------
// Start and stop

bool Screen::Start(const ScreenOptions& requested) {
    // Saved first: Stop puts them back however far this gets.
    GetSystemPaletteEntries(nullptr, 0, 256, savedPalette_.data());
    savedFormat_ = GetDisplayFormat();
    options_ = requested;
    const bool fDevice = options_.profile == ScreenProfile::kDevice;
    if (options_.nDepth == 0) options_.nDepth = fDevice ? 16 : 32;
    if (options_.nDepth != 8 && options_.nDepth != 16 && options_.nDepth != 32) return false;
    if (options_.nScale < 0 || options_.nScale > 8) return false;
    options_.backend = ResolveScreenBackend(options_);
    // The device's window picks its scale from the desktop once SDL runs.
    if (options_.nScale == 0 && !(fDevice && options_.backend == ScreenBackendKind::kSdl))
        options_.nScale = 1;
    cx_ = fDevice ? kDeviceWidth : kDesktopWidth;
    cy_ = fDevice ? kDeviceHeight : kDesktopHeight;
    taskbar_ = fDevice ? TASKBAR_HEIGHT : 0;

    if (options_.backend == ScreenBackendKind::kSdl) {
        std::string error;
        backend_ = MakeSdlBackend(this, options_, cx_, cy_, &options_.nScale, &error);
        if (!backend_) {
            OutputDebugString("screen: the SDL window cannot be shown: " + error + "\n");
            if (requested.backend == ScreenBackendKind::kSdl) return false;
            options_.backend = ScreenBackendKind::kHeadless;
            options_.nScale = requested.nScale != 0 ? requested.nScale : 1;
        }
    }

    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } info{};
    info.header = {sizeof(BITMAPINFOHEADER),
                   cx_,
                   -cy_,
                   1,
                   static_cast<WORD>(options_.nDepth),
                   BI_RGB,
                   0,
                   0,
                   0,
                   0,
                   0};
    if (options_.nDepth == 8) {
        info.header.biClrUsed = 256;
        for (int i = 0; i < 256; ++i)
            info.colors[i] = {savedPalette_[i].peBlue, savedPalette_[i].peGreen,
                              savedPalette_[i].peRed, 0};
    }
    void* pvBits = nullptr;
    hbm_ = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                            &pvBits);
    if (hbm_ == nullptr) return false;
    hdcMem_ = CreateCompatibleDC(nullptr);
    hbmOld_ = SelectObject(hdcMem_, static_cast<HGDIOBJ>(hbm_));
    chromeSurface_ = std::make_unique<DcSurface>(this, nullptr, DcSurface::Kind::kScreen, RECT{});
    hdcChrome_ = CreateSurfaceDC(chromeSurface_.get(), {0, 0}, nullptr);
    captionFont_ = MakeFont("Tahoma", -12, FW_BOLD);
    taskbarFont_ = MakeFont("Tahoma", -12, FW_NORMAL);

    frame_.nScale = options_.nScale;
    frame_.cx = cx_ * options_.nScale;
    frame_.cy = cy_ * options_.nScale;
    frame_.pixels.assign(static_cast<std::size_t>(frame_.cx) * frame_.cy, 0);

    SetDisplayFormat({cx_, cy_, options_.nDepth});
    dirty_ = {0, 0, cx_, cy_};
    fTaskbarShown_ = taskbar_ > 0;
    return true;
}

void Screen::Stop() {
    std::lock_guard lock(mutex_);
    for (auto& [hdc, surface] : dcs_)
        DeleteDC(hdc);
    dcs_.clear();
    for (auto& [hwnd, hrgn] : regions_)
        DeleteObject(hrgn);
    regions_.clear();
    if (hdcChrome_ != nullptr) DeleteDC(hdcChrome_);
    chromeSurface_.reset();
    if (captionFont_ != nullptr) DeleteObject(captionFont_);
    if (taskbarFont_ != nullptr) DeleteObject(taskbarFont_);
    if (hdcMem_ != nullptr) {
        SelectObject(hdcMem_, hbmOld_);
        DeleteDC(hdcMem_);
    }
    if (hbm_ != nullptr) DeleteObject(hbm_);
    hbm_ = nullptr;
    backend_.reset();
    SetSystemPaletteEntries(0, 256, savedPalette_.data());
    SetDisplayFormat(savedFormat_);
}

// ---------------------------------------------------------------------------------------
// Palette

UINT Screen::Realize(const PALETTEENTRY* pEntries, UINT cEntries) {
    if (options_.nDepth != 8 || cEntries == 0) return 0;
    std::lock_guard lock(mutex_);
    std::array<RGBQUAD, 256> table{};
    GetDIBColorTable(hdcMem_, 0, 256, table.data());
    std::array<RGBQUAD, 256> wanted = table;
    // A full palette is taken as it is; a shorter one goes between the static colours.
    const UINT first = cEntries >= 256 ? 0 : 10;
    const UINT count = std::min<UINT>(cEntries, cEntries >= 256 ? 256 : 236);
    for (UINT i = 0; i < count; ++i)
        wanted[first + i] = {pEntries[i].peBlue, pEntries[i].peGreen, pEntries[i].peRed, 0};
    UINT cChanged = 0;
    std::array<PALETTEENTRY, 256> system{};
    for (UINT i = 0; i < 256; ++i) {
        const RGBQUAD& a = table[i];
        const RGBQUAD& b = wanted[i];
        if (a.rgbRed != b.rgbRed || a.rgbGreen != b.rgbGreen || a.rgbBlue != b.rgbBlue) ++cChanged;
        system[i] = {b.rgbRed, b.rgbGreen, b.rgbBlue, 0};
    }
    if (cChanged == 0) return 0;
    SetDIBColorTable(hdcMem_, 0, 256, wanted.data());
    SetSystemPaletteEntries(0, 256, system.data());
    // Every pixel may show another colour now; the window manager's own pixels were drawn
    // for the old colours, so they are drawn again with the new ones.
    dirty_ = {0, 0, cx_, cy_};
    fChromeDirty_ = true;
    return cChanged;
}

// ---------------------------------------------------------------------------------------
// Presentation

bool Screen::Present() {
    std::lock_guard lock(mutex_);
    BringUpToDateLocked();
    if (rect::IsEmpty(dirty_)) return false;
    const RECT rc = dirty_;
    dirty_ = {};
    ConvertToFrame(Pixels(), rc, &frame_);
    const int s = frame_.nScale;
    if (backend_) backend_->Present(frame_, {rc.left * s, rc.top * s, rc.right * s, rc.bottom * s});
    if (cPresents_++ == 0) TraceStartup("first-frame");
    return true;
}

bool Screen::Pump() {
    // Input runs window procedures: never under the screen's lock.
    const bool fInput = backend_ && backend_->ReadInput();
    Present();
    return fInput;
}

DWORD Screen::PumpWhileWaiting() {
    const bool fInput = Pump();
    const std::uint64_t cPresents = PresentCount();
    const auto now = std::chrono::steady_clock::now();
    if (fInput || cPresents != cPresentsSeen_) lastActivity_ = now;
    cPresentsSeen_ = cPresents;
    return now - lastActivity_ >= kIdleAfter ? kIdlePumpIntervalMs : kPumpIntervalMs;
}

COLORREF Screen::Pixel(int x, int y) {
    std::lock_guard lock(mutex_);
    BringUpToDateLocked();
    if (x < 0 || y < 0 || x >= cx_ || y >= cy_) return CLR_INVALID;
    return GetPixel(hdcMem_, x, y);
}

DWORD Screen::Presented(int x, int y) {
    std::lock_guard lock(mutex_);
    if (x < 0 || y < 0 || x >= frame_.cx || y >= frame_.cy) return 0xFFFFFFFF;
    return frame_.Row(y)[x];
}

HBITMAP Screen::Bitmap() {
    std::lock_guard lock(mutex_);
    BringUpToDateLocked();
    return hbm_;
}

bool Screen::Save(const std::string& path) {
    std::lock_guard lock(mutex_);
    BringUpToDateLocked();
    return SaveBitmapAsPng(hbm_, path);
}

// ---------------------------------------------------------------------------------------
// Frame conversion

void ConvertToFrame(const PixelBuffer& px, const RECT& rc, Frame* pFrame) {
    // 5-bit fields widen to 8 bits with their top bits repeated, so white stays white.
    static const std::vector<std::uint32_t> k555 = [] {
        std::vector<std::uint32_t> table(32768);
        for (std::uint32_t v = 0; v < 32768; ++v) {
            auto widen = [](std::uint32_t f) { return (f << 3) | (f >> 2); };
            table[v] = (widen((v >> 10) & 31) << 16) | (widen((v >> 5) & 31) << 8) | widen(v & 31);
        }
        return table;
    }();
    const int s = pFrame->nScale;
    const int n = rc.right - rc.left;
    std::uint32_t palette[256] = {};
    if (px.nDepth == 8) {
        for (UINT i = 0; i < std::min<UINT>(px.cColors, 256); ++i) {
            const RGBQUAD& q = px.pColors[i];
            palette[i] =
                (std::uint32_t{q.rgbRed} << 16) | (std::uint32_t{q.rgbGreen} << 8) | q.rgbBlue;
        }
    }
    for (LONG y = rc.top; y < rc.bottom; ++y) {
        const BYTE* src = px.pBits + static_cast<std::ptrdiff_t>(y) * px.cbPitch;
        std::uint32_t* out = pFrame->Row(y * s) + rc.left * s;
        if (s == 1) {
            switch (px.nDepth) {
            case 8:
                for (int i = 0; i < n; ++i)
                    out[i] = palette[src[rc.left + i]];
                break;
            case 16: {
                const auto* p = reinterpret_cast<const std::uint16_t*>(src) + rc.left;
                for (int i = 0; i < n; ++i)
                    out[i] = k555[p[i] & 0x7FFF];
                break;
            }
            default: {
                const auto* p = reinterpret_cast<const std::uint32_t*>(src) + rc.left;
                for (int i = 0; i < n; ++i)
                    out[i] = p[i] & 0x00FFFFFF;
                break;
            }
            }
        } else {
            for (int i = 0; i < n; ++i) {
                const LONG x = rc.left + i;
                std::uint32_t v;
                if (px.nDepth == 8)
                    v = palette[src[x]];
                else if (px.nDepth == 16)
                    v = k555[reinterpret_cast<const std::uint16_t*>(src)[x] & 0x7FFF];
                else
                    v = reinterpret_cast<const std::uint32_t*>(src)[x] & 0x00FFFFFF;
                std::fill_n(out + i * s, s, v);
            }
        }
        for (int r = 1; r < s; ++r)
            std::copy_n(out, n * s, pFrame->Row(y * s + r) + rc.left * s);
    }
}

bool HasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != 0) || (wayland != nullptr && *wayland != 0);
}

} // namespace scr

using namespace scr;

ScreenBackendKind ResolveScreenBackend(const ScreenOptions& options) {
    if (options.backend != ScreenBackendKind::kAuto) return options.backend;
    return scr::HasDisplay() ? ScreenBackendKind::kSdl : ScreenBackendKind::kHeadless;
}

ScreenOptions ScreenOptionsFromEnvironment(ScreenOptions options) {
    if (const char* v = std::getenv("KELVANO_BACKEND")) {
        std::string_view s(v);
        if (s == "sdl")
            options.backend = ScreenBackendKind::kSdl;
        else if (s == "headless")
            options.backend = ScreenBackendKind::kHeadless;
        else if (!s.empty())
            Ignored("KELVANO_BACKEND", v);
    }
    if (const char* v = std::getenv("KELVANO_PROFILE")) {
        std::string_view s(v);
        if (s == "device")
            options.profile = ScreenProfile::kDevice;
        else if (s == "desktop")
            options.profile = ScreenProfile::kDesktop;
        else if (!s.empty())
            Ignored("KELVANO_PROFILE", v);
    }
    if (const char* v = std::getenv("KELVANO_DEPTH")) {
        int depth;
        if (ParseInt(v, &depth) && (depth == 8 || depth == 16 || depth == 32))
            options.nDepth = static_cast<UINT>(depth);
        else if (*v != 0)
            Ignored("KELVANO_DEPTH", v);
    }
    if (const char* v = std::getenv("KELVANO_SCALE")) {
        int scale;
        if (ParseInt(v, &scale) && scale >= 1 && scale <= 8)
            options.nScale = scale;
        else if (*v != 0)
            Ignored("KELVANO_SCALE", v);
    }
    return options;
}

bool InitScreen(const ScreenOptions& options) {
    std::unique_lock lock(g_mutex);
    if (g_screen) return false;
    auto screen = std::make_shared<Screen>();
    if (!screen->Start(options)) {
        screen->Stop();
        return false;
    }
    g_screen = screen;
    lock.unlock();
    SetWindowManagerHooks(&g_forwarder);
    // Programs create "Button", "Static", ... windows as soon as they have a screen.
    RegisterStandardControls();
    // Boxes are drawn once people can see them; a responder a test or program chose stays.
    if (screen->options().backend != ScreenBackendKind::kHeadless)
        g_drawnBoxes = ReplaceMessageBoxResponder(nullptr, DrawnMessageBoxResponder());
    if (screen->NativeWindow() != nullptr)
        SetMessageWaitPump(
            [] {
                if (auto s = Current()) SetMessageWaitPumpInterval(s->PumpWhileWaiting());
            },
            kPumpIntervalMs);
    // A cursor chosen before the screen started shows now; none chosen leaves the output's own.
    if (HCURSOR hCursor = GetCursor()) screen->CursorChanged(hCursor);
    // Everything already on the screen draws itself anew.
    ++screen->generation;
    InvalidateRect(nullptr, nullptr, TRUE);
    return true;
}

void ShutdownScreen() {
    std::shared_ptr<Screen> screen;
    {
        std::lock_guard lock(g_mutex);
        screen = std::move(g_screen);
    }
    if (!screen) return;
    if (g_drawnBoxes.exchange(false))
        ReplaceMessageBoxResponder(DrawnMessageBoxResponder(), nullptr);
    SetWindowManagerHooks(nullptr);
    if (screen->NativeWindow() != nullptr) SetMessageWaitPump({}, 0);
    screen->Stop();
}

bool IsScreenRunning() {
    return Current() != nullptr;
}

ScreenOptions GetScreenOptions() {
    auto s = Current();
    return s ? s->options() : ScreenOptions{};
}

int GetSystemMetrics(int index) {
    auto s = Current();
    const LONG cx = s ? s->cx() : kDeviceWidth;
    const LONG cy = s ? s->cy() : kDeviceHeight;
    const RECT work = s ? s->WorkArea() : RECT{0, 0, kDeviceWidth, kDeviceHeight - TASKBAR_HEIGHT};
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
        return cx;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
        return cy;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
        return 13;
    case SM_CYCAPTION:
        return CAPTION_HEIGHT;
    case SM_CXBORDER:
    case SM_CYBORDER:
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
    case SM_CXFRAME:
    case SM_CYFRAME:
        return 1;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CYMENU:
        return 20;
    case SM_CXFULLSCREEN:
    case SM_CXMAXIMIZED:
        return work.right - work.left;
    case SM_CYFULLSCREEN:
        return work.bottom - work.top - CAPTION_HEIGHT;
    case SM_CYMAXIMIZED:
        return work.bottom - work.top;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 2 * DOUBLECLICK_DISTANCE + 1;
    case SM_CMOUSEBUTTONS:
        return 3;
    case SM_CMONITORS:
        return 1;
    default:
        return 0;
    }
}

BOOL SystemParametersInfo(UINT uiAction, UINT, void* pvParam, UINT) {
    if (uiAction != SPI_GETWORKAREA || pvParam == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto s = Current();
    *static_cast<RECT*>(pvParam) =
        s ? s->WorkArea() : RECT{0, 0, kDeviceWidth, kDeviceHeight - TASKBAR_HEIGHT};
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    auto s = Current();
    if (!s) return nullptr;
    return s->MakeDc(hwnd, hwnd != nullptr ? DcSurface::Kind::kClient : DcSurface::Kind::kScreen,
                     nullptr);
}

HDC GetWindowDC(HWND hwnd) {
    auto s = Current();
    if (!s) return nullptr;
    return s->MakeDc(hwnd, hwnd != nullptr ? DcSurface::Kind::kWindow : DcSurface::Kind::kScreen,
                     nullptr);
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    auto s = Current();
    return s ? s->Release(hwnd, hdc) : 0;
}

int SetWindowRgn(HWND hwnd, HRGN hrgn, BOOL fRedraw) {
    auto s = Current();
    return s ? s->SetRegion(hwnd, hrgn, fRedraw) : 0;
}

int GetWindowRgn(HWND hwnd, HRGN hrgn) {
    auto s = Current();
    return s ? s->GetRegion(hwnd, hrgn) : ERROR;
}

BOOL SetFullScreen(HWND hwnd, bool fHideTaskbar) {
    auto s = Current();
    return s ? s->FullScreen(hwnd, fHideTaskbar) : FALSE;
}

bool IsTaskbarShown() {
    auto s = Current();
    return s && s->TaskbarShown();
}

void SetScreenMainWindow(HWND hwnd) {
    if (auto s = Current()) s->SetMainWindow(hwnd);
}

bool PresentScreen() {
    auto s = Current();
    return s && s->Present();
}

void PumpScreen() {
    if (auto s = Current()) s->Pump();
}

std::uint64_t GetScreenPresentCount() {
    auto s = Current();
    return s ? s->PresentCount() : 0;
}

COLORREF GetScreenPixel(int x, int y) {
    auto s = Current();
    return s ? s->Pixel(x, y) : CLR_INVALID;
}

DWORD GetPresentedPixel(int x, int y) {
    auto s = Current();
    return s ? s->Presented(x, y) : 0xFFFFFFFF;
}

HBITMAP GetScreenBitmap() {
    auto s = Current();
    return s ? s->Bitmap() : nullptr;
}

bool SaveScreenshot(const std::string& path) {
    auto s = Current();
    return s && s->Save(path);
}

void* GetScreenNativeWindow() {
    auto s = Current();
    return s ? s->NativeWindow() : nullptr;
}

} // namespace host
