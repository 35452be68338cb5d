// A looping piece of music as the game's mixer played it, next to one
// gapless pass of it: where the second pass starts, and whether the sound
// drops out there.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace e2e {

constexpr int kMixerRateHz = 22050;  // the game's
// A sound as one channel at the mixer's rate, in [-1, 1].
using Mono = std::vector<double>;

// A 16-bit PCM WAV file, its channels mixed and resampled to the mixer's rate.
Mono readWav(const std::string& path);
// What SDL's disk audio driver writes: the mixer's 16-bit stereo output.
Mono readCapture(const std::string& path);

struct Seam {
    double errorMs = 0;   // how far the second pass starts from one pass after the first
    double likeness = 0;  // 1 when the second pass starts as the music does
    // The capture's level around the seam over the music's at the same
    // places, at its lowest.
    double lowestLevel = 0;
};
// Nothing when the capture does not reach well past the loop point.
std::optional<Seam> findSeam(const Mono& capture, const Mono& onePass);

}  // namespace e2e
