#include "skin/skin.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

TEST(SkinValue, ReadsColoursAndNumbers) {
    struct Case {
        const char* pszText;
        Color clr;
        int nNumber;
    };
    const Case cases[] = {
        {"#0000FF", 0x02FF0000, 0},
        {"#8DA4E8", 0x02E8A48D, 0},
        {"8da4e8", 0x02E8A48D, 8},
        {"#6080E0", 0x02E08060, 0},
        {"#000000", 0x02000000, 0},
        {"#0000F", 0, 0},  // five digits
        {"#00G0FF", 0, 0}, // not a digit among the six
        {"#0000FFzz", 0x02FF0000, 0},
        {"", 0, 0},
        {"20", 0, 20},
        {"-4", 0, 0}, // leading digits only
        {"12px", 0, 12},
        {"2147483647", 0x02484721, INT_MAX}, // six digits read as a colour too
        {"4294967296", 0x02969442, INT_MAX}, // beyond 32 bits
        {"99999999999999999999999", 0x02999999, INT_MAX},
    };
    for (const Case& c : cases) {
        PROPERTIESVALUE value;
        value.Set(c.pszText);
        EXPECT_EQ(value.clr, c.clr) << c.pszText;
        EXPECT_EQ(value.nNumber, c.nNumber) << c.pszText;
        EXPECT_STREQ(value.strText.Text(), c.pszText);
    }
}

void Parse(PROPERTIES* pProperties, const char* psz, PROPERTIES::ParseMode nMode) {
    pProperties->Parse(psz, std::strlen(psz), nMode);
}

TEST(SkinProperties, ParsesLines) {
    struct Case {
        const char* pszText;
        const char* pszKey;
        const char* pszValue; // null: the key is not held
    };
    const Case cases[] = {
        {"font=Arial", "font", "Arial"},
        {"  font \t=  Arial \t ", "FONT", "Arial"},
        {"\tfont = Arial,-14,I\r\n", "font", "Arial,-14,I"},
        {"# pbutton font = Arial,-14,I", "# pbutton font", nullptr},
        {"# pbutton font = Arial,-14,I", "pbutton font", nullptr},
        {"=x", "", nullptr},
        {"no value here", "no value here", nullptr},
        {"key =", "key", ""},
        {"a = b = c", "a", "b = c"},
        {"one=1\rtwo=2", "two", "2"},
        {"one=1\n\n\ntwo = 2\n", "one", "1"},
        {"frame border=20\nFRAME BORDER = 7", "Frame Border", "7"},
        {"Ĉefa koloro = 1", "ĉefa KOLORO", "1"},
    };
    for (const Case& c : cases) {
        PROPERTIES properties;
        Parse(&properties, c.pszText, PROPERTIES::PARSE_REPLACE);
        const PROPERTIESVALUE* pValue = properties.Lookup(c.pszKey);
        if (c.pszValue == nullptr) {
            EXPECT_EQ(pValue, nullptr) << c.pszText;
        } else {
            ASSERT_NE(pValue, nullptr) << c.pszText;
            EXPECT_STREQ(pValue->strText.Text(), c.pszValue) << c.pszText;
        }
    }
}

TEST(SkinProperties, RemoveModeDeletesHeldKeys) {
    PROPERTIES properties;
    Parse(&properties, "font = Arial\ntext color = #000000\nedit font = x\n",
          PROPERTIES::PARSE_REPLACE);
    Parse(&properties, "FONT=whatever\nmissing = 1\n# edit font =\n", PROPERTIES::PARSE_REMOVE);
    EXPECT_FALSE(properties.Holds("font"));
    EXPECT_FALSE(properties.Holds("missing"));
    EXPECT_TRUE(properties.Holds("text color"));
    EXPECT_TRUE(properties.Holds("edit font"));
    EXPECT_EQ(properties.Count(), 2u);
}

TEST(SkinProperties, TestingForAKeyNeverAddsIt) {
    PROPERTIES properties;
    Parse(&properties, "font = Arial", PROPERTIES::PARSE_REPLACE);
    EXPECT_EQ(properties.Lookup("pbutton font"), nullptr);
    EXPECT_FALSE(properties.Holds("edit font"));
    EXPECT_EQ(properties.Count(), 1u);
}

} // namespace
