// The pictures of the instrument categories (29 categories and "no category"), the mark of
// instruments from the instrument bank and the mark of a muted voice. They are painted as
// vector shapes at whatever size and pixel ratio they are asked for, so they stay sharp on
// every screen; each category has a glyph of its own on the colour of its family.
#pragma once

#include <QIcon>
#include <QRectF>
#include <QString>
#include <cstdint>

class QPainter;

namespace tunemill {

// Category 0 to 28, or NO_CATEGORY (29); other values draw as NO_CATEGORY.
QIcon category_icon(uint32_t category);
void paint_category_icon(QPainter& painter, const QRectF& rect, uint32_t category,
                         bool enabled = true);

// The category's name as the program shows it ("Pianos"); empty for NO_CATEGORY.
QString category_name(uint32_t category);

// The mark of an instrument that came from the instrument bank (a small padlock: such an
// instrument is stock and cannot be saved as a file).
QIcon bank_mark();
void paint_bank_mark(QPainter& painter, const QRectF& rect);

// The mark of a muted voice (a loudspeaker struck through).
QIcon mute_mark();
void paint_mute_mark(QPainter& painter, const QRectF& rect);

} // namespace tunemill
