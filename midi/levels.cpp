// Loudness and pan conversions.
#include "midi/levels.h"

#include <algorithm>
#include <cmath>

#include "song/song.h"

namespace tunemill {

namespace {

double gain_of_volume(uint8_t volume) {
    return volume == 0 ? 0.0 : std::pow(16.0, (double(volume) - MAX_LEVEL) / 29.0);
}

} // namespace

uint8_t volume_of(uint8_t velocity, uint8_t channel_volume) {
    if (velocity == 0 || channel_volume == 0) return 0;
    const double amplitude = double(velocity) / 127.0 * double(channel_volume) / 127.0;
    const double volume = MAX_LEVEL + 29.0 * std::log(amplitude * amplitude) / std::log(16.0);
    return uint8_t(std::clamp<long>(std::lround(volume), 1, MAX_LEVEL));
}

uint8_t velocity_of(uint8_t volume) {
    const double velocity = 127.0 * std::sqrt(gain_of_volume(std::min(volume, MAX_LEVEL)));
    return uint8_t(std::clamp<long>(std::lround(velocity), 1, 127));
}

uint8_t channel_volume_between(uint8_t struck, uint8_t now) {
    const double from = gain_of_volume(std::min(struck, MAX_LEVEL));
    if (from <= 0) return 127;
    const double scale = std::sqrt(gain_of_volume(std::min(now, MAX_LEVEL)) / from);
    return uint8_t(std::clamp<long>(std::lround(127.0 * scale), 0, 127));
}

uint8_t balance_of(uint8_t pan) {
    return uint8_t(std::lround(MAX_LEVEL - std::min<int>(pan, 127) * double(MAX_LEVEL) / 127.0));
}

uint8_t pan_of(uint8_t balance) {
    return uint8_t(std::lround((MAX_LEVEL - std::min(balance, MAX_LEVEL)) * 127.0 / MAX_LEVEL));
}

} // namespace tunemill
