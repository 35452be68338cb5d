#include "tests/e2e/stage.h"

#include <SDL.h>
#include <SDL_image.h>

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
