// Whatever is wrong with the media or the machine, the game says so in one
// line per fault and plays on without it, still answering keys and the close
// button; without a display it says so and stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/e2e/stage.h"

namespace e2e {
namespace {

struct BadInput {
    std::string name;
    std::function<void(const ScratchDir&)> spoil;
    std::vector<std::string> expectedLines;  // each followed by ": <reason>"
    std::vector<EnvChange> env;
    bool blackWindow = false;
    bool musicSilent = false;
};

std::string cannotLoad(const std::string& file) {
    return "zephrin: cannot load " + file;
}

// The damage done to one file.
struct Damage {
    const char* name;
    std::function<void(const std::string& path)> apply;
    bool soundStillPlays = false;  // the decoders play what is there, without a word
};

std::vector<Damage> damagesCommonToAllFiles() {
    namespace fs = std::filesystem;
    return {
        {"Missing", [](const std::string& path) { fs::remove(path); }},
        {"Empty", [](const std::string& path) { writeFile(path, ""); }},
        {"TruncatedHalfway",
         [](const std::string& path) {
             const std::string bytes = readFile(path);
             writeFile(path, bytes.substr(0, bytes.size() / 2));
         },
         true},
        {"Garbage",
         [](const std::string& path) {
             std::string bytes;
             for (unsigned i = 0; i < 4096; ++i) {
                 bytes += static_cast<char>((i * 2654435761u) >> 24);
             }
             writeFile(path, bytes);
         }},
    };
}

std::string caseName(const std::string& file, const char* damage) {
    std::string name = std::filesystem::path(file).filename().string() + "_" + damage;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

std::vector<BadInput> badInputs() {
    namespace fs = std::filesystem;
    std::vector<Damage> imageDamages = damagesCommonToAllFiles();
    imageDamages.push_back({"TextFile", [](const std::string& path) {
                                writeFile(path, "This is a text file, not a picture.\n");
                            }});
    imageDamages.push_back({"Directory", [](const std::string& path) {
                                fs::remove(path);
                                fs::create_directory(path);
                            }});
    imageDamages.push_back({"WiderThanAnyTexture", [](const std::string& path) {
                                writePlainPng(path, 20000, 10, kPipe);
                            }});

    std::vector<BadInput> cases;
    const auto add = [&](const std::string& file, const Damage& damage, bool isSound,
                         bool isMusic) {
        const bool reported = !(isSound && damage.soundStillPlays);
        cases.push_back(
            {caseName(file, damage.name),
             [file, apply = damage.apply](const ScratchDir& dir) { apply(dir / file); },
             reported ? std::vector<std::string>{cannotLoad(file)} : std::vector<std::string>{},
             {},
             false,
             isMusic && reported});
    };
    for (const char* image : kImageFiles) {
        for (const Damage& damage : imageDamages) {
            add(image, damage, false, false);
        }
    }
    for (const Damage& damage : damagesCommonToAllFiles()) {
        add(kMusicFile, damage, true, true);
        add(kDingFile, damage, true, false);
    }

    BadInput noMedia{"NoImagesOrSoundsDirectory",
                     [](const ScratchDir& dir) {
                         fs::remove_all(dir / "Images");
                         fs::remove_all(dir / "Sounds");
                     },
                     {},
                     {},
                     true,
                     true};
    for (const char* image : kImageFiles) {
        noMedia.expectedLines.push_back(cannotLoad(image));
    }
    noMedia.expectedLines.push_back(cannotLoad(kMusicFile));
    noMedia.expectedLines.push_back(cannotLoad(kDingFile));
    cases.push_back(noMedia);

    cases.push_back({"NoAudioDevice",
                     [](const ScratchDir&) {},
                     {"zephrin: cannot open audio, playing silent"},
                     {{"SDL_AUDIODRIVER", "no-such-driver"}}});
    return cases;
}

void PrintTo(const BadInput& input, std::ostream* out) {
    *out << input.name;
}

class BadInputTest : public ::testing::TestWithParam<BadInput> {
protected:
    XServer x_;
    ScratchDir dir_;
};

// The game ends by itself about a second after it starts; waits until the
// picture has stood still for 0.4 s, from 1.5 s after the window appeared.
std::optional<Shot> awaitStillPicture(const Game& game, double windowShownAt) {
    sleepFor(windowShownAt + 1.5 - now());
    Shot previous = game.shoot();
    while (now() < windowShownAt + 4 * slowdown()) {
        sleepFor(0.4);
        Shot next = game.shoot();
        if (next == previous) {
            return next;
        }
        previous = std::move(next);
    }
    return std::nullopt;
}

TEST_P(BadInputTest, PlaysOnAndSaysWhatIsWrongInOneLine) {
    const BadInput& input = GetParam();
    stageMedia(dir_);
    input.spoil(dir_);
    const std::string capture = dir_ / "audio.raw";
    std::vector<EnvChange> env = {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", capture}};
    env.insert(env.end(), input.env.begin(), input.env.end());
    Game game(x_, dir_.path(), env);
    ASSERT_TRUE(game.awaitWindow()) << "no window";
    const double shownAt = now();

    const std::optional<Shot> over = awaitStillPicture(game, shownAt);
    ASSERT_TRUE(over.has_value()) << "the game never ended by itself";
    if (input.blackWindow) {
        EXPECT_EQ(findColour(*over, 0x000000).count, 800 * 800) << "not a black window";
    } else {
        game.press("r");
        EXPECT_TRUE(shootUntil(game, 1.0 * slowdown(), [&](const Shot& shot) {
            return shot != *over;
        })) << "r did not restart the game";
    }
    if (input.musicSilent) {
        EXPECT_TRUE(silent(readFile(capture))) << "something played without music to play";
    }

    game.requestClose();
    EXPECT_EQ(describeExit(game.process().awaitExit(1.0 * slowdown())), "exit 0")
        << "after the close button";

    std::vector<std::string> lines;
    for (const std::string& line : game.errorLines()) {
        if (line.rfind("CRITICAL: ", 0) != 0) {  // SDL's disk audio driver announcing itself
            lines.push_back(line);
        }
    }
    ASSERT_EQ(lines.size(), input.expectedLines.size()) << ::testing::PrintToString(lines);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& expected = input.expectedLines[i];
        EXPECT_EQ(lines[i].substr(0, expected.size() + 2), expected + ": ") << lines[i];
        EXPECT_GT(lines[i].size(), expected.size() + 2) << "no reason given: " << lines[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Media, BadInputTest, ::testing::ValuesIn(badInputs()),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                             return info.param.name;
                         });

TEST(NoDisplay, SaysSoAndExitsWithStatusOneWithinAFewSeconds) {
    ScratchDir dir;
    stageMedia(dir);
    std::vector<EnvChange> env = gameEnvironment(std::nullopt);
    // As in any login session; without it the Wayland library complains itself.
    env.push_back({"XDG_RUNTIME_DIR", dir.path()});
    const std::string errors = dir / "stderr.txt";
    Child game({ZEPHRIN_GAME}, dir.path(), env, errors);
    EXPECT_EQ(describeExit(game.awaitExit(5.0 * slowdown())), "exit 1");
    const std::string text = readFile(errors);
    EXPECT_EQ(text.rfind("zephrin: cannot open the window: ", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

}  // namespace
}  // namespace e2e
