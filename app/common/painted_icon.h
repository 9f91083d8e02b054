// Icons drawn in code at whatever size and pixel ratio a view asks for: the category pictures,
// the marks of the instrument lists and the toolbar pictures share this one engine.
#pragma once

#include <QIcon>
#include <QPainter>
#include <functional>

namespace tunemill {

// Paints the picture into the rectangle (in points); a disabled icon asks for its greyed look.
using IconPainter = std::function<void(QPainter& painter, const QRectF& rect, bool enabled)>;

QIcon painted_icon(IconPainter painter);

} // namespace tunemill
