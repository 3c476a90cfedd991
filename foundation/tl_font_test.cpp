#include "foundation/tl_font.h"

#include "foundation/tl_language.h"
#include "foundation/tl_registry.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using cetl::FontFromDescription;
using cetl::kLanguageEnglish;
using cetl::kLanguageEsperanto;
using cetl::string;
using host::LOGFONTA;
using host::LOGFONTW;
using host::UINT;

// The default GUI font, in the record's 8-bit form.
LOGFONTA DefaultFont() {
    LOGFONTA lf{};
    EXPECT_EQ(host::GetObject(host::GetStockObject(host::DEFAULT_GUI_FONT), sizeof(lf), &lf),
              static_cast<int>(sizeof(lf)));
    return lf;
}

struct Expected {
    const char* pszDesc;
    UINT nLanguage;
    int nDpi;
    host::LONG lfHeight; // 0: the default font's
    host::LONG lfWeight;
    int fItalic, fUnderline;
    const char* pszFace; // null: the default face (plus the suffix for Esperanto)
};

const Expected kCases[] = {
    {"Arial,-14,I", kLanguageEnglish, 96, -14, 400, 1, 0, "Arial"},
    {"Arial,-16,B", kLanguageEnglish, 96, -16, 700, 0, 0, "Arial"},
    {"MS Shell Dlg,10", kLanguageEnglish, 96, -13, 400, 0, 0, "MS Shell Dlg"},
    {"MS Shell Dlg,10", kLanguageEnglish, 120, -16, 400, 0, 0, "MS Shell Dlg"},
    {"Tahoma, 8 ,bU", kLanguageEnglish, 96, -10, 700, 0, 1, "Tahoma"},
    {"default", kLanguageEnglish, 96, 0, 400, 0, 0, nullptr},
    {"DeFault,b,i,u", kLanguageEnglish, 96, 0, 700, 1, 1, nullptr},
    {"arial,iub", kLanguageEnglish, 96, 0, 700, 1, 1, "arial"},
    {"Arial,0", kLanguageEnglish, 96, 0, 400, 0, 0, "Arial"},
    {"", kLanguageEnglish, 96, 0, 400, 0, 0, nullptr},
    {",,Arial,,", kLanguageEnglish, 96, 0, 400, 0, 0, "Arial"},
    // Later items win; words that are not only style letters are faces.
    {"Arial,Times New Roman,-20,10", kLanguageEnglish, 96, -13, 400, 0, 0, "Times New Roman"},
    {"Bold", kLanguageEnglish, 96, 0, 400, 0, 0, "Bold"},
    {"Arial,default", kLanguageEnglish, 96, 0, 400, 0, 0, nullptr},
    {"Ĉapelo,-9", kLanguageEnglish, 96, -9, 400, 0, 0, "Ĉapelo"},
    // Esperanto faces carry the suffix, once.
    {"Arial,-14,I", kLanguageEsperanto, 96, -14, 400, 1, 0, "Arial Eo"},
    {"Arial Eo,-14", kLanguageEsperanto, 96, -14, 400, 0, 0, "Arial Eo"},
    {"default", kLanguageEsperanto, 96, 0, 400, 0, 0, nullptr},
    {"Ĉapelo", kLanguageEsperanto, 96, 0, 400, 0, 0, "Ĉapelo Eo"},
    // A long face is cut to leave room for the suffix.
    {"A Very Long Face Name For A Font Family", kLanguageEsperanto, 96, 0, 400, 0, 0,
     "A Very Long Face Name For A  Eo"},
    {"A Very Long Face Name For A Font Family", kLanguageEnglish, 96, 0, 400, 0, 0,
     "A Very Long Face Name For A Fon"},
};

template <class LOGFONTT> std::string FaceOf(const LOGFONTT& lf) {
    return string(lf.lfFaceName).Text8();
}

template <class LOGFONTT> void CheckAll() {
    const LOGFONTA lfDefault = DefaultFont();
    for (const Expected& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.pszDesc << " " << c.nLanguage << " " << c.nDpi);
        LOGFONTT lf;
        FontFromDescription(c.pszDesc, &lf, c.nDpi, c.nLanguage);
        EXPECT_EQ(lf.lfHeight, c.lfHeight != 0 ? c.lfHeight : lfDefault.lfHeight);
        EXPECT_EQ(lf.lfWeight, c.lfWeight);
        EXPECT_EQ(lf.lfItalic, c.fItalic);
        EXPECT_EQ(lf.lfUnderline, c.fUnderline);
        EXPECT_EQ(lf.lfStrikeOut, 0);
        EXPECT_EQ(lf.lfCharSet, 1);
        EXPECT_EQ(lf.lfQuality, 4);
        std::string face = c.pszFace ? c.pszFace : lfDefault.lfFaceName;
        if (c.pszFace == nullptr && c.nLanguage == kLanguageEsperanto) face += " Eo";
        EXPECT_EQ(FaceOf(lf), face);
    }
}

TEST(TlFont, DescriptionsFillTheRecord) {
    CheckAll<LOGFONTA>();
    CheckAll<LOGFONTW>();
}

TEST(TlFont, LongFacesAreCutBetweenCharacters) {
    // 32 bytes in UTF-8: the 8-bit record is cut between characters, never inside one.
    const char* pszFace = "ĉĉĉĉĉĉĉĉĉĉĉĉĉĉĉĉ";
    LOGFONTA lfA;
    FontFromDescription(pszFace, &lfA, 96, kLanguageEsperanto);
    EXPECT_EQ(FaceOf(lfA), "ĉĉĉĉĉĉĉĉĉĉĉĉĉĉ Eo");
    LOGFONTW lfW;
    FontFromDescription(pszFace, &lfW, 96, kLanguageEsperanto);
    EXPECT_EQ(FaceOf(lfW), "ĉĉĉĉĉĉĉĉĉĉĉĉĉĉĉĉ Eo");
}

// The forms that use the screen and the current language.
class TlFontCurrent : public testing::Test {
protected:
    void SetUp() override { cetl::ResetLanguage(); }
    void TearDown() override { cetl::ResetLanguage(); }
    testsupport::TempRegistry m_registry{"tl_font"};
};

TEST_F(TlFontCurrent, UsesTheScreenAndTheCurrentLanguage) {
    EXPECT_EQ(cetl::GetScreenDpiY(), 96);
    ASSERT_TRUE(cetl::regvalue(cetl::regkey("HKLM\\Software\\Vantor\\NLS"), TEXT("Lang-Font"))
                    .WriteText(TEXT("EO")));
    // A module without strings has the list "EN" only, so the stored "EO" does not hold.
    cetl::InitLanguage(TEXT("Font"), reinterpret_cast<host::HINSTANCE>(std::uintptr_t{0x7E000000}));
    EXPECT_EQ(cetl::GetLanguageId(), kLanguageEnglish);
    LOGFONTW lf;
    FontFromDescription(TEXT("Arial,10,B"), &lf);
    EXPECT_EQ(lf.lfHeight, -13);
    EXPECT_EQ(std::u16string(lf.lfFaceName), u"Arial");

    host::HFONT hfont = cetl::CreateFontFromDescription(TEXT("Arial,-16,BI"));
    ASSERT_NE(hfont, nullptr);
    LOGFONTW lfMade{};
    ASSERT_EQ(host::GetObject(hfont, sizeof(lfMade), &lfMade), static_cast<int>(sizeof(lfMade)));
    EXPECT_EQ(lfMade.lfHeight, -16);
    EXPECT_EQ(lfMade.lfWeight, 700);
    EXPECT_EQ(lfMade.lfItalic, 1);
    EXPECT_EQ(std::u16string(lfMade.lfFaceName), u"Arial");
    host::DeleteObject(hfont);
}

} // namespace
