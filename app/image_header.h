// What a PNG file says about its size, read from its first bytes before
// anything decodes it: a file of a hundred bytes can claim an image of
// gigabytes, and the decoder would try to make room for all of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "app/read_at.h"

struct ImageSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The signature and the image header chunk up to the height: all the bytes
// the size needs.
constexpr std::size_t kPngSizeBytes = 24;

// The width and height in the header at the start of `bytes`; nothing when
// those bytes are not the start of a PNG file (too few, another signature, or
// a first chunk that is not a well-formed image header).
std::optional<ImageSize> readPngSize(const unsigned char* bytes, std::size_t count);

// The most pixels the game decodes from one image: 4096 x 4096, 64 MiB once
// decoded. The largest picture the game shows covers an 800 x 800 window.
constexpr std::uint64_t kMaxImagePixels = 4096u * 4096u;

enum class SizeVerdict {
    kFits,
    kLargerThanATexture,  // wider or taller than the renderer can hold
    kTooManyPixels,       // within the renderer's limit, over kMaxImagePixels
};

// Whether an image of `size` may be decoded for a renderer whose textures are
// at most maxTextureWidth x maxTextureHeight.
SizeVerdict judgeImageSize(ImageSize size, std::uint32_t maxTextureWidth,
                           std::uint32_t maxTextureHeight);

// SDL_image 2.6 never tells libpng that the file has ended: libpng reads its
// last bytes again and again, and a PNG cut short after a chunk it skips
// makes it loop for ever. Walks the chunk headers of the PNG file of
// `fileSize` bytes, without reading the chunks themselves: why they do not all
// lie whole within the file up to the closing IEND chunk, or empty when they do.
std::string whyPngIsCutShort(const ReadAt& read, std::uint64_t fileSize);
