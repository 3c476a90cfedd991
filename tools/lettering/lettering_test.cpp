#include "tools/lettering/lettering.h"

#include "anim/cea_graphic.h"
#include "anim/cea_psp.h"
#include "anim/cea_zz.h"
#include "tools/cli/cli.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using lettering::Picture;
using lettering::Rgb;

const lettering::Font& Regular() {
    static lettering::Font* font = [] {
        auto* p = new lettering::Font;
        std::string error;
        EXPECT_TRUE(p->Open(LETTERING_FONT, &error)) << error;
        return p;
    }();
    return *font;
}

const lettering::Font& Bold() {
    static lettering::Font* font = [] {
        auto* p = new lettering::Font;
        std::string error;
        EXPECT_TRUE(p->Open(LETTERING_BOLD_FONT, &error)) << error;
        return p;
    }();
    return *font;
}

std::vector<uint8_t> ReadOutput(const char* name) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(cli::ReadWholeFile(std::string(LETTERING_GAMEART) + "/" + name, &bytes, &error))
        << error;
    return bytes;
}

Rgb ToRgb(Color clr) {
    return {host::GetRValue(clr), host::GetGValue(clr), host::GetBValue(clr)};
}

bool IsBluish(Rgb c) {
    return c.b > c.r + 24 && c.b > c.g + 24;
}

double Luminance(Rgb c) {
    return 0.3 * c.r + 0.59 * c.g + 0.11 * c.b;
}

struct Sheet {
    const char* name;
    int cx, cy, cxFrame, cyFrame, cFrames;
    std::function<bool(int f, Picture*)> expected;
};

const Sheet kSheets[] = {
    {"status.psp", 240, 432, 240, 18, 24,
     [](int f, Picture* p) {
         return lettering::RenderStatus(Regular(), lettering::StatusText(f / 2, f % 2), p);
     }},
    {"buttons.psp", 128, 126, 32, 21, 24,
     [](int f, Picture* p) {
         return lettering::RenderButton(Bold(), lettering::ButtonCaption(f / 4, f % 4 / 2),
                                        f % 2 == 1, p);
     }},
};

// What the game's reader makes of a sheet, frame by frame, as the build wrote it.
TEST(LetteringSheets, FramesHoldTheirTextsInOrderOnTheKeyColour) {
    std::set<uint32_t> colours;
    for (const Sheet& sheet : kSheets) {
        SCOPED_TRACE(sheet.name);
        std::vector<uint8_t> bytes = ReadOutput(sheet.name);
        Graphic g;
        ReadPaintShopPro(&g, nullptr, bytes.data(), static_cast<DWORD>(bytes.size()), clrNone);
        ASSERT_EQ(g.GetDepth(), 8);
        ASSERT_EQ(g.GetWidth(), sheet.cx);
        ASSERT_EQ(g.GetHeight(), sheet.cy);

        int cBlue = 0;
        for (UINT i = 0; i < 256; ++i) {
            Rgb c = ToRgb(g.GetPaletteColor(i));
            cBlue += c == lettering::kKey;
            if (c != lettering::kBlack && c != lettering::kWhite && c != lettering::kKey)
                colours.insert((uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b);
        }
        EXPECT_EQ(cBlue, 1);

        int cColumns = sheet.cx / sheet.cxFrame;
        for (int f = 0; f < sheet.cFrames; ++f) {
            SCOPED_TRACE(f);
            Picture want;
            ASSERT_TRUE(sheet.expected(f, &want));
            int x0 = sheet.cxFrame * (f % cColumns), y0 = sheet.cyFrame * (f / cColumns);
            int cInk = 0, cMismatch = 0, cFringe = 0;
            for (int y = 0; y < sheet.cyFrame; ++y) {
                for (int x = 0; x < sheet.cxFrame; ++x) {
                    Rgb got = ToRgb(g.GetPixelColor(x0 + x, y0 + y));
                    cMismatch += got != want.At(x, y);
                    if (got == lettering::kKey) continue;
                    ++cInk;
                    // Edges blend towards black, never towards the key.
                    bool fEdge = false;
                    for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                        int xn = x + dx, yn = y + dy;
                        fEdge |= xn < 0 || yn < 0 || xn >= sheet.cxFrame || yn >= sheet.cyFrame ||
                                 ToRgb(g.GetPixelColor(x0 + xn, y0 + yn)) == lettering::kKey;
                    }
                    cFringe += fEdge && IsBluish(got);
                }
            }
            EXPECT_EQ(cMismatch, 0);
            EXPECT_EQ(cFringe, 0);
            EXPECT_GT(cInk, 40);
        }
    }
    // Both sheets together stay within their share of the game's palette.
    EXPECT_LE(colours.size(), 60u);
}

TEST(LetteringSheets, StatusImagesDifferAndLitButtonsAreBrighter) {
    std::set<std::vector<uint8_t>> seen;
    for (int f = 0; f < 24; ++f) {
        Picture p;
        ASSERT_TRUE(lettering::RenderStatus(Regular(), lettering::StatusText(f / 2, f % 2), &p));
        std::vector<uint8_t> bytes;
        for (const Rgb& c : p.px)
            bytes.push_back(c.r);
        EXPECT_TRUE(seen.insert(bytes).second) << "status frame " << f << " repeats another";
        // Centred: the blank margins left and right differ by at most a pixel or two.
        int xMin = p.cx, xMax = -1;
        for (int y = 0; y < p.cy; ++y)
            for (int x = 0; x < p.cx; ++x)
                if (p.At(x, y) != lettering::kKey)
                    xMin = std::min(xMin, x), xMax = std::max(xMax, x);
        EXPECT_LE(std::abs(xMin - (p.cx - 1 - xMax)), 2) << f;
    }
    for (int k = 0; k < lettering::kButtons; ++k) {
        for (int iLang = 0; iLang < 2; ++iLang) {
            double sum[2] = {};
            for (int lit = 0; lit < 2; ++lit) {
                Picture p;
                ASSERT_TRUE(lettering::RenderButton(Bold(), lettering::ButtonCaption(k, iLang),
                                                    lit != 0, &p));
                for (const Rgb& c : p.px)
                    if (c != lettering::kKey) sum[lit] += Luminance(c);
            }
            EXPECT_GT(sum[1], sum[0] * 1.4) << k << " " << iLang;
        }
    }
}

TEST(LetteringSheets, LetteringThatCannotBeDrawnIsRefused) {
    struct Case {
        const char* text;
        bool fStatus;
        bool fOk;
    } cases[] = {
        {"\u015dan\u011du", true, true},
        {"the computer is thinking and thinking and thinking...", true, false},
        {"\xe4\xb8\x80", true, false}, // a character the face lacks
        {"\xc5", true, false},         // cut-off UTF-8
        {"ELIRU", false, true},
        {"ELIRUX", false, false},
    };
    for (const Case& c : cases) {
        Picture p;
        bool ok = c.fStatus ? lettering::RenderStatus(Regular(), c.text, &p)
                            : lettering::RenderButton(Bold(), c.text, false, &p);
        EXPECT_EQ(ok, c.fOk) << c.text;
    }
    lettering::Font font;
    std::string error;
    EXPECT_FALSE(font.Open("/nonexistent/DejaVuSans.ttf", &error));
    EXPECT_NE(error.find("fonts-dejavu-core"), std::string::npos) << error;
    Picture p;
    EXPECT_FALSE(lettering::RenderStatus(font, "stalemate", &p));
}

TEST(LetteringSheets, BuildOutputsAreWhatTheLibraryMakesNow) {
    std::string error;
    Picture status, buttons;
    ASSERT_TRUE(lettering::StatusSheet(Regular(), &status, &error)) << error;
    ASSERT_TRUE(lettering::ButtonSheet(Bold(), &buttons, &error)) << error;
    for (auto [name, picture] : {std::pair{"status.psp", &status}, {"buttons.psp", &buttons}}) {
        pspwriter::PspImage image;
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(lettering::ToPsp(*picture, &image, &error)) << error;
        ASSERT_TRUE(pspwriter::WritePsp(image, &bytes, &error)) << error;
        EXPECT_EQ(bytes, ReadOutput(name)) << name;
    }
}

// The logo as the game unpacks and reads it.
TEST(LetteringLogo, UnpacksIntoTwentyFramesThatAnimateTheTitle) {
    std::vector<uint8_t> block = ReadOutput("logo.zz");
    BYTE* pbData = nullptr;
    DWORD cbData = 0;
    ASSERT_EQ(zz::Decompress(&pbData, &cbData, block.data(), static_cast<DWORD>(block.size())), 1);
    std::vector<uint8_t> bytes(pbData, pbData + cbData);
    zz::FreeBlock(pbData);

    // What the build wrote is what the library makes now: nothing depends on the run.
    std::string error;
    Picture picture;
    pspwriter::PspImage image;
    std::vector<uint8_t> expected;
    ASSERT_TRUE(lettering::LogoPicture(Bold(), &picture, &error)) << error;
    ASSERT_TRUE(lettering::ToPsp(picture, &image, &error)) << error;
    ASSERT_TRUE(pspwriter::WritePsp(image, &expected, &error)) << error;
    EXPECT_EQ(bytes, expected);

    Graphic g;
    ReadPaintShopPro(&g, nullptr, bytes.data(), static_cast<DWORD>(bytes.size()), clrNone);
    ASSERT_EQ(g.GetDepth(), 8);
    ASSERT_LE(g.GetWidth(), 240);
    ASSERT_EQ(g.GetHeight() % 20, 0);
    const int cx = g.GetWidth(), cy = g.GetHeight() / 20;
    struct Counts {
        int cInk = 0, cBlue = 0, cRed = 0;
        std::vector<Color> pixels;
    };
    std::vector<Counts> frames(20);
    for (int f = 0; f < 20; ++f) {
        for (int y = 0; y < cy; ++y) {
            for (int x = 0; x < cx; ++x) {
                Rgb c = ToRgb(g.GetPixelColor(x, f * cy + y));
                frames[f].pixels.push_back(g.GetPixelColor(x, f * cy + y));
                frames[f].cInk += c != lettering::kBlack;
                frames[f].cBlue += c.b > 150 && c.b > 2 * c.r;
                frames[f].cRed += c.r > 150 && c.r > 3 * c.g && c.r > 3 * c.b;
            }
        }
    }
    // Every frame moves on from the one before; the title builds up, then the balls come.
    for (int f = 1; f < 20; ++f)
        EXPECT_NE(frames[f].pixels, frames[f - 1].pixels) << f;
    EXPECT_GT(frames[0].cInk, 0);
    EXPECT_LT(frames[0].cInk * 4, frames[12].cInk);
    EXPECT_EQ(frames[12].cBlue + frames[12].cRed, 0);
    EXPECT_GT(frames[19].cBlue, 50);
    EXPECT_GT(frames[19].cRed, 50);
}

TEST(LetteringLogo, QuantizeKeepsFewColoursAndBlackAndWhiteExactly) {
    Picture many(64, 64, lettering::kBlack);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if ((x + y) % 7 != 0)
                many.At(x, y) = {static_cast<uint8_t>(4 * x), static_cast<uint8_t>(4 * y),
                                 static_cast<uint8_t>(x * y % 256)};
    many.At(5, 5) = lettering::kWhite;
    Picture few(8, 1, lettering::kBlack);
    for (int x = 1; x < 8; ++x)
        few.At(x, 0) = {static_cast<uint8_t>(30 * x), 7, 9};
    for (auto [pPicture, cMax] : {std::pair{&many, 40}, {&few, 9}, {&many, 255}}) {
        Picture q = lettering::Quantize(*pPicture, cMax);
        std::set<uint32_t> colours;
        for (size_t i = 0; i < q.px.size(); ++i) {
            const Rgb& c = q.px[i];
            colours.insert((uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b);
            Rgb was = pPicture->px[i];
            if (was == lettering::kBlack || was == lettering::kWhite) {
                ASSERT_EQ(c, was);
            }
            // The nearest kept colour stays close to the original.
            ASSERT_LT(std::abs(c.r - was.r) + std::abs(c.g - was.g) + std::abs(c.b - was.b), 120);
        }
        EXPECT_LE(static_cast<int>(colours.size()), cMax);
        if (pPicture == &few) {
            EXPECT_EQ(q.px, few.px);
        }
    }
}

} // namespace
