// A recording presenter for the game's tests, the hand-over queue that stands in for the
// main window's message queue, and a fixture that gives every test a registry of its own.
//
// The presenter keeps the schedule as the display would: events 8 and 9 are queued at the
// end frame and fire in frame order when the test plays the frames (PlayFrames) or the game
// runs the schedule to its end (RunToEnd). Event 8 refreshes the trays and runs the
// end-of-game test; event 9 sets the computer-may-start flag, which the test passes on to
// StartComputerTurn as the window does after the next frame.
#pragma once

#include "game/computer.h"
#include "game/game.h"
#include "game/history.h"
#include "game/presenter.h"
#include "game/settings.h"
#include "host/registry.h"
#include "host/thread.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace testgame {

class FakePresenter : public Presenter {
public:
    bool IsAnimateOn() override { return g_settings.fAnimate != 0; }
    bool IsSoundOn() override { return g_settings.fSound != 0; }
    int GetEndFrame() override { return nEnd_; }
    int GlidePiece(int x, int y, int nDir, int nMover, int nStart) override {
        if (nStart < 0) nStart = nEnd_;
        const int nFinish = nStart + (IsAnimateOn() ? 15 : 3) + 1;
        nEnd_ = std::max(nEnd_, nFinish);
        Add("glide " + Cell(x, y) + " dir " + std::to_string(nDir) + " mover " +
            std::to_string(nMover));
        return nFinish;
    }
    int StartFall(int x, int y, int nStart) override {
        if (nStart < 0) nStart = nEnd_;
        nEnd_ = std::max(nEnd_, nStart + 7);
        Add("fall " + Cell(x, y));
        return nStart + 7;
    }
    void SetCellKind(int x, int y, int nKind) override {
        Add("kind " + Cell(x, y) + " " + std::to_string(nKind));
    }
    void PlaySound(int idWave) override { Add("sound " + std::to_string(idWave)); }

    void RedrawCells(int iLayout) override { Add("cells " + std::to_string(iLayout)); }
    void RebuildPieces(const BOARD& board) override {
        pieces_ = board;
        Add("pieces");
    }
    void RefreshTrays(const BOARD&) override { Add("trays"); }
    void RefreshStatus(int nStatus) override { Add("status " + std::to_string(nStatus)); }
    void ScheduleUpdate() override {
        Add("schedule 8");
        events_.push_back({nEnd_, 8});
    }
    void ScheduleComputerTurn() override {
        Add("schedule 9");
        events_.push_back({nEnd_, 9});
    }
    void RunToEnd() override {
        Add("run to end");
        Fire();
    }
    void BeginUpdate() override {
        cLock_++;
        Add("lock");
    }
    void EndUpdate() override {
        cLock_--;
        Add("unlock");
    }

    // The frames play until the schedule is empty.
    void PlayFrames() { Fire(); }
    // The computer-may-start flag, cleared by reading it.
    bool TakeComputerMayStart() { return std::exchange(fComputerMayStart_, false); }
    bool HasPendingEvents() const { return !events_.empty(); }

    const std::vector<std::string>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    // The calls that start with the prefix.
    std::vector<std::string> Calls(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& call : calls_)
            if (call.rfind(prefix, 0) == 0) found.push_back(call);
        return found;
    }
    int LockDepth() const { return cLock_; }
    const BOARD& Pieces() const { return pieces_; }

private:
    struct EVENT {
        int nFrame;
        int nCode;
    };

    static std::string Cell(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
    void Add(std::string call) { calls_.push_back(std::move(call)); }

    void Fire() {
        while (!events_.empty()) {
            auto it = std::min_element(
                events_.begin(), events_.end(),
                [](const EVENT& a, const EVENT& b) { return a.nFrame < b.nFrame; });
            const EVENT event = *it;
            events_.erase(it);
            Add("fire " + std::to_string(event.nCode));
            if (event.nCode == 8) {
                RefreshTrays(CurrentBoard());
                CheckGameOver();
            } else {
                fComputerMayStart_ = true;
            }
        }
    }

    std::vector<std::string> calls_;
    std::deque<EVENT> events_;
    int nEnd_ = 0;
    int cLock_ = 0;
    bool fComputerMayStart_ = false;
    BOARD pieces_{};
};

// The main window's queue for message 1124: the search's callback posts the address here.
class HandOvers {
public:
    static void Receive(void* pContext, const MOVE* pMove) {
        auto* p = static_cast<HandOvers*>(pContext);
        {
            std::lock_guard guard(p->mutex_);
            p->posted_.push_back(pMove);
        }
        p->evPosted_.Set();
    }
    // The next posted address; false when none arrives within the time.
    bool Wait(host::DWORD msTimeout, const MOVE** ppMove) {
        for (;;) {
            {
                std::lock_guard guard(mutex_);
                if (!posted_.empty()) {
                    *ppMove = posted_.front();
                    posted_.pop_front();
                    return true;
                }
            }
            if (!evPosted_.Wait(msTimeout)) return false;
        }
    }

private:
    std::mutex mutex_;
    std::deque<const MOVE*> posted_;
    host::Event evPosted_{false, false};
};

// Every turn saves the game, and every registry write is flushed to disk: in memory-backed
// storage, when there is one, whole games take a moment instead of seconds.
inline std::filesystem::path TempRoot() {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

// A fresh registry folder, the fake as the default presenter, the real computer opponent,
// and the game's globals put back afterwards.
class GameTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_ = g_settings;
        g_settings = DefaultSettings();
        SetDefaultPresenter(&show_);
        ASSERT_TRUE(InitSearch(HandOvers::Receive, &handOvers_));
    }
    void TearDown() override {
        SetSearchStartHook(nullptr);
        ShutdownSearch();
        StopComputer();
        FreeRecord();
        SetDefaultPresenter(nullptr);
        g_game = GAMESTATE{0, WINNER_NONE, REASON_LOST};
        g_settings = settings_;
    }

    // Plays frames and delivers the computer's moves, as the main window would, until the
    // game ends, a person is to move, the computer has no move, or cMaxMoves are recorded.
    void RunGame(std::uint32_t cMaxMoves) {
        for (;;) {
            show_.PlayFrames();
            if (!g_game.fInProgress || PlayedMoveCount() >= cMaxMoves) return;
            if (!show_.TakeComputerMayStart() || !StartComputerTurn()) return;
            const MOVE* pPosted = nullptr;
            if (!handOvers_.Wait(20000, &pPosted)) {
                ADD_FAILURE() << "the computer did not hand over a move";
                return;
            }
            if (!OnComputerMove(reinterpret_cast<host::LPARAM>(pPosted))) return;
        }
    }

    // Lets the computer answer once: plays the frames, starts its turn and delivers its move.
    void ComputerAnswers() {
        show_.PlayFrames();
        ASSERT_TRUE(show_.TakeComputerMayStart());
        ASSERT_TRUE(StartComputerTurn());
        const MOVE* pPosted = nullptr;
        ASSERT_TRUE(handOvers_.Wait(20000, &pPosted));
        ASSERT_TRUE(OnComputerMove(reinterpret_cast<host::LPARAM>(pPosted)));
        show_.PlayFrames();
    }

    testsupport::TempRegistry registry_{"kelvano_game", TempRoot()};
    std::filesystem::path dir_ = registry_.Path();
    SETTINGS settings_{};
    FakePresenter show_;
    HandOvers handOvers_;
};

} // namespace testgame
