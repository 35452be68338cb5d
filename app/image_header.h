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

// The image header in full: with the size, the bits of a sample, the colour
// type and the interlace method, which set how many bytes the rows take.
struct PngLayout {
    ImageSize size;
    unsigned bitDepth = 0;
    unsigned colourType = 0;
    bool interlaced = false;
};

// The signature and the image header chunk up to its checksum.
constexpr std::size_t kPngLayoutBytes = 29;

// The layout in the header at the start of `bytes`; nothing when readPngSize
// finds no size there or the bytes end before the header does.
std::optional<PngLayout> readPngLayout(const unsigned char* bytes, std::size_t count);

// The most compressed image data a picture of `layout` can need: its rows as
// the decoder inflates them (a filter byte each, in every pass of an
// interlaced picture), an eighth more for the least thrifty compressor, and a
// margin of kImageDataMarginBytes. A colour type or bit depth that no PNG has
// counts as the widest pixel, 64 bits; the decoder refuses it anyway.
std::uint64_t mostImageDataBytes(const PngLayout& layout);
constexpr std::uint64_t kImageDataMarginBytes = 64 * 1024;

// Walks the chunk headers of the PNG file of `fileSize` bytes, without
// reading the chunks themselves: why it must not be decoded, or empty when
// it may.
//  - SDL_image 2.6 never tells libpng that the file has ended: libpng reads
//    its last bytes again and again, and a PNG cut short after a chunk it
//    skips makes it loop for ever. Every chunk must lie whole within the file
//    up to the closing IEND chunk.
//  - libpng inflates every byte of the image data, whatever the picture
//    needs: a few megabytes can hold gigabytes of zeros. The image data
//    chunks together may hold at most `mostImageData` bytes.
std::string whyPngChunksAreUnsafe(const ReadAt& read, std::uint64_t fileSize,
                                  std::uint64_t mostImageData);
