#include "app/sound_header.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t kId3HeaderBytes = 10;
constexpr unsigned char kHasFooter = 0x10;

// Sizes in an ID3v2 tag's header are synchsafe: seven bits a byte.
std::uint64_t readSynchsafe(const unsigned char* bytes) {
    return (std::uint64_t{bytes[0] & 0x7Fu} << 21) | (std::uint64_t{bytes[1] & 0x7Fu} << 14) |
           (std::uint64_t{bytes[2] & 0x7Fu} << 7) | (bytes[3] & 0x7Fu);
}

std::uint64_t readLittleEndian(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// Whether the `count` bytes at `offset` are `text`.
bool holds(const ReadAt& read, std::uint64_t offset, const char* text, std::size_t count) {
    unsigned char bytes[32];
    return count <= sizeof bytes && read(offset, bytes, count) == count &&
           std::memcmp(bytes, text, count) == 0;
}

constexpr std::uint64_t kApeHeaderBytes = 32;

// The bytes of the APE tag whose header or footer is `ape`, or 0 if it is
// neither. Its size counts the items and the footer; a header comes on top.
std::uint64_t apeTagBytes(const unsigned char* ape) {
    if (std::memcmp(ape, "APETAGEX", 8) != 0) {
        return 0;
    }
    const bool header = (ape[23] & 0x80) != 0;
    return std::max(readLittleEndian(ape + 12, 4) + (header ? kApeHeaderBytes : 0),
                    kApeHeaderBytes);
}

// The bytes of the ID3v2 or APE tag that starts at `at`; 0 if none.
std::uint64_t tagStartingAt(const ReadAt& read, std::uint64_t at) {
    unsigned char header[kApeHeaderBytes];
    const std::size_t got = read(at, header, sizeof header);
    if (got >= kId3HeaderBytes && std::memcmp(header, "ID3", 3) == 0) {
        const bool footer = (header[5] & kHasFooter) != 0;
        return kId3HeaderBytes + readSynchsafe(header + 6) + (footer ? kId3HeaderBytes : 0);
    }
    return got == sizeof header ? apeTagBytes(header) : 0;
}

// The bytes of the tag that ends the audio at `end`, one that starts at or
// after `begin`: ID3v1, APE, MusicMatch, Lyrics3 (either version) or an
// ID3v2 tag with a footer. 0 if none. A tag that claims more than there is counts as its
// end marker alone.
std::uint64_t tagEndingAt(const ReadAt& read, std::uint64_t begin, std::uint64_t end) {
    const std::uint64_t room = end - begin;
    const auto within = [room](std::uint64_t claimed, std::uint64_t marker) {
        return claimed <= room ? claimed : marker;
    };
    constexpr std::uint64_t kId3v1Bytes = 128;
    if (room >= kId3v1Bytes && holds(read, end - kId3v1Bytes, "TAG", 3)) {
        return kId3v1Bytes;
    }
    unsigned char ape[kApeHeaderBytes];
    if (room >= kApeHeaderBytes && read(end - kApeHeaderBytes, ape, sizeof ape) == sizeof ape &&
        apeTagBytes(ape) != 0) {
        return within(apeTagBytes(ape), kApeHeaderBytes);
    }
    // A MusicMatch tag's footer: the rest of the tag, without it, is no more
    // than a stretch of junk that the decoder skips.
    constexpr std::uint64_t kMusicMatchFooterBytes = 48;
    if (room >= kMusicMatchFooterBytes &&
        holds(read, end - kMusicMatchFooterBytes, "Brava Software Inc.", 19)) {
        return kMusicMatchFooterBytes;
    }
    constexpr std::uint64_t kLyricsEndBytes = 9;
    if (room >= kLyricsEndBytes + 6 && holds(read, end - kLyricsEndBytes, "LYRICS200", 9)) {
        // Six decimal digits before the end mark give the size of the rest.
        unsigned char digits[6];
        read(end - kLyricsEndBytes - 6, digits, sizeof digits);
        std::uint64_t claimed = 0;
        for (const unsigned char digit : digits) {
            claimed = claimed * 10 + (std::isdigit(digit) ? digit - '0' : 0);
        }
        return within(claimed + 6 + kLyricsEndBytes, kLyricsEndBytes);
    }
    if (room >= kLyricsEndBytes && holds(read, end - kLyricsEndBytes, "LYRICSEND", 9)) {
        // Version 1 has no size: its start mark lies at most 5100 bytes back.
        constexpr std::uint64_t kSearched = 5100 + 9 + 11;
        const std::uint64_t from = end - std::min(room, kSearched);
        std::string last(static_cast<std::size_t>(end - from), '\0');
        read(from, reinterpret_cast<unsigned char*>(last.data()), last.size());
        const std::size_t start = last.rfind("LYRICSBEGIN");
        return start == std::string::npos ? kLyricsEndBytes : last.size() - start;
    }
    if (room >= kId3HeaderBytes && holds(read, end - kId3HeaderBytes, "3DI", 3)) {
        unsigned char footer[kId3HeaderBytes];
        read(end - kId3HeaderBytes, footer, sizeof footer);
        return within(readSynchsafe(footer + 6) + 2 * kId3HeaderBytes, kId3HeaderBytes);
    }
    return 0;
}

}  // namespace

bool startsAWav(const unsigned char* bytes, std::size_t count) {
    return count >= kWavSignatureBytes && std::memcmp(bytes, "RIFF", 4) == 0 &&
           std::memcmp(bytes + 8, "WAVE", 4) == 0;
}

ByteSpan audioBetweenTags(const ReadAt& read, std::uint64_t fileSize) {
    ByteSpan audio{0, fileSize};
    while (audio.begin < fileSize) {
        const std::uint64_t tag = tagStartingAt(read, audio.begin);
        if (tag == 0) {
            break;
        }
        audio.begin = std::min(fileSize, audio.begin + tag);
    }
    while (const std::uint64_t tag = tagEndingAt(read, audio.begin, audio.end)) {
        audio.end -= tag;
    }
    return audio;
}

namespace {

constexpr std::uint16_t kMsAdpcm = 0x0002;
constexpr std::uint16_t kImaAdpcm = 0x0011;
constexpr std::uint16_t kExtensible = 0xFFFE;

struct WavFormat {
    std::uint16_t tag = 0;
    std::uint32_t channels = 0;
    std::uint32_t rateHz = 0;
    std::uint32_t blockAlign = 0;
    std::uint32_t bitsPerSample = 0;
};

WavFormat readFormat(const unsigned char* fmt) {
    WavFormat format;
    format.tag = static_cast<std::uint16_t>(readLittleEndian(fmt, 2));
    format.channels = static_cast<std::uint32_t>(readLittleEndian(fmt + 2, 2));
    format.rateHz = static_cast<std::uint32_t>(readLittleEndian(fmt + 4, 4));
    format.blockAlign = static_cast<std::uint32_t>(readLittleEndian(fmt + 12, 2));
    format.bitsPerSample = static_cast<std::uint32_t>(readLittleEndian(fmt + 14, 2));
    if (format.tag == kExtensible) {  // the real tag starts the sub-format's GUID
        format.tag = static_cast<std::uint16_t>(readLittleEndian(fmt + 24, 2));
    }
    return format;
}

// The most sample frames that `dataBytes` of sound in `format` decode to.
std::uint64_t framesIn(const WavFormat& format, std::uint64_t dataBytes) {
    if (format.tag == kMsAdpcm || format.tag == kImaAdpcm) {
        // A block holds four bits a sample, after a header of one or two
        // whole samples a channel.
        const std::uint64_t blocks = (dataBytes + format.blockAlign - 1) / format.blockAlign;
        return blocks * (std::uint64_t{format.blockAlign} * 2 / format.channels + 2);
    }
    const std::uint64_t sampleBytes = std::max<std::uint64_t>(1, (format.bitsPerSample + 7) / 8);
    return dataBytes / (sampleBytes * format.channels);
}

}  // namespace

std::optional<WavSound> measureWav(const ReadAt& read, std::uint64_t fileSize, MixerFormat mixer) {
    constexpr std::uint64_t kChunkHeaderBytes = 8;
    constexpr std::size_t kFormatBytes = 26;  // up to an extensible format's tag
    std::optional<WavFormat> format;
    for (std::uint64_t at = kWavSignatureBytes; at + kChunkHeaderBytes <= fileSize;) {
        unsigned char header[kChunkHeaderBytes];
        if (read(at, header, sizeof header) < sizeof header) {
            break;
        }
        const std::uint64_t length = readLittleEndian(header + 4, 4);
        const std::uint64_t body = at + kChunkHeaderBytes;
        if (!format && std::memcmp(header, "fmt ", 4) == 0) {
            unsigned char fmt[kFormatBytes] = {};
            read(body, fmt, std::min<std::uint64_t>(length, sizeof fmt));
            format = readFormat(fmt);
            if (format->channels == 0 || format->rateHz == 0 || format->blockAlign == 0) {
                return std::nullopt;  // the mixer refuses such a format
            }
        } else if (format && std::memcmp(header, "data", 4) == 0) {
            const auto dataBytes = static_cast<std::uint32_t>(std::min(length, fileSize - body));
            const std::uint64_t frames = framesIn(*format, dataBytes);
            const std::uint64_t mixedFrames = frames * mixer.rateHz / format->rateHz + 1;
            const std::uint64_t widest = std::max(format->channels, mixer.channels);
            constexpr std::uint64_t kSampleBytes = 4;  // 32 bits at most, decoded or converted
            return WavSound{frames * format->channels * kSampleBytes +
                                (frames + mixedFrames) * widest * kSampleBytes,
                            at + 4, dataBytes};
        }
        at = body + length + (length & 1);  // chunks are padded to an even length
    }
    return std::nullopt;
}
