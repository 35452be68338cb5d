#include "app/image_header.h"

#include <cctype>
#include <cstring>

namespace {

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kImageHeaderLength = 13;

// PNG stores every number big-endian.
std::uint32_t readBigEndian(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

}  // namespace

std::optional<ImageSize> readPngSize(const unsigned char* bytes, std::size_t count) {
    if (count < kPngSizeBytes || std::memcmp(bytes, kPngSignature, sizeof kPngSignature) != 0) {
        return std::nullopt;
    }
    const unsigned char* chunk = bytes + sizeof kPngSignature;
    if (readBigEndian(chunk) != kImageHeaderLength || std::memcmp(chunk + 4, "IHDR", 4) != 0) {
        return std::nullopt;
    }
    return ImageSize{readBigEndian(chunk + 8), readBigEndian(chunk + 12)};
}

SizeVerdict judgeImageSize(ImageSize size, std::uint32_t maxTextureWidth,
                           std::uint32_t maxTextureHeight) {
    if (size.width > maxTextureWidth || size.height > maxTextureHeight) {
        return SizeVerdict::kLargerThanATexture;
    }
    if (std::uint64_t{size.width} * size.height > kMaxImagePixels) {
        return SizeVerdict::kTooManyPixels;
    }
    return SizeVerdict::kFits;
}

std::string whyPngIsCutShort(const ReadAt& read, std::uint64_t fileSize) {
    constexpr std::uint64_t kChunkFrameBytes = 12;  // length, type and checksum
    std::uint64_t at = sizeof kPngSignature;
    for (;;) {
        unsigned char header[8];
        if (at + sizeof header > fileSize || read(at, header, sizeof header) < sizeof header) {
            return "the file ends before its closing IEND chunk";
        }
        std::string type(reinterpret_cast<const char*>(header + 4), 4);
        for (char& c : type) {  // it goes into a line of text
            c = std::isalpha(static_cast<unsigned char>(c)) ? c : '?';
        }
        const std::uint64_t end = at + kChunkFrameBytes + readBigEndian(header);
        if (end > fileSize) {
            return "the file ends inside its " + type + " chunk";
        }
        if (type == "IEND") {
            return {};
        }
        at = end;
    }
}
