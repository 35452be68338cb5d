// The checks on a sound file's headers: the ding must be a WAV whose decoded
// size is known before it is decoded, and the mixer is given only the
// music's audio, none of its tags.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/sound_header.h"

namespace {

TEST(StartsAWav, OnlyARiffFileOfTheWaveKind) {
    const struct {
        std::string bytes;
        bool wav;
    } cases[] = {
        {std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16), true},
        {std::string("RIFF\xFF\xFF\xFF\xFFWAVE", 12), true},
        {std::string("RIFF\x24\x00\x00\x00WAV", 11), false},   // one byte short
        {std::string("RIFF\x24\x00\x00\x00AVI ", 12), false},  // a video
        {std::string("RIFX\x24\x00\x00\x00WAVE", 12), false},
        {"ID3\x03\x00\x00\x00\x00\x00\x00\x00\x00", false},  // an MP3 named .wav
        {"OggS\x00\x02\x00\x00\x00\x00\x00\x00", false},
        {"", false},
    };
    for (const auto& c : cases) {
        const std::vector<unsigned char> copy(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(startsAWav(copy.data(), copy.size()), c.wav) << c.bytes;
    }
}

std::string bigEndian(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out;
}

std::string synchsafe(std::uint32_t value) {
    std::string out;
    for (int shift = 21; shift >= 0; shift -= 7) {
        out += static_cast<char>((value >> shift) & 0x7F);
    }
    return out;
}

// A frame of version 3 or 4 claiming `claimed` bytes and holding `held`.
std::string frame(const char* id, std::uint32_t claimed, int version, std::size_t held = 4) {
    if (version == 2) {
        return std::string(id, 3) + bigEndian(claimed, 3) + std::string(held, 'a');
    }
    return std::string(id, 4) + (version == 4 ? synchsafe(claimed) : bigEndian(claimed, 4)) +
           std::string(2, '\0') + std::string(held, 'a');
}

// An ID3v2 tag around `frames`, claiming their length unless told otherwise.
std::string tag(int version, const std::string& frames, unsigned char flags = 0,
                std::int64_t claimed = -1) {
    const auto length = static_cast<std::uint32_t>(claimed >= 0 ? claimed : frames.size());
    return std::string("ID3") + static_cast<char>(version) + '\0' + static_cast<char>(flags) +
           synchsafe(length) + frames;
}

ReadAt readerOf(const std::string& file) {
    return [&file](std::uint64_t offset, unsigned char* buffer, std::size_t count) {
        const std::size_t got =
            offset < file.size() ? std::min<std::size_t>(count, file.size() - offset) : 0;
        std::memcpy(buffer, file.data() + std::min<std::size_t>(offset, file.size()), got);
        return got;
    };
}

std::string littleEndian(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out;
}

// An APE tag around `items`: a footer, and a header when asked for.
std::string apeTag(const std::string& items, bool withHeader, std::uint32_t claimed = 0) {
    const auto part = [&](std::uint32_t flags) {
        const std::uint32_t size = claimed != 0 ? claimed : items.size() + 32;
        return "APETAGEX" + littleEndian(2000, 4) + littleEndian(size, 4) + littleEndian(1, 4) +
               littleEndian(flags, 4) + std::string(8, '\0');
    };
    return (withHeader ? part(0xA0000000) : "") + items + part(withHeader ? 0x80000000 : 0);
}

std::string id3v1Tag() {
    return "TAG" + std::string(125, 't');
}

TEST(AudioBetweenTags, LeavesOutEveryTagAtEitherEnd) {
    const std::string audio(4096, '\xFF');  // stands for the MPEG frames
    const std::string title = frame("TIT2", 4, 3);
    const std::string cover = frame("APIC", 2000, 3, 2000);
    const std::string lyrics = "LYRICSBEGIN" + std::string(20, 'l');
    const std::string lyrics2 = lyrics + "000031" + "LYRICS200";
    const struct {
        const char* name;
        std::string before;
        std::string after;
    } cases[] = {
        {"no tags", "", ""},
        {"an ID3v2 tag", tag(3, title), ""},
        {"a cover frame the mixer misreads", tag(3, cover), ""},
        {"two ID3v2 tags", tag(3, title) + tag(4, frame("TIT2", 4, 4)), ""},
        {"an ID3v2 tag with a footer", tag(4, title, 0x10) + std::string(10, '\0'), ""},
        {"an APE tag at the start", apeTag("items", true), ""},
        {"an ID3v1 tag", "", id3v1Tag()},
        {"an APE tag with a header", "", apeTag(std::string(5000, '\0'), true)},
        {"an APE tag without a header", "", apeTag("items", false)},
        {"an APE tag before an ID3v1 tag", "", apeTag("items", true) + id3v1Tag()},
        {"Lyrics3 version 2 before an ID3v1 tag", "", lyrics2 + id3v1Tag()},
        {"Lyrics3 version 1", "", lyrics + "LYRICSEND"},
        {"an appended ID3v2 tag", "", tag(4, title, 0x10) + "3DI\x04" + std::string(6, '\0')},
        {"tags at both ends", tag(3, cover), apeTag("items", true) + id3v1Tag()},
    };
    for (const auto& c : cases) {
        std::string file = c.before + audio + c.after;
        if (c.after.rfind("3DI") != std::string::npos) {  // the footer repeats the tag's size
            file.replace(file.size() - 4, 4, synchsafe(static_cast<std::uint32_t>(title.size())));
        }
        const ByteSpan span = audioBetweenTags(readerOf(file), file.size());
        EXPECT_EQ(span.begin, c.before.size()) << c.name;
        EXPECT_EQ(span.end, c.before.size() + audio.size()) << c.name;
    }
}

// A tag claiming more than the file holds, at the start, leaves no audio;
// at the end, only its end marker is left out, so the mixer finds no tag.
TEST(AudioBetweenTags, TagsClaimingMoreThanTheFileHoldsLeaveNoTagToTheMixer) {
    const std::string audio(4096, '\xFF');
    std::string file = tag(3, "", 0, 1u << 27) + audio;
    ByteSpan span = audioBetweenTags(readerOf(file), file.size());
    EXPECT_EQ(span.begin, span.end);

    file = audio + apeTag("items", true, 1u << 30);
    span = audioBetweenTags(readerOf(file), file.size());
    EXPECT_EQ(span.begin, 0u);
    EXPECT_EQ(span.end, file.size() - 32);

    file = "";
    span = audioBetweenTags(readerOf(file), file.size());
    EXPECT_EQ(span.end, 0u);
}

// A WAV file of `dataBytes` bytes of sound in a format; `fmtExtra` follows
// the format's 16 bytes.
std::string wav(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                std::uint16_t blockAlign, std::uint16_t bits, std::uint32_t dataBytes,
                const std::string& before = "", const std::string& fmtExtra = "") {
    const std::string fmt = littleEndian(tag, 2) + littleEndian(channels, 2) +
                            littleEndian(rate, 4) + littleEndian(rate * blockAlign, 4) +
                            littleEndian(blockAlign, 2) + littleEndian(bits, 2) + fmtExtra;
    return "RIFF" + littleEndian(0, 4) + "WAVE" + before + "fmt " + littleEndian(fmt.size(), 4) +
           fmt + "data" + littleEndian(dataBytes, 4) + std::string(dataBytes, '\0');
}

TEST(MeasureWav, CountsTheDecodedSoundAndTheConvertersBuffer) {
    const MixerFormat mixer{22050, 2};
    const std::string extensibleFloat = littleEndian(22, 2) + littleEndian(32, 2) +
                                        littleEndian(3, 4) + littleEndian(3, 2) +
                                        std::string(14, 'g');
    const struct {
        const char* name;
        std::string file;
        std::uint64_t frames;       // decoded from the file
        std::uint64_t mixedFrames;  // once converted to the mixer's rate
        std::uint64_t channels;     // of the file
    } cases[] = {
        {"16-bit stereo at the mixer's rate", wav(1, 2, 22050, 4, 16, 4000), 1000, 1001, 2},
        {"8-bit mono at 8 kHz", wav(1, 1, 8000, 1, 8, 8000), 8000, 22051, 1},
        {"24-bit mono", wav(1, 1, 44100, 3, 24, 3000), 1000, 501, 1},
        {"float stereo, extensible", wav(0xFFFE, 2, 22050, 8, 32, 800, "", extensibleFloat), 100,
         101, 2},
        {"mu-law mono", wav(7, 1, 8000, 1, 8, 800), 800, 2206, 1},
        // Two blocks of 256 bytes: at most 2 x (256 x 2 + 2) samples.
        {"IMA ADPCM mono", wav(0x11, 1, 22050, 256, 4, 300), 1028, 1029, 1},
        {"after a LIST chunk",
         wav(1, 2, 22050, 4, 16, 40, "LIST" + littleEndian(3, 4) + std::string("abc\0", 4)), 10, 11,
         2},
    };
    for (const auto& c : cases) {
        const std::optional<WavSound> sound = measureWav(readerOf(c.file), c.file.size(), mixer);
        ASSERT_TRUE(sound.has_value()) << c.name;
        EXPECT_EQ(sound->bytesInMemory,
                  c.frames * c.channels * 4 +
                      (c.frames + c.mixedFrames) * std::max<std::uint64_t>(c.channels, 2) * 4)
            << c.name;
    }
}

TEST(MeasureWav, CountsOnlyTheSoundTheFileHoldsAndNeedsAFormatFirst) {
    const MixerFormat mixer{22050, 2};
    const std::string honest = wav(1, 2, 22050, 4, 16, 400);
    std::string claiming = honest;
    claiming.replace(claiming.size() - 404, 4, littleEndian(0xFFFFFFF0, 4));  // 4 GiB
    const std::optional<WavSound> held = measureWav(readerOf(claiming), claiming.size(), mixer);
    ASSERT_TRUE(held.has_value());
    EXPECT_EQ(held->bytesInMemory,
              measureWav(readerOf(honest), honest.size(), mixer)->bytesInMemory);
    EXPECT_EQ(held->dataSizeAt, claiming.size() - 404);
    EXPECT_EQ(held->dataBytesHeld, 400u);

    const std::string dataFirst = "RIFF" + littleEndian(0, 4) + "WAVEdata" + littleEndian(4, 4) +
                                  "abcd" + "fmt " + littleEndian(16, 4) + std::string(16, '\1');
    EXPECT_FALSE(measureWav(readerOf(dataFirst), dataFirst.size(), mixer).has_value());
    const std::string noRate = wav(1, 2, 0, 4, 16, 400);
    EXPECT_FALSE(measureWav(readerOf(noRate), noRate.size(), mixer).has_value());
    const std::string noChannels = wav(1, 0, 22050, 4, 16, 400);
    EXPECT_FALSE(measureWav(readerOf(noChannels), noChannels.size(), mixer).has_value());
}

}  // namespace
