// The Options sheet's frame: its pages, the buttons, and applying.
#include "app/dialogs/options_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/common/commands.h"
#include "app/common/help.h"
#include "app/dialogs/environment_page.h"
#include "app/dialogs/midi_page.h"
#include "app/dialogs/options_page.h"
#include "app/dialogs/playback_page.h"
#include "app/shell/main_window.h"
#include "settings/settings.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

OptionsSheet::OptionsSheet(MainWindow& frame, OutputThread* output, MidiInput* midi)
    : QDialog(&frame) {
    setObjectName(QStringLiteral("OptionsSheet"));
    setWindowTitle(composer_text(S_OPTIONS));
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("OptionsPages"));
    page_list_ = {new PlaybackPage(output, tabs_), new EnvironmentPage(frame, tabs_),
                  new MidiPage(midi, tabs_)};
    const uint32_t titles[] = {D_PLAYBACK_PAGE, D_ENVIRONMENT_PAGE, D_MIDI_KEYBOARD_PAGE};
    for (size_t i = 0; i < page_list_.size(); ++i)
        tabs_->addTab(page_list_[i], dialog_text(titles[i]));

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                        QDialogButtonBox::Apply | QDialogButtonBox::Help,
                                    this);
    buttons_->button(QDialogButtonBox::Ok)->setText(dialog_text(D_OK));
    buttons_->button(QDialogButtonBox::Cancel)->setText(dialog_text(D_CANCEL));
    QPushButton* apply_button = buttons_->button(QDialogButtonBox::Apply);
    apply_button->setText(dialog_text(D_APPLY));
    apply_button->setObjectName(QStringLiteral("Apply"));
    apply_button->setEnabled(false);
    buttons_->button(QDialogButtonBox::Help)->setText(dialog_text(D_HELP));
    for (OptionsPage* page : page_list_)
        connect(page, &OptionsPage::edited, apply_button,
                [apply_button] { apply_button->setEnabled(true); });
    connect(apply_button, &QPushButton::clicked, this, [this, apply_button] {
        apply();
        apply_button->setEnabled(false);
    });
    connect(buttons_, &QDialogButtonBox::accepted, this, [this] {
        apply();
        accept();
    });
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons_, &QDialogButtonBox::helpRequested, this,
            [this] { open_help(static_cast<OptionsPage*>(tabs_->currentWidget())->help_topic()); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons_);
    tabs_->setCurrentIndex(0);
}

void OptionsSheet::apply() {
    for (OptionsPage* page : page_list_)
        page->apply();
}

void run_options_sheet(MainWindow& frame, OutputThread* output, MidiInput* midi) {
    OptionsSheet sheet(frame, output, midi);
    sheet.exec();
    // The frame writes the settings once the sheet has closed, whatever the button.
}

} // namespace tunemill
