// The pattern window's toolbar.
#include "app/pattern/pattern_toolbar.h"

#include <QActionGroup>
#include <QComboBox>

#include "app/common/command_table.h"
#include "app/common/commands.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "song/song.h"
#include "strings/composer_strings.h"
#include "strings/pattern_strings.h"

namespace tunemill {

namespace {

// The note-length buttons' object names follow the command buttons' ("tool4000" and on).
constexpr int NOTE_LENGTH_COMMAND = 4000;

const uint32_t NOTE_LENGTH_TIPS[NOTE_LENGTHS] = {P_WHOLE_NOTE,     P_HALF_NOTE,
                                                 P_QUARTER_NOTE,   P_EIGHTH_NOTE,
                                                 P_SIXTEENTH_NOTE, P_THIRTY_SECOND_NOTE};

QString pattern_text(uint32_t id) {
    return QString::fromUtf8(load_string(pattern_strings(), id));
}

QString pattern_name(const Pattern& pattern) {
    return QString::fromStdString(windows1252_to_utf8(pattern.name));
}

} // namespace

PatternToolbar::PatternToolbar(QWidget* parent) : QToolBar(parent) {
    setObjectName(QStringLiteral("PatternToolbar"));
    setIconSize(QSize(16, 16));
    setMovable(false);
    selector_ = new QComboBox(this);
    selector_->setObjectName(QStringLiteral("PatternSelector"));
    selector_->setFixedWidth(150);
    selector_->setFocusPolicy(Qt::NoFocus);
    selector_->setToolTip(pattern_text(P_PATTERN_SELECTOR));
    connect(selector_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0) emit patternChosen(size_t(index));
    });
    addWidget(selector_);
    addSeparator();
    add_tool(CMD_CUT, ToolIcon::CUT, S_CUT_BLOCK);
    add_tool(CMD_COPY, ToolIcon::COPY, S_COPY_BLOCK);
    add_tool(CMD_PASTE, ToolIcon::PASTE, S_PASTE_BLOCK);
    add_tool(CMD_DELETE, ToolIcon::DELETE_BLOCK, S_DELETE_BLOCK);
    addSeparator();
    auto* lengths = new QActionGroup(this);
    lengths->setExclusive(true);
    for (int index = 0; index < NOTE_LENGTHS; ++index) {
        QAction* action = addAction(note_length_icon(index), pattern_text(NOTE_LENGTH_TIPS[index]));
        action->setObjectName(QStringLiteral("tool%1").arg(NOTE_LENGTH_COMMAND + index));
        action->setCheckable(true);
        lengths->addAction(action);
        connect(action, &QAction::triggered, this, [this, index] { emit noteLengthChosen(index); });
        length_buttons_[size_t(index)] = action;
    }
    addSeparator();
    add_tool(CMD_PLAY_PATTERN, ToolIcon::PLAY_PATTERN, S_PLAY_PATTERN);
    add_tool(CMD_PLAY_BLOCK, ToolIcon::PLAY_BLOCK, S_PLAY_BLOCK);
    add_tool(CMD_PLAY_VOICE, ToolIcon::PLAY_VOICE, S_PLAY_VOICE);
    add_tool(CMD_STOP, ToolIcon::STOP, S_STOP);
    add_tool(CMD_FOLLOW_PLAYBACK, ToolIcon::FOLLOW, S_FOLLOW_PLAYBACK)->setCheckable(true);
}

QAction* PatternToolbar::add_tool(int command, ToolIcon icon, uint32_t tip) {
    QAction* action = addAction(tool_icon(icon), composer_text(tip));
    action->setObjectName(QStringLiteral("tool%1").arg(command));
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { emit commandPressed(command); });
    tools_[command] = action;
    return action;
}

QAction* PatternToolbar::tool(int command) const {
    auto found = tools_.find(command);
    return found == tools_.end() ? nullptr : found->second;
}

void PatternToolbar::refresh(const CommandTable& commands, const Song& song, int ticks_per_beat,
                             int beats_per_measure, int chosen) {
    for (const auto& [command, button] : tools_) {
        button->setEnabled(commands.enabled(command, song));
        if (button->isCheckable()) button->setChecked(commands.checked(command, song));
    }
    for (int index = 0; index < NOTE_LENGTHS; ++index) {
        QAction* button = length_buttons_[size_t(index)];
        button->setEnabled(note_length_usable(index, ticks_per_beat, beats_per_measure));
        button->setChecked(index == chosen);
    }
}

void PatternToolbar::refresh_selector(const Song& song, int shown) {
    const QSignalBlocker blocker(selector_);
    bool same = selector_->count() == int(song.patterns.size());
    for (int index = 0; same && index < selector_->count(); ++index)
        same = selector_->itemText(index) == pattern_name(song.patterns[size_t(index)]);
    if (!same) {
        selector_->clear();
        for (const Pattern& pattern : song.patterns)
            selector_->addItem(pattern_name(pattern));
    }
    selector_->setCurrentIndex(shown);
}

} // namespace tunemill
