// The Playback page of the Options sheet: the output device, sampling rate, mono or stereo,
// 8 or 16 bit, interpolation and amplification, and the Advanced Playback Options (block length
// and blocks queued). Applied, the engine is reconfigured when anything changed: a new device
// or rate is heard from the next play on, a new amplification at once.
#pragma once

#include <QDialog>

#include "app/dialogs/options_page.h"
#include "settings/settings.h"

class QButtonGroup;
class QComboBox;
class QCheckBox;
class QLabel;
class QSlider;
class QSpinBox;

namespace tunemill {

class OutputThread;

class PlaybackPage : public OptionsPage {
    Q_OBJECT

  public:
    PlaybackPage(OutputThread* output, QWidget* parent = nullptr);
    void apply() override;
    int help_topic() const override;

    // The values as the page shows them now.
    PlaybackSettings values() const;
    // Opens the Advanced Playback Options over the page.
    void show_advanced();

  private:
    void show_amplification();

    OutputThread* output_;
    QComboBox* devices_ = nullptr;
    QComboBox* rates_ = nullptr;
    QButtonGroup* channels_ = nullptr;
    QButtonGroup* widths_ = nullptr;
    QCheckBox* interpolate_ = nullptr;
    QSlider* amplification_ = nullptr;
    QLabel* amplification_label_ = nullptr;
    // Edited by the advanced dialog, applied with the page.
    int32_t buffer_len_ = 20;
    int32_t buffers_ = 4;
};

// Block length (10..100 ms) and blocks queued (1..10), with the delay they give.
class AdvancedPlaybackDialog : public QDialog {
    Q_OBJECT

  public:
    AdvancedPlaybackDialog(int32_t buffer_len, int32_t buffers, QWidget* parent = nullptr);
    int32_t buffer_len() const;
    int32_t buffers() const;
    QSpinBox* block_length_box() const { return length_; }
    QSpinBox* blocks_box() const { return blocks_; }

  private:
    void show_latency();

    QSpinBox* length_ = nullptr;
    QSpinBox* blocks_ = nullptr;
    QLabel* latency_ = nullptr;
};

} // namespace tunemill
