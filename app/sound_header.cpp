#include "app/sound_header.h"

#include <cctype>
#include <cstring>

namespace {

constexpr std::size_t kTagHeaderBytes = 10;
constexpr unsigned char kHasExtendedHeader = 0x40;
constexpr unsigned char kHasFooter = 0x10;

// Sizes in an ID3v2 tag's header, and a version 4 frame's, are synchsafe:
// seven bits a byte. The mixer adds the bytes up without clearing their top
// bits, so a broken size (0x00 0x00 0x87 0xFF) is 17,535 bytes to it, not
// 1,023; read them as it does, or a frame it overruns on would pass here.
std::uint32_t readSynchsafe(const unsigned char* bytes) {
    return (static_cast<std::uint32_t>(bytes[0]) << 21) +
           (static_cast<std::uint32_t>(bytes[1]) << 14) +
           (static_cast<std::uint32_t>(bytes[2]) << 7) + bytes[3];
}

std::uint32_t readBigEndian(const unsigned char* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

struct FrameLayout {
    std::size_t headerBytes;
    std::size_t idBytes;
};

// Version 2 frames have a three-letter id and a 24-bit size; versions 3 and
// 4 a four-letter id and a 32-bit size, plain in 3 and synchsafe in 4.
std::uint32_t frameSize(const unsigned char* header, int version) {
    if (version == 2) {
        return readBigEndian(header + 3, 3);
    }
    return version == 4 ? readSynchsafe(header + 4) : readBigEndian(header + 4, 4);
}

}  // namespace

bool startsAWav(const unsigned char* bytes, std::size_t count) {
    return count >= kWavSignatureBytes && std::memcmp(bytes, "RIFF", 4) == 0 &&
           std::memcmp(bytes + 8, "WAVE", 4) == 0;
}

std::string whyId3TagIsUnsafe(const ReadAt& read, std::uint64_t fileSize) {
    unsigned char header[kTagHeaderBytes];
    if (read(0, header, sizeof header) < sizeof header || std::memcmp(header, "ID3", 3) != 0) {
        return {};
    }
    const int version = header[3];
    if (version < 2 || version > 4) {
        return {};  // the mixer skips tags of other versions
    }
    const unsigned char flags = header[5];
    const std::uint64_t tagBytes = readSynchsafe(header + 6);
    std::uint64_t at = kTagHeaderBytes;
    std::uint64_t end = kTagHeaderBytes + tagBytes + ((flags & kHasFooter) ? kTagHeaderBytes : 0);
    if (version > 2 && (flags & kHasExtendedHeader)) {
        unsigned char size[4];
        if (read(at, size, sizeof size) < sizeof size) {
            return {};
        }
        const std::uint64_t extendedBytes = readSynchsafe(size) + 4u;
        at += extendedBytes;
        end += extendedBytes;
    }
    if (at + tagBytes > fileSize) {
        return {};  // the mixer refuses a tag longer than its file
    }
    const FrameLayout layout = version == 2 ? FrameLayout{6, 3} : FrameLayout{10, 4};
    while (at < end) {
        unsigned char frame[10];
        if (read(at, frame, layout.headerBytes) < layout.headerBytes ||
            std::memcmp(frame, "\0\0\0\0", layout.idBytes) == 0) {
            return {};  // where the mixer stops reading the tag
        }
        const std::uint32_t size = frameSize(frame, version);
        if (frame[0] == 'T' && size > kLongestSafeTextFrame) {
            std::string id(reinterpret_cast<char*>(frame), layout.idBytes);
            for (char& c : id) {  // it goes into a line of text
                c = std::isalnum(static_cast<unsigned char>(c)) ? c : '?';
            }
            return "its ID3 tag's " + id + " frame claims " + std::to_string(size) +
                   " bytes, more than the " + std::to_string(kLongestSafeTextFrame) +
                   " the mixer reads safely";
        }
        at += layout.headerBytes + size;
    }
    return {};
}
