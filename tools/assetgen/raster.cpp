#include "raster.h"

#include "rng.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace assetgen {

Color hex(std::uint32_t rgb, float alpha) {
    return Color{static_cast<float>((rgb >> 16) & 0xFF) / 255.0f,
                 static_cast<float>((rgb >> 8) & 0xFF) / 255.0f,
                 static_cast<float>(rgb & 0xFF) / 255.0f, alpha};
}

Color mix(const Color& x, const Color& y, float t) {
    return Color{x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t,
                 x.a + (y.a - x.a) * t};
}

Color withAlpha(Color c, float alpha) {
    c.a = alpha;
    return c;
}

float clamp01(float v) {
    return std::min(1.0f, std::max(0.0f, v));
}

float smoothstep(float e0, float e1, float x) {
    const float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

namespace {

float segmentDistance(Vec2 p, Vec2 a, Vec2 b) {
    const float abx = b.x - a.x, aby = b.y - a.y;
    const float apx = p.x - a.x, apy = p.y - a.y;
    const float len2 = abx * abx + aby * aby;
    const float t = len2 > 0.0f ? std::clamp((apx * abx + apy * aby) / len2, 0.0f, 1.0f) : 0.0f;
    const float dx = apx - abx * t, dy = apy - aby * t;
    return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

namespace shape {

Sdf circle(float cx, float cy, float r) {
    return [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; };
}

Sdf ellipse(float cx, float cy, float rx, float ry, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return [=](float x, float y) {
        const float dx = x - cx, dy = y - cy;
        const float u = (dx * c + dy * s) / rx;
        const float v = (-dx * s + dy * c) / ry;
        const float k = std::sqrt(u * u + v * v);
        if (k < 1e-6f) {
            return -std::min(rx, ry);
        }
        // First-order correction: divide the implicit value by its gradient length.
        const float gu = u / (k * rx), gv = v / (k * ry);
        return (k - 1.0f) / std::sqrt(gu * gu + gv * gv);
    };
}

Sdf roundRect(float x0, float y0, float x1, float y1, float radius) {
    const float cx = (x0 + x1) * 0.5f, cy = (y0 + y1) * 0.5f;
    const float hx = (x1 - x0) * 0.5f - radius, hy = (y1 - y0) * 0.5f - radius;
    return [=](float x, float y) {
        const float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
        const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
        return std::hypot(ox, oy) + std::min(std::max(qx, qy), 0.0f) - radius;
    };
}

Sdf stroke(std::vector<Vec2> points, float halfWidth) {
    return [points = std::move(points), halfWidth](float x, float y) {
        float best = 1e9f;
        if (points.size() == 1) {
            best = std::hypot(x - points[0].x, y - points[0].y);
        }
        for (std::size_t i = 1; i < points.size(); ++i) {
            best = std::min(best, segmentDistance({x, y}, points[i - 1], points[i]));
        }
        return best - halfWidth;
    };
}

Sdf polygon(std::vector<Vec2> points) {
    return [points = std::move(points)](float x, float y) {
        float best = 1e9f;
        bool inside = false;
        const std::size_t n = points.size();
        for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
            const Vec2 a = points[j], b = points[i];
            best = std::min(best, segmentDistance({x, y}, a, b));
            if ((b.y > y) != (a.y > y) && x < (a.x - b.x) * (y - b.y) / (a.y - b.y) + b.x) {
                inside = !inside;
            }
        }
        return inside ? -best : best;
    };
}

Sdf below(std::function<float(float)> top) {
    return [top = std::move(top)](float x, float y) {
        const float h = top(x);
        const float slope = (top(x + 0.5f) - top(x - 0.5f));
        return (h - y) / std::sqrt(1.0f + slope * slope);
    };
}

Sdf unite(Sdf a, Sdf b) {
    return [a = std::move(a), b = std::move(b)](float x, float y) {
        return std::min(a(x, y), b(x, y));
    };
}

Sdf intersect(Sdf a, Sdf b) {
    return [a = std::move(a), b = std::move(b)](float x, float y) {
        return std::max(a(x, y), b(x, y));
    };
}

Sdf subtract(Sdf a, Sdf b) {
    return [a = std::move(a), b = std::move(b)](float x, float y) {
        return std::max(a(x, y), -b(x, y));
    };
}

Sdf grow(Sdf s, float amount) {
    return [s = std::move(s), amount](float x, float y) { return s(x, y) - amount; };
}

}  // namespace shape

Paint solid(Color c) {
    return [c](float, float) { return c; };
}

Paint verticalGradient(float y0, Color c0, float y1, Color c1) {
    return [=](float, float y) { return mix(c0, c1, clamp01((y - y0) / (y1 - y0))); };
}

ValueNoise::ValueNoise(std::uint64_t seed) : table_(256 * 256) {
    Rng rng(seed);
    for (float& v : table_) {
        v = static_cast<float>(rng.uniform());
    }
}

float ValueNoise::lattice(int x, int y) const {
    return table_[static_cast<std::size_t>((y & 255) * 256 + (x & 255))];
}

float ValueNoise::at(float x, float y) const {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const float tx = smoothstep(0.0f, 1.0f, x - fx), ty = smoothstep(0.0f, 1.0f, y - fy);
    const float top = lattice(ix, iy) + (lattice(ix + 1, iy) - lattice(ix, iy)) * tx;
    const float bottom = lattice(ix, iy + 1) + (lattice(ix + 1, iy + 1) - lattice(ix, iy + 1)) * tx;
    return top + (bottom - top) * ty;
}

float ValueNoise::fractal(float x, float y, int octaves) const {
    float sum = 0.0f, weight = 1.0f, total = 0.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += at(x, y) * weight;
        total += weight;
        x = x * 2.0f + 17.0f;
        y = y * 2.0f + 31.0f;
        weight *= 0.5f;
    }
    return sum / total;
}

Canvas::Canvas(int width, int height)
    : width_(width),
      height_(height),
      pixels_(static_cast<std::size_t>(width) * height, Color{0, 0, 0, 0}) {}

void Canvas::blend(int x, int y, const Color& c, float coverage) {
    const float srcA = clamp01(c.a * coverage);
    if (srcA <= 0.0f) {
        return;
    }
    Color& dst = at(x, y);
    const float outA = srcA + dst.a * (1.0f - srcA);
    const auto channel = [&](float s, float d) {
        return (s * srcA + d * dst.a * (1.0f - srcA)) / outA;
    };
    dst = Color{channel(c.r, dst.r), channel(c.g, dst.g), channel(c.b, dst.b), outA};
}

void Canvas::fill(const Sdf& sdf, const Paint& paint, float opacity) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            const float coverage = clamp01(0.5f - sdf(px, py));
            if (coverage > 0.0f) {
                blend(x, y, paint(px, py), coverage * opacity);
            }
        }
    }
}

void Canvas::fillAll(const Paint& paint) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            blend(x, y, paint(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f), 1.0f);
        }
    }
}

void Canvas::flipVertical() {
    for (int y = 0; y < height_ / 2; ++y) {
        for (int x = 0; x < width_; ++x) {
            std::swap(at(x, y), at(x, height_ - 1 - y));
        }
    }
}

bool Canvas::savePng(const std::string& path, Color matte) const {
    const auto toByte = [](float v) {
        return static_cast<Uint8>(std::lround(clamp01(v) * 255.0f));
    };
    bool opaque = true;
    for (int y = 0; y < height_ && opaque; ++y) {
        for (int x = 0; x < width_ && opaque; ++x) {
            opaque = toByte(at(x, y).a) == 255;
        }
    }
    // An opaque picture is saved without an alpha channel: it then loads as a
    // texture that is copied, not blended, which is what the background needs
    // on every frame.
    const int channels = opaque ? 3 : 4;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(
        0, width_, height_, channels * 8, opaque ? SDL_PIXELFORMAT_RGB24 : SDL_PIXELFORMAT_RGBA32);
    if (surface == nullptr) {
        return false;
    }
    for (int y = 0; y < height_; ++y) {
        auto* row =
            static_cast<Uint8*>(surface->pixels) + static_cast<std::ptrdiff_t>(y) * surface->pitch;
        for (int x = 0; x < width_; ++x) {
            Color c = at(x, y);
            const Uint8 alpha = toByte(c.a);
            if (alpha == 0) {
                c = matte;
            }
            Uint8* pixel = row + x * channels;
            pixel[0] = toByte(c.r);
            pixel[1] = toByte(c.g);
            pixel[2] = toByte(c.b);
            if (!opaque) {
                pixel[3] = alpha;
            }
        }
    }
    const bool ok = IMG_SavePNG(surface, path.c_str()) == 0;
    SDL_FreeSurface(surface);
    return ok;
}

}  // namespace assetgen
