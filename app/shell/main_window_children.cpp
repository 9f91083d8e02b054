// The main frame's child windows: the pattern windows it opens and follows, the single sequence,
// instruments and keyboard windows, and the arrangement of the MDI area.
#include <QMdiArea>
#include <QMdiSubWindow>

#include "app/common/commands.h"
#include "app/common/error_box.h"
#include "app/document/document.h"
#include "app/live/live_input.h"
#include "app/shell/main_window.h"
#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "settings/settings.h"
#include "strings/composer_strings.h"

namespace tunemill {

namespace {

PatternView* pattern_view_of(QMdiSubWindow* child) {
    return child ? dynamic_cast<PatternView*>(child->widget()) : nullptr;
}

} // namespace

void MainWindow::reduce_pattern_windows() {
    PatternView* keep = first_pattern_window();
    std::vector<QPointer<QMdiSubWindow>> kept;
    for (const QPointer<QMdiSubWindow>& child : pattern_children_) {
        if (!child) continue;
        if (pattern_view_of(child) == keep) {
            kept.push_back(child);
        } else {
            child->close();
            delete child.data();
        }
    }
    pattern_children_ = kept;
}

void MainWindow::refresh_views() {
    document_.announce_all();
    if (PatternView* first = first_pattern_window())
        first->point_at(0);
    else
        open_pattern_window(0);
}

std::vector<PatternView*> MainWindow::pattern_windows() const {
    std::vector<PatternView*> windows;
    for (const QPointer<QMdiSubWindow>& child : pattern_children_)
        if (PatternView* view = pattern_view_of(child)) windows.push_back(view);
    return windows;
}

void MainWindow::set_factories(ChildFactories factories) {
    factories_ = std::move(factories);
    for (int index = 0; index < POPUP_COUNT; ++index)
        update_popup(index);
}

void MainWindow::pattern_inserted(size_t at) {
    for (PatternView* window : pattern_windows())
        if (window->pattern_index() >= at) window->renumber(window->pattern_index() + 1);
}

void MainWindow::pattern_deleted(size_t index) {
    for (const QPointer<QMdiSubWindow>& child :
         std::vector<QPointer<QMdiSubWindow>>(pattern_children_)) {
        PatternView* window = pattern_view_of(child);
        if (!window) continue;
        if (window->pattern_index() == index) {
            child->close();
        } else if (window->pattern_index() > index) {
            window->renumber(window->pattern_index() - 1);
        }
    }
}

void MainWindow::apply_pattern_settings() {
    for (PatternView* window : pattern_windows())
        window->apply_settings();
}

size_t MainWindow::pattern_window_count() const {
    return pattern_windows().size();
}

PatternView* MainWindow::active_pattern_window() const {
    return pattern_view_of(mdi_->activeSubWindow());
}

CommandTarget* MainWindow::active_command_target() const {
    QMdiSubWindow* active = mdi_->activeSubWindow();
    return active ? dynamic_cast<CommandTarget*>(active->widget()) : nullptr;
}

PatternView* MainWindow::first_pattern_window() const {
    const QList<QMdiSubWindow*> stacking = mdi_->subWindowList(QMdiArea::StackingOrder);
    for (auto at = stacking.rbegin(); at != stacking.rend(); ++at)
        if (PatternView* view = pattern_view_of(*at)) return view;
    const std::vector<PatternView*> windows = pattern_windows();
    return windows.empty() ? nullptr : windows.front();
}

QMdiSubWindow* MainWindow::add_child(QWidget* widget) {
    QMdiSubWindow* child = mdi_->addSubWindow(widget);
    child->setAttribute(Qt::WA_DeleteOnClose);
    return child;
}

void MainWindow::open_pattern_window(size_t pattern) {
    if (!factories_.pattern) return;
    if (PatternView* first = first_pattern_window()) first->store_settings();
    QWidget* widget = factories_.pattern();
    if (!widget || !dynamic_cast<PatternView*>(widget)) {
        delete widget;
        show_error(MISC_ERROR(S_UNABLE_TO_CREATE_WINDOW));
        return;
    }
    widget->setProperty(TAKES_MIDI_NOTES, true);
    QMdiSubWindow* child = add_child(widget);
    pattern_children_.push_back(child);
    dynamic_cast<PatternView*>(widget)->point_at(pattern);
    if (settings().pattern_window.maximized)
        child->showMaximized();
    else
        child->show();
    mdi_->setActiveSubWindow(child);
}

void MainWindow::show_single_window(QPointer<QMdiSubWindow>& window, const ChildFactory& factory) {
    if (window) {
        mdi_->setActiveSubWindow(window);
        return;
    }
    if (!factory) return;
    QWidget* widget = factory();
    if (!widget) {
        show_error(MISC_ERROR(S_UNABLE_TO_CREATE_WINDOW));
        return;
    }
    window = add_child(widget);
    window->show();
    mdi_->setActiveSubWindow(window);
}

void MainWindow::show_sequence_window() {
    show_single_window(sequence_window_, factories_.sequence);
}
void MainWindow::show_instruments_window() {
    show_single_window(instruments_window_, factories_.instruments);
}
void MainWindow::show_keyboard_window() {
    show_single_window(keyboard_window_, factories_.keyboard);
}

bool MainWindow::dialog_child_active() const {
    QMdiSubWindow* active = mdi_->activeSubWindow();
    return active && (active == sequence_window_ || active == instruments_window_);
}

void MainWindow::tile_horizontally() {
    // One above the other, each as wide as the area, like the frame's horizontal tiling; with
    // more than three windows a grid keeps them usable.
    QList<QMdiSubWindow*> children;
    for (QMdiSubWindow* child : mdi_->subWindowList())
        if (child->isVisible() && !child->isMinimized()) children << child;
    if (children.size() > 3 || children.isEmpty()) {
        mdi_->tileSubWindows();
        return;
    }
    const QRect area = mdi_->viewport()->rect();
    const int height = area.height() / int(children.size());
    int top = 0;
    for (QMdiSubWindow* child : children) {
        child->showNormal();
        child->setGeometry(0, top, area.width(), height);
        top += height;
    }
}

} // namespace tunemill
