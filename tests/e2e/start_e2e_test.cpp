// The program's starts: the very first one with its logo and tutorial, a restart that takes
// the game up exactly where it was left, and stored values that are damaged or too new.
// (A second instance and sound turned off are proven in gameui/kelvano_test.cpp and
// gameui/sounds_test.cpp.)
#include "foundation/tl_language.h"
#include "game/search.h"
#include "gameui/resource.h"
#include "gameui/tutorial.h"
#include "host/clock.h"
#include "tests/e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace e2e;

std::vector<BYTE> StoredValue(const char* pszName) {
    HKEY hKey = nullptr;
    std::vector<BYTE> bytes(4096);
    if (RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Vantor\\Kelvano CE", 0, KEY_ALL_ACCESS, &hKey) !=
        ERROR_SUCCESS)
        return {};
    DWORD cb = static_cast<DWORD>(bytes.size()), dwType = 0;
    const LONG l = RegQueryValueEx(hKey, pszName, nullptr, &dwType, bytes.data(), &cb);
    RegCloseKey(hKey);
    bytes.resize(l == ERROR_SUCCESS ? cb : 0);
    return bytes;
}

void StoreValue(const char* pszName, DWORD dwType, const std::vector<BYTE>& bytes) {
    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Vantor\\Kelvano CE", 0, nullptr, 0,
                             KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueEx(hKey, pszName, 0, dwType, bytes.data(), static_cast<DWORD>(bytes.size())),
        ERROR_SUCCESS);
    RegCloseKey(hKey);
}

std::vector<BYTE> Versioned(std::uint32_t nVersion, const void* p, std::size_t cb) {
    std::vector<BYTE> bytes(4 + cb);
    std::memcpy(bytes.data(), &nVersion, 4);
    std::memcpy(bytes.data() + 4, p, cb);
    return bytes;
}

std::u16string History() {
    const cetl::string str = HistoryText();
    return std::u16string(str.Text(), static_cast<std::size_t>(str.Length()));
}

// The side to move plays the move a shallow search finds, by stylus.
void PlayOneMove() {
    SearchEngine engine;
    DECISION decision{};
    ASSERT_TRUE(engine.Decide(CurrentBoard(), SideToMove(), 1, g_settings.fModern != 0, &decision));
    const auto cBefore = PlayedMoveCount();
    DragMove(decision.move);
    ASSERT_EQ(PlayedMoveCount(), cBefore + 1);
}

using Starts = E2eTest;

int s_cTutorialOpened = 0;
bool s_fCloseByEscape = false;
ModalScript* s_pScript = nullptr;

// The first start plays the logo, sets up the game and opens the tutorial over it, which the
// player closes with Escape, or by paging through to its Close button.
TEST_F(Starts, FirstStartOpensTheTutorial) {
    SetTutorialOpenHook([](HWND) {
        ++s_cTutorialOpened;
        EXPECT_TRUE(g_game.fInProgress);
        if (s_fCloseByEscape) {
            PostKeyInput(VK_ESCAPE, true);
            PostKeyInput(VK_ESCAPE, false);
        } else {
            // Next through the pages; on the last one it is the Close button.
            std::vector<std::function<void(HWND)>> steps(
                cTutorialPages, [](HWND hDlg) { Click(CenterOf(GetDlgItem(hDlg, IDC_FORWARD))); });
            s_pScript->Run(std::move(steps));
        }
    });
    ModalScript script;
    s_pScript = &script;
    for (bool fEscape : {true, false}) {
        SCOPED_TRACE(fEscape ? "Escape" : "Close");
        FreshRegistry();
        s_cTutorialOpened = 0;
        s_fCloseByEscape = fEscape;
        const DWORD msStart = GetTickCount();
        KELVANORUN run;
        run.fSingleInstance = false;
        SetVirtualClockAutoAdvance(true);
        ASSERT_NE(StartKelvano(nullptr, run), nullptr);
        SetVirtualClockAutoAdvance(false);
        // The logo stays two seconds at least.
        EXPECT_GE(GetTickCount() - msStart, 2000u);
        EXPECT_TRUE(IsKelvanoFirstStart());
        EXPECT_EQ(s_cTutorialOpened, 1);
        EXPECT_EQ(TutorialWindow(), nullptr);
        EXPECT_TRUE(IsWindowEnabled(KelvanoMainWindow()));
        EXPECT_TRUE(fEscape || ModalScript::Done());
        SETTINGS stored{};
        EXPECT_TRUE(ReadStoredSettings(&stored));
        // The game is ready for the player's first move.
        PumpAll();
        DragMove(MOVE{4, 8, 0, 0, 0, 0, 0});
        EXPECT_EQ(PlayedMoveCount(), 1u);
        Close();
    }
    SetTutorialOpenHook(nullptr);
}

// Exit by its button and start again: the board, the start position, the whole record
// (moves to redo included), whose turn it is and the language come back exactly, and a
// computer left to move then moves.
TEST_F(Starts, RestartRestoresTheGameExactly) {
    for (bool fComputerToMove : {false, true}) {
        SCOPED_TRACE(fComputerToMove ? "the computer to move" : "the person to move");
        FreshRegistry();
        cetl::ResetLanguage();
        ASSERT_NE(StartWith([](SETTINGS& s) {
                      s.fSound = 0;
                      s.aPlayer[PLAYER_RED] = {1, 1};
                  }),
                  nullptr);
        ASSERT_EQ(cetl::GetLanguageId(), cetl::kLanguageEnglish);
        for (int i = 0; i < 2; ++i) {
            PlayOneMove();
            ASSERT_TRUE(SettleForPerson());
            if (i == 0) {
                // The language changes mid-game; the game goes on as it was.
                const BOARD board = CurrentBoard();
                ClickButton(BUTTON_LANGUAGE);
                Frames(2);
                EXPECT_EQ(cetl::GetLanguageId(), cetl::kLanguageEsperanto);
                EXPECT_TRUE(SameBoard(CurrentBoard(), board));
                EXPECT_EQ(PlayedMoveCount(), 2u);
            }
        }
        ASSERT_EQ(PlayedMoveCount(), 4u);
        if (fComputerToMove) {
            PlayOneMove(); // and exit before the computer answers
        } else {
            ClickButton(BUTTON_UNDO);
            Frames(2);
            ASSERT_EQ(PlayedMoveCount(), 2u);
        }
        const BOARD board = CurrentBoard(), boardStart = StartBoard();
        const std::u16string strHistory = History();
        const int nSide = SideToMove();
        ClickButton(BUTTON_EXIT);
        ASSERT_EQ(KelvanoMainWindow(), nullptr);

        cetl::ResetLanguage(); // as a new process finds it
        ASSERT_NE(Start(), nullptr);
        EXPECT_FALSE(IsKelvanoFirstStart());
        EXPECT_EQ(cetl::GetLanguageId(), cetl::kLanguageEsperanto);
        EXPECT_TRUE(SameBoard(CurrentBoard(), board));
        EXPECT_TRUE(SameBoard(StartBoard(), boardStart));
        EXPECT_EQ(History(), strHistory);
        EXPECT_EQ(SideToMove(), nSide);
        EXPECT_TRUE(g_game.fInProgress);
        if (fComputerToMove) {
            EXPECT_EQ(nSide, PLAYER_RED);
            ASSERT_TRUE(SettleForPerson());
            EXPECT_EQ(PlayedMoveCount(), 6u);
        } else {
            EXPECT_EQ(GameStatus(), STATUS_BLUE);
            ClickButton(BUTTON_REDO);
            Frames(2);
            EXPECT_EQ(PlayedMoveCount(), 4u);
        }
        Close();
    }
}

// Stored values that cannot be used start the program cleanly: a new game, or the first
// start's defaults, and the game plays.
TEST_F(Starts, UnusableStoredValuesStartCleanly) {
    SETTINGS wild = DefaultSettings();
    wild.iBoard = 99;
    wild.fModern = -7;
    wild.aPlayer[PLAYER_RED] = {5, 77};
    SETTINGS newer = DefaultSettings();
    newer.iBoard = LAYOUT_TUGOFWAR;
    const struct {
        const char* name;
        std::function<void()> damage; // after a game of two moves was saved
        bool fFirstStart;
        unsigned cMoves; // played after the start
        bool fSameBoard; // the saved position kept
    } cases[] = {
        {"a saved position that breaks the rules",
         [] {
             std::vector<BYTE> saved = StoredValue("SavedGame");
             ASSERT_EQ(saved.size(), 4 + sizeof(SAVEDGAME));
             SAVEDGAME block{};
             std::memcpy(&block, saved.data() + 4, sizeof(block));
             block.boardCurrent.aCell[4][8].nPiece = 9;
             StoreValue("SavedGame", REG_BINARY,
                        Versioned(SAVEDGAME_VERSION, &block, sizeof(block)));
         },
         false, 0, false},
        {"a saved game cut short",
         [] {
             StoreValue("SavedGame", REG_BINARY, {0x00, 0x00, 0x01});
         },
         false, 0, false},
        {"a history that does not replay",
         [] {
             const char16_t sz[] = u"2,2,9,99,4,0,0,0,0,x";
             StoreValue("SavedHistory", REG_SZ,
                        std::vector<BYTE>(reinterpret_cast<const BYTE*>(sz),
                                          reinterpret_cast<const BYTE*>(sz) + sizeof(sz)));
         },
         false, 0, true},
        {"settings cut short",
         [] {
             StoreValue("Settings", REG_BINARY, {0x01, 0x02, 0x03});
         },
         true, 2, true},
        {"settings of a newer major version",
         [&] { StoreValue("Settings", REG_BINARY, Versioned(0x00020000, &newer, sizeof(newer))); },
         true, 2, true},
        {"settings out of every range",
         [&] {
             StoreValue("Settings", REG_BINARY, Versioned(SETTINGS_VERSION, &wild, sizeof(wild)));
         },
         false, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FreshRegistry();
        ASSERT_NE(StartWith([](SETTINGS& s) {
                      s.fSound = 0;
                      s.aPlayer[PLAYER_RED].fComputer = 0;
                  }),
                  nullptr);
        const BOARD boardNew = CurrentBoard();
        PlayOneMove();
        PlayOneMove();
        const BOARD boardSaved = CurrentBoard();
        Close();
        c.damage();

        ASSERT_NE(Start(), nullptr);
        EXPECT_EQ(IsKelvanoFirstStart(), c.fFirstStart);
        EXPECT_TRUE(g_game.fInProgress);
        EXPECT_EQ(PlayedMoveCount(), c.cMoves);
        EXPECT_TRUE(IsConsistentBoard(CurrentBoard()));
        SETTINGS stored{};
        EXPECT_TRUE(ReadStoredSettings(&stored));
        if (c.fFirstStart) {
            const SETTINGS defaults = DefaultSettings();
            EXPECT_EQ(std::memcmp(&stored, &defaults, sizeof(SETTINGS)), 0);
        }
        if (c.fSameBoard) {
            EXPECT_TRUE(SameBoard(CurrentBoard(), boardSaved));
        } else if (g_settings.iBoard == LAYOUT_CLASSIC) {
            EXPECT_TRUE(SameBoard(CurrentBoard(), boardNew));
        }
        // The game plays on, the computer included where it plays.
        PlayOneMove();
        ASSERT_TRUE(SettleForPerson());
        PlayOneMove();
        Close();
    }
}

} // namespace
