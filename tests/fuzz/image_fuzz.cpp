// An image as the game loads one: the checks of its header and its chunks
// (each whole, and no more image data than its size can need) first, then,
// only for what passes, SDL_image's decoder, here from memory.
#include <SDL.h>
#include <SDL_image.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/image_header.h"
#include "tests/fuzz/support.h"

// The largest texture of the renderers the game meets (Mesa's among them).
constexpr std::uint32_t kTextureSide = 16384;

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

std::uint32_t readBigEndian(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

// Writes the right checksum after each whole chunk. libpng rejects a chunk
// whose checksum is wrong before reading it, so without this nearly every
// mutation would end there, short of the decoder.
void repairChunkChecksums(std::uint8_t* data, std::size_t size) {
    std::size_t at = 8;  // past the signature
    while (at + 12 <= size) {
        const std::size_t length = readBigEndian(data + at);
        if (length > size - at - 12) {
            return;
        }
        const uLong sum = crc32(0, data + at + 4, static_cast<uInt>(length + 4));
        std::uint8_t* checksum = data + at + 8 + length;
        for (int i = 0; i < 4; ++i) {
            checksum[i] = static_cast<std::uint8_t>(sum >> (24 - 8 * i));
        }
        at += length + 12;
    }
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned /*seed*/) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    repairChunkChecksums(data, size);
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<PngLayout> layout = readPngLayout(data, size);
    if (!layout || judgeImageSize(layout->size, kTextureSide, kTextureSide) != SizeVerdict::kFits) {
        return 0;  // the game does not decode it
    }
    if (!whyPngChunksAreUnsafe(readerOf(data, size), size, mostImageDataBytes(*layout)).empty()) {
        return 0;  // nor this
    }
    SDL_ClearError();
    SDL_Surface* surface = IMG_Load_RW(SDL_RWFromConstMem(data, static_cast<int>(size)), 1);
    if (surface == nullptr) {
        noteFailure();
        return 0;
    }
    noteOutcome("decoded " + std::string(SDL_GetPixelFormatName(surface->format->format)) + " " +
                std::to_string(magnitude(static_cast<std::size_t>(surface->w))) + "x" +
                std::to_string(magnitude(static_cast<std::size_t>(surface->h))));
    SDL_FreeSurface(surface);
    return 0;
}
