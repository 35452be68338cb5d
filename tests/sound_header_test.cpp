// The checks on a sound file's first bytes: the ding must be a WAV, and the
// music's ID3 tag must not claim text frames the mixer cannot read safely.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
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

std::string why(const std::string& file) {
    const ReadAt read = [&](std::uint64_t offset, unsigned char* buffer, std::size_t count) {
        if (offset >= file.size()) {
            return std::size_t{0};
        }
        const std::size_t got = std::min<std::size_t>(count, file.size() - offset);
        std::memcpy(buffer, file.data() + offset, got);
        return got;
    };
    return whyId3TagIsUnsafe(read, file.size());
}

struct TagCase {
    const char* name;
    std::string file;
    const char* refusal;  // a part of the reason; nullptr when the tag is safe
};

TEST(WhyId3TagIsUnsafe, RefusesOnlyTextFramesLongerThanTheMixerReadsSafely) {
    const std::string music(4096, '\xFF');  // stands for the MPEG frames after the tag
    const std::string shortTitle = frame("TIT2", 4, 3);
    const TagCase cases[] = {
        {"no tag", music, nullptr},
        {"a short file", "ID3", nullptr},
        {"short frames", tag(3, shortTitle + frame("TPE1", 4, 3)) + music, nullptr},
        {"a title at the longest safe length", tag(3, frame("TIT2", 1023, 3, 1023)) + music,
         nullptr},
        {"a title one byte longer", tag(3, frame("TIT2", 1024, 3, 1024)) + music,
         "TIT2 frame claims 1024 bytes"},
        {"a title claiming 2 GiB", tag(3, frame("TIT2", 0x7FFFFFF0, 3)) + music,
         "TIT2 frame claims 2147483632 bytes"},
        {"a long text frame after a short one", tag(3, shortTitle + frame("TALB", 5000, 3)) + music,
         "TALB frame claims 5000"},
        {"a long picture is no text", tag(3, frame("APIC", 5000, 3, 5000)) + music, nullptr},
        {"version 4 sizes are synchsafe", tag(4, frame("TPE1", 1024, 4, 1024)) + music,
         "TPE1 frame claims 1024"},
        {"version 4 at the safe length", tag(4, frame("TPE1", 1023, 4, 1023)) + music, nullptr},
        // 0x00 0x00 0x87 0xFF: 1,023 with the top bits cleared, 17,535 as the mixer adds it up.
        {"version 4 size bytes with their top bit set",
         tag(4, std::string("TIT2\x00\x00\x87\xFF\x00\x00", 10) + std::string(1023, 'x')) + music,
         "TIT2 frame claims 17535"},
        {"version 2 frames", tag(2, frame("TT2", 70000, 2)) + music, "TT2 frame claims 70000"},
        {"version 2 short frames", tag(2, frame("TT2", 4, 2)) + music, nullptr},
        {"padding ends the frames", tag(3, std::string(20, '\0') + frame("TIT2", 9000, 3)) + music,
         nullptr},
        {"after an extended header",
         tag(3, synchsafe(6) + std::string(6, '\0') + frame("TIT2", 9000, 3), 0x40) + music,
         "TIT2 frame claims 9000"},
        {"a frame in the footer's room", tag(4, shortTitle, 0x10) + frame("TIT2", 9000, 4) + music,
         "TIT2 frame claims 9000"},
        {"a tag longer than its file", tag(3, frame("TIT2", 9000, 3), 0, 1u << 27), nullptr},
        {"an unknown version", tag(5, frame("TIT2", 9000, 3)) + music, nullptr},
        {"a tag cut inside a frame header", tag(3, "TIT2\x00\x00", 0, 6), nullptr},
    };
    for (const TagCase& c : cases) {
        const std::string reason = why(c.file);
        if (c.refusal == nullptr) {
            EXPECT_EQ(reason, "") << c.name;
        } else {
            EXPECT_NE(reason.find(c.refusal), std::string::npos) << c.name << ": " << reason;
        }
    }
}

// The walk reads frame headers only, however many the tag holds.
TEST(WhyId3TagIsUnsafe, ReadsOnlyTheFrameHeaders) {
    std::string frames;
    for (int i = 0; i < 100; ++i) {
        frames += frame("APIC", 1000, 3, 1000);
    }
    const std::string file = tag(3, frames) + std::string(4096, '\xFF');
    std::size_t bytesRead = 0;
    const ReadAt read = [&](std::uint64_t offset, unsigned char* buffer, std::size_t count) {
        const std::size_t got = std::min<std::size_t>(count, file.size() - offset);
        std::memcpy(buffer, file.data() + offset, got);
        bytesRead += got;
        return got;
    };
    EXPECT_EQ(whyId3TagIsUnsafe(read, file.size()), "");
    EXPECT_EQ(bytesRead, 10u + 100u * 10u);
}

}  // namespace
