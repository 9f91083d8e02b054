// Key routing, popup help and the frame's backdrop.
#include "app/shell/frame_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QPainter>

#include "app/common/art.h"
#include "app/common/commands.h"
#include "app/common/help.h"
#include "app/shell/main_window.h"

namespace tunemill {

namespace {

// The help topic of the window the widget sits in (a "helpTopic" property on it or a parent),
// else the contents.
int help_topic_of(QWidget* widget) {
    for (QWidget* at = widget; at; at = at->parentWidget())
        if (const QVariant topic = at->property("helpTopic"); topic.isValid()) return topic.toInt();
    return HELP_CONTENTS;
}

} // namespace

KeyRouter::KeyRouter(MainWindow* frame) : QObject(frame), frame_(frame) {}

bool KeyRouter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != frame_ || QApplication::activeModalWidget()) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const int modifiers = int(key->modifiers());
    int command = accelerator_command(AcceleratorTable::GLOBAL, key->key(), modifiers);
    if (!command && !frame_->dialog_child_active())
        command = accelerator_command(AcceleratorTable::EDITING, key->key(), modifiers);
    const bool help =
        !command && key->key() == Qt::Key_F1 && (modifiers & ~Qt::KeypadModifier) == 0;
    if (!command && !help) return false;
    // Claim the key before any shortcut (a menu title's Alt+letter) sees it.
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        if (help) {
            const int topic = help_topic_of(widget);
            open_help(topic != HELP_CONTENTS ? topic : active_child_help_topic());
        } else {
            frame_->run_key_command(command);
        }
    }
    return true;
}

int KeyRouter::active_child_help_topic() const {
    // The page of the active child window (its "helpTopic" property), else the contents.
    QMdiSubWindow* active = frame_->mdi_area()->activeSubWindow();
    const QVariant topic =
        active && active->widget() ? active->widget()->property("helpTopic") : QVariant();
    return topic.isValid() ? topic.toInt() : int(HELP_CONTENTS);
}

bool PopupHelp::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        open_help(topic_);
        return true;
    }
    return false;
}

void FrameArea::paintEvent(QPaintEvent* event) {
    QMdiArea::paintEvent(event);
    QPainter painter(viewport());
    painter.setOpacity(0.18);
    const int size = std::min(220, std::min(viewport()->width(), viewport()->height()) / 3);
    if (size < 48) return;
    const QRect mark(viewport()->width() - size - 32, viewport()->height() - size - 32, size, size);
    program_icon().paint(&painter, mark);
}

} // namespace tunemill
