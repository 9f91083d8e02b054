// Where the 84 keys of the keyboard window lie: the white key width follows the window's width
// (49 white keys), black keys sit on the boundaries between white keys, and a press picks the
// black key only in its zone at either side of a white key's top part.
#pragma once

#include <QRect>
#include <cstdint>

namespace tunemill {

constexpr uint32_t PIANO_KEYS = 84;
constexpr int PIANO_WHITE_KEYS = 49;

struct PianoGeometry {
    int white_width = 16; // w
    int top = 0;
    int height = 78;

    // The geometry of a keyboard drawn in a client area of this size.
    static PianoGeometry for_size(int width, int height);
    // The width a client area needs for white keys of width w (the keys and their last line).
    static int width_for(int white_width) { return PIANO_WHITE_KEYS * white_width + 1; }

    int black_width() const; // odd, so that a black key is centred on the line it covers
    int black_height() const;

    static bool is_black(uint32_t key);
    // The rectangle of a white key, or of a black key as drawn.
    QRect key_rect(uint32_t key) const;
    // The band a key occupies (its rectangle for redrawing): half-positions times w / 2, w wide.
    QRect band(uint32_t key) const;
    // The key under a point, -1 when none (outside the keys, above the last one).
    int32_t key_at(int x, int y) const;
};

} // namespace tunemill
