// Checks the shipped artwork and sounds for faults a player would notice:
// files that fail to load, digits that bleed into each other, a bird whose
// corners show when it tilts, banded pipes, clipped or clicking audio.

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef ZEPHRIN_SOURCE_DIR
#define ZEPHRIN_SOURCE_DIR "."
#endif

namespace {

std::string assetPath(const std::string& relative) {
    return std::string(ZEPHRIN_SOURCE_DIR) + "/" + relative;
}

struct Pixel {
    int r, g, b, a;
    double luminance() const {
        return (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255.0;
    }
};

class Image {
public:
    explicit Image(const std::string& relative) {
        SDL_Surface* loaded = IMG_Load(assetPath(relative).c_str());
        if (loaded == nullptr) {
            error_ = IMG_GetError();
            return;
        }
        SDL_Surface* rgba = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
        SDL_FreeSurface(loaded);
        if (rgba == nullptr) {
            error_ = SDL_GetError();
            return;
        }
        width_ = rgba->w;
        height_ = rgba->h;
        bytes_.resize(static_cast<std::size_t>(width_) * height_ * 4);
        for (int y = 0; y < height_; ++y) {
            const auto* row = static_cast<const Uint8*>(rgba->pixels) +
                              static_cast<std::ptrdiff_t>(y) * rgba->pitch;
            std::copy(row, row + width_ * 4,
                      bytes_.begin() + static_cast<std::ptrdiff_t>(y) * width_ * 4);
        }
        SDL_FreeSurface(rgba);
    }

    bool loaded() const {
        return error_.empty();
    }
    const std::string& error() const {
        return error_;
    }
    int width() const {
        return width_;
    }
    int height() const {
        return height_;
    }

    Pixel at(int x, int y) const {
        const Uint8* p = &bytes_[(static_cast<std::size_t>(y) * width_ + x) * 4];
        return Pixel{p[0], p[1], p[2], p[3]};
    }

    // Mean of `f` over the opaque pixels of a rectangle.
    template <typename F>
    double meanOver(int x0, int y0, int x1, int y1, F f) const {
        double sum = 0.0;
        int count = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (at(x, y).a > 0) {
                    sum += f(at(x, y));
                    ++count;
                }
            }
        }
        return count > 0 ? sum / count : 0.0;
    }

private:
    std::string error_;
    int width_ = 0;
    int height_ = 0;
    std::vector<Uint8> bytes_;
};

double luminance(const Pixel& p) {
    return p.luminance();
}

// ------------------------------------------------------------------ images

struct ExpectedImage {
    const char* file;
    int minWidth;
    int minHeight;
    bool square;
    bool fullyOpaque;
};

const ExpectedImage kImages[] = {
    {"Images/Background.png", 800, 800, true, true},  {"Images/Bird.png", 64, 64, true, false},
    {"Images/Pipe_Body.png", 50, 1, false, true},     {"Images/Pipe_Head.png", 50, 20, false, true},
    {"Images/ScoreSheet.png", 500, 49, false, false},
};

TEST(ImageAssets, EachLoadsLargeEnoughAndWithoutHolesWhereItMustBeSolid) {
    for (const ExpectedImage& expected : kImages) {
        SCOPED_TRACE(expected.file);
        const Image img(expected.file);
        ASSERT_TRUE(img.loaded()) << img.error();
        EXPECT_GE(img.width(), expected.minWidth);
        EXPECT_GE(img.height(), expected.minHeight);
        if (expected.square) {
            EXPECT_EQ(img.width(), img.height());
        }
        if (expected.fullyOpaque) {
            int holes = 0;
            for (int y = 0; y < img.height(); ++y) {
                for (int x = 0; x < img.width(); ++x) {
                    holes += img.at(x, y).a < 255 ? 1 : 0;
                }
            }
            EXPECT_EQ(holes, 0) << "see-through pixels would show the black window behind";
        }
    }
}

TEST(ImageAssets, BackgroundIsExactlyTheWindowWithSkyBrighteningDownwards) {
    const Image bg("Images/Background.png");
    ASSERT_TRUE(bg.loaded()) << bg.error();
    ASSERT_EQ(bg.width(), 800);
    ASSERT_EQ(bg.height(), 800);
    const double top = bg.meanOver(0, 0, 800, 40, luminance);
    const double lowSky = bg.meanOver(300, 460, 500, 500, luminance);
    EXPECT_LT(top + 0.1, lowSky) << "the sky should brighten toward the horizon";
    // The white score digits sit near the top centre: the sky there must not be white too.
    EXPECT_LT(bg.meanOver(300, 130, 500, 220, luminance), 0.8);
    // Blue sky above, not green or brown.
    const double blue =
        bg.meanOver(0, 0, 800, 300, [](const Pixel& p) { return p.b - std::max(p.r, p.g); });
    EXPECT_GT(blue, 10.0);
}

TEST(ImageAssets, BirdStaysInsideItsCircleSoTiltingNeverShowsCorners) {
    const Image bird("Images/Bird.png");
    ASSERT_TRUE(bird.loaded()) << bird.error();
    const int n = bird.width();
    const int corner = n / 8;
    const struct {
        const char* name;
        int x0, y0;
    } corners[] = {{"top left", 0, 0},
                   {"top right", n - corner, 0},
                   {"bottom left", 0, n - corner},
                   {"bottom right", n - corner, n - corner}};
    for (const auto& c : corners) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bird.meanOver(c.x0, c.y0, c.x0 + corner, c.y0 + corner,
                                [](const Pixel&) { return 1.0; }),
                  0.0);
    }
    // Everything visible lies within the inscribed circle, so any rotation
    // keeps the picture inside its square and the corners empty.
    const double centre = n / 2.0;
    int outside = 0;
    int opaque = 0;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            if (bird.at(x, y).a == 0) {
                continue;
            }
            ++opaque;
            outside += std::hypot(x + 0.5 - centre, y + 0.5 - centre) > centre ? 1 : 0;
        }
    }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(opaque, n * n / 3) << "the bird should fill most of its square";
    EXPECT_EQ(bird.at(n / 2, n / 2).a, 255);
}

TEST(ImageAssets, BirdFacesRightWithEyeAndBeakInFront) {
    const Image bird("Images/Bird.png");
    ASSERT_TRUE(bird.loaded()) << bird.error();
    const int n = bird.width();
    const auto centroidX = [&](auto isPart) {
        double sum = 0.0;
        int count = 0;
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                if (bird.at(x, y).a == 255 && isPart(bird.at(x, y))) {
                    sum += x;
                    ++count;
                }
            }
        }
        return count > 0 ? sum / count : -1.0;
    };
    const struct {
        const char* part;
        bool (*isPart)(const Pixel&);
    } parts[] = {
        {"beak (orange)",
         [](const Pixel& p) { return p.r > 200 && p.g > 70 && p.g < 160 && p.b < 90; }},
        {"eye (white)", [](const Pixel& p) { return p.r > 245 && p.g > 245 && p.b > 245; }},
    };
    for (const auto& part : parts) {
        SCOPED_TRACE(part.part);
        EXPECT_GT(centroidX(part.isPart), n * 0.55);
    }
}

TEST(ImageAssets, PipeBodyStretchesWithoutBandsAndMatchesTheHead) {
    const Image body("Images/Pipe_Body.png");
    const Image head("Images/Pipe_Head.png");
    ASSERT_TRUE(body.loaded()) << body.error();
    ASSERT_TRUE(head.loaded()) << head.error();
    EXPECT_EQ(body.width(), head.width()) << "both are drawn at the pipe's width";
    int differing = 0;
    for (int y = 1; y < body.height(); ++y) {
        for (int x = 0; x < body.width(); ++x) {
            const Pixel a = body.at(x, y), b = body.at(x, 0);
            differing += (a.r != b.r || a.g != b.g || a.b != b.b || a.a != b.a) ? 1 : 0;
        }
    }
    EXPECT_EQ(differing, 0) << "rows must match so a tall pipe shows no stripes";

    // Both parts: green, lit from the left, with a darker outline at the sides.
    for (const Image* img : {&body, &head}) {
        SCOPED_TRACE(img == &body ? "body" : "head");
        const int w = img->width(), h = img->height();
        const double left = img->meanOver(w / 8, 0, w / 2, h, luminance);
        const double right = img->meanOver(w / 2, 0, w - w / 8, h, luminance);
        EXPECT_GT(left, right + 0.05);
        EXPECT_GT(
            img->meanOver(0, 0, w, h, [](const Pixel& p) { return p.g - std::max(p.r, p.b); }),
            40.0);
        const double edge = std::max(img->meanOver(0, 0, 1, h, luminance),
                                     img->meanOver(w - 1, 0, w, h, luminance));
        EXPECT_LT(edge, right);
    }
    // The head's rim has a dark line where it meets the body (its bottom).
    const int h = head.height(), w = head.width();
    EXPECT_LT(head.meanOver(2, h - 1, w - 2, h, luminance),
              head.meanOver(2, h / 3, w - 2, h / 3 + 1, luminance) - 0.2);
}

TEST(ImageAssets, ScoreSheetHasTenDistinctWhiteOutlinedDigitsInTheirCells) {
    const Image sheet("Images/ScoreSheet.png");
    ASSERT_TRUE(sheet.loaded()) << sheet.error();
    ASSERT_GE(sheet.width(), 500);
    ASSERT_GE(sheet.height(), 49);
    constexpr int kCell = 50;
    constexpr int kRows = 49;
    const auto opaqueIn = [&](int x0, int y0, int x1, int y1) {
        int count = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                count += sheet.at(x, y).a > 0 ? 1 : 0;
            }
        }
        return count;
    };
    for (int d = 0; d < 10; ++d) {
        SCOPED_TRACE("digit " + std::to_string(d));
        const int x0 = d * kCell;
        EXPECT_GT(opaqueIn(x0, 0, x0 + kCell, kRows), kCell * kRows / 6);
        // Nothing may spill over the cell's edges, or a neighbour's sliver shows.
        EXPECT_EQ(opaqueIn(x0, 0, x0 + 1, sheet.height()), 0);
        EXPECT_EQ(opaqueIn(x0 + kCell - 1, 0, x0 + kCell, sheet.height()), 0);
        EXPECT_EQ(opaqueIn(x0, kRows, x0 + kCell, sheet.height()), 0);
        const double white = sheet.meanOver(x0, 0, x0 + kCell, kRows, [](const Pixel& p) {
            return p.a == 255 && p.luminance() > 0.85 ? 1.0 : 0.0;
        });
        const double dark = sheet.meanOver(x0, 0, x0 + kCell, kRows, [](const Pixel& p) {
            return p.a == 255 && p.luminance() < 0.25 ? 1.0 : 0.0;
        });
        EXPECT_GT(white, 0.25) << "white face";
        EXPECT_GT(dark, 0.15) << "dark outline";
    }
    for (int a = 0; a < 10; ++a) {
        for (int b = a + 1; b < 10; ++b) {
            int differing = 0;
            for (int y = 0; y < kRows; ++y) {
                for (int x = 0; x < kCell; ++x) {
                    const Pixel pa = sheet.at(a * kCell + x, y), pb = sheet.at(b * kCell + x, y);
                    differing +=
                        std::abs(pa.luminance() * pa.a - pb.luminance() * pb.a) > 100 ? 1 : 0;
                }
            }
            EXPECT_GT(differing, kCell * kRows / 40)
                << "digits " << a << " and " << b << " look alike";
        }
    }
}

// ------------------------------------------------------------------ sounds

class SoundAssets : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
        // The music is 44.1 kHz; opening at its own rate means no resampling
        // smears the samples this test compares.
        ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024), 0) << Mix_GetError();
        Mix_Init(MIX_INIT_MP3);
    }

    static void TearDownTestSuite() {
        Mix_CloseAudio();
        Mix_Quit();
        SDL_Quit();
    }
};

double peakOf(const Sint16* samples, std::size_t count) {
    int peak = 0;
    for (std::size_t i = 0; i < count; ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    }
    return peak / 32768.0;
}

TEST_F(SoundAssets, DingIsAShortUnclippedStereoBellThatEndsInSilence) {
    SDL_AudioSpec format;
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    ASSERT_NE(SDL_LoadWAV(assetPath("Sounds/Ding.wav").c_str(), &format, &buffer, &length), nullptr)
        << SDL_GetError();
    EXPECT_EQ(format.freq, 22050);
    EXPECT_EQ(format.format, AUDIO_S16LSB);
    EXPECT_EQ(format.channels, 2);
    // The file's samples are little-endian, whatever the machine's order.
    const std::size_t count = length / 2;
    std::vector<Sint16> littleEndian(count);
    for (std::size_t i = 0; i < count; ++i) {
        Uint16 raw = 0;
        std::memcpy(&raw, buffer + 2 * i, sizeof raw);
        littleEndian[i] = static_cast<Sint16>(SDL_SwapLE16(raw));
    }
    const Sint16* samples = littleEndian.data();
    const double seconds = static_cast<double>(count) / format.channels / format.freq;
    EXPECT_LE(seconds, 0.6);
    EXPECT_GE(seconds, 0.1);
    const double peak = peakOf(samples, count);
    EXPECT_LE(peak, 0.95) << "clipping";
    EXPECT_GE(peak, 0.25) << "too quiet to hear over the music";
    ASSERT_GE(count, 4u);
    for (std::size_t i : {std::size_t{0}, std::size_t{1}, count - 2, count - 1}) {
        EXPECT_LE(std::abs(samples[i]), 330) << "a hard start or stop clicks, sample " << i;
    }
    SDL_FreeWAV(buffer);

    Mix_Chunk* chunk = Mix_LoadWAV(assetPath("Sounds/Ding.wav").c_str());
    EXPECT_NE(chunk, nullptr) << Mix_GetError();
    Mix_FreeChunk(chunk);
}

TEST_F(SoundAssets, MusicIsASmallMp3OfModestLevel) {
    const std::string path = assetPath("Sounds/BackgroundMusic.mp3");
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr) << path;
    std::fseek(f, 0, SEEK_END);
    const long bytes = std::ftell(f);
    std::fclose(f);
    EXPECT_LE(bytes, 500L * 1000L);

    Mix_Music* music = Mix_LoadMUS(path.c_str());
    ASSERT_NE(music, nullptr) << Mix_GetError();
    EXPECT_EQ(Mix_GetMusicType(music), MUS_MP3);
    Mix_FreeMusic(music);
}

TEST_F(SoundAssets, MusicLoopsWithoutAGapOrAClick) {
    int freq = 0, channels = 0;
    Uint16 format = 0;
    ASSERT_NE(Mix_QuerySpec(&freq, &format, &channels), 0);
    ASSERT_EQ(format, AUDIO_S16SYS);
    ASSERT_EQ(channels, 2);

    Mix_Chunk* chunk =
        Mix_LoadWAV_RW(SDL_RWFromFile(assetPath("Sounds/BackgroundMusic.mp3").c_str(), "rb"), 1);
    ASSERT_NE(chunk, nullptr) << Mix_GetError();
    const auto* samples = reinterpret_cast<const Sint16*>(chunk->abuf);
    const std::size_t frames = chunk->alen / 4;
    const double seconds = static_cast<double>(frames) / freq;
    EXPECT_GE(seconds, 20.0);
    EXPECT_LE(seconds, 40.0);
    EXPECT_LE(peakOf(samples, frames * 2), 0.6) << "peaks should stay well below full scale";
    ASSERT_GT(frames, static_cast<std::size_t>(freq));

    for (int ch = 0; ch < 2; ++ch) {
        SCOPED_TRACE(ch == 0 ? "left" : "right");
        const auto sample = [&](std::size_t frame) {
            return static_cast<double>(samples[frame * 2 + ch]);
        };
        // How far the wave usually moves from one sample to the next.
        std::vector<double> steps;
        steps.reserve(frames);
        double energy = 0.0;
        for (std::size_t i = 0; i + 1 < frames; ++i) {
            steps.push_back(std::fabs(sample(i + 1) - sample(i)));
            energy += sample(i) * sample(i);
        }
        const std::size_t quartile = steps.size() * 3 / 4;
        std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(quartile),
                         steps.end());
        const double typicalStep = steps[quartile];
        const double loopStep = std::fabs(sample(0) - sample(frames - 1));
        EXPECT_LE(loopStep, typicalStep) << "the wrap from the end back to the start jumps";

        // Silence at either end would be heard as a gap on every repeat.
        const double rms = std::sqrt(energy / static_cast<double>(frames));
        const auto edge = static_cast<std::size_t>(freq / 50);
        double head = 0.0, tail = 0.0;
        for (std::size_t i = 0; i < edge; ++i) {
            head += sample(i) * sample(i);
            tail += sample(frames - 1 - i) * sample(frames - 1 - i);
        }
        EXPECT_GT(std::sqrt(head / edge), rms * 0.1) << "silent start";
        EXPECT_GT(std::sqrt(tail / edge), rms * 0.1) << "silent end";
    }
    Mix_FreeChunk(chunk);
}

}  // namespace
