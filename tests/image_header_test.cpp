// The size check made on an image's first bytes, before anything decodes it.
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/image_header.h"

namespace {

std::string bigEndian(std::uint32_t value) {
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes += static_cast<char>((value >> shift) & 0xFF);
    }
    return bytes;
}

const std::string kSignature = "\x89PNG\r\n\x1A\n";

// The start of a PNG file: signature, then the image header chunk with its
// fields after the height and its checksum.
std::string pngStart(std::uint32_t width, std::uint32_t height) {
    return kSignature + bigEndian(13) + "IHDR" + bigEndian(width) + bigEndian(height) +
           std::string("\x08\x02\x00\x00\x00", 5) + bigEndian(0x12345678);
}

std::optional<ImageSize> sizeOf(const std::string& bytes) {
    // A copy of exactly that many bytes, so a read past the end is caught.
    const std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    return readPngSize(copy.data(), copy.size());
}

struct HeaderCase {
    const char* name;
    std::string bytes;
    std::optional<std::uint32_t> width;  // nothing when no size may be read
    std::uint32_t height = 0;
};

std::vector<HeaderCase> headerCases() {
    const std::string good = pngStart(800, 600);
    std::string badSignature = good;
    badSignature[1] = 'p';
    std::string wrongLength = good;
    wrongLength[11] = 12;
    std::string otherChunk = good;
    otherChunk.replace(12, 4, "IDAT");
    std::string lowerCaseType = good;
    lowerCaseType.replace(12, 4, "ihdr");
    return {
        {"WholeHeader", good, 800, 600},
        {"JustTheBytesTheSizeNeeds", good.substr(0, kPngSizeBytes), 800, 600},
        {"LargestNumbers", pngStart(0xFFFFFFFF, 0xFFFFFFFF), 0xFFFFFFFF, 0xFFFFFFFF},
        {"BytesInEveryPlace", pngStart(0x01020304, 0x0A0B0C0D), 0x01020304, 0x0A0B0C0D},
        {"ZeroBySizeIsStillASize", pngStart(0, 0), 0, 0},
        {"Empty", "", std::nullopt},
        {"SignatureOnly", kSignature, std::nullopt},
        {"OneByteShortOfTheHeight", good.substr(0, kPngSizeBytes - 1), std::nullopt},
        {"SignatureWrongInOneByte", badSignature, std::nullopt},
        {"HeaderChunkOfWrongLength", wrongLength, std::nullopt},
        {"FirstChunkNotTheHeader", otherChunk, std::nullopt},
        {"HeaderTypeInLowerCase", lowerCaseType, std::nullopt},
        {"ATextFile", "This is a text file, not a picture.\n", std::nullopt},
        {"AGifHeader", "GIF89a\x10\x00\x10\x00\x80\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00",
         std::nullopt},
    };
}

class ReadPngSize : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ReadPngSize, ReadsTheSizeOnlyFromAWellFormedHeader) {
    const HeaderCase& c = GetParam();
    const std::optional<ImageSize> size = sizeOf(c.bytes);
    ASSERT_EQ(size.has_value(), c.width.has_value());
    if (size) {
        EXPECT_EQ(size->width, *c.width);
        EXPECT_EQ(size->height, c.height);
    }
}

INSTANTIATE_TEST_SUITE_P(Headers, ReadPngSize, ::testing::ValuesIn(headerCases()),
                         [](const ::testing::TestParamInfo<HeaderCase>& info) {
                             return info.param.name;
                         });

// The size read from the header is the size the decoder gives.
TEST(ReadPngSize, AgreesWithTheDecoderOnTheGamesOwnImages) {
    for (const char* file : {"Images/Bird.png", "Images/Pipe_Body.png", "Images/Pipe_Head.png",
                             "Images/Background.png", "Images/ScoreSheet.png"}) {
        std::ifstream in(file, std::ios::binary);
        std::string start(kPngSizeBytes, '\0');
        in.read(start.data(), static_cast<std::streamsize>(start.size()));
        SDL_Surface* decoded = IMG_Load(file);
        ASSERT_NE(decoded, nullptr) << file << ": " << SDL_GetError();
        const std::optional<ImageSize> size = sizeOf(start);
        ASSERT_TRUE(size.has_value()) << file;
        EXPECT_EQ(size->width, static_cast<std::uint32_t>(decoded->w)) << file;
        EXPECT_EQ(size->height, static_cast<std::uint32_t>(decoded->h)) << file;
        SDL_FreeSurface(decoded);
    }
}

struct SizeCase {
    ImageSize size;
    std::uint32_t maxWidth;
    std::uint32_t maxHeight;
    SizeVerdict verdict;
};

TEST(JudgeImageSize, DecodesOnlyWhatTheRendererHoldsWithinThePixelBudget) {
    constexpr std::uint32_t kSide = 16384;
    const SizeCase cases[] = {
        {{1, 1}, kSide, kSide, SizeVerdict::kFits},
        {{800, 800}, kSide, kSide, SizeVerdict::kFits},
        {{kSide, 1}, kSide, kSide, SizeVerdict::kFits},
        {{1, kSide}, kSide, kSide, SizeVerdict::kFits},
        {{kSide + 1, 1}, kSide, kSide, SizeVerdict::kLargerThanATexture},
        {{1, kSide + 1}, kSide, kSide, SizeVerdict::kLargerThanATexture},
        {{65535, 65535}, kSide, kSide, SizeVerdict::kLargerThanATexture},
        {{0xFFFFFFFF, 0xFFFFFFFF}, kSide, kSide, SizeVerdict::kLargerThanATexture},
        // Each side against its own limit.
        {{4096, 2048}, 4096, 2048, SizeVerdict::kFits},
        {{4096, 2049}, 4096, 2048, SizeVerdict::kLargerThanATexture},
        {{4097, 2048}, 4096, 2048, SizeVerdict::kLargerThanATexture},
        // The pixel budget, at and around it, in either shape.
        {{4096, 4096}, kSide, kSide, SizeVerdict::kFits},
        {{4096, 4097}, kSide, kSide, SizeVerdict::kTooManyPixels},
        {{kSide, 1024}, kSide, kSide, SizeVerdict::kFits},
        {{kSide, 1025}, kSide, kSide, SizeVerdict::kTooManyPixels},
        {{kSide, kSide}, kSide, kSide, SizeVerdict::kTooManyPixels},
        // A renderer whose limit is larger than the budget allows.
        {{65536, 256}, 65536, 65536, SizeVerdict::kFits},
        {{65536, 65536}, 65536, 65536, SizeVerdict::kTooManyPixels},
    };
    for (const SizeCase& c : cases) {
        EXPECT_EQ(judgeImageSize(c.size, c.maxWidth, c.maxHeight), c.verdict)
            << c.size.width << " x " << c.size.height << " for textures of at most " << c.maxWidth
            << " x " << c.maxHeight;
    }
}

std::string chunk(const char* type, const std::string& data) {
    return bigEndian(static_cast<std::uint32_t>(data.size())) + type + data + bigEndian(0);
}

std::string whyCutShort(const std::string& file) {
    const ReadAt read = [&](std::uint64_t offset, unsigned char* buffer, std::size_t count) {
        const std::size_t got =
            offset < file.size() ? std::min<std::size_t>(count, file.size() - offset) : 0;
        std::memcpy(buffer, file.data() + std::min<std::size_t>(offset, file.size()), got);
        return got;
    };
    return whyPngChunksAreUnsafe(read, file.size(), 1000);
}

TEST(WhyPngChunksAreUnsafe, EveryChunkMustLieWholeInTheFileUpToTheClosingOne) {
    const std::string header = chunk("IHDR", std::string(13, '\1'));
    const std::string text = chunk("zTXt", "Comment" + std::string(40, 'z'));
    const std::string data = chunk("IDAT", std::string(100, 'd'));
    const std::string end = chunk("IEND", "");
    const std::string whole = kSignature + header + text + data + end;
    const struct {
        const char* name;
        std::string file;
        const char* reason;  // a part of it; empty when whole
    } cases[] = {
        {"whole", whole, ""},
        {"with bytes after the end", whole + "trailing", ""},
        {"the signature only", kSignature, "ends before its closing IEND"},
        {"cut inside a text chunk", whole.substr(0, 8 + header.size() + 20),
         "inside its zTXt chunk"},
        {"cut after a text chunk", kSignature + header + text, "ends before its closing IEND"},
        {"cut inside the image data", whole.substr(0, whole.size() - end.size() - 1),
         "inside its IDAT chunk"},
        {"cut inside the closing chunk", whole.substr(0, whole.size() - 1), "inside its IEND"},
        {"a chunk claiming 4 GiB",
         kSignature + header + bigEndian(0xFFFFFFFF) + "IDAT" + std::string(64, 'd'),
         "inside its IDAT chunk"},
        {"a type that is no word", kSignature + header + bigEndian(50) + std::string("\n\0ab", 4),
         "inside its ??ab chunk"},
        {"image data at the most the size needs",
         kSignature + header + data + chunk("IDAT", std::string(900, 'd')) + end, ""},
        {"image data one byte past it",
         kSignature + header + data + chunk("IDAT", std::string(901, 'd')) + end,
         "its image data runs past 1000 bytes"},
    };
    for (const auto& c : cases) {
        const std::string reason = whyCutShort(c.file);
        if (*c.reason == '\0') {
            EXPECT_EQ(reason, "") << c.name;
        } else {
            EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
        }
    }
}

}  // namespace

namespace {

PngLayout layout(std::uint32_t width, std::uint32_t height, unsigned bitDepth, unsigned colourType,
                 bool interlaced = false) {
    return PngLayout{{width, height}, bitDepth, colourType, interlaced};
}

TEST(MostImageDataBytes, IsEveryRowWithItsFilterByteAnEighthMoreAndTheMargin) {
    const struct {
        const char* name;
        PngLayout layout;
        std::uint64_t rowBytes;  // all the rows, filter bytes included
    } cases[] = {
        {"8-bit RGB", layout(50, 50, 8, 2), 50 * (1 + 150)},
        {"16-bit RGBA", layout(3, 2, 16, 6), 2 * (1 + 24)},
        {"1-bit grey rounds up to whole bytes", layout(9, 4, 1, 0), 4 * (1 + 2)},
        {"palette", layout(100, 1, 8, 3), 1 + 100},
        {"8-bit grey and alpha", layout(10, 10, 8, 4), 10 * (1 + 20)},
        // Adam7 on 8 x 8: passes of 1x1, 1x1, 2x1, 2x2, 4x2, 4x4 and 8x4 pixels.
        {"interlaced", layout(8, 8, 8, 0, true), 2 + 2 + 3 + 2 * 3 + 2 * 5 + 4 * 5 + 4 * 9},
        {"interlaced, too narrow for some passes", layout(1, 1, 8, 0, true), 2},
        {"a colour type no PNG has counts 64 bits", layout(2, 2, 8, 7), 2 * (1 + 16)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mostImageDataBytes(c.layout), c.rowBytes + c.rowBytes / 8 + kImageDataMarginBytes)
            << c.name;
    }
}

// The pictures a player may use, of every colour type and depth, interlaced
// or not, with metadata or without, pass; the game's own too.
TEST(WhyPngChunksAreUnsafe, PassesTheGamesImagesAndEveryKindOfPng) {
    std::vector<std::string> files = {"Images/Bird.png", "Images/Pipe_Body.png",
                                      "Images/Pipe_Head.png", "Images/Background.png",
                                      "Images/ScoreSheet.png"};
    for (const char* seed :
         {"gray-1bit.png", "gray-alpha-paeth.png", "palette-with-transparency.png",
          "rgba-16bit-interlaced.png", "with-text-and-icc.png"}) {
        files.push_back(std::string("tests/fuzz/corpus/image_fuzz/") + seed);
    }
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        ASSERT_GE(bytes.size(), kPngLayoutBytes) << file;
        const std::optional<PngLayout> found =
            readPngLayout(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        ASSERT_TRUE(found.has_value()) << file;
        const ReadAt read = [&](std::uint64_t offset, unsigned char* buffer, std::size_t count) {
            const std::size_t got =
                offset < bytes.size() ? std::min<std::size_t>(count, bytes.size() - offset) : 0;
            std::memcpy(buffer, bytes.data() + std::min<std::size_t>(offset, bytes.size()), got);
            return got;
        };
        EXPECT_EQ(whyPngChunksAreUnsafe(read, bytes.size(), mostImageDataBytes(*found)), "")
            << file;
    }
}

}  // namespace
