// Where a window goes back to: the stored rectangle of a window, fitted into its parent (the
// screen for the main window, the MDI area for its children) so that it is always reachable.
#pragma once

#include <QRect>
#include <QSize>
#include <optional>

#include "settings/settings.h"

namespace tunemill {

// The fitting rule. Nothing is done (none) for a rectangle that is empty in either direction.
// Otherwise, per direction: a negative start is shifted to 0; an extent larger than the parent's
// becomes 0 .. parent - 10; else a rectangle running past the parent is shifted back inside.
// The result is in the parent's coordinates, as the stored rectangle is.
std::optional<QRect> fit_window_rect(const WindowRect& stored, QSize parent);

WindowRect to_window_rect(const QRect& rect);

} // namespace tunemill
