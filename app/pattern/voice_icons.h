// The small pictures of the voices pane: an instrument category's icon (21 by 18) and the mute
// mark (16 by 18), drawn in code so that they are sharp at any pixel ratio.
#pragma once

#include <QPainter>
#include <QRect>
#include <QString>
#include <cstdint>

namespace tunemill {

constexpr int CATEGORY_ICON_WIDTH = 21;
constexpr int CATEGORY_ICON_HEIGHT = 18;
constexpr int MUTE_MARK_WIDTH = 16;
constexpr int MUTE_MARK_HEIGHT = 18;

// The category's name in the current language (line n + 1 of string 9), empty for none.
QString category_name(uint32_t category);
void paint_category_icon(QPainter& painter, const QRect& rect, uint32_t category);
void paint_mute_mark(QPainter& painter, const QRect& rect);

} // namespace tunemill
