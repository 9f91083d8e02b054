// The audio export dialogs. The worker thread renders with a private engine while the user
// interface sits in the progress box; progress travels as queued signals, so the worker never
// waits for the user interface, and its failure is shown by the user interface once it ended.
#include "app/dialogs/audio_export_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>
#include <thread>

#include "app/common/commands.h"
#include "app/common/error_box.h"
#include "app/common/file_dialogs.h"
#include "app/common/help.h"
#include "app/document/song_paths.h"
#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

namespace {

constexpr uint32_t RATE_CHOICES[] = {48000, 44100, 32000, 22050, 16000, 11025, 8000};

QString extension_of(AudioFileType type) {
    return QString::fromLatin1(audio_file_extension(type));
}

// The options go below the file list, across the dialog's whole width.
void add_below_file_list(QFileDialog& dialog, QWidget* options) {
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(options, grid->rowCount(), 0, 1, grid->columnCount());
    else
        dialog.layout()->addWidget(options);
}

// A radio button below the others of the group.
QRadioButton* add_choice(QGroupBox& group, uint32_t text, const char* name) {
    auto* button = new QRadioButton(dialog_text(text), &group);
    button->setObjectName(QLatin1String(name));
    group.layout()->addWidget(button);
    return button;
}

// The instrument export's choices, kept for the run apart from the song's.
InstrumentAudioFile& instrument_export_choice() {
    static InstrumentAudioFile choice;
    return choice;
}

} // namespace

AudioExportSettings& audio_export_options() {
    static AudioExportSettings options;
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

int vorbis_quality_step(double quality) {
    return int(std::clamp(std::lround(quality * 10), 0L, 10L));
}

double vorbis_quality_of_step(int step) {
    return std::clamp(step, 0, 10) / 10.0;
}

// The type list (AUDIO_EXPORT_FILTER) holds the types in the table's order, then all files.
std::optional<AudioFileType> audio_type_of_filter(int filter_index) {
    const auto types = audio_file_types();
    if (filter_index < 0 || size_t(filter_index) >= types.size()) return std::nullopt;
    return types[size_t(filter_index)].type;
}

int audio_filter_of_type(AudioFileType type) {
    const auto types = audio_file_types();
    const auto found =
        std::find_if(types.begin(), types.end(),
                     [type](const AudioFileTypeInfo& info) { return info.type == type; });
    return int(found - types.begin());
}

AudioTypeCoupling::AudioTypeCoupling(QFileDialog& dialog, AudioFileType start,
                                     std::function<void(AudioFileType)> changed)
    : QObject(&dialog), dialog_(dialog), type_(start), changed_(std::move(changed)) {
    const QStringList filters = dialog_.nameFilters();
    const int index = audio_filter_of_type(start);
    if (index < filters.size()) dialog_.selectNameFilter(filters[index]);
    dialog_.setDefaultSuffix(extension_of(start));
    if (auto* name = dialog_.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        connect(name, &QLineEdit::textEdited, this, &AudioTypeCoupling::name_edited);
}

void AudioTypeCoupling::filter_chosen(int filter_index) {
    if (const std::optional<AudioFileType> type = audio_type_of_filter(filter_index))
        set_type(*type);
    // The name carries the type's extension. (The dialog has already put the list entry's
    // pattern there, which for all files is "*".)
    auto* name = dialog_.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name) return;
    QString text = name->text();
    const QString suffix = QFileInfo(text).suffix();
    if (suffix.isEmpty() || suffix == extension_of(type_)) return;
    text.chop(suffix.size());
    name->setText(text + extension_of(type_));
}

void AudioTypeCoupling::name_edited(const QString& name) {
    AudioFileType typed = type_;
    if (!audio_file_type_of(from_qstring_path(name), typed) || typed == type_) return;
    set_type(typed);
    const QStringList filters = dialog_.nameFilters();
    const int index = audio_filter_of_type(typed);
    if (index >= filters.size()) return;
    // Choosing the list entry would put its pattern's extension on the name; the name stays as
    // typed (".OGA" too), with the cursor where it was.
    auto* field = qobject_cast<QLineEdit*>(sender());
    const int cursor = field ? field->cursorPosition() : 0;
    dialog_.selectNameFilter(filters[index]);
    if (field) {
        field->setText(name);
        field->setCursorPosition(cursor);
    }
}

void AudioTypeCoupling::set_type(AudioFileType type) {
    type_ = type;
    dialog_.setDefaultSuffix(extension_of(type));
    if (changed_) changed_(type);
}

AudioFileType AudioTypeCoupling::type_for(const QString& path) const {
    AudioFileType type = type_;
    return audio_file_type_of(from_qstring_path(path), type) ? type : type_;
}

VorbisQualityBox::VorbisQualityBox(double quality, QWidget* parent)
    : QGroupBox(dialog_text(D_OGG_VORBIS), parent) {
    setObjectName(QStringLiteral("vorbis"));
    quality_ = new QSpinBox(this);
    quality_->setObjectName(QStringLiteral("quality"));
    quality_->setRange(0, 10);
    quality_->setValue(vorbis_quality_step(quality));
    auto* label = new QLabel(dialog_text(D_QUALITY), this);
    label->setBuddy(quality_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(quality_);
    layout->addStretch();
}

double VorbisQualityBox::quality() const {
    return vorbis_quality_of_step(quality_->value());
}

AudioOptionsWidget::AudioOptionsWidget(const AudioExportSettings& start, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("AudioOptions"));
    resolution_ = new QGroupBox(dialog_text(D_OUTPUT_RESOLUTION), this);
    resolution_->setObjectName(QStringLiteral("resolution"));
    new QVBoxLayout(resolution_);
    bits_8_ = add_choice(*resolution_, D_BITS_8, "bits8");
    bits_16_ = add_choice(*resolution_, D_BITS_16, "bits16");

    auto* type = new QGroupBox(dialog_text(D_OUTPUT_TYPE), this);
    new QVBoxLayout(type);
    mono_ = add_choice(*type, D_MONO, "mono");
    stereo_ = add_choice(*type, D_STEREO, "stereo");

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

    quality_ = new VorbisQualityBox(start.vorbis_quality, this);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(resolution_);
    layout->addWidget(type);
    layout->addLayout(rate_box);
    layout->addWidget(quality_);
    layout->addStretch();

    (start.render.sixteen_bit ? bits_16_ : bits_8_)->setChecked(true);
    (start.render.stereo ? stereo_ : mono_)->setChecked(true);
    rate_->setEditText(QString::number(start.render.rate));
    oversample_->setChecked(start.render.interpolate);
    follow_type(start.type);
}

void AudioOptionsWidget::follow_type(AudioFileType type) {
    resolution_->setEnabled(!audio_file_type_info(type).lossy);
    quality_->follow_type(type);
}

AudioExportSettings AudioOptionsWidget::chosen(const AudioExportSettings& base,
                                               AudioFileType type) const {
    AudioExportSettings options = base;
    options.type = type;
    options.render.sixteen_bit = bits_16_->isChecked();
    options.render.stereo = stereo_->isChecked();
    options.render.interpolate = oversample_->isChecked();
    options.render.rate = typed_export_rate(rate_->currentText());
    options.vorbis_quality = quality_->quality();
    return options;
}

std::optional<QString> ask_audio_export_file(QWidget* owner, const QString& proposed_name) {
    const AudioFileType kept = audio_export_options().type;
    AudioOptionsWidget* options = nullptr;
    AudioTypeCoupling* coupling = nullptr;
    FileDialogRequest request;
    request.title = composer_text(S_EXPORT_AUDIO);
    request.filter_id = S_AUDIO_EXPORT_FILTER;
    if (!proposed_name.isEmpty()) request.name = proposed_name + '.' + extension_of(kept);
    request.default_suffix = extension_of(kept);
    request.save = true;
    request.help_topic = HELP_AUDIO_EXPORT_DIALOG;
    request.extend = [&](QFileDialog& dialog) {
        options = new AudioOptionsWidget(audio_export_options(), &dialog);
        add_below_file_list(dialog, options);
        coupling = new AudioTypeCoupling(dialog, kept, [&options](AudioFileType type) {
            if (options) options->follow_type(type);
        });
    };
    request.type_changed = [&coupling](QFileDialog&, int index) {
        if (coupling) coupling->filter_chosen(index);
    };
    // The options are kept for the run once the name is confirmed.
    request.accepted = [&](QFileDialog& dialog) {
        if (options && coupling)
            audio_export_options() = options->chosen(
                audio_export_options(), coupling->type_for(dialog.selectedFiles().value(0)));
    };
    const auto choice = run_file_dialog(owner, request);
    if (!choice) return std::nullopt;
    return choice->path;
}

std::optional<InstrumentAudioFile> ask_instrument_audio_file(QWidget* owner, const QString& folder,
                                                             const QString& proposed_name) {
    InstrumentAudioFile& kept = instrument_export_choice();
    VorbisQualityBox* quality = nullptr;
    AudioTypeCoupling* coupling = nullptr;
    FileDialogRequest request;
    request.title = dialog_text(D_EXPORT_INSTRUMENT_AUDIO);
    request.filter_id = S_AUDIO_EXPORT_FILTER;
    request.folder = folder;
    request.name = proposed_name + '.' + extension_of(kept.type);
    request.default_suffix = extension_of(kept.type);
    request.save = true;
    request.help_topic = HELP_AUDIO_EXPORT_DIALOG;
    request.extend = [&](QFileDialog& dialog) {
        quality = new VorbisQualityBox(kept.vorbis_quality, &dialog);
        quality->follow_type(kept.type);
        auto* row = new QWidget(&dialog);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(quality);
        layout->addStretch();
        add_below_file_list(dialog, row);
        coupling = new AudioTypeCoupling(dialog, kept.type, [&quality](AudioFileType type) {
            if (quality) quality->follow_type(type);
        });
    };
    request.type_changed = [&coupling](QFileDialog&, int index) {
        if (coupling) coupling->filter_chosen(index);
    };
    request.accepted = [&](QFileDialog& dialog) {
        if (!quality || !coupling) return;
        kept.type = coupling->type_for(dialog.selectedFiles().value(0));
        kept.vorbis_quality = quality->quality();
    };
    const auto choice = run_file_dialog(owner, request);
    if (!choice) return std::nullopt;
    InstrumentAudioFile file = kept;
    file.path = choice->path;
    return file;
}

AudioExportProgress::AudioExportProgress(Song& song, std::string path, AudioExportSettings options,
                                         QWidget* owner)
    : QDialog(owner), song_(song), path_(std::move(path)), options_(options) {
    setObjectName(QStringLiteral("ExportingAudio"));
    setWindowTitle(dialog_text(D_EXPORTING_AUDIO));
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
    connect(cancel, &QPushButton::clicked, this, &AudioExportProgress::cancel_export);
    connect(this, &AudioExportProgress::progress, this, &AudioExportProgress::on_progress,
            Qt::QueuedConnection);
    connect(this, &AudioExportProgress::worker_done, this, &QDialog::accept, Qt::QueuedConnection);
}

AudioExportProgress::~AudioExportProgress() = default;

void AudioExportProgress::cancel_export() {
    cancel_ = true;
    reject();
}

void AudioExportProgress::on_progress(int current, int maximum) {
    if (maximum != last_maximum_) {
        bar_->setRange(0, maximum);
        last_maximum_ = maximum;
    }
    bar_->setValue(current);
}

void AudioExportProgress::run() {
    cancel_ = false;
    last_maximum_ = -1;
    std::exception_ptr failure;
    bool complete = false;
    std::thread worker;
    try {
        worker = std::thread([this, &failure, &complete] {
            try {
                complete = export_song_audio(song_, path_, options_,
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

bool run_audio_export(QWidget* owner, Song& song, const std::string& path,
                      const AudioExportSettings& options) {
    AudioExportProgress box(song, path, options, owner);
    box.run();
    return box.finished_complete();
}

} // namespace tunemill
