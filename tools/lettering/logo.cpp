// The animated title shown while the game loads: the letters of "Kelvano" drop in one after
// another (frames 0 to 12, played fast, 12 held), then a shine sweeps across them while a
// blue and a red ball roll in from the sides and come to rest touching beneath the title
// (frames 13 to 19, played at half speed, 19 held while loading).
#include "tools/lettering/lettering.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace lettering {

namespace {

constexpr char kTitle[] = "Kelvano";
constexpr int kTitlePpem = 46;
constexpr int kBaseline = 54;
constexpr int kFastFrames = 13; // frames 0 to 12
constexpr double kBallRadius = 9.5;
constexpr double kBallY = 74.5;

struct Color3 {
    double r = 0, g = 0, b = 0;
};

Color3 Lerp(Color3 a, Color3 b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

struct Canvas {
    int cx, cy;
    std::vector<Color3> px;
    Canvas(int cxNew, int cyNew) : cx(cxNew), cy(cyNew), px(static_cast<size_t>(cx) * cy) {}
    // Blends c over the pixel with opacity a; outside the canvas nothing happens.
    void Over(int x, int y, Color3 c, double a) {
        if (x < 0 || y < 0 || x >= cx || y >= cy || a <= 0) return;
        Color3& d = px[static_cast<size_t>(y) * cx + x];
        d = Lerp(d, c, std::min(a, 1.0));
    }
};

double Ease(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return 1 - (1 - t) * (1 - t);
}

// A letter's coverage grown by about a pixel and a half: its dark outline.
Coverage Outline(const Coverage& cov, int cGrow) {
    Coverage out;
    out.cx = cov.cx + 2 * cGrow;
    out.cy = cov.cy + 2 * cGrow;
    out.a.assign(static_cast<size_t>(out.cx) * out.cy, 0);
    for (int y = 0; y < out.cy; ++y) {
        for (int x = 0; x < out.cx; ++x) {
            double best = 0;
            for (int dy = -cGrow; dy <= cGrow; ++dy) {
                for (int dx = -cGrow; dx <= cGrow; ++dx) {
                    int xs = x - cGrow + dx, ys = y - cGrow + dy;
                    if (xs < 0 || ys < 0 || xs >= cov.cx || ys >= cov.cy) continue;
                    double fall = std::clamp(cGrow + 0.5 - std::hypot(dx, dy), 0.0, 1.0);
                    best = std::max(best, cov.At(xs, ys) * fall);
                }
            }
            out.a[static_cast<size_t>(y) * out.cx + x] = static_cast<uint8_t>(std::lround(best));
        }
    }
    return out;
}

// A shaded ball lit from the upper left, sampled 4 x 4 times a pixel.
void DrawBall(Canvas* pCanvas, double xc, double yc, Color3 base) {
    constexpr int kSub = 4;
    const double lx = -0.45, ly = -0.6, lz = 0.66; // towards the light, unit length
    for (int y = static_cast<int>(yc - kBallRadius - 1);
         y <= static_cast<int>(yc + kBallRadius + 1); ++y) {
        for (int x = static_cast<int>(xc - kBallRadius - 1);
             x <= static_cast<int>(xc + kBallRadius + 1); ++x) {
            Color3 sum;
            int cIn = 0;
            for (int j = 0; j < kSub; ++j) {
                for (int i = 0; i < kSub; ++i) {
                    double nx = (x + (i + 0.5) / kSub - xc) / kBallRadius;
                    double ny = (y + (j + 0.5) / kSub - yc) / kBallRadius;
                    double r2 = nx * nx + ny * ny;
                    if (r2 > 1) continue;
                    double nz = std::sqrt(1 - r2);
                    double diffuse = std::max(0.0, nx * lx + ny * ly + nz * lz);
                    // Half-way vector between the light and the viewer.
                    double hx = lx, hy = ly, hz = lz + 1,
                           hl = std::sqrt(hx * hx + hy * hy + hz * hz);
                    double highlight =
                        std::pow(std::max(0.0, (nx * hx + ny * hy + nz * hz) / hl), 24);
                    double s = 0.22 + 0.85 * diffuse;
                    Color3 c{base.r * s, base.g * s, base.b * s};
                    c = Lerp(c, {255, 255, 255}, std::min(1.0, highlight * 0.9));
                    sum.r += c.r, sum.g += c.g, sum.b += c.b;
                    ++cIn;
                }
            }
            if (cIn == 0) continue;
            pCanvas->Over(x, y, {sum.r / cIn, sum.g / cIn, sum.b / cIn}, cIn / double(kSub * kSub));
        }
    }
}

uint8_t ToByte(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

} // namespace

bool LogoPicture(const Font& bold, Picture* pOut, std::string* pError) {
    std::vector<Font::Letter> letters;
    int cxTitle = 0;
    if (!bold.Letters(kTitle, kTitlePpem, &letters, &cxTitle) || cxTitle > kLogoWidth - 8) {
        *pError = "the logo's title does not fit or has a character the font lacks";
        return false;
    }
    const int x0 = (kLogoWidth - cxTitle) / 2;
    const int capHeight = bold.CapHeight(kTitlePpem);
    constexpr int kGrow = 2;
    std::vector<Coverage> outlines;
    for (const Font::Letter& l : letters)
        outlines.push_back(Outline(l.cov, kGrow));

    const Color3 fillTop{255, 244, 170}, fillBottom{236, 128, 24}, rim{70, 24, 6};
    *pOut = Picture(kLogoWidth, kLogoFrameHeight * kLogoFrames, kBlack);
    for (int f = 0; f < kLogoFrames; ++f) {
        Canvas canvas(kLogoWidth, kLogoFrameHeight);
        // 0 before the second half starts, then 0 to 1 over frames 13 to 19.
        double t =
            f < kFastFrames ? 0 : (f - (kFastFrames - 1)) / double(kLogoFrames - kFastFrames);
        double xShine = -40 + t * (cxTitle + 90);
        for (size_t j = 0; j < letters.size(); ++j) {
            const Font::Letter& l = letters[j];
            // Each letter drops in over seven frames, a frame after the one before, so that
            // the last lands on frame 12 and not before.
            double p = f >= kFastFrames - 1 ? 1.0 : (f + 1 - static_cast<double>(j)) / 7.0;
            if (p <= 0) continue;
            double e = Ease(p);
            double alpha = std::min(1.0, p * 1.6);
            int dy = static_cast<int>(std::lround(-(1 - e) * 60));
            int xl = x0 + l.x, yl = kBaseline + l.y + dy;
            const Coverage& o = outlines[j];
            for (int y = 0; y < o.cy; ++y)
                for (int x = 0; x < o.cx; ++x)
                    canvas.Over(xl - kGrow + x, yl - kGrow + y, rim, o.At(x, y) / 255.0 * alpha);
            for (int y = 0; y < l.cov.cy; ++y) {
                for (int x = 0; x < l.cov.cx; ++x) {
                    double a = l.cov.At(x, y) / 255.0 * alpha;
                    if (a <= 0) continue;
                    double v = std::clamp((kBaseline + l.y + y - (kBaseline - capHeight)) /
                                              double(capHeight),
                                          0.0, 1.0);
                    Color3 c = Lerp(fillTop, fillBottom, v);
                    // A diagonal band of light crossing the letters.
                    double d = (xl + x - x0) - xShine + (yl + y - kBaseline) * 0.45;
                    double shine = t > 0 ? std::max(0.0, 1 - std::abs(d) / 12) : 0;
                    c = Lerp(c, {255, 255, 255}, shine * shine * 0.95);
                    canvas.Over(xl + x, yl + y, c, a);
                }
            }
        }
        if (t > 0) {
            // The balls roll in and come to rest touching under the middle of the title.
            double e = Ease(t);
            double travel = kLogoWidth / 2.0 + kBallRadius;
            DrawBall(&canvas, kLogoWidth / 2.0 - kBallRadius - (1 - e) * travel, kBallY,
                     {40, 96, 235});
            DrawBall(&canvas, kLogoWidth / 2.0 + kBallRadius + (1 - e) * travel, kBallY,
                     {228, 44, 36});
        }
        for (int y = 0; y < canvas.cy; ++y) {
            for (int x = 0; x < canvas.cx; ++x) {
                const Color3& c = canvas.px[static_cast<size_t>(y) * canvas.cx + x];
                pOut->At(x, f * kLogoFrameHeight + y) = {ToByte(c.r), ToByte(c.g), ToByte(c.b)};
            }
        }
    }
    *pOut = Quantize(*pOut, 255);
    return true;
}

// ---------------------------------------------------------------------------------------
// Median cut

namespace {

uint32_t Key(Rgb c) {
    return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
}

uint8_t Channel(uint32_t k, int i) {
    return static_cast<uint8_t>(k >> (16 - 8 * i));
}

struct Box {
    std::vector<std::pair<uint32_t, uint32_t>> colours; // colour, pixel count
    int iWidest = 0;
    int range = 0;
    double count = 0;

    void Measure() {
        range = 0;
        count = 0;
        for (int i = 0; i < 3; ++i) {
            int lo = 255, hi = 0;
            for (const auto& [k, n] : colours) {
                lo = std::min<int>(lo, Channel(k, i));
                hi = std::max<int>(hi, Channel(k, i));
            }
            if (hi - lo > range) range = hi - lo, iWidest = i;
        }
        for (const auto& entry : colours)
            count += entry.second;
    }
};

} // namespace

Picture Quantize(const Picture& picture, int cMax) {
    std::map<uint32_t, uint32_t> histogram;
    for (const Rgb& c : picture.px)
        if (c != kBlack && c != kWhite) ++histogram[Key(c)];
    const int cFree = std::max(1, cMax - 2);
    if (static_cast<int>(histogram.size()) <= cFree) return picture;

    std::vector<Box> boxes(1);
    boxes[0].colours.assign(histogram.begin(), histogram.end());
    boxes[0].Measure();
    while (static_cast<int>(boxes.size()) < cFree) {
        // The box whose colours spread widest, weighted by how many pixels it stands for.
        int iBest = -1;
        double best = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            double score = boxes[i].range * std::sqrt(boxes[i].count);
            if (boxes[i].colours.size() > 1 && score > best)
                best = score, iBest = static_cast<int>(i);
        }
        if (iBest < 0) break;
        Box& box = boxes[iBest];
        int iChannel = box.iWidest;
        std::stable_sort(box.colours.begin(), box.colours.end(), [&](const auto& a, const auto& b) {
            return Channel(a.first, iChannel) < Channel(b.first, iChannel);
        });
        double half = box.count / 2, sum = 0;
        size_t iSplit = 1;
        for (; iSplit < box.colours.size() - 1; ++iSplit) {
            sum += box.colours[iSplit - 1].second;
            if (sum >= half) break;
        }
        Box upper;
        upper.colours.assign(box.colours.begin() + static_cast<ptrdiff_t>(iSplit),
                             box.colours.end());
        box.colours.resize(iSplit);
        box.Measure();
        upper.Measure();
        boxes.push_back(std::move(upper));
    }

    std::vector<Rgb> palette{kBlack, kWhite};
    for (const Box& box : boxes) {
        double s[3] = {};
        for (const auto& [k, n] : box.colours)
            for (int i = 0; i < 3; ++i)
                s[i] += Channel(k, i) * double(n);
        palette.push_back(
            {ToByte(s[0] / box.count), ToByte(s[1] / box.count), ToByte(s[2] / box.count)});
    }
    std::map<uint32_t, Rgb> nearest;
    Picture out = picture;
    for (Rgb& c : out.px) {
        auto [it, fNew] = nearest.try_emplace(Key(c));
        if (fNew) {
            int dBest = 1 << 30;
            for (const Rgb& p : palette) {
                int dr = p.r - c.r, dg = p.g - c.g, db = p.b - c.b;
                int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
                if (d < dBest) dBest = d, it->second = p;
            }
        }
        c = it->second;
    }
    return out;
}

} // namespace lettering
