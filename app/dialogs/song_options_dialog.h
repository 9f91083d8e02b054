// Song Options: the song's description, its grid (ticks per beat, beats per measure), its overall
// tempo and how long it plays. The tempo slider is heard at once while the dialog is open; Cancel
// puts the old tempo back. OK hands the values to run_song_options, which makes them one step.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class QLabel;
class QLineEdit;
class QSlider;

namespace tunemill {

class Document;
class MainWindow;

struct SongOptions {
    QString description;
    int32_t ticks_per_beat = 0;
    int32_t beats_per_measure = 0;
    int32_t overall_tempo = 0;
};

class SongOptionsDialog : public QDialog {
    Q_OBJECT

  public:
    SongOptionsDialog(Document& document, QWidget* parent);

    // The values as OK takes them: a grid field that is not a number, or 0, keeps the song's
    // value; each is at most 30.
    SongOptions chosen() const;
    // The tempo the dialog started with.
    int32_t starting_tempo() const { return starting_tempo_; }

    QLineEdit* description_field() const { return description_; }
    QLineEdit* ticks_field() const { return ticks_; }
    QLineEdit* beats_field() const { return beats_; }
    QSlider* tempo_slider() const { return tempo_; }
    QLabel* speed_label() const { return speed_; }
    QLabel* length_label() const { return length_; }

    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void tempo_moved(int position);
    void show_length();

    Document& document_;
    int32_t starting_tempo_ = 0;
    QLineEdit* description_ = nullptr;
    QLineEdit* ticks_ = nullptr;
    QLineEdit* beats_ = nullptr;
    QSlider* tempo_ = nullptr;
    QLabel* speed_ = nullptr;
    QLabel* length_ = nullptr;
};

// The speed label's text for an overall tempo value: "100%" for 40.
QString speed_text(int32_t overall_tempo);
// A grid field's value: the typed number limited to 30, or the current value when the text is
// not a number or is 0.
int32_t grid_value(const QString& text, int32_t current);

// View > Song Options: the dialog, then on OK its values as one step; a changed ticks per beat
// asks whether the notes move with the grid ("Can't align pattern" when they cannot), and every
// pattern window takes the new grid.
void run_song_options(Document& document, MainWindow& frame);

} // namespace tunemill
