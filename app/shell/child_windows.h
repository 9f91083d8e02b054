// What the main frame needs to know of its child windows: the pattern windows as PatternView,
// and the makers of every child window and dialog.
#pragma once

#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/pattern/pattern_view.h"

namespace tunemill {

// Makes a child widget for the MDI area; the main frame wraps it in its MDI child window.
using ChildFactory = std::function<QWidget*()>;

struct ChildFactories {
    ChildFactory pattern; // a PatternView widget, pointed at a pattern afterwards
    ChildFactory sequence;
    ChildFactory instruments;
    ChildFactory keyboard;
    // Dialogs that come with later windows (Song Options, the Options property sheet).
    std::function<void()> song_options;
    std::function<void()> options;
};

} // namespace tunemill
