#include "game/engine/engine.h"

#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct RUN {
    int nStatus;
    std::string out;
    std::string err;
};

RUN RunTool(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int nStatus = RunEngine(args, out, err);
    return {nStatus, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(Engine, ShowsTheStartPosition) {
    const RUN run = RunTool({"--layout", "2", "show"});
    EXPECT_EQ(run.nStatus, ENGINE_OK);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "    R R R R R\n"
                       "   R R R R R R\n"
                       "  . . R R R . .\n"
                       " . . . . . . . .\n"
                       ". . . . . . . . .\n"
                       " . . . . . . . .\n"
                       "  . . B B B . .\n"
                       "   B B B B B B\n"
                       "    B B B B B\n"
                       "Blue: cGoal 3 cGoalHeld 0 cLost 0\n"
                       "Red: cGoal 3 cGoalHeld 0 cLost 0\n"
                       "nGreenPusher 3\n"
                       "to move: Blue\n");
}

TEST(Engine, MovesAreAppliedInTurn) {
    // Blue pushes forward, Red answers, and the side to move alternates.
    const RUN run = RunTool({"--layout", "3", "--rules", "modern", "--moves",
                             "0,4,8,0,0,0,0; 3,8,0,0,0,0,0 ;5,3,7,5,7,0,0", "show"});
    ASSERT_EQ(run.nStatus, ENGINE_OK) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], "    R R . R R");
    EXPECT_EQ(lines[1], "   R R R R R R");
    EXPECT_EQ(lines[2], "  . . R R R . .");
    EXPECT_EQ(lines[3], " . b R . . . b g");
    EXPECT_EQ(lines[5], " g r . B . . r .");
    EXPECT_EQ(lines[6], "  B B B B B . .");
    EXPECT_EQ(lines[7], "   . . B B B B");
    EXPECT_EQ(lines[8], "    . B B B B");
    EXPECT_EQ(lines[12], "to move: Red");
}

TEST(Engine, ReportsTheEndOfTheGame) {
    // On Tug-of-war a strong Blue pushes the green piece off a weak Red.
    const RUN play = RunTool({"--layout", "6", "play", "3", "1"});
    ASSERT_EQ(play.nStatus, ENGINE_OK);
    std::vector<std::string> lines = Lines(play.out);
    ASSERT_EQ(lines.back(), "result: Blue wins (reason 2: green piece pushed off)");
    lines.pop_back();
    std::string list;
    for (const std::string& line : lines)
        list += (list.empty() ? "" : ";") + line;

    const RUN show = RunTool({"--layout", "6", "--moves", list, "show"});
    ASSERT_EQ(show.nStatus, ENGINE_OK) << show.err;
    const std::vector<std::string> shown = Lines(show.out);
    ASSERT_EQ(shown.size(), 14u) << show.out;
    EXPECT_EQ(shown[11], "nGreenPusher 0");
    EXPECT_EQ(shown[13], "end: Blue wins (reason 2: green piece pushed off)");

    // No move is taken after the end.
    const RUN more = RunTool({"--layout", "6", "--moves", list + ";0,4,0,0,0,0,0", "show"});
    EXPECT_EQ(more.nStatus, ENGINE_BAD_INPUT);
    EXPECT_NE(more.err.find("move " + std::to_string(lines.size() + 1) +
                            " \"0,4,0,0,0,0,0\": "
                            "the game is over (Blue won)"),
              std::string::npos)
        << more.err;
}

TEST(Engine, CheckAnswers) {
    struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"check", "4", "8", "0"}, "legal\n3 0 0 0 0\n"},
        {{"check", "4", "8", "1"}, "illegal\n"},
        {{"check", "10", "8", "1"}, "illegal\n"},
        {{"check", "4", "0", "3"}, "illegal\n"}, // Red's piece: not the side to move
        {{"check", "8", "4", "1"}, "illegal\n"}, // empty
        {{"check", "5", "8", "1"}, "illegal\n"}, // not a cell
        {{"check", "6", "6", "0", "step"}, "legal\n"},
        {{"check", "6", "6", "2", "step"}, "illegal\n"},
        {{"check", "6", "6", "1", "step"}, "illegal\n"},
        {{"--moves", "0,4,8,0,0,0,0", "check", "4", "0", "4"}, "illegal\n"},
        {{"--moves", "0,4,8,0,0,0,0", "check", "4", "0", "3"}, "legal\n2 0 0 0 0\n"},
        {{"--moves", "0,4,8,0,0,0,0", "check", "6", "2", "3"}, "legal\n1 0 0 0 0\n"},
    };
    for (const auto& c : cases) {
        const RUN run = RunTool(c.args);
        EXPECT_EQ(run.nStatus, ENGINE_OK) << c.args.back();
        EXPECT_EQ(run.out, c.out) << c.args[c.args.size() - 3];
    }
}

TEST(Engine, CandidatesAndBestMove) {
    const RUN moves = RunTool({"moves"});
    ASSERT_EQ(moves.nStatus, ENGINE_OK);
    const std::vector<std::string> lines = Lines(moves.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "6 6 1 3 0 0 0 0 75"); // three pieces right along row 6
    for (const std::string& line : lines)
        EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 8) << line;

    const RUN best = RunTool({"best", "1"});
    EXPECT_EQ(best.nStatus, ENGINE_OK);
    EXPECT_EQ(best.out, "4 8 0\n"); // three pieces heading for the centre: 75 + 1
    const RUN none = RunTool({"--layout", "0", "best", "0"});
    EXPECT_EQ(none.out, best.out) << "level 0 plays like level 1";
}

TEST(Engine, TimeAndBenchReport) {
    const RUN time = RunTool({"time", "2", "3"});
    ASSERT_EQ(time.nStatus, ENGINE_OK);
    double median = -1;
    double mean = -1;
    long long cNodes = -1;
    std::istringstream(time.out) >> median >> mean >> cNodes;
    EXPECT_GE(median, 0);
    EXPECT_GE(mean, 0);
    EXPECT_GT(cNodes, 0);

    const RUN bench = RunTool({"bench", "1"});
    ASSERT_EQ(bench.nStatus, ENGINE_OK);
    const std::vector<std::string> lines = Lines(bench.out);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[lines.size() - 5], "positions 42");
    EXPECT_EQ(lines.back().rfind("signature ", 0), 0u);
    // The signature follows the decisions only.
    EXPECT_EQ(Lines(RunTool({"bench", "1"}).out).back(), lines.back());
    EXPECT_NE(Lines(RunTool({"bench", "2"}).out).back(), lines.back());
}

// The figures of the built-in bench: any change in what the computer searches or chooses
// fails here, so that it is made on purpose.
TEST(Engine, BenchDecisionsArePinned) {
    struct {
        const char* pszLevel;
        const char* pszNodes;
        const char* pszSignature;
    } const levels[] = {
        {"1", "nodes 1885", "signature cc1fb8623b37d7c7"},
        {"2", "nodes 19068", "signature b540b30ddb9d89e7"},
        {"3", "nodes 365463", "signature ca2a3e2dcc942daa"},
        // Levels outside 1 to 3 play like the nearest one.
        {"0", "nodes 1885", "signature cc1fb8623b37d7c7"},
        {"9", "nodes 365463", "signature ca2a3e2dcc942daa"},
    };
    for (const auto& level : levels) {
        const RUN bench = RunTool({"bench", level.pszLevel});
        ASSERT_EQ(bench.nStatus, ENGINE_OK) << bench.err;
        const std::vector<std::string> lines = Lines(bench.out);
        ASSERT_GE(lines.size(), 5u);
        const std::string how =
            std::string("the computer's search at level ") + level.pszLevel +
            " changed (its moves or the nodes it searched). If that is meant, run "
            "`kelvano-engine bench " +
            level.pszLevel + "` and copy its \"nodes\" and \"signature\" lines into this table.";
        EXPECT_EQ(lines[lines.size() - 4], level.pszNodes) << how;
        EXPECT_EQ(lines.back(), level.pszSignature) << how;
    }
}

TEST(Engine, HelpPrintsTheUsage) {
    const RUN run = RunTool({"--help"});
    EXPECT_EQ(run.nStatus, ENGINE_OK);
    EXPECT_EQ(run.out.rfind("usage: kelvano-engine", 0), 0u);
    EXPECT_NE(run.out.find("bench [LEVEL]"), std::string::npos);
}

TEST(Engine, RejectsBadInput) {
    struct {
        std::vector<std::string> args;
        const char* pszMessage; // part of the one line on standard error
    } cases[] = {
        {{}, "no command"},
        {{"--layout"}, "--layout needs a value"},
        {{"--layout", "7", "show"}, "--layout needs a number from 0 to 6"},
        {{"--layout", "x", "show"}, "--layout needs a number"},
        {{"--rules", "Modern", "show"}, "--rules needs classic or modern"},
        {{"--colour", "blue", "show"}, "unknown option"},
        {{"dance"}, "unknown command"},
        {{"show", "extra"}, "wrong arguments for show"},
        {{"best"}, "wrong arguments for best"},
        {{"best", "high"}, "LEVEL must be"},
        {{"best", "10"}, "LEVEL must be"},
        {{"best", "-1"}, "LEVEL must be"},
        {{"check", "4", "8"}, "wrong arguments for check"},
        {{"check", "17", "8", "0"}, "X Y must be"},
        {{"check", "4", "-1", "0"}, "X Y must be"},
        {{"check", "4", "8", "6"}, "DIR must be"},
        {{"check", "4", "8", "0", "jump"}, "only be \"step\""},
        {{"time", "3", "0"}, "N must be"},
        {{"play", "1", "2", "3"}, "wrong arguments for play"},
        {{"bench", "x"}, "LEVEL must be"},
        {{"--moves", "0,4,8,0,0,0", "show"}, "move 1 \"0,4,8,0,0,0\": expected seven integers"},
        {{"--moves", "0,4,8,0,0,0,0,0", "show"}, "move 1"},
        {{"--moves", "0,4,8,0,0,0,0;;", "show"}, "move 2 \"\": expected seven integers"},
        {{"--moves", ";0,4,8,0,0,0,0", "show"}, "move 1"},
        {{"--moves", "0,4,8,0,0,0,0;;3,8,0,0,0,0,0", "show"}, "move 2"},
        {{"--moves", "0,4,8,,0,0,0", "show"}, "\"\" is not an integer"},
        {{"--moves", "0,4a,8,0,0,0,0", "show"}, "\"4a\" is not an integer"},
        {{"--moves", "0,4,8,0,0,0,0x", "show"}, "is not an integer"},
        {{"--moves", "0,4,8,0,0,0,9999999999", "show"}, "is not an integer"},
        {{"--moves", "0,--4,8,0,0,0,0", "show"}, "is not an integer"},
        {{"--moves", "0,4.0,8,0,0,0,0", "show"}, "is not an integer"},
        {{"--moves", std::string("0,4\0,8,0,0,0,0", 14), "show"}, "is not an integer"},
        {{"--moves", "6,4,8,0,0,0,0", "show"}, "direction 6"},
        {{"--moves", "-1,4,8,0,0,0,0", "show"}, "direction -1"},
        {{"--moves", "0,3,0,0,0,0,0", "show"}, "(3,0) is outside"},
        {{"--moves", "0,5,8,0,0,0,0", "show"}, "(5,8) is outside"}, // wrong parity
        {{"--moves", "0,4,9,0,0,0,0", "show"}, "(4,9) is outside"},
        {{"--moves", "0,-2,4,0,0,0,0", "show"}, "(-2,4) is outside"},
        {{"--moves", "0,0,0,0,0,0,0", "show"}, "(0,0) is outside"},
        {{"--moves", "0,4,8,0,0,6,6", "show"}, "an inline move has x2,y2,x3,y3 = 0"},
        {{"--moves", "0,4,0,0,0,0,0", "show"}, "holds no Blue piece"},
        {{"--moves", "0,8,4,0,0,0,0", "show"}, "holds no Blue piece"},
        {{"--moves", "0,4,8,0,0,0,0;0,4,8,0,0,0,0", "show"},
         "move 2 \"0,4,8,0,0,0,0\": (4,8) holds no Red piece"},
        {{"--moves", "1,4,8,0,0,0,0", "show"}, "illegal move for Blue"},
        {{"--moves", "0,4,8,0,0,0,0;1,4,0,0,0,0,0", "show"},
         "move 2 \"1,4,0,0,0,0,0\": illegal move for Red"},
        {{"--moves", "0,6,6,10,6,0,0", "show"}, "must stand in a row"},
        {{"--moves", "0,6,6,8,6,6,6", "show"}, "must stand in a row"},
        {{"--moves", "0,6,6,8,6,12,6", "show"}, "(12,6) holds no Blue piece"},
        {{"--moves", "1,6,6,8,6,10,6", "show"}, "illegal sideways move for Blue"},
        {{"--moves", "0,3,7,5,7,7,7", "show"},
         "illegal sideways move for Blue"},                              // (6,6) in the way
        {{"--moves", "3,6,6,8,6,0,0", "show"}, "illegal sideways move"}, // (7,7) occupied
    };
    for (const auto& c : cases) {
        const RUN run = RunTool(c.args);
        const std::string shown = c.args.empty() ? "(none)" : c.args[c.args.size() > 1 ? 1 : 0];
        EXPECT_EQ(run.nStatus, ENGINE_BAD_INPUT) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_NE(run.err.find(c.pszMessage), std::string::npos) << shown << ": " << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        EXPECT_EQ(run.err.find('\0'), std::string::npos);
    }
}

TEST(Engine, AnswersAtTheEndsOfTheMoveList) {
    // Tug-of-war won by Blue: its move 19 pushes the green piece off.
    const std::string won = "0,4,8,0,0,0,0;2,4,0,0,0,0,0;0,5,7,0,0,0,0;2,6,0,0,0,0,0;0,6,8,0,0,0,0;"
                            "2,7,1,0,0,0,0;0,7,7,0,0,0,0;3,9,1,0,0,0,0;5,9,7,0,0,0,0;3,8,2,0,0,0,0;"
                            "1,5,5,0,0,0,0;1,7,3,0,0,0,0;1,9,5,0,0,0,0;4,13,3,0,0,0,0;"
                            "5,12,8,0,0,0,0;1,7,3,0,0,0,0;4,10,4,0,0,0,0;4,13,3,0,0,0,0;"
                            "1,9,5,0,0,0,0";
    const std::string over = "the game is over: Blue wins (reason 2: green piece pushed off)";
    struct {
        std::vector<std::string> args;
        int nStatus;
        std::string part; // of standard output for ENGINE_OK, else of the one error line
    } const cases[] = {
        {{"--moves", "0,4,8,0,0,0,0;", "show"}, ENGINE_OK, "to move: Red"},
        {{"--moves", "0,4,8,0,0,0,0 ; \t", "check", "4", "0", "3"}, ENGINE_OK, "legal\n2 0"},
        {{"--moves", ";", "show"}, ENGINE_BAD_INPUT, "move 1 \"\""},
        {{"--moves", "0,4,8,0,0,0,0; ;", "show"}, ENGINE_BAD_INPUT, "move 2 \" \""},
        {{"--layout", "6", "--moves", won + ";", "show"}, ENGINE_OK, "end: Blue wins"},
        {{"--layout", "6", "--moves", won, "play", "1"}, ENGINE_OK, "result: Blue wins"},
        {{"--layout", "6", "--moves", won, "best", "3"}, ENGINE_FAILED, over},
        {{"--layout", "6", "--moves", won, "check", "4", "8", "0"}, ENGINE_FAILED, over},
        {{"--layout", "6", "--moves", won, "check", "9", "5", "1", "step"}, ENGINE_FAILED, over},
        {{"--layout", "6", "--moves", won, "moves"}, ENGINE_FAILED, over},
        {{"--layout", "6", "--moves", won, "time", "1", "1"}, ENGINE_FAILED, over},
        {{"--layout", "6", "--moves", won, "best", "x"}, ENGINE_BAD_INPUT, "LEVEL must be"},
        // Bad usage ends with the hint; the help explains the cells.
        {{"--layout", "7", "show"}, ENGINE_BAD_INPUT, "not \"7\" (see --help)"},
        {{"best", "high"}, ENGINE_BAD_INPUT, "not \"high\" (see --help)"},
        {{"--moves", "1,4,8,0,0,0,0", "show"}, ENGINE_BAD_INPUT, "for Blue (see --help)"},
        {{"--help"}, ENGINE_OK, "X its character column 0-16, Y its line 0-8"},
    };
    for (const auto& c : cases) {
        const RUN run = RunTool(c.args);
        const std::string shown = c.args[c.args.size() > 2 ? 2 : 0] + " " + c.args.back();
        EXPECT_EQ(run.nStatus, c.nStatus) << shown << ": " << run.err;
        const std::string& text = c.nStatus == ENGINE_OK ? run.out : run.err;
        EXPECT_NE(text.find(c.part), std::string::npos) << shown << ": " << text;
        EXPECT_EQ(c.nStatus == ENGINE_OK ? run.err : run.out, "") << shown;
        if (c.nStatus != ENGINE_OK) {
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        }
    }
}

TEST(Engine, ArbitraryMoveTextNeverCrashes) {
    // Splices of valid and broken moves: every run ends with 0 or 2, and 2 names a move.
    const char* apszParts[] = {
        "0,4,8,0,0,0,0", "3,8,0,0,0,0,0", "1,6,6,0,0,0,0", ";", ",", "-", "9", "0", " ",
        "2147483647",    "\xff",          "0,6,6,8,6,10,6"};
    unsigned nState = 99;
    for (int i = 0; i < 2000; i++) {
        std::string list;
        const int cParts = 1 + i % 7;
        for (int k = 0; k < cParts; k++) {
            nState = nState * 1103515245u + 12345u;
            list += apszParts[(nState >> 8) % (sizeof(apszParts) / sizeof(apszParts[0]))];
        }
        const RUN run = RunTool({"--moves", list, "show"});
        ASSERT_TRUE(run.nStatus == ENGINE_OK || run.nStatus == ENGINE_BAD_INPUT) << list;
        if (run.nStatus == ENGINE_BAD_INPUT) {
            ASSERT_NE(run.err.find("move "), std::string::npos) << list << ": " << run.err;
        }
    }
}

TEST(Engine, RegistryFolderThatCannotBeRead) {
    namespace fs = std::filesystem;
    const testsupport::TempFolder folder("kelvano-engine");
    const fs::path file = folder.Path() / "hkcu.reg";
    const std::string cut = "KELVANO REGISTRY 1\n[HKEY_CURRENT_USER\\Software]\n";
    const std::string newer = "KELVANO REGISTRY 2\nEND\n";
    struct {
        fs::path registry;
        std::string hkcu; // written beforehand when not empty
        int nStatus;
        std::string message;
    } cases[] = {
        {folder.Path() / "missing", "", 1, "missing\" does not exist"},
        {file, cut, 1, "hkcu.reg\" is not a folder"},
        {folder.Path(), cut, 1,
         file.string() + " is damaged (line 3: missing END line: the text is cut short); it was "
                         "left as it is"},
        {folder.Path(), newer, 1, " was written by another version of the registry (line 1"},
        {folder.Path(), "", ENGINE_FAILED, "no saved game in"},
    };
    for (const auto& c : cases) {
        fs::remove(file);
        if (!c.hkcu.empty()) std::ofstream(file) << c.hkcu;
        const RUN run = RunTool({"--registry", c.registry.string(), "show"});
        EXPECT_EQ(run.nStatus, c.nStatus) << c.message;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("kelvano-engine: --registry: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        // Reading never changes the user's files.
        std::ifstream in(file, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.hkcu) << c.message;
        for (const auto& entry : fs::directory_iterator(folder.Path()))
            EXPECT_EQ(entry.path().string().find(".damaged"), std::string::npos);
    }
}

} // namespace
