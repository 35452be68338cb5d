// Media with known content in place of the artwork, so what the tests see and
// hear does not depend on the current pictures and sounds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace e2e {

// The plain colours of the staged pictures.
constexpr std::uint32_t kSky = 0x2040C0;
constexpr std::uint32_t kBird = 0xFF0000;
constexpr std::uint32_t kPipe = 0x00C000;
constexpr std::uint32_t kDigits = 0xFFFFFF;

// The files the game reads, relative to its working directory.
constexpr const char* kImageFiles[] = {"Images/Bird.png", "Images/Pipe_Body.png",
                                       "Images/Pipe_Head.png", "Images/Background.png",
                                       "Images/ScoreSheet.png"};
constexpr const char* kMusicFile = "Sounds/BackgroundMusic.mp3";
constexpr const char* kDingFile = "Sounds/Ding.wav";

// Fills dir with Images/ of plain colours and Sounds/ of loud square-wave
// tones, the music a one-second loop.
void stageMedia(const ScratchDir& dir);

void writePlainPng(const std::string& path, int w, int h, std::uint32_t rgb);
// A PNG whose header claims width x height while its image data is a few
// bytes: a hundred-byte file that asks a decoder for gigabytes.
void writeSizeClaimingPng(const std::string& path, std::uint32_t width, std::uint32_t height);
// A real PNG of width x height in one colour, compressed about a thousand to
// one: a 16384 x 16384 picture, 768 MiB to decode, in under a megabyte.
void writeDecompressionBomb(const std::string& path, std::uint32_t width, std::uint32_t height,
                            std::uint32_t rgb);
// A PNG of width x height in black whose image data runs on for `mebibytes`
// MiB of zeros, compressed about a thousand to one.
void writeImageDataRunningOn(const std::string& path, std::uint32_t width, std::uint32_t height,
                             std::uint32_t mebibytes);
// The 32-bit pictures of an .ico file (those coded as PNG left out).
std::vector<Icon> readIco(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

// True when the 16-bit samples in bytes [from, to) of a raw capture are
// mostly loud: the staged music is playing there.
bool loudBetween(const std::string& capture, std::size_t from, std::size_t to);
// True when every sample in the capture is zero.
bool silent(const std::string& capture);

}  // namespace e2e
