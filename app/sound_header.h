// Checks made on a sound file's headers before SDL_mixer reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "app/read_at.h"

// "RIFF", a size, "WAVE": the bytes that make a WAV file.
constexpr std::size_t kWavSignatureBytes = 12;

// Whether `bytes` start a WAV file. The ding must be one: for anything else
// the mixer would pick a music decoder by content and decode the whole of it
// into memory, so a 2 MB MP3 in its place takes 400 MB.
bool startsAWav(const unsigned char* bytes, std::size_t count);

// Bytes [begin, end) of a file.
struct ByteSpan {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// The audio of an MP3 file of `fileSize` bytes: what lies between the ID3v2
// and APE tags at its start and the ID3v1, APE, MusicMatch, Lyrics3 and
// appended ID3v2 tags at its end. SDL_mixer 2.6 reads those tags itself and mishandles them: its
// ID3v2 reader loses its place after a frame of 1 KiB or more and crashes,
// its APE reader takes seconds over a large tag. The game needs no tag, so
// the mixer is given only the audio. A tag that claims more than the file
// holds ends the audio where it starts.
ByteSpan audioBetweenTags(const ReadAt& read, std::uint64_t fileSize);

// The mixer's output, which every ding is converted to.
struct MixerFormat {
    std::uint32_t rateHz = 0;
    std::uint32_t channels = 0;
};

struct WavSound {
    // The most memory that decoding the sound and converting it to the
    // mixer's format takes at once: the decoded samples, and the converter's
    // buffer, which holds the sound at the larger of both rates as 32-bit
    // floats. ADPCM grows about fourfold in decoding, and a sound of 8-bit
    // mono at 8 kHz about elevenfold in converting.
    std::uint64_t bytesInMemory = 0;
    // Where the size of the sound data is written, and how much of what it
    // claims the file holds: SDL asks for all that it claims, up to 4 GiB.
    std::uint64_t dataSizeAt = 0;
    std::uint32_t dataBytesHeld = 0;
};

// What the WAV file of `fileSize` bytes takes once decoded and converted to
// `mixer`, known from its format and the size of its sound data before
// anything is decoded. Nothing when the file has no usable format chunk
// before its sound data: the mixer refuses it unread.
std::optional<WavSound> measureWav(const ReadAt& read, std::uint64_t fileSize, MixerFormat mixer);
