// The art generator's drawing: shapes rendered with 4 x 4 supersampling into a canvas of
// coverage and colour, then flattened against black and quantised to the shared palette.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace art {

struct Rgb {
    double r = 0;
    double g = 0;
    double b = 0;
};

Rgb Mix(Rgb a, Rgb b, double t); // a at 0, b at 1
Rgb Scale(Rgb a, double k);

// The materials; the palette holds a ramp of each, and a pixel is quantised to its own
// material's ramp so that dim shades and highlights keep their hue.
enum class Ink : uint8_t { Grey, Blue, Red, Green, Ripple };
constexpr Rgb kBlueBase = {45, 95, 240};
constexpr Rgb kRedBase = {225, 45, 40};
constexpr Rgb kGreenBase = {50, 190, 60};
constexpr Rgb kRippleBase = {44, 62, 96}; // deep blue-grey
constexpr Rgb kCellGrey = {68, 68, 70};

// Where a point lies inside a shape, and its colour there; false outside.
using Shader = std::function<bool(double x, double y, Rgb* pColour)>;

// Light from the upper left and in front, for every shaded surface.
Rgb Lit(Rgb base, double nx, double ny, double nz, double shininess = 1.0);

// Shapes; coordinates are continuous, pixel (x, y) covering [x, x + 1) x [y, y + 1).
Shader Ball(double cx, double cy, double r, Rgb base);
// A torus seen from above between radii r0 and r1.
Shader Ring(double cx, double cy, double r0, double r1, Rgb base);
// A concave dimple: lit like a ball turned inside out.
Shader Hollow(double cx, double cy, double r, Rgb base);
// A round-ended bar (capsule) from (x0, y0) to (x1, y1), shaded as a tube.
Shader Bar(double x0, double y0, double x1, double y1, double halfWidth, Rgb base);
// A filled polygon with a bevelled rim of the given width.
Shader Polygon(std::vector<std::array<double, 2>> points, double bevel, Rgb base);
// A soft ring: full colour at radius r, fading to nothing halfWidth away on either side.
Shader SoftRing(double cx, double cy, double r, double halfWidth, Rgb base);

class Canvas {
public:
    Canvas(int cx, int cy);
    int Width() const { return cx_; }
    int Height() const { return cy_; }
    // Paints the shape over what is there, within the rectangle (clipped to the canvas).
    // A pixel takes the ink of the shape that covers it most recently by half or more.
    void Paint(const Shader& shape, Ink ink, int left, int top, int right, int bottom);
    void Paint(const Shader& shape, Ink ink) { Paint(shape, ink, 0, 0, cx_, cy_); }
    // Colour against black (premultiplied) and coverage, 0 to 1.
    Rgb Colour(int x, int y) const { return colour_[Index(x, y)]; }
    double Coverage(int x, int y) const { return coverage_[Index(x, y)]; }
    Ink InkAt(int x, int y) const { return ink_[Index(x, y)]; }

private:
    std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y) * cx_ + x; }
    int cx_;
    int cy_;
    std::vector<Rgb> colour_;
    std::vector<double> coverage_;
    std::vector<Ink> ink_;
};

// The colour table every sheet carries: 0 black, 1 the transparent key RGB(0, 0, 255),
// then the generator's colours, the rest black up to 255, which is white.
constexpr uint8_t kBlack = 0;
constexpr uint8_t kKey = 1;
const std::vector<std::array<uint8_t, 3>>& SheetPalette();
// Index of the nearest colour among black and the ink's ramp; never the key.
uint8_t Quantise(Rgb c, Ink ink);
// Pixels under this coverage are left transparent.
constexpr double kMinCoverage = 0.1;
enum class Background {
    Opaque,    // every pixel is the colour against black
    Keyed,     // kKey where (nearly) nothing was painted
    KeyedDark, // also kKey where the colour comes out black, so faint glows never hide
               // what lies behind them
};
std::vector<uint8_t> Flatten(const Canvas& canvas, Background background);

} // namespace art
