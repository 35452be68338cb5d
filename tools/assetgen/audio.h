// The game's sounds, synthesised sample by sample.
#pragma once

#include <string>
#include <vector>

namespace assetgen {

struct StereoSound {
    int sampleRate = 0;
    std::vector<float> left;
    std::vector<float> right;

    std::size_t frames() const {
        return left.size();
    }
};

// A short bright bell for every tenth point.
StereoSound makeDing();
// The background music: one bar-exact loop whose last sample runs straight
// into its first.
StereoSound makeMusic();

// Writes 16-bit PCM; samples are clamped to [-1, 1].
bool writeWav(const std::string& path, const StereoSound& sound);

}  // namespace assetgen
