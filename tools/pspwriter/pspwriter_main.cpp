// kelvano-pspwriter: builds a layered image file from binary PPM / PGM pictures.
#include "tools/cli/cli.h"
#include "tools/pspwriter/pspwriter.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr char kProgram[] = "kelvano-pspwriter";

const char kUsage[] =
    "usage: kelvano-pspwriter [options] --out FILE\n"
    "Writes a layered image in the format the animation framework reads.\n"
    "\n"
    "  --layer FILE       add a layer: a binary PPM (P6, 24-bit image) or PGM (P5,\n"
    "                     8-bit image of colour indices), maxval 255; all layers of\n"
    "                     one kind\n"
    "  --at X,Y           place the last layer at X,Y (default 0,0)\n"
    "  --mask FILE        PGM of the last layer's size: 0 see-through, 255 opaque,\n"
    "                     values in between make a soft mask\n"
    "  --user-mask        write the last layer's mask as a user mask (default:\n"
    "                     transparency mask); needs its --mask\n"
    "  --palette FILE     colour table for 8-bit images: one colour per line, either\n"
    "                     'R G B' in decimal or '#RRGGBB'; '#' lines without six hex\n"
    "                     digits and blank lines are skipped\n"
    "  --selection FILE   PGM selection, inside the image\n"
    "  --selection-at X,Y where the selection sits (default 0,0)\n"
    "  --size WxH         image size (default: the first layer's size)\n"
    "  --compression none|rle|deflate   channel coding (default deflate)\n"
    "  --out FILE         the file to write\n"
    "  -h, --help         this text\n"
    "\n"
    "Readers load images of at most 32767 pixels a side and 64 MiB of pixels, and keep\n"
    "no more of a layer than the image has pixels (rows rounded up to 4); larger\n"
    "images are refused.\n"
    "Exit status: 0 written, 1 failure (unreadable or inconsistent input, write\n"
    "failure; nothing is written), 2 bad usage.\n";

// A picture larger than this cannot be a layer a reader keeps (64 Mi pixels of 3 bytes).
constexpr uint64_t kcbMaxPicture = uint64_t{256} << 20;
constexpr uint64_t kcbMaxPalette = uint64_t{16} << 20;
constexpr int64_t kMinCoordinate = std::numeric_limits<int32_t>::min();
constexpr int64_t kMaxCoordinate = std::numeric_limits<int32_t>::max();

struct Picture {
    int cx = 0;
    int cy = 0;
    bool fColour = false;
    std::vector<uint8_t> bytes;
};

struct LayerArgs {
    std::string path;
    int64_t x = 0;
    int64_t y = 0;
    std::string mask;
    bool fUserMask = false;
};

struct Options {
    std::vector<LayerArgs> layers;
    std::string out;
    int cxSize = 0;
    int cySize = 0;
    std::string palette;
    std::string selection;
    bool fSelectionAt = false;
    int64_t xSelection = 0;
    int64_t ySelection = 0;
    pspwriter::Compression compression = pspwriter::Compression::Deflate;
};

bool IsSpace(uint8_t b) {
    return b == ' ' || b == '\t' || b == '\n' || b == '\r' || b == '\v' || b == '\f';
}

// The header of a binary PGM or PPM, read from its bytes.
class HeaderReader {
public:
    explicit HeaderReader(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    size_t Position() const { return m_i; }
    // The next number's digits, after white space and comments; empty when none.
    std::string Number() {
        while (m_i < m_bytes.size() && (IsSpace(m_bytes[m_i]) || m_bytes[m_i] == '#')) {
            if (m_bytes[m_i] == '#')
                while (m_i < m_bytes.size() && m_bytes[m_i] != '\n')
                    ++m_i;
            else
                ++m_i;
        }
        std::string digits;
        while (m_i < m_bytes.size() && std::isdigit(m_bytes[m_i]))
            digits += static_cast<char>(m_bytes[m_i++]);
        return digits;
    }

private:
    const std::vector<uint8_t>& m_bytes;
    size_t m_i = 2; // past the signature
};

// Digits as shown in a message: a runaway number is cut short.
std::string Shown(const std::string& digits) {
    return digits.size() > 12 ? digits.substr(0, 12) + "..." : digits;
}

bool ReadPicture(const std::string& path, Picture* pPicture, std::string* pError) {
    std::vector<uint8_t> bytes;
    if (!cli::ReadWholeFile(path, &bytes, pError, kcbMaxPicture)) return false;
    auto Fail = [&](const std::string& what) {
        *pError = path + ": " + what;
        return false;
    };
    if (bytes.empty()) return Fail("empty file");
    char chKind = bytes.size() >= 2 && bytes[0] == 'P' ? static_cast<char>(bytes[1]) : 0;
    if (chKind == '2' || chKind == '3')
        return Fail("ASCII PGM/PPM (P2/P3) is not supported; use binary P5/P6");
    if ((chKind != '5' && chKind != '6') || (bytes.size() > 2 && !IsSpace(bytes[2])))
        return Fail("not a binary PGM or PPM picture (P5/P6)");
    HeaderReader header(bytes);
    std::optional<int64_t> sides[2];
    const char* const kSides[] = {"width", "height"};
    for (int i = 0; i < 2; ++i) {
        std::string digits = header.Number();
        if (digits.empty()) return Fail(std::string("damaged header: no ") + kSides[i]);
        sides[i] = cli::ParseInteger(digits, 1, pspwriter::kMaxSide);
        if (!sides[i])
            return Fail(std::string(kSides[i]) + " " + Shown(digits) + " is outside 1 to " +
                        std::to_string(pspwriter::kMaxSide));
    }
    std::string digits = header.Number();
    if (digits.empty()) return Fail("damaged header: no maxval");
    std::optional<int64_t> nMax = cli::ParseInteger(digits, 1, 65535);
    if (!nMax) return Fail("damaged header: maxval " + Shown(digits) + " is outside 1 to 65535");
    if (*nMax > 255) return Fail("16-bit samples (maxval " + digits + ") are not supported");
    if (*nMax != 255)
        return Fail("maxval " + digits + " is not supported; samples must run to 255");
    // One white-space byte ends the header.
    size_t iPixels = header.Position();
    if (iPixels < bytes.size() && !IsSpace(bytes[iPixels]))
        return Fail("damaged header: no white space after maxval");
    ++iPixels;

    pPicture->cx = static_cast<int>(*sides[0]);
    pPicture->cy = static_cast<int>(*sides[1]);
    pPicture->fColour = chKind == '6';
    size_t cbPixels =
        static_cast<size_t>(pPicture->cx) * pPicture->cy * (pPicture->fColour ? 3 : 1);
    size_t cbFound = iPixels < bytes.size() ? bytes.size() - iPixels : 0;
    if (cbFound < cbPixels)
        return Fail("truncated: expected " + std::to_string(cbPixels) + " bytes of pixels, found " +
                    std::to_string(cbFound));
    // Anything after the pixels (a further picture) is left alone.
    pPicture->bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(iPixels),
                           bytes.begin() + static_cast<std::ptrdiff_t>(iPixels + cbPixels));
    return true;
}

bool IsHexDigits(std::string_view text) {
    for (char ch : text)
        if (!std::isxdigit(static_cast<unsigned char>(ch))) return false;
    return true;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (true) {
        i = line.find_first_not_of(" \t\r", i);
        if (i == std::string_view::npos) return words;
        size_t iEnd = line.find_first_of(" \t\r", i);
        if (iEnd == std::string_view::npos) iEnd = line.size();
        words.push_back(line.substr(i, iEnd - i));
        i = iEnd;
    }
}

bool ReadPalette(const std::string& path, std::vector<std::array<uint8_t, 3>>* pPalette,
                 std::string* pError) {
    std::vector<uint8_t> bytes;
    if (!cli::ReadWholeFile(path, &bytes, pError, kcbMaxPalette)) return false;
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    int iLine = 0;
    while (!text.empty()) {
        ++iLine;
        size_t iEnd = text.find('\n');
        std::string_view line = text.substr(0, iEnd);
        text.remove_prefix(iEnd == std::string_view::npos ? text.size() : iEnd + 1);
        std::vector<std::string_view> words = Words(line);
        if (words.empty()) continue;
        std::array<uint8_t, 3> rgb;
        if (words[0][0] == '#') {
            if (words[0].size() < 7 || !IsHexDigits(words[0].substr(1, 6))) continue; // a comment
            for (int i = 0; i < 3; ++i)
                rgb[i] = static_cast<uint8_t>(*cli::ParseInteger(
                    "0x" + std::string(words[0].substr(1 + 2 * i, 2)), 0, 255, true));
        } else {
            bool fOk = words.size() == 3;
            for (size_t i = 0; fOk && i < 3; ++i) {
                std::optional<int64_t> n = cli::ParseInteger(words[i], 0, 255);
                fOk = n.has_value();
                if (fOk) rgb[i] = static_cast<uint8_t>(*n);
            }
            if (!fOk) {
                *pError = path + ": line " + std::to_string(iLine) + ": '" + std::string(line) +
                          "' is neither 'R G B' (0 to 255 each) nor '#RRGGBB'";
                return false;
            }
        }
        pPalette->push_back(rgb);
    }
    return true;
}

// "A<separator>B", each a whole number in [nMin, nMax].
std::optional<std::pair<int64_t, int64_t>> ParsePair(std::string_view text, char chSeparator,
                                                     int64_t nMin, int64_t nMax) {
    size_t i = text.find(chSeparator);
    if (i == std::string_view::npos) return std::nullopt;
    std::optional<int64_t> a = cli::ParseInteger(text.substr(0, i), nMin, nMax);
    std::optional<int64_t> b = cli::ParseInteger(text.substr(i + 1), nMin, nMax);
    if (!a || !b) return std::nullopt;
    return std::make_pair(*a, *b);
}

// Empty when the arguments are sound, else the one line to show.
std::string ParseArguments(int argc, char** argv, Options* pOptions, bool* pfHelp) {
    Options& o = *pOptions;
    const std::string kCoordinates = "with whole numbers from " + std::to_string(kMinCoordinate) +
                                     " to " + std::to_string(kMaxCoordinate);
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            *pfHelp = true;
            return {};
        }
        if (arg == "--user-mask") {
            if (o.layers.empty())
                return "--user-mask before any --layer: it applies to the last one";
            o.layers.back().fUserMask = true;
            continue;
        }
        static const char* const kValued[] = {"--layer",   "--at",          "--mask",
                                              "--palette", "--selection",   "--selection-at",
                                              "--size",    "--compression", "--out"};
        bool fValued = false;
        for (const char* psz : kValued)
            fValued = fValued || arg == psz;
        if (!fValued) return "unknown option '" + arg + "'";
        // An option where the value should be means the value was left out.
        if (i + 1 >= argc || std::string_view(argv[i + 1]).substr(0, 2) == "--" ||
            argv[i + 1][0] == 0)
            return "missing value after " + arg;
        std::string value = argv[++i];
        if (arg == "--out") {
            o.out = value;
        } else if (arg == "--layer") {
            o.layers.emplace_back();
            o.layers.back().path = value;
        } else if (arg == "--at" || arg == "--selection-at") {
            auto xy = ParsePair(value, ',', kMinCoordinate, kMaxCoordinate);
            if (!xy) return arg + ": '" + value + "' is not X,Y " + kCoordinates;
            if (arg == "--selection-at") {
                o.fSelectionAt = true;
                o.xSelection = xy->first;
                o.ySelection = xy->second;
            } else if (o.layers.empty()) {
                return "--at before any --layer: it places the last one";
            } else {
                o.layers.back().x = xy->first;
                o.layers.back().y = xy->second;
            }
        } else if (arg == "--mask") {
            if (o.layers.empty()) return "--mask before any --layer: it applies to the last one";
            o.layers.back().mask = value;
        } else if (arg == "--palette") {
            o.palette = value;
        } else if (arg == "--selection") {
            o.selection = value;
        } else if (arg == "--size") {
            auto size = ParsePair(value, 'x', 1, pspwriter::kMaxSide);
            if (!size)
                return "--size: '" + value + "' is not WxH with sides from 1 to " +
                       std::to_string(pspwriter::kMaxSide);
            o.cxSize = static_cast<int>(size->first);
            o.cySize = static_cast<int>(size->second);
        } else if (arg == "--compression") {
            if (value == "none")
                o.compression = pspwriter::Compression::None;
            else if (value == "rle")
                o.compression = pspwriter::Compression::RunLength;
            else if (value == "deflate")
                o.compression = pspwriter::Compression::Deflate;
            else
                return "--compression: '" + value + "' is not none, rle or deflate";
        }
    }
    if (o.out.empty()) return "no --out FILE given";
    if (o.layers.empty()) return "no --layer given";
    for (size_t i = 0; i < o.layers.size(); ++i)
        if (o.layers[i].fUserMask && o.layers[i].mask.empty())
            return "--user-mask: layer " + std::to_string(i + 1) + " (" + o.layers[i].path +
                   ") has no --mask";
    if (o.fSelectionAt && o.selection.empty()) return "--selection-at without --selection";
    return {};
}

// The pieces' rectangle must fit the format's signed 32-bit coordinates.
std::string Placement(const std::string& what, int64_t x, int64_t y, int cx, int cy,
                      pspwriter::PspRect* pRect) {
    if (x + cx > kMaxCoordinate || y + cy > kMaxCoordinate)
        return what + " " + std::to_string(cx) + "x" + std::to_string(cy) + " at " +
               std::to_string(x) + "," + std::to_string(y) + " reaches past " +
               std::to_string(kMaxCoordinate) + ", the largest coordinate the format holds";
    *pRect = {static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(x + cx),
              static_cast<int32_t>(y + cy)};
    return {};
}

int Run(const Options& o) {
    pspwriter::PspImage image;
    image.compression = o.compression;
    std::string error;
    if (!o.palette.empty() && !ReadPalette(o.palette, &image.palette, &error))
        return cli::Failure(kProgram, error);
    bool fColour = false;
    for (size_t i = 0; i < o.layers.size(); ++i) {
        const LayerArgs& args = o.layers[i];
        const std::string what = "layer " + std::to_string(i + 1) + " (" + args.path + ")";
        Picture picture;
        if (!ReadPicture(args.path, &picture, &error)) return cli::Failure(kProgram, error);
        if (i > 0 && picture.fColour != fColour)
            return cli::Failure(kProgram, what + " is a " + (picture.fColour ? "PPM" : "PGM") +
                                              " but layer 1 is a " + (fColour ? "PPM" : "PGM") +
                                              "; all layers must be of one kind");
        fColour = picture.fColour;
        pspwriter::PspLayer layer;
        layer.name = "Layer " + std::to_string(i + 1);
        error = Placement(what, args.x, args.y, picture.cx, picture.cy, &layer.rc);
        if (!error.empty()) return cli::Failure(kProgram, error);
        layer.pixels = std::move(picture.bytes);
        if (!args.mask.empty()) {
            Picture mask;
            if (!ReadPicture(args.mask, &mask, &error)) return cli::Failure(kProgram, error);
            if (mask.fColour)
                return cli::Failure(kProgram, args.mask + ": a mask must be a PGM (P5), not a PPM");
            if (mask.cx != picture.cx || mask.cy != picture.cy)
                return cli::Failure(kProgram, args.mask + ": mask is " + std::to_string(mask.cx) +
                                                  "x" + std::to_string(mask.cy) + " but " + what +
                                                  " is " + std::to_string(picture.cx) + "x" +
                                                  std::to_string(picture.cy));
            layer.mask = std::move(mask.bytes);
            if (args.fUserMask) layer.nMaskType = 2;
        }
        image.layers.push_back(std::move(layer));
    }
    image.nDepth = fColour ? 24 : 8;
    image.cx = o.cxSize ? o.cxSize : image.layers[0].rc.Width();
    image.cy = o.cySize ? o.cySize : image.layers[0].rc.Height();
    if (!o.selection.empty()) {
        Picture selection;
        if (!ReadPicture(o.selection, &selection, &error)) return cli::Failure(kProgram, error);
        if (selection.fColour)
            return cli::Failure(kProgram,
                                o.selection + ": a selection must be a PGM (P5), not a PPM");
        error = Placement("selection", o.xSelection, o.ySelection, selection.cx, selection.cy,
                          &image.selection.rc);
        if (!error.empty()) return cli::Failure(kProgram, error);
        image.fSelection = true;
        image.selection.bytes = std::move(selection.bytes);
    }
    if (!pspwriter::WritePspFile(image, o.out, &error))
        return cli::Failure(kProgram, o.out + " not written: " + error);
    return cli::kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    try {
        Options options;
        bool fHelp = false;
        std::string usage = ParseArguments(argc, argv, &options, &fHelp);
        if (fHelp) {
            std::fputs(kUsage, stdout);
            return cli::kExitOk;
        }
        if (!usage.empty()) return cli::UsageError(kProgram, usage);
        return Run(options);
    } catch (const std::bad_alloc&) {
        return cli::Failure(kProgram, "out of memory");
    } catch (const std::exception& e) {
        return cli::Failure(kProgram, std::string("unexpected error: ") + e.what());
    }
}
