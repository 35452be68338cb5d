// Checks made on a sound file's first bytes before SDL_mixer reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/read_at.h"

// "RIFF", a size, "WAVE": the bytes that make a WAV file.
constexpr std::size_t kWavSignatureBytes = 12;

// Whether `bytes` start a WAV file. The ding must be one: for anything else
// the mixer would pick a music decoder by content and decode the whole of it
// into memory, so a 2 MB MP3 in its place takes 400 MB.
bool startsAWav(const unsigned char* bytes, std::size_t count);

// Reads up to `count` bytes at `offset` of a file; the number of bytes read.
using ReadAt =
    std::function<std::size_t(std::uint64_t offset, unsigned char* buffer, std::size_t count)>;

// SDL_mixer 2.6 reads a text frame of an MP3's ID3v2 tag into a 1 KiB buffer
// yet decodes as many bytes as the frame's header claims: a title frame that
// claims 2 GiB makes it clear 2 GiB and then copy from past its own stack,
// freezing and then crashing the game at start. The longest text frame it
// reads safely:
constexpr std::uint32_t kLongestSafeTextFrame = 1023;

// Walks the frame headers of the ID3v2 tag at the start of a file of
// `fileSize` bytes as the mixer does, without reading the frames themselves.
// Why the mixer must not read the tag ("its ID3 tag's TIT2 frame claims ..."),
// or empty when it may: no tag, a tag the mixer skips, or a safe one.
std::string whyId3TagIsUnsafe(const ReadAt& read, std::uint64_t fileSize);
