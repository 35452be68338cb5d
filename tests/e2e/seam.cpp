#include "tests/e2e/seam.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "tests/e2e/stage.h"

namespace e2e {

namespace {

std::uint32_t littleEndian(const std::string& bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

// The 16-bit samples in bytes [from, to), `channels` interleaved at `rateHz`,
// resampled by linear interpolation.
Mono mixDown(const std::string& bytes, std::size_t from, std::size_t to, int channels, int rateHz) {
    const auto frames = static_cast<long>((to - from) / (2 * static_cast<std::size_t>(channels)));
    const auto frame = [&](long i) {
        double sum = 0;
        for (int c = 0; c < channels; ++c) {
            const auto at = from + 2 * static_cast<std::size_t>(i * channels + c);
            sum += static_cast<std::int16_t>(littleEndian(bytes, at, 2)) / 32768.0;
        }
        return sum / channels;
    };
    Mono out(static_cast<std::size_t>(frames * kMixerRateHz / rateHz));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double at = static_cast<double>(i) * rateHz / kMixerRateHz;
        const auto j = static_cast<long>(at);
        const double next = j + 1 < frames ? frame(j + 1) : 0;
        out[i] = (1 - (at - j)) * frame(j) + (at - j) * next;
    }
    return out;
}

// 1 for the same wave, 0 for unrelated ones.
double likeness(const double* x, const double* y, long n) {
    double xy = 0;
    double xx = 0;
    double yy = 0;
    for (long i = 0; i < n; ++i) {
        xy += x[i] * y[i];
        xx += x[i] * x[i];
        yy += y[i] * y[i];
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
}

// Where in capture [from, to] the music's first n samples start best.
long bestMatch(const Mono& capture, const Mono& music, long n, long from, long to, double& score) {
    long best = -1;
    score = -1;
    for (long at = std::max(0L, from); at <= to; ++at) {
        const double l = likeness(capture.data() + at, music.data(), n);
        if (l > score) {
            score = l;
            best = at;
        }
    }
    return best;
}

double rms(const double* x, long n) {
    double sum = 0;
    for (long i = 0; i < n; ++i) {
        sum += x[i] * x[i];
    }
    return std::sqrt(sum / static_cast<double>(n));
}

}  // namespace

Mono readWav(const std::string& path) {
    const std::string bytes = readFile(path);
    int channels = 0;
    int rateHz = 0;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = littleEndian(bytes, at + 4, 4);
        if (bytes.compare(at, 4, "fmt ") == 0 && littleEndian(bytes, at + 22, 2) == 16) {
            channels = static_cast<int>(littleEndian(bytes, at + 10, 2));
            rateHz = static_cast<int>(littleEndian(bytes, at + 12, 4));
        } else if (bytes.compare(at, 4, "data") == 0 && channels > 0) {
            return mixDown(bytes, at + 8, std::min<std::size_t>(bytes.size(), at + 8 + size),
                           channels, rateHz);
        }
        at += 8 + size + (size & 1);
    }
    throw std::runtime_error(path + " is no 16-bit PCM WAV file");
}

Mono readCapture(const std::string& path) {
    const std::string bytes = readFile(path);
    return mixDown(bytes, 0, bytes.size() & ~std::size_t{3}, 2, kMixerRateHz);
}

std::optional<Seam> findSeam(const Mono& capture, const Mono& onePass) {
    const long window = kMixerRateHz / 2;  // matched: the music's first half second
    const long search = kMixerRateHz / 4;  // either way
    const auto length = static_cast<long>(onePass.size());
    const auto captured = static_cast<long>(capture.size());
    long firstLoud = 0;
    while (firstLoud < captured && std::abs(capture[static_cast<std::size_t>(firstLoud)]) < 0.02) {
        ++firstLoud;
    }
    if (length <= 2 * window || firstLoud + length + window + 2 * search > captured) {
        return std::nullopt;
    }
    Seam seam;
    double startLikeness = 0;
    const long start =
        bestMatch(capture, onePass, window, firstLoud - search, firstLoud + search, startLikeness);
    const long expected = start + length;
    const long loop =
        bestMatch(capture, onePass, window, expected - search, expected + search, seam.likeness);
    seam.errorMs = static_cast<double>(loop - expected) * 1000.0 / kMixerRateHz;
    // 5 ms steps over the music's last and first 100 ms.
    const long step = kMixerRateHz / 200;
    seam.lowestLevel = 1e9;
    for (long t = expected - 20 * step; t < expected + 20 * step; t += step) {
        const long inMusic = t < expected ? length - (expected - t) : t - expected;
        const double want = rms(onePass.data() + inMusic, step);
        if (want >= 0.01) {  // not quiet in the music itself
            seam.lowestLevel = std::min(seam.lowestLevel, rms(capture.data() + t, step) / want);
        }
    }
    return seam;
}

}  // namespace e2e
