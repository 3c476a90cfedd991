#include "tools/skinart/contact.h"

#include "anim/cea_graphic.h"
#include "tools/art/contact.h"
#include "tools/cli/cli.h"
#include "tools/skinart/skinart.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace skinart {
namespace {

constexpr int kScale = 2;
constexpr int kMargin = 12;
constexpr int kGap = 16;
constexpr int kLabelHeight = 20;
constexpr int kMaxWidth = 1700;
constexpr host::COLORREF kBackground = host::RGB(52, 56, 64);
constexpr host::COLORREF kGrid = host::RGB(255, 40, 160);
constexpr host::COLORREF kCheckLight = host::RGB(205, 205, 205);
constexpr host::COLORREF kCheckDark = host::RGB(165, 165, 165);
constexpr host::COLORREF kKeyColour = host::RGB(0, 0, 255);

struct Placed {
    const PictureGrid* pGrid;
    std::unique_ptr<Graphic> picture;
    int x;
    int y;  // of the label; the picture is below it
    int cx; // on the sheet, grid lines included
    int cy;
};

} // namespace

bool WriteContactSheet(const std::string& folder, const std::string& pngPath, std::string* pError) {
    // Place the pictures in rows, each cell kScale times its size with a grid line between
    // cells and round the picture.
    std::vector<Placed> placed;
    int x = kMargin, y = kMargin, cyRow = 0, cxSheet = 0;
    for (const auto* pList : {&SkinPictures(), &SetupPictures()}) {
        for (const PictureGrid& grid : *pList) {
            std::string path = folder + "/" + FileName(grid);
            std::vector<uint8_t> bytes;
            if (!cli::ReadWholeFile(path, &bytes, pError)) return false;
            auto picture = std::make_unique<Graphic>(bytes.data(), static_cast<DWORD>(bytes.size()),
                                                     nullptr, grid.fKeyed ? kKeyColour : clrNone);
            if (picture->GetWidth() != grid.cColumns * grid.cxCell ||
                picture->GetHeight() != grid.cRows * grid.cyCell) {
                *pError = path + ": not " + std::to_string(grid.cColumns) + " x " +
                          std::to_string(grid.cRows) + " cells of " + std::to_string(grid.cxCell) +
                          " x " + std::to_string(grid.cyCell);
                return false;
            }
            int cx = grid.cColumns * (grid.cxCell * kScale + 1) + 1;
            int cy = grid.cRows * (grid.cyCell * kScale + 1) + 1;
            int cxLabel = 260;
            int cxSlot = std::max(cx, cxLabel);
            if (x > kMargin && x + cxSlot > kMaxWidth) {
                x = kMargin;
                y += cyRow + kGap;
                cyRow = 0;
            }
            placed.push_back({&grid, std::move(picture), x, y, cx, cy});
            x += cxSlot + kGap;
            cyRow = std::max(cyRow, kLabelHeight + cy);
            cxSheet = std::max(cxSheet, x - kGap + kMargin);
        }
    }
    const int cySheet = y + cyRow + kMargin;

    art::ContactCanvas canvas(cxSheet, cySheet, kBackground);
    if (!canvas.Check(pError)) return false;
    auto put = [&](int px, int py, host::COLORREF c) { canvas.Put(px, py, c); };
    for (const Placed& p : placed) {
        const PictureGrid& s = *p.pGrid;
        const int x0 = p.x, y0 = p.y + kLabelHeight;
        for (int py = 0; py < p.cy; ++py)
            for (int px = 0; px < p.cx; ++px)
                put(x0 + px, y0 + py, kGrid);
        const bool fKeyed = p.picture->IsTransparent();
        for (int iy = 0; iy < p.picture->GetHeight(); ++iy) {
            for (int ix = 0; ix < p.picture->GetWidth(); ++ix) {
                host::COLORREF c = p.picture->GetPixelColor(ix, iy);
                int sx = x0 + 1 + ix / s.cxCell * (s.cxCell * kScale + 1) + ix % s.cxCell * kScale;
                int sy = y0 + 1 + iy / s.cyCell * (s.cyCell * kScale + 1) + iy % s.cyCell * kScale;
                for (int k = 0; k < kScale * kScale; ++k) {
                    int qx = sx + k % kScale, qy = sy + k / kScale;
                    host::COLORREF out = c;
                    if (fKeyed && c == kKeyColour)
                        out = ((qx / 4 + qy / 4) % 2) != 0 ? kCheckDark : kCheckLight;
                    put(qx, qy, out);
                }
            }
        }
    }

    std::vector<std::pair<host::POINT, std::string>> labels;
    for (const Placed& p : placed) {
        const PictureGrid& s = *p.pGrid;
        std::string label = FileName(s) + "  " + std::to_string(s.cColumns) + " x " +
                            std::to_string(s.cRows) + " of " + std::to_string(s.cxCell) + " x " +
                            std::to_string(s.cyCell);
        labels.push_back({host::POINT{p.x, p.y + 2}, label});
    }
    canvas.Labels(labels, 13);
    return canvas.SavePng(pngPath, pError);
}

} // namespace skinart
