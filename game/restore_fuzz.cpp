// Arbitrary "SavedGame" and "SavedHistory" values for RestoreGame. It must restore a record
// that keeps its rules (every move legal in turn from the start board, the played ones
// leading to the current board, a consistent current board) or leave the game as it was;
// Undo, Redo and saving again must keep the record so.
//
// Input: a flags byte, then either patches to one of a few real saved games or raw values.
#include "game/game.h"
#include "game/history.h"
#include "game/presenter.h"
#include "game/search.h"
#include "game/settings.h"
#include "host/registry.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char16_t* kszKey = u"Software\\Vantor\\Kelvano CE";

struct BASE {
    Bytes saved;         // the stored "SavedGame" value
    std::u16string text; // the history text
    bool fModern;
};
std::vector<BASE> s_bases;
std::string s_folder; // the registry folder of this run, removed at exit

// Checks what the display is asked to do: only cells of the grid and known kinds.
class CheckingPresenter final : public Presenter {
public:
    bool IsAnimateOn() override { return true; }
    bool IsSoundOn() override { return true; }
    int GetEndFrame() override { return nEnd_; }
    int GlidePiece(int x, int y, int nDir, int nMover, int nStart) override {
        if (!IsCellPosition(x, y) || nDir < 0 || nDir > 5 || nMover < 0 || nMover > 2) std::abort();
        if (nStart < 0) nStart = nEnd_;
        nEnd_ = nStart + 16 > nEnd_ ? nStart + 16 : nEnd_;
        return nStart + 16;
    }
    int StartFall(int x, int y, int nStart) override {
        if (x < -2 || x > 18 || y < -1 || y > 9) std::abort();
        return (nStart < 0 ? nEnd_ : nStart) + 7;
    }
    void SetCellKind(int x, int y, int nKind) override {
        if (!IsCellPosition(x, y) || nKind < KIND_PLAIN || nKind > KIND_HOLE) std::abort();
    }
    void PlaySound(int) override {}
    void RedrawCells(int iLayout) override {
        if (iLayout < 0 || iLayout >= cLayouts) std::abort();
    }
    void RefreshStatus(int nStatus) override {
        if (nStatus < STATUS_COMPUTER || nStatus > STATUS_ENDED) std::abort();
    }
    void BeginUpdate() override { cLock_++; }
    void EndUpdate() override { cLock_--; }
    int LockDepth() const { return cLock_; }

private:
    int nEnd_ = 0;
    int cLock_ = 0;
};

CheckingPresenter s_show;

void Put(const char16_t* pszName, std::uint32_t dwType, const void* pv, std::size_t cb) {
    host::HKEY h = nullptr;
    if (host::RegCreateKeyExW(host::HKEY_CURRENT_USER, kszKey, 0, nullptr, 0, host::KEY_ALL_ACCESS,
                              nullptr, &h, nullptr) != 0)
        std::abort();
    host::RegSetValueExW(h, pszName, 0, dwType, static_cast<const std::uint8_t*>(pv),
                         static_cast<std::uint32_t>(cb));
    host::RegCloseKey(h);
}

void Remove(const char16_t* pszName) {
    host::HKEY h = nullptr;
    if (host::RegOpenKeyExW(host::HKEY_CURRENT_USER, kszKey, 0, host::KEY_ALL_ACCESS, &h) != 0)
        return;
    host::RegDeleteValueW(h, pszName);
    host::RegCloseKey(h);
}

Bytes Stored(const char16_t* pszName) {
    host::HKEY h = nullptr;
    Bytes data;
    if (host::RegOpenKeyExW(host::HKEY_CURRENT_USER, kszKey, 0, host::KEY_READ, &h) != 0)
        return data;
    std::uint32_t cb = 0;
    if (host::RegQueryValueExW(h, pszName, nullptr, nullptr, nullptr, &cb) == 0) {
        data.resize(cb);
        host::RegQueryValueExW(h, pszName, nullptr, nullptr, data.data(), &cb);
    }
    host::RegCloseKey(h);
    return data;
}

// A real game: random legal inline moves from a fixed seed.
void MakeBase(int iLayout, bool fModern, int cPlies, int cUndo, unsigned nSeed) {
    g_settings = DefaultSettings();
    g_settings.aPlayer[PLAYER_RED].fComputer = 0;
    NewGame(iLayout, fModern ? 1 : 0);
    ACTIONLIST list{};
    for (int i = 0; i < cPlies && g_game.fInProgress; i++) {
        ListMoves(&list, CurrentBoard(), SideToMove(), fModern);
        if (list.cAction == 0) break;
        nSeed = nSeed * 1103515245u + 12345u;
        PlayMove(list.pAction[(nSeed >> 8) % list.cAction].move);
        CheckGameOver();
    }
    FreeActionList(&list);
    for (int i = 0; i < cUndo; i++)
        Undo();
    BASE base;
    base.saved = Stored(u"SavedGame");
    const Bytes text = Stored(u"SavedHistory");
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        base.text += static_cast<char16_t>(text[i] | (text[i + 1] << 8));
    if (!base.text.empty() && base.text.back() == 0) base.text.pop_back();
    base.fModern = fModern;
    s_bases.push_back(base);
    FreeRecord();
}

// The record's rules.
void CheckRecord() {
    const std::uint32_t cMove = RecordedMoveCount();
    const std::uint32_t iMove = PlayedMoveCount();
    if (iMove > cMove || !IsConsistentBoard(CurrentBoard()) || !IsConsistentBoard(StartBoard()))
        std::abort();
    BOARD board = StartBoard();
    for (std::uint32_t i = 0; i < cMove; i++) {
        if (i == iMove && std::memcmp(&board, &CurrentBoard(), sizeof(BOARD)) != 0) std::abort();
        if (!IsLegalMove(board, RecordedMove(i), static_cast<int>(i % 2), g_settings.fModern != 0))
            std::abort();
        ApplyMove(&board, RecordedMove(i), false);
    }
    if (iMove == cMove && std::memcmp(&board, &CurrentBoard(), sizeof(BOARD)) != 0) std::abort();
    if (g_game.fInProgress != 0 && g_game.fInProgress != 1) std::abort();
    if (g_game.fInProgress && g_game.iWinner != WINNER_NONE) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char szFolder[] = "/dev/shm/kelvano_restore_fuzz_XXXXXX";
    char szFallback[] = "/tmp/kelvano_restore_fuzz_XXXXXX";
    const char* pszFolder = mkdtemp(szFolder);
    if (pszFolder == nullptr) pszFolder = mkdtemp(szFallback);
    if (pszFolder == nullptr) std::abort();
    s_folder = pszFolder;
    std::atexit([] {
        std::error_code error;
        std::filesystem::remove_all(s_folder, error);
    });
    host::RegSetStorageFolder(s_folder);
    SetDefaultPresenter(&s_show);
    MakeBase(LAYOUT_CLASSIC, false, 30, 0, 1);
    MakeBase(LAYOUT_KINGOFTHEHILL, true, 60, 2, 7);
    MakeBase(LAYOUT_BATTLEFIELD1, true, 80, 3, 11);
    MakeBase(LAYOUT_TUGOFWAR, false, 20, 1, 5);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t cbData) {
    FuzzedDataProvider input(pbData, cbData);
    const std::uint8_t nFlags = input.ConsumeIntegral<std::uint8_t>();
    const BASE& base = s_bases[input.ConsumeIntegralInRange<std::size_t>(0, s_bases.size() - 1)];

    g_settings = DefaultSettings();
    g_settings.fModern = (nFlags & 0x10) ? !base.fModern : base.fModern;
    g_settings.iBoard = input.ConsumeIntegralInRange<int>(-1, 8);
    g_settings.aPlayer[PLAYER_BLUE].fComputer = (nFlags >> 5) & 1;
    g_settings.aPlayer[PLAYER_RED].fComputer = (nFlags >> 6) & 1;

    Bytes saved;
    if (nFlags & 0x01) {
        saved = base.saved;
        const int cPatches = input.ConsumeIntegralInRange<int>(0, 8);
        for (int i = 0; i < cPatches && !saved.empty(); i++)
            saved[input.ConsumeIntegralInRange<std::size_t>(0, saved.size() - 1)] =
                input.ConsumeIntegral<std::uint8_t>();
        if (input.ConsumeBool()) saved.resize(input.ConsumeIntegralInRange<std::size_t>(0, 2600));
    } else {
        saved =
            input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 6000));
    }
    Put(u"SavedGame", host::REG_BINARY, saved.data(), saved.size());

    if (nFlags & 0x04) {
        Remove(u"SavedHistory");
    } else if (nFlags & 0x02) {
        std::u16string text = base.text;
        static const char16_t kAlphabet[] = u"0123456789,;x ";
        const int cPatches = input.ConsumeIntegralInRange<int>(0, 6);
        for (int i = 0; i < cPatches; i++) {
            const std::size_t iAt = input.ConsumeIntegralInRange<std::size_t>(0, text.size());
            const char16_t ch = kAlphabet[input.ConsumeIntegralInRange<int>(0, 13)];
            switch (input.ConsumeIntegralInRange<int>(0, 2)) {
            case 0:
                if (iAt < text.size()) text[iAt] = ch;
                break;
            case 1:
                text.insert(iAt, 1, ch);
                break;
            default:
                if (iAt < text.size()) text.erase(iAt, 1);
                break;
            }
        }
        Put(u"SavedHistory", host::REG_SZ, text.c_str(), (text.size() + 1) * 2);
    } else {
        const Bytes raw =
            input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 4000));
        Put(u"SavedHistory", (nFlags & 0x08) ? host::REG_BINARY : host::REG_SZ, raw.data(),
            raw.size());
    }

    FreeRecord();
    g_game = GAMESTATE{0, WINNER_NONE, REASON_LOST};
    const BOARD before = CurrentBoard();
    const bool fRestored = RestoreGame();
    if (s_show.LockDepth() != 0) std::abort();
    if (!fRestored) {
        if (std::memcmp(&before, &CurrentBoard(), sizeof(BOARD)) != 0 || RecordedMoveCount() != 0 ||
            g_game.fInProgress != 0)
            std::abort();
        return 0;
    }
    CheckRecord();

    // What was restored reads back the same.
    SAVEDRECORD again;
    const int nState = ReadSavedGame(g_settings.fModern != 0, &again);
    if (nState != (g_game.fInProgress ? SAVED_INPROGRESS : SAVED_ENDED) || again.fHistoryDropped ||
        again.cMove != RecordedMoveCount() || again.iMove != PlayedMoveCount())
        std::abort();
    FreeSavedRecord(&again);

    for (int i = 0; i < 6 && input.remaining_bytes() > 0; i++) {
        if (input.ConsumeBool())
            Undo();
        else
            Redo();
        CheckRecord();
    }
    return 0;
}
