#include "tools/art/sheets.h"

#include "tools/art/raster.h"

#include <cmath>

namespace art {
namespace {

// Screen vectors of the six board directions: neighbours are 24 pixels apart in a row,
// rows 21 apart and shifted by 12.
constexpr double kDirections[6][2] = {{12, -21}, {24, 0},  {12, 21},
                                      {-12, 21}, {-24, 0}, {-12, -21}};

// Every frame of a sheet drawn by one function, which gets the frame number and the frame's
// top-left corner.
template <class Draw> Canvas DrawFrames(const SheetSpec& s, Draw draw) {
    Canvas canvas(s.cx, s.cy);
    int cColumns = s.cx / s.cxFrame;
    for (int f = 0; f < s.cFrames; ++f)
        draw(&canvas, f, (f % cColumns) * s.cxFrame, (f / cColumns) * s.cyFrame);
    return canvas;
}

Shader Offset(Shader shape, double dx, double dy) {
    return [=](double x, double y, Rgb* pc) { return shape(x - dx, y - dy, pc); };
}

Shader Solid(double cx, double cy, double r, Rgb colour) {
    return [=](double x, double y, Rgb* pc) {
        if (std::hypot(x - cx, y - cy) >= r) return false;
        *pc = colour;
        return true;
    };
}

Shader Dim(Shader shape, double k) {
    return [=](double x, double y, Rgb* pc) {
        if (!shape(x, y, pc)) return false;
        *pc = Scale(*pc, k);
        return true;
    };
}

// Cell kinds, then five balls a colour: lifted, resting and three falling ever smaller and
// darker, as if dropping away from the viewer. Centred on the cell centre (11.5, 11.5).
void DrawCell(Canvas* c, int f, int x0, int y0) {
    auto paint = [&](const Shader& s, Ink ink) {
        c->Paint(Offset(s, x0, y0), ink, x0, y0, x0 + 23, y0 + 23);
    };
    constexpr double m = 11.5;
    static const std::pair<Ink, Rgb> kRing[3] = {
        {Ink::Green, kGreenBase}, {Ink::Blue, kBlueBase}, {Ink::Red, kRedBase}};
    static const std::pair<Ink, Rgb> kBall[3] = {
        {Ink::Blue, kBlueBase}, {Ink::Red, kRedBase}, {Ink::Green, kGreenBase}};
    if (f == 0) {
        // A socket: a shallow dimple inside a low rounded lip.
        paint(Hollow(m, m, 10.2, kCellGrey), Ink::Grey);
        paint(Ring(m, m, 9.2, 11.3, Scale(kCellGrey, 0.8)), Ink::Grey);
    } else if (f <= 3) {
        paint(Hollow(m, m, 8.5, kCellGrey), Ink::Grey);
        paint(Ring(m, m, 7.4, 11.4, kRing[f - 1].second), kRing[f - 1].first);
    } else if (f == 4) {
        // A broken cell: a black pit with a dim torn lip.
        paint(Ring(m, m, 9.4, 11.2, Scale(kCellGrey, 0.5)), Ink::Grey);
        paint(Solid(m, m, 9.8, {0, 0, 0}), Ink::Grey);
    } else {
        int iColour = (f - 5) / 5, k = (f - 5) % 5;
        static const double kRadius[5] = {11.4, 9.8, 7.6, 5.6, 3.7};
        static const double kBright[5] = {1.0, 1.0, 0.8, 0.62, 0.45};
        paint(Dim(Ball(m, m, kRadius[k], kBall[iColour].second), kBright[k]), kBall[iColour].first);
    }
}

// An arrow along the direction, centred in the frame; frame 6 is the break marker.
void DrawArrow(Canvas* c, int f, int x0, int y0) {
    const double cx = x0 + 21, cy = y0 + 17.5;
    if (f == 6) {
        c->Paint(Bar(cx - 8, cy - 8, cx + 8, cy + 8, 3.3, kRedBase), Ink::Red);
        c->Paint(Bar(cx + 8, cy - 8, cx - 8, cy + 8, 3.3, kRedBase), Ink::Red);
        return;
    }
    double len = std::hypot(kDirections[f][0], kDirections[f][1]);
    double ux = kDirections[f][0] / len, uy = kDirections[f][1] / len;
    static const double kShape[7][2] = {{17, 0},     {2, 9.5},  {2, 3.6}, {-16, 3.6},
                                        {-16, -3.6}, {2, -3.6}, {2, -9.5}};
    std::vector<std::array<double, 2>> points;
    for (const auto& p : kShape)
        points.push_back({cx + p[0] * ux - p[1] * uy, cy + p[0] * uy + p[1] * ux});
    c->Paint(Polygon(points, 2.6, kGreenBase), Ink::Green, x0, y0, x0 + 42, y0 + 35);
}

// A ring growing from a dot and fading; frame 0 is the dot.
void DrawRipple(Canvas* c, int f, int x0, int y0, int size) {
    const double k = size / 64.0, m = size / 2.0;
    double r = f == 0 ? 0 : (3 + f * 26.0 / 7) * k;
    double halfWidth = (f == 0 ? 3.0 : 2.8 - f * 0.16) * k;
    c->Paint(SoftRing(x0 + m, y0 + m, r, halfWidth, Scale(kRippleBase, 1 - f * 0.09)), Ink::Ripple,
             x0, y0, x0 + size, y0 + size);
}

Canvas DrawSheet(const SheetSpec& s) {
    switch (s.nId) {
    case 140:
        return DrawFrames(s, DrawArrow);
    case 146:
        return DrawFrames(s, DrawCell);
    case 147: {
        Canvas c(s.cx, s.cy);
        c.Paint(Bar(6, 6, s.cx - 6, 6, 5.6, kGreenBase), Ink::Green);
        return c;
    }
    case 143:
    case 144:
        return DrawFrames(
            s, [&](Canvas* c, int f, int x0, int y0) { DrawRipple(c, f, x0, y0, s.cxFrame); });
    default:
        return Canvas(s.cx, s.cy);
    }
}

} // namespace

const std::vector<SheetSpec>& Sheets() {
    static const std::vector<SheetSpec> sheets = {
        {141, "board.psp", 240, 294, 240, 294, 1},
        {140, "arrows.psp", 42, 245, 42, 35, 7},
        {146, "cells.psp", 115, 92, 23, 23, 20},
        {147, "tray.psp", 111, 12, 111, 12, 1},
        {143, "ripple_large.psp", 128, 256, 64, 64, 8},
        {144, "ripple_small.psp", 64, 128, 32, 32, 8},
    };
    return sheets;
}

std::vector<std::array<int, 2>> BoardMarkers() {
    std::vector<std::array<int, 2>> markers;
    auto row = [&](int y, std::vector<int> xs) {
        for (int x : xs)
            markers.push_back({x, y});
    };
    row(4, {6, 45, 84, 123, 162, 201}); // buttons
    row(36, {0});                       // status line
    // Board rows 0 to 8: 5 to 9 cells, 24 apart, each row 21 lower and shifted by 12.
    for (int r = 0; r < 9; ++r) {
        int cCells = 9 - std::abs(4 - r);
        std::vector<int> xs;
        for (int k = 0; k < cCells; ++k)
            xs.push_back(14 + 12 * std::abs(4 - r) + 24 * k);
        row(64 + 21 * r, xs);
    }
    row(267, {5, 22, 39, 56, 73, 90, 125, 142, 159, 176, 193, 210}); // lost pieces
    row(277, {4, 124});                                              // trays
    return markers;
}

pspwriter::PspImage MakeSheet(int nId) {
    pspwriter::PspImage image;
    image.palette = SheetPalette();
    image.compression = pspwriter::Compression::Deflate;
    pspwriter::PspLayer layer;
    layer.name = "Background";
    for (const SheetSpec& s : Sheets()) {
        if (s.nId != nId) continue;
        image.cx = s.cx;
        image.cy = s.cy;
        if (nId == 141) {
            layer.pixels.assign(static_cast<std::size_t>(s.cx) * s.cy, kBlack);
            for (const auto& m : BoardMarkers())
                layer.pixels[static_cast<std::size_t>(m[1]) * s.cx + m[0]] = kKey;
        } else {
            // Faint glows would otherwise leave black squares over one another.
            bool fGlow = nId == 143 || nId == 144;
            layer.pixels = Flatten(DrawSheet(s), fGlow ? Background::KeyedDark : Background::Keyed);
        }
    }
    image.layers.push_back(std::move(layer));
    return image;
}

std::vector<pspwriter::IcoImage> MakeIcon() {
    std::vector<pspwriter::IcoImage> images;
    for (int size : {16, 32, 48}) {
        const double s = size;
        Canvas c(size, size);
        // A flat-topped hexagon like the board, with a blue ball and a red ball on it.
        std::vector<std::array<double, 2>> hexagon;
        for (int i = 0; i < 6; ++i) {
            double a = i * M_PI / 3;
            hexagon.push_back({s / 2 + 0.48 * s * std::cos(a), s / 2 + 0.48 * s * std::sin(a)});
        }
        c.Paint(Polygon(hexagon, 0.07 * s, {62, 68, 82}), Ink::Grey);
        c.Paint(Ball(0.67 * s, 0.43 * s, 0.2 * s, kRedBase), Ink::Red);
        c.Paint(Ball(0.33 * s, 0.57 * s, 0.2 * s, kBlueBase), Ink::Blue);
        pspwriter::IcoImage image;
        image.cx = image.cy = size;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                double a = c.Coverage(x, y);
                Rgb col = a > 0 ? Scale(c.Colour(x, y), 1 / a) : Rgb{};
                for (double v : {col.r, col.g, col.b, a * 255})
                    image.rgba.push_back(
                        static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))));
            }
        }
        images.push_back(std::move(image));
    }
    return images;
}

bool WriteAll(const std::string& folder, std::string* pError) {
    for (const SheetSpec& s : Sheets())
        if (!pspwriter::WritePspFile(MakeSheet(s.nId), folder + "/" + s.pszFile, pError))
            return false;
    return pspwriter::WriteIcoFile(MakeIcon(), folder + "/" + kIconFile, pError);
}

} // namespace art
