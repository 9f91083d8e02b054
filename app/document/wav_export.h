// Export to WAV: the save dialog extended by the WAV options (resolution, output type, sampling
// rate, oversampling), and the "Exporting WAV" progress box with Cancel while a worker thread
// renders the song.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <optional>
#include <string>

#include "playback/wav.h"

class QComboBox;
class QFileDialog;
class QProgressBar;
class QRadioButton;
class QCheckBox;

namespace tunemill {

struct Song;

// The WAV options kept for the run (16-bit, stereo, oversampling on, 44100 Hz at first).
WavExportSettings& wav_export_options();

// A typed rate as the options keep it: a number limited to 4000..65535; anything that is not a
// number counts as 0 and becomes 4000.
uint32_t typed_export_rate(const QString& text);

// The options area below the file list of the save dialog.
class WavOptionsWidget : public QWidget {
  public:
    explicit WavOptionsWidget(const WavExportSettings& start, QWidget* parent = nullptr);
    // The options as the controls show them, the rate limited.
    WavExportSettings chosen(const WavExportSettings& base) const;

  private:
    QRadioButton* bits_8_;
    QRadioButton* bits_16_;
    QRadioButton* mono_;
    QRadioButton* stereo_;
    QComboBox* rate_;
    QCheckBox* oversample_;
};

// The save dialog; on OK the options are stored for the run and the chosen path returned.
std::optional<QString> ask_wav_export_file(QWidget* owner, const QString& proposed_name);

// The progress box: starts the worker when shown, ends when it is done or on Cancel.
class WavExportProgress : public QDialog {
    Q_OBJECT

  public:
    WavExportProgress(Song& song, std::string path, WavExportSettings options, QWidget* owner);
    ~WavExportProgress() override;

    // Runs the box modally; returns once the worker thread has ended. Shows a failure.
    void run();
    bool finished_complete() const { return complete_; }

  signals:
    void progress(int current, int maximum);
    void worker_done();

  private:
    void on_progress(int current, int maximum);
    void cancel_export();

    Song& song_;
    std::string path_;
    WavExportSettings options_;
    QProgressBar* bar_;
    std::atomic<bool> cancel_{false};
    int last_maximum_ = -1;
    bool complete_ = false;
};

// The export with its progress box; returns whether a complete file was written.
bool run_wav_export(QWidget* owner, Song& song, const std::string& path,
                    const WavExportSettings& options);

} // namespace tunemill
