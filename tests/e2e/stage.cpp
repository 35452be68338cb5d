#include "tests/e2e/stage.h"

#include <SDL.h>
#include <SDL_image.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

namespace e2e {

namespace {

constexpr int kRateHz = 22050;  // the game's mixer rate, so nothing is resampled
constexpr int kAmplitude = 8000;

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// A stereo 16-bit WAV of a 441 Hz square wave.
void writeTone(const std::string& path, double seconds) {
    const auto frames = static_cast<std::uint32_t>(seconds * kRateHz);
    std::string wav = "RIFF";
    putLittleEndian(wav, 36 + frames * 4, 4);
    wav += "WAVEfmt ";
    putLittleEndian(wav, 16, 4);
    putLittleEndian(wav, 1, 2);  // PCM
    putLittleEndian(wav, 2, 2);  // channels
    putLittleEndian(wav, kRateHz, 4);
    putLittleEndian(wav, kRateHz * 4, 4);
    putLittleEndian(wav, 4, 2);
    putLittleEndian(wav, 16, 2);
    wav += "data";
    putLittleEndian(wav, frames * 4, 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto sample =
            static_cast<std::uint16_t>((i / 25) % 2 == 0 ? kAmplitude : -kAmplitude);
        putLittleEndian(wav, sample, 2);
        putLittleEndian(wav, sample, 2);
    }
    writeFile(path, wav);
}

void putBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

void putChunk(std::string& png, const char* type, const std::string& data) {
    putBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::string typed = type + data;
    png += typed;
    putBigEndian(png,
                 static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                                  static_cast<uInt>(typed.size()))));
}

// An 8-bit RGB PNG with the given zlib stream as its image data.
std::string pngFile(std::uint32_t width, std::uint32_t height, const std::string& imageData) {
    std::string png = "\x89PNG\r\n\x1A\n";
    std::string header;
    putBigEndian(header, width);
    putBigEndian(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", imageData);
    putChunk(png, "IEND", "");
    return png;
}

// Compresses `block`, then repeats its compressed form `times` over: with a
// full flush after it, a block compresses to the same bytes every time, so
// hundreds of megabytes are never run through the compressor.
std::string deflateRepeated(const std::string& block, std::uint32_t times) {
    z_stream stream{};
    deflateInit(&stream, Z_BEST_COMPRESSION);
    std::string out;
    const auto run = [&](const std::string& in, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        stream.avail_in = static_cast<uInt>(in.size());
        std::string produced;
        char buffer[65536];
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, flush);
            produced.append(buffer, sizeof buffer - stream.avail_out);
        } while (stream.avail_out == 0);
        return produced;
    };
    out = run(block, Z_FULL_FLUSH);  // the two-byte zlib header, then the block
    const std::string again = run(block, Z_FULL_FLUSH);
    for (std::uint32_t i = 1; i < times; ++i) {
        out += again;
    }
    std::string end = run("", Z_FINISH);
    deflateEnd(&stream);
    // The checksum zlib wrote covers two blocks; the stream holds `times`.
    end.resize(end.size() - 4);
    const uLong blockSum =
        adler32(1, reinterpret_cast<const Bytef*>(block.data()), static_cast<uInt>(block.size()));
    uLong sum = 1;
    for (std::uint32_t i = 0; i < times; ++i) {
        sum = adler32_combine(sum, blockSum, static_cast<z_off_t>(block.size()));
    }
    out += end;
    putBigEndian(out, static_cast<std::uint32_t>(sum));
    return out;
}

std::int16_t sampleAt(const std::string& capture, std::size_t byte) {
    return static_cast<std::int16_t>(static_cast<unsigned char>(capture[byte]) |
                                     static_cast<unsigned char>(capture[byte + 1]) << 8);
}

}  // namespace

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writePlainPng(const std::string& path, int w, int h, std::uint32_t rgb) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, w, h, 24, SDL_PIXELFORMAT_RGB888);
    if (surface == nullptr || SDL_FillRect(surface, nullptr, rgb) != 0 ||
        IMG_SavePNG(surface, path.c_str()) != 0) {
        throw std::runtime_error("cannot write " + path + ": " + SDL_GetError());
    }
    SDL_FreeSurface(surface);
}

void writeSizeClaimingPng(const std::string& path, std::uint32_t width, std::uint32_t height) {
    writeFile(path, pngFile(width, height, deflateRepeated(std::string(16, '\0'), 1)));
}

void writeDecompressionBomb(const std::string& path, std::uint32_t width, std::uint32_t height,
                            std::uint32_t rgb) {
    std::string row(1, '\0');  // no filter
    for (std::uint32_t x = 0; x < width; ++x) {
        row += static_cast<char>(rgb >> 16);
        row += static_cast<char>(rgb >> 8);
        row += static_cast<char>(rgb);
    }
    constexpr std::uint32_t kRowsPerBlock = 64;
    std::string block;
    for (std::uint32_t y = 0; y < kRowsPerBlock; ++y) {
        block += row;
    }
    if (height % kRowsPerBlock != 0) {
        throw std::runtime_error("a bomb's height is a multiple of 64 rows");
    }
    writeFile(path, pngFile(width, height, deflateRepeated(block, height / kRowsPerBlock)));
}

void writeImageDataRunningOn(const std::string& path, std::uint32_t width, std::uint32_t height,
                             std::uint32_t mebibytes) {
    writeFile(path, pngFile(width, height, deflateRepeated(std::string(1 << 20, '\0'), mebibytes)));
}

void stageMedia(const ScratchDir& dir) {
    std::filesystem::create_directories(dir / "Images");
    std::filesystem::create_directories(dir / "Sounds");
    writePlainPng(dir / "Images/Bird.png", 50, 50, kBird);
    writePlainPng(dir / "Images/Pipe_Body.png", 50, 50, kPipe);
    writePlainPng(dir / "Images/Pipe_Head.png", 50, 30, kPipe);
    writePlainPng(dir / "Images/Background.png", 16, 16, kSky);
    writePlainPng(dir / "Images/ScoreSheet.png", 500, 49, kDigits);
    // The music must be a real MP3: lame encodes the tone.
    const std::string wav = dir / "Sounds/music.wav";
    writeTone(wav, 1.0);
    Child lame({"lame", "--quiet", "-b", "128", wav, kMusicFile}, dir.path(), {}, "/dev/null");
    const std::optional<int> status = lame.awaitExit(30);
    if (!status || *status != 0) {
        throw std::runtime_error("lame could not encode the music");
    }
    std::filesystem::remove(wav);
    writeTone(dir / kDingFile, 0.2);
}

std::vector<Icon> readIco(const std::string& path) {
    const std::string ico = readFile(path);
    const auto number = [&](std::size_t at, int bytes) {
        std::uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) {
            value =
                value << 8 | static_cast<unsigned char>(ico.at(at + static_cast<std::size_t>(i)));
        }
        return value;
    };
    std::vector<Icon> icons;
    for (std::uint32_t i = 0; i < number(4, 2); ++i) {
        const std::size_t bitmap = number(6 + 16 * i + 12, 4);
        const auto size = static_cast<int>(number(bitmap + 4, 4));
        if (number(bitmap, 4) != 40 || number(bitmap + 14, 2) != 32) {
            continue;  // not a 32-bit bitmap
        }
        Icon icon{size, {}};
        for (int y = size - 1; y >= 0; --y) {  // bottom row first
            for (int x = 0; x < size; ++x) {
                icon.argb.push_back(
                    number(bitmap + 40 + 4 * static_cast<std::size_t>(y * size + x), 4));
            }
        }
        icons.push_back(std::move(icon));
    }
    return icons;
}

bool loudBetween(const std::string& capture, std::size_t from, std::size_t to) {
    std::size_t loud = 0;
    std::size_t total = 0;
    for (std::size_t byte = from & ~std::size_t{1}; byte + 1 < std::min(to, capture.size());
         byte += 2, ++total) {
        loud += std::abs(sampleAt(capture, byte)) > kAmplitude / 2 ? 1 : 0;
    }
    return total > 0 && loud * 2 > total;
}

bool silent(const std::string& capture) {
    return capture.find_first_not_of('\0') == std::string::npos;
}

}  // namespace e2e
