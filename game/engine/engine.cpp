#include "game/engine/engine.h"

#include "game/history.h"
#include "game/positions.h"
#include "game/rules.h"
#include "game/search.h"
#include "game/settings.h"
#include "host/registry.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: kelvano-engine [--layout N | --registry FOLDER] [--rules classic|modern] [--moves "
    "LIST]\n"
    "                      COMMAND [ARGS]\n"
    "  --layout N    board layout 0-6 (default 0, Classic)\n"
    "  --registry FOLDER\n"
    "                start from the game saved in the registry folder FOLDER (where an "
    "installation\n"
    "                keeps its registry files) instead of a layout: the position the game "
    "would\n"
    "                restore, with its side to move\n"
    "  --rules R     classic or modern; default classic, or with --registry the saved "
    "settings'\n"
    "  --moves LIST  moves played from the start position, Blue first, sides "
    "alternating;\n"
    "                moves separated by ';' (one after the last is allowed), each seven "
    "integers\n"
    "                \"nDir,x,y,x2,y2,x3,y3\" (the saved history's order), spaces around "
    "them allowed:\n"
    "                an inline move names the rear piece x,y of its line and has x2,y2,x3,y3 = "
    "0; a\n"
    "                sideways move names two or three pieces in a row (x3,y3 = 0 for two); an "
    "empty\n"
    "                LIST is the start\n"
    "COMMANDS\n"
    "  show                 the position as text: the 9 rows, the counters, the side to move, "
    "and the\n"
    "                       game's end (winner and reason) when the end-of-game rules find "
    "one;\n"
    "                       with --registry two more lines: \"saved: in progress\" or "
    "\"saved: ended\"\n"
    "                       (with the stored winner and reason), and \"history: C moves "
    "recorded, P\n"
    "                       played\" or \"history: unusable, restored without moves\"\n"
    "  moves                the computer's candidate moves for the side to move, in ListMoves "
    "order,\n"
    "                       one line each: \"x y nDir cOwn cPushed fCapture fGreenOff nGoalDelta "
    "score\"\n"
    "                       where score is ScoreAction for the side that moves, on the board "
    "after it\n"
    "  best LEVEL           the move the computer chooses for the side to move with nLevel "
    "LEVEL:\n"
    "                       \"x y nDir\", or \"none\" when it has no legal move\n"
    "  check X Y DIR [step] \"legal\" or \"illegal\"; for a legal check without \"step\" a "
    "second line\n"
    "                       \"cOwn cPushed fCapture fGreenOff nGoalDelta\"\n"
    "  play LEVEL [LEVEL2]  the computer plays both sides (Blue at LEVEL, Red at LEVEL2, "
    "default the\n"
    "                       same) until the game ends or 400 moves: one line per move in the "
    "LIST form,\n"
    "                       then the result line\n"
    "  time LEVEL N         decides the position N times at LEVEL: one line \"median_ms mean_ms "
    "nodes\"\n"
    "                       (milliseconds per decision, nodes searched per decision)\n"
    "  bench [LEVEL]        decides a fixed, built-in set of positions (every layout, both rule "
    "sets,\n"
    "                       openings and midgames) at LEVEL (default 3): prints the positions, "
    "the\n"
    "                       nodes searched, the time, nodes per second, and a signature (a hash "
    "of all\n"
    "                       chosen moves) that changes whenever any decision changes\n"
    "LEVEL is the stored strength 0-9: 1 Low, 2 Medium, 3 High; 0 plays like 1, above 3 like 3.\n"
    "CELLS AND DIRECTIONS\n"
    "  X Y is a cell as show draws it: X its character column 0-16, Y its line 0-8 (Red's side "
    "on\n"
    "  top). The cells of a row stand on every other column, x + y even: rows 0 and 8 hold "
    "columns\n"
    "  4-12, row 4 columns 0-16; the centre is 8 4. DIR: 0 up-right, 1 right, 2 down-right,\n"
    "  3 down-left, 4 left, 5 up-left. Example: --moves \"0,4,8,0,0,0,0\" moves Blue's line "
    "from\n"
    "  the bottom row's first cell (4 8) up-right.\n"
    "FINISHED GAMES\n"
    "  Once the game is over (show prints its \"end:\" line) --moves takes no further move, "
    "play\n"
    "  prints only the result line, and best, check, moves and time print \"the game is over: "
    "...\"\n"
    "  with the winner on standard error and exit 1.\n"
    "EXIT STATUS\n"
    "  0 done (an \"illegal\" answer included), 1 failure, 2 bad usage or a bad move list.\n";

constexpr int kMaxPlayMoves = 400;
constexpr int kMaxLevel = 9;
constexpr int kMaxTimeRuns = 100000;

const char* SideName(int nSide) {
    return nSide == PLAYER_BLUE ? "Blue" : "Red";
}

const char* ReasonText(int iReason) {
    switch (iReason) {
    case REASON_LOST:
        return "six pieces lost";
    case REASON_GOALS:
        return "all goals held";
    default:
        return "green piece pushed off";
    }
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// An optionally signed decimal integer of at most nine digits, spaces around it allowed.
bool ParseInt(std::string_view s, int* pn) {
    s = Trim(s);
    bool fNegative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        fNegative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 9) return false;
    int n = 0;
    for (char ch : s) {
        if (ch < '0' || ch > '9') return false;
        n = n * 10 + (ch - '0');
    }
    *pn = fNegative ? -n : n;
    return true;
}

// Outside text quoted for a message: shortened, and with control bytes replaced.
std::string Quote(std::string_view s) {
    std::string text = "\"";
    for (std::size_t i = 0; i < s.size() && i < 40; i++) {
        const auto ch = static_cast<unsigned char>(s[i]);
        text += (ch < 0x20 || ch == 0x7F) ? '?' : static_cast<char>(ch);
    }
    if (s.size() > 40) text += "...";
    return text + "\"";
}

std::vector<std::string_view> Split(std::string_view s, char chSeparator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t i = s.find(chSeparator);
        parts.push_back(s.substr(0, i));
        if (i == std::string_view::npos) return parts;
        s.remove_prefix(i + 1);
    }
}

struct GAME {
    BOARD board;
    bool fModern = false;
    int nSide = PLAYER_BLUE;
};

// What --registry read, for show.
struct SAVEDINFO {
    bool fRead = false;
    int nState = SAVED_NONE;
    SAVEDGAME game{};
    std::uint32_t cMove = 0;
    std::uint32_t iMove = 0;
    bool fHistoryDropped = false;
};

// Reads the saved game of the registry folder into the game. Returns ENGINE_OK, or the exit
// status with an error message: ENGINE_FAILED when the folder or a registry file cannot be
// read, or when it holds no saved game that the game would show. The rules are
// --rules when given, else the saved settings' (Classic when they do not read). Only reads: a
// damaged registry file is reported and left for the game to deal with.
int ReadSaved(const std::string& folder, bool fRulesGiven, GAME* pGame, SAVEDINFO* pInfo,
              std::string* pError) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(folder, ec);
    if (!std::filesystem::exists(status)) {
        *pError = Quote(folder) + " does not exist";
        return ENGINE_FAILED;
    }
    if (!std::filesystem::is_directory(status)) {
        *pError = Quote(folder) + " is not a folder";
        return ENGINE_FAILED;
    }
    const std::string previous = host::RegGetStorageFolder();
    host::RegSetStorageFolder(folder);
    std::optional<host::RegDamage> damage;
    host::RegDamagePolicy policyBefore =
        host::RegSetDamagePolicy({false, [&damage](const host::RegDamage& found) {
                                      if (!damage) damage = found;
                                  }});
    if (!fRulesGiven) {
        SETTINGS settings;
        pGame->fModern = ReadStoredSettings(&settings) && settings.fModern != 0;
    }
    SAVEDRECORD saved;
    const int nState = ReadSavedGame(pGame->fModern, &saved);
    host::RegSetDamagePolicy(std::move(policyBefore));
    host::RegSetStorageFolder(previous);

    int nStatus = ENGINE_FAILED;
    if (damage) {
        *pError = damage->file +
                  (damage->fUnknownVersion ? " was written by another version of the registry ("
                                           : " is damaged (") +
                  damage->message + "); it was left as it is";
    } else if (nState == SAVED_NONE) {
        *pError = "no saved game in " + Quote(folder);
    } else if (nState == SAVED_DAMAGED) {
        *pError = "the saved game in " + Quote(folder) + " is damaged";
    } else {
        pGame->board = saved.game.boardCurrent;
        pGame->nSide = static_cast<int>(saved.iMove % 2);
        pInfo->fRead = true;
        pInfo->nState = nState;
        pInfo->game = saved.game;
        pInfo->cMove = saved.cMove;
        pInfo->iMove = saved.iMove;
        pInfo->fHistoryDropped = saved.fHistoryDropped;
        nStatus = ENGINE_OK;
    }
    FreeSavedRecord(&saved);
    return nStatus;
}

bool HoldsOwnPiece(const GAME& game, int x, int y) {
    return IsCellPosition(x, y) && IsOnBoard(game.board, x, y) &&
           game.board.aCell[y][x].nPiece == game.nSide;
}

std::string CellText(int x, int y) {
    char sz[32];
    std::snprintf(sz, sizeof(sz), "(%d,%d)", x, y);
    return sz;
}

// Checks one move of the list against the position and plays it; false with a message.
bool PlayListedMove(GAME* pGame, std::string_view item, std::string* pError) {
    const std::vector<std::string_view> fields = Split(item, ',');
    if (fields.size() != 7) {
        *pError = "expected seven integers \"nDir,x,y,x2,y2,x3,y3\"";
        return false;
    }
    int an[7];
    for (int i = 0; i < 7; i++) {
        if (!ParseInt(fields[i], &an[i])) {
            *pError = Quote(fields[i]) + " is not an integer";
            return false;
        }
    }
    const MOVE move{an[1], an[2], an[0], an[3], an[4], an[5], an[6]};
    if (move.nDir < 0 || move.nDir > 5) {
        *pError = "direction " + std::to_string(move.nDir) + " is not one of 0 to 5";
        return false;
    }
    int iWinner;
    int iReason;
    if (FindGameEnd(pGame->board, &iWinner, &iReason)) {
        *pError = "the game is over (" + std::string(SideName(iWinner)) + " won)";
        return false;
    }

    const CELLPOS aPos[3] = {{move.x, move.y}, {move.x2, move.y2}, {move.x3, move.y3}};
    const bool fInline = IsInlineMove(move);
    const bool fThird = !(move.x3 == 0 && move.y3 == 0);
    if (fInline && fThird) {
        *pError = "an inline move has x2,y2,x3,y3 = 0";
        return false;
    }
    const int cPieces = fInline ? 1 : (fThird ? 3 : 2);
    for (int i = 0; i < cPieces; i++) {
        if (!IsCellPosition(aPos[i].x, aPos[i].y)) {
            *pError = CellText(aPos[i].x, aPos[i].y) + " is outside the board's grid of cells";
            return false;
        }
        if (!HoldsOwnPiece(*pGame, aPos[i].x, aPos[i].y)) {
            *pError =
                CellText(aPos[i].x, aPos[i].y) + " holds no " + SideName(pGame->nSide) + " piece";
            return false;
        }
    }

    if (fInline) {
        if (!CheckMove(pGame->board, move.x, move.y, move.nDir, false, nullptr, pGame->fModern)) {
            *pError = std::string("illegal move for ") + SideName(pGame->nSide);
            return false;
        }
    } else {
        if (!CanJoinSelection(aPos[0], nullptr, aPos[1]) ||
            (fThird && !CanJoinSelection(aPos[0], &aPos[1], aPos[2]))) {
            *pError = "the pieces of a sideways move must stand in a row";
            return false;
        }
        for (int i = 0; i < cPieces; i++) {
            if (!CheckMove(pGame->board, aPos[i].x, aPos[i].y, move.nDir, true, nullptr,
                           pGame->fModern)) {
                *pError = std::string("illegal sideways move for ") + SideName(pGame->nSide);
                return false;
            }
        }
    }
    ApplyMove(&pGame->board, move, false);
    pGame->nSide = 1 - pGame->nSide;
    return true;
}

bool PlayList(GAME* pGame, std::string_view list, std::string* pError) {
    if (Trim(list).empty()) return true;
    std::vector<std::string_view> items = Split(list, ';');
    // A list built by appending "move;" ends with an empty item; empty items elsewhere are
    // mistakes.
    if (Trim(items.back()).empty()) items.pop_back();
    for (std::size_t i = 0; i < items.size(); i++) {
        std::string error;
        if (!PlayListedMove(pGame, items[i], &error)) {
            *pError = "move " + std::to_string(i + 1) + " " + Quote(items[i]) + ": " + error;
            return false;
        }
    }
    return true;
}

std::string MoveText(const MOVE& move) {
    return std::to_string(move.nDir) + "," + std::to_string(move.x) + "," + std::to_string(move.y) +
           "," + std::to_string(move.x2) + "," + std::to_string(move.y2) + "," +
           std::to_string(move.x3) + "," + std::to_string(move.y3);
}

std::string EndText(int iWinner, int iReason) {
    return std::string(SideName(iWinner)) + " wins (reason " + std::to_string(iReason) + ": " +
           ReasonText(iReason) + ")";
}

char CellChar(const CELL& cell) {
    switch (cell.nPiece) {
    case PIECE_BLUE:
        return 'B';
    case PIECE_RED:
        return 'R';
    case PIECE_GREEN:
        return 'G';
    default:
        break;
    }
    switch (cell.nKind) {
    case KIND_GOAL:
        return 'g';
    case KIND_BLUEGOAL:
        return 'b';
    case KIND_REDGOAL:
        return 'r';
    case KIND_HOLE:
        return '#';
    default:
        return '.';
    }
}

void Show(const GAME& game, const SAVEDINFO& info, std::ostream& out) {
    // Doubled columns print as character columns, which draws the hexagon.
    for (int y = 0; y < cBoardRows; y++) {
        std::string line;
        for (int x = 0; x < cBoardColumns; x++) {
            if (!IsCellPosition(x, y)) continue;
            line.resize(static_cast<std::size_t>(x), ' ');
            line += CellChar(game.board.aCell[y][x]);
        }
        out << line << '\n';
    }
    for (int p = PLAYER_BLUE; p <= PLAYER_RED; p++)
        out << SideName(p) << ": cGoal " << game.board.aGoal[p].cGoal << " cGoalHeld "
            << game.board.aGoal[p].cGoalHeld << " cLost " << game.board.cLost[p] << '\n';
    out << "nGreenPusher " << game.board.nGreenPusher << '\n';
    out << "to move: " << SideName(game.nSide) << '\n';
    int iWinner;
    int iReason;
    if (FindGameEnd(game.board, &iWinner, &iReason))
        out << "end: " << EndText(iWinner, iReason) << '\n';
    if (!info.fRead) return;
    if (info.nState == SAVED_INPROGRESS) {
        out << "saved: in progress\n";
    } else {
        out << "saved: ended";
        const int iSavedWinner = info.game.iWinner;
        const int iSavedReason = info.game.iReason;
        if ((iSavedWinner == PLAYER_BLUE || iSavedWinner == PLAYER_RED) &&
            iSavedReason >= REASON_LOST && iSavedReason <= REASON_GREEN)
            out << ", " << EndText(iSavedWinner, iSavedReason);
        out << '\n';
    }
    if (info.fHistoryDropped)
        out << "history: unusable, restored without moves\n";
    else
        out << "history: " << info.cMove << " moves recorded, " << info.iMove << " played\n";
}

void ListCandidates(const GAME& game, std::ostream& out) {
    ACTIONLIST list{};
    ListMoves(&list, game.board, game.nSide, game.fModern);
    for (std::uint32_t i = 0; i < list.cAction; i++) {
        const ACTION& a = list.pAction[i];
        out << a.move.x << ' ' << a.move.y << ' ' << a.move.nDir << ' ' << a.result.cOwn << ' '
            << a.result.cPushed << ' ' << a.result.fCapture << ' ' << a.result.fGreenOff << ' '
            << a.result.nGoalDelta << ' ' << ScoreAction(a, game.nSide) << '\n';
    }
    FreeActionList(&list);
}

std::string Format(const char* pszFormat, double a, double b) {
    char sz[64];
    std::snprintf(sz, sizeof(sz), pszFormat, a, b);
    return sz;
}

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Play(GAME* pGame, const int anLevel[2], std::ostream& out) {
    SearchEngine engine;
    for (int i = 0; i < kMaxPlayMoves; i++) {
        int iWinner;
        int iReason;
        if (FindGameEnd(pGame->board, &iWinner, &iReason)) {
            out << "result: " << EndText(iWinner, iReason) << '\n';
            return;
        }
        DECISION decision;
        if (!engine.Decide(pGame->board, pGame->nSide, anLevel[pGame->nSide], pGame->fModern,
                           &decision)) {
            out << "result: no winner, " << SideName(pGame->nSide) << " has no legal move\n";
            return;
        }
        ApplyMove(&pGame->board, decision.move, false);
        pGame->nSide = 1 - pGame->nSide;
        out << MoveText(decision.move) << '\n';
    }
    int iWinner;
    int iReason;
    if (FindGameEnd(pGame->board, &iWinner, &iReason))
        out << "result: " << EndText(iWinner, iReason) << '\n';
    else
        out << "result: no winner after " << kMaxPlayMoves << " moves\n";
}

void Time(const GAME& game, int nLevel, int cRuns, std::ostream& out) {
    SearchEngine engine;
    std::vector<double> times;
    DECISION decision{};
    for (int i = 0; i < cRuns; i++) {
        const Clock::time_point start = Clock::now();
        engine.Decide(game.board, game.nSide, nLevel, game.fModern, &decision);
        times.push_back(MillisecondsSince(start));
    }
    double sum = 0;
    for (double t : times)
        sum += t;
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    out << Format("%.4f %.4f", median, sum / static_cast<double>(n)) << ' ' << decision.cNodes
        << '\n';
}

void Bench(int nLevel, std::ostream& out) {
    SearchEngine engine;
    std::uint64_t nSignature = 14695981039346656037ull; // FNV-1a over the chosen moves
    auto mix = [&nSignature](std::int32_t n) {
        for (int i = 0; i < 4; i++) {
            nSignature ^= static_cast<std::uint8_t>(static_cast<std::uint32_t>(n) >> (8 * i));
            nSignature *= 1099511628211ull;
        }
    };
    std::uint64_t cNodes = 0;
    double msTotal = 0;
    BENCHPOSITION position;
    for (int i = 0; i < cBenchPositions; i++) {
        GetBenchPosition(i, &position);
        DECISION decision;
        const Clock::time_point start = Clock::now();
        const bool fChosen =
            engine.Decide(position.board, position.nSide, nLevel, position.fModern, &decision);
        const double ms = MillisecondsSince(start);
        msTotal += ms;
        cNodes += decision.cNodes;
        out << "position " << i + 1 << " layout " << position.iLayout << ' '
            << (position.fModern ? "modern" : "classic") << " plies " << position.cPlies
            << " best ";
        if (fChosen) {
            mix(decision.move.x);
            mix(decision.move.y);
            mix(decision.move.nDir);
            out << decision.move.x << ' ' << decision.move.y << ' ' << decision.move.nDir;
        } else {
            mix(-1);
            out << "none";
        }
        out << " nodes " << decision.cNodes << Format(" ms %.4f", ms, 0) << '\n';
    }
    char szSignature[17];
    std::snprintf(szSignature, sizeof(szSignature), "%016llx",
                  static_cast<unsigned long long>(nSignature));
    const double nps = msTotal > 0 ? static_cast<double>(cNodes) * 1000.0 / msTotal : 0;
    out << "positions " << cBenchPositions << '\n';
    out << "nodes " << cNodes << '\n';
    out << Format("time_ms %.3f", msTotal, 0) << '\n';
    out << Format("nps %.0f", nps, 0) << '\n';
    out << "signature " << szSignature << '\n';
}

bool ParseLevel(const std::string& text, int* pnLevel) {
    return ParseInt(text, pnLevel) && *pnLevel >= 0 && *pnLevel <= kMaxLevel;
}

int Fail(std::ostream& err, const std::string& message) {
    err << "kelvano-engine: " << message << '\n';
    return ENGINE_BAD_INPUT;
}

// Bad usage: the one line ends with the hint.
int UsageFail(std::ostream& err, const std::string& message) {
    return Fail(err, message + " (see --help)");
}

// Commands that ask about the next move cannot answer once the game is over: they say so
// instead of answering as if play went on, as --moves does.
bool ReportGameOver(const GAME& game, std::ostream& err) {
    int iWinner;
    int iReason;
    if (!FindGameEnd(game.board, &iWinner, &iReason)) return false;
    err << "kelvano-engine: the game is over: " << EndText(iWinner, iReason) << '\n';
    return true;
}

} // namespace

int RunEngine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    int iLayout = LAYOUT_CLASSIC;
    bool fLayoutGiven = false;
    bool fModern = false;
    bool fRulesGiven = false;
    std::string registry;
    bool fRegistryGiven = false;
    std::string moves;
    std::size_t i = 0;
    for (; i < args.size(); i++) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            out << kUsage;
            return ENGINE_OK;
        }
        if (arg.rfind("--", 0) != 0) break;
        if (arg != "--layout" && arg != "--rules" && arg != "--moves" && arg != "--registry")
            return UsageFail(err, "unknown option " + Quote(arg));
        if (i + 1 >= args.size()) return UsageFail(err, arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--layout") {
            if (!ParseInt(value, &iLayout) || iLayout < 0 || iLayout >= cLayouts)
                return UsageFail(err, "--layout needs a number from 0 to 6, not " + Quote(value));
            fLayoutGiven = true;
        } else if (arg == "--registry") {
            if (value.empty()) return UsageFail(err, "--registry needs a folder");
            registry = value;
            fRegistryGiven = true;
        } else if (arg == "--rules") {
            fRulesGiven = true;
            if (value == "classic")
                fModern = false;
            else if (value == "modern")
                fModern = true;
            else
                return UsageFail(err, "--rules needs classic or modern, not " + Quote(value));
        } else {
            moves = value;
        }
    }
    if (fLayoutGiven && fRegistryGiven)
        return UsageFail(
            err, "--layout and --registry cannot be combined: the saved game has its board");
    if (i >= args.size()) return UsageFail(err, "no command given");
    const std::string& command = args[i];
    const std::vector<std::string> params(args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                          args.end());

    GAME game;
    game.fModern = fModern;
    SetUpLayout(&game.board, iLayout);
    PlacePieces(&game.board, iLayout);
    SAVEDINFO info;
    std::string error;
    if (fRegistryGiven) {
        const int nStatus = ReadSaved(registry, fRulesGiven, &game, &info, &error);
        if (nStatus != ENGINE_OK) {
            err << "kelvano-engine: --registry: " << error << '\n';
            return nStatus;
        }
    }
    if (!PlayList(&game, moves, &error)) return UsageFail(err, "--moves: " + error);

    if (command == "show" && params.empty()) {
        Show(game, info, out);
    } else if (command == "moves" && params.empty()) {
        if (ReportGameOver(game, err)) return ENGINE_FAILED;
        ListCandidates(game, out);
    } else if (command == "best" && params.size() == 1) {
        int nLevel;
        if (!ParseLevel(params[0], &nLevel))
            return UsageFail(err,
                             "best: LEVEL must be a number from 0 to 9, not " + Quote(params[0]));
        if (ReportGameOver(game, err)) return ENGINE_FAILED;
        SearchEngine engine;
        DECISION decision;
        if (engine.Decide(game.board, game.nSide, nLevel, game.fModern, &decision))
            out << decision.move.x << ' ' << decision.move.y << ' ' << decision.move.nDir << '\n';
        else
            out << "none\n";
    } else if (command == "check" && (params.size() == 3 || params.size() == 4)) {
        int x;
        int y;
        int nDir;
        if (!ParseInt(params[0], &x) || !ParseInt(params[1], &y) || x < 0 || x >= cBoardColumns ||
            y < 0 || y >= cBoardRows)
            return UsageFail(err, "check: X Y must be a position of the 17 x 9 grid");
        if (!ParseInt(params[2], &nDir) || nDir < 0 || nDir > 5)
            return UsageFail(err,
                             "check: DIR must be a number from 0 to 5, not " + Quote(params[2]));
        if (params.size() == 4 && params[3] != "step")
            return UsageFail(err, "check: the fourth argument can only be \"step\"");
        const bool fStep = params.size() == 4;
        if (ReportGameOver(game, err)) return ENGINE_FAILED;
        CHECKRESULT result;
        // The rules answer only for a piece of the side to move.
        if (!HoldsOwnPiece(game, x, y) ||
            !CheckMove(game.board, x, y, nDir, fStep, &result, game.fModern)) {
            out << "illegal\n";
        } else {
            out << "legal\n";
            if (!fStep)
                out << result.cOwn << ' ' << result.cPushed << ' ' << result.fCapture << ' '
                    << result.fGreenOff << ' ' << result.nGoalDelta << '\n';
        }
    } else if (command == "play" && (params.size() == 1 || params.size() == 2)) {
        int anLevel[2];
        if (!ParseLevel(params[0], &anLevel[0]) ||
            !ParseLevel(params.size() == 2 ? params[1] : params[0], &anLevel[1]))
            return UsageFail(err, "play: LEVEL must be a number from 0 to 9");
        Play(&game, anLevel, out);
    } else if (command == "time" && params.size() == 2) {
        int nLevel;
        int cRuns;
        if (!ParseLevel(params[0], &nLevel))
            return UsageFail(err,
                             "time: LEVEL must be a number from 0 to 9, not " + Quote(params[0]));
        if (!ParseInt(params[1], &cRuns) || cRuns < 1 || cRuns > kMaxTimeRuns)
            return UsageFail(err,
                             "time: N must be a number from 1 to 100000, not " + Quote(params[1]));
        if (ReportGameOver(game, err)) return ENGINE_FAILED;
        Time(game, nLevel, cRuns, out);
    } else if (command == "bench" && params.size() <= 1) {
        int nLevel = 3;
        if (params.size() == 1 && !ParseLevel(params[0], &nLevel))
            return UsageFail(err,
                             "bench: LEVEL must be a number from 0 to 9, not " + Quote(params[0]));
        Bench(nLevel, out);
    } else if (command == "show" || command == "moves" || command == "best" || command == "check" ||
               command == "play" || command == "time" || command == "bench") {
        return UsageFail(err, "wrong arguments for " + command);
    } else {
        return UsageFail(err, "unknown command " + Quote(command));
    }
    return ENGINE_OK;
}
