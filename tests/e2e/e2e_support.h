// The player's hands on the real program: the stylus on cells and buttons, the wait for the
// computer, and a fresh registry folder whenever a case asks for one.
#pragma once

#include "anim/cea_window.h"
#include "game/computer.h"
#include "game/game.h"
#include "game/history.h"
#include "game/settings.h"
#include "gameui/graphics.h"
#include "gameui/kelvano.h"
#include "gameui/kelvano_test_support.h"
#include "host/registry.h"
#include "host/window.h"
#include "tests/support/temp_folder.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace e2e {

using namespace host;
using namespace gameui_test;

// The button row, left to right.
enum { BUTTON_UNDO, BUTTON_REDO, BUTTON_NEW, BUTTON_TUTORIAL, BUTTON_LANGUAGE, BUTTON_EXIT };

inline POINT CellPoint(int x, int y) {
    POINT pt = GameLayout().rgptCell[y][x];
    pt.x += cxCell / 2;
    pt.y += cyCell / 2;
    ClientToScreen(KelvanoAnimWindow()->GetHandle(), &pt);
    return pt;
}

inline POINT ButtonPoint(int k) {
    POINT pt = GameLayout().rgptButton[k];
    pt.x += cxButton / 2;
    pt.y += cyButton / 2;
    ClientToScreen(KelvanoAnimWindow()->GetHandle(), &pt);
    return pt;
}

inline void ClickButton(int k) {
    Click(ButtonPoint(k));
    PumpAll();
}

// An inline move as a person plays it: press on the rear piece, drag 20 pixels along the
// direction, lift.
inline void DragMove(const MOVE& move) {
    static const POINT aDrag[6] = {{10, -17}, {20, 0}, {10, 17}, {-10, 17}, {-20, 0}, {-10, -17}};
    const POINT pt = CellPoint(move.x, move.y);
    const POINT ptTo = {pt.x + aDrag[move.nDir].x, pt.y + aDrag[move.nDir].y};
    PostMouseInput(pt, MouseAction::kLeftDown);
    PostMouseInput(ptTo, MouseAction::kMove);
    PostMouseInput(ptTo, MouseAction::kLeftUp);
    PumpAll();
}

inline bool IsAnimating() {
    AnimWindow* pAnim = KelvanoAnimWindow();
    return pAnim->GetFrameCounter() < pAnim->GetEndFrame();
}

// Frames until a person may touch again: a person to move with the last move played out,
// or the game over. The computer searches on its own thread, hence the real pauses.
inline bool SettleForPerson() {
    for (int i = 0; i < 20000; ++i) {
        if (!IsAnimating() && !IsSearchRunning() &&
            (!g_game.fInProgress || !IsComputerSide(SideToMove())))
            return true;
        Frames(1);
        if (IsSearchRunning()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

inline bool SameBoard(const BOARD& a, const BOARD& b) {
    return std::memcmp(&a, &b, sizeof(BOARD)) == 0;
}

// Steps run inside a modal loop (a dialog's), one each time the loop takes the script
// window's message, so that the input a step posts arrives before the next step.
class ModalScript {
public:
    ModalScript() { hwnd_ = CreateScriptWindow("E2eModalScript", &Proc); }
    ~ModalScript() {
        DestroyWindow(hwnd_);
        Steps().clear();
    }
    // Queues the steps; they start once the messages are pumped, after the input posted
    // before (the click that opens the dialog).
    void Run(std::vector<std::function<void(HWND hDlg)>> steps) {
        Steps() = std::move(steps);
        Next() = 0;
        PostMessage(hwnd_, WM_USER, 0, 0);
    }
    static bool Done() { return Next() == Steps().size(); }

private:
    static std::vector<std::function<void(HWND)>>& Steps() {
        static std::vector<std::function<void(HWND)>> s_steps;
        return s_steps;
    }
    static std::size_t& Next() {
        static std::size_t s_iNext = 0;
        return s_iNext;
    }
    static LRESULT Proc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
        if (uMsg != WM_USER) return DefWindowProc(hwnd, uMsg, wParam, lParam);
        if (Next() < Steps().size()) {
            Steps()[Next()++](GetActiveWindow());
            PostMessage(hwnd, WM_USER, 0, 0);
        }
        return 0;
    }
    HWND hwnd_ = nullptr;
};

class E2eTest : public KelvanoTest {
protected:
    void TearDown() override {
        KelvanoTest::TearDown();
        host::RegSetStorageFolder(registry_.Path().string());
        folders_.clear();
    }
    // A registry folder nobody has used, for the next start.
    void FreshRegistry() {
        // Every move saves the game, and each save is flushed to the disk: a memory file
        // system, where there is one, keeps the games quick.
        const std::filesystem::path shm = "/dev/shm";
        folders_.push_back(std::make_unique<testsupport::TempFolder>(
            "kelvano-e2e", std::filesystem::is_directory(shm) ? shm : std::filesystem::path{}));
        host::RegSetStorageFolder(folders_.back()->Path().string());
    }
    // Starts on these stored settings (the defaults after edit).
    HWND StartWith(const std::function<void(SETTINGS&)>& edit) {
        g_settings = DefaultSettings();
        edit(g_settings);
        WriteSettings();
        return Start();
    }

    std::vector<std::unique_ptr<testsupport::TempFolder>> folders_;
};

} // namespace e2e
