// Files and a start that a suspicious user or a careless launcher could hand
// the game: each gets its one line at most, and the game still shows its
// window within seconds, holds no more memory than a small multiple of a
// normal run's, and closes with status 0.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/media.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/stage.h"

namespace e2e {
namespace {

// A hostile game may hold this many times a normal run's peak memory. An
// image at the game's pixel budget takes about 2.5 times (decoded, converted
// and as a texture); a decoder honouring a bomb's claim takes 8 times and more.
constexpr long kMemoryMultiple = 4;

struct Hostile {
    std::string name;
    std::function<void(const ScratchDir&)> spoil;
    // Each line as "zephrin: cannot load <file>: " and a part of its reason.
    std::vector<std::pair<std::string, std::string>> expectedLines;
    std::vector<int> closedDescriptors;
};

// The largest texture the game's renderer takes on this X server, found as
// the game finds it, in a child so that its SDL stays out of this process.
std::uint32_t largestTextureWidth(const XServer& x) {
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", x.name().c_str(), 1);
        std::uint32_t width = 0;
        if (SDL_Init(SDL_INIT_VIDEO) == 0) {
            SDL_Window* window = SDL_CreateWindow("probe", 0, 0, 16, 16, SDL_WINDOW_HIDDEN);
            width = largestTexture(SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED)).width;
        }
        const ssize_t written = write(fds[1], &width, sizeof width);
        _exit(written == sizeof width ? 0 : 1);
    }
    close(fds[1]);
    std::uint32_t width = 0;
    const ssize_t got = read(fds[0], &width, sizeof width);
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    if (got != sizeof width || width == 0) {
        throw std::runtime_error("cannot learn the renderer's largest texture");
    }
    return width;
}

void replaceByPipe(const std::string& path) {
    std::filesystem::remove(path);
    if (mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("mkfifo failed");
    }
}

// Rewrites the sizes in a WAV file's headers to nearly 4 GiB, the most they
// can say.
void claimGibibytes(const std::string& wavPath) {
    std::string wav = readFile(wavPath);
    const std::size_t data = wav.find("data");
    if (wav.compare(0, 4, "RIFF") != 0 || data == std::string::npos) {
        throw std::runtime_error("not the staged WAV file");
    }
    wav.replace(4, 4, "\xFF\xFF\xFF\xFF");
    wav.replace(data + 4, 4, "\xF0\xFF\xFF\xFF");
    writeFile(wavPath, wav);
}

// An ID3v2.3 tag holding one title frame whose header claims `claimed`
// bytes, with 16 in it.
std::string id3TagWithTitleClaiming(std::uint32_t claimed) {
    std::string frame = "TIT2";
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame += static_cast<char>((claimed >> shift) & 0xFF);
    }
    frame += std::string(2, '\0') + '\0' + std::string(15, 't');
    const std::string size = {'\0', '\0', '\0', static_cast<char>(frame.size())};
    return std::string("ID3\x03\x00\x00", 6) + size + frame;
}

std::vector<Hostile> hostileInputs() {
    const auto pipeFor = [](const char* file) {
        return Hostile{std::string("NamedPipeFor_") + std::filesystem::path(file).stem().string(),
                       [file](const ScratchDir& dir) { replaceByPipe(dir / file); },
                       {{file, "a named pipe, not a regular file"}},
                       {}};
    };
    const auto noBird = [](const ScratchDir& dir) {
        std::filesystem::remove(dir / "Images/Bird.png");
    };
    return {
        {"HeaderClaims65535By65535",
         [](const ScratchDir& dir) { writeSizeClaimingPng(dir / "Images/Bird.png", 65535, 65535); },
         {{"Images/Bird.png", "65535 x 65535"}},
         {}},
        // The width is filled in once the renderer's limit is known.
        {"OnePixelWiderThanTheLargestTexture", nullptr, {}, {}},
        {"DecompressionBombOverThePixelBudget",
         [](const ScratchDir& dir) {
             writeDecompressionBomb(dir / "Images/Background.png", 16384, 16384, kSky);
         },
         {{"Images/Background.png", "16384 x 16384"}},
         {}},
        {"DecompressionBombAtThePixelBudgetIsShown",
         [](const ScratchDir& dir) {
             writeDecompressionBomb(dir / "Images/Background.png", 4096, 4096, kSky);
         },
         {},
         {}},
        // libpng, never told that the file has ended, would skip the same
        // broken text chunk for ever.
        {"PngCutShortAfterItsHeader",
         [](const ScratchDir& dir) {
             const std::string bird = readFile(dir / "Images/Bird.png");
             // A text chunk of 35 bytes, cut after 10 of them.
             const char cut[] = "\0\0\0\x23zTXtComment\0\0x";
             writeFile(dir / "Images/Bird.png",
                       bird.substr(0, 33) + std::string(cut, sizeof cut - 1));
         },
         {{"Images/Bird.png", "the file ends inside its zTXt chunk"}},
         {}},
        // SDL asks for the memory the header claims, and touches only what
        // the file holds: the ding plays what is there, without a word.
        {"DingClaimsFourGibibytesOfSound",
         [](const ScratchDir& dir) { claimGibibytes(dir / kDingFile); },
         {},
         {}},
        // Seven bytes, too few for any of the mixer's decoders: the ding's
        // file must be closed all the same.
        {"DingTooShortForAnyDecoder",
         [](const ScratchDir& dir) { writeFile(dir / kDingFile, "RRIFF\xFF\xFF"); },
         {{kDingFile, ""}},
         {}},
        // Decoded whole into memory, a long MP3 in its place would take
        // hundreds of megabytes; the ding must be a WAV.
        {"DingThatIsAnMp3",
         [](const ScratchDir& dir) {
             std::filesystem::copy_file(dir / kMusicFile, dir / kDingFile,
                                        std::filesystem::copy_options::overwrite_existing);
         },
         {{kDingFile, "not a WAV sound"}},
         {}},
        // The mixer would clear 2 GiB for the title, then crash copying it.
        {"MusicTitleClaimingTwoGibibytes",
         [](const ScratchDir& dir) {
             writeFile(dir / kMusicFile,
                       id3TagWithTitleClaiming(0x7FFFFFF0) + readFile(dir / kMusicFile));
         },
         {{kMusicFile, "TIT2 frame claims 2147483632 bytes"}},
         {}},
        pipeFor("Images/Bird.png"),
        pipeFor(kMusicFile),
        pipeFor(kDingFile),
        // The missing bird makes the game print a line into whatever stderr is.
        {"StderrClosed", noBird, {}, {STDERR_FILENO}},
        {"StdoutClosed", noBird, {{"Images/Bird.png", "No such file"}}, {STDOUT_FILENO}},
    };
}

void PrintTo(const Hostile& input, std::ostream* out) {
    *out << input.name;
}

bool showsTheStagedMedia(const Shot& shot) {
    return findColour(shot, kSky).count > 0 || findColour(shot, kBird).count > 0;
}

struct Run {
    long peakMemoryKiB = -1;
    std::string exit;
};

// Starts the game in `dir`, waits for the first frame drawn with the media
// (every medium is loaded by then), notes its peak memory and closes it.
class HostileTest : public ::testing::TestWithParam<Hostile> {
protected:
    long normalPeakMemoryKiB() {
        ScratchDir normal;
        stageMedia(normal);
        Game game(x_, normal.path());
        if (!game.awaitWindow() || !shootUntil(game, 5 * slowdown(), showsTheStagedMedia)) {
            throw std::runtime_error("a normal run showed nothing");
        }
        return game.process().peakMemoryKiB();
    }

    XServer x_;
    ScratchDir dir_;
};

TEST_P(HostileTest, ShowsTheWindowSaysWhatIsWrongStaysSmallAndCloses) {
    Hostile input = GetParam();
    if (input.spoil == nullptr) {  // one pixel wider than the largest texture
        const std::uint32_t width = largestTextureWidth(x_) + 1;
        input.spoil = [width](const ScratchDir& dir) {
            writePlainPng(dir / "Images/Pipe_Body.png", static_cast<int>(width), 1, kPipe);
        };
        input.expectedLines = {{"Images/Pipe_Body.png", std::to_string(width) + " x 1 pixels"}};
    }
    const long normalPeak = normalPeakMemoryKiB();
    stageMedia(dir_);
    input.spoil(dir_);

    Game game(x_, dir_.path(), {}, input.closedDescriptors);
    ASSERT_TRUE(game.awaitWindow()) << "no window within five seconds";
    // Decoding an image at the pixel budget takes a few seconds on a busy machine.
    ASSERT_TRUE(shootUntil(game, 10 * slowdown(), showsTheStagedMedia))
        << "the game never got past loading its media";
    const long peak = game.process().peakMemoryKiB();
    // The music streams from its file as it plays; nothing else stays open.
    for (const std::string& open : game.process().descriptorTargets()) {
        EXPECT_TRUE(open.rfind(dir_ / "Images/", 0) != 0 && open != dir_ / kDingFile)
            << "still open: " << open;
    }
    for (const int fd : input.closedDescriptors) {
        EXPECT_EQ(game.process().descriptorTarget(fd), "/dev/null") << "descriptor " << fd;
    }
    game.requestClose();
    EXPECT_EQ(describeExit(game.process().awaitExit(1.0 * slowdown())), "exit 0")
        << "after the close button";

    EXPECT_GT(peak, 0);
    EXPECT_LE(peak, kMemoryMultiple * normalPeak)
        << "peak " << peak << " KiB against " << normalPeak << " KiB in a normal run";
    const std::vector<std::string> lines = game.errorLines();
    ASSERT_EQ(lines.size(), input.expectedLines.size()) << ::testing::PrintToString(lines);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& [file, reason] = input.expectedLines[i];
        const std::string start = "zephrin: cannot load " + file + ": ";
        EXPECT_EQ(lines[i].rfind(start, 0), 0u) << lines[i];
        EXPECT_NE(lines[i].find(reason, start.size()), std::string::npos) << lines[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Start, HostileTest, ::testing::ValuesIn(hostileInputs()),
                         [](const ::testing::TestParamInfo<Hostile>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace e2e
