// kelvano-lettering: writes the game's status lines, button pictures and animated logo.
#include "anim/cea_zz.h"
#include "host/gdi.h"
#include "tools/cli/cli.h"
#include "tools/lettering/lettering.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char kProgram[] = "kelvano-lettering";

const char kUsage[] =
    "usage: kelvano-lettering --font FILE --bold-font FILE --out DIR [--preview DIR]\n"
    "Writes status.psp (GRAPHIC 142), buttons.psp (GRAPHIC 145) and logo.zz (the packed\n"
    "logo picture) into DIR.\n"
    "\n"
    "  --font FILE       the status lines' font file (DejaVu Sans)\n"
    "  --bold-font FILE  the captions' and the logo's font file (DejaVu Sans Bold)\n"
    "  --out DIR         where the files go (made when missing)\n"
    "  --preview DIR     also write PNG previews on black, enlarged three times\n"
    "  -h, --help        this text\n"
    "\n"
    "Exit status: 0 written, 1 failure (a font missing, lettering that does not fit, a\n"
    "write failure), 2 bad usage.\n";

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes,
               std::string* pError) {
    // Beside the target, then renamed over it: a build never sees half a file.
    std::filesystem::path temp = path;
    temp += ".tmp";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        if (!file.flush()) {
            *pError = temp.string() + ": write failed";
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        *pError = path.string() + ": " + ec.message();
        return false;
    }
    return true;
}

bool WritePreview(const lettering::Picture& picture, int kScale,
                  const std::filesystem::path& path) {
    host::BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(host::BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = picture.cx * kScale;
    bmi.bmiHeader.biHeight = -picture.cy * kScale;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    void* pvBits = nullptr;
    host::HBITMAP hbm = host::CreateDIBSection(nullptr, &bmi, host::DIB_RGB_COLORS, &pvBits);
    if (!hbm) return false;
    auto* pRows = static_cast<uint32_t*>(pvBits);
    for (int y = 0; y < picture.cy * kScale; ++y) {
        for (int x = 0; x < picture.cx * kScale; ++x) {
            lettering::Rgb c = picture.At(x / kScale, y / kScale);
            if (c == lettering::kKey) c = lettering::kBlack; // as the game shows it
            pRows[static_cast<size_t>(y) * picture.cx * kScale + x] =
                (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
        }
    }
    bool ok = host::SaveBitmapAsPng(hbm, path.string());
    host::DeleteObject(hbm);
    return ok;
}

struct Output {
    const char* name;
    lettering::Picture picture;
    bool fPacked;
};

int Run(int argc, char** argv) {
    std::string fontPath, boldPath, outDir, previewDir;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return cli::kExitOk;
        }
        std::string* pValue = arg == "--font"        ? &fontPath
                              : arg == "--bold-font" ? &boldPath
                              : arg == "--out"       ? &outDir
                              : arg == "--preview"   ? &previewDir
                                                     : nullptr;
        if (!pValue) return cli::UsageError(kProgram, "unknown option '" + std::string(arg) + "'");
        if (i + 1 >= argc) return cli::UsageError(kProgram, std::string(arg) + " needs a value");
        *pValue = argv[++i];
    }
    if (fontPath.empty() || boldPath.empty() || outDir.empty())
        return cli::UsageError(kProgram, "--font, --bold-font and --out are required");

    std::string error;
    lettering::Font font, bold;
    if (!font.Open(fontPath, &error) || !bold.Open(boldPath, &error))
        return cli::Failure(kProgram, error);

    std::vector<Output> outputs;
    outputs.push_back({"status.psp", {}, false});
    if (!lettering::StatusSheet(font, &outputs.back().picture, &error))
        return cli::Failure(kProgram, error);
    outputs.push_back({"buttons.psp", {}, false});
    if (!lettering::ButtonSheet(bold, &outputs.back().picture, &error))
        return cli::Failure(kProgram, error);
    outputs.push_back({"logo.zz", {}, true});
    if (!lettering::LogoPicture(bold, &outputs.back().picture, &error))
        return cli::Failure(kProgram, error);

    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) return cli::Failure(kProgram, outDir + ": " + ec.message());
    for (const Output& out : outputs) {
        pspwriter::PspImage image;
        std::vector<uint8_t> bytes;
        if (!lettering::ToPsp(out.picture, &image, &error) ||
            !pspwriter::WritePsp(image, &bytes, &error))
            return cli::Failure(kProgram, std::string(out.name) + ": " + error);
        if (out.fPacked) {
            host::BYTE* pbBlock = nullptr;
            host::DWORD cbBlock = 0;
            if (!zz::Compress(&pbBlock, &cbBlock, bytes.data(),
                              static_cast<host::DWORD>(bytes.size())))
                return cli::Failure(kProgram, std::string(out.name) + ": packing failed");
            bytes.assign(pbBlock, pbBlock + cbBlock);
            zz::FreeBlock(pbBlock);
        }
        if (!WriteFile(std::filesystem::path(outDir) / out.name, bytes, &error))
            return cli::Failure(kProgram, error);
    }
    if (!previewDir.empty()) {
        std::filesystem::create_directories(previewDir, ec);
        for (const Output& out : outputs) {
            auto path = std::filesystem::path(previewDir) / out.name;
            path.replace_extension(".png");
            // The logo's frames side by side, four to a row, so that all show at once.
            lettering::Picture grid = out.picture;
            int nScale = 3;
            if (out.fPacked) {
                constexpr int cColumns = 4;
                const int cx = lettering::kLogoWidth, cy = lettering::kLogoFrameHeight;
                grid = lettering::Picture(cx * cColumns, cy * lettering::kLogoFrames / cColumns);
                for (int f = 0; f < lettering::kLogoFrames; ++f)
                    for (int y = 0; y < cy; ++y)
                        for (int x = 0; x < cx; ++x)
                            grid.At(cx * (f % cColumns) + x, cy * (f / cColumns) + y) =
                                out.picture.At(x, cy * f + y);
                nScale = 1;
            }
            if (!WritePreview(grid, nScale, path))
                return cli::Failure(kProgram, path.string() + ": cannot write the preview");
        }
    }
    return cli::kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    return cli::Guarded(kProgram, [&] { return Run(argc, argv); });
}
