// The installer's resource script as the installer reads it: the templates and texts in both
// languages, and the payload it installs.
#include "host/resource.h"
#include "host/window.h"
#include "setup/zip/zipfile.h"
#include "setup_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

using host::DialogTemplate;
using host::DWORD;
using host::UINT;
using host::WCHAR;

constexpr DWORD kStatic = 0xFFFF; // IDC_STATIC as a template stores it

std::u16string U16(std::string_view s) {
    // The scripts are UTF-8; the texts checked here are ASCII.
    return std::u16string(s.begin(), s.end());
}

std::u16string Text(UINT id, host::LANGID wLanguage) {
    const WCHAR* pch = nullptr;
    const int cch = host::FindStringResource(nullptr, id, wLanguage, &pch);
    return cch > 0 ? std::u16string(pch, static_cast<size_t>(cch)) : u"<missing>";
}

int Count(std::u16string_view s, std::u16string_view what) {
    int c = 0;
    for (size_t i = s.find(what); i != std::u16string_view::npos; i = s.find(what, i + 1))
        ++c;
    return c;
}

// The markup, the line breaks and the format fields survive translation.
void ExpectSameMarks(std::u16string_view en, std::u16string_view eo) {
    for (std::u16string_view mark : {u"<b>", u"</b>", u"<i>", u"<a href=", u"</a>", u"\n", u"%"})
        EXPECT_EQ(Count(en, mark), Count(eo, mark)) << std::string(mark.begin(), mark.end());
}

// Esperanto is written in its own alphabet (the support link aside).
void ExpectEsperantoLetters(std::u16string eo) {
    if (size_t i = eo.find(u"<a "); i != std::u16string::npos) eo.erase(i);
    EXPECT_EQ(eo.find_first_of(u"qwxyQWXY"), std::u16string::npos);
}

struct Control {
    DWORD id;
    const char* english; // null: not pinned here
};

struct Panel {
    UINT id;
    short cx;
    std::vector<Control> controls;
};

const char kWelcome[] =
    "<b>Thank you for downloading Kelvano!</b>\n\n\nThis game can be played on your desktop "
    "computer as well as your color palm-size PC.\n\n\nVerify the settings to the left, then "
    "click the Install button to finish installation.";

const std::vector<Panel> kPanels = {
    {101, 380, {{1006, ""}}},
    {103,
     380,
     {{1001, "English"}, {1002, "Esperanto"}, {kStatic, kWelcome}, {1000, "<b>Install</b>"}}},
    {105,
     162,
     {{1003, "Install on desktop machine"},
      {1004, "Install on both"},
      {1005, "Install on palm-size PC"}}},
    {107,
     162,
     {{kStatic, "<b>Kelvano will be installed onto your desktop computer.</b>\n\nNo compatible "
                "palm-size PC was found."},
      {1007, "<b>Rescan</b>"}}},
    {109,
     380,
     {{kStatic, "<b>Kelvano is being installed.</b>\n\n\nPlease wait..."},
      {kStatic, "Installation progress:"},
      {1008, "class:progress"},
      {1011, ""}}},
    {111,
     380,
     {{kStatic, "<b>Kelvano is being installed.</b>\n\n\nPlease wait..."},
      {kStatic, "Desktop installation progress:"},
      {1008, "class:progress"},
      {kStatic, "Palm-size PC installation progress:"},
      {1009, "class:progress"},
      {1011, ""}}},
};

// Panels on screen at once share the window's inner origin.
const std::vector<std::vector<UINT>> kShownTogether = {
    {101, 103, 105}, {101, 103, 107}, {101, 109}, {101, 111}};

DialogTemplate Template(UINT id, host::LANGID wLanguage) {
    DialogTemplate t;
    EXPECT_TRUE(host::LoadDialogTemplate(nullptr, host::ResName(id), wLanguage, &t)) << id;
    return t;
}

TEST(SetupResources, TemplatesInBothLanguages) {
    for (const Panel& panel : kPanels) {
        SCOPED_TRACE(panel.id);
        const DialogTemplate en = Template(panel.id, host::LANG_ID_ENGLISH);
        const DialogTemplate eo = Template(panel.id + 1, host::LANG_ID_ESPERANTO);
        // The frame picture is drawn for 380 x 134 units of this font.
        EXPECT_EQ(en.faceName, u"MS Shell Dlg");
        EXPECT_EQ(en.wPointSize, 10);
        EXPECT_EQ(en.cx, panel.cx);
        EXPECT_EQ(en.cy, 134);
        EXPECT_EQ((en.dwStyle & host::WS_SYSMENU) != 0, panel.id == 101);
        ASSERT_EQ(en.items.size(), panel.controls.size());
        ASSERT_EQ(eo.items.size(), panel.controls.size());
        EXPECT_EQ(eo.dwStyle, en.dwStyle);
        for (size_t i = 0; i < panel.controls.size(); ++i) {
            const host::DialogItem& e = en.items[i];
            const host::DialogItem& o = eo.items[i];
            EXPECT_EQ(e.id, panel.controls[i].id) << i;
            EXPECT_EQ(e.text.text, U16(panel.controls[i].english)) << i;
            EXPECT_EQ(o.id, e.id);
            EXPECT_EQ(o.className, e.className);
            EXPECT_EQ(std::vector<short>({o.x, o.y, o.cx, o.cy}),
                      std::vector<short>({e.x, e.y, e.cx, e.cy}));
            // Words are translated; the language names, progress bars and empty texts are not.
            const bool fWords = e.text.text.size() > 0 && e.text.text != u"class:progress" &&
                                e.id != 1001 && e.id != 1002;
            EXPECT_EQ(o.text.text != e.text.text, fWords) << i;
            ExpectSameMarks(e.text.text, o.text.text);
            ExpectEsperantoLetters(o.text.text);
        }
    }

    // Panels shown together: no id twice, no control over another, all inside the window
    // and the buttons at their run-time place, 8 units (16 pixels) above the bottom.
    for (const std::vector<UINT>& shown : kShownTogether) {
        std::vector<host::DialogItem> items;
        for (UINT id : shown)
            for (const host::DialogItem& item : Template(id, host::LANG_ID_ENGLISH).items)
                items.push_back(item);
        for (size_t i = 0; i < items.size(); ++i) {
            const host::DialogItem& a = items[i];
            SCOPED_TRACE(a.id);
            EXPECT_TRUE(a.x >= 0 && a.y >= 0 && a.x + a.cx <= 380 && a.y + a.cy <= 134);
            if (a.id == 1000 || a.id == 1007) {
                EXPECT_EQ(a.y + a.cy, 134 - 8);
            }
            for (size_t j = i + 1; j < items.size(); ++j) {
                const host::DialogItem& b = items[j];
                if (a.id != kStatic) {
                    EXPECT_NE(a.id, b.id);
                }
                EXPECT_FALSE(a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy &&
                             b.y < a.y + a.cy)
                    << a.id << " overlaps " << b.id;
            }
        }
    }
}

TEST(SetupResources, StringsInBothLanguages) {
    const std::string strLink = "<a href=\"" KELVANO_SUPPORT_HREF "\">" KELVANO_SUPPORT_TEXT "</a>";
    const struct {
        UINT id;
        std::string english;
    } strings[] = {
        {2, "<font face=arial size=18><i>Kelvano Setup</i></font>"},
        {4, "Kelvano Setup"},
        {6, "%{ld,s} Installing %2\n%1%% complete"},
        {8, "%{ld,s} Creating folder %2\n%1%% complete"},
        {10, "%{ld,s} Updating registry\n%1%% complete"},
        {12, "%{ld,s} Saving uninstall information\n%1%% complete"},
        {14, "%{ld,s} Finishing setup\n%1%% complete"},
        {16, "<b>Kelvano has been installed successfully!</b>\n\n\nTo play, just click the "
             "Kelvano icon in the Games folder."},
        {18, "<b>An error was encountered while installing Kelvano.</b>\n\n\n%s\n\n\nFor "
             "assistance, please contact " +
                 strLink + "."},
        {20, "Setup was unable to create the directory %s. The disk may be full, or a file with "
             "the same name may already exist."},
        {22, "Setup was unable to install the file %s. The disk may be full, or an existing copy "
             "of the file may be in use."},
        {24, "Setup was unable to finish saving uninstall information. The disk may be full."},
        {26, "Kelvano Setup is already running."},
    };
    EXPECT_EQ(Text(1, host::LANG_ID_ENGLISH), u"EN,EO");
    EXPECT_EQ(Text(1, host::LANG_ID_ESPERANTO), u"EN,EO");
    for (const auto& s : strings) {
        SCOPED_TRACE(s.id);
        const std::u16string en = Text(s.id, host::LANG_ID_ENGLISH);
        const std::u16string eo = Text(s.id + 1, host::LANG_ID_ESPERANTO);
        EXPECT_EQ(en, U16(s.english));
        ASSERT_NE(eo, u"<missing>");
        EXPECT_NE(eo, en);
        ExpectSameMarks(en, eo);
        ExpectEsperantoLetters(eo);
        EXPECT_EQ(eo.find(U16(strLink)) != std::u16string::npos, s.id == 18);
    }
}

std::string FileBytes(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string EntryBytes(const zip::ZipFile& zip, const char* pszName) {
    const zip::ZipEntry* pEntry = zip.Find(pszName);
    if (pEntry == nullptr || !pEntry->IsUnpacked()) return "<missing>";
    return std::string(reinterpret_cast<const char*>(pEntry->Data()), pEntry->Size());
}

// Every family's folder holds the stripped game, which starts with nothing of ours beside
// it, and the shared uninstaller; there is no "ppc".
TEST(SetupResources, Payload) {
    zip::ZipFile zip;
    zip.OpenResource(nullptr, "#113", "ZIP", false);
    std::vector<std::string> names;
    for (const auto& item : zip.Entries())
        names.push_back(item.second->Name().Text());
    std::vector<std::string> expected;
    for (const char* pszFamily : {"arm", "mips", "native", "shx"})
        for (const char* pszFile : {"", "kelvano.exe", "uninstaller.dll"})
            expected.push_back(std::string(pszFamily) + "/" + pszFile);
    EXPECT_EQ(names, expected);

    const std::string game = FileBytes(KELVANO_PAYLOAD_DIR "/kelvano.exe");
    const std::string uninstaller = FileBytes(KELVANO_PAYLOAD_DIR "/uninstaller.dll");
    ASSERT_FALSE(game.empty());
    EXPECT_EQ(game.find("libhost_base.so"), std::string::npos);
    EXPECT_EQ(game.find(".debug_info"), std::string::npos);
    for (const char* pszFamily : {"arm", "mips", "native", "shx"}) {
        SCOPED_TRACE(pszFamily);
        EXPECT_TRUE(EntryBytes(zip, (std::string(pszFamily) + "/kelvano.exe").c_str()) == game);
        EXPECT_TRUE(EntryBytes(zip, (std::string(pszFamily) + "/uninstaller.dll").c_str()) ==
                    uninstaller);
    }
}

} // namespace
