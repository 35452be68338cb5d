// The size check on an image's first bytes: whatever the bytes, it reads
// none past the end, and it gives a size only for a PNG signature followed
// by an image header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/image_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<ImageSize> claimed = readPngSize(data, size);
    if (!claimed) {
        return 0;
    }
    if (size < kPngSizeBytes || std::memcmp(data, "\x89PNG\r\n\x1A\n", 8) != 0 ||
        std::memcmp(data + 12, "IHDR", 4) != 0) {
        std::abort();  // a size from something that is not a PNG header
    }
    const SizeVerdict verdict = judgeImageSize(*claimed, 16384, 16384);
    const bool fits = claimed->width <= 16384 && claimed->height <= 16384 &&
                      std::uint64_t{claimed->width} * claimed->height <= kMaxImagePixels;
    if ((verdict == SizeVerdict::kFits) != fits) {
        std::abort();
    }
    return 0;
}
