// The window on screens of many sizes: as designed wherever it fits with its
// frame, else the largest square that does, centred in the usable area.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "app/window_size.h"

namespace {

TEST(WindowSize, DesignedWhereItFitsElseTheLargestCentredSquare) {
    constexpr SDL_Rect kDesigned{0, 0, 0, 0};
    const std::pair<SDL_Rect, SDL_Rect> screens[] = {
        {{0, 0, 1280, 1024}, kDesigned},
        {{0, 0, 816, 848}, kDesigned},                 // exactly enough room
        {{0, 0, 0, 0}, kDesigned},                     // unknown
        {{0, 0, 816, 847}, {8, 40, 799, 799}},         // one row short
        {{0, 0, 1366, 768}, {323, 40, 720, 720}},      // a laptop
        {{0, 27, 1280, 693}, {317, 67, 645, 645}},     // 1920 x 1080 at 150 %, top panel
        {{0, 0, 600, 1024}, {8, 236, 584, 584}},       // a screen turned upright
        {{1920, 0, 1024, 600}, {2156, 40, 552, 552}},  // the second of two screens
    };
    for (const auto& [usable, want] : screens) {
        const SDL_Rect got = shrunkClientArea(usable).value_or(kDesigned);
        EXPECT_EQ(std::tie(got.x, got.y, got.w, got.h), std::tie(want.x, want.y, want.w, want.h))
            << "usable area " << usable.x << "," << usable.y << " " << usable.w << " x "
            << usable.h;
    }
}

}  // namespace
