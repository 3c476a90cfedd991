#include "tools/art/raster.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace art {
namespace {

constexpr int kSamples = 4; // per side of a pixel

double Clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

// Appends a hue's ramp: from near black up to the base colour, then on towards white.
void AddRamp(std::vector<std::array<uint8_t, 3>>* p, Rgb base, int cDark, int cLight) {
    auto push = [&](Rgb c) {
        p->push_back({static_cast<uint8_t>(std::lround(Clamp01(c.r / 255) * 255)),
                      static_cast<uint8_t>(std::lround(Clamp01(c.g / 255) * 255)),
                      static_cast<uint8_t>(std::lround(Clamp01(c.b / 255) * 255))});
    };
    // Denser in the dark end, where the eye sees steps most.
    for (int i = 1; i <= cDark; ++i)
        push(Scale(base, std::pow(static_cast<double>(i) / cDark, 1.4)));
    for (int i = 1; i <= cLight; ++i)
        push(Mix(base, {255, 255, 255}, 0.8 * i / cLight));
}

} // namespace

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(Rgb a, double k) {
    return {a.r * k, a.g * k, a.b * k};
}

Rgb Lit(Rgb base, double nx, double ny, double nz, double shininess) {
    static const double kL[3] = {-0.45 / 0.9, -0.6 / 0.9, 0.66 / 0.9};
    double len = std::sqrt(kL[0] * kL[0] + kL[1] * kL[1] + kL[2] * kL[2]);
    double lx = kL[0] / len, ly = kL[1] / len, lz = kL[2] / len;
    double diffuse = std::max(0.0, nx * lx + ny * ly + nz * lz);
    // Half-way vector between the light and a viewer straight above.
    double hx = lx, hy = ly, hz = lz + 1;
    double hl = std::sqrt(hx * hx + hy * hy + hz * hz);
    double highlight = std::pow(std::max(0.0, (nx * hx + ny * hy + nz * hz) / hl), 24) * shininess;
    // A little light thrown back from below keeps the shadowed side round.
    double bounce = 0.12 * std::max(0.0, nx * 0.5 + ny * 0.7);
    double k = 0.2 + 0.85 * diffuse + bounce;
    Rgb c = Scale(base, k);
    return Mix(c, {255, 255, 255}, Clamp01(highlight * 0.85));
}

Shader Ball(double cx, double cy, double r, Rgb base) {
    return [=](double x, double y, Rgb* pc) {
        double nx = (x - cx) / r, ny = (y - cy) / r, d2 = nx * nx + ny * ny;
        if (d2 >= 1) return false;
        *pc = Lit(base, nx, ny, std::sqrt(1 - d2));
        return true;
    };
}

Shader Ring(double cx, double cy, double r0, double r1, Rgb base) {
    double rm = (r0 + r1) / 2, hw = (r1 - r0) / 2;
    return [=](double x, double y, Rgb* pc) {
        double dx = x - cx, dy = y - cy, d = std::sqrt(dx * dx + dy * dy);
        double u = (d - rm) / hw;
        if (u <= -1 || u >= 1 || d == 0) return false;
        *pc = Lit(base, dx / d * u, dy / d * u, std::sqrt(1 - u * u), 0.7);
        return true;
    };
}

Shader Hollow(double cx, double cy, double r, Rgb base) {
    return [=](double x, double y, Rgb* pc) {
        double nx = (x - cx) / r, ny = (y - cy) / r, d2 = nx * nx + ny * ny;
        if (d2 >= 1) return false;
        // Shallow: the floor faces up, the walls away from the centre.
        *pc = Lit(base, -nx * 0.7, -ny * 0.7, std::sqrt(1 - 0.49 * d2), 0.0);
        return true;
    };
}

Shader Bar(double x0, double y0, double x1, double y1, double halfWidth, Rgb base) {
    return [=](double x, double y, Rgb* pc) {
        double vx = x1 - x0, vy = y1 - y0, len2 = vx * vx + vy * vy;
        double t = len2 > 0 ? std::clamp(((x - x0) * vx + (y - y0) * vy) / len2, 0.0, 1.0) : 0;
        double dx = (x - (x0 + t * vx)) / halfWidth, dy = (y - (y0 + t * vy)) / halfWidth;
        double d2 = dx * dx + dy * dy;
        if (d2 >= 1) return false;
        *pc = Lit(base, dx, dy, std::sqrt(1 - d2), 0.8);
        return true;
    };
}

Shader Polygon(std::vector<std::array<double, 2>> points, double bevel, Rgb base) {
    // Twice the signed area: positive when the outline runs clockwise on screen.
    double area = 0;
    for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++)
        area += points[j][0] * points[i][1] - points[i][0] * points[j][1];
    const double sign = area >= 0 ? 1 : -1;
    return [=](double x, double y, Rgb* pc) {
        bool fInside = false;
        double best = 1e9, bnx = 0, bny = 0;
        for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
            double ax = points[j][0], ay = points[j][1], bx = points[i][0], by = points[i][1];
            if ((ay > y) != (by > y) && x < ax + (y - ay) * (bx - ax) / (by - ay))
                fInside = !fInside;
            double vx = bx - ax, vy = by - ay, len2 = vx * vx + vy * vy;
            double t = std::clamp(((x - ax) * vx + (y - ay) * vy) / len2, 0.0, 1.0);
            double px = ax + t * vx - x, py = ay + t * vy - y, d = std::sqrt(px * px + py * py);
            if (d < best) {
                best = d;
                double len = std::sqrt(len2);
                bnx = sign * vy / len; // the edge's outward normal
                bny = sign * -vx / len;
            }
        }
        if (!fInside) return false;
        // Inside the rim the surface tilts towards the nearest edge.
        double tilt = best < bevel ? 0.75 * (1 - best / bevel) : 0;
        *pc = Lit(base, bnx * tilt, bny * tilt, std::sqrt(1 - tilt * tilt), 0.5);
        return true;
    };
}

Shader SoftRing(double cx, double cy, double r, double halfWidth, Rgb base) {
    return [=](double x, double y, Rgb* pc) {
        double d = std::hypot(x - cx, y - cy);
        double k = 1 - std::abs(d - r) / halfWidth;
        if (k <= 0) return false;
        *pc = Scale(base, k * k * (3 - 2 * k));
        return true;
    };
}

Canvas::Canvas(int cx, int cy)
    : cx_(cx), cy_(cy), colour_(static_cast<std::size_t>(cx) * cy),
      coverage_(static_cast<std::size_t>(cx) * cy), ink_(static_cast<std::size_t>(cx) * cy) {}

void Canvas::Paint(const Shader& shape, Ink ink, int left, int top, int right, int bottom) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, cx_);
    bottom = std::min(bottom, cy_);
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            Rgb sum;
            int cInside = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    Rgb c;
                    if (!shape(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples, &c)) continue;
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                    ++cInside;
                }
            }
            if (cInside == 0) continue;
            double a = static_cast<double>(cInside) / (kSamples * kSamples);
            Rgb src = Scale(sum, 1.0 / (kSamples * kSamples));
            std::size_t i = Index(x, y);
            colour_[i] = Mix(colour_[i], {0, 0, 0}, a);
            colour_[i] = {colour_[i].r + src.r, colour_[i].g + src.g, colour_[i].b + src.b};
            if (a >= 0.5 || coverage_[i] == 0) ink_[i] = ink;
            coverage_[i] = a + coverage_[i] * (1 - a);
        }
    }
}

namespace {

struct PaletteTable {
    std::vector<std::array<uint8_t, 3>> colours;
    // The first and one past the last entry of each ink's ramp.
    std::array<std::array<std::size_t, 2>, 5> ranges;
};

const PaletteTable& Table() {
    static const PaletteTable table = [] {
        PaletteTable t;
        auto& p = t.colours;
        p = {{0, 0, 0}, {0, 0, 255}};
        auto range = [&](Ink ink, std::size_t iFirst) {
            t.ranges[static_cast<std::size_t>(ink)] = {iFirst, p.size()};
        };
        // The white-on-black lettering greys, shared with the lettering sheets, and the
        // steps half-way between the darker ones for the cells' shallow shading.
        std::size_t iFirst = p.size();
        for (int k = 1; k <= 14; ++k)
            p.push_back({static_cast<uint8_t>(17 * k), static_cast<uint8_t>(17 * k),
                         static_cast<uint8_t>(17 * k)});
        for (int k = 0; k < 9; ++k) {
            auto v = static_cast<uint8_t>(17 * k + 8);
            p.push_back({v, v, v});
        }
        range(Ink::Grey, iFirst);
        const std::pair<Ink, Rgb> ramps[] = {
            {Ink::Blue, kBlueBase}, {Ink::Red, kRedBase}, {Ink::Green, kGreenBase}};
        for (const auto& [ink, base] : ramps) {
            iFirst = p.size();
            AddRamp(&p, base, 28, 12);
            range(ink, iFirst);
        }
        iFirst = p.size();
        AddRamp(&p, kRippleBase, 12, 0);
        range(Ink::Ripple, iFirst);
        p.resize(256, {0, 0, 0});
        p[255] = {255, 255, 255};
        return t;
    }();
    return table;
}

} // namespace

const std::vector<std::array<uint8_t, 3>>& SheetPalette() {
    return Table().colours;
}

uint8_t Quantise(Rgb c, Ink ink) {
    const PaletteTable& t = Table();
    int r = static_cast<int>(std::lround(Clamp01(c.r / 255) * 255));
    int g = static_cast<int>(std::lround(Clamp01(c.g / 255) * 255));
    int b = static_cast<int>(std::lround(Clamp01(c.b / 255) * 255));
    uint8_t best = kBlack;
    long bestDistance = 3L * r * r + 4L * g * g + 2L * b * b;
    const auto [iFirst, iEnd] = t.ranges[static_cast<std::size_t>(ink)];
    for (std::size_t i = iFirst; i < iEnd; ++i) {
        long dr = t.colours[i][0] - r, dg = t.colours[i][1] - g, db = t.colours[i][2] - b;
        // Weighted for the eye: green counts most, blue least.
        long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<uint8_t>(i);
        }
    }
    return best;
}

std::vector<uint8_t> Flatten(const Canvas& canvas, Background background) {
    std::vector<uint8_t> out;
    out.reserve(static_cast<std::size_t>(canvas.Width()) * canvas.Height());
    for (int y = 0; y < canvas.Height(); ++y) {
        for (int x = 0; x < canvas.Width(); ++x) {
            uint8_t n = Quantise(canvas.Colour(x, y), canvas.InkAt(x, y));
            if (background != Background::Opaque && canvas.Coverage(x, y) < kMinCoverage) n = kKey;
            if (background == Background::KeyedDark && n == kBlack) n = kKey;
            out.push_back(n);
        }
    }
    return out;
}

} // namespace art
