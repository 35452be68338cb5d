// A game played end to end in a real window: what the player sees, hears and
// does, from the first frame to closing the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/e2e/seam.h"
#include "tests/e2e/stage.h"

namespace e2e {
namespace {

// A limit on the game's pace, stretched for an emulated game and a busy
// machine: a sanitized build meets the native ones.
double within(double seconds) {
    return seconds * emulatorSlowdown() * machineSlowdown();
}

bool drawn(const Shot& shot) {
    return shot.at(0, 0) == kSky;
}

// The last frame of a game may still hold a sliver of the bird at the bottom edge.
bool birdGone(const Shot& shot) {
    const Blob bird = findColour(shot, kBird);
    return drawn(shot) && (bird.count == 0 || (bird.count < 250 && bird.centreY > 750));
}

// A bird back where a new game starts it, near y = 400, rising.
bool freshBird(const Shot& shot) {
    const Blob bird = findColour(shot, kBird);
    return bird.count > 0 && bird.centreY < 450;
}

class Play : public ::testing::Test {
protected:
    void start(std::vector<EnvChange> env = {}) {
        stageMedia(dir_);
        game_.emplace(x_, dir_.path(), std::move(env));
        ASSERT_TRUE(game_->awaitWindow()) << "no Zephrin window appeared";
        ASSERT_TRUE(shootUntil(*game_, within(3.0), drawn)) << "nothing was drawn";
    }

    // Left alone, the bird falls out of the bottom of the window after about a second.
    void awaitGameOver() {
        ASSERT_TRUE(shootUntil(*game_, within(3.0), birdGone))
            << "the bird never fell out of the bottom of the window";
        sleepFor(0.2);  // the last frame is on screen, whatever a pass is doing
    }

    void expectExitZeroWithin(double seconds) {
        EXPECT_EQ(describeExit(game_->process().awaitExit(seconds * slowdown())), "exit 0");
    }

    XServer x_;
    ScratchDir dir_;
    std::optional<Game> game_;
};

TEST_F(Play, TheWindowIsNamedZephrinCentredAndFixedAt800By800) {
    ASSERT_NO_FATAL_FAILURE(start());
    const WindowFacts window = game_->facts();
    EXPECT_EQ(window.title, "Zephrin");
    EXPECT_EQ(window.width, 800);
    EXPECT_EQ(window.height, 800);
    EXPECT_EQ(window.x, (XServer::kScreenWidth - 800) / 2);
    EXPECT_EQ(window.y, (XServer::kScreenHeight - 800) / 2);
    ASSERT_TRUE(window.hasMinAndMaxSize) << "the window can be resized";
    EXPECT_EQ(window.minWidth, 800);
    EXPECT_EQ(window.maxWidth, 800);
    EXPECT_EQ(window.minHeight, 800);
    EXPECT_EQ(window.maxHeight, 800);
    EXPECT_TRUE(game_->errorLines().empty());
}

// Screens too low for the 800 x 800 window: a laptop's and a netbook's.
class SmallScreen : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(SmallScreen, ShowsTheWholeGameScaledIntoASquareWindowOnTheScreen) {
    const auto [screenWidth, screenHeight] = GetParam();
    XServer x(screenWidth, screenHeight);
    ScratchDir dir;
    stageMedia(dir);
    Game game(x, dir.path());
    ASSERT_TRUE(game.awaitWindow()) << "no Zephrin window appeared";
    const WindowFacts window = game.facts();
    EXPECT_EQ(window.width, window.height) << "not square";
    EXPECT_GE(window.x, 0);
    EXPECT_GE(window.y, 0);
    EXPECT_LE(window.x + window.width, screenWidth);
    EXPECT_LE(window.y + window.height, screenHeight);
    // The first drawn picture: Wine may show a black window once more while
    // its renderer settles.
    Shot first;
    ASSERT_TRUE(shootUntil(game, within(3.0), [&first](const Shot& shot) {
        first = shot;
        return drawn(shot);
    })) << "nothing was drawn";

    // The background fills the whole window, and the bird keeps its column.
    const int last = window.width - 1;
    for (const auto& [px, py] : {std::pair{0, 0}, {last, 0}, {0, last}, {last, last}}) {
        EXPECT_EQ(first.at(px, py), kSky) << "at " << px << "," << py;
    }
    const double scale = window.width / 800.0;
    const Blob bird = findColour(first, kBird);
    EXPECT_GT(bird.count, 1500 * scale * scale) << "no bird in the first frame";
    EXPECT_NEAR(bird.centreX, (300 + 25) * scale, 3) << "the bird's column is x = 300, scaled";
    // Left alone, it falls out through the bottom edge, in sight to the end.
    EXPECT_TRUE(shootUntil(game, within(3.0), [&](const Shot& shot) {
        const Blob falling = findColour(shot, kBird);
        return falling.count > 0 && falling.centreY > window.height - 40 * scale;
    })) << "the bird was never seen at the bottom edge";
}

INSTANTIATE_TEST_SUITE_P(Play, SmallScreen,
                         ::testing::Values(std::pair{1366, 768}, std::pair{1024, 600}),
                         [](const auto& info) {
                             return std::to_string(info.param.first) + "x" +
                                    std::to_string(info.param.second);
                         });

TEST_F(Play, TheFirstFramesShowTheSkyAndTheBirdThenPipesComeInFromTheRight) {
    ASSERT_NO_FATAL_FAILURE(start());
    // Wine may show a black window once more while its renderer settles.
    Shot first;
    shootUntil(*game_, within(1.0), [&first](const Shot& shot) {
        first = shot;
        return drawn(shot);
    });
    for (const auto& [x, y] : {std::pair{0, 0}, {799, 0}, {0, 799}, {799, 799}, {600, 400}}) {
        EXPECT_EQ(first.at(x, y), kSky) << "at " << x << "," << y;
    }
    const Blob bird = findColour(first, kBird);
    ASSERT_GT(bird.count, 1500) << "no bird in the first frame";
    EXPECT_NEAR(bird.centreX, 300 + 25, 3) << "the bird's column starts at x = 300";
    EXPECT_EQ(findColour(first, kPipe).count, 0) << "pipes start off the right edge";

    std::vector<Blob> pipes;
    shootUntil(*game_, within(1.5), [&](const Shot& shot) {
        const Blob seen = findColour(shot, kPipe);
        if (seen.count > 0 && (pipes.empty() || seen.minX != pipes.back().minX)) {
            pipes.push_back(seen);
        }
        return pipes.size() >= 3;
    });
    ASSERT_EQ(pipes.size(), 3u) << "the pipes did not come in and move";
    EXPECT_EQ(pipes[0].maxX, 799) << "they come in at the right edge";
    EXPECT_GE(pipes[0].minX, 700);
    EXPECT_LT(pipes[1].minX, pipes[0].minX) << "they move left";
    EXPECT_LT(pipes[2].minX, pipes[1].minX);
}

TEST_F(Play, SpaceTurnsAFallingBirdUpward) {
    ASSERT_NO_FATAL_FAILURE(start());
    // Left alone, a bird that has started to fall only falls faster.
    double previousY = 1000;
    const auto dropSinceLastShot = [&previousY](const Shot& shot) {
        const Blob bird = findColour(shot, kBird);
        const double drop = bird.count > 0 ? bird.centreY - previousY : 0;
        previousY = bird.count > 0 ? bird.centreY : previousY;
        return drop;
    };
    ASSERT_TRUE(shootUntil(*game_, within(1.5), [&](const Shot& s) {
        return dropSinceLastShot(s) > 2;
    })) << "the bird never started to fall";
    game_->press("space");
    EXPECT_TRUE(shootUntil(*game_, within(0.6), [&](const Shot& s) {
        return dropSinceLastShot(s) < -2;
    })) << "the bird kept falling";
}

TEST_F(Play, AFallenBirdFreezesThePictureWhateverSpaceDoesUntilRStartsAfresh) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(awaitGameOver());
    const Shot over = game_->shoot();
    sleepFor(1.0);
    EXPECT_EQ(differingPixels(game_->shoot(), over), 0) << "the picture moved after the game ended";
    game_->press("space", 5);
    sleepFor(within(0.5));
    EXPECT_EQ(differingPixels(game_->shoot(), over), 0) << "space moved a finished game";
    game_->press("r");
    EXPECT_TRUE(shootUntil(*game_, within(1.0), freshBird)) << "r did not bring a new game";
    ASSERT_NO_FATAL_FAILURE(awaitGameOver());
}

TEST_F(Play, TheMusicPlaysWhileTheGameIsOverAndAfterARestart) {
    const std::string capture = dir_ / "audio.raw";
    ASSERT_NO_FATAL_FAILURE(start({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", capture}}));
    const auto captured = [&] { return readFile(capture).size(); };
    const auto expectMusicFor = [&](double seconds, const char* when) {
        const std::size_t from = captured();
        sleepFor(seconds);
        const std::size_t to = captured();
        EXPECT_GE(to - from, 22050 * 4 * seconds / 2) << "audio stalled " << when;
        EXPECT_TRUE(loudBetween(readFile(capture), from, to)) << "no music " << when;
    };
    expectMusicFor(0.5, "while playing");
    ASSERT_NO_FATAL_FAILURE(awaitGameOver());
    expectMusicFor(1.0, "after the game ended");
    game_->press("r");
    expectMusicFor(1.0, "after a restart");
    for (const std::string& line : game_->errorLines()) {
        EXPECT_NE(line.rfind("zephrin:", 0), 0u) << line;
    }
}

TEST_F(Play, AFloodOfKeysIsHandledInOrderWithoutStalling) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(awaitGameOver());
    const Shot over = game_->shoot();
    // 9,999 keys a finished game ignores, then r: only handling them all, in
    // order, brings a new game.
    const char* const ignored[] = {"space", "a", "Left", "Return", "1", "Escape", "x"};
    std::vector<const char*> flood;
    for (int i = 0; i < 9999; ++i) {
        flood.push_back(ignored[i % 7]);
    }
    flood.push_back("r");
    game_->pressAll(flood);  // returns once the X server has delivered them all

    double lastChange = now();
    double longestStill = 0;
    Shot previous = over;
    bool sawFreshGame = false;
    shootUntil(*game_, 4.0 * slowdown(), [&](const Shot& shot) {
        if (shot != previous) {
            lastChange = now();
            previous = shot;
        }
        longestStill = std::max(longestStill, now() - lastChange);
        sawFreshGame = sawFreshGame || freshBird(shot);
        return sawFreshGame && birdGone(shot);
    });
    EXPECT_TRUE(sawFreshGame) << "the r at the end of the flood was lost";
    if (!kSanitized) {  // sanitizers slow a flood down far more than anything else
        EXPECT_LT(longestStill, within(1.0)) << "the picture stood still while the game ran";
    }
    game_->requestClose();
    expectExitZeroWithin(1.0);
    EXPECT_TRUE(game_->errorLines().empty());
}

// The game's own music played past its loop point: the second pass starts
// one file length after the first, on the beat, and the sound does not drop
// out at the seam. One pass of it decoded by lame, which reads the encoder's
// delay and padding from the file, is the measure.
TEST_F(Play, TheMusicLoopsOnTheBeatWithoutAGap) {
    stageMedia(dir_);
    std::filesystem::copy_file(ZEPHRIN_MUSIC, dir_ / kMusicFile,
                               std::filesystem::copy_options::overwrite_existing);
    Child lame({"lame", "--quiet", "--decode", ZEPHRIN_MUSIC, dir_ / "one-pass.wav"}, dir_.path(),
               {}, "/dev/null");
    ASSERT_EQ(describeExit(lame.awaitExit(60)), "exit 0") << "lame could not decode the music";
    const Mono onePass = readWav(dir_ / "one-pass.wav");
    // The disk driver writes every sample the mixer makes, pausing between
    // writes for the milliseconds SDL_DISKAUDIODELAY gives. On Windows SDL
    // hands out every environment variable in one shared buffer, and the
    // driver reads the pause after the file's name, over it: hence one value
    // for both, a short pause that is also a name.
    const std::string capture = "5.raw";
    game_.emplace(x_, dir_.path(),
                  std::vector<EnvChange>{{"SDL_AUDIODRIVER", "disk"},
                                         {"SDL_DISKAUDIOFILE", capture},
                                         {"SDL_DISKAUDIODELAY", capture}});
    ASSERT_TRUE(game_->awaitWindow()) << "no Zephrin window appeared";
    const auto enough = (onePass.size() + 3 * kMixerRateHz) * 4;  // 16-bit stereo
    const double deadline = now() + 60 * slowdown();
    std::error_code none;
    while ((std::filesystem::file_size(dir_ / capture, none) < enough || none) &&
           now() < deadline) {
        sleepFor(0.1);
    }
    const std::optional<Seam> seam = findSeam(readCapture(dir_ / capture), onePass);
    ASSERT_TRUE(seam) << "the music was not played well past its loop point";
    EXPECT_NEAR(seam->errorMs, 0, 1) << "the second pass is off the beat";
    EXPECT_GE(seam->likeness, 0.9) << "the second pass does not start as the music does";
    EXPECT_GE(seam->lowestLevel, 0.5) << "the sound drops out at the seam";
}

// Alike when nearly every pixel is, in colour and in coverage both.
int differingIconPixels(const Icon& a, const Icon& b) {
    int count = 0;
    for (std::size_t i = 0; i < a.argb.size(); ++i) {
        const bool bothClear = a.argb[i] >> 24 < 16 && b.argb[i] >> 24 < 16;
        int worst = 0;
        for (int shift = bothClear ? 24 : 0; shift < 32; shift += 8) {
            worst = std::max(worst, std::abs(static_cast<int>((a.argb[i] >> shift) & 0xFF) -
                                             static_cast<int>((b.argb[i] >> shift) & 0xFF)));
        }
        count += worst > 24 ? 1 : 0;
    }
    return count;
}

// A Windows build's window shows the icon it was built with, whose .ico
// ZEPHRIN_E2E_ICON names, at one size at least (Windows may scale another
// size from it); the Linux build sets none.
TEST_F(Play, TheWindowCarriesTheBirdOfItsIconFile) {
    const char* file = std::getenv("ZEPHRIN_E2E_ICON");
    ASSERT_TRUE(file != nullptr && *file != '\0') << "ZEPHRIN_E2E_ICON names no .ico file";
    const std::vector<Icon> built = readIco(file);
    ASSERT_NO_FATAL_FAILURE(start());
    std::string sizes;
    int alike = 0;
    for (const Icon& shown : game_->icons()) {
        sizes += " " + std::to_string(shown.size);
        for (const Icon& icon : built) {
            alike += icon.size == shown.size &&
                     differingIconPixels(icon, shown) * 50 <= icon.size * icon.size;
        }
    }
    EXPECT_GE(alike, 1) << "no icon of the window is one built; its sizes:" << sizes;
}

// Windows gives a console program that is double-clicked a console of its
// own, as Wine's `start /wait` does, and one started from a shell (`cmd /c`)
// the shell's. Either way the game plays, lets go of a console of its own,
// whose host goes with it, and ends with status 0 on a close request.
struct Start {
    std::vector<std::string> how;
    bool ownConsole;
};

class WaysOfStarting : public Play, public ::testing::WithParamInterface<Start> {};

TEST_P(WaysOfStarting, PlaysLetsGoOfItsOwnConsoleAndQuits) {
    const std::vector<std::string> wineAndGame = gameCommand();
    ASSERT_EQ(wineAndGame.size(), 2u) << "ZEPHRIN_E2E_GAME is not Wine and zephrin.exe";
    std::vector<std::string> command = {wineAndGame[0]};
    command.insert(command.end(), GetParam().how.begin(), GetParam().how.end());
    command.push_back("Z:" + wineAndGame[1]);  // Wine's drive Z: is the root directory
    std::replace(command.back().begin(), command.back().end(), '/', '\\');
    stageMedia(dir_);
    game_.emplace(x_, dir_.path(), std::vector<EnvChange>{}, std::vector<int>{}, command);
    ASSERT_TRUE(game_->awaitWindow()) << "no Zephrin window appeared";
    ASSERT_TRUE(shootUntil(*game_, within(3.0), drawn)) << "nothing was drawn";
    if (GetParam().ownConsole) {
        EXPECT_EQ(processesNamed("conhost.exe"), 0) << "its console and the console's host stay";
    }
    game_->requestClose();
    expectExitZeroWithin(1.0);
    const double deadline = now() + 2 * slowdown();
    while (processesNamed("zephrin.exe") > 0 && now() < deadline) {
        sleepFor(0.1);
    }
    EXPECT_EQ(processesNamed("zephrin.exe"), 0) << "a game process is left";
}

INSTANTIATE_TEST_SUITE_P(Windows, WaysOfStarting,
                         ::testing::Values(Start{{"start", "/wait"}, true},
                                           Start{{"cmd", "/c"}, false}),
                         [](const auto& info) {
                             return info.param.ownConsole ? "DoubleClicked" : "FromAShell";
                         });

enum class Quit { kCloseButton, kSigterm, kSigint };
struct QuitCase {
    Quit how;
    bool gameOver;
};

class Quitting : public Play, public ::testing::WithParamInterface<QuitCase> {};

TEST_P(Quitting, EndsTheProcessWithStatusZeroWithinASecond) {
    ASSERT_NO_FATAL_FAILURE(start());
    if (GetParam().gameOver) {
        ASSERT_NO_FATAL_FAILURE(awaitGameOver());
    }
    switch (GetParam().how) {
        case Quit::kCloseButton:
            game_->requestClose();
            break;
        case Quit::kSigterm:
            game_->process().signal(SIGTERM);
            break;
        case Quit::kSigint:
            game_->process().signal(SIGINT);
            break;
    }
    expectExitZeroWithin(1.0);
}

std::string nameOf(const QuitCase& c) {
    const char* const how[] = {"CloseButton", "Sigterm", "Sigint"};
    return std::string(how[static_cast<int>(c.how)]) + (c.gameOver ? "WhenOver" : "WhilePlaying");
}

void PrintTo(const QuitCase& c, std::ostream* out) {
    *out << nameOf(c);
}

std::string quitCaseName(const ::testing::TestParamInfo<QuitCase>& info) {
    return nameOf(info.param);
}

INSTANTIATE_TEST_SUITE_P(Play, Quitting,
                         ::testing::Values(QuitCase{Quit::kCloseButton, false},
                                           QuitCase{Quit::kCloseButton, true},
                                           QuitCase{Quit::kSigterm, false},
                                           QuitCase{Quit::kSigterm, true},
                                           QuitCase{Quit::kSigint, false}),
                         quitCaseName);

}  // namespace
}  // namespace e2e
