// The WAV export dialogs. The worker thread renders with a private engine while the user
// interface sits in the progress box; progress travels as queued signals, so the worker never
// waits for the user interface, and its failure is shown by the user interface once it ended.
#include "app/document/wav_export.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <thread>

#include "app/common/error_box.h"
#include "app/common/file_dialogs.h"
#include "app/common/help.h"
#include "app/shell/commands.h"
#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

namespace {

constexpr uint32_t RATE_CHOICES[] = {48000, 44100, 32000, 22050, 16000, 11025, 8000};

} // namespace

WavExportSettings& wav_export_options() {
    static WavExportSettings options;
    return options;
}

uint32_t typed_export_rate(const QString& text) {
    const QString typed = text.trimmed();
    bool number = false;
    const qulonglong value = typed.toULongLong(&number);
    if (number) return limit_export_rate(value);
    // A run of digits too long for any counter is a very large rate, not "no number".
    const bool digits = !typed.isEmpty() && std::all_of(typed.begin(), typed.end(),
                                                        [](QChar c) { return c.isDigit(); });
    return limit_export_rate(digits ? UINT64_MAX : 0);
}

WavOptionsWidget::WavOptionsWidget(const WavExportSettings& start, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("WavOptions"));
    auto* resolution = new QGroupBox(dialog_text(D_OUTPUT_RESOLUTION), this);
    bits_8_ = new QRadioButton(dialog_text(D_BITS_8), resolution);
    bits_16_ = new QRadioButton(dialog_text(D_BITS_16), resolution);
    bits_8_->setObjectName(QStringLiteral("bits8"));
    bits_16_->setObjectName(QStringLiteral("bits16"));
    auto* resolution_layout = new QVBoxLayout(resolution);
    resolution_layout->addWidget(bits_8_);
    resolution_layout->addWidget(bits_16_);

    auto* type = new QGroupBox(dialog_text(D_OUTPUT_TYPE), this);
    mono_ = new QRadioButton(dialog_text(D_MONO), type);
    stereo_ = new QRadioButton(dialog_text(D_STEREO), type);
    mono_->setObjectName(QStringLiteral("mono"));
    stereo_->setObjectName(QStringLiteral("stereo"));
    auto* type_layout = new QVBoxLayout(type);
    type_layout->addWidget(mono_);
    type_layout->addWidget(stereo_);

    rate_ = new QComboBox(this);
    rate_->setObjectName(QStringLiteral("rate"));
    rate_->setEditable(true);
    rate_->setInsertPolicy(QComboBox::NoInsert);
    for (uint32_t rate : RATE_CHOICES)
        rate_->addItem(QString::number(rate));
    auto* rate_label = new QLabel(dialog_text(D_SAMPLING_RATE), this);
    rate_label->setBuddy(rate_);
    oversample_ = new QCheckBox(dialog_text(D_OVERSAMPLE), this);
    oversample_->setObjectName(QStringLiteral("oversample"));

    auto* rate_box = new QVBoxLayout;
    rate_box->addWidget(rate_label);
    rate_box->addWidget(rate_);
    rate_box->addWidget(oversample_);
    rate_box->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(resolution);
    layout->addWidget(type);
    layout->addLayout(rate_box);
    layout->addStretch();

    (start.sixteen_bit ? bits_16_ : bits_8_)->setChecked(true);
    (start.stereo ? stereo_ : mono_)->setChecked(true);
    rate_->setEditText(QString::number(start.rate));
    oversample_->setChecked(start.interpolate);
}

WavExportSettings WavOptionsWidget::chosen(const WavExportSettings& base) const {
    WavExportSettings options = base;
    options.sixteen_bit = bits_16_->isChecked();
    options.stereo = stereo_->isChecked();
    options.interpolate = oversample_->isChecked();
    options.rate = typed_export_rate(rate_->currentText());
    return options;
}

std::optional<QString> ask_wav_export_file(QWidget* owner, const QString& proposed_name) {
    WavOptionsWidget* options = nullptr;
    FileDialogRequest request;
    request.title = composer_text(S_EXPORT_TO_WAV);
    request.filter_id = S_SONG_WAV_FILTER;
    request.name = proposed_name;
    request.default_suffix = QStringLiteral("wav");
    request.save = true;
    request.help_topic = HELP_WAV_DIALOG;
    request.extend = [&options](QFileDialog& dialog) {
        options = new WavOptionsWidget(wav_export_options(), &dialog);
        // The options go below the file list, across the dialog's whole width.
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(options, grid->rowCount(), 0, 1, grid->columnCount());
        else
            dialog.layout()->addWidget(options);
    };
    // The options are kept for the run once the name is confirmed.
    request.accepted = [&options](QFileDialog&) {
        if (options) wav_export_options() = options->chosen(wav_export_options());
    };
    const auto choice = run_file_dialog(owner, request);
    if (!choice) return std::nullopt;
    return choice->path;
}

WavExportProgress::WavExportProgress(Song& song, std::string path, WavExportSettings options,
                                     QWidget* owner)
    : QDialog(owner), song_(song), path_(std::move(path)), options_(options) {
    setObjectName(QStringLiteral("ExportingWav"));
    setWindowTitle(dialog_text(D_EXPORTING_WAV));
    setModal(true);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("progress"));
    bar_->setRange(0, 0);
    bar_->setTextVisible(false);
    bar_->setMinimumWidth(320);
    auto* cancel = new QPushButton(dialog_text(D_CANCEL), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &WavExportProgress::cancel_export);
    connect(this, &WavExportProgress::progress, this, &WavExportProgress::on_progress,
            Qt::QueuedConnection);
    connect(this, &WavExportProgress::worker_done, this, &QDialog::accept, Qt::QueuedConnection);
}

WavExportProgress::~WavExportProgress() = default;

void WavExportProgress::cancel_export() {
    cancel_ = true;
    reject();
}

void WavExportProgress::on_progress(int current, int maximum) {
    if (maximum != last_maximum_) {
        bar_->setRange(0, maximum);
        last_maximum_ = maximum;
    }
    bar_->setValue(current);
}

void WavExportProgress::run() {
    cancel_ = false;
    last_maximum_ = -1;
    std::exception_ptr failure;
    bool complete = false;
    std::thread worker;
    try {
        worker = std::thread([this, &failure, &complete] {
            try {
                complete = export_song_to_wav(song_, path_, options_,
                                              [this](uint32_t current, uint32_t maximum) {
                                                  emit progress(int(current), int(maximum));
                                                  return !cancel_.load();
                                              });
            } catch (...) {
                failure = std::current_exception();
            }
            emit worker_done();
        });
    } catch (const std::system_error&) {
        show_error(MISC_ERROR(S_FAILED_TO_CREATE_THREAD));
        return;
    }
    if (parentWidget()) {
        adjustSize();
        move(parentWidget()->window()->geometry().center() - rect().center());
    }
    exec();
    // Cancel ends the box at once; the worker sees the flag before its next block.
    cancel_ = true;
    worker.join();
    complete_ = complete && !failure;
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (...) {
            show_current_error();
        }
    }
}

bool run_wav_export(QWidget* owner, Song& song, const std::string& path,
                    const WavExportSettings& options) {
    WavExportProgress box(song, path, options, owner);
    box.run();
    return box.finished_complete();
}

} // namespace tunemill
