#include "images.h"

#include "rng.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace assetgen {

namespace {

constexpr float kPi = 3.14159265358979f;

// ---------------------------------------------------------------- background

const Color kSkyTop = hex(0x47A9E0);
const Color kSkyHorizon = hex(0xD4F0F4);

Sdf cloudShape(float cx, float cy, float scale, Rng& rng) {
    // A row of puffs sitting on a flat base, biggest in the middle, with one
    // more puff on top.
    const float base = cy + 8.0f * scale;
    Sdf s = shape::circle(cx + static_cast<float>(rng.range(-10.0, 10.0)) * scale,
                          base - 34.0f * scale, 26.0f * scale);
    const int puffs = rng.intRange(5, 7);
    for (int i = 0; i < puffs; ++i) {
        const float u = -1.0f + 2.0f * static_cast<float>(i) / static_cast<float>(puffs - 1);
        const float r =
            (14.0f + 14.0f * (1.0f - u * u) + static_cast<float>(rng.range(-3.0, 3.0))) * scale;
        s = shape::unite(std::move(s), shape::circle(cx + u * 58.0f * scale, base - r * 0.7f, r));
    }
    return shape::intersect(std::move(s), [base](float, float y) { return y - base; });
}

void drawCloud(Canvas& c, float cx, float cy, float scale, float opacity, Rng& rng) {
    const Sdf s = cloudShape(cx, cy, scale, rng);
    const float top = cy - 50.0f * scale, base = cy + 8.0f * scale;
    // A slightly blurred edge keeps the clouds soft and in the distance.
    c.fill([&s](float x, float y) { return s(x, y) / 2.5f; },
           verticalGradient(top, hex(0xFFFFFF), base, hex(0xDCEEF6)), opacity);
}

float farHills(float x) {
    return 628.0f + 14.0f * std::sin(x * 0.011f + 0.7f) + 9.0f * std::sin(x * 0.027f + 2.1f);
}

float nearHills(float x) {
    return 668.0f + 12.0f * std::sin(x * 0.016f + 3.4f) + 6.0f * std::sin(x * 0.041f + 0.3f);
}

void drawSkyline(Canvas& c, Rng& rng) {
    const Color wall = hex(0xA9D5DD);
    const Color window = hex(0xC6E7EC);
    float x = -10.0f;
    while (x < 810.0f) {
        const float w = static_cast<float>(rng.range(34.0, 70.0));
        const float top = static_cast<float>(rng.range(540.0, 605.0));
        c.fill(shape::roundRect(x, top, x + w, 720.0f, 3.0f), solid(wall));
        // Rows of small lit windows.
        for (float wy = top + 10.0f; wy < 640.0f; wy += 14.0f) {
            for (float wx = x + 7.0f; wx + 6.0f < x + w - 5.0f; wx += 12.0f) {
                c.fill(shape::roundRect(wx, wy, wx + 6.0f, wy + 7.0f, 1.0f), solid(window));
            }
        }
        x += w + static_cast<float>(rng.range(-6.0, 4.0));
    }
}

void drawBushes(Canvas& c, Rng& rng) {
    const float base = 724.0f;
    float x = -20.0f;
    while (x < 820.0f) {
        const float r = static_cast<float>(rng.range(16.0, 28.0));
        const float cy = base - r * 0.45f;
        Sdf s =
            shape::intersect(shape::circle(x, cy, r), [base](float, float y) { return y - base; });
        c.fill(shape::grow(s, 2.0f), solid(hex(0x3E8A3A)));
        c.fill(s, [=](float px, float py) {
            const float light = clamp01(((x - px) * 0.4f + (cy - py)) / r * 0.5f + 0.3f);
            return mix(hex(0x58AE4B), hex(0x7CCB62), light);
        });
        x += r * 1.25f;
    }
}

void drawGround(Canvas& c) {
    const ValueNoise noise(77);
    const float grassTop = 726.0f;
    const float soilTop = 744.0f;
    // Dark rim line, bright grass band, then sandy soil with soft layers.
    c.fill([=](float, float y) { return grassTop - 3.0f - y; }, solid(hex(0x2F6B25)));
    c.fill(
        [=](float, float y) { return grassTop - y; },
        [=](float x, float y) {
            const float blades = 0.5f + 0.5f * std::sin(x * 0.9f) * std::sin(x * 0.37f + 1.0f);
            Color g = mix(hex(0xB6F07E), hex(0x7FD552), smoothstep(grassTop, grassTop + 5.0f, y));
            return mix(g, hex(0x6CC346), blades * smoothstep(grassTop + 6.0f, soilTop, y) * 0.6f);
        });
    // Scalloped, darker grass edge hanging over the soil.
    c.fill(
        [=](float x, float y) {
            const float edge = soilTop + 3.0f * std::fabs(std::sin(x * kPi / 16.0f));
            return std::max(edge - y, y - (edge + 3.0f));
        },
        solid(hex(0x468F2E)));
    c.fill(
        [=](float x, float y) {
            return soilTop + 3.0f * std::fabs(std::sin(x * kPi / 16.0f)) + 3.0f - y;
        },
        [&noise](float x, float y) {
            Color soil = mix(hex(0xE6D9A0), hex(0xD2BF82), smoothstep(750.0f, 800.0f, y));
            const float band =
                0.5f + 0.5f * std::sin(y * 0.33f + 4.0f * noise.at(x * 0.02f, y * 0.05f));
            soil = mix(soil, hex(0xC9B577), band * 0.25f);
            const float speck = noise.at(x * 0.35f, y * 0.35f);
            if (speck > 0.8f) {
                soil = mix(soil, hex(0xB7A065), smoothstep(0.8f, 0.9f, speck) * 0.6f);
            }
            return soil;
        });
}

// ---------------------------------------------------------------- pipes

const Color kPipeOutline = hex(0x23511A);

// The pipe's colour across its width: light left edge, a highlight stripe,
// darker towards the right edge, framed by a dark outline.
Color pipeColumn(float x, float width, float outline) {
    if (x < outline || x > width - outline) {
        return kPipeOutline;
    }
    const float t = (x - outline) / (width - 2.0f * outline);
    Color c = t < 0.45f ? mix(hex(0x8FDC55), hex(0x5DBA38), t / 0.45f)
                        : mix(hex(0x5DBA38), hex(0x337D22), (t - 0.45f) / 0.55f);
    const float stripe = std::exp(-std::pow((t - 0.2f) / 0.06f, 2.0f));
    c = mix(c, hex(0xE4FFC4), stripe * 0.7f);
    const float rightGlint = std::exp(-std::pow((t - 0.82f) / 0.03f, 2.0f));
    return mix(c, hex(0x6FC848), rightGlint * 0.5f);
}

// ---------------------------------------------------------------- digits

using Path = std::vector<Vec2>;

// Replaces each inner corner of a polyline by a smooth curve of radius about `r`.
Path roundCorners(const Path& p, float r, bool closed) {
    Path out;
    const std::size_t n = p.size();
    const auto corner = [&](Vec2 a, Vec2 v, Vec2 b) {
        const float la = std::hypot(a.x - v.x, a.y - v.y), lb = std::hypot(b.x - v.x, b.y - v.y);
        const float t = std::min({r, la * 0.5f, lb * 0.5f});
        const Vec2 p0{v.x + (a.x - v.x) / la * t, v.y + (a.y - v.y) / la * t};
        const Vec2 p2{v.x + (b.x - v.x) / lb * t, v.y + (b.y - v.y) / lb * t};
        for (int i = 0; i <= 8; ++i) {
            const float s = static_cast<float>(i) / 8.0f;
            const float u = 1.0f - s;
            out.push_back({u * u * p0.x + 2 * u * s * v.x + s * s * p2.x,
                           u * u * p0.y + 2 * u * s * v.y + s * s * p2.y});
        }
    };
    if (!closed) {
        out.push_back(p.front());
        for (std::size_t i = 1; i + 1 < n; ++i) {
            corner(p[i - 1], p[i], p[i + 1]);
        }
        out.push_back(p.back());
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            corner(p[(i + n - 1) % n], p[i], p[(i + 1) % n]);
        }
        out.push_back(out.front());
    }
    return out;
}

// Strokes of digit d inside a 50-pixel cell, in cell coordinates.
std::vector<Path> digitStrokes(int d) {
    constexpr float L = 14.0f, R = 36.0f, T = 8.5f, B = 37.5f, M = 23.0f, r = 7.0f;
    const auto open = [](Path p) { return roundCorners(p, r, false); };
    const auto closed = [](Path p) { return roundCorners(p, r, true); };
    switch (d) {
        case 0:
            return {closed({{L, T}, {R, T}, {R, B}, {L, B}})};
        case 1:
            return {roundCorners({{18.5f, 14.0f}, {26.5f, T}, {26.5f, B}}, 2.0f, false),
                    {{18.5f, B}, {34.0f, B}}};
        case 2:
            return {open({{L, T}, {R, T}, {R, M}, {L, M}, {L, B}, {R, B}})};
        case 3:
            return {open({{L, T}, {R, T}, {R, B}, {L, B}}), {{L + 5.0f, M}, {R, M}}};
        case 4:
            return {open({{L, T}, {L, M}, {R, M}}), {{R - 1.0f, T}, {R - 1.0f, B}}};
        case 5:
            return {open({{R, T}, {L, T}, {L, M}, {R, M}, {R, B}, {L, B}})};
        case 6:
            return {open({{R, T}, {L, T}, {L, B}, {R, B}, {R, M}, {L, M}})};
        case 7:
            return {open({{L, T}, {R, T}, {R, B}})};
        case 8:
            return {closed({{L + 1.5f, T},
                            {R - 1.5f, T},
                            {R - 1.5f, M},
                            {R, M},
                            {R, B},
                            {L, B},
                            {L, M},
                            {L + 1.5f, M}}),
                    {{L, M}, {R, M}}};
        default:
            return {open({{L, B}, {R, B}, {R, T}, {L, T}, {L, M}, {R, M}})};
    }
}

Sdf digitShape(int d, float offsetX, float halfWidth) {
    Sdf s;
    for (Path p : digitStrokes(d)) {
        for (Vec2& v : p) {
            v.x += offsetX;
        }
        Sdf part = shape::stroke(std::move(p), halfWidth);
        s = s ? shape::unite(std::move(s), std::move(part)) : std::move(part);
    }
    return s;
}

}  // namespace

Canvas makeBackground() {
    Canvas c(800, 800);
    c.fillAll([](float, float y) {
        const float t = smoothstep(0.0f, 640.0f, y);
        return mix(kSkyTop, kSkyHorizon, std::pow(t, 1.3f));
    });

    // A soft sun glow high on the right.
    c.fill(shape::circle(655.0f, 120.0f, 150.0f), [](float x, float y) {
        const float d = std::hypot(x - 655.0f, y - 120.0f) / 150.0f;
        return withAlpha(hex(0xFFF8DC), 0.35f * (1.0f - smoothstep(0.0f, 1.0f, d)));
    });
    c.fill(shape::circle(655.0f, 120.0f, 34.0f), solid(hex(0xFFF6D2)), 0.9f);

    Rng rng(2024);
    // Horizon cloud bank.
    for (float x = -30.0f; x < 840.0f; x += 58.0f) {
        drawCloud(c, x + static_cast<float>(rng.range(-10.0, 10.0)),
                  590.0f + static_cast<float>(rng.range(-6.0, 10.0)),
                  static_cast<float>(rng.range(1.1, 1.5)), 1.0f, rng);
    }
    // A few drifting clouds, kept away from the score at the top centre.
    struct Spot {
        float x, y, scale, opacity;
    };
    for (const Spot& s :
         {Spot{130, 120, 1.1f, 0.92f}, Spot{590, 285, 0.9f, 0.88f}, Spot{235, 375, 0.75f, 0.85f},
          Spot{720, 440, 1.0f, 0.88f}, Spot{70, 490, 0.8f, 0.85f}}) {
        drawCloud(c, s.x, s.y, s.scale, s.opacity, rng);
    }

    drawSkyline(c, rng);
    c.fill(shape::below(farHills), verticalGradient(610.0f, hex(0x9EDB8E), 720.0f, hex(0x86CB7C)));
    c.fill(shape::below(nearHills), verticalGradient(650.0f, hex(0x7FCF63), 720.0f, hex(0x66B951)));
    drawBushes(c, rng);
    drawGround(c);
    return c;
}

Canvas makeBird() {
    constexpr int kSize = 128;
    Canvas c(kSize, kSize);
    const Color outline = hex(0x3B2616);
    constexpr float kLine = 4.0f;

    const Sdf body = shape::ellipse(60.0f, 66.0f, 42.0f, 38.0f);
    const Sdf tail = shape::unite(shape::ellipse(22.0f, 58.0f, 13.0f, 6.5f, -0.35f),
                                  shape::ellipse(21.0f, 70.0f, 12.0f, 6.0f, 0.15f));
    const Sdf crest = shape::unite(shape::ellipse(56.0f, 28.0f, 5.5f, 11.0f, -0.35f),
                                   shape::ellipse(66.0f, 27.0f, 5.0f, 10.0f, 0.3f));
    const Sdf upperBeak = shape::grow(
        shape::polygon({{91, 59}, {102, 56.5f}, {115, 64.5f}, {111, 67}, {91, 67}}), 1.5f);
    const Sdf lowerBeak =
        shape::grow(shape::polygon({{91, 70}, {108, 70}, {103, 75}, {94, 76}}), 1.5f);
    const Sdf beak = shape::unite(upperBeak, lowerBeak);
    const Sdf eyeWhite = shape::ellipse(80.0f, 50.0f, 13.0f, 15.0f);
    const Sdf wing = shape::ellipse(44.0f, 74.0f, 20.0f, 13.0f, -0.3f);

    // One dark silhouette around everything, then the parts on top.
    const Sdf silhouette =
        shape::unite(shape::unite(shape::unite(body, tail), shape::unite(crest, beak)), eyeWhite);
    c.fill(shape::grow(silhouette, kLine), solid(outline));

    const Color tailColor = hex(0xF2A531);
    c.fill(tail, solid(tailColor));
    c.fill(crest, verticalGradient(16.0f, hex(0xFFB347), 34.0f, hex(0xF08A24)));
    c.fill(shape::grow(body, 0.0f), [](float x, float y) {
        // Warm yellow, lit from the upper left.
        const float d = std::hypot(x - 46.0f, y - 46.0f) / 70.0f;
        return mix(hex(0xFFE45C), hex(0xF6A723), smoothstep(0.25f, 1.0f, d));
    });
    // Cream belly.
    c.fill(shape::intersect(body, shape::ellipse(66.0f, 88.0f, 30.0f, 18.0f)),
           solid(hex(0xFFF3C4)));
    // Shine on the head.
    c.fill(shape::ellipse(44.0f, 42.0f, 11.0f, 6.0f, -0.6f), solid(hex(0xFFFFFF)), 0.55f);
    // Cheek blush.
    c.fill(shape::ellipse(76.0f, 74.0f, 7.0f, 4.5f), solid(hex(0xFF8A7A)), 0.55f);

    // Eye.
    c.fill(shape::grow(eyeWhite, 2.5f), solid(outline));
    c.fill(eyeWhite, solid(hex(0xFFFFFF)));
    c.fill(shape::ellipse(84.0f, 52.0f, 6.0f, 8.0f), solid(hex(0x1C1410)));
    c.fill(shape::circle(86.0f, 48.5f, 2.6f), solid(hex(0xFFFFFF)));

    // Beak: two parts with a dark mouth line between them.
    c.fill(shape::grow(beak, 2.5f), solid(outline));
    c.fill(upperBeak, verticalGradient(55.0f, hex(0xFF9A3C), 69.0f, hex(0xF0702A)));
    c.fill(lowerBeak, solid(hex(0xE85E2A)));
    c.fill(shape::stroke({{90, 69}, {110, 69}}, 1.1f), solid(outline));

    // Wing with a couple of feather lines.
    c.fill(shape::grow(wing, 3.0f), solid(outline));
    c.fill(wing, verticalGradient(62.0f, hex(0xFFFBEA), 86.0f, hex(0xFFD98A)));
    c.fill(shape::intersect(wing, shape::stroke({{30, 79}, {42, 83}, {53, 82}}, 1.1f)),
           solid(hex(0xE0A447)));
    c.fill(shape::intersect(wing, shape::stroke({{36, 71}, {48, 75}, {58, 73}}, 1.1f)),
           solid(hex(0xE0A447)));
    return c;
}

Canvas makePipeBody() {
    Canvas c(50, 8);
    for (int y = 0; y < c.height(); ++y) {
        for (int x = 0; x < c.width(); ++x) {
            c.at(x, y) = pipeColumn(static_cast<float>(x) + 0.5f, 50.0f, 3.0f);
        }
    }
    return c;
}

Canvas makePipeHead() {
    // Drawn as the head of a bottom pipe: the open end at the top, the join
    // with the body at the bottom.
    Canvas c(50, 30);
    for (int y = 0; y < c.height(); ++y) {
        for (int x = 0; x < c.width(); ++x) {
            const float fy = static_cast<float>(y) + 0.5f;
            Color col = pipeColumn(static_cast<float>(x) + 0.5f, 50.0f, 2.0f);
            if (x >= 2 && x < 48) {
                // Rim lit from above: brighter near the open end, shaded near the join.
                col = mix(col, hex(0xFFFFFF), 0.18f * (1.0f - smoothstep(2.0f, 14.0f, fy)));
                col = mix(col, hex(0x1E4A16), 0.35f * smoothstep(18.0f, 27.0f, fy));
            }
            if (y < 2 || y >= 27) {
                col = kPipeOutline;
            } else if (y == 2 && x >= 2 && x < 48) {
                col = mix(col, hex(0xFFFFFF), 0.35f);
            }
            c.at(x, y) = col;
        }
    }
    return c;
}

Canvas makeScoreSheet() {
    Canvas c(500, 50);
    constexpr float kHalfStroke = 4.5f;
    constexpr float kOutline = 3.0f;
    for (int d = 0; d < 10; ++d) {
        const float ox = 50.0f * static_cast<float>(d);
        const Sdf glyph = digitShape(d, ox, kHalfStroke);
        // Soft drop shadow, dark outline, then the white face with a faint
        // cool tint towards the bottom.
        c.fill([&glyph](float x, float y) { return glyph(x - 1.5f, y - 2.0f) - kOutline; },
               solid(hex(0x1A1A2E)), 0.45f);
        c.fill(shape::grow(glyph, kOutline), solid(hex(0x1E1E2C)));
        c.fill(glyph, verticalGradient(8.0f, hex(0xFFFFFF), 40.0f, hex(0xE2ECF5)));
    }
    return c;
}

bool writeImages(const std::string& imagesDir) {
    struct Item {
        const char* name;
        Canvas canvas;
        Color matte;
    };
    const Item items[] = {
        {"Background.png", makeBackground(), hex(0x000000)},
        {"Bird.png", makeBird(), hex(0x3B2616)},
        {"Pipe_Body.png", makePipeBody(), kPipeOutline},
        {"Pipe_Head.png", makePipeHead(), kPipeOutline},
        {"ScoreSheet.png", makeScoreSheet(), hex(0x1E1E2C)},
    };
    for (const Item& item : items) {
        const std::string path = imagesDir + "/" + item.name;
        if (!item.canvas.savePng(path, item.matte)) {
            std::fprintf(stderr, "assetgen: cannot write %s\n", path.c_str());
            return false;
        }
        std::printf("wrote %s (%dx%d)\n", path.c_str(), item.canvas.width(), item.canvas.height());
    }
    return true;
}

}  // namespace assetgen
