// The Environment page.
#include "app/dialogs/environment_page.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/common/commands.h"
#include "app/common/help.h"
#include "app/document/song_paths.h"
#include "app/keyboard/keyboard_window.h"
#include "app/live/pc_piano_keys.h"
#include "app/shell/main_window.h"
#include "settings/settings.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

namespace {

// A folder as the settings hold it. Paths here have no 260-byte cap, and cutting one would name
// another folder (or split a character), so the text is kept whole.
std::string folder_setting(const QString& text) {
    return from_qstring_path(text.trimmed());
}

} // namespace

EnvironmentPage::EnvironmentPage(MainWindow& frame, QWidget* parent)
    : OptionsPage(parent), frame_(frame) {
    setObjectName(QStringLiteral("EnvironmentPage"));
    cell_size_ = new QComboBox(this);
    cell_size_->setObjectName(QStringLiteral("CellSize"));
    const uint32_t names[] = {S_SMALL, S_MEDIUM, S_LARGE};
    for (size_t i = 0; i < std::size(CELL_SIZES); ++i)
        cell_size_->addItem(composer_text(names[i]), CELL_SIZES[i]);
    cell_size_->setCurrentIndex(
        std::max(0, cell_size_->findData(settings().pattern_window.grid_size_y)));

    range_ = new QComboBox(this);
    range_->setObjectName(QStringLiteral("KeyboardRange"));
    range_->addItems(base_octave_ranges());
    range_->setCurrentIndex(octave_range_entry(settings().keyboard_base_octave));

    mapping_ = new QComboBox(this);
    mapping_->setObjectName(QStringLiteral("KeyMapping"));
    mapping_->addItem(dialog_text(D_BY_KEY_POSITION), int(KeyMapping::BY_POSITION));
    mapping_->addItem(dialog_text(D_BY_LETTER), int(KeyMapping::BY_LETTER));
    mapping_->setCurrentIndex(key_mapping() == KeyMapping::BY_LETTER ? 1 : 0);

    auto* form = new QFormLayout;
    form->addRow(dialog_text(D_CELL_SIZE), cell_size_);
    form->addRow(dialog_text(D_KEYBOARD_RANGE), range_);
    form->addRow(dialog_text(D_KEY_MAPPING), mapping_);
    auto add_folder = [&](QLineEdit*& edit, const char* name, const std::string& folder,
                          uint32_t label) {
        edit = new QLineEdit(to_qstring_path(folder), this);
        edit->setObjectName(QLatin1String(name));
        edit->setMinimumWidth(280);
        auto* browse = new QPushButton(dialog_text(D_BROWSE), this);
        browse->setObjectName(QLatin1String(name) + QStringLiteral("Browse"));
        QLineEdit* target = edit;
        connect(browse, &QPushButton::clicked, this, [this, target] { choose_folder(target); });
        connect(edit, &QLineEdit::textEdited, this, &OptionsPage::edited);
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        row->addWidget(browse);
        auto* name_label = new QLabel(dialog_text(label), this);
        name_label->setBuddy(edit);
        form->addRow(name_label, row);
    };
    add_folder(song_folder_, "SongFolder", settings().song_folder, D_SONG_FOLDER);
    add_folder(instrument_folder_, "InstrumentFolder", settings().instrument_folder,
               D_INSTRUMENT_FOLDER);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);

    for (QComboBox* list : {cell_size_, range_, mapping_})
        connect(list, &QComboBox::currentIndexChanged, this, &OptionsPage::edited);
}

int EnvironmentPage::help_topic() const {
    return HELP_ENVIRONMENT;
}

void EnvironmentPage::choose_folder(QLineEdit* edit) {
    const QString chosen =
        QFileDialog::getExistingDirectory(this, dialog_text(D_CHOOSE_FOLDER), edit->text());
    if (chosen.isEmpty()) return;
    edit->setText(chosen);
    emit edited();
}

void EnvironmentPage::apply() {
    Settings& record = settings();
    record.song_folder = folder_setting(song_folder_->text());
    record.instrument_folder = folder_setting(instrument_folder_->text());

    const int cell = cell_size_->currentData().toInt();
    if (cell != record.pattern_window.grid_size_y) {
        record.pattern_window.grid_size_x = record.pattern_window.grid_size_y = cell;
        frame_.apply_pattern_settings();
    }

    const int octave = base_octave_of_entry(range_->currentIndex());
    const int mapping = mapping_->currentData().toInt();
    if (octave != record.keyboard_base_octave || mapping != record.keyboard_mapping) {
        record.keyboard_base_octave = octave;
        record.keyboard_mapping = mapping;
        for (QMdiSubWindow* child : frame_.mdi_area()->subWindowList())
            if (auto* keyboard = qobject_cast<KeyboardWindow*>(child->widget()))
                keyboard->relabel();
    }
}

} // namespace tunemill
