// Export Audio: the save dialog with the file types WAV, FLAC and Ogg Vorbis in its type list and
// the rendering options below the file list, and the "Exporting Audio" progress box with Cancel
// while a worker thread renders the song. The instruments window exports a sample through the
// same type list.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "playback/audio_export.h"

class QComboBox;
class QFileDialog;
class QProgressBar;
class QRadioButton;
class QCheckBox;
class QSpinBox;

namespace tunemill {

struct Song;

// The song export options kept for the run (WAV, 16-bit, stereo, oversampling on, 44100 Hz and
// the Ogg Vorbis quality of about 160 kbit/s at first).
AudioExportSettings& audio_export_options();

// A typed rate as the options keep it: a number limited to 4000..65535; anything that is not a
// number counts as 0 and becomes 4000.
uint32_t typed_export_rate(const QString& text);

// The Ogg Vorbis quality as the dialog shows it (0..10) and as the encoder takes it (0..1).
int vorbis_quality_step(double quality);
double vorbis_quality_of_step(int step);

// The file types in the order of the dialog's type list; its last entry (all files) is none.
std::optional<AudioFileType> audio_type_of_filter(int filter_index);
int audio_filter_of_type(AudioFileType type);

// Keeps a save dialog's file type and its file name in step: choosing a type in the type list
// puts the type's extension on the name, and typing a name with a known extension chooses its
// type. Reports every change of the type.
class AudioTypeCoupling : public QObject {
  public:
    AudioTypeCoupling(QFileDialog& dialog, AudioFileType start,
                      std::function<void(AudioFileType)> changed);
    // Called with the index of the type the user picked in the type list.
    void filter_chosen(int filter_index);
    AudioFileType type() const { return type_; }
    // The type of the confirmed file: the one its extension names, else the chosen one.
    AudioFileType type_for(const QString& path) const;

  private:
    void name_edited(const QString& name);
    void set_type(AudioFileType type);

    QFileDialog& dialog_;
    AudioFileType type_;
    std::function<void(AudioFileType)> changed_;
};

// The quality box of the lossy types; enabled only while one of them is the chosen type.
class VorbisQualityBox : public QGroupBox {
  public:
    VorbisQualityBox(double quality, QWidget* parent);
    double quality() const;
    void follow_type(AudioFileType type) { setEnabled(audio_file_type_info(type).lossy); }

  private:
    QSpinBox* quality_;
};

// The options area below the file list of the save dialog.
class AudioOptionsWidget : public QWidget {
  public:
    explicit AudioOptionsWidget(const AudioExportSettings& start, QWidget* parent = nullptr);
    // Ogg Vorbis has no sample resolution, and only Ogg Vorbis a quality.
    void follow_type(AudioFileType type);
    // The options as the controls show them, the rate limited, for a file of the type.
    AudioExportSettings chosen(const AudioExportSettings& base, AudioFileType type) const;

  private:
    QGroupBox* resolution_;
    QRadioButton* bits_8_;
    QRadioButton* bits_16_;
    QRadioButton* mono_;
    QRadioButton* stereo_;
    QComboBox* rate_;
    QCheckBox* oversample_;
    VorbisQualityBox* quality_;
};

// The save dialog; on OK the options (with the type) are kept for the run and the chosen path
// returned. proposed_name carries no extension: the kept type's is added.
std::optional<QString> ask_audio_export_file(QWidget* owner, const QString& proposed_name);

// The instrument's save dialog: the file name, type and (for Ogg Vorbis) quality chosen.
struct InstrumentAudioFile {
    QString path;
    AudioFileType type = AudioFileType::WAV;
    double vorbis_quality = DEFAULT_VORBIS_QUALITY;
};
std::optional<InstrumentAudioFile> ask_instrument_audio_file(QWidget* owner, const QString& folder,
                                                             const QString& proposed_name);

// The progress box: starts the worker when shown, ends when it is done or on Cancel.
class AudioExportProgress : public QDialog {
    Q_OBJECT

  public:
    AudioExportProgress(Song& song, std::string path, AudioExportSettings options, QWidget* owner);
    ~AudioExportProgress() override;

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
    AudioExportSettings options_;
    QProgressBar* bar_;
    std::atomic<bool> cancel_{false};
    int last_maximum_ = -1;
    bool complete_ = false;
};

// The export with its progress box; returns whether a complete file was written.
bool run_audio_export(QWidget* owner, Song& song, const std::string& path,
                      const AudioExportSettings& options);

} // namespace tunemill
