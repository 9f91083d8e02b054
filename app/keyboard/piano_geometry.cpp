// The keyboard window's key layout and hit test.
#include "app/keyboard/piano_geometry.h"

#include <algorithm>
#include <array>

namespace tunemill {

namespace {

// Per white key of an octave (C D E F G A B): its semitone and whether it has a black key at
// its left and at its right.
constexpr std::array<int, 7> WHITE_SEMITONE = {0, 2, 4, 5, 7, 9, 11};
constexpr std::array<bool, 7> BLACK_AT_LEFT = {false, true, true, false, true, true, true};
constexpr std::array<bool, 7> BLACK_AT_RIGHT = {true, true, false, true, true, true, false};
// Each semitone's place in its octave, in half white keys.
constexpr std::array<int, 12> HALF_POSITION = {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12};
constexpr std::array<bool, 12> BLACK = {false, true,  false, true,  false, false,
                                        true,  false, true,  false, true,  false};

int half_position(uint32_t key) {
    return HALF_POSITION[key % 12] + 14 * int(key / 12);
}

} // namespace

PianoGeometry PianoGeometry::for_size(int width, int height) {
    PianoGeometry geometry;
    geometry.white_width = std::max(1, (width + 1) / PIANO_WHITE_KEYS);
    geometry.top = 0;
    geometry.height = std::max(1, height);
    return geometry;
}

int PianoGeometry::black_width() const {
    return ((white_width + 1) * 7 / 13) | 1;
}

int PianoGeometry::black_height() const {
    return height * 38 / 62;
}

bool PianoGeometry::is_black(uint32_t key) {
    return BLACK[key % 12];
}

QRect PianoGeometry::band(uint32_t key) const {
    return QRect(half_position(key) * white_width / 2, top, white_width, height);
}

QRect PianoGeometry::key_rect(uint32_t key) const {
    if (!is_black(key)) {
        // The half-position of a white key is even: its white key index is half of it.
        return QRect(half_position(key) / 2 * white_width, top, white_width + 1, height);
    }
    // Centred on the line between the white keys at its sides.
    const int line = (half_position(key) + 1) / 2 * white_width;
    return QRect(line - black_width() / 2, top, black_width(), black_height());
}

int32_t PianoGeometry::key_at(int x, int y) const {
    if (x < 0 || y < top || y >= top + height) return -1;
    const int white = x / white_width;
    if (white >= PIANO_WHITE_KEYS) return -1;
    const int within = x % white_width;
    const int of_octave = white % 7;
    int offset = 0;
    if (y < top + black_height()) {
        const int half_black = black_width() / 2;
        if (BLACK_AT_LEFT[size_t(of_octave)] && within < half_black)
            offset = -1;
        else if (BLACK_AT_RIGHT[size_t(of_octave)] && within >= white_width - half_black - 1)
            offset = +1;
    }
    const int key = WHITE_SEMITONE[size_t(of_octave)] + 12 * (white / 7) + offset;
    return key >= 0 && key < int(PIANO_KEYS) ? key : -1;
}

} // namespace tunemill
