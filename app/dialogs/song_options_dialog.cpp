// The Song Options dialog and what its OK does to the song.
#include "app/dialogs/song_options_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "app/common/commands.h"
#include "app/common/help.h"
#include "app/document/document.h"
#include "app/shell/main_window.h"
#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "song/editing.h"
#include "song/timing.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"
#include "strings/steps_strings.h"

namespace tunemill {

namespace {

constexpr int32_t MAX_GRID_VALUE = 30;

std::string description_bytes(const QString& text) {
    std::string bytes = utf8_to_windows1252(text.toStdString());
    // The song file keeps the description as text without zero bytes.
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    return bytes;
}

} // namespace

QString speed_text(int32_t overall_tempo) {
    return QStringLiteral("%1%").arg(overall_tempo_percent(overall_tempo));
}

int32_t grid_value(const QString& text, int32_t current) {
    bool number = false;
    const qulonglong value = text.trimmed().toULongLong(&number);
    if (!number || value == 0) return current;
    return int32_t(std::min<qulonglong>(value, MAX_GRID_VALUE));
}

SongOptionsDialog::SongOptionsDialog(Document& document, QWidget* parent)
    : QDialog(parent), document_(document) {
    setObjectName(QStringLiteral("SongOptionsDialog"));
    setWindowTitle(dialog_text(D_SONG_OPTIONS_TITLE));
    setProperty("helpTopic", int(HELP_SONG_OPTIONS));
    const Song& song = document_.song();
    starting_tempo_ = song.overall_tempo;

    auto* layout = new QVBoxLayout(this);
    auto* description_label = new QLabel(dialog_text(D_DESCRIPTION), this);
    description_ =
        new QLineEdit(QString::fromStdString(windows1252_to_utf8(song.description)), this);
    description_->setObjectName(QStringLiteral("Description"));
    description_->setMinimumWidth(description_->fontMetrics().horizontalAdvance(QLatin1Char('M')) *
                                  26);
    description_label->setBuddy(description_);
    layout->addWidget(description_label);
    layout->addWidget(description_);

    auto* grid = new QGroupBox(dialog_text(D_GRID), this);
    auto* grid_form = new QFormLayout(grid);
    auto grid_field = [this](int32_t value, const char* name) {
        auto* field = new QLineEdit(QString::number(value), this);
        field->setObjectName(QLatin1String(name));
        field->setMaxLength(5);
        field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00000")) +
                               16);
        return field;
    };
    ticks_ = grid_field(song.ticks_per_beat, "TicksPerBeat");
    beats_ = grid_field(song.beats_per_measure, "BeatsPerMeasure");
    grid_form->addRow(dialog_text(D_TICKS_PER_BEAT), ticks_);
    grid_form->addRow(dialog_text(D_BEATS_PER_MEASURE), beats_);
    layout->addWidget(grid);

    auto* tempo_box = new QGroupBox(dialog_text(D_OVERALL_TEMPO), this);
    auto* tempo_layout = new QVBoxLayout(tempo_box);
    tempo_ = new QSlider(Qt::Horizontal, this);
    tempo_->setObjectName(QStringLiteral("OverallTempo"));
    tempo_->setRange(0, MAX_OVERALL_TEMPO);
    tempo_->setTickPosition(QSlider::TicksBelow);
    tempo_->setTickInterval(10);
    tempo_->setPageStep(10);
    tempo_->setValue(MAX_OVERALL_TEMPO - starting_tempo_);
    speed_ = new QLabel(speed_text(starting_tempo_), this);
    speed_->setObjectName(QStringLiteral("Speed"));
    speed_->setAlignment(Qt::AlignCenter);
    QFont strong = speed_->font();
    strong.setBold(true);
    speed_->setFont(strong);
    auto* ends = new QHBoxLayout;
    ends->addWidget(new QLabel(dialog_text(D_SLOWER), this));
    ends->addStretch(1);
    ends->addWidget(speed_);
    ends->addStretch(1);
    ends->addWidget(new QLabel(dialog_text(D_FASTER), this));
    tempo_layout->addWidget(tempo_);
    tempo_layout->addLayout(ends);
    layout->addWidget(tempo_box);

    auto* length_row = new QHBoxLayout;
    length_row->addWidget(new QLabel(dialog_text(D_SONG_LENGTH), this));
    length_ = new QLabel(this);
    length_->setObjectName(QStringLiteral("SongLength"));
    length_row->addWidget(length_);
    length_row->addStretch(1);
    layout->addLayout(length_row);
    show_length();
    layout->addSpacing(6);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(dialog_text(D_OK), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(dialog_text(D_CANCEL), QDialogButtonBox::RejectRole);
    buttons->addButton(dialog_text(D_HELP), QDialogButtonBox::HelpRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [] { open_help(HELP_SONG_OPTIONS); });
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(tempo_, &QSlider::valueChanged, this, &SongOptionsDialog::tempo_moved);
}

void SongOptionsDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && !(event->modifiers() & ~Qt::KeypadModifier)) {
        open_help(HELP_SONG_OPTIONS);
        return;
    }
    QDialog::keyPressEvent(event);
}

void SongOptionsDialog::tempo_moved(int position) {
    const int32_t tempo = MAX_OVERALL_TEMPO - position;
    speed_->setText(speed_text(tempo));
    if (tempo != document_.song().overall_tempo) document_.try_overall_tempo(tempo);
    show_length();
}

void SongOptionsDialog::show_length() {
    const MinutesSeconds length = song_length_display(document_.song());
    length_->setText(
        QStringLiteral(" %1:%2").arg(length.minutes).arg(length.seconds, 2, 10, QLatin1Char('0')));
}

SongOptions SongOptionsDialog::chosen() const {
    const Song& song = document_.song();
    return {description_->text(), grid_value(ticks_->text(), song.ticks_per_beat),
            grid_value(beats_->text(), song.beats_per_measure),
            MAX_OVERALL_TEMPO - tempo_->value()};
}

void SongOptionsDialog::reject() {
    if (document_.song().overall_tempo != starting_tempo_)
        document_.try_overall_tempo(starting_tempo_);
    QDialog::reject();
}

void run_song_options(Document& document, MainWindow& frame) {
    SongOptionsDialog dialog(document, &frame);
    if (dialog.exec() != QDialog::Accepted) return;
    const SongOptions options = dialog.chosen();
    const Song& song = document.song();
    const bool new_grid = options.ticks_per_beat != song.ticks_per_beat ||
                          options.beats_per_measure != song.beats_per_measure;
    bool align = false;
    if (options.ticks_per_beat != song.ticks_per_beat) {
        QMessageBox question(QMessageBox::Question, QString::fromUtf8(PRODUCT_NAME),
                             composer_text(S_ALIGN_QUESTION), QMessageBox::Yes | QMessageBox::No,
                             &frame);
        question.setObjectName(QStringLiteral("AlignQuestion"));
        align = question.exec() == QMessageBox::Yes;
    }
    // The tried tempo goes back so that the step holds the change of tempo with the rest.
    if (song.overall_tempo != dialog.starting_tempo())
        document.try_overall_tempo(dialog.starting_tempo());
    bool aligned = true;
    Edit edit;
    edit.name = U_SONG_OPTIONS;
    edit.change.pattern = -1;
    const bool done = document.edit(edit, [&](EditContext& context) {
        Song& target = context.song();
        target.description = description_bytes(options.description);
        target.overall_tempo = options.overall_tempo;
        if (align) aligned = align_to_ticks_per_beat(target, options.ticks_per_beat);
        // A pattern that cannot move with the grid keeps the old grid.
        if (!aligned) return;
        target.ticks_per_beat = options.ticks_per_beat;
        target.beats_per_measure = options.beats_per_measure;
    });
    if (!done) return;
    if (!aligned)
        show_error(MISC_ERROR(S_CANT_ALIGN_PATTERN));
    else if (new_grid)
        frame.apply_pattern_settings();
}

} // namespace tunemill
