// Small fixed-seed random source so that every run draws the same art and
// plays the same noise.
#pragma once

#include <cstdint>

namespace assetgen {

class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}

    // SplitMix64: tiny, fast and fully portable.
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double uniform() {
        return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0);
    }

    double range(double lo, double hi) {
        return lo + (hi - lo) * uniform();
    }

    int intRange(int lo, int hiInclusive) {
        const auto span = static_cast<std::uint64_t>(hiInclusive - lo + 1);
        return lo + static_cast<int>(next() % span);
    }

private:
    std::uint64_t state_;
};

}  // namespace assetgen
