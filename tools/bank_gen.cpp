// Build-time generator of the stock instrument bank tmill.bnk from the readable definition in
// data/bank/: synthesized instruments as parameter blocks, sampled ones computed here by
// procedural recipes (drum synthesis, plucked strings by Karplus-Strong, additive tones, shaped
// noise), each stored with the packing the definition names. The bank is read back with the
// program's own reader before the tool reports success.
//
// usage: bank_gen DEFINITION.txt OUT.bnk
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "instruments/bank.h"
#include "instruments/synthesizer.h"
#include "tools/sample_packer.h"

namespace {

using Signal = std::vector<double>;
const double PI = std::acos(-1.0);

// The pitch every tuned instrument of the bank sounds at its own rate: the synthesizer's base
// tone, 33488 / 256 Hz, so that synthesized and sampled instruments agree at every key.
constexpr double BASE_PITCH = 33488.0 / 256.0;

[[noreturn]] void fail(const std::string& what) {
    std::cerr << "bank_gen: " << what << "\n";
    std::exit(1);
}

// ---- Procedural sound: a deterministic noise source and small filters. ----

struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed * 2654435761u + 1) {}
    double next() { // -1 .. 1
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 2147483648.0 - 1.0;
    }
};

struct OnePole { // lowpass with coefficient from a cutoff
    double a = 0, y = 0;
    OnePole(double cutoff, double rate) : a(1 - std::exp(-2 * PI * cutoff / rate)) {}
    double low(double x) { return y += a * (x - y); }
    double high(double x) { return x - low(x); }
};

struct BandPass { // two-pole resonator, constant peak gain
    double b0, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    BandPass(double centre, double q, double rate) {
        const double w = 2 * PI * centre / rate, alpha = std::sin(w) / (2 * q), a0 = 1 + alpha;
        b0 = alpha / a0;
        a1 = -2 * std::cos(w) / a0;
        a2 = (1 - alpha) / a0;
    }
    double operator()(double x) {
        const double y = b0 * x - b0 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        return y;
    }
};

using Params = std::map<std::string, double>;

double get(const Params& p, const std::string& key, double fallback) {
    auto at = p.find(key);
    return at == p.end() ? fallback : at->second;
}

size_t frames(const Params& p, double rate, double seconds) {
    return size_t(get(p, "len", seconds) * rate);
}

double env(double t, double decay) {
    return std::exp(-t / decay);
}

// ---- Recipes. Each returns a signal at the given rate; the generator normalises it. ----

Signal kick(const Params& p, double rate) {
    const double f0 = get(p, "f0", 160), f1 = get(p, "f1", 48), sweep = get(p, "sweep", 0.035),
                 decay = get(p, "decay", 0.3);
    const double click = get(p, "click", 0.4), drive = get(p, "drive", 1.5);
    Signal s(frames(p, rate, 0.5));
    double phase = 0;
    Noise noise(1);
    OnePole click_filter(3000, rate);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        phase += 2 * PI * (f1 + (f0 - f1) * std::exp(-t / sweep)) / rate;
        const double body = std::sin(phase) * env(t, decay);
        const double tick = click * click_filter.low(noise.next()) * env(t, 0.004);
        s[i] = std::tanh(drive * (body + tick));
    }
    return s;
}

Signal snare(const Params& p, double rate) {
    const double tone = get(p, "tone", 185), decay = get(p, "decay", 0.16),
                 noise_level = get(p, "noise", 0.8);
    const double tone_level = get(p, "body", 0.6), snappy = get(p, "snappy", 5000);
    Signal s(frames(p, rate, 0.35));
    Noise noise(2);
    OnePole high(get(p, "cut", 1200), rate), low(snappy, rate);
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        phase += 2 * PI * tone * (1 + 0.5 * std::exp(-t / 0.01)) / rate;
        const double body =
            tone_level * (std::sin(phase) + 0.4 * std::sin(1.5 * phase)) * env(t, decay * 0.5);
        const double rattle = noise_level * low.low(high.high(noise.next())) * env(t, decay);
        s[i] = body + rattle;
    }
    return s;
}

// Six square waves at inharmonic frequencies, band-passed: the metallic core of hats and cymbals.
Signal metallic(const Params& p, double rate, double default_decay, double default_length,
                uint32_t seed) {
    const double decay = get(p, "decay", default_decay), bright = get(p, "bright", 7000);
    const double base = get(p, "base", 1.0), noise_level = get(p, "noise", 0.5);
    const double ratios[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    Signal s(frames(p, rate, default_length));
    Noise noise(seed);
    BandPass band(bright, 0.9, rate);
    OnePole high(get(p, "cut", 6000), rate);
    double phases[6] = {};
    const double attack = get(p, "attack", 0.0005);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        double sum = 0;
        for (int k = 0; k < 6; ++k) {
            phases[k] += ratios[k] * 2 * base / rate;
            sum += std::fmod(phases[k], 1.0) < 0.5 ? 1 : -1;
        }
        const double raw = sum / 6 + noise_level * noise.next();
        const double shaped = std::min(1.0, t / attack) * env(t, decay);
        s[i] = high.high(band(raw)) * shaped;
    }
    return s;
}

Signal hihat(const Params& p, double rate) {
    return metallic(p, rate, 0.04, 0.2, 3);
}
Signal cymbal(const Params& p, double rate) {
    return metallic(p, rate, 0.9, 2.0, 4);
}

Signal clap(const Params& p, double rate) {
    Signal s(frames(p, rate, 0.4));
    Noise noise(5);
    BandPass band(get(p, "centre", 1100), get(p, "q", 1.4), rate);
    const double spacing = get(p, "spacing", 0.011), tail = get(p, "decay", 0.12);
    const int bursts = int(get(p, "bursts", 4));
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        double envelope = 0;
        for (int b = 0; b < bursts; ++b) {
            const double start = b * spacing * (1 + 0.15 * b);
            if (t >= start)
                envelope = std::max(envelope, env(t - start, b + 1 == bursts ? tail : 0.004));
        }
        s[i] = band(noise.next()) * envelope;
    }
    return s;
}

Signal tom(const Params& p, double rate) {
    const double f0 = get(p, "f0", 140), f1 = get(p, "f1", 100), decay = get(p, "decay", 0.35);
    const double skin = get(p, "skin", 0.15), sweep = get(p, "sweep", 0.08);
    Signal s(frames(p, rate, 0.7));
    Noise noise(6);
    OnePole low(2500, rate);
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        phase += 2 * PI * (f1 + (f0 - f1) * std::exp(-t / sweep)) / rate;
        s[i] = (std::sin(phase) + 0.25 * std::sin(2.03 * phase)) * env(t, decay) +
               skin * low.low(noise.next()) * env(t, 0.01);
    }
    return s;
}

Signal shaker(const Params& p, double rate) {
    Signal s(frames(p, rate, 0.18));
    Noise noise(7);
    OnePole high(get(p, "cut", 5000), rate);
    const double attack = get(p, "attack", 0.03), decay = get(p, "decay", 0.05);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        const double envelope = t < attack ? t / attack : env(t - attack, decay);
        s[i] = high.high(noise.next()) * envelope;
    }
    return s;
}

Signal tambourine(const Params& p, double rate) {
    Signal jingles = metallic(p, rate, 0.12, 0.45, 8);
    Signal shake = shaker(p, rate);
    jingles.resize(std::max(jingles.size(), shake.size()), 0.0);
    for (size_t i = 0; i < shake.size(); ++i)
        jingles[i] += 0.6 * shake[i];
    return jingles;
}

// Tuned percussion: partials at the given ratios, each with its own decay.
Signal partials(const Params& p, double rate, std::vector<std::array<double, 3>> ratio_level_decay,
                double seconds) {
    const double f = get(p, "freq", BASE_PITCH), decay = get(p, "decay", 1.0),
                 strike = get(p, "strike", 0.0);
    Signal s(frames(p, rate, seconds));
    Noise noise(9);
    OnePole low(4000, rate);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        double sum = 0;
        for (const auto& [ratio, level, d] : ratio_level_decay)
            if (ratio * f < rate / 2)
                sum += level * std::sin(2 * PI * ratio * f * t) * env(t, d * decay);
        s[i] = sum * std::min(1.0, t / 0.001) + strike * low.low(noise.next()) * env(t, 0.003);
    }
    return s;
}

Signal marimba(const Params& p, double rate) {
    return partials(p, rate, {{1, 1, 0.5}, {3.93, 0.35, 0.12}, {9.2, 0.12, 0.04}}, 1.2);
}
Signal xylophone(const Params& p, double rate) {
    return partials(p, rate, {{1, 1, 0.3}, {3.0, 0.5, 0.1}, {6.1, 0.25, 0.05}, {9.9, 0.1, 0.02}},
                    0.8);
}
Signal woodblock(const Params& p, double rate) {
    return partials(p, rate, {{1, 1, 0.03}, {1.58, 0.6, 0.02}, {2.3, 0.3, 0.012}}, 0.25);
}
Signal cowbell(const Params& p, double rate) {
    return partials(p, rate, {{1, 1, 0.25}, {1.48, 0.9, 0.2}, {2.9, 0.3, 0.08}, {4.1, 0.2, 0.05}},
                    0.7);
}
Signal timpani(const Params& p, double rate) {
    return partials(
        p, rate,
        {{1, 1, 1.2}, {1.5, 0.5, 0.9}, {1.98, 0.35, 0.7}, {2.44, 0.2, 0.5}, {2.9, 0.1, 0.3}}, 2.2);
}
Signal gong(const Params& p, double rate) {
    return partials(p, rate,
                    {{1, 1, 3.5},
                     {1.52, 0.7, 3.0},
                     {2.17, 0.6, 2.6},
                     {2.79, 0.5, 2.2},
                     {3.6, 0.45, 1.6},
                     {4.37, 0.3, 1.2},
                     {5.41, 0.25, 0.9},
                     {6.9, 0.15, 0.6},
                     {1.01, 0.5, 3.5}},
                    3.8);
}

// Karplus-Strong plucked string over an integer period, with pluck brightness, per-period loss,
// optional overdrive and a buzzing bridge.
Signal pluck(const Params& p, double rate) {
    const size_t period = size_t(std::lround(rate / get(p, "freq", BASE_PITCH)));
    const double t60 = get(p, "decay", 2.0), bright = get(p, "bright", 0.5),
                 drive = get(p, "drive", 0);
    const double buzz = get(p, "buzz", 0), position = get(p, "position", 0.2);
    Signal s(frames(p, rate, 1.5));
    Noise noise(10);
    std::vector<double> line(period);
    // The pluck: noise, low-passed by brightness, with a comb for the plucking position.
    OnePole soften(800 + 12000 * bright, rate);
    for (double& x : line)
        x = soften.low(noise.next());
    const size_t notch = std::max<size_t>(1, size_t(position * double(period)));
    std::vector<double> pluck_shape(line);
    for (size_t i = 0; i < period; ++i)
        line[i] = pluck_shape[i] - pluck_shape[(i + period - notch) % period];
    const double loss = std::pow(10.0, -3.0 / (rate / double(period) * t60));
    const double weight = 0.5 + 0.45 * bright; // two-point average: 0.5 darkest
    double previous = 0;
    size_t at = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double current = line[at];
        double next = loss * (weight * current + (1 - weight) * previous);
        if (buzz > 0 && next > 0.02) next -= buzz * (next - 0.02); // the bridge flattens one side
        previous = current;
        line[at] = next;
        at = (at + 1) % period;
        s[i] = drive > 0 ? std::tanh(drive * current) / std::tanh(drive) : current;
    }
    return s;
}

Signal piano(const Params& p, double rate) {
    const double f = get(p, "freq", BASE_PITCH), inharmonic = get(p, "stretch", 0.0004),
                 t_decay = get(p, "decay", 2.4);
    Signal s(frames(p, rate, 1.9));
    Noise noise(11);
    OnePole hammer(3000, rate);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        double sum = 0;
        for (int n = 1; n <= 16; ++n) {
            const double fn = n * f * std::sqrt(1 + inharmonic * n * n);
            if (fn > rate / 2.2) break;
            const double level = std::pow(double(n), -1.1) * (n == 1 ? 0.8 : 1.0);
            const double d = t_decay / (1 + 0.35 * (n - 1));
            // Two strings a cent apart give the beating of a real unison.
            sum += level * (std::sin(2 * PI * fn * t) + std::sin(2 * PI * fn * 1.0006 * t)) * 0.5 *
                   (0.7 * env(t, d) + 0.3 * env(t, d * 0.15));
        }
        s[i] = sum * std::min(1.0, t / 0.002) + 0.15 * hammer.low(noise.next()) * env(t, 0.004);
    }
    return s;
}

// A sung vowel: harmonics of the base pitch weighted by three formants, periodic over one
// period of the base pitch so that it loops without a seam.
Signal vowel(const Params& p, double rate) {
    const double f = get(p, "freq", BASE_PITCH);
    const double formant[3] = {get(p, "f1", 700), get(p, "f2", 1200), get(p, "f3", 2600)};
    const double width[3] = {90, 110, 160};
    const double gain[3] = {1.0, 0.6, 0.25};
    Signal s(frames(p, rate, 0.8));
    const double attack = get(p, "attack", 0.08), breath = get(p, "breath", 0.0);
    Noise noise(12);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        double sum = 0;
        for (int n = 1; n * f < 5000; ++n) {
            double level = 0.02 / n;
            for (int k = 0; k < 3; ++k) {
                const double x = (n * f - formant[k]) / width[k];
                level += gain[k] / (1 + x * x);
            }
            sum += level * std::sin(2 * PI * n * f * t + n * n * 0.7);
        }
        const double envelope = std::min(1.0, t / attack);
        s[i] = sum * envelope + breath * noise.next() * env(t, attack);
    }
    return s;
}

Signal whisper(const Params& p, double rate) {
    Signal s(frames(p, rate, 0.7));
    Noise noise(13);
    BandPass f1(get(p, "f1", 700), 6, rate), f2(get(p, "f2", 1200), 8, rate),
        f3(get(p, "f3", 2600), 8, rate);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        const double x = noise.next();
        const double envelope =
            std::min(1.0, t / 0.08) * std::min(1.0, (double(s.size() - i) / rate) / 0.15);
        s[i] = (f1(x) + 0.7 * f2(x) + 0.3 * f3(x)) * envelope;
    }
    return s;
}

Signal orchestra_hit(const Params& p, double rate) {
    Signal s(frames(p, rate, 0.9));
    const double chord[] = {1, 1.2599, 1.4983, 2, 2.5198, 3, 4, 0.5};
    Noise noise(14);
    OnePole low(5000, rate);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        double sum = 0;
        for (double ratio : chord)
            for (int n = 1; n <= 6; ++n)
                sum += std::sin(2 * PI * n * ratio * BASE_PITCH * 2 * t * (1 + 0.002 * n)) / n;
        const double envelope =
            std::min(1.0, t / 0.004) * (0.7 * env(t, 0.12) + 0.3 * env(t, 0.45));
        s[i] = low.low(sum * envelope / 6 + 0.3 * noise.next() * env(t, 0.03));
    }
    return s;
}

// Shaped noise for the natural sounds and effects.
Signal wind(const Params& p, double rate) {
    // Noise through a resonator whose centre glides with the gusts.
    Signal s(frames(p, rate, 2.5));
    Noise noise(15);
    double y1 = 0, y2 = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        const double centre =
            500 + 350 * std::sin(2 * PI * 0.4 * t) + 150 * std::sin(2 * PI * 1.1 * t);
        const double r = 0.995, w = 2 * PI * centre / rate;
        const double y = (1 - r) * noise.next() + 2 * r * std::cos(w) * y1 - r * r * y2;
        y2 = y1, y1 = y;
        s[i] = y * (0.6 + 0.4 * std::sin(2 * PI * 0.3 * t)) * std::min(1.0, t / 0.4) *
               std::min(1.0, (double(s.size() - i) / rate) / 0.5);
    }
    return s;
}

Signal surf(const Params& p, double rate) {
    Signal s(frames(p, rate, 3.0));
    Noise noise(16);
    OnePole low(get(p, "cut", 2500), rate), lower(300, rate);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        const double swell = std::pow(std::sin(PI * t / (double(s.size()) / rate)), 2);
        const double x = noise.next();
        s[i] = (low.low(x) - 0.5 * lower.low(x)) * swell;
    }
    return s;
}

Signal rain(const Params& p, double rate) {
    Signal s(frames(p, rate, 2.0));
    Noise noise(17), drops(18);
    OnePole high(1500, rate);
    double drop = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (drops.next() > 0.9993) drop = 0.6 + 0.4 * drops.next();
        drop *= 0.997;
        const double x = noise.next();
        s[i] = high.high(x) * (0.25 + drop) * std::min(1.0, double(i) / rate / 0.2) *
               std::min(1.0, double(s.size() - i) / rate / 0.3);
    }
    return s;
}

Signal thunder(const Params& p, double rate) {
    Signal s(frames(p, rate, 3.0));
    Noise noise(19);
    OnePole low(get(p, "cut", 300), rate), low2(120, rate);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        const double crack = env(t, 0.08) * 0.8;
        const double rumble = std::min(1.0, t / 0.3) * env(t, 0.9) *
                              (1 + 0.5 * std::sin(2 * PI * 2.3 * t) * std::sin(2 * PI * 0.7 * t));
        const double x = noise.next();
        s[i] = low.low(x) * crack * 3 + low2.low(x) * rumble * 6;
    }
    return s;
}

Signal explosion(const Params& p, double rate) {
    Signal s(frames(p, rate, 2.0));
    Noise noise(20);
    double y = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        const double cutoff = 80 + 4000 * env(t, 0.12);
        y += (1 - std::exp(-2 * PI * cutoff / rate)) * (noise.next() - y);
        s[i] = std::tanh(3 * y * env(t, 0.6));
    }
    return s;
}

Signal sweep(const Params& p, double rate) {
    const double f0 = get(p, "f0", 3000), f1 = get(p, "f1", 150), time = get(p, "time", 0.3);
    const double wobble = get(p, "wobble", 0), wobble_rate = get(p, "wobble_rate", 8);
    Signal s(frames(p, rate, 0.4));
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        const double f = f0 * std::pow(f1 / f0, std::min(1.0, t / time)) *
                         (1 + wobble * std::sin(2 * PI * wobble_rate * t));
        phase += 2 * PI * f / rate;
        const double fade = std::min(1.0, (double(s.size() - i) / rate) / 0.03);
        s[i] = (std::sin(phase) + 0.3 * std::sin(3 * phase)) * fade * std::min(1.0, t / 0.002);
    }
    return s;
}

Signal birds(const Params& p, double rate) {
    Signal s(frames(p, rate, 1.2));
    Noise chance(21);
    for (int chirp = 0; chirp < 6; ++chirp) {
        const double start = 0.05 + chirp * 0.17 + 0.03 * chance.next(),
                     length = 0.06 + 0.02 * chance.next();
        const double f0 = 2600 + 600 * chance.next(), f1 = f0 * (1.4 + 0.2 * chance.next());
        double phase = 0;
        for (size_t i = size_t(start * rate); i < s.size() && i < size_t((start + length) * rate);
             ++i) {
            const double u = (double(i) / rate - start) / length;
            phase += 2 * PI * (f0 + (f1 - f0) * u) / rate;
            s[i] += std::sin(phase) * std::sin(PI * u);
        }
    }
    return s;
}

Signal telephone(const Params& p, double rate) {
    Signal s(frames(p, rate, 1.6));
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        const bool ringing = std::fmod(t, 0.05) < 0.025 && t < 1.2;
        const double tone = std::sin(2 * PI * 440 * t) + std::sin(2 * PI * 480 * t);
        s[i] = ringing ? std::tanh(2 * tone) : 0.0;
    }
    return s;
}

Signal siren(const Params& p, double rate) {
    Signal s(frames(p, rate, 2.4));
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        const double f = 650 + 300 * std::sin(2 * PI * 0.8 * t - PI / 2);
        phase += 2 * PI * f / rate;
        s[i] = std::tanh(1.5 * (std::sin(phase) + 0.2 * std::sin(2 * phase))) *
               std::min(1.0, t / 0.05) * std::min(1.0, (double(s.size() - i) / rate) / 0.1);
    }
    return s;
}

const std::map<std::string, std::function<Signal(const Params&, double)>> RECIPES = {
    {"kick", kick},
    {"snare", snare},
    {"hihat", hihat},
    {"cymbal", cymbal},
    {"clap", clap},
    {"tom", tom},
    {"shaker", shaker},
    {"tambourine", tambourine},
    {"marimba", marimba},
    {"xylophone", xylophone},
    {"woodblock", woodblock},
    {"cowbell", cowbell},
    {"timpani", timpani},
    {"gong", gong},
    {"pluck", pluck},
    {"piano", piano},
    {"vowel", vowel},
    {"whisper", whisper},
    {"orchestra_hit", orchestra_hit},
    {"wind", wind},
    {"surf", surf},
    {"rain", rain},
    {"thunder", thunder},
    {"explosion", explosion},
    {"sweep", sweep},
    {"birds", birds},
    {"telephone", telephone},
    {"siren", siren},
};

// ---- The definition. ----

struct Definition {
    std::string name;
    uint32_t category = 0;
    bool synthesized = false;
    tunemill::SynthParameters parameters{};
    std::string packing;
    std::string recipe;
    Params params;
    int line = 0;
};

std::vector<std::string> tokens(const std::string& line, int number) {
    std::vector<std::string> out;
    for (size_t i = 0; i < line.size();) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
        } else if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string::npos)
                fail("line " + std::to_string(number) + ": unclosed name");
            out.push_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            size_t end = line.find_first_of(" \t", i);
            if (end == std::string::npos) end = line.size();
            out.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return out;
}

std::vector<Definition> read_definition(const std::string& path) {
    std::ifstream in(path);
    if (!in) fail("cannot read " + path);
    std::vector<Definition> out;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        const std::vector<std::string> t = tokens(line, number);
        if (t.empty()) continue;
        auto where = [&] { return path + ":" + std::to_string(number) + ": "; };
        if (t.size() < 4) fail(where() + "expected: NAME CATEGORY synth|sample ...");
        Definition d;
        d.line = number;
        d.name = t[0];
        d.category = uint32_t(std::stoul(t[1]));
        if (d.name.empty() || d.name.size() > 16) fail(where() + "a name has 1 to 16 characters");
        if (d.category > 29) fail(where() + "category above 29");
        if (t[2] == "synth") {
            std::string hex;
            for (size_t k = 3; k < t.size(); ++k)
                hex += t[k];
            if (hex.size() != 22) fail(where() + "a parameter block is 22 hex digits");
            for (size_t k = 0; k < 11; ++k)
                d.parameters[k] = uint8_t(std::stoul(hex.substr(2 * k, 2), nullptr, 16));
            if (!tunemill::valid_synth_parameters(d.parameters))
                fail(where() + "invalid parameter block");
            d.synthesized = true;
        } else if (t[2] == "sample") {
            d.packing = t[3];
            if (t.size() < 5) fail(where() + "a sample names its packing and recipe");
            d.recipe = t[4];
            if (d.packing == "constant" ? d.recipe != "ramp" : !RECIPES.count(d.recipe))
                fail(where() + "unknown recipe " + d.recipe);
            for (size_t k = 5; k < t.size(); ++k) {
                const size_t eq = t[k].find('=');
                if (eq == std::string::npos) fail(where() + "expected key=value: " + t[k]);
                d.params[t[k].substr(0, eq)] = std::stod(t[k].substr(eq + 1));
            }
        } else {
            fail(where() + "kind is synth or sample");
        }
        out.push_back(d);
    }
    return out;
}

// The body of a sampled instrument: kind byte 1, then the packing the definition asks for.
std::vector<uint8_t> sampled_body(const Definition& d) {
    const double rate = get(d.params, "rate", 22050);
    if (rate < 1 || rate > 65535) fail(d.name + ": rate out of range");
    std::vector<uint8_t> body{1};
    std::vector<uint8_t> out;
    Signal s = RECIPES.at(d.recipe)(d.params, rate);
    if (s.empty()) fail(d.name + ": empty sound");
    double peak = 0;
    for (double x : s)
        peak = std::max(peak, std::abs(x));
    if (peak <= 0) fail(d.name + ": silent sound");
    const double gain = get(d.params, "level", 0.95) / peak;

    // A loop, when the definition asks for one, starts on a whole period of the base pitch.
    uint32_t loop = tunemill::NO_LOOP;
    if (d.params.count("loop")) {
        const double period = rate / BASE_PITCH;
        const double whole = std::round(period);
        if (std::abs(period - whole) > 1e-9) fail(d.name + ": a loop needs a whole period");
        const size_t start = size_t(get(d.params, "loop", 0) * rate / whole) * size_t(whole);
        const size_t length = (s.size() - start) / size_t(whole) * size_t(whole) + start;
        s.resize(length);
        loop = uint32_t(start);
    }
    const auto length = uint32_t(s.size());
    const uint16_t rate16 = uint16_t(rate);
    if (d.packing == "dsa16" || d.packing == "dsa16x") {
        std::vector<uint8_t> bytes;
        for (double x : s) {
            const auto v = uint16_t(int16_t(std::lround(std::clamp(x * gain, -1.0, 1.0) * 32767)));
            bytes.push_back(uint8_t(v));
            bytes.push_back(uint8_t(v >> 8));
        }
        out = tunemill::packer::chunk_body(bytes, 2, length, loop, rate16, d.packing == "dsa16x");
    } else {
        std::vector<uint8_t> bytes;
        for (double x : s)
            bytes.push_back(uint8_t(128 + std::lround(std::clamp(x * gain, -1.0, 1.0) * 127)));
        if (d.packing == "dsa8")
            out = tunemill::packer::chunk_body(bytes, 1, length, loop, rate16);
        else if (d.packing == "plain")
            out = tunemill::packer::sample_body(bytes, 0, loop, rate16);
        else if (d.packing.size() == 5 && d.packing.compare(0, 4, "huff") == 0 &&
                 d.packing[4] >= '0' && d.packing[4] <= '3')
            out =
                tunemill::packer::sample_body(bytes, uint8_t(1 + d.packing[4] - '0'), loop, rate16);
        else
            fail(d.name + ": unknown packing " + d.packing);
    }
    body.insert(body.end(), out.begin(), out.end());
    return body;
}

// The ramp: a saw of one period of 128 frames stored as the constant marker over one delta
// stage (every step adds 0x82 + 0x80 = 2 to the accumulator).
std::vector<uint8_t> ramp_body(uint32_t periods) {
    std::vector<uint8_t> samples;
    uint8_t d = 0x80;
    for (uint32_t i = 0; i < 128 * periods; ++i)
        samples.push_back(d = uint8_t(d + 0x82 + 0x80));
    std::vector<uint8_t> body{1};
    const auto packed = tunemill::packer::sample_body(samples, 2, 0, uint16_t(BASE_PITCH * 128));
    body.insert(body.end(), packed.begin(), packed.end());
    return body;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: bank_gen DEFINITION.txt OUT.bnk\n";
        return 2;
    }
    std::vector<Definition> definitions = read_definition(argv[1]);
    std::set<std::string> names;
    std::set<uint32_t> categories;
    for (const Definition& d : definitions) {
        if (!names.insert(d.name).second) fail("the name " + d.name + " is used twice");
        categories.insert(d.category);
    }
    for (uint32_t c = 0; c < tunemill::CATEGORY_COUNT; ++c)
        if (!categories.count(c)) fail("no instrument in category " + std::to_string(c));
    if (definitions.size() < 60) fail("the stock bank holds at least 60 instruments");
    if (definitions.size() > 65535) fail("too many instruments");

    std::vector<std::vector<uint8_t>> bodies;
    for (const Definition& d : definitions) {
        if (d.synthesized) {
            std::vector<uint8_t> body{0};
            body.insert(body.end(), d.parameters.begin(), d.parameters.end());
            bodies.push_back(body);
        } else if (d.packing == "constant") {
            bodies.push_back(ramp_body(uint32_t(get(d.params, "periods", 2))));
        } else {
            bodies.push_back(sampled_body(d));
        }
    }

    std::vector<uint8_t> file{'B', 'N', 'K', uint8_t(definitions.size()),
                              uint8_t(definitions.size() >> 8)};
    const std::string note = "Tunemill stock instruments";
    file.insert(file.end(), note.begin(), note.end());
    file.resize(tunemill::BANK_HEADER_SIZE, 0);
    uint32_t offset =
        uint32_t(tunemill::BANK_HEADER_SIZE + definitions.size() * tunemill::BANK_ENTRY_SIZE);
    for (size_t i = 0; i < definitions.size(); ++i) {
        std::string padded = definitions[i].name;
        padded.resize(16, ' ');
        file.insert(file.end(), padded.begin(), padded.end());
        file.push_back(uint8_t(definitions[i].category));
        for (int k = 0; k < 4; ++k)
            file.push_back(uint8_t(offset >> (8 * k)));
        offset += uint32_t(bodies[i].size());
    }
    for (const auto& body : bodies)
        file.insert(file.end(), body.begin(), body.end());

    const std::string out_path = argv[2];
    const std::string temporary = out_path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        if (!out) fail("cannot write " + temporary);
    }
    // Read every instrument back with the program's reader before the bank is put in place.
    try {
        tunemill::InstrumentBank bank(temporary);
        for (const Definition& d : definitions) {
            const tunemill::Instrument instrument = bank.load(d.name);
            if (instrument.category != d.category || instrument.length == 0)
                fail(d.name + ": reads back wrong");
        }
    } catch (const tunemill::ERROR& error) {
        fail("the bank does not read back: " + error.compose_message());
    }
    std::filesystem::rename(temporary, out_path);
    std::cout << "bank_gen: " << definitions.size() << " instruments, " << file.size()
              << " bytes\n";
    return 0;
}
