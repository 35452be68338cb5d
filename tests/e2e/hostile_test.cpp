// Files and a start that a suspicious user or a careless launcher could hand
// the game: each gets its one line at most, and the game still shows its
// window and its media within seconds, stays under 300 MB, and closes with
// status 0.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/media.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/stage.h"

namespace e2e {
namespace {

// A hostile game may hold this much more memory than a normal run: with a
// normal run's 110 MB, under 300 MB. AddressSanitizer keeps the buffers that
// the decoders and converters free for a while: there the media may take up
// to all of their budget.
constexpr long kMostExtraMemoryKiB =
    kSanitized ? static_cast<long>(kMediaBudgetBytes >> 10) : 185 * 1024;

struct Hostile {
    std::string name;
    std::function<void(const ScratchDir&)> spoil;
    // Each line as "zephrin: cannot load <file>: " and a part of its reason.
    std::vector<std::pair<std::string, std::string>> expectedLines;
    std::vector<int> closedDescriptors = {};
    // Run beside the game's start until it has shown its media.
    std::function<void(const ScratchDir&, const std::atomic<bool>& done)> meanwhile = nullptr;
    // The line may or may not come, as the race falls.
    bool lineMayBeMissing = false;
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

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void putBigEndianTo(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

// A WAV file of `dataBytes` of silence-like zeros in the given format, the
// zeros a hole in the file that takes no room on disk.
void writeSparseWav(const std::string& path, std::uint16_t formatTag, std::uint16_t channels,
                    std::uint32_t rateHz, std::uint16_t bits, std::uint16_t blockAlign,
                    std::uint32_t dataBytes, const std::string& formatExtra = {}) {
    std::string fmt;
    putLittleEndian(fmt, formatTag, 2);
    putLittleEndian(fmt, channels, 2);
    putLittleEndian(fmt, rateHz, 4);
    putLittleEndian(fmt, rateHz * blockAlign, 4);
    putLittleEndian(fmt, blockAlign, 2);
    putLittleEndian(fmt, bits, 2);
    fmt += formatExtra;
    std::string wav = "RIFF";
    putLittleEndian(wav, static_cast<std::uint32_t>(4 + 8 + fmt.size() + 8 + dataBytes), 4);
    wav += "WAVEfmt ";
    putLittleEndian(wav, static_cast<std::uint32_t>(fmt.size()), 4);
    wav += fmt + "data";
    putLittleEndian(wav, dataBytes, 4);
    writeFile(path, wav);
    std::filesystem::resize_file(path, wav.size() + dataBytes);
}

// An ID3v2.3 tag whose cover frame holds 2 KiB and ends in the 10 bytes of a
// title frame's header claiming 10 MiB: SDL_mixer 2.6 reads its next frame
// header 10 bytes early after any frame of 1 KiB or more.
std::string id3TagWithACoverEndingInAFrameHeader() {
    std::string cover = std::string("\0image/png\0\x03\0", 14);
    cover += std::string(2048 - cover.size() - 10, 'p');
    cover += std::string("TIT2\x00\xA0\x00\x00\0\0", 10);
    std::string frame = "APIC";
    putBigEndianTo(frame, static_cast<std::uint32_t>(cover.size()));
    frame += std::string(2, '\0') + cover + std::string(64, '\0');  // and padding
    std::string size;
    for (int shift = 21; shift >= 0; shift -= 7) {
        size += static_cast<char>((frame.size() >> shift) & 0x7F);
    }
    return std::string("ID3\x03\x00\x00", 6) + size + frame;
}

// Appends an APE tag of `mebibytes` MiB to the file, its items a hole of
// zeros: SDL_mixer 2.6 walks it item by item, about 0.13 s a MiB.
void appendLargeApeTag(const std::string& path, std::uint32_t mebibytes) {
    const std::uint32_t items = mebibytes << 20;
    const auto apeTagPart = [items](std::uint32_t flags) {
        std::string part = "APETAGEX";
        putLittleEndian(part, 2000, 4);
        putLittleEndian(part, items + 32, 4);  // the items and the footer
        putLittleEndian(part, items / 9, 4);   // as many items as fit
        putLittleEndian(part, flags, 4);
        return part + std::string(8, '\0');
    };
    constexpr std::uint32_t kHasHeader = 0x80000000;
    constexpr std::uint32_t kIsHeader = 0x20000000;
    std::ofstream(path, std::ios::binary | std::ios::app) << apeTagPart(kHasHeader | kIsHeader);
    std::filesystem::resize_file(path, std::filesystem::file_size(path) + items);
    std::ofstream(path, std::ios::binary | std::ios::app) << apeTagPart(kHasHeader);
}

// Swaps the ding for a named pipe and back, over and over, until `done`: the
// game must never open a pipe it found to be a regular file a moment before.
void swapDingWithAPipe(const ScratchDir& dir, const std::atomic<bool>& done) {
    const std::string ding = dir / kDingFile;
    const std::string wav = dir / "Sounds/ding-copy.wav";
    const std::string pipe = dir / "Sounds/ding-pipe";
    std::filesystem::copy_file(ding, wav);
    while (!done) {
        std::filesystem::remove(pipe);
        mkfifo(pipe.c_str(), 0600);
        std::filesystem::create_hard_link(wav, dir / "Sounds/ding-link");
        std::filesystem::rename(dir / "Sounds/ding-link", ding);
        std::filesystem::rename(pipe, ding);
    }
    std::filesystem::create_hard_link(wav, dir / "Sounds/ding-link");
    std::filesystem::rename(dir / "Sounds/ding-link", ding);
}

// Files that are each within every limit on their own, and take the media
// past what a game may hold, or its start past seconds, only together or
// once decoded; and a file swapped under the game as it starts.
std::vector<Hostile> boundedInputs() {
    const auto picture = [](const char* file, std::uint32_t rgb) {
        return [file, rgb](const ScratchDir& dir) {
            writeDecompressionBomb(dir / file, 4096, 4096, rgb);
        };
    };
    constexpr const char* kNoRoom = "MiB the media may take are left";
    constexpr std::uint16_t kPcm = 1;
    constexpr std::uint16_t kImaAdpcm = 0x11;
    return {
        {"ImageDataRunningOnForGigabytes",
         [](const ScratchDir& dir) {
             writeImageDataRunningOn(dir / "Images/Bird.png", 50, 50, 4096);
         },
         {{"Images/Bird.png", "image data runs past"}}},
        {"FivePicturesEachAtThePixelBudget",
         [=](const ScratchDir& dir) {
             picture("Images/Bird.png", kBird)(dir);
             picture("Images/Pipe_Body.png", kPipe)(dir);
             picture("Images/Pipe_Head.png", kPipe)(dir);
             picture("Images/Background.png", kSky)(dir);
             picture("Images/ScoreSheet.png", kDigits)(dir);
         },
         {{"Images/Pipe_Body.png", kNoRoom},
          {"Images/Pipe_Head.png", kNoRoom},
          {"Images/Background.png", kNoRoom},
          {"Images/ScoreSheet.png", kNoRoom}}},
        // The mixer would crash reading the tag; the game hands it none.
        {"MusicWithACoverFrameTheMixerMisreads",
         [](const ScratchDir& dir) {
             writeFile(dir / kMusicFile,
                       id3TagWithACoverEndingInAFrameHeader() + readFile(dir / kMusicFile));
         },
         {}},
        {"MusicWithALargeApeTagAtItsEnd",
         [](const ScratchDir& dir) { appendLargeApeTag(dir / kMusicFile, 256); },
         {}},
        {"DingOfHugePcmData",
         [](const ScratchDir& dir) {
             writeSparseWav(dir / kDingFile, kPcm, 2, 22050, 16, 4, 600u << 20);
         },
         {{kDingFile, kNoRoom}}},
        {"DingOfImaAdpcmFourfold",
         [](const ScratchDir& dir) {
             // 1017 samples in each block of 1024 bytes, stereo.
             writeSparseWav(dir / kDingFile, kImaAdpcm, 2, 22050, 4, 1024, 150u << 20,
                            std::string("\x02\x00\xF9\x03", 4));
         },
         {{kDingFile, kNoRoom}}},
        {"DingOfEightBitMonoElevenfold",
         [](const ScratchDir& dir) {
             writeSparseWav(dir / kDingFile, kPcm, 1, 8000, 8, 1, 40u << 20);
         },
         {{kDingFile, kNoRoom}}},
        {"DingSwappedForANamedPipe",
         [](const ScratchDir&) {},
         {{kDingFile, "a named pipe, not a regular file"}},
         {},
         swapDingWithAPipe,
         true},
    };
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
        // The mixer would clear 2 GiB for the title, then crash copying
        // it; it never sees the tag.
        {"MusicTitleClaimingTwoGibibytes",
         [](const ScratchDir& dir) {
             writeFile(dir / kMusicFile,
                       id3TagWithTitleClaiming(0x7FFFFFF0) + readFile(dir / kMusicFile));
         },
         {},
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

    std::atomic<bool> started{false};
    std::thread meanwhile;
    if (input.meanwhile) {
        meanwhile = std::thread(input.meanwhile, std::cref(dir_), std::cref(started));
    }
    const double start = now();
    Game game(x_, dir_.path(), {}, input.closedDescriptors);
    const bool windowShown = game.awaitWindow();
    const double windowAt = now() - start;
    // Decoding an image at the pixel budget takes a few seconds on a busy machine.
    const bool mediaShown = windowShown && shootUntil(game, 10 * slowdown(), showsTheStagedMedia);
    const double mediaAt = now() - start;
    started = true;
    if (meanwhile.joinable()) {
        meanwhile.join();
    }
    const long peak = game.process().peakMemoryKiB();
    // What the measurements of start-up and memory quote.
    std::printf("  %s: window %s after %.2f s, media %s after %.2f s, peak %ld KiB (normal %ld)\n",
                input.name.c_str(), windowShown ? "shown" : "not shown", windowAt,
                mediaShown ? "shown" : "not shown", mediaAt, peak, normalPeak);
    ASSERT_TRUE(windowShown) << "no window within five seconds";
    ASSERT_TRUE(mediaShown) << "the game never got past loading its media";
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
    EXPECT_LE(peak, normalPeak + kMostExtraMemoryKiB)
        << "peak " << peak << " KiB against " << normalPeak << " KiB in a normal run";
    const std::vector<std::string> lines = game.errorLines();
    if (input.lineMayBeMissing && lines.empty()) {
        input.expectedLines.clear();
    }
    ASSERT_EQ(lines.size(), input.expectedLines.size()) << ::testing::PrintToString(lines);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& [file, reason] = input.expectedLines[i];
        const std::string start = "zephrin: cannot load " + file + ": ";
        EXPECT_EQ(lines[i].rfind(start, 0), 0u) << lines[i];
        EXPECT_NE(lines[i].find(reason, start.size()), std::string::npos) << lines[i];
    }
}

const auto caseName = [](const ::testing::TestParamInfo<Hostile>& info) { return info.param.name; };

INSTANTIATE_TEST_SUITE_P(Start, HostileTest, ::testing::ValuesIn(hostileInputs()), caseName);
// Apart, so that the Windows checks can play them too.
INSTANTIATE_TEST_SUITE_P(Bounded, HostileTest, ::testing::ValuesIn(boundedInputs()), caseName);

}  // namespace
}  // namespace e2e
