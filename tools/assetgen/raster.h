// A minimal anti-aliased software rasteriser: a float RGBA canvas, shapes
// described by signed distance functions, and "over" compositing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace assetgen {

struct Color {
    float r = 0, g = 0, b = 0, a = 1;
};

// Colour from 0xRRGGBB with an optional alpha.
Color hex(std::uint32_t rgb, float alpha = 1.0f);
Color mix(const Color& x, const Color& y, float t);
Color withAlpha(Color c, float alpha);
float clamp01(float v);
float smoothstep(float e0, float e1, float x);

// Signed distance in pixels: negative inside, positive outside.
using Sdf = std::function<float(float x, float y)>;
using Paint = std::function<Color(float x, float y)>;

struct Vec2 {
    float x = 0, y = 0;
};

namespace shape {
Sdf circle(float cx, float cy, float r);
// Ellipse rotated by `angle` radians (approximate distance, exact enough for edges).
Sdf ellipse(float cx, float cy, float rx, float ry, float angle = 0.0f);
Sdf roundRect(float x0, float y0, float x1, float y1, float radius);
// Thick stroke along a polyline, round caps and joins.
Sdf stroke(std::vector<Vec2> points, float halfWidth);
// Convex or concave polygon (even-odd inside test).
Sdf polygon(std::vector<Vec2> points);
// Region below the curve y = top(x), for terrain.
Sdf below(std::function<float(float)> top);
Sdf unite(Sdf a, Sdf b);
Sdf intersect(Sdf a, Sdf b);
Sdf subtract(Sdf a, Sdf b);
// Grows (positive) or shrinks (negative) a shape, used for outlines.
Sdf grow(Sdf s, float amount);
}  // namespace shape

Paint solid(Color c);
Paint verticalGradient(float y0, Color c0, float y1, Color c1);

// Smooth 2D value noise in [0, 1], fixed by its seed.
class ValueNoise {
public:
    explicit ValueNoise(std::uint64_t seed);
    float at(float x, float y) const;
    // Several octaves added together, still in [0, 1].
    float fractal(float x, float y, int octaves) const;

private:
    float lattice(int x, int y) const;
    std::vector<float> table_;
};

class Canvas {
public:
    Canvas(int width, int height);

    int width() const {
        return width_;
    }
    int height() const {
        return height_;
    }
    Color& at(int x, int y) {
        return pixels_[static_cast<std::size_t>(y) * width_ + x];
    }
    const Color& at(int x, int y) const {
        return pixels_[static_cast<std::size_t>(y) * width_ + x];
    }

    // Composites `paint` over the canvas where `sdf` is inside, with a one
    // pixel anti-aliased edge. `opacity` scales the whole layer.
    void fill(const Sdf& sdf, const Paint& paint, float opacity = 1.0f);
    // Paints every pixel (a background layer).
    void fillAll(const Paint& paint);
    // Mirrors the image top to bottom.
    void flipVertical();

    // Writes an RGBA PNG; fully transparent pixels get `matte` as colour so
    // that filtered scaling does not bleed odd colours at the edges.
    bool savePng(const std::string& path, Color matte) const;

private:
    void blend(int x, int y, const Color& c, float coverage);

    int width_;
    int height_;
    std::vector<Color> pixels_;
};

}  // namespace assetgen
