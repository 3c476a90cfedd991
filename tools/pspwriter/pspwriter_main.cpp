// kelvano-pspwriter: builds a layered image file from binary PPM / PGM pictures.
#include "tools/pspwriter/pspwriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const char kUsage[] =
    "usage: kelvano-pspwriter [options] --out FILE\n"
    "Writes a layered image in the format the animation framework reads.\n"
    "\n"
    "  --layer FILE       add a layer: a binary PPM (P6, 24-bit image) or PGM (P5,\n"
    "                     8-bit image of colour indices); all layers of one kind\n"
    "  --at X,Y           place the last layer at X,Y (default 0,0)\n"
    "  --mask FILE        PGM of the last layer's size: 0 see-through, 255 opaque,\n"
    "                     values in between make a soft mask\n"
    "  --user-mask        write the last layer's mask as a user mask (default:\n"
    "                     transparency mask)\n"
    "  --palette FILE     colour table for 8-bit images: one colour per line, either\n"
    "                     'R G B' in decimal or '#RRGGBB'; '#' lines without six hex\n"
    "                     digits and blank lines are skipped\n"
    "  --selection FILE   PGM selection placed at --selection-at X,Y (default 0,0)\n"
    "  --size WxH         image size (default: the first layer's size)\n"
    "  --compression none|rle|deflate   channel coding (default deflate)\n"
    "  --out FILE         the file to write\n"
    "  --help             this text\n";

struct Picture {
    int cx = 0;
    int cy = 0;
    bool fColour = false;
    std::vector<uint8_t> bytes;
};

bool ReadNumber(std::istream& in, int* pn) {
    in >> std::ws;
    while (in.peek() == '#') {
        std::string comment;
        std::getline(in, comment);
        in >> std::ws;
    }
    return static_cast<bool>(in >> *pn);
}

bool ReadPicture(const std::string& path, Picture* pPicture) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int nMax = 0;
    if (!(in >> magic) || (magic != "P5" && magic != "P6")) return false;
    if (!ReadNumber(in, &pPicture->cx) || !ReadNumber(in, &pPicture->cy) || !ReadNumber(in, &nMax))
        return false;
    if (pPicture->cx <= 0 || pPicture->cy <= 0 || pPicture->cx > 32767 || pPicture->cy > 32767 ||
        nMax != 255)
        return false;
    in.get(); // the single white-space byte before the samples
    pPicture->fColour = magic == "P6";
    pPicture->bytes.resize(static_cast<size_t>(pPicture->cx) * pPicture->cy *
                           (pPicture->fColour ? 3 : 1));
    in.read(reinterpret_cast<char*>(pPicture->bytes.data()),
            static_cast<std::streamsize>(pPicture->bytes.size()));
    return static_cast<size_t>(in.gcount()) == pPicture->bytes.size();
}

bool ReadPalette(const std::string& path, std::vector<std::array<uint8_t, 3>>* pPalette) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        size_t iStart = line.find_first_not_of(" \t\r");
        if (iStart == std::string::npos) continue;
        line = line.substr(iStart);
        unsigned r, g, b;
        char chExtra;
        if (line[0] == '#') {
            if (line.size() < 7 || std::sscanf(line.c_str() + 1, "%2x%2x%2x", &r, &g, &b) != 3)
                continue;
        } else if (std::sscanf(line.c_str(), "%u %u %u %c", &r, &g, &b, &chExtra) != 3 || r > 255 ||
                   g > 255 || b > 255) {
            return false;
        }
        pPalette->push_back(
            {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)});
    }
    return true;
}

bool ParsePair(const char* psz, char chSeparator, int* pa, int* pb) {
    char* pszEnd;
    long a = std::strtol(psz, &pszEnd, 10);
    if (*pszEnd != chSeparator) return false;
    long b = std::strtol(pszEnd + 1, &pszEnd, 10);
    if (*pszEnd != 0) return false;
    *pa = static_cast<int>(a);
    *pb = static_cast<int>(b);
    return true;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "kelvano-pspwriter: %s\n", text.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    pspwriter::PspImage image;
    image.compression = pspwriter::Compression::Deflate;
    std::string out;
    int cxSize = 0, cySize = 0;
    bool fColour = false;
    int xSelection = 0, ySelection = 0;
    Picture selection;
    bool fSelection = false;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--user-mask") {
            if (image.layers.empty()) return Fail("--user-mask needs a --layer first");
            image.layers.back().nMaskType = 2;
            continue;
        }
        if (i + 1 >= argc) return Fail("missing value after " + arg + " (see --help)");
        const char* pszValue = argv[++i];
        if (arg == "--out") {
            out = pszValue;
        } else if (arg == "--layer") {
            Picture picture;
            if (!ReadPicture(pszValue, &picture))
                return Fail(std::string("cannot read ") + pszValue);
            if (!image.layers.empty() && picture.fColour != fColour)
                return Fail("layers mix PPM and PGM");
            fColour = picture.fColour;
            pspwriter::PspLayer layer;
            layer.name = "Layer " + std::to_string(image.layers.size() + 1);
            layer.rc = {0, 0, picture.cx, picture.cy};
            layer.pixels = std::move(picture.bytes);
            image.layers.push_back(std::move(layer));
        } else if (arg == "--at") {
            int x, y;
            if (image.layers.empty() || !ParsePair(pszValue, ',', &x, &y))
                return Fail("--at X,Y needs a --layer first");
            pspwriter::PspRect& rc = image.layers.back().rc;
            rc = {x, y, x + rc.Width(), y + rc.Height()};
        } else if (arg == "--mask") {
            Picture mask;
            if (image.layers.empty()) return Fail("--mask needs a --layer first");
            const pspwriter::PspRect& rc = image.layers.back().rc;
            if (!ReadPicture(pszValue, &mask) || mask.fColour || mask.cx != rc.Width() ||
                mask.cy != rc.Height())
                return Fail(std::string("mask must be a PGM of the layer's size: ") + pszValue);
            image.layers.back().mask = std::move(mask.bytes);
        } else if (arg == "--palette") {
            if (!ReadPalette(pszValue, &image.palette))
                return Fail(std::string("cannot read palette ") + pszValue);
        } else if (arg == "--selection") {
            if (!ReadPicture(pszValue, &selection) || selection.fColour)
                return Fail(std::string("selection must be a PGM: ") + pszValue);
            fSelection = true;
        } else if (arg == "--selection-at") {
            if (!ParsePair(pszValue, ',', &xSelection, &ySelection))
                return Fail("bad --selection-at");
        } else if (arg == "--size") {
            if (!ParsePair(pszValue, 'x', &cxSize, &cySize)) return Fail("bad --size, want WxH");
        } else if (arg == "--compression") {
            std::string name = pszValue;
            if (name == "none")
                image.compression = pspwriter::Compression::None;
            else if (name == "rle")
                image.compression = pspwriter::Compression::RunLength;
            else if (name == "deflate")
                image.compression = pspwriter::Compression::Deflate;
            else
                return Fail("unknown compression " + name);
        } else {
            return Fail("unknown option " + arg + " (see --help)");
        }
    }
    if (out.empty()) return Fail("no --out file (see --help)");
    if (image.layers.empty()) return Fail("no --layer given");
    image.nDepth = fColour ? 24 : 8;
    image.cx = cxSize ? cxSize : image.layers[0].rc.Width();
    image.cy = cySize ? cySize : image.layers[0].rc.Height();
    if (fSelection) {
        image.fSelection = true;
        image.selection.rc = {xSelection, ySelection, xSelection + selection.cx,
                              ySelection + selection.cy};
        image.selection.bytes = std::move(selection.bytes);
    }
    if (!pspwriter::WritePspFile(image, out))
        return Fail("cannot write " + out + " (sizes inconsistent?)");
    return 0;
}
