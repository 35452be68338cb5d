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

std::optional<PngLayout> readPngLayout(const unsigned char* bytes, std::size_t count) {
    const std::optional<ImageSize> size = readPngSize(bytes, count);
    if (!size || count < kPngLayoutBytes) {
        return std::nullopt;
    }
    return PngLayout{*size, bytes[24], bytes[25], bytes[28] != 0};
}

namespace {

unsigned samplesPerPixel(unsigned colourType) {
    switch (colourType) {
        case 0:  // grey
        case 3:  // palette
            return 1;
        case 4:  // grey and alpha
            return 2;
        case 2:  // red, green, blue
            return 3;
        default:  // with alpha, or none that PNG knows
            return 4;
    }
}

// The bytes of `rows` rows of `width` pixels, each with its filter byte.
std::uint64_t rowBytes(std::uint64_t width, std::uint64_t rows, std::uint64_t bitsPerPixel) {
    return width == 0 ? 0 : rows * (1 + (width * bitsPerPixel + 7) / 8);
}

}  // namespace

std::uint64_t mostImageDataBytes(const PngLayout& layout) {
    const bool known = layout.bitDepth <= 16 && layout.colourType <= 6;
    const std::uint64_t bitsPerPixel =
        known ? std::uint64_t{layout.bitDepth} * samplesPerPixel(layout.colourType) : 64;
    const std::uint64_t width = layout.size.width;
    const std::uint64_t height = layout.size.height;
    std::uint64_t raw = 0;
    if (!layout.interlaced) {
        raw = rowBytes(width, height, bitsPerPixel);
    } else {
        // Adam7's seven passes: where each starts, and its step, across and down.
        constexpr std::uint64_t kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8},
                                               {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2},
                                               {0, 1, 1, 2}};
        for (const auto& [x0, y0, dx, dy] : kPass) {
            const std::uint64_t passWidth = width > x0 ? (width - x0 + dx - 1) / dx : 0;
            const std::uint64_t passHeight = height > y0 ? (height - y0 + dy - 1) / dy : 0;
            raw += rowBytes(passWidth, passHeight, bitsPerPixel);
        }
    }
    return raw + raw / 8 + kImageDataMarginBytes;
}

std::string whyPngChunksAreUnsafe(const ReadAt& read, std::uint64_t fileSize,
                                  std::uint64_t mostImageData) {
    constexpr std::uint64_t kChunkFrameBytes = 12;  // length, type and checksum
    std::uint64_t at = sizeof kPngSignature;
    std::uint64_t imageData = 0;
    for (;;) {
        unsigned char header[8];
        if (at + sizeof header > fileSize || read(at, header, sizeof header) < sizeof header) {
            return "the file ends before its closing IEND chunk";
        }
        std::string type(reinterpret_cast<const char*>(header + 4), 4);
        for (char& c : type) {  // it goes into a line of text
            c = std::isalpha(static_cast<unsigned char>(c)) ? c : '?';
        }
        const std::uint64_t length = readBigEndian(header);
        const std::uint64_t end = at + kChunkFrameBytes + length;
        if (end > fileSize) {
            return "the file ends inside its " + type + " chunk";
        }
        if (type == "IDAT") {
            imageData += length;
            if (imageData > mostImageData) {
                return "its image data runs past " + std::to_string(mostImageData) +
                       " bytes, more than its size can need";
            }
        }
        if (type == "IEND") {
            return {};
        }
        at = end;
    }
}
