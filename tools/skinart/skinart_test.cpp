// The installer's skin and pictures as the build wrote them and the programs read them: grids
// and cell limits, a distinct look for every state, pure blue only where see-through, one
// palette, the frame picture's size from the host's own dialog units, the properties text and
// the package.
#include "tools/skinart/skinart.h"

#include "anim/cea_graphic.h"
#include "host/dialog.h"
#include "host/screen.h"
#include "setup/zip/zipfile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>

namespace {

const std::string kDir = KELVANO_SKINART_DIR;
constexpr Color kPureBlue = host::RGB(0, 0, 255);

std::vector<uint8_t> Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

std::unique_ptr<Graphic> Load(const std::string& name) {
    std::vector<uint8_t> bytes = Slurp(kDir + "/" + name + ".psp");
    return std::make_unique<Graphic>(bytes.data(), static_cast<DWORD>(bytes.size()), nullptr,
                                     clrNone);
}

// Which way a picture's states run: each cell differs from the others of its column (Rows)
// or of its row (Columns).
enum class States { None, Rows, Columns };

struct Expected {
    const char* pszName;
    int cColumns, cRows;
    int cxCell, cyCell; // 0: any
    int cxBelow;        // cells narrower than this; 0: any
    States states;
    bool fSeeThrough; // may have see-through pixels
};
constexpr Expected kExpected[] = {
    {"background", 1, 1, 0, 0, 0, States::None, false},
    {"cbutton", 2, 4, 0, 0, 19, States::Rows, true},
    {"cursor", 1, 1, 0, 0, 0, States::None, false},
    {"edit", 3, 3, 0, 0, 0, States::None, true},
    {"frame-c", 2, 2, 20, 20, 0, States::None, true},
    {"frame-lr", 2, 1, 20, 0, 0, States::None, false},
    {"frame-tb", 1, 2, 0, 20, 0, States::None, false},
    {"frame-x", 1, 3, 0, 0, 0, States::Rows, true},
    {"hover", 1, 1, 0, 0, 0, States::None, true},
    {"hscroll", 4, 4, 0, 0, 0, States::Rows, true},
    {"icon-alert", 1, 1, 0, 0, 0, States::None, true},
    {"icon-info", 1, 1, 0, 0, 0, States::None, true},
    {"icon-question", 1, 1, 0, 0, 0, States::None, true},
    {"list", 3, 3, 0, 0, 0, States::None, true},
    {"listitem", 2, 4, 0, 0, 0, States::Rows, true},
    {"pbar", 4, 1, 0, 0, 0, States::Columns, true},
    {"pbutton", 3, 4, 0, 0, 26, States::Rows, true},
    {"rbutton", 2, 4, 0, 0, 19, States::Rows, true},
    {"vscroll", 4, 4, 0, 0, 0, States::Columns, true},
    {"graphic501", 1, 1, 0, 0, 0, States::None, false},
    {"graphic502", 3, 4, 26, 0, 0, States::Rows, true},
    {"graphic503", 3, 4, 26, 0, 0, States::Rows, true},
};

bool SameCell(const Graphic& g, int cx, int cy, int c0, int r0, int c1, int r1) {
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            if (g.GetPixelValue(c0 * cx + x, r0 * cy + y) !=
                g.GetPixelValue(c1 * cx + x, r1 * cy + y))
                return false;
    return true;
}

// Pure blue pixels that cannot be reached from their cell's border through pure blue: holes
// that would show what lies behind inside a drawn shape.
int EnclosedBlue(const Graphic& g, int cx, int cy) {
    int cEnclosed = 0;
    for (int y0 = 0; y0 < g.GetHeight(); y0 += cy) {
        for (int x0 = 0; x0 < g.GetWidth(); x0 += cx) {
            auto blue = [&](int x, int y) { return g.GetPixelColor(x0 + x, y0 + y) == kPureBlue; };
            std::vector<char> reached(static_cast<std::size_t>(cx) * cy, 0);
            std::vector<std::pair<int, int>> todo;
            for (int y = 0; y < cy; ++y)
                for (int x = 0; x < cx; ++x)
                    if ((x == 0 || y == 0 || x == cx - 1 || y == cy - 1) && blue(x, y)) {
                        reached[static_cast<std::size_t>(y) * cx + x] = 1;
                        todo.emplace_back(x, y);
                    }
            while (!todo.empty()) {
                auto [x, y] = todo.back();
                todo.pop_back();
                for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                    int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= cx || ny >= cy || !blue(nx, ny)) continue;
                    char& r = reached[static_cast<std::size_t>(ny) * cx + nx];
                    if (!r) {
                        r = 1;
                        todo.emplace_back(nx, ny);
                    }
                }
            }
            for (int y = 0; y < cy; ++y)
                for (int x = 0; x < cx; ++x)
                    cEnclosed += blue(x, y) && !reached[static_cast<std::size_t>(y) * cx + x];
        }
    }
    return cEnclosed;
}

TEST(SkinArt, PicturesMeetTheirGridsStatesAndSeeThroughRules) {
    std::vector<PALETTEENTRY> first;
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(e.pszName);
        auto g = Load(e.pszName);
        ASSERT_TRUE(g->IsValid());
        ASSERT_EQ(g->GetDepth(), 8);
        ASSERT_GT(g->GetWidth(), 0);
        ASSERT_EQ(g->GetWidth() % e.cColumns, 0);
        ASSERT_EQ(g->GetHeight() % e.cRows, 0);
        const int cx = g->GetWidth() / e.cColumns, cy = g->GetHeight() / e.cRows;
        EXPECT_TRUE(e.cxCell == 0 || cx == e.cxCell) << cx;
        EXPECT_TRUE(e.cyCell == 0 || cy == e.cyCell) << cy;
        EXPECT_TRUE(e.cxBelow == 0 || cx < e.cxBelow) << cx;

        // Every pair of cells along the states' direction differs.
        for (int c0 = 0; c0 < e.cColumns; ++c0)
            for (int r0 = 0; r0 < e.cRows; ++r0) {
                int c1 = e.states == States::Columns ? c0 + 1 : c0;
                int r1 = e.states == States::Rows ? r0 + 1 : r0;
                for (; e.states != States::None && c1 < e.cColumns && r1 < e.cRows;
                     c1 += e.states == States::Columns, r1 += e.states == States::Rows) {
                    EXPECT_FALSE(SameCell(*g, cx, cy, c0, r0, c1, r1))
                        << c0 << "," << r0 << " and " << c1 << "," << r1;
                }
            }

        int cBlue = 0;
        for (int y = 0; y < g->GetHeight(); ++y)
            for (int x = 0; x < g->GetWidth(); ++x)
                cBlue += g->GetPixelColor(x, y) == kPureBlue;
        EXPECT_TRUE(e.fSeeThrough || cBlue == 0) << cBlue;
        EXPECT_EQ(EnclosedBlue(*g, cx, cy), 0);

        std::vector<PALETTEENTRY> palette(256);
        ASSERT_EQ(g->GetPaletteEntries(palette.data(), 0, 256), 256u);
        if (first.empty()) {
            first = palette;
            int cPureBlue = 0;
            for (const PALETTEENTRY& p : palette)
                cPureBlue += p.peRed == 0 && p.peGreen == 0 && p.peBlue == 255;
            EXPECT_EQ(cPureBlue, 1) << "the see-through colour is one palette entry";
        }
        for (int i = 0; i < 256; ++i)
            EXPECT_TRUE(palette[i].peRed == first[i].peRed &&
                        palette[i].peGreen == first[i].peGreen &&
                        palette[i].peBlue == first[i].peBlue)
                << "palette entry " << i;
    }
}

// The main window opens at its template's size in the dialog font plus the frame border on
// each side; the host's dialog manager says how big the template is.
TEST(SkinArt, FramePictureCoversTheMainWindow) {
    host::ScreenOptions options;
    options.backend = host::ScreenBackendKind::kHeadless;
    options.profile = host::ScreenProfile::kDesktop;
    options.nDepth = 32;
    ASSERT_TRUE(host::InitScreen(options));
    host::DialogTemplate t;
    t.dwStyle = host::WS_POPUP | host::DS_SETFONT;
    t.cx = 380;
    t.cy = 134;
    t.fHasFont = true;
    t.wPointSize = 10;
    t.faceName = u"MS Shell Dlg";
    host::HWND hDlg = host::CreateDialogIndirectParam(nullptr, t, nullptr, nullptr, 0);
    ASSERT_NE(hDlg, nullptr);
    host::RECT rc{};
    host::GetClientRect(hDlg, &rc);
    host::DestroyWindow(hDlg);
    host::ShutdownScreen();

    auto g = Load("graphic501");
    EXPECT_EQ(g->GetWidth(), rc.right + 2 * 20);
    EXPECT_EQ(g->GetHeight(), rc.bottom + 2 * 20);
    EXPECT_EQ(g->GetWidth(), skinart::kFrameWidth);
    EXPECT_EQ(g->GetHeight(), skinart::kFrameHeight);
}

TEST(SkinArt, PropertiesAndPackage) {
    // Every value the skin must carry, and nothing else.
    const std::map<std::string, std::string> expected = {
        {"skin", "DEZ"},
        {"transparent color", "#0000FF"},
        {"background color", "#FFFFFF"},
        {"background layout", "tile"},
        {"font", "Arial,-14,I"},
        {"text color", "#000000"},
        {"disabled text color", "#6080E0"},
        {"frame border", "20"},
        {"proportional scrollbars", "0"},
        {"drag by background", "1"},
        {"frames per second", "10"},
        {"titlebar height", "0"},
        {"pbutton text lborder", "26"},
        {"pbutton text rborder", "0"},
        {"pbutton text tborder", "5"},
        {"pbutton text bborder", "0"},
        {"rbutton text lborder", "19"},
        {"cbutton text lborder", "19"},
        {"edit font", "Arial,-11,B"},
        {"edit text color", "#000000"},
        {"edit selected text color", "#FFFFFF"},
        {"edit selected text background color", "#8DA4E8"},
        {"edit text layout", "center"},
        {"edit text border", "3"},
        {"list selected text color", "#000000"},
        {"list text border", "10"},
    };
    std::vector<uint8_t> text = Slurp(kDir + "/skin.txt");
    std::map<std::string, std::string> found;
    std::string all(text.begin(), text.end());
    for (std::size_t i = 0; i < all.size();) {
        std::size_t end = all.find_first_of("\r\n", i);
        std::string line = all.substr(i, end == std::string::npos ? end : end - i);
        i = end == std::string::npos ? all.size() : end + 1;
        std::size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        auto trim = [](std::string s) {
            s.erase(0, s.find_first_not_of(" \t"));
            s.erase(s.find_last_not_of(" \t") + 1);
            return s;
        };
        EXPECT_TRUE(found.emplace(trim(line.substr(0, eq)), trim(line.substr(eq + 1))).second)
            << line;
    }
    EXPECT_EQ(found, expected);

    // The package holds skin.txt and the skin's pictures at its top level, as written beside
    // it, and comes out the same in every process.
    std::vector<uint8_t> package = Slurp(kDir + "/dez.zip");
    EXPECT_EQ(package, skinart::MakePackage());
    zip::ZipFile archive;
    archive.OpenMemory(package.data(), package.size(), false);
    std::vector<std::string> names = {"skin.txt"};
    for (const Expected& e : kExpected)
        if (std::string(e.pszName).rfind("graphic", 0) != 0)
            names.push_back(e.pszName + std::string(".psp"));
    EXPECT_EQ(archive.Count(), names.size());
    for (const std::string& name : names) {
        zip::ZipEntry* pEntry = archive.Find(name.c_str());
        ASSERT_NE(pEntry, nullptr) << name;
        EXPECT_EQ(std::vector<uint8_t>(pEntry->Data(), pEntry->Data() + pEntry->Size()),
                  Slurp(kDir + "/" + name))
            << name;
    }
}

} // namespace
