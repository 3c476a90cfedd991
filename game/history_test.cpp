#include "game/history.h"

#include "foundation/memmgr.h"
#include "game/test_presenter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using host::BYTE;
using host::DWORD;
class Record : public testgame::GameTest {};

using Bytes = std::vector<BYTE>;

constexpr const char16_t* kszKey = u"Software\\Vantor\\Kelvano CE";

// The stored value as the host sees it.
bool Stored(const char16_t* pszName, DWORD* pdwType, Bytes* pData) {
    host::HKEY h = nullptr;
    if (host::RegOpenKeyExW(host::HKEY_CURRENT_USER, kszKey, 0, host::KEY_READ, &h) != 0)
        return false;
    DWORD cb = 0;
    bool fOk = host::RegQueryValueExW(h, pszName, nullptr, pdwType, nullptr, &cb) == 0;
    if (fOk) {
        pData->assign(cb, 0);
        fOk = host::RegQueryValueExW(h, pszName, nullptr, nullptr, pData->data(), &cb) == 0;
    }
    host::RegCloseKey(h);
    return fOk;
}

void Put(const char16_t* pszName, DWORD dwType, const Bytes& data) {
    host::HKEY h = nullptr;
    ASSERT_EQ(host::RegCreateKeyExW(host::HKEY_CURRENT_USER, kszKey, 0, nullptr, 0,
                                    host::KEY_ALL_ACCESS, nullptr, &h, nullptr),
              0);
    EXPECT_EQ(
        host::RegSetValueExW(h, pszName, 0, dwType, data.data(), static_cast<DWORD>(data.size())),
        0);
    host::RegCloseKey(h);
}

void Remove(const char16_t* pszName) {
    host::HKEY h = nullptr;
    if (host::RegOpenKeyExW(host::HKEY_CURRENT_USER, kszKey, 0, host::KEY_ALL_ACCESS, &h) != 0)
        return;
    host::RegDeleteValueW(h, pszName);
    host::RegCloseKey(h);
}

void AddLE32(Bytes* pData, std::uint32_t n) {
    for (int i = 0; i < 4; i++)
        pData->push_back(static_cast<BYTE>(n >> (8 * i)));
}

// A board as stored, field by field.
void AddBoard(Bytes* pData, const BOARD& board) {
    for (int y = 0; y < cBoardRows; y++)
        for (int x = 0; x < cBoardColumns; x++) {
            AddLE32(pData, static_cast<std::uint32_t>(board.aCell[y][x].nKind));
            AddLE32(pData, static_cast<std::uint32_t>(board.aCell[y][x].nPiece));
        }
    AddLE32(pData, 0);
    for (int p = 0; p < 2; p++) {
        AddLE32(pData, static_cast<std::uint32_t>(board.aGoal[p].cGoal));
        AddLE32(pData, static_cast<std::uint32_t>(board.aGoal[p].cGoalHeld));
    }
    AddLE32(pData, static_cast<std::uint32_t>(board.cLost[0]));
    AddLE32(pData, static_cast<std::uint32_t>(board.cLost[1]));
    AddLE32(pData, static_cast<std::uint32_t>(board.nGreenPusher));
}

Bytes SavedGameBytes(const BOARD& start, const BOARD& current, int fInProgress, int iWinner,
                     int iReason) {
    Bytes data;
    AddLE32(&data, 0x00010000);
    AddBoard(&data, start);
    AddBoard(&data, current);
    AddLE32(&data, 0);
    AddLE32(&data, static_cast<std::uint32_t>(fInProgress));
    AddLE32(&data, static_cast<std::uint32_t>(iWinner));
    AddLE32(&data, static_cast<std::uint32_t>(iReason));
    return data;
}

// UTF-16 text with its terminating zero.
Bytes TextBytes(const std::string& text) {
    Bytes data;
    for (char ch : text) {
        data.push_back(static_cast<BYTE>(ch));
        data.push_back(0);
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

std::string StoredHistory() {
    DWORD dwType = 0;
    Bytes data;
    if (!Stored(u"SavedHistory", &dwType, &data) || dwType != host::REG_SZ) return "(none)";
    std::string text;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        text += static_cast<char>(data[i]);
    if (data.size() < 2 || data[data.size() - 2] != 0) return "(unterminated)";
    text.pop_back();
    return text;
}

BOARD StartOf(int iLayout) {
    BOARD board;
    SetUpLayout(&board, iLayout);
    PlacePieces(&board, iLayout);
    return board;
}

BOARD After(BOARD board, const MOVE& move) {
    ApplyMove(&board, move, false);
    return board;
}

bool SameBoard(const BOARD& a, const BOARD& b) {
    return std::memcmp(&a, &b, sizeof(BOARD)) == 0;
}

void SaveRaw(const BOARD& start, const BOARD& current, int fInProgress, int iWinner, int iReason,
             const char* pszHistory) {
    Put(u"SavedGame", host::REG_BINARY,
        SavedGameBytes(start, current, fInProgress, iWinner, iReason));
    if (pszHistory != nullptr)
        Put(u"SavedHistory", host::REG_SZ, TextBytes(pszHistory));
    else
        Remove(u"SavedHistory");
}

constexpr MOVE kBlueOpening{4, 8, 0, 0, 0, 0, 0};

// ---- Stored bytes --------------------------------------------------------------------------

TEST_F(Record, NewGameIsSavedByteForByte) {
    NewGame(LAYOUT_CAPTURETHEFLAG, 0);
    const BOARD start = StartOf(LAYOUT_CAPTURETHEFLAG);
    DWORD dwType = 0;
    Bytes data;
    ASSERT_TRUE(Stored(u"SavedGame", &dwType, &data));
    EXPECT_EQ(dwType, host::REG_BINARY);
    ASSERT_EQ(data.size(), 2532u);
    EXPECT_EQ(data, SavedGameBytes(start, start, 1, WINNER_NONE, REASON_LOST));
    ASSERT_TRUE(Stored(u"SavedHistory", &dwType, &data));
    EXPECT_EQ(dwType, host::REG_SZ);
    EXPECT_EQ(data, TextBytes("0,0"));
}

TEST_F(Record, HistoryText) {
    g_settings.aPlayer[PLAYER_RED].fComputer = 0;
    NewGame(LAYOUT_CLASSIC, 0);
    ASSERT_TRUE(PlayMove(kBlueOpening));
    EXPECT_EQ(StoredHistory(), "1,1,0,4,8,0,0,0,0");
    DWORD dwType = 0;
    Bytes data;
    ASSERT_TRUE(Stored(u"SavedGame", &dwType, &data));
    EXPECT_EQ(data, SavedGameBytes(StartOf(LAYOUT_CLASSIC), CurrentBoard(), 1, WINNER_NONE, 0));

    ASSERT_TRUE(PlayMove({5, 1, 3, 0, 0, 0, 0}));
    ASSERT_TRUE(PlayMove({3, 7, 5, 5, 7, 0, 0}));
    EXPECT_EQ(StoredHistory(), "3,3,0,4,8,0,0,0,0,3,5,1,0,0,0,0,5,3,7,5,7,0,0");
    show_.PlayFrames();
    Undo();
    EXPECT_EQ(StoredHistory(), "3,2,0,4,8,0,0,0,0,3,5,1,0,0,0,0,5,3,7,5,7,0,0");
    EXPECT_EQ(HistoryText(), cetl::string("3,2,0,4,8,0,0,0,0,3,5,1,0,0,0,0,5,3,7,5,7,0,0"));

    // The array grows by 32 entries at a time.
    mem::BlockInfo info;
    ASSERT_TRUE(mem::GetBlockInfo(&RecordedMove(0), &info));
    EXPECT_EQ(info.cbRequested, 32 * sizeof(MOVE));
}

// ---- Restoring -----------------------------------------------------------------------------

TEST_F(Record, RestoreTakesTheSavedGame) {
    g_settings.aPlayer[PLAYER_RED].fComputer = 0;
    const BOARD start = StartOf(LAYOUT_CLASSIC);
    SaveRaw(start, After(start, kBlueOpening), 1, WINNER_NONE, REASON_GREEN,
            "2,1,0,4,8,0,0,0,0,3,5,1,0,0,0,0");
    ASSERT_TRUE(RestoreGame());
    EXPECT_EQ(RecordedMoveCount(), 2u);
    EXPECT_EQ(PlayedMoveCount(), 1u);
    EXPECT_EQ(SideToMove(), PLAYER_RED);
    EXPECT_TRUE(SameBoard(StartBoard(), start));
    EXPECT_EQ(g_game.fInProgress, 1);
    EXPECT_EQ(g_game.iReason, REASON_GREEN);
    EXPECT_EQ(show_.Calls(), (std::vector<std::string>{"lock", "cells 0", "pieces", "trays",
                                                       "status 2", "unlock", "sound 115"}));
    EXPECT_EQ(show_.LockDepth(), 0);
    mem::BlockInfo info;
    ASSERT_TRUE(mem::GetBlockInfo(&RecordedMove(0), &info));
    EXPECT_EQ(info.cbRequested, 2 * sizeof(MOVE)) << "exactly the saved count";

    // Red's move from (5, 1) in direction 3 can be redone.
    ASSERT_TRUE(CanRedo());
    Redo();
    EXPECT_EQ(CurrentBoard().aCell[2][4].nPiece, PIECE_RED);
    EXPECT_EQ(CurrentBoard().aCell[1][5].nPiece, PIECE_NONE);
    EXPECT_EQ(StoredHistory(), "2,2,0,4,8,0,0,0,0,3,5,1,0,0,0,0");
}

// A restored game with the computer to move asks for its turn; Redo withdraws it.
TEST_F(Record, RedoDropsTheComputerTurnOfARestore) {
    const BOARD start = StartOf(LAYOUT_CLASSIC);
    SaveRaw(start, After(start, kBlueOpening), 1, WINNER_NONE, 0,
            "2,1,0,4,8,0,0,0,0,3,5,1,0,0,0,0");
    ASSERT_TRUE(RestoreGame());
    EXPECT_EQ(show_.Calls("schedule"), std::vector<std::string>{"schedule 9"});
    show_.ClearCalls();
    Redo();
    EXPECT_EQ(show_.Calls("fire"), std::vector<std::string>{"fire 9"});
    EXPECT_TRUE(show_.TakeComputerMayStart());
    EXPECT_FALSE(StartComputerTurn());
    EXPECT_EQ(PlayedMoveCount(), 2u);
    EXPECT_EQ(show_.Calls("status").back(), "status 1");
}

TEST_F(Record, RestoreRefusesWhatItCannotTake) {
    const BOARD start = StartOf(LAYOUT_CLASSIC);
    const Bytes good = SavedGameBytes(start, After(start, kBlueOpening), 1, WINNER_NONE, 0);
    struct REFUSAL {
        const char* pszName;
        std::optional<Bytes> value; // none: missing
    };
    Bytes version2 = good;
    version2[2] = 2;
    Bytes version0 = good;
    version0[2] = 0;
    Bytes ended = good;
    ended[4 + 2516] = 0;
    const REFUSAL kRefusals[] = {
        {"missing", std::nullopt}, {"version 2.0", version2},       {"version 0.0", version0},
        {"ended", ended},          {"three bytes", Bytes{0, 0, 1}},
    };
    for (const REFUSAL& c : kRefusals) {
        SCOPED_TRACE(c.pszName);
        if (c.value)
            Put(u"SavedGame", host::REG_BINARY, *c.value);
        else
            Remove(u"SavedGame");
        Put(u"SavedHistory", host::REG_SZ, TextBytes("1,1,0,4,8,0,0,0,0"));
        show_.ClearCalls();
        EXPECT_FALSE(RestoreGame());
        EXPECT_TRUE(show_.Calls().empty());
        EXPECT_EQ(RecordedMoveCount(), 0u);
        EXPECT_EQ(StoredHistory(), "1,1,0,4,8,0,0,0,0") << "nothing is written";
    }
    // A newer minor version and a longer block still read.
    Bytes newer = good;
    newer[0] = 5;
    newer.resize(newer.size() + 10, 0xAB);
    Put(u"SavedGame", host::REG_BINARY, newer);
    EXPECT_TRUE(RestoreGame());
    EXPECT_EQ(PlayedMoveCount(), 1u);
}

// Saved values that break the record's rules never crash or corrupt the game: a history that
// does not replay is dropped and the saved position is kept as the start of a game without
// moves; the moves after iMove are kept up to the first one that is not legal.
TEST_F(Record, RestoreRepairsTheHistory) {
    g_settings.aPlayer[PLAYER_RED].fComputer = 0;
    const BOARD start = StartOf(LAYOUT_CLASSIC);
    const BOARD current = After(start, kBlueOpening);
    BOARD badStart = start;
    badStart.aCell[4][8].nPiece = 9;
    struct HISTORYCASE {
        const char* pszName;
        const char* pszHistory; // null: missing
        std::uint32_t cMove;    // 0 and 0 with fDropped: the history was dropped
        std::uint32_t iMove;
        bool fDropped;
        const BOARD* pStart = nullptr;
    };
    const HISTORYCASE kCases[] = {
        {"consistent", "2,1,0,4,8,0,0,0,0,3,5,1,0,0,0,0", 2, 1, false},
        {"redo move not legal", "2,1,0,4,8,0,0,0,0,3,99,1,0,0,0,0", 1, 1, false},
        {"count beyond the text", "5,1,0,4,8,0,0,0,0,3,5,1,0,0,0,0", 2, 1, false},
        {"huge count", "4294967295,1,0,4,8,0,0,0,0", 1, 1, false},
        {"count beyond 32 bits", "99999999999999999999,1,0,4,8,0,0,0,0", 1, 1, false},
        {"text after the moves", "1,1,0,4,8,0,0,0,0,junk", 1, 1, false},
        {"iMove above cMove", "1,2,0,4,8,0,0,0,0", 0, 0, true},
        {"outside the grid", "1,1,0,99,8,0,0,0,0", 0, 0, true},
        {"coordinate beyond 32 bits", "1,1,0,4,99999999999,0,0,0,0", 0, 0, true},
        {"not legal", "1,1,1,10,8,0,0,0,0", 0, 0, true},
        {"not the saved position", "1,1,0,6,8,0,0,0,0", 0, 0, true},
        {"damaged separator", "1,1,0;4,8,0,0,0,0", 0, 0, true},
        {"no moves", "0,0", 0, 0, true},
        {"letters", "abc", 0, 0, true},
        {"empty", "", 0, 0, true},
        {"missing", nullptr, 0, 0, true},
        {"start board damaged", "1,1,0,4,8,0,0,0,0", 0, 0, true, &badStart},
    };
    for (const HISTORYCASE& c : kCases) {
        SCOPED_TRACE(c.pszName);
        SaveRaw(c.pStart != nullptr ? *c.pStart : start, current, 1, WINNER_NONE, 0, c.pszHistory);
        ASSERT_TRUE(RestoreGame());
        EXPECT_TRUE(SameBoard(CurrentBoard(), current));
        EXPECT_EQ(RecordedMoveCount(), c.cMove);
        EXPECT_EQ(PlayedMoveCount(), c.iMove);
        EXPECT_TRUE(SameBoard(StartBoard(), c.fDropped ? current : start));
        // What was restored is saved again, consistent.
        SAVEDRECORD saved;
        ASSERT_EQ(ReadSavedGame(false, &saved), SAVED_INPROGRESS);
        EXPECT_FALSE(saved.fHistoryDropped);
        EXPECT_EQ(saved.cMove, c.cMove);
        FreeSavedRecord(&saved);
        // Undo goes back to a position that belongs to the game.
        Undo();
        EXPECT_TRUE(SameBoard(CurrentBoard(), c.fDropped || c.iMove == 0 ? current : start));
    }

    // A history stored with the wrong type reads as missing.
    SaveRaw(start, current, 1, WINNER_NONE, 0, nullptr);
    Put(u"SavedHistory", host::REG_BINARY, TextBytes("1,1,0,4,8,0,0,0,0"));
    ASSERT_TRUE(RestoreGame());
    EXPECT_EQ(RecordedMoveCount(), 0u);
    EXPECT_EQ(StoredHistory(), "0,0");
}

// A current position that no game can reach is not restored: the caller starts a new game.
TEST_F(Record, RestoreRefusesADamagedPosition) {
    const BOARD start = StartOf(LAYOUT_KINGOFTHEHILL);
    struct DAMAGE {
        const char* pszName;
        void (*pfnDamage)(BOARD*);
    };
    const DAMAGE kDamage[] = {
        {"unknown piece", [](BOARD* p) { p->aCell[4][8].nPiece = 7; }},
        {"negative piece", [](BOARD* p) { p->aCell[4][8].nPiece = -1; }},
        {"unknown kind", [](BOARD* p) { p->aCell[4][2].nKind = 9; }},
        {"piece outside the cells", [](BOARD* p) { p->aCell[0][0].nPiece = PIECE_BLUE; }},
        {"kind outside the cells", [](BOARD* p) { p->aCell[0][1].nKind = KIND_GOAL; }},
        {"piece in a hole",
         [](BOARD* p) {
             p->aCell[4][2].nKind = KIND_HOLE;
             p->aCell[4][2].nPiece = PIECE_RED;
         }},
        {"fifteen Blue pieces", [](BOARD* p) { p->aCell[4][0].nPiece = PIECE_BLUE; }},
        {"two green pieces",
         [](BOARD* p) {
             p->aCell[4][0].nPiece = PIECE_GREEN;
             p->aCell[4][16].nPiece = PIECE_GREEN;
         }},
        {"lost count", [](BOARD* p) { p->cLost[PLAYER_RED] = 2; }},
        {"goal count", [](BOARD* p) { p->aGoal[PLAYER_BLUE].cGoal = 3; }},
        {"goals held", [](BOARD* p) { p->aGoal[PLAYER_RED].cGoalHeld = 1; }},
        {"green pusher", [](BOARD* p) { p->nGreenPusher = 5; }},
    };
    for (const DAMAGE& c : kDamage) {
        SCOPED_TRACE(c.pszName);
        BOARD current = start;
        c.pfnDamage(&current);
        SaveRaw(start, current, 1, WINNER_NONE, 0, "0,0");
        show_.ClearCalls();
        EXPECT_FALSE(RestoreGame());
        EXPECT_TRUE(show_.Calls().empty());
        SAVEDRECORD saved;
        EXPECT_EQ(ReadSavedGame(false, &saved), SAVED_DAMAGED);
        FreeSavedRecord(&saved);
    }
    // A block much shorter than the record reads with zeros: Blue pieces everywhere.
    Bytes shortBlock = SavedGameBytes(start, start, 1, WINNER_NONE, 0);
    shortBlock.resize(100);
    Put(u"SavedGame", host::REG_BINARY, shortBlock);
    EXPECT_FALSE(RestoreGame());
    // The undamaged board is restored.
    SaveRaw(start, start, 1, WINNER_NONE, 0, "0,0");
    EXPECT_TRUE(RestoreGame());
}

// The cells are drawn for the stored layout, then every cell that differs from it: a broken
// cell, or a board of another layout than the settings say.
TEST_F(Record, RestoreDrawsTheSavedCells) {
    BOARD board = StartOf(LAYOUT_KINGOFTHEHILL);
    board.aCell[4][8].nKind = KIND_HOLE;
    board.aGoal[PLAYER_BLUE].cGoal = 6;
    board.aGoal[PLAYER_RED].cGoal = 6;
    ASSERT_TRUE(IsConsistentBoard(board));
    SaveRaw(board, board, 1, WINNER_NONE, 0, "0,0");
    g_settings.iBoard = LAYOUT_KINGOFTHEHILL;
    ASSERT_TRUE(RestoreGame());
    EXPECT_EQ(show_.Calls("cells"), std::vector<std::string>{"cells 1"});
    EXPECT_EQ(show_.Calls("kind"), std::vector<std::string>{"kind 8,4 4"});

    show_.ClearCalls();
    g_settings.iBoard = 42;
    ASSERT_TRUE(RestoreGame());
    EXPECT_EQ(show_.Calls("cells"), std::vector<std::string>{"cells 0"});
    EXPECT_EQ(show_.Calls("kind").size(), 7u);
}

// The state of a game in progress is taken over with no winner; a position that had already
// ended when it was saved ends at once.
TEST_F(Record, RestoreTakesOverTheState) {
    g_settings.aPlayer[PLAYER_RED].fComputer = 0;
    const BOARD start = StartOf(LAYOUT_CLASSIC);
    SaveRaw(start, start, 7, PLAYER_RED, 9, "0,0");
    ASSERT_TRUE(RestoreGame());
    EXPECT_EQ(g_game.fInProgress, 1);
    EXPECT_EQ(g_game.iWinner, WINNER_NONE);
    EXPECT_EQ(g_game.iReason, REASON_LOST);

    BOARD won = start;
    for (int x = 4; x <= 12; x += 2)
        won.aCell[0][x].nPiece = PIECE_NONE;
    won.aCell[1][3].nPiece = PIECE_NONE;
    won.cLost[PLAYER_RED] = 6;
    SaveRaw(won, won, 1, WINNER_NONE, 0, "0,0");
    show_.ClearCalls();
    ASSERT_TRUE(RestoreGame());
    EXPECT_EQ(g_game.fInProgress, 0);
    EXPECT_EQ(g_game.iWinner, PLAYER_BLUE);
    EXPECT_EQ(show_.Calls("sound"), (std::vector<std::string>{"sound 121", "sound 115"}));
    SAVEDRECORD saved;
    EXPECT_EQ(ReadSavedGame(false, &saved), SAVED_ENDED);
    FreeSavedRecord(&saved);
}

// ---- Settings ------------------------------------------------------------------------------

Bytes SettingsBytes(std::initializer_list<std::uint32_t> fields) {
    Bytes data;
    AddLE32(&data, 0x00010000);
    for (std::uint32_t n : fields)
        AddLE32(&data, n);
    return data;
}

TEST_F(Record, SettingsFirstStartAndAfter) {
    const Bytes defaults = SettingsBytes({0, 1, 0, 1, 0, 0, 0, 0, 1, 2});
    g_settings.iBoard = 5;
    EXPECT_FALSE(ReadSettings()) << "first start";
    const SETTINGS expected = DefaultSettings();
    EXPECT_EQ(std::memcmp(&g_settings, &expected, sizeof(SETTINGS)), 0);
    DWORD dwType = 0;
    Bytes data;
    ASSERT_TRUE(Stored(u"Settings", &dwType, &data));
    EXPECT_EQ(dwType, host::REG_BINARY);
    EXPECT_EQ(data, defaults);
    EXPECT_EQ(g_settings.iBoard, 0);
    EXPECT_TRUE(ReadSettings()) << "the next start";

    // Another major version is replaced by the defaults.
    Bytes version2 = defaults;
    version2[2] = 2;
    version2[4 + 20] = 3;
    Put(u"Settings", host::REG_BINARY, version2);
    EXPECT_FALSE(ReadSettings());
    ASSERT_TRUE(Stored(u"Settings", &dwType, &data));
    EXPECT_EQ(data, defaults);

    // A short record of a newer minor version reads with zeros; the reserved first field is
    // written back as it was read.
    Bytes shortRecord;
    AddLE32(&shortRecord, 0x00010003);
    AddLE32(&shortRecord, 77);
    AddLE32(&shortRecord, 0);
    Put(u"Settings", host::REG_BINARY, shortRecord);
    EXPECT_TRUE(ReadSettings());
    EXPECT_EQ(g_settings.nReserved0, 77);
    EXPECT_EQ(g_settings.fSound, 0);
    EXPECT_EQ(g_settings.aPlayer[PLAYER_RED].nLevel, 0);
    g_settings.iBoard = 6;
    ASSERT_TRUE(WriteSettings());
    ASSERT_TRUE(Stored(u"Settings", &dwType, &data));
    EXPECT_EQ(data, SettingsBytes({77, 0, 0, 0, 0, 6, 0, 0, 0, 0}));
}

} // namespace
