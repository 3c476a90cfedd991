#include "tools/skinart/skinart.h"

#include "tools/zipwriter/zipwriter.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace skinart {
namespace {

struct Rgb {
    double r = 0;
    double g = 0;
    double b = 0;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// White windows, black text, blue accents; red only for the alert.
constexpr Rgb kWhite = {255, 255, 255};
constexpr Rgb kPale = {218, 228, 250};
constexpr Rgb kSoft = {141, 164, 232}; // the edit's selection
constexpr Rgb kAccent = {60, 100, 220};
constexpr Rgb kBright = {70, 140, 250};
constexpr Rgb kDeep = {25, 45, 130};
constexpr Rgb kSlate = {150, 155, 165};
constexpr Rgb kRedLight = {235, 85, 70};
constexpr Rgb kRed = {200, 40, 35};
constexpr Rgb kRedDark = {125, 20, 18};

// Where a point lies inside a shape, and its colour there; false outside.
using Shader = std::function<bool(double x, double y, Rgb* pColour)>;

// Colours with coverage, painted with 4 x 4 samples a pixel.
class Canvas {
public:
    Canvas(int cx, int cy)
        : cx_(cx), cy_(cy), colour_(static_cast<std::size_t>(cx) * cy, kWhite),
          alpha_(colour_.size(), 0.0) {}
    int Width() const { return cx_; }
    int Height() const { return cy_; }
    Rgb Colour(int x, int y) const { return colour_[Index(x, y)]; }
    double Alpha(int x, int y) const { return alpha_[Index(x, y)]; }

    void Paint(const Shader& shape) {
        constexpr int kSamples = 4;
        for (int y = 0; y < cy_; ++y) {
            for (int x = 0; x < cx_; ++x) {
                Rgb sum;
                int cInside = 0;
                for (int s = 0; s < kSamples * kSamples; ++s) {
                    Rgb c;
                    if (!shape(x + (s % kSamples + 0.5) / kSamples,
                               y + (s / kSamples + 0.5) / kSamples, &c))
                        continue;
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                    ++cInside;
                }
                if (cInside == 0) continue;
                double a = static_cast<double>(cInside) / (kSamples * kSamples);
                Rgb src = {sum.r / cInside, sum.g / cInside, sum.b / cInside};
                std::size_t i = Index(x, y);
                double aOut = a + alpha_[i] * (1 - a);
                colour_[i] = Mix(colour_[i], src, a / aOut);
                alpha_[i] = aOut;
            }
        }
    }

private:
    std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y) * cx_ + x; }
    int cx_;
    int cy_;
    std::vector<Rgb> colour_;
    std::vector<double> alpha_;
};

// Depth of a point inside a rounded rectangle, negative outside.
double Depth(double x, double y, double l, double t, double r, double b, double radius) {
    double px = std::min(x - l, r - x), py = std::min(y - t, b - y);
    if (px < radius && py < radius) return radius - std::hypot(radius - px, radius - py);
    return std::min(px, py);
}

// A rounded rectangle coloured by depth and position.
Shader Panel(double l, double t, double r, double b, double radius,
             std::function<Rgb(double d, double x, double y)> colour) {
    return [=](double x, double y, Rgb* pc) {
        double d = Depth(x, y, l, t, r, b, radius);
        if (d < 0) return false;
        *pc = colour(d, x, y);
        return true;
    };
}

Shader Disc(double cx, double cy, double radius, std::function<Rgb(double d, double y)> colour) {
    return [=](double x, double y, Rgb* pc) {
        double d = radius - std::hypot(x - cx, y - cy);
        if (d < 0) return false;
        *pc = colour(d, y);
        return true;
    };
}

// A round-ended stroke from (x0, y0) to (x1, y1).
Shader Stroke(double x0, double y0, double x1, double y1, double halfWidth, Rgb colour) {
    return [=](double x, double y, Rgb* pc) {
        double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? std::clamp(((x - x0) * dx + (y - y0) * dy) / len2, 0.0, 1.0) : 0;
        if (std::hypot(x - x0 - t * dx, y - y0 - t * dy) > halfWidth) return false;
        *pc = colour;
        return true;
    };
}

Shader Polygon(std::vector<std::array<double, 2>> points, Rgb colour) {
    return [=](double x, double y, Rgb* pc) {
        bool fInside = false;
        for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
            const auto& a = points[i];
            const auto& b = points[j];
            if ((a[1] > y) != (b[1] > y) && x < (b[0] - a[0]) * (y - a[1]) / (b[1] - a[1]) + a[0])
                fInside = !fInside;
        }
        if (fInside) *pc = colour;
        return fInside;
    };
}

// Part of a ring, from angle a0 to a1 in degrees (clockwise on screen, 0 to the right).
Shader Arc(double cx, double cy, double radius, double halfWidth, double a0, double a1,
           Rgb colour) {
    return [=](double x, double y, Rgb* pc) {
        if (std::abs(std::hypot(x - cx, y - cy) - radius) > halfWidth) return false;
        double a = std::atan2(y - cy, x - cx) * 180 / M_PI;
        while (a < a0)
            a += 360;
        if (a > a1) return false;
        *pc = colour;
        return true;
    };
}

Rgb Vertical(Rgb top, Rgb bottom, double y, double t, double b) {
    return Mix(top, bottom, std::clamp((y - t) / (b - t), 0.0, 1.0));
}

// The four states of a control, in the skin's row order: disabled, enabled, hot, pressed.
struct Look {
    Rgb outline;
    Rgb top;
    Rgb bottom;
    Rgb glyph;
};
constexpr Look kLooks[4] = {
    {{178, 182, 190}, {247, 248, 250}, {229, 231, 236}, {170, 175, 186}},
    {kAccent, kWhite, kPale, kAccent},
    {kBright, {242, 247, 255}, {188, 210, 252}, kBright},
    {kDeep, {168, 190, 240}, {222, 231, 251}, kDeep},
};
// The stronger fills of scroll thumbs.
constexpr Look kThumbs[4] = {
    {{170, 175, 186}, {222, 225, 231}, {200, 204, 212}, {246, 247, 250}},
    {kDeep, {120, 150, 235}, kAccent, kWhite},
    {kAccent, {140, 180, 255}, kBright, kWhite},
    {kDeep, kAccent, kDeep, kPale},
};

// A button face over [l, r) x [t, b): a one-pixel outline round a gradient.
Shader Face(double l, double t, double r, double b, double radius, const Look& look) {
    return Panel(l, t, r, b, radius, [=](double d, double, double y) {
        return d < 1 ? look.outline : Vertical(look.top, look.bottom, y, t, b);
    });
}

// The window frame's rim, by depth from the outer edge: a dark line, a blue band lit along its
// middle, a soft line, then the window's white.
Rgb Rim(double d) {
    if (d < 1) return kDeep;
    if (d < 7) return Mix(kAccent, Mix(kAccent, kWhite, 0.5), std::sin((d - 1) / 6 * M_PI));
    if (d < 8) return kSoft;
    return kWhite;
}

constexpr double kFrameRadius = 16;

void DrawFramePiece(Canvas* c, double l, double t, double r, double b) {
    c->Paint(Panel(l, t, r, b, kFrameRadius, [](double d, double, double) { return Rim(d); }));
}

// The close box: a blue disc with a white cross; normal, hot, pressed.
void DrawCloseBox(Canvas* c) {
    static const Rgb kFill[3] = {kAccent, kBright, kDeep};
    static const Rgb kRing[3] = {kDeep, kAccent, kDeep};
    for (int s = 0; s < 3; ++s) {
        double cy = 20 * s + 10, k = s == 2 ? 0.5 : 0;
        c->Paint(Disc(10, cy, 7.5, [=](double d, double) { return d < 1 ? kRing[s] : kFill[s]; }));
        c->Paint(Stroke(7 + k, cy - 3 + k, 13 + k, cy + 3 + k, 1.1, kWhite));
        c->Paint(Stroke(13 + k, cy - 3 + k, 7 + k, cy + 3 + k, 1.1, kWhite));
    }
}

void DrawPushButton(Canvas* c) {
    for (int s = 0; s < 4; ++s)
        c->Paint(Face(0, 24 * s, 36, 24 * s + 24, 7, kLooks[s]));
}

// Radio buttons, check boxes and list items: one column unchecked, one checked.
void DrawMarks(Canvas* c, const std::string& name, int size) {
    for (int s = 0; s < 4; ++s) {
        const Look& look = kLooks[s];
        for (int col = 0; col < 2; ++col) {
            double x0 = size * col, y0 = size * s, m = size / 2.0;
            if (name == "rbutton") {
                c->Paint(Disc(x0 + m, y0 + m, 6.5, [=](double d, double y) {
                    return d < 1.2 ? look.outline
                                   : Vertical(look.top, look.bottom, y, y0, y0 + size);
                }));
                if (col == 1)
                    c->Paint(Disc(x0 + m, y0 + m, 3, [=](double, double) { return look.glyph; }));
            } else if (name == "cbutton") {
                c->Paint(Face(x0 + 1.5, y0 + 1.5, x0 + 14.5, y0 + 14.5, 3, look));
                if (col == 1) {
                    c->Paint(Stroke(x0 + 4.5, y0 + 8.5, x0 + 7, y0 + 11, 1.25, look.glyph));
                    c->Paint(Stroke(x0 + 7, y0 + 11, x0 + 11.5, y0 + 5, 1.25, look.glyph));
                }
            } else if (col == 0) { // list item: a hollow bullet, filled when selected
                c->Paint(Disc(x0 + m, y0 + m, 4,
                              [=](double d, double) { return d < 1.2 ? look.outline : kWhite; }));
            } else {
                c->Paint(Disc(x0 + m, y0 + m, 4.5, [=](double d, double) {
                    return d < 1.2 ? look.outline : look.glyph;
                }));
            }
        }
    }
}

// Left cap, empty track, filled track, right cap.
void DrawProgressBar(Canvas* c) {
    c->Paint(Panel(0, 1, 32, 15, 6, [](double d, double x, double y) {
        if (d < 1) return kAccent;
        if (x >= 16 && x < 24) return Vertical(kBright, kAccent, y, 1, 15);
        return Vertical(kWhite, kPale, y, 1, 15);
    }));
}

// One part of a vertical scroll bar in a 16 x 16 cell at the origin: 0 up arrow, 1 track,
// 2 thumb, 3 down arrow.
Shader ScrollPart(int nPart, int nState) {
    const Look& look = kLooks[nState];
    if (nPart == 1) {
        static const Rgb kChannel[4] = {{240, 241, 244}, kPale, {200, 216, 252}, kSoft};
        Rgb fill = kChannel[nState], edge = nState == 0 ? Rgb{205, 208, 214} : kSoft;
        Shader channel = Panel(4, -100, 12, 116, 3,
                               [=](double d, double, double) { return d < 1 ? edge : fill; });
        return [=](double x, double y, Rgb* pc) {
            if (!channel(x, y, pc)) *pc = kWhite;
            return true;
        };
    }
    if (nPart == 2) {
        const Look& thumb = kThumbs[nState];
        Shader face = Face(2, 1, 14, 15, 5, thumb);
        return [=](double x, double y, Rgb* pc) {
            if (!face(x, y, pc)) return false;
            bool fGrip = x >= 5.5 && x < 10.5 && std::fmod(y + 0.5, 2.5) < 1 && y > 5 && y < 11;
            if (fGrip) *pc = thumb.glyph;
            return true;
        };
    }
    Shader face = Face(1, 1, 15, 15, 4, look);
    Shader arrow = nPart == 0 ? Polygon({{8, 4.5}, {12.5, 10}, {3.5, 10}}, look.glyph)
                              : Polygon({{8, 11.5}, {12.5, 6}, {3.5, 6}}, look.glyph);
    return [=](double x, double y, Rgb* pc) {
        if (!face(x, y, pc)) return false;
        arrow(x, y, pc);
        return true;
    };
}

void DrawScrollBar(Canvas* c, bool fVertical) {
    for (int part = 0; part < 4; ++part) {
        for (int state = 0; state < 4; ++state) {
            Shader cell = ScrollPart(part, state);
            // Rows are the parts and columns the states; the horizontal bar is the transpose.
            double x0 = 16 * state, y0 = 16 * part;
            if (!fVertical) std::swap(x0, y0);
            c->Paint([=](double x, double y, Rgb* pc) {
                double u = x - x0, v = y - y0;
                if (u < 0 || u >= 16 || v < 0 || v >= 16) return false;
                return fVertical ? cell(u, v, pc) : cell(v, u, pc);
            });
        }
    }
}

// Edit and list frames: nine cells of a rounded box, white inside.
void DrawBox(Canvas* c, Rgb outline, Rgb inner) {
    c->Paint(Panel(0, 0, 18, 18, 4, [=](double d, double, double) {
        return d < 1 ? outline : d < 2 ? inner : kWhite;
    }));
}

// A round badge with a white sign drawn from strokes and dots.
void DrawIcon(Canvas* c, char chSign) {
    Rgb top = chSign == '!' ? kRedLight : kBright;
    Rgb bottom = chSign == '!' ? kRed : kAccent;
    Rgb ring = chSign == '!' ? kRedDark : kDeep;
    c->Paint(Disc(16, 16, 14.5, [=](double d, double y) {
        return d < 1.2 ? ring : Vertical(top, bottom, y, 2, 30);
    }));
    auto dot = [&](double y) { c->Paint(Disc(16, y, 2.2, [](double, double) { return kWhite; })); };
    if (chSign == '!') {
        c->Paint(Stroke(16, 8, 16, 18.5, 1.9, kWhite));
        dot(23.5);
    } else if (chSign == 'i') {
        dot(8.5);
        c->Paint(Stroke(16, 13.5, 16, 24, 1.9, kWhite));
    } else {
        c->Paint(Arc(16, 12, 5, 1.8, 180, 400, kWhite));
        c->Paint(Stroke(19.8, 15.2, 16, 17.8, 1.8, kWhite));
        c->Paint(Stroke(16, 17.8, 16, 19, 1.8, kWhite));
        dot(24);
    }
}

// The signs of the Install and Rescan faces, centred on (cx, cy) in a square of side s
// (18 on the faces).
void DrawSign(Canvas* c, bool fInstall, double cx, double cy, double s, Rgb colour) {
    double k = s / 18;
    if (fInstall) {
        // An arrow down into a tray.
        c->Paint(Stroke(cx, cy - 7.5 * k, cx, cy + 1 * k, 1.6 * k, colour));
        c->Paint(Polygon({{cx - 5 * k, cy - 1 * k}, {cx + 5 * k, cy - 1 * k}, {cx, cy + 5 * k}},
                         colour));
        c->Paint(Stroke(cx - 6.5 * k, cy + 3 * k, cx - 6.5 * k, cy + 7.5 * k, 1.3 * k, colour));
        c->Paint(Stroke(cx - 6.5 * k, cy + 7.5 * k, cx + 6.5 * k, cy + 7.5 * k, 1.3 * k, colour));
        c->Paint(Stroke(cx + 6.5 * k, cy + 7.5 * k, cx + 6.5 * k, cy + 3 * k, 1.3 * k, colour));
        return;
    }
    // A circling arrow, clockwise, its head at the upper right.
    double r = 6 * k, a = -75 * M_PI / 180;
    c->Paint(Arc(cx, cy, r, 1.4 * k, 20, 285, colour));
    double px = cx + r * std::cos(a), py = cy + r * std::sin(a);
    double tx = -std::sin(a), ty = std::cos(a), nx = std::cos(a), ny = std::sin(a);
    c->Paint(Polygon({{px + 5 * k * tx, py + 5 * k * ty},
                      {px + 4 * k * nx - 1 * k * tx, py + 4 * k * ny - 1 * k * ty},
                      {px - 4 * k * nx - 1 * k * tx, py - 4 * k * ny - 1 * k * ty}},
                     colour));
}

// Install and Rescan faces: the push button's 3 x 4 grid of states, with the sign in the
// left cell.
void DrawSetupFace(Canvas* c, bool fInstall) {
    for (int s = 0; s < 4; ++s) {
        double y0 = 28 * s, k = s == 3 ? 1 : 0;
        c->Paint(Face(0, y0, 78, y0 + 28, 9, kLooks[s]));
        DrawSign(c, fInstall, 14 + k, y0 + 14 + k, 18, kLooks[s].glyph);
    }
}

// The main window's frame: opaque, a square dark edge round the rim, a light wash under the
// title.
void DrawMainFrame(Canvas* c) {
    const double w = c->Width(), h = c->Height();
    c->Paint(Panel(0, 0, w, h, 0, [](double, double, double) { return kDeep; }));
    c->Paint(Panel(0, 0, w, h, kFrameRadius, [=](double d, double, double y) {
        Rgb rim = Rim(d);
        if (d < 8) return rim;
        return Vertical(Mix(kPale, kWhite, 0.45), kWhite, y, 8, 76);
    }));
}

Canvas Draw(const PictureGrid& picture) {
    const std::string name = picture.pszName;
    Canvas c(picture.cColumns * picture.cxCell, picture.cRows * picture.cyCell);
    if (name == "frame-c") {
        DrawFramePiece(&c, 0, 0, 40, 40);
    } else if (name == "frame-lr") {
        DrawFramePiece(&c, 0, -1000, 40, 1000);
    } else if (name == "frame-tb") {
        DrawFramePiece(&c, -1000, 0, 1000, 40);
    } else if (name == "frame-x") {
        DrawCloseBox(&c);
    } else if (name == "background") {
        // White with a faint dot every 16 pixels.
        c.Paint([](double x, double y, Rgb* pc) {
            bool fDot = static_cast<int>(x) % 16 == 8 && static_cast<int>(y) % 16 == 8;
            *pc = fDot ? Rgb{238, 243, 253} : kWhite;
            return true;
        });
    } else if (name == "pbutton") {
        DrawPushButton(&c);
    } else if (name == "rbutton" || name == "cbutton" || name == "listitem") {
        DrawMarks(&c, name, picture.cxCell);
    } else if (name == "pbar") {
        DrawProgressBar(&c);
    } else if (name == "vscroll" || name == "hscroll") {
        DrawScrollBar(&c, name == "vscroll");
    } else if (name == "edit") {
        DrawBox(&c, kSoft, {236, 241, 252});
    } else if (name == "list") {
        DrawBox(&c, kAccent, kPale);
    } else if (name == "cursor") {
        c.Paint([](double, double, Rgb* pc) {
            *pc = kDeep;
            return true;
        });
    } else if (name == "icon-alert" || name == "icon-info" || name == "icon-question") {
        DrawIcon(&c, name == "icon-alert" ? '!' : name == "icon-info" ? 'i' : '?');
    } else if (name == "hover") {
        c.Paint(Panel(0, 0, 24, 24, 6, [](double d, double, double y) {
            return d < 1 ? kSoft : Vertical({236, 242, 254}, kPale, y, 0, 24);
        }));
    } else if (name == "graphic501") {
        DrawMainFrame(&c);
    } else if (name == "graphic502" || name == "graphic503") {
        DrawSetupFace(&c, name == "graphic502");
    }
    return c;
}

struct PaletteTable {
    std::vector<std::array<uint8_t, 3>> colours;
    std::size_t cUsed = 0; // entries past these are padding
};

const PaletteTable& Table() {
    static const PaletteTable table = [] {
        PaletteTable t;
        auto& p = t.colours;
        p = {{0, 0, 0}, {0, 0, 255}, {255, 255, 255}};
        auto add = [&](Rgb c) {
            std::array<uint8_t, 3> e = {static_cast<uint8_t>(std::lround(c.r)),
                                        static_cast<uint8_t>(std::lround(c.g)),
                                        static_cast<uint8_t>(std::lround(c.b))};
            if (e == std::array<uint8_t, 3>{0, 0, 255}) return;
            if (std::find(p.begin(), p.end(), e) == p.end()) p.push_back(e);
        };
        auto ramp = [&](Rgb a, Rgb b, int cSteps) {
            for (int k = 1; k < cSteps; ++k)
                add(Mix(a, b, static_cast<double>(k) / cSteps));
        };
        for (int k = 1; k < 16; ++k)
            add({16.0 * k, 16.0 * k, 16.0 * k});
        ramp(kWhite, kSlate, 14);
        ramp(kSlate, {40, 42, 48}, 6);
        const Rgb kBlues[] = {kWhite, kPale, kSoft, kAccent, kDeep, {0, 0, 0}};
        for (std::size_t i = 0; i + 1 < std::size(kBlues); ++i)
            ramp(kBlues[i], kBlues[i + 1], 9);
        ramp(kWhite, kBright, 12);
        ramp(kBright, kAccent, 5);
        ramp(kBright, kDeep, 6);
        ramp(kPale, kBright, 5);
        const Rgb kReds[] = {kWhite, kRedLight, kRed, kRedDark, {0, 0, 0}};
        for (std::size_t i = 0; i + 1 < std::size(kReds); ++i)
            ramp(kReds[i], kReds[i + 1], 6);
        for (Rgb c : {kPale, kSoft, kAccent, kBright, kDeep, kSlate, kRedLight, kRed, kRedDark})
            add(c);
        t.cUsed = p.size();
        p.resize(256, {0, 0, 0});
        return t;
    }();
    return table;
}

uint8_t Quantise(Rgb c) {
    const PaletteTable& t = Table();
    int r = static_cast<int>(std::lround(std::clamp(c.r, 0.0, 255.0)));
    int g = static_cast<int>(std::lround(std::clamp(c.g, 0.0, 255.0)));
    int b = static_cast<int>(std::lround(std::clamp(c.b, 0.0, 255.0)));
    uint8_t best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < t.cUsed; ++i) {
        if (i == kKey) continue;
        long dr = t.colours[i][0] - r, dg = t.colours[i][1] - g, db = t.colours[i][2] - b;
        // Weighted for the eye: green counts most, blue least.
        long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = static_cast<uint8_t>(i);
        }
    }
    return best;
}

// Pixels less than half covered are see-through in keyed pictures; the others keep their
// own colour, so edges have no fringe of whatever was behind them here.
std::vector<uint8_t> Flatten(const Canvas& c, bool fKeyed) {
    std::vector<uint8_t> out;
    out.reserve(static_cast<std::size_t>(c.Width()) * c.Height());
    std::map<std::array<long, 3>, uint8_t> cache;
    for (int y = 0; y < c.Height(); ++y) {
        for (int x = 0; x < c.Width(); ++x) {
            double a = c.Alpha(x, y);
            if (fKeyed && a < 0.5) {
                out.push_back(kKey);
                continue;
            }
            Rgb col = fKeyed ? c.Colour(x, y) : Mix(kWhite, c.Colour(x, y), a);
            std::array<long, 3> key = {std::lround(col.r), std::lround(col.g), std::lround(col.b)};
            auto it = cache.find(key);
            if (it == cache.end()) it = cache.emplace(key, Quantise(col)).first;
            out.push_back(it->second);
        }
    }
    return out;
}

} // namespace

const std::vector<PictureGrid>& SkinPictures() {
    static const std::vector<PictureGrid> pictures = {
        {"background", 1, 1, 32, 32, false},   {"cbutton", 2, 4, 16, 16, true},
        {"cursor", 1, 1, 2, 15, false},        {"edit", 3, 3, 6, 6, true},
        {"frame-c", 2, 2, 20, 20, true},       {"frame-lr", 2, 1, 20, 20, false},
        {"frame-tb", 1, 2, 20, 20, false},     {"frame-x", 1, 3, 20, 20, true},
        {"hover", 1, 1, 24, 24, true},         {"hscroll", 4, 4, 16, 16, true},
        {"icon-alert", 1, 1, 32, 32, true},    {"icon-info", 1, 1, 32, 32, true},
        {"icon-question", 1, 1, 32, 32, true}, {"list", 3, 3, 6, 6, true},
        {"listitem", 2, 4, 12, 12, true},      {"pbar", 4, 1, 8, 16, true},
        {"pbutton", 3, 4, 12, 24, true},       {"rbutton", 2, 4, 16, 16, true},
        {"vscroll", 4, 4, 16, 16, true},
    };
    return pictures;
}

const std::vector<PictureGrid>& SetupPictures() {
    // The Install and Rescan faces are the push button's 3 x 4 grid of states rather than
    // one still picture: a button then stretches them to its width and shows disabled, hot
    // and pressed like every other button. The left cell is as wide as the push button's
    // text margin and holds the sign; the cell height is the button's.
    static const std::vector<PictureGrid> pictures = {
        {"graphic501", 1, 1, kFrameWidth, kFrameHeight, false},
        {"graphic502", 3, 4, 26, 28, true},
        {"graphic503", 3, 4, 26, 28, true},
    };
    return pictures;
}

const PictureGrid* FindPicture(const std::string& name) {
    for (const auto* pList : {&SkinPictures(), &SetupPictures()})
        for (const PictureGrid& picture : *pList)
            if (name == picture.pszName) return &picture;
    return nullptr;
}

const std::vector<std::array<uint8_t, 3>>& Palette() {
    return Table().colours;
}

pspwriter::PspImage MakePicture(const PictureGrid& picture) {
    pspwriter::PspImage image;
    image.cx = picture.cColumns * picture.cxCell;
    image.cy = picture.cRows * picture.cyCell;
    image.palette = Palette();
    image.compression = pspwriter::Compression::Deflate;
    pspwriter::PspLayer layer;
    layer.name = "Background";
    layer.pixels = Flatten(Draw(picture), picture.fKeyed);
    image.layers.push_back(std::move(layer));
    return image;
}

std::string SkinText() {
    static const char* const kLines[][2] = {
        {"skin", "DEZ"},
        {"transparent color", "#0000FF"},
        {"background color", "#FFFFFF"},
        {"background layout", "tile"},
        {"font", "Arial,-14,I"},
        {"text color", "#000000"},
        {"disabled text color", "#6080E0"},
        {"frame border", "20"},
        {"proportional scrollbars", "0"},
        {"drag by background", "1"},
        {"frames per second", "10"},
        {"titlebar height", "0"},
        {"pbutton text lborder", "26"},
        {"pbutton text rborder", "0"},
        {"pbutton text tborder", "5"},
        {"pbutton text bborder", "0"},
        {"rbutton text lborder", "19"},
        {"cbutton text lborder", "19"},
        {"edit font", "Arial,-11,B"},
        {"edit text color", "#000000"},
        {"edit selected text color", "#FFFFFF"},
        {"edit selected text background color", "#8DA4E8"},
        {"edit text layout", "center"},
        {"edit text border", "3"},
        {"list selected text color", "#000000"},
        {"list text border", "10"},
    };
    std::string text;
    for (const auto& [key, value] : kLines)
        text += std::string(key) + " = " + value + "\r\n";
    return text;
}

std::string FileName(const PictureGrid& picture) {
    return std::string(picture.pszName) + ".psp";
}

std::vector<uint8_t> MakePackage() {
    zipwriter::ZipWriter zip;
    std::string text = SkinText();
    zip.AddDeflated("skin.txt",
                    std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    for (const PictureGrid& picture : SkinPictures()) {
        std::vector<uint8_t> bytes;
        pspwriter::WritePsp(MakePicture(picture), &bytes);
        zip.AddDeflated(FileName(picture), bytes);
    }
    return zip.Finish();
}

std::vector<pspwriter::IcoImage> MakeIcon() {
    std::vector<pspwriter::IcoImage> images;
    for (int size : {16, 32, 48}) {
        const double s = size;
        Canvas c(size, size);
        // A white box with a blue rim and the Install sign.
        c.Paint(
            Panel(0.04 * s, 0.04 * s, 0.96 * s, 0.96 * s, 0.2 * s, [=](double d, double, double y) {
                return d < std::max(1.0, 0.07 * s) ? kAccent : Vertical(kWhite, kPale, y, 0, s);
            }));
        DrawSign(&c, true, s / 2, s / 2, 0.72 * s, kDeep);
        pspwriter::IcoImage image;
        image.cx = image.cy = size;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                Rgb col = c.Colour(x, y);
                for (double v : {col.r, col.g, col.b, c.Alpha(x, y) * 255})
                    image.rgba.push_back(
                        static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))));
            }
        }
        images.push_back(std::move(image));
    }
    return images;
}

bool WriteAll(const std::string& folder, std::string* pError) {
    for (const auto* pList : {&SkinPictures(), &SetupPictures()})
        for (const PictureGrid& picture : *pList)
            if (!pspwriter::WritePspFile(MakePicture(picture), folder + "/" + FileName(picture),
                                         pError))
                return false;
    std::string text = SkinText();
    if (!pspwriter::WriteFileReplacing(std::vector<uint8_t>(text.begin(), text.end()),
                                       folder + "/skin.txt", pError))
        return false;
    if (!pspwriter::WriteFileReplacing(MakePackage(), folder + "/dez.zip", pError)) return false;
    return pspwriter::WriteIcoFile(MakeIcon(), folder + "/setup.ico", pError);
}

} // namespace skinart
