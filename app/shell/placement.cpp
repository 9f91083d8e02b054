// The fitting rule for stored window rectangles.
#include "app/shell/placement.h"

namespace tunemill {

namespace {

// One direction of the rule: [start, end) against an extent of the parent.
void fit_span(int64_t& start, int64_t& end, int64_t parent) {
    const int64_t size = end - start;
    if (start < 0) {
        end -= start;
        start = 0;
    }
    if (size > parent) {
        start = 0;
        end = parent - 10;
    } else if (end > parent) {
        start -= end - parent;
        end = parent;
    }
}

} // namespace

std::optional<QRect> fit_window_rect(const WindowRect& stored, QSize parent) {
    // A reversed rectangle (right before left) comes only from a damaged store; it is treated
    // like an empty one rather than producing a window of negative size.
    if (stored.right <= stored.left || stored.bottom <= stored.top) return std::nullopt;
    int64_t left = stored.left, right = stored.right, top = stored.top, bottom = stored.bottom;
    fit_span(left, right, parent.width());
    fit_span(top, bottom, parent.height());
    if (right <= left || bottom <= top) return std::nullopt; // a parent too small to hold anything
    return QRect(QPoint(int(left), int(top)), QSize(int(right - left), int(bottom - top)));
}

WindowRect to_window_rect(const QRect& rect) {
    WindowRect stored;
    stored.left = rect.left();
    stored.top = rect.top();
    stored.right = rect.left() + rect.width();
    stored.bottom = rect.top() + rect.height();
    return stored;
}

} // namespace tunemill
