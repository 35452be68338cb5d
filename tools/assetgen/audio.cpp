#include "audio.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>

namespace assetgen {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// ---------------------------------------------------------------- helpers

double midiToHz(double midi) {
    return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
}

// "C5", "F#4", "Bb3" -> MIDI number; "R" (rest) -> -1.
int parsePitch(const std::string& name) {
    if (name == "R") {
        return -1;
    }
    static const int kSemitone[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    int pc = kSemitone[name[0] - 'A'];
    std::size_t i = 1;
    if (name[i] == '#') {
        ++pc;
        ++i;
    } else if (name[i] == 'b') {
        --pc;
        ++i;
    }
    return 12 * (std::stoi(name.substr(i)) + 1) + pc;
}

// Amplitude envelope with a linear attack, a decay to the sustain level and a
// linear release that ends exactly at zero, so no note ever clicks.
struct Envelope {
    double attack, decay, sustain, release;

    double at(double t, double gate) const {
        const auto held = [&](double u) {
            if (u < attack) {
                return u / attack;
            }
            if (u < attack + decay) {
                return 1.0 - (1.0 - sustain) * (u - attack) / decay;
            }
            return sustain;
        };
        if (t < gate) {
            return held(t);
        }
        const double r = (t - gate) / release;
        return r >= 1.0 ? 0.0 : held(gate) * (1.0 - r);
    }
};

// Band-limited step correction for the pulse wave.
double polyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double pulse(double phase, double dt, double duty) {
    double v = phase < duty ? 1.0 : -1.0;
    v += polyBlep(phase, dt);
    v -= polyBlep(std::fmod(phase + 1.0 - duty, 1.0), dt);
    return v - (2.0 * duty - 1.0);
}

double triangle(double phase) {
    return 1.0 - 4.0 * std::fabs(std::fmod(phase + 0.75, 1.0) - 0.5);
}

// The old consoles' noise channel: a 15-bit shift register.
class Lfsr {
public:
    explicit Lfsr(bool shortMode) : tap_(shortMode ? 6 : 1) {}
    double step() {
        const unsigned bit = (reg_ ^ (reg_ >> tap_)) & 1u;
        reg_ = (reg_ >> 1) | (bit << 14);
        return (reg_ & 1u) != 0 ? 1.0 : -1.0;
    }

private:
    unsigned reg_ = 1;
    unsigned tap_;
};

// A stereo buffer that wraps: whatever sounds past its end continues at its
// start, which is what makes the music loop seamlessly.
class LoopBuffer {
public:
    LoopBuffer(int sampleRate, std::size_t frames)
        : rate_(sampleRate), left_(frames, 0.0), right_(frames, 0.0) {}

    int rate() const {
        return rate_;
    }
    std::size_t frames() const {
        return left_.size();
    }

    void add(std::int64_t frame, double value, double pan) {
        const auto n = static_cast<std::int64_t>(left_.size());
        const auto i = static_cast<std::size_t>(((frame % n) + n) % n);
        // Equal-power panning, pan in [-1, 1].
        const double angle = (pan + 1.0) * kTwoPi / 8.0;
        left_[i] += value * std::cos(angle);
        right_[i] += value * std::sin(angle);
    }

    std::vector<double>& left() {
        return left_;
    }
    std::vector<double>& right() {
        return right_;
    }

private:
    int rate_;
    std::vector<double> left_;
    std::vector<double> right_;
};

enum class Wave { Pulse25, Pulse12, Pulse50, Triangle };

struct Voice {
    Wave wave;
    Envelope env;
    double level;
    double pan;
    double vibratoDepth;  // semitones
};

void playNote(LoopBuffer& buf, const Voice& v, double start, double gate, double hz) {
    const double rate = buf.rate();
    const double length = gate + v.env.release;
    const auto first = static_cast<std::int64_t>(std::llround(start * rate));
    const auto count = static_cast<std::int64_t>(length * rate);
    double phase = 0.0;
    for (std::int64_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double vibrato = v.vibratoDepth * std::sin(kTwoPi * 5.5 * t) *
                               std::min(1.0, std::max(0.0, (t - 0.12) / 0.2));
        const double dt = hz * std::pow(2.0, vibrato / 12.0) / rate;
        double s = 0.0;
        switch (v.wave) {
            case Wave::Pulse25:
                s = pulse(phase, dt, 0.25);
                break;
            case Wave::Pulse12:
                s = pulse(phase, dt, 0.125);
                break;
            case Wave::Pulse50:
                s = pulse(phase, dt, 0.5);
                break;
            case Wave::Triangle:
                s = triangle(phase);
                break;
        }
        buf.add(first + i, s * v.env.at(t, gate) * v.level, v.pan);
        phase += dt;
        phase -= std::floor(phase);
    }
}

void playKick(LoopBuffer& buf, double start) {
    const double rate = buf.rate();
    const auto first = static_cast<std::int64_t>(std::llround(start * rate));
    const double length = 0.2;
    double phase = 0.0;
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(length * rate); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double hz = 48.0 + 120.0 * std::exp(-t / 0.025);
        const double env =
            std::min(1.0, t / 0.002) * std::exp(-t / 0.06) * std::min(1.0, (length - t) / 0.02);
        buf.add(first + i, std::sin(kTwoPi * phase) * env * 0.38, 0.0);
        phase += hz / rate;
    }
}

void playNoise(LoopBuffer& buf, Lfsr& lfsr, double start, double length, double decay,
               double clockHz, double level, double pan, double toneHz) {
    const double rate = buf.rate();
    const auto first = static_cast<std::int64_t>(std::llround(start * rate));
    double held = lfsr.step(), clock = 0.0, smooth = 0.0, previous = 0.0, phase = 0.0;
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(length * rate); ++i) {
        const double t = static_cast<double>(i) / rate;
        clock += clockHz / rate;
        while (clock >= 1.0) {
            held = lfsr.step();
            clock -= 1.0;
        }
        smooth += (held - smooth) * 0.55;
        // Snares get a body tone; hats are high-passed to a crisp tick.
        double s = toneHz > 0.0
                       ? smooth * 0.8 + 0.6 * std::sin(kTwoPi * phase) * std::exp(-t / 0.03)
                       : (smooth - previous) * 0.8;
        previous = smooth;
        phase += toneHz / rate;
        const double env =
            std::min(1.0, t / 0.001) * std::exp(-t / decay) * std::min(1.0, (length - t) / 0.01);
        buf.add(first + i, s * env * level, pan);
    }
}

// ---------------------------------------------------------------- the tune

constexpr double kBeat = 0.5;  // 120 beats per minute
constexpr double kEighth = kBeat / 2;
constexpr int kBars = 16;
constexpr double kBar = 4 * kBeat;

// Lead line, one string per bar: pitch:length-in-eighths.
const char* const kMelody[kBars] = {
    "E5:2 G5:2 C6:3 G5:1",      "A5:2 G5:1 E5:1 C5:2 E5:2",
    "F5:1 G5:1 A5:2 C6:2 A5:2", "G5:3 F5:1 E5:2 D5:2",
    "E5:2 G5:2 C6:2 D6:2",      "E6:2 D6:1 C6:1 A5:4",
    "A5:2 C6:2 B5:2 D6:2",      "C6:6 R:2",
    "A5:1 C6:1 F6:2 E6:2 C6:2", "D6:2 B5:1 G5:1 D6:2 B5:2",
    "G5:2 B5:2 E6:3 D6:1",      "C6:2 A5:2 E5:4",
    "F5:2 A5:2 C6:2 F6:2",      "E6:2 D6:2 B5:2 G5:2",
    "C6:2 E6:2 A5:2 C6:2",      "D6:3 C6:1 B5:2 G5:2",
};

struct Chord {
    int bass;      // root of the bass line
    int tones[4];  // arpeggio notes
};

const Chord kC{36, {60, 64, 67, 72}};
const Chord kAm{45, {57, 60, 64, 69}};
const Chord kF{41, {60, 65, 69, 72}};
const Chord kG{43, {59, 62, 67, 71}};
const Chord kEm{40, {59, 64, 67, 71}};

// Two half-bar chords per bar.
const Chord* const kChords[kBars][2] = {
    {&kC, &kC}, {&kAm, &kAm}, {&kF, &kF},  {&kG, &kG}, {&kC, &kC},   {&kAm, &kAm},
    {&kF, &kG}, {&kC, &kC},   {&kF, &kF},  {&kG, &kG}, {&kEm, &kEm}, {&kAm, &kAm},
    {&kF, &kF}, {&kG, &kG},   {&kC, &kAm}, {&kG, &kG},
};

void writeMelody(LoopBuffer& buf, const Voice& lead) {
    for (int bar = 0; bar < kBars; ++bar) {
        std::istringstream in(kMelody[bar]);
        std::string token;
        double t = bar * kBar;
        while (in >> token) {
            const auto colon = token.find(':');
            const int pitch = parsePitch(token.substr(0, colon));
            const double length = std::stoi(token.substr(colon + 1)) * kEighth;
            if (pitch >= 0) {
                playNote(buf, lead, t, length * 0.9, midiToHz(pitch - 12));
            }
            t += length;
        }
    }
}

void writeAccompaniment(LoopBuffer& buf) {
    const Voice bass{Wave::Triangle, {0.004, 0.08, 0.75, 0.03}, 0.42, 0.0, 0.0};
    const Voice arp{Wave::Pulse12, {0.003, 0.06, 0.35, 0.03}, 0.075, -0.35, 0.0};
    const int bassSteps[8] = {0, 12, 7, 12, 0, 12, 7, 12};
    const int arpOrder[8] = {0, 1, 2, 3, 2, 1, 0, 1};
    for (int bar = 0; bar < kBars; ++bar) {
        for (int half = 0; half < 2; ++half) {
            const Chord& chord = *kChords[bar][half];
            const double t0 = bar * kBar + half * 2 * kBeat;
            for (int i = 0; i < 4; ++i) {
                const int step = half * 4 + i;
                playNote(buf, bass, t0 + i * kEighth, kEighth * 0.7,
                         midiToHz(chord.bass + bassSteps[step]));
            }
            for (int i = 0; i < 8; ++i) {
                const int tone = chord.tones[arpOrder[i]];
                playNote(buf, arp, t0 + i * kEighth / 2, kEighth * 0.3, midiToHz(tone));
            }
        }
    }
}

void writeDrums(LoopBuffer& buf) {
    Lfsr snareNoise(false), hatNoise(true);
    for (int bar = 0; bar < kBars; ++bar) {
        for (int beat = 0; beat < 4; ++beat) {
            const double t = bar * kBar + beat * kBeat;
            if (beat % 2 == 0) {
                playKick(buf, t);
            } else {
                playNoise(buf, snareNoise, t, 0.16, 0.045, 18000.0, 0.17, 0.1, 185.0);
            }
            // Off-beat hats are a touch louder than the on-beat ones.
            playNoise(buf, hatNoise, t, 0.05, 0.012, 30000.0, 0.05, 0.3, 0.0);
            playNoise(buf, hatNoise, t + kEighth, 0.06, 0.016, 30000.0, 0.08, 0.3, 0.0);
        }
    }
}

// A feedback-free echo of the lead, wrapped around the loop like everything else.
void addEcho(LoopBuffer& out, LoopBuffer& dry, double delaySeconds) {
    const auto n = static_cast<std::int64_t>(dry.frames());
    const auto d = static_cast<std::int64_t>(std::llround(delaySeconds * dry.rate()));
    for (std::int64_t i = 0; i < n; ++i) {
        const double mono1 = dry.left()[static_cast<std::size_t>(((i - d) % n + n) % n)] +
                             dry.right()[static_cast<std::size_t>(((i - d) % n + n) % n)];
        const double mono2 = dry.left()[static_cast<std::size_t>(((i - 2 * d) % n + n) % n)] +
                             dry.right()[static_cast<std::size_t>(((i - 2 * d) % n + n) % n)];
        out.left()[static_cast<std::size_t>(i)] +=
            dry.left()[static_cast<std::size_t>(i)] + 0.08 * mono1 + 0.14 * mono2;
        out.right()[static_cast<std::size_t>(i)] +=
            dry.right()[static_cast<std::size_t>(i)] + 0.2 * mono1 + 0.05 * mono2;
    }
}

// Gentle one-pole low-pass that takes the fizz off the square waves. It runs
// twice round the loop so that its state at the end carries into the start:
// the filtered loop is as seamless as the raw one.
void softenLoop(std::vector<double>& samples, double cutoffHz, int rate) {
    const double a = 1.0 - std::exp(-kTwoPi * cutoffHz / rate);
    double state = 0.0;
    for (double x : samples) {
        state += a * (x - state);
    }
    for (double& x : samples) {
        state += a * (x - state);
        x = state;
    }
}

StereoSound normalised(LoopBuffer& buf, double peak) {
    double highest = 0.0;
    for (std::size_t i = 0; i < buf.frames(); ++i) {
        highest = std::max({highest, std::fabs(buf.left()[i]), std::fabs(buf.right()[i])});
    }
    const double gain = highest > 0.0 ? peak / highest : 1.0;
    StereoSound s;
    s.sampleRate = buf.rate();
    s.left.resize(buf.frames());
    s.right.resize(buf.frames());
    for (std::size_t i = 0; i < buf.frames(); ++i) {
        s.left[i] = static_cast<float>(buf.left()[i] * gain);
        s.right[i] = static_cast<float>(buf.right()[i] * gain);
    }
    return s;
}

}  // namespace

StereoSound makeMusic() {
    constexpr int kRate = 44100;
    const auto frames = static_cast<std::size_t>(std::llround(kBars * kBar * kRate));
    LoopBuffer mix(kRate, frames);
    LoopBuffer lead(kRate, frames);

    writeMelody(lead, Voice{Wave::Pulse25, {0.006, 0.15, 0.6, 0.06}, 0.2, 0.05, 0.15});
    addEcho(mix, lead, 3 * kEighth / 2);
    writeAccompaniment(mix);
    writeDrums(mix);
    softenLoop(mix.left(), 9000.0, kRate);
    softenLoop(mix.right(), 9000.0, kRate);
    // About -7 dBFS at the loudest moment.
    return normalised(mix, 0.45);
}

StereoSound makeDing() {
    constexpr int kRate = 22050;
    constexpr double kLength = 0.5;
    constexpr double kBase = 1318.5;  // E6
    struct Partial {
        double ratio, level, decay;
    };
    // Slightly inharmonic partials give the metallic colour of a small bell.
    const Partial partials[] = {{1.0, 1.0, 0.30},   {2.0, 0.55, 0.20},  {2.76, 0.35, 0.12},
                                {4.07, 0.22, 0.08}, {5.43, 0.14, 0.05}, {0.5, 0.18, 0.25}};
    LoopBuffer buf(kRate, static_cast<std::size_t>(kLength * kRate));
    for (std::size_t i = 0; i < buf.frames(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double attack = std::min(1.0, t / 0.0015);
        const double tail = std::min(1.0, (kLength - t) / 0.05);
        double left = 0.0, right = 0.0;
        for (const Partial& p : partials) {
            const double env = p.level * std::exp(-t / p.decay);
            left += env * std::sin(kTwoPi * kBase * p.ratio * t);
            // A hair of detune on the right makes the ring shimmer.
            right += env * std::sin(kTwoPi * kBase * p.ratio * 1.003 * t);
        }
        buf.left()[i] = left * attack * tail;
        buf.right()[i] = right * attack * tail;
    }
    // About -3 dBFS.
    return normalised(buf, 0.7);
}

bool writeWav(const std::string& path, const StereoSound& sound) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const auto frames = static_cast<std::uint32_t>(sound.frames());
    const std::uint32_t dataBytes = frames * 4;
    const auto rate = static_cast<std::uint32_t>(sound.sampleRate);
    std::vector<unsigned char> bytes;
    const auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
        }
    };
    const auto u16 = [&](std::uint32_t v) {
        bytes.push_back(static_cast<unsigned char>(v));
        bytes.push_back(static_cast<unsigned char>(v >> 8));
    };
    const auto tag = [&](const char* t) { bytes.insert(bytes.end(), t, t + 4); };
    tag("RIFF");
    u32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);  // PCM
    u16(2);  // stereo
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(16);
    tag("data");
    u32(dataBytes);
    for (std::size_t i = 0; i < sound.frames(); ++i) {
        for (float v : {sound.left[i], sound.right[i]}) {
            const auto s =
                static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
            u16(static_cast<std::uint16_t>(s));
        }
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace assetgen
