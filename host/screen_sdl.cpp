// The SDL2 backend: a real window showing the screen, and its input.
#include "host/screen_internal.h"

#include "host/window.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <optional>

namespace host::scr {
namespace {

UINT VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + static_cast<UINT>(key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + static_cast<UINT>(key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + static_cast<UINT>(key - SDLK_F1);
    switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return VK_RETURN;
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_TAB:
        return VK_TAB;
    case SDLK_SPACE:
        return VK_SPACE;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_UP:
        return VK_UP;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_HOME:
        return VK_HOME;
    case SDLK_END:
        return VK_END;
    case SDLK_PAGEUP:
        return VK_PRIOR;
    case SDLK_PAGEDOWN:
        return VK_NEXT;
    case SDLK_INSERT:
        return VK_INSERT;
    case SDLK_DELETE:
        return VK_DELETE;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
        return VK_MENU;
    default:
        return 0;
    }
}

struct SystemCursor {
    const char* id;
    SDL_SystemCursor shape;
};

const SystemCursor kSystemCursors[] = {
    {IDC_ARROW, SDL_SYSTEM_CURSOR_ARROW},       {IDC_IBEAM, SDL_SYSTEM_CURSOR_IBEAM},
    {IDC_WAIT, SDL_SYSTEM_CURSOR_WAIT},         {IDC_CROSS, SDL_SYSTEM_CURSOR_CROSSHAIR},
    {IDC_SIZENWSE, SDL_SYSTEM_CURSOR_SIZENWSE}, {IDC_SIZENESW, SDL_SYSTEM_CURSOR_SIZENESW},
    {IDC_SIZEWE, SDL_SYSTEM_CURSOR_SIZEWE},     {IDC_SIZENS, SDL_SYSTEM_CURSOR_SIZENS},
    {IDC_SIZEALL, SDL_SYSTEM_CURSOR_SIZEALL},   {IDC_NO, SDL_SYSTEM_CURSOR_NO},
    {IDC_HAND, SDL_SYSTEM_CURSOR_HAND},         {IDC_APPSTARTING, SDL_SYSTEM_CURSOR_WAITARROW},
};

class SdlBackend : public Backend {
public:
    SdlBackend(BackendHost* host, int nScale) : host_(host), nScale_(nScale) {}
    int Scale() const { return nScale_; }

    ~SdlBackend() override {
        for (SDL_Cursor* cursor : cursors_) {
            if (cursor != nullptr) SDL_FreeCursor(cursor);
        }
        if (frameSurface_ != nullptr) SDL_FreeSurface(frameSurface_);
        if (window_ != nullptr) SDL_DestroyWindow(window_);
        if (fVideo_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool Start(const ScreenOptions& options, int cx, int cy, std::string* pError) {
        // Ctrl-C keeps ending the process as usual.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // The first click on an inactive window is a stylus tap like any other.
        SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        // The picture is made in memory: the window system's own framebuffer suffices.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        // Closing the window is reported once, as a window event.
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            *pError = SDL_GetError();
            return false;
        }
        fVideo_ = true;
        if (nScale_ == 0) {
            SDL_Rect area;
            nScale_ = SDL_GetDisplayUsableBounds(0, &area) == 0
                          ? FittingScale(cx, cy, area.w, area.h)
                          : 2;
        }
        window_ =
            SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                             cx * nScale_, cy * nScale_, SDL_WINDOW_SHOWN);
        if (window_ == nullptr) {
            *pError = SDL_GetError();
            return false;
        }
        SDL_StopTextInput();
        return true;
    }

    void Present(const Frame& frame, const RECT& rc) override {
        SDL_Surface* target = SDL_GetWindowSurface(window_);
        if (target == nullptr) return;
        if (frameSurface_ == nullptr || framePixels_ != frame.pixels.data()) {
            if (frameSurface_ != nullptr) SDL_FreeSurface(frameSurface_);
            framePixels_ = frame.pixels.data();
            frameSurface_ = SDL_CreateRGBSurfaceWithFormatFrom(
                const_cast<std::uint32_t*>(framePixels_), frame.cx, frame.cy, 32, frame.cx * 4,
                SDL_PIXELFORMAT_XRGB8888);
            if (frameSurface_ == nullptr) return;
        }
        SDL_Rect area{rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
        SDL_Rect dest = area;
        SDL_BlitSurface(frameSurface_, &area, target, &dest);
        SDL_UpdateWindowSurfaceRects(window_, &area, 1);
    }

    void ShowCursor(HCURSOR hCursor) override {
        std::lock_guard lock(cursorMutex_);
        pendingCursor_ = hCursor;
    }

    bool ReadInput() override {
        ApplyCursor();
        SDL_Event e;
        bool fAny = false;
        while (SDL_PollEvent(&e) != 0) {
            fAny = true;
            switch (e.type) {
            case SDL_QUIT:
                host_->CloseRequested();
                break;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_CLOSE)
                    host_->CloseRequested();
                else if (e.window.event == SDL_WINDOWEVENT_EXPOSED ||
                         e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                    host_->RepaintAll();
                break;
            case SDL_MOUSEMOTION:
                PostMouseInput(ToScreen(e.motion.x, e.motion.y), MouseAction::kMove);
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                Button(e.button);
                break;
            case SDL_MOUSEWHEEL: {
                int x = 0, y = 0;
                SDL_GetMouseState(&x, &y);
                int delta = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
                if (delta != 0) PostMouseWheel(ToScreen(x, y), delta * WHEEL_DELTA);
                break;
            }
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                if (UINT vk = VirtualKey(e.key.keysym.sym)) PostKeyInput(vk, e.type == SDL_KEYDOWN);
                break;
            default:
                break;
            }
        }
        return fAny;
    }

    bool NeedsPump() const override { return true; }
    void* NativeWindow() override { return window_; }

private:
    // Window pixels to screen pixels; a point left of or above the window stays negative.
    POINT ToScreen(int x, int y) const {
        return {static_cast<LONG>(std::floor(static_cast<double>(x) / nScale_)),
                static_cast<LONG>(std::floor(static_cast<double>(y) / nScale_))};
    }

    // SDL's video calls belong to the screen's thread: the cursor asked for on any thread
    // is put up here.
    void ApplyCursor() {
        std::optional<HCURSOR> wanted;
        {
            std::lock_guard lock(cursorMutex_);
            wanted.swap(pendingCursor_);
        }
        if (!wanted) return;
        if (*wanted == nullptr) {
            SDL_ShowCursor(SDL_DISABLE);
            return;
        }
        // A handle that is no system cursor shows the arrow.
        SDL_SystemCursor shape = SDL_SYSTEM_CURSOR_ARROW;
        for (const SystemCursor& c : kSystemCursors) {
            if (LoadCursor(nullptr, c.id) == *wanted) shape = c.shape;
        }
        SDL_Cursor*& cursor = cursors_[shape];
        if (cursor == nullptr) cursor = SDL_CreateSystemCursor(shape);
        if (cursor != nullptr) SDL_SetCursor(cursor);
        SDL_ShowCursor(SDL_ENABLE);
    }

    void Button(const SDL_MouseButtonEvent& b) {
        const bool fDown = b.type == SDL_MOUSEBUTTONDOWN;
        MouseAction action;
        switch (b.button) {
        case SDL_BUTTON_LEFT:
            action = fDown ? MouseAction::kLeftDown : MouseAction::kLeftUp;
            break;
        case SDL_BUTTON_RIGHT:
            action = fDown ? MouseAction::kRightDown : MouseAction::kRightUp;
            break;
        case SDL_BUTTON_MIDDLE:
            action = fDown ? MouseAction::kMiddleDown : MouseAction::kMiddleUp;
            break;
        default:
            return;
        }
        PostMouseInput(ToScreen(b.x, b.y), action);
    }

    BackendHost* host_;
    int nScale_;
    bool fVideo_ = false;
    SDL_Window* window_ = nullptr;
    SDL_Surface* frameSurface_ = nullptr;
    const std::uint32_t* framePixels_ = nullptr;
    std::array<SDL_Cursor*, SDL_NUM_SYSTEM_CURSORS> cursors_{}; // made on first use
    std::mutex cursorMutex_;
    std::optional<HCURSOR> pendingCursor_;
};

} // namespace

int FittingScale(int cx, int cy, int cxArea, int cyArea) {
    if (cx <= 0 || cy <= 0) return 1;
    const int nScale = std::min(cxArea * 9 / 10 / cx, cyArea * 9 / 10 / cy);
    return std::clamp(nScale, 1, 8);
}

std::unique_ptr<Backend> MakeSdlBackend(BackendHost* host, const ScreenOptions& options, int cx,
                                        int cy, int* pnScale, std::string* pError) {
    if (!HasDisplay()) {
        *pError = "no display (DISPLAY and WAYLAND_DISPLAY are not set)";
        return nullptr;
    }
    auto backend = std::make_unique<SdlBackend>(host, options.nScale);
    if (!backend->Start(options, cx, cy, pError)) return nullptr;
    *pnScale = backend->Scale();
    return backend;
}

} // namespace host::scr
