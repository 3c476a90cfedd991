#include "anim/cea_graphic.h"

#include "anim/cea_display.h"
#include "anim/cea_palette.h"
#include "foundation/memmgr.h"
#include "foundation/tl_string.h"
#include "host/debug.h"
#include "host/screen.h"
#include "host/window.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using host::WORD;

const int kDepths[] = {1, 2, 4, 8, 16, 24, 32};

// A value that fits the depth and differs from its neighbours.
DWORD PatternValue(int nDepth, int x, int y) {
    DWORD n = static_cast<DWORD>(x * 7 + y * 13 + 3) * 0x01030507u;
    return nDepth == 32 ? n & 0x00FFFFFF : n & ((nDepth >= 32 ? 0 : (1u << nDepth)) - 1);
}

std::vector<RGBQUAD> PatternTable(int nDepth) {
    std::vector<RGBQUAD> table(nDepth <= 8 ? 1u << nDepth : 0);
    for (size_t i = 0; i < table.size(); i++)
        table[i] = {static_cast<BYTE>(i * 3), static_cast<BYTE>(255 - i),
                    static_cast<BYTE>(i ^ 0x5A), 0};
    return table;
}

void Put16(std::vector<BYTE>* pv, size_t off, DWORD n) {
    (*pv)[off] = static_cast<BYTE>(n);
    (*pv)[off + 1] = static_cast<BYTE>(n >> 8);
}
void Put32(std::vector<BYTE>* pv, size_t off, DWORD n) {
    Put16(pv, off, n & 0xFFFF);
    Put16(pv, off + 2, n >> 16);
}
DWORD Get32(const std::vector<BYTE>& v, size_t off) {
    return v[off] | v[off + 1] << 8 | v[off + 2] << 16 | static_cast<DWORD>(v[off + 3]) << 24;
}

// Bitmap data (optionally with the file header) holding PatternValue pixels.
std::vector<BYTE> MakeBitmap(int nDepth, int cx, int cy, bool fBottomUp, bool fFileHeader) {
    std::vector<RGBQUAD> table = PatternTable(nDepth);
    size_t cbStride = ((cx * nDepth + 31) / 32) * 4;
    size_t cbHead = fFileHeader ? 14 : 0;
    std::vector<BYTE> v(cbHead + 40 + table.size() * 4 + cbStride * cy, 0);
    if (fFileHeader) {
        v[0] = 'B';
        v[1] = 'M';
        Put32(&v, 2, static_cast<DWORD>(v.size()));
        Put32(&v, 10, static_cast<DWORD>(14 + 40 + table.size() * 4));
    }
    Put32(&v, cbHead, 40);
    Put32(&v, cbHead + 4, cx);
    Put32(&v, cbHead + 8, static_cast<DWORD>(fBottomUp ? cy : -cy));
    Put16(&v, cbHead + 12, 1);
    Put16(&v, cbHead + 14, nDepth);
    if (!table.empty()) std::memcpy(v.data() + cbHead + 40, table.data(), table.size() * 4);
    BYTE* pbPixels = v.data() + cbHead + 40 + table.size() * 4;
    for (int y = 0; y < cy; y++) {
        BYTE* pbRow = pbPixels + cbStride * (fBottomUp ? cy - 1 - y : y);
        for (int x = 0; x < cx; x++) {
            DWORD n = PatternValue(nDepth, x, y);
            if (nDepth < 8) {
                int iBit = x * nDepth;
                pbRow[iBit / 8] |= static_cast<BYTE>(n << (8 - nDepth - iBit % 8));
            } else {
                for (int i = 0; i < nDepth / 8; i++)
                    pbRow[x * (nDepth / 8) + i] = static_cast<BYTE>(n >> (8 * i));
            }
        }
    }
    return v;
}

void ExpectPattern(const Graphic& g, int nDepth, int cx, int cy) {
    ASSERT_EQ(g.GetWidth(), cx);
    ASSERT_EQ(g.GetHeight(), cy);
    ASSERT_EQ(g.GetDepth(), nDepth);
    for (int y = 0; y < cy; y++)
        for (int x = 0; x < cx; x++)
            ASSERT_EQ(g.GetPixelValue(x, y), PatternValue(nDepth, x, y)) << "x " << x << " y " << y;
    std::vector<RGBQUAD> table = PatternTable(nDepth);
    for (size_t i = 0; i < table.size(); i++)
        ASSERT_EQ(g.GetPaletteColor(static_cast<UINT>(i)),
                  host::RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue));
}

// One folder for the whole program, removed when it ends.
std::string TempPath(const char* pszName) {
    static const testsupport::TempFolder folder("cea_graphic");
    return folder.File(pszName);
}

std::vector<BYTE> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

// A file name in the build's native text.
struct NativeName {
    explicit NativeName(const std::string& path) : str(path.c_str()) {}
    operator const TCHAR*() const { return str.Text(); }
    cetl::string str;
};

// ---------------------------------------------------------------------------------------
// Loading bitmap data

TEST(GraphicParse, EveryDepthBothRowOrders) {
    for (int nDepth : kDepths) {
        for (bool fBottomUp : {true, false}) {
            for (bool fFileHeader : {true, false}) {
                SCOPED_TRACE(testing::Message() << "depth " << nDepth << " bottom-up " << fBottomUp
                                                << " file header " << fFileHeader);
                std::vector<BYTE> data = MakeBitmap(nDepth, 13, 5, fBottomUp, fFileHeader);
                Graphic g(data.data(), static_cast<DWORD>(data.size()));
                ExpectPattern(g, nDepth, 13, 5);
                EXPECT_EQ(g.GetPitch(), ((13 * nDepth + 31) / 32) * 4);
                EXPECT_FALSE(g.IsTransparent());
            }
        }
    }
}

TEST(GraphicParse, TransparencyArgumentIsKept) {
    std::vector<BYTE> data = MakeBitmap(24, 4, 4, true, true);
    Graphic g(data.data(), static_cast<DWORD>(data.size()), nullptr, 0x00FF00FF);
    EXPECT_EQ(g.GetTransparency(), 0x00FF00FFu);
    EXPECT_TRUE(g.IsTransparent());
}

TEST(GraphicParse, ShortTableOfUsedColours) {
    // Writers may store only the colours in use; the pixels follow that shorter table.
    std::vector<BYTE> data = MakeBitmap(8, 4, 2, true, true);
    std::vector<BYTE> shortData(data.begin(), data.begin() + 54 + 4 * 16);
    Put32(&shortData, 14 + 32, 16);
    shortData.insert(shortData.end(), data.begin() + 54 + 1024, data.end());
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++)
            shortData[54 + 64 + (1 - y) * 4 + x] = static_cast<BYTE>(x + 4 * y);
    Graphic g(shortData.data(), static_cast<DWORD>(shortData.size()));
    ASSERT_EQ(g.GetWidth(), 4);
    EXPECT_EQ(g.GetPixelValue(3, 1), 7u);
    EXPECT_EQ(g.GetPixelValue(0, 0), 0u);
    EXPECT_EQ(g.GetPaletteColor(15), host::RGB(15 ^ 0x5A, 255 - 15, 45));
    EXPECT_EQ(g.GetPaletteColor(16), 0u);
}

TEST(GraphicParse, PaintShopProDataIsNeverABitmap) {
    // A valid bitmap behind the signature: a bitmap parser that looked past the signature
    // would find it.
    std::vector<BYTE> data = MakeBitmap(24, 4, 4, true, false);
    const char szSig[] = "Paint Shop Pro Image File\n\x1a";
    data.insert(data.begin(), szSig, szSig + sizeof(szSig) - 1);
    Graphic g(data.data(), static_cast<DWORD>(data.size()));
    EXPECT_TRUE(g.IsValid());
    EXPECT_EQ(g.GetBits(), nullptr);
}

TEST(GraphicParse, DamagedDataLeavesAnEmptyGraphic) {
    std::vector<BYTE> good = MakeBitmap(8, 6, 4, true, true);
    struct Case {
        const char* pszWhat;
        size_t cbKeep;   // bytes of the good file kept
        size_t offPatch; // 0: no patch
        DWORD nPatch;
        int cbPatch;
    } cases[] = {
        {"nothing", 0, 0, 0, 0},
        {"13 bytes", 13, 0, 0, 0},
        {"half the information header", 14 + 20, 0, 0, 0},
        {"half the colour table", 54 + 512, 0, 0, 0},
        {"colour table one byte short", 54 + 1023, 0, 0, 0},
        {"depth 7", good.size(), 28, 7, 2},
        {"depth 0", good.size(), 28, 0, 2},
        {"width 0", good.size(), 18, 0, 4},
        {"negative width", good.size(), 18, 0xFFFFFFFA, 4},
        {"height 0", good.size(), 22, 0, 4},
        {"most negative height", good.size(), 22, 0x80000000, 4},
        {"huge width", good.size(), 18, 0x7FFFFFFF, 4},
        {"huge height", good.size(), 22, 0x7FFFFFFF, 4},
        {"header size past the data", good.size(), 14, 0x7FFFFFF0, 4},
        {"header size below 40", good.size(), 14, 12, 4},
        {"run-length compression", good.size(), 30, 1, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        std::vector<BYTE> data(good.begin(), good.begin() + c.cbKeep);
        if (c.cbPatch == 2)
            Put16(&data, c.offPatch, c.nPatch);
        else if (c.cbPatch == 4)
            Put32(&data, c.offPatch, c.nPatch);
        Graphic g(data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size()));
        EXPECT_TRUE(g.IsValid());
        EXPECT_EQ(g.GetBits(), nullptr);
        EXPECT_EQ(g.GetWidth(), 0);
        EXPECT_EQ(g.GetDepth(), 0);
    }
}

TEST(GraphicParse, ShortPixelDataKeepsBlankPixels) {
    std::vector<BYTE> data = MakeBitmap(32, 5, 3, true, true);
    data.resize(data.size() - 1);
    Graphic g(data.data(), static_cast<DWORD>(data.size()));
    ASSERT_NE(g.GetBits(), nullptr);
    EXPECT_EQ(g.GetWidth(), 5);
    for (int x = 0; x < 5; x++)
        EXPECT_EQ(g.GetPixelValue(x, 0), 0u);
}

TEST(GraphicParse, FileAndOpenFileHandle) {
    std::string path = TempPath("two.bmp");
    std::vector<BYTE> first = MakeBitmap(8, 7, 3, true, true);
    std::vector<BYTE> second = MakeBitmap(4, 3, 9, false, false);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(first.data()), first.size());
        out.write(reinterpret_cast<const char*>(second.data()), second.size());
    }
    // The handle reader takes exactly one bitmap, so a second one can follow.
    host::HANDLE h = host::CreateFile(path.c_str(), host::GENERIC_READ, 0, host::OPEN_EXISTING);
    ASSERT_NE(h, host::INVALID_HANDLE_VALUE);
    {
        Graphic g1(h, nullptr);
        ExpectPattern(g1, 8, 7, 3);
        Graphic g2(h, nullptr);
        ExpectPattern(g2, 4, 3, 9);
        Graphic g3(h, nullptr); // at the end of the file
        EXPECT_EQ(g3.GetBits(), nullptr);
    }
    host::CloseHandle(h);

    // The whole-file reader reads the first bitmap of the file.
    Graphic g(NativeName(path), nullptr);
    ExpectPattern(g, 8, 7, 3);
    Graphic missing(NativeName(path + ".missing"), nullptr);
    EXPECT_TRUE(missing.IsValid());
    EXPECT_EQ(missing.GetBits(), nullptr);
    std::remove(path.c_str());
}

TEST(GraphicParse, OpenFileHeaderClaimingMoreThanTheFile) {
    std::string path = TempPath("claim.bmp");
    std::vector<BYTE> data = MakeBitmap(24, 4, 4, true, true);
    Put32(&data, 22, 30000); // far more rows than stored
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), data.size());
    }
    host::HANDLE h = host::CreateFile(path.c_str(), host::GENERIC_READ, 0, host::OPEN_EXISTING);
    ASSERT_NE(h, host::INVALID_HANDLE_VALUE);
    Graphic g(h, nullptr);
    host::CloseHandle(h);
    // The section is made, but the pixels are not there: they stay blank.
    EXPECT_EQ(g.GetHeight(), 30000);
    EXPECT_EQ(g.GetPixelValue(0, 0), 0u);
    std::remove(path.c_str());
}

// A resource table made by hand: (type, name) pairs, a type given as a number or a text.
struct ResEntry {
    DWORD nType; // 0: the text below
    const char* pszType;
    DWORD nName;
    std::vector<BYTE> data;
};

std::vector<BYTE> BuildResourceTable(const std::vector<ResEntry>& entries) {
    std::vector<BYTE> names;
    std::vector<DWORD> typeFields;
    for (const ResEntry& e : entries) {
        if (e.nType != 0) {
            typeFields.push_back(e.nType);
            continue;
        }
        typeFields.push_back(host::RESNAME_TEXT | static_cast<DWORD>(names.size()));
        size_t cch = std::strlen(e.pszType);
        names.push_back(static_cast<BYTE>(cch));
        names.push_back(0);
        for (size_t i = 0; i < cch; i++) {
            names.push_back(static_cast<BYTE>(e.pszType[i]));
            names.push_back(0);
        }
    }
    size_t offNames = sizeof(host::RESTABLEHEADER) + entries.size() * sizeof(host::RESTABLEENTRY);
    size_t offData = (offNames + names.size() + 3) & ~size_t{3};
    std::vector<BYTE> table(offData, 0);
    std::memcpy(table.data() + offNames, names.data(), names.size());
    for (size_t i = 0; i < entries.size(); i++) {
        host::RESTABLEENTRY entry = {typeFields[i],
                                     entries[i].nName,
                                     1033,
                                     0,
                                     static_cast<DWORD>(table.size()),
                                     static_cast<DWORD>(entries[i].data.size())};
        std::memcpy(table.data() + sizeof(host::RESTABLEHEADER) + i * sizeof(entry), &entry,
                    sizeof(entry));
        table.insert(table.end(), entries[i].data.begin(), entries[i].data.end());
        table.resize((table.size() + 3) & ~size_t{3});
    }
    host::RESTABLEHEADER header = {host::RESTABLE_MAGIC,
                                   host::RESTABLE_VERSION,
                                   0,
                                   static_cast<DWORD>(entries.size()),
                                   static_cast<DWORD>(table.size()),
                                   static_cast<DWORD>(offNames),
                                   static_cast<DWORD>(names.size())};
    std::memcpy(table.data(), &header, sizeof(header));
    return table;
}

TEST(GraphicParse, ResourcesInTypeOrder) {
    std::vector<BYTE> bmp8 = MakeBitmap(8, 3, 2, true, false); // a bitmap resource: no file header
    std::vector<BYTE> bmp24 = MakeBitmap(24, 5, 4, true, true);
    std::vector<BYTE> bmp4 = MakeBitmap(4, 6, 1, false, true);
    // Sorted as the table wants: numbered types first, then texts.
    std::vector<ResEntry> entries = {
        {2, nullptr, 7, bmp8},     {2, nullptr, 10, bmp8}, {0, "GRAPHIC", 8, bmp24},
        {0, "GRAPHIC", 10, bmp24}, {0, "PSP", 9, bmp4},    {0, "PSP", 10, bmp4},
    };
    std::vector<BYTE> table = BuildResourceTable(entries);
    std::vector<uint32_t> aligned((table.size() + 3) / 4);
    std::memcpy(aligned.data(), table.data(), table.size());
    auto hModule = reinterpret_cast<host::HMODULE>(std::uintptr_t{0x30000});
    ASSERT_TRUE(host::RegisterResourceTable(hModule, aligned.data(), table.size()));
    struct Case {
        WORD nName;
        int nDepth;
        int cx, cy;
    } cases[] = {{7, 8, 3, 2}, {8, 24, 5, 4}, {9, 4, 6, 1}, {10, 8, 3, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nName);
#if KELVANO_WIDE
        Graphic g(hModule, host::MAKEINTRESOURCEW(c.nName));
#else
        Graphic g(hModule, host::MAKEINTRESOURCEA(c.nName));
#endif
        ExpectPattern(g, c.nDepth, c.cx, c.cy);
    }
    Graphic missing(hModule, TEXT("NOPE"));
    EXPECT_EQ(missing.GetBits(), nullptr);
    host::UnregisterResourceTable(hModule);
}

// ---------------------------------------------------------------------------------------
// Values, colours and pixels

TEST(GraphicPixels, ColourValueConversions) {
    RGBQUAD table[4] = {{0, 0, 0, 0}, {30, 20, 10, 0}, {30, 20, 10, 0}, {255, 255, 255, 0}};
    Graphic g2(2, 2, 2, table);
    Graphic g16(2, 2, 16);
    Graphic g24(2, 2, 24);
    Graphic g32(2, 2, 32);
    struct Case {
        Graphic* pGraphic;
        Color clr;
        DWORD nValue;     // ColorToValue(clr)
        DWORD nDecode;    // a value to decode
        Color clrDecoded; // ValueToColor(nDecode)
    } cases[] = {
        {&g16, 0x00FFFFFF, 0x7FFF, 0x7FFF, 0x00F8F8F8},
        {&g16, host::RGB(8, 16, 24), (1 << 10) | (2 << 5) | 3, 0x8000 | 0x1F, host::RGB(0, 0, 248)},
        {&g24, host::RGB(1, 2, 3), 0x010203, 0x00A0B0C0, host::RGB(0xA0, 0xB0, 0xC0)},
        {&g32, host::RGB(0xFF, 0, 0x10), 0xFF0010, 0x00000001, host::RGB(0, 0, 1)},
        // The first entry of that colour; an unknown colour is entry 0; a value past the
        // table reads as its last entry.
        {&g2, host::RGB(10, 20, 30), 1, 7, 0x00FFFFFF},
        {&g2, host::RGB(10, 20, 31), 0, 2, host::RGB(10, 20, 30)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "depth " << c.pGraphic->GetDepth() << " colour " << c.clr);
        EXPECT_EQ(c.pGraphic->ColorToValue(c.clr), c.nValue);
        EXPECT_EQ(c.pGraphic->ValueToColor(c.nDecode), c.clrDecoded);
    }
    EXPECT_EQ(g16.GetPaletteColor(0), clrNone);
    EXPECT_EQ(g2.GetPaletteColor(4), clrNone);
}

TEST(GraphicPixels, EveryDepthKeepsEveryPixel) {
    for (int nDepth : kDepths) {
        SCOPED_TRACE(testing::Message() << "depth " << nDepth);
        Graphic g(11, 4, nDepth);
        ASSERT_NE(g.GetBits(), nullptr);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 11; x++)
                g.SetPixelValue(x, y, PatternValue(nDepth, x, y) | 0xFF000000u);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 11; x++)
                ASSERT_EQ(g.GetPixelValue(x, y), nDepth == 32
                                                     ? PatternValue(nDepth, x, y) | 0xFF000000u
                                                     : PatternValue(nDepth, x, y))
                    << x << "," << y;
        // Outside the bitmap nothing is read or written.
        g.SetPixelValue(-1, 0, 1);
        g.SetPixelValue(11, 3, 1);
        EXPECT_EQ(g.GetPixelValue(11, 0), 0u);
        EXPECT_EQ(g.GetPixelValue(0, -1), 0u);
    }
}

TEST(GraphicPixels, LayoutInMemory) {
    struct Case {
        int nDepth;
        int x;
        DWORD nValue;
        std::vector<BYTE> bytes; // the first bytes of row 0 afterwards
    } cases[] = {
        {1, 0, 1, {0x80, 0x00}},
        {1, 9, 1, {0x00, 0x40}},
        {2, 1, 3, {0x30}},
        {2, 3, 0xFF, {0x03}}, // masked to the depth
        {4, 1, 0xA, {0x0A}},
        {4, 2, 0x5, {0x00, 0x50}},
        {8, 2, 0x1AB, {0x00, 0x00, 0xAB}},
        {16, 1, 0x12345, {0x00, 0x00, 0x45, 0x23}},
        {24, 1, 0x112233, {0, 0, 0, 0x33, 0x22, 0x11}},
        {32, 0, 0x80112233, {0x33, 0x22, 0x11, 0x80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.nDepth << " x " << c.x);
        Graphic g(16, 2, c.nDepth);
        // Neighbouring pixels keep their bits.
        g.SetPixelValue(c.x, 1, c.nValue);
        g.SetPixelValue(c.x, 0, c.nValue);
        const BYTE* pb = g.GetBits();
        for (size_t i = 0; i < c.bytes.size(); i++)
            EXPECT_EQ(pb[i], c.bytes[i]) << "byte " << i;
        EXPECT_EQ(pb[g.GetPitch() + c.bytes.size() - 1], c.bytes.back());
    }
    // Sub-byte writes keep the other pixels of the byte.
    Graphic g1(8, 1, 1);
    g1.SetPixelValue(0, 0, 1);
    g1.SetPixelValue(7, 0, 1);
    g1.SetPixelValue(0, 0, 0);
    EXPECT_EQ(g1.GetBits()[0], 0x01);
}

TEST(GraphicPixels, BlankTables) {
    Graphic mono(3, 3, 1);
    EXPECT_EQ(mono.GetPaletteColor(0), 0u);
    EXPECT_EQ(mono.GetPaletteColor(1), 0x00FFFFFFu);
    Graphic sys(3, 3, 8);
    PALETTEENTRY pe[256];
    ASSERT_EQ(host::GetSystemPaletteEntries(nullptr, 0, 256, pe), 256u);
    for (UINT i = 0; i < 256; i++)
        ASSERT_EQ(sys.GetPaletteColor(i), host::RGB(pe[i].peRed, pe[i].peGreen, pe[i].peBlue));
    PALETTEENTRY got[4];
    EXPECT_EQ(sys.GetPaletteEntries(got, 254, 4), 2u);
    EXPECT_EQ(got[1].peRed, pe[255].peRed);
    EXPECT_EQ(sys.GetPaletteEntries(got, 256, 4), 0u);
    Graphic display(3, 3, 0);
    EXPECT_EQ(display.GetDepth(), GetDisplayDepth());
    Graphic bad(3, 3, 5);
    EXPECT_EQ(bad.GetBits(), nullptr);
}

// ---------------------------------------------------------------------------------------
// Children, destruction and invalid use

TEST(GraphicChildren, RectanglesAndSharedPixels) {
    Graphic root(20, 10, 8);
    RECT rc1 = {4, 2, 14, 9};
    Graphic child(&root, &rc1);
    RECT rc2 = {1, 1, 5, 4};
    Graphic grandchild(&child, &rc2);
    Graphic whole(&root);

    EXPECT_TRUE(grandchild.IsChild());
    EXPECT_EQ(grandchild.GetParent(), &child);
    EXPECT_EQ(grandchild.GetRoot(), &root);
    EXPECT_EQ(grandchild.GetWidth(), 4);
    EXPECT_EQ(grandchild.GetHeight(), 3);
    EXPECT_EQ(whole.GetWidth(), 20);
    RECT rc;
    grandchild.GetRectInRoot(&rc);
    RECT rcExpected = {5, 3, 9, 6};
    EXPECT_TRUE(host::EqualRect(&rc, &rcExpected));
    EXPECT_TRUE(grandchild.GetRectInParent(&rc));
    EXPECT_TRUE(host::EqualRect(&rc, &rc2));
    EXPECT_EQ(grandchild.GetBits(), root.GetBits());
    EXPECT_EQ(grandchild.GetDepth(), 8);

    grandchild.SetPixelValue(0, 0, 77);
    EXPECT_EQ(root.GetPixelValue(5, 3), 77u);
    root.SetPixelValue(8, 5, 99);
    EXPECT_EQ(grandchild.GetPixelValue(3, 2), 99u);
    grandchild.SetTransparency(0x123456);
    EXPECT_EQ(root.GetTransparency(), 0x123456u);

    host::DebugCapture capture;
    EXPECT_EQ(root.GetParent(), nullptr);
    EXPECT_FALSE(root.GetRectInParent(&rc));
    EXPECT_NE(capture.Text().find("called on non-child graphic"), std::string::npos);
}

TEST(GraphicChildren, DestroyingAParentFreesLiveChildren) {
    auto* pRoot = MemNew(Graphic, 8, 8, 16);
    Graphic* pChild1 = MemNew(Graphic, pRoot);
    RECT rc = {0, 0, 2, 2};
    Graphic* pChild2 = MemNew(Graphic, pRoot, &rc);
    Graphic* pGone = MemNew(Graphic, pRoot, &rc);
    MemDelete(pGone); // leaves its slot free
    Graphic* pGrandchild = MemNew(Graphic, pChild2, &rc);

    host::DebugCapture capture;
    pRoot->Destroy();
    std::string text = capture.Text();
    char szLine[200];
    for (Graphic* p : {pChild1, pChild2}) {
        std::snprintf(szLine, sizeof(szLine),
                      "Warning: freeing child graphic 0x%08lX when parent 0x%08lX destroyed",
                      static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)),
                      static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pRoot)));
        EXPECT_NE(text.find(szLine), std::string::npos) << text;
    }
    std::snprintf(szLine, sizeof(szLine),
                  "Warning: freeing child graphic 0x%08lX when parent 0x%08lX destroyed",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pGrandchild)),
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pChild2)));
    EXPECT_NE(text.find(szLine), std::string::npos) << text;
    size_t cWarnings = 0;
    for (size_t i = text.find("Warning: freeing child"); i != std::string::npos;
         i = text.find("Warning: freeing child", i + 1))
        cWarnings++;
    EXPECT_EQ(cWarnings, 3u);

    capture.Clear();
    pRoot->Destroy();
    std::snprintf(szLine, sizeof(szLine), "Graphic 0x%08lX destroyed twice",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pRoot)));
    EXPECT_NE(capture.Text().find(szLine), std::string::npos);
    MemDelete(pRoot); // a destroyed graphic's destructor does nothing more
}

TEST(GraphicChildren, ChildOfNothingStaysEmpty) {
    Graphic orphan(static_cast<Graphic*>(nullptr));
    EXPECT_TRUE(orphan.IsValid());
    EXPECT_FALSE(orphan.IsChild());
    EXPECT_EQ(orphan.GetWidth(), 0);
}

TEST(GraphicInvalid, EveryOperationTracesItsName) {
    Graphic g(4, 4, 8);
    g.Destroy();
    ASSERT_FALSE(g.IsValid());
    RECT rc;
    PALETTEENTRY pe[2] = {};
    const char* rgNames[] = {"Save",
                             "IsChild",
                             "GetParent",
                             "GetRectInParent",
                             "GetRect",
                             "GetWidth",
                             "GetHeight",
                             "GetTransparency",
                             "SetTransparency",
                             "IsTranslucent",
                             "GetTranslucency",
                             "SetTranslucency",
                             "ColorToValue",
                             "ValueToColor",
                             "GetDC",
                             "ReleaseDC",
                             "GetPaletteEntries",
                             "SetPaletteEntries",
                             "GetPaletteColor"};
    host::DebugCapture capture;
    EXPECT_FALSE(g.Save(nullptr));
    EXPECT_FALSE(g.IsChild());
    EXPECT_EQ(g.GetParent(), nullptr);
    EXPECT_FALSE(g.GetRectInParent(&rc));
    EXPECT_FALSE(g.GetRect(&rc));
    EXPECT_EQ(g.GetWidth(), 0);
    EXPECT_EQ(g.GetHeight(), 0);
    EXPECT_EQ(g.GetTransparency(), clrNone);
    g.SetTransparency(0);
    EXPECT_FALSE(g.IsTranslucent());
    EXPECT_EQ(g.GetTranslucency().nMode, TRANSLUCENT_NONE);
    EXPECT_FALSE(g.SetTranslucency(TRANSLUCENT_UNIFORM, 3));
    EXPECT_EQ(g.ColorToValue(0), 0u);
    EXPECT_EQ(g.ValueToColor(0), clrNone);
    EXPECT_EQ(g.GetDC(), nullptr);
    g.ReleaseDC();
    EXPECT_EQ(g.GetPaletteEntries(pe, 0, 2), 0u);
    EXPECT_FALSE(g.SetPaletteEntries(pe, 0, 2));
    EXPECT_EQ(g.GetPaletteColor(0), clrNone);
    EXPECT_EQ(g.GetDepth(), 0);
    std::string text = capture.Text();
    for (const char* pszName : rgNames) {
        char szLine[120];
        std::snprintf(szLine, sizeof(szLine), "Graphic::%s called on invalid graphic (0x%08lX)",
                      pszName, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&g)));
        EXPECT_NE(text.find(szLine), std::string::npos) << szLine;
    }
}

// ---------------------------------------------------------------------------------------
// Translucency, selection, device context

TEST(GraphicTranslucency, ModesAndOpacityFromAGraphic) {
    Graphic g(3, 2, 24);
    EXPECT_FALSE(g.IsTranslucent());
    EXPECT_TRUE(g.SetTranslucency(TRANSLUCENT_UNIFORM, 200));
    EXPECT_EQ(g.GetTranslucency().bOpacity, 200);
    EXPECT_TRUE(g.SetTranslucency(TRANSLUCENT_MAP, 128));
    TRANSLUCENCY tr = g.GetTranslucency();
    ASSERT_NE(tr.pbOpacity, nullptr);
    EXPECT_EQ(tr.cRows, 2);
    EXPECT_EQ(tr.cbRow, 3);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(tr.pbOpacity[i], 128);
    // The same mode and opacity keep the map.
    tr.pbOpacity[0] = 9;
    EXPECT_TRUE(g.SetTranslucency(TRANSLUCENT_MAP, 128));
    EXPECT_EQ(g.GetTranslucency().pbOpacity[0], 9);

    Graphic source(3, 2, 32);
    source.SetPixelColor(0, 0, host::RGB(30, 60, 90));
    source.SetPixelColor(2, 1, 0x00FFFFFF);
    Graphic wrong(2, 2, 32);
    EXPECT_FALSE(g.SetOpacityFromGraphic(&wrong));
    ASSERT_TRUE(g.SetOpacityFromGraphic(&source));
    tr = g.GetTranslucency();
    EXPECT_EQ(tr.nMode, TRANSLUCENT_MAP);
    EXPECT_EQ(tr.pbOpacity[0], 60);
    EXPECT_EQ(tr.pbOpacity[1], 0);
    EXPECT_EQ(tr.pbOpacity[5], 255);
    EXPECT_TRUE(g.SetTranslucency(TRANSLUCENT_NONE, 128));
    EXPECT_EQ(g.GetTranslucency().pbOpacity, nullptr);
}

TEST(GraphicSelection, ChildSeesItsPartOfTheRootSelection) {
    Graphic root(4, 3, 8);
    EXPECT_FALSE(root.HasSelection());
    auto* pbSel = static_cast<BYTE*>(MemAlloc(12));
    for (int i = 0; i < 12; i++)
        pbSel[i] = static_cast<BYTE>(i + 1);
    root.AttachSelection(pbSel, 12);
    RECT rc = {1, 1, 3, 3};
    Graphic child(&root, &rc);
    EXPECT_TRUE(child.HasSelection());
    BYTE* pb = nullptr;
    DWORD cb = 0;
    ASSERT_TRUE(child.GetSelection(&pb, &cb));
    ASSERT_EQ(cb, 4u);
    EXPECT_EQ(pb[0], 6);
    EXPECT_EQ(pb[1], 7);
    EXPECT_EQ(pb[2], 10);
    EXPECT_EQ(pb[3], 11);
    Graphic::FreeSelection(pb);
    // A rectangle reaching past the root gets zeros there.
    RECT rcOut = {3, 2, 6, 4};
    Graphic outside(&root, &rcOut);
    ASSERT_TRUE(outside.GetSelection(&pb, &cb));
    ASSERT_EQ(cb, 6u);
    EXPECT_EQ(pb[0], 12);
    EXPECT_EQ(pb[1] + pb[2] + pb[3] + pb[4] + pb[5], 0);
    Graphic::FreeSelection(pb);
}

TEST(GraphicDC, ReferenceCountedContextDrawsIntoThePixels) {
    Graphic g(6, 4, 16);
    RECT rc = {1, 1, 3, 3};
    Graphic child(&g, &rc);
    HDC hdc = child.GetDC();
    ASSERT_NE(hdc, nullptr);
    EXPECT_EQ(g.GetDC(), hdc);
    EXPECT_TRUE(g.IsDCOpen());
    host::SetPixel(hdc, 2, 1, host::RGB(255, 255, 255));
    EXPECT_EQ(g.GetPixelValue(2, 1), 0x7FFFu);
    g.ReleaseDC();
    EXPECT_TRUE(g.IsDCOpen());
    child.ReleaseDC();
    EXPECT_FALSE(g.IsDCOpen());
    g.ReleaseDC(); // one too many does nothing

    auto* pOpen = MemNew(Graphic, 2, 2, 32);
    ASSERT_NE(pOpen->GetDC(), nullptr);
    host::DebugCapture capture;
    MemDelete(pOpen);
    EXPECT_NE(capture.Text().find("while HDC still open"), std::string::npos);
}

// ---------------------------------------------------------------------------------------
// Colour table changes

TEST(GraphicPalette, SameColoursKeepTheSection) {
    RGBQUAD table[16];
    for (int i = 0; i < 16; i++)
        table[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i * 2), static_cast<BYTE>(i * 3), 7};
    Graphic g(5, 5, 4, table);
    host::HBITMAP hbm = g.GetBitmap();
    PALETTEENTRY pe[16];
    ASSERT_EQ(g.GetPaletteEntries(pe, 0, 16), 16u);
    EXPECT_EQ(pe[5].peRed, 15);
    EXPECT_EQ(pe[5].peBlue, 5);
    EXPECT_EQ(pe[5].peFlags, 0);
    pe[3].peFlags = 0x44; // flags are not colours
    EXPECT_TRUE(g.SetPaletteEntries(pe, 0, 16));
    EXPECT_EQ(g.GetBitmap(), hbm);
    EXPECT_TRUE(g.SetPaletteEntries(pe + 2, 2, 40)); // clipped to the table
    EXPECT_EQ(g.GetBitmap(), hbm);
    Graphic deep(2, 2, 24);
    EXPECT_FALSE(deep.SetPaletteEntries(pe, 0, 1));
}

TEST(GraphicPalette, NewColoursKeepEverythingElse) {
    Graphic g(6, 3, 8);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 6; x++)
            g.SetPixelValue(x, y, static_cast<DWORD>(x + 10 * y));
    Color clrKey = g.GetPaletteColor(11);
    g.SetTransparency(clrKey);
    g.PrepareTransparency();
    auto* pbSel = static_cast<BYTE*>(MemAlloc(18));
    std::memset(pbSel, 1, 18);
    g.AttachSelection(pbSel, 18);
    ASSERT_TRUE(g.SetTranslucency(TRANSLUCENT_UNIFORM, 77));
    RECT rc = {2, 1, 4, 3};
    Graphic child(&g, &rc);
    HDC hdc = child.GetDC();

    PALETTEENTRY pe = {1, 2, 3, 0};
    ASSERT_TRUE(child.SetPaletteEntries(&pe, 2, 1));
    EXPECT_EQ(g.GetPaletteColor(2), host::RGB(1, 2, 3));
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 6; x++)
            ASSERT_EQ(g.GetPixelValue(x, y), static_cast<DWORD>(x + 10 * y)) << x << "," << y;
    EXPECT_EQ(g.GetTransparency(), clrKey);
    BYTE* pb = nullptr;
    DWORD cb = 0;
    ASSERT_TRUE(g.GetSelection(&pb, &cb));
    EXPECT_EQ(pb[17], 1);
    Graphic::FreeSelection(pb);
    EXPECT_EQ(g.GetTranslucency().nMode, TRANSLUCENT_UNIFORM);
    EXPECT_EQ(g.GetTranslucency().bOpacity, 77);
    EXPECT_EQ(child.GetPixelValue(1, 1), 23u);
    // The open context now holds the new section.
    EXPECT_EQ(host::GetPixel(hdc, 2, 0), host::RGB(1, 2, 3));
    child.ReleaseDC();
}

TEST(GraphicPalette, BlankForAGroupJoinsIt) {
    PaletteGroup group;
    {
        Graphic g(4, 4, 8, &group);
        ASSERT_NE(g.GetBits(), nullptr);
        EXPECT_EQ(g.GetPaletteGroup(), &group);
        for (UINT i : {0u, 255u})
            EXPECT_EQ(g.GetPaletteColor(i), group.GetColor(i));
        RECT rc = {0, 0, 1, 1};
        Graphic child(&g, &rc);
        EXPECT_EQ(child.GetPaletteGroup(), &group);
    }
    // The graphic left the group: merging touches no freed graphic.
    ASSERT_TRUE(group.Open());
    group.Close();
}

// ---------------------------------------------------------------------------------------
// Saving

TEST(GraphicSave, EveryDepthRoundTrips) {
    std::string path = TempPath("save.bmp");
    for (int nDepth : kDepths) {
        SCOPED_TRACE(testing::Message() << "depth " << nDepth);
        std::vector<RGBQUAD> table = PatternTable(nDepth);
        Graphic g(9, 4, nDepth, table.empty() ? nullptr : table.data());
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 9; x++)
                g.SetPixelValue(x, y, PatternValue(nDepth, x, y));
        host::HANDLE h =
            host::CreateFile(path.c_str(), host::GENERIC_WRITE, 0, host::CREATE_ALWAYS);
        ASSERT_TRUE(g.Save(h));
        host::CloseHandle(h);
        std::vector<BYTE> file = ReadAll(path);
        ASSERT_EQ(file.size(), g.GetImageSize(TRUE));
        EXPECT_EQ(Get32(file, 2), file.size());
        EXPECT_EQ(Get32(file, 10), 54u + table.size() * 4);
        EXPECT_EQ(Get32(file, 22), 4u); // bottom-up
        EXPECT_EQ(g.GetImageSize(FALSE), file.size() - 14);
        Graphic back(NativeName(path), nullptr);
        ExpectPattern(back, nDepth, 9, 4);
    }
    std::remove(path.c_str());
}

TEST(GraphicSave, ChildSavesItsRectangleWithRealColours) {
    std::string path = TempPath("child.bmp");
    Graphic g(8, 6, 32);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 8; x++)
            g.SetPixelValue(x, y, static_cast<DWORD>(x * 16 + y));
    g.SetTransparency(g.ValueToColor(3 * 16 + 2));
    g.PrepareTransparency();
    RECT rc = {2, 1, 5, 4};
    Graphic child(&g, &rc);
    host::HANDLE h = host::CreateFile(path.c_str(), host::GENERIC_WRITE, 0, host::CREATE_ALWAYS);
    ASSERT_TRUE(child.Save(h));
    host::CloseHandle(h);
    EXPECT_EQ(g.GetTransparency(), g.ValueToColor(3 * 16 + 2));
    Graphic back(NativeName(path), nullptr);
    ASSERT_EQ(back.GetWidth(), 3);
    ASSERT_EQ(back.GetHeight(), 3);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++)
            EXPECT_EQ(back.GetPixelValue(x, y), static_cast<DWORD>((x + 2) * 16 + y + 1));
    EXPECT_FALSE(child.Save(nullptr)); // a write that fails
    std::remove(path.c_str());
}

// ---------------------------------------------------------------------------------------
// Files made by another program

// ImageMagick's own program, as the dependency script installs it (not another program of
// that name earlier on the path).
constexpr const char* kConvert = "/usr/bin/convert";

bool HaveConvert() {
    return std::system((std::string(kConvert) + " -version >/dev/null 2>&1").c_str()) == 0;
}

TEST(GraphicForeignFiles, ConvertMadeBitmaps) {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    std::string dir = TempPath("im");
    std::filesystem::create_directories(dir);
    // 20 colours: too many for 4 bits, so the file is 8-bit.
    std::string ppm = dir + "/c20.ppm";
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n20 2\n255\n";
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 20; x++)
                out << static_cast<char>(x * 12) << static_cast<char>(y * 100)
                    << static_cast<char>(255 - x * 12);
    }
    struct Case {
        const char* pszArgs;
        int nDepth;
        int cx, cy;
        Color (*pfnExpect)(int x, int y);
    } cases[] = {
        {"-size 5x3 xc:red -type TrueColor", 24, 5, 3,
         [](int, int) { return host::RGB(255, 0, 0); }},
        {"-size 3x2 xc:lime -size 3x2 xc:blue -append -type TrueColor", 24, 3, 4,
         [](int, int y) { return y < 2 ? host::RGB(0, 255, 0) : host::RGB(0, 0, 255); }},
        {"-size 5x2 xc:red -size 5x1 xc:blue -append -type Palette", 1, 5, 3,
         [](int, int y) { return y < 2 ? host::RGB(255, 0, 0) : host::RGB(0, 0, 255); }},
        {"c20.ppm -type Palette -compress none", 8, 20, 2,
         [](int x, int y) { return host::RGB(x * 12, y * 100, 255 - x * 12); }},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszArgs);
        std::string file = dir + "/f" + std::to_string(i++) + ".bmp";
        std::string cmd =
            "cd '" + dir + "' && " + kConvert + " " + c.pszArgs + " BMP3:'" + file + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::vector<BYTE> data = ReadAll(file);
        ASSERT_GE(data.size(), 54u);
        // The same picture stored top-down.
        std::vector<BYTE> topDown = data;
        DWORD offPixels = Get32(data, 10);
        LONG cy = static_cast<LONG>(Get32(data, 22));
        size_t cbStride = (data.size() - offPixels) / cy;
        Put32(&topDown, 22, static_cast<DWORD>(-cy));
        for (LONG y = 0; y < cy; y++)
            std::memcpy(topDown.data() + offPixels + y * cbStride,
                        data.data() + offPixels + (cy - 1 - y) * cbStride, cbStride);
        for (const std::vector<BYTE>* p : {&data, &topDown}) {
            Graphic g(p->data(), static_cast<DWORD>(p->size()));
            ASSERT_EQ(g.GetDepth(), c.nDepth);
            ASSERT_EQ(g.GetWidth(), c.cx);
            ASSERT_EQ(g.GetHeight(), c.cy);
            for (int y = 0; y < c.cy; y++)
                for (int x = 0; x < c.cx; x++)
                    ASSERT_EQ(g.GetPixelColor(x, y), c.pfnExpect(x, y)) << x << "," << y;
        }
        // Damaged copies of it: every truncation of the headers leaves an empty graphic.
        for (size_t cb = 0; cb < offPixels; cb += 7) {
            Graphic g(data.data(), static_cast<DWORD>(cb));
            ASSERT_EQ(g.GetBits(), nullptr) << cb;
        }
    }
    std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------------------------------
// Transparency preparation

TEST(GraphicTransparency, RunListsOfAPattern) {
    // '.' transparent, other letters opaque colours.
    const char* rgRows[] = {"..ab..c", ".......", "abcdefg", "a.b.c.d"};
    const Color kKey = host::RGB(0, 255, 0);
    auto ColorOf = [&](char ch) {
        return ch == '.' ? kKey : host::RGB(static_cast<BYTE>((ch - 'a') * 16 + 8), 0, 0x40);
    };
    for (int nDepth : {8, 16, 24, 32}) {
        SCOPED_TRACE(testing::Message() << "depth " << nDepth);
        RGBQUAD table[256] = {};
        table[1] = {0, 255, 0, 0};
        for (int i = 0; i < 7; i++)
            table[2 + i] = {0x40, 0, static_cast<BYTE>(i * 16 + 8), 0};
        Graphic g(7, 4, nDepth, table);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 7; x++)
                g.SetPixelColor(x, y, ColorOf(rgRows[y][x]));
        LONG cRuns = 5;
        EXPECT_EQ(g.GetRuns(0, &cRuns), nullptr); // not prepared yet
        EXPECT_EQ(cRuns, 0);
        g.SetTransparency(kKey);
        g.PrepareTransparency();
        struct Row {
            std::vector<std::pair<LONG, LONG>> runs;
        } expected[] = {
            {{{2, 2}, {6, 1}}},
            {{}},
            {{{0, 7}}},
            {{{0, 1}, {2, 1}, {4, 1}, {6, 1}}},
        };
        for (int y = 0; y < 4; y++) {
            const OPAQUERUN* pRuns = g.GetRuns(y, &cRuns);
            ASSERT_EQ(static_cast<size_t>(cRuns), expected[y].runs.size()) << "row " << y;
            if (cRuns == 0) {
                EXPECT_EQ(pRuns, nullptr);
            }
            for (LONG i = 0; i < cRuns; i++) {
                EXPECT_EQ(pRuns[i].x, expected[y].runs[i].first);
                EXPECT_EQ(pRuns[i].cx, expected[y].runs[i].second);
            }
        }
        // A child asks with its own rows.
        RECT rc = {1, 2, 5, 4};
        Graphic child(&g, &rc);
        EXPECT_EQ(child.GetRuns(1, &cRuns), g.GetRuns(3, nullptr));
        EXPECT_EQ(g.GetRuns(4, &cRuns), nullptr);

#if CEA_HANDHELD
        // Colour-keyed blits: the pixels keep their colours.
        EXPECT_EQ(g.GetPixelValue(0, 0), g.ColorToValue(kKey));
#else
        // The mask blits need the see-through pixels at value 0; a new colour gives the old
        // one's pixels back.
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 7; x++)
                ASSERT_EQ(g.GetPixelValue(x, y) == 0, rgRows[y][x] == '.') << x << "," << y;
        g.SetTransparency(ColorOf('a'));
        g.PrepareTransparency();
        EXPECT_EQ(g.GetPixelValue(0, 0), g.ColorToValue(kKey));
        EXPECT_EQ(g.GetPixelValue(0, 1), g.ColorToValue(kKey));
        EXPECT_EQ(g.GetPixelValue(0, 2), 0u);
        EXPECT_EQ(g.GetPixelColor(1, 2), ColorOf('b'));
        EXPECT_EQ(g.GetRuns(2, &cRuns)[0].x, 1);
        g.SetTransparency(clrNone);
        g.PrepareTransparency();
        EXPECT_EQ(g.GetPixelColor(0, 2), ColorOf('a'));
        EXPECT_EQ(g.GetRuns(2, &cRuns), nullptr);
#endif
    }
}

TEST(GraphicTransparency, KeyedDrawingThroughAContext) {
    // Different depths go through the destination's context: the mask (desktop) or the
    // colour key (handheld) must leave the destination under see-through pixels alone.
    const Color kKey = host::RGB(255, 0, 255);
    const Color kBack = host::RGB(0, 0, 248);
    for (int cx : {5, 17, 33}) {
        SCOPED_TRACE(cx);
        Graphic src(cx, 3, 24);
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < cx; x++)
                src.SetPixelColor(x, y,
                                  (x + y) % 3 == 0 ? kKey : host::RGB(8 * (x % 30), 248, 8 * y));
        src.SetTransparency(kKey);
        for (int nPass = 0; nPass < 2; nPass++) {
            Graphic dst(cx + 2, 5, 16);
            for (int y = 0; y < 5; y++)
                for (int x = 0; x < cx + 2; x++)
                    dst.SetPixelColor(x, y, kBack);
            src.DrawTo(&dst, 1, 1, 0, 0, cxToEdge, cxToEdge);
            for (int y = 0; y < 3; y++) {
                for (int x = 0; x < cx; x++) {
                    Color clrExpected =
                        (x + y) % 3 == 0 ? kBack : host::RGB(8 * (x % 30), 248, 8 * y);
                    ASSERT_EQ(dst.GetPixelColor(x + 1, y + 1), clrExpected) << x << "," << y;
                }
            }
            EXPECT_EQ(dst.GetPixelColor(0, 0), kBack);
            // The second pass draws with the colour prepared by the first.
        }
    }
}

TEST(GraphicTransparency, SaveStoresTheRealColours) {
    std::string path = TempPath("key.bmp");
    Graphic g(3, 1, 24);
    g.SetPixelColor(0, 0, host::RGB(255, 0, 255));
    g.SetPixelColor(1, 0, host::RGB(1, 2, 3));
    g.SetTransparency(host::RGB(255, 0, 255));
    g.PrepareTransparency();
    host::HANDLE h = host::CreateFile(path.c_str(), host::GENERIC_WRITE, 0, host::CREATE_ALWAYS);
    ASSERT_TRUE(g.Save(h));
    host::CloseHandle(h);
    Graphic back(NativeName(path), nullptr);
    EXPECT_EQ(back.GetPixelColor(0, 0), host::RGB(255, 0, 255));
    EXPECT_EQ(back.GetPixelColor(1, 0), host::RGB(1, 2, 3));
    EXPECT_EQ(g.GetTransparency(), host::RGB(255, 0, 255));
    std::remove(path.c_str());
}

// ---------------------------------------------------------------------------------------
// The viewer

struct ShowState {
    std::string titleAfterClick;
    Color clrShown = 0; // the screen at the clicked pixel
    int cTicks = 0;
};
ShowState* g_pShowState = nullptr;

void CALLBACK_ShowTimer(host::HWND, UINT, host::UINT_PTR idEvent, DWORD) {
    host::HWND hwnd = host::FindWindow("GraphicShowClass", nullptr);
    if (hwnd == nullptr || g_pShowState == nullptr) return;
    if (g_pShowState->cTicks++ == 0) {
        host::UpdateWindow(hwnd);
        host::PumpScreen();
        host::POINT pt = {2, 1};
        host::ClientToScreen(hwnd, &pt);
        g_pShowState->clrShown = host::GetScreenPixel(pt.x, pt.y);
        host::SendMessage(hwnd, host::WM_LBUTTONDOWN, host::MK_LBUTTON, host::MAKELPARAM(2, 1));
        char szTitle[100] = {};
        host::GetWindowText(hwnd, szTitle, sizeof(szTitle));
        g_pShowState->titleAfterClick = szTitle;
        host::PostMessage(hwnd, host::WM_COMMAND, 2, 0);
        host::KillTimer(nullptr, idEvent);
    }
}

TEST(GraphicShow, ClickShowsThePixelAndCommandCloses) {
    host::ScreenOptions options;
    options.backend = host::ScreenBackendKind::kHeadless;
    options.profile = host::ScreenProfile::kDesktop;
    ASSERT_TRUE(host::InitScreen(options));
    struct Case {
        int nDepth;
        const char* pszTitle;
    } cases[] = {
        {24, "RGB=10,20,30 - X=2,Y=1"},
        {8, "I=5, RGB=10,20,30 - X=2,Y=1"},
    };
    for (const Case& c : cases) {
        RGBQUAD table[256] = {};
        table[5] = {30, 20, 10, 0};
        Graphic g(6, 4, c.nDepth, table);
        g.SetPixelColor(2, 1, host::RGB(10, 20, 30));
        ShowState state;
        g_pShowState = &state;
        host::UINT_PTR id = host::SetTimer(nullptr, 0, 10, CALLBACK_ShowTimer);
        ASSERT_NE(id, 0u);
        g.Show(TEXT("viewer"));
        g_pShowState = nullptr;
        EXPECT_EQ(state.titleAfterClick, c.pszTitle);
        EXPECT_EQ(state.clrShown, host::RGB(10, 20, 30));
        EXPECT_EQ(host::FindWindow("GraphicShowClass", nullptr), nullptr);
    }
    host::ShutdownScreen();
}

void CALLBACK_QuitTimer(host::HWND, UINT, host::UINT_PTR idEvent, DWORD) {
    host::KillTimer(nullptr, idEvent);
    host::PostQuitMessage(7);
}

// A quit posted while the viewer runs ends it and is left for the program's own loop.
TEST(GraphicShow, QuitEndsTheViewerAndStaysQueued) {
    host::ScreenOptions options;
    options.backend = host::ScreenBackendKind::kHeadless;
    options.profile = host::ScreenProfile::kDesktop;
    ASSERT_TRUE(host::InitScreen(options));
    Graphic g(6, 4, 24);
    ASSERT_NE(host::SetTimer(nullptr, 0, 10, CALLBACK_QuitTimer), 0u);
    g.Show(TEXT("viewer"));
    EXPECT_EQ(host::FindWindow("GraphicShowClass", nullptr), nullptr);
    host::MSG msg = {};
    EXPECT_TRUE(host::PeekMessage(&msg, nullptr, host::WM_QUIT, host::WM_QUIT, host::PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
    host::ShutdownScreen();
}

} // namespace
