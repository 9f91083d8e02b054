// The main frame's menus: the items of every popup with their enabling rules, the Window list and
// the Undo and Redo items named after their steps.
#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QUndoStack>

#include "app/common/commands.h"
#include "app/document/document.h"
#include "app/shell/frame_keys.h"
#include "app/shell/main_window.h"
#include "strings/steps_strings.h"

namespace tunemill {

QAction* MainWindow::action(int command) const {
    auto found = actions_.find(command);
    return found == actions_.end() ? nullptr : found->second;
}

QMenu* MainWindow::popup(int index) const {
    return index >= 0 && size_t(index) < popups_.size() ? popups_[size_t(index)] : nullptr;
}

void MainWindow::build_menus() {
    auto add_item = [this](QMenu* menu, const MenuEntry& entry) {
        QAction* item = menu->addAction(menu_text(uint32_t(entry.command)));
        item->setObjectName(QStringLiteral("command%1").arg(entry.command));
        item->setData(entry.command);
        item->setCheckable(entry.checkable);
        const int command = entry.command;
        connect(item, &QAction::triggered, this, [this, command] { run_command(command); });
        actions_[command] = item;
    };
    for (int index = 0; index < POPUP_COUNT; ++index) {
        QMenu* menu = menuBar()->addMenu(menu_text(POPUP_TEXT_BASE + uint32_t(index)));
        menu->setObjectName(QStringLiteral("popup%1").arg(index));
        menu->installEventFilter(new PopupHelp(menu, index));
        popups_.push_back(menu);
        for (const MenuEntry& entry : popup_entries(index)) {
            if (entry.command == SEPARATOR) {
                menu->addSeparator();
            } else if (entry.command == PORTAMENTO_SUBMENU) {
                portamento_menu_ = menu->addMenu(menu_text(PORTAMENTO_TEXT));
                portamento_menu_->setObjectName(QStringLiteral("portamento"));
                for (const MenuEntry& sub : portamento_entries())
                    add_item(portamento_menu_, sub);
            } else {
                add_item(menu, entry);
            }
        }
        connect(menu, &QMenu::aboutToShow, this, [this, index] {
            help_context_ = index;
            update_popup(index);
            if (index == WINDOW_POPUP) fill_window_list();
        });
    }
    // Every popup starts in its proper state, so nothing looks available that is not.
    for (int index = 0; index < POPUP_COUNT; ++index)
        update_popup(index);
}

void MainWindow::set_enabled(int command, bool enabled) {
    if (QAction* item = action(command)) item->setEnabled(enabled);
}

void MainWindow::set_checked(int command, bool checked) {
    if (QAction* item = action(command)) item->setChecked(checked);
}

void MainWindow::update_item(const MenuEntry& entry) {
    const Song& song = document_.song();
    if (window_command(entry.command)) {
        // The commands the active window owns follow its answers.
        const CommandTarget* target = active_command_target();
        set_enabled(entry.command, target && target->command_enabled(entry.command, song));
        set_checked(entry.command, target && target->command_checked(entry.command, song));
        return;
    }
    set_enabled(entry.command, commands_.enabled(entry.command, song));
    if (entry.checkable) set_checked(entry.command, commands_.checked(entry.command, song));
}

void MainWindow::update_popup(int popup_index) {
    for (const MenuEntry& entry : popup_entries(popup_index))
        if (entry.command > 0) update_item(entry);
    if (popup_index != EDIT_POPUP) return;
    for (const MenuEntry& entry : portamento_entries())
        update_item(entry);
    portamento_menu_->setEnabled(action(CMD_SET_PORTAMENTO)->isEnabled());
    update_undo_items();
}

void MainWindow::fill_window_list() {
    QMenu* menu = popup(WINDOW_POPUP);
    for (QAction* entry : window_list_actions_) {
        menu->removeAction(entry);
        entry->deleteLater();
    }
    window_list_actions_.clear();
    const QList<QMdiSubWindow*> children = mdi_->subWindowList();
    if (children.isEmpty()) return;
    window_list_actions_.push_back(menu->addSeparator());
    int number = 1;
    for (QMdiSubWindow* child : children) {
        const QString label = number < 10
                                  ? QStringLiteral("&%1 %2").arg(number).arg(child->windowTitle())
                                  : QStringLiteral("%1 %2").arg(number).arg(child->windowTitle());
        QAction* entry = menu->addAction(label);
        entry->setCheckable(true);
        entry->setChecked(child == mdi_->activeSubWindow());
        QPointer<QMdiSubWindow> target(child);
        connect(entry, &QAction::triggered, this, [this, target] {
            if (target) mdi_->setActiveSubWindow(target);
        });
        window_list_actions_.push_back(entry);
        ++number;
    }
}

void MainWindow::run_key_command(int command) {
    const int popup_index = popup_of(command);
    if (popup_index >= 0) {
        update_popup(popup_index);
        QAction* item = action(command);
        if (item && !item->isEnabled()) return;
    }
    run_command(command);
}

void MainWindow::update_undo_items() {
    QUndoStack& history = document_.history();
    auto named = [](uint32_t plain_id, uint32_t named_id, bool can, const QString& step) {
        const QString plain = menu_text(plain_id);
        if (!can || step.isEmpty()) return plain;
        const int tab = plain.indexOf(QLatin1Char('\t'));
        const QString key = tab < 0 ? QString() : plain.mid(tab);
        return step_name(named_id).arg(step) + key;
    };
    if (QAction* undo = action(CMD_UNDO)) {
        undo->setEnabled(history.canUndo());
        undo->setText(named(CMD_UNDO, U_UNDO_NAMED, history.canUndo(), history.undoText()));
    }
    if (QAction* redo = action(CMD_REDO)) {
        redo->setEnabled(history.canRedo());
        redo->setText(named(CMD_REDO, U_REDO_NAMED, history.canRedo(), history.redoText()));
    }
}

} // namespace tunemill
