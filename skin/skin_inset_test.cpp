#include "skin/skin_inset.h"

#include "host/controls.h"
#include "skin/skin_test_fixture.h"

#include <string>
#include <vector>

using namespace host;
using namespace skintest;

namespace {

using InsetTest = SkinFixture;

std::string Str(const cetl::string& str) {
    return str.Text8();
}

TEST_F(InsetTest, EveryClassOfATemplateBecomesItsKindInZOrder) {
    const std::vector<int> used{40000, 40001}; // the close and minimise boxes
    SKININSET inset;
    ASSERT_TRUE(ReadTemplateControls(nullptr, 900, used, &inset));
    EXPECT_EQ(inset.dwStyle & (WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME),
              WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME);
    EXPECT_EQ(inset.sizeClient.cx, 240); // 160 x 160 units of 6 x 13 pixels per 4 x 8
    EXPECT_EQ(inset.sizeClient.cy, 260);

    struct Expected {
        int nId;
        int nKind;
        const char* pszClass;
        const char* pszText;
        bool fEnabled;
        bool fGroupStart;
        LONG cx; // every control is 80 units wide but the vertical bar
    } expected[] = {
        {40102, CT_TEXT, "Static", "Heading", true, false, 120},
        {1, CT_PBUTTON, "Button", "Go", true, false, 120},
        {2, CT_CBUTTON, "Button", "Plain", false, false, 120},
        {3, CT_CBUTTON, "Button", "Auto", true, false, 120},
        {4, CT_RBUTTON, "Button", "One", true, true, 120},
        {5, CT_RBUTTON, "Button", "Two", true, false, 120},
        {6, CT_PBAR, "progress", "", true, false, 120},
        {7, CT_RBUTTON, "Button", "Three", true, true, 120},
        {8, CT_USER, "user", "word", true, false, 120},
        {9, CT_USER, "user", "", true, false, 120},
        {10, CT_PBAR, "msctls_progress32", "", true, false, 120},
        {11, CT_PBAR, "Msctls_Progress", "", true, false, 120},
        {12, CT_VSCROLL, "ScrollBar", "", true, false, 12},
        {13, CT_HSCROLL, "ScrollBar", "", true, false, 120},
        {14, CT_EDIT, "Edit", "", true, false, 120},
        {15, CT_LIST, "ListBox", "", true, false, 120},
        {40118, CT_TEXT, "Static", "Footer", true, false, 120},
    };
    // The combo box (row 1) is not hosted.
    const int rows[] = {0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
    ASSERT_EQ(inset.controls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const Expected& e = expected[i];
        const SKININSETCONTROL& c = inset.controls[i];
        SCOPED_TRACE(e.nId);
        EXPECT_EQ(c.nId, e.nId);
        EXPECT_EQ(c.nKind, e.nKind);
        EXPECT_EQ(Str(c.strClass), e.pszClass);
        EXPECT_EQ(Str(c.strText), e.pszText);
        EXPECT_EQ(c.fEnabled, e.fEnabled);
        EXPECT_EQ(c.fGroupStart, e.fGroupStart);
        EXPECT_FALSE(c.fChecked);
        const RECT rc{6, 13 * rows[i], 6 + e.cx, 13 * rows[i] + 13};
        EXPECT_EQ(c.rc.left, rc.left);
        EXPECT_EQ(c.rc.top, rc.top);
        EXPECT_EQ(c.rc.right, rc.right);
        EXPECT_EQ(c.rc.bottom, rc.bottom);
    }
    EXPECT_EQ(inset.controls[2].dwStyle & BS_TYPEMASK, BS_CHECKBOX);
    EXPECT_TRUE(inset.controls[12].dwStyle & SBS_VERT);
    // The combo box has a tab stop but is not hosted: the push button is the first.
    EXPECT_EQ(inset.iFirstTabStop, 1);
}

TEST_F(InsetTest, CollidingAndMissingIdsTakeTheNextFreeId) {
    // Two controls left after a panel went: 40100 + 2 is still in use.
    const std::vector<int> used{7, 40102};
    SKININSET inset;
    ASSERT_TRUE(ReadTemplateControls(nullptr, 901, used, &inset));
    ASSERT_EQ(inset.controls.size(), 2u);
    EXPECT_EQ(inset.controls[0].nId, 40103);
    EXPECT_EQ(inset.controls[1].nId, 40104);
    EXPECT_EQ(inset.iFirstTabStop, -1);

    EXPECT_FALSE(ReadTemplateControls(nullptr, 999, used, &inset));
    EXPECT_TRUE(inset.controls.empty());
}

} // namespace
