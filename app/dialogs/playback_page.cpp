// The Playback page and the Advanced Playback Options.
#include "app/dialogs/playback_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "app/common/commands.h"
#include "app/common/help.h"
#include "platform/audio_device.h"
#include "playback/output_thread.h"
#include "playback/playback_settings.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

namespace {

constexpr int AMPLIFICATION_MAX = 90;

// The amplification as the user reads it: (A + 10) x 5 per cent, 50 % to 500 %.
QString amplification_text(int value) {
    return QString::asprintf("%d%%", (value + 10) * 5);
}

QRadioButton* radio(const QString& text, const char* name, QButtonGroup* group, int id,
                    QWidget* parent) {
    auto* button = new QRadioButton(text, parent);
    button->setObjectName(QLatin1String(name));
    group->addButton(button, id);
    return button;
}

} // namespace

PlaybackPage::PlaybackPage(OutputThread* output, QWidget* parent)
    : OptionsPage(parent), output_(output) {
    setObjectName(QStringLiteral("PlaybackPage"));
    const PlaybackSettings& stored = settings().playback;
    buffer_len_ = stored.buffer_len;
    buffers_ = stored.buffers;

    devices_ = new QComboBox(this);
    devices_->setObjectName(QStringLiteral("OutputDevice"));
    const std::vector<OutputDeviceInfo> none;
    const std::vector<OutputDeviceInfo>& list = output ? output->device_list() : none;
    for (const OutputDeviceInfo& device : list) {
        devices_->addItem(QString::fromStdString(device.name),
                          QVariant::fromValue(int32_t(device.id)));
    }
    if (list.empty()) {
        devices_->addItem(composer_text(S_NO_DEVICE_AVAILABLE),
                          QVariant::fromValue(stored.device_id));
        devices_->setEnabled(false);
    }
    const int stored_device = devices_->findData(QVariant::fromValue(stored.device_id));
    devices_->setCurrentIndex(stored_device >= 0 ? stored_device : 0);

    rates_ = new QComboBox(this);
    rates_->setObjectName(QStringLiteral("SamplingRate"));
    for (uint32_t rate : OUTPUT_RATES)
        rates_->addItem(QString::number(rate), int(rate));
    const int stored_rate = rates_->findData(stored.sampling_rate);
    rates_->setCurrentIndex(stored_rate >= 0 ? stored_rate : rates_->findData(44100));

    auto* channels_box = new QGroupBox(dialog_text(D_OUTPUT_TYPE), this);
    channels_ = new QButtonGroup(this);
    auto* channels_layout = new QHBoxLayout(channels_box);
    channels_layout->addWidget(radio(dialog_text(D_MONO), "Mono", channels_, 0, channels_box));
    channels_layout->addWidget(radio(dialog_text(D_STEREO), "Stereo", channels_, 1, channels_box));
    channels_->button(stored.stereo ? 1 : 0)->setChecked(true);

    auto* widths_box = new QGroupBox(dialog_text(D_OUTPUT_RESOLUTION), this);
    widths_ = new QButtonGroup(this);
    auto* widths_layout = new QHBoxLayout(widths_box);
    widths_layout->addWidget(radio(dialog_text(D_BITS_8), "Bits8", widths_, 0, widths_box));
    widths_layout->addWidget(radio(dialog_text(D_BITS_16), "Bits16", widths_, 1, widths_box));
    widths_->button(stored.out_16bit ? 1 : 0)->setChecked(true);

    interpolate_ = new QCheckBox(dialog_text(D_INTERPOLATION), this);
    interpolate_->setObjectName(QStringLiteral("Interpolation"));
    interpolate_->setChecked(stored.oversample != 0);

    amplification_ = new QSlider(Qt::Horizontal, this);
    amplification_->setObjectName(QStringLiteral("Amplification"));
    amplification_->setRange(0, AMPLIFICATION_MAX);
    amplification_->setSingleStep(1);
    amplification_->setPageStep(10);
    amplification_->setTickPosition(QSlider::TicksBelow);
    amplification_->setTickInterval(10);
    amplification_->setValue(std::clamp(stored.amplification, 0, AMPLIFICATION_MAX));
    amplification_label_ = new QLabel(this);
    amplification_label_->setObjectName(QStringLiteral("AmplificationValue"));
    amplification_label_->setMinimumWidth(
        amplification_label_->fontMetrics().horizontalAdvance(QStringLiteral("500%")) + 8);
    show_amplification();
    auto* amplification_row = new QHBoxLayout;
    amplification_row->addWidget(amplification_, 1);
    amplification_row->addWidget(amplification_label_);

    auto* advanced = new QPushButton(dialog_text(D_ADVANCED_BUTTON), this);
    advanced->setObjectName(QStringLiteral("Advanced"));

    auto* form = new QFormLayout;
    form->addRow(dialog_text(D_OUTPUT_DEVICE), devices_);
    form->addRow(dialog_text(D_SAMPLING_RATE), rates_);
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(channels_box);
    boxes->addWidget(widths_box);
    form->addRow(boxes);
    form->addRow(interpolate_);
    // A row of several widgets: the label names the slider for its mnemonic.
    auto* amplification_name = new QLabel(dialog_text(D_AMPLIFICATION), this);
    amplification_name->setBuddy(amplification_);
    form->addRow(amplification_name, amplification_row);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(advanced);
    layout->addLayout(bottom);

    connect(devices_, &QComboBox::currentIndexChanged, this, &OptionsPage::edited);
    connect(rates_, &QComboBox::currentIndexChanged, this, &OptionsPage::edited);
    connect(channels_, &QButtonGroup::idClicked, this, &OptionsPage::edited);
    connect(widths_, &QButtonGroup::idClicked, this, &OptionsPage::edited);
    connect(interpolate_, &QCheckBox::toggled, this, &OptionsPage::edited);
    connect(amplification_, &QSlider::valueChanged, this, [this] {
        show_amplification();
        emit edited();
    });
    connect(advanced, &QPushButton::clicked, this, &PlaybackPage::show_advanced);
}

int PlaybackPage::help_topic() const {
    return HELP_PLAYBACK_OPTIONS;
}

void PlaybackPage::show_amplification() {
    amplification_label_->setText(amplification_text(amplification_->value()));
}

PlaybackSettings PlaybackPage::values() const {
    PlaybackSettings values = settings().playback;
    values.device_id = devices_->currentData().toInt();
    values.sampling_rate = rates_->currentData().toInt();
    values.stereo = channels_->checkedId() == 1 ? 1 : 0;
    values.out_16bit = widths_->checkedId() == 1 ? 1 : 0;
    values.oversample = interpolate_->isChecked() ? 1 : 0;
    values.amplification = amplification_->value();
    values.buffer_len = buffer_len_;
    values.buffers = buffers_;
    return values;
}

void PlaybackPage::show_advanced() {
    AdvancedPlaybackDialog dialog(buffer_len_, buffers_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (dialog.buffer_len() == buffer_len_ && dialog.buffers() == buffers_) return;
    buffer_len_ = dialog.buffer_len();
    buffers_ = dialog.buffers();
    emit edited();
}

void PlaybackPage::apply() {
    const PlaybackSettings chosen = values();
    if (chosen == settings().playback) return;
    settings().playback = chosen;
    // The output thread lets what is queued play out and reopens the device when it was playing.
    if (output_) output_->configure(playback_config(chosen));
}

AdvancedPlaybackDialog::AdvancedPlaybackDialog(int32_t buffer_len, int32_t buffers, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("AdvancedPlayback"));
    setWindowTitle(dialog_text(D_ADVANCED_PLAYBACK));
    length_ = new QSpinBox(this);
    length_->setObjectName(QStringLiteral("BlockLength"));
    length_->setRange(10, 100);
    length_->setSuffix(dialog_text(D_MS).arg(QString()));
    length_->setValue(std::clamp(buffer_len, 10, 100));
    blocks_ = new QSpinBox(this);
    blocks_->setObjectName(QStringLiteral("BlocksQueued"));
    blocks_->setRange(1, 10);
    blocks_->setValue(std::clamp(buffers, 1, 10));
    latency_ = new QLabel(this);
    latency_->setObjectName(QStringLiteral("Latency"));
    latency_->setWordWrap(true);
    show_latency();

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    buttons->button(QDialogButtonBox::Ok)->setText(dialog_text(D_OK));
    buttons->button(QDialogButtonBox::Cancel)->setText(dialog_text(D_CANCEL));
    buttons->button(QDialogButtonBox::Help)->setText(dialog_text(D_HELP));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [] { open_help(HELP_ADVANCED_PLAYBACK); });
    connect(length_, &QSpinBox::valueChanged, this, &AdvancedPlaybackDialog::show_latency);
    connect(blocks_, &QSpinBox::valueChanged, this, &AdvancedPlaybackDialog::show_latency);

    auto* form = new QFormLayout;
    form->addRow(dialog_text(D_BLOCK_LENGTH), length_);
    form->addRow(dialog_text(D_BLOCKS_QUEUED), blocks_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(latency_);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

int32_t AdvancedPlaybackDialog::buffer_len() const {
    return length_->value();
}
int32_t AdvancedPlaybackDialog::buffers() const {
    return blocks_->value();
}

void AdvancedPlaybackDialog::show_latency() {
    // Live notes wait behind the blocks queued; a song keeps three times as many.
    const int live = length_->value() * blocks_->value();
    latency_->setText(dialog_text(D_LATENCY).arg(live).arg(3 * live));
}

} // namespace tunemill
