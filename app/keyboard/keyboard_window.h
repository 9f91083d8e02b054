// The keyboard window ("TMKeyboardWindow"): the whole 84-key range as a piano with the
// instrument and octave lists in its toolbar. The chosen instrument plays from the mouse, the PC
// keys and the MIDI keyboard, and its sounding keys show grey, also while a song plays.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

#include "app/keyboard/piano_geometry.h"

class QComboBox;
class QTimer;
class QToolBar;

namespace tunemill {

class Document;
class LiveInput;
class MidiRouter;
class OutputThread;
class PianoView;
struct SongChange;

class KeyboardWindow : public QWidget {
    Q_OBJECT

  public:
    // The output may be null (no sound devices), the router too (no MIDI keyboard).
    KeyboardWindow(Document& document, OutputThread* output, MidiRouter* router,
                   QWidget* parent = nullptr);
    ~KeyboardWindow() override;

    // The index of the chosen instrument; meaningful while the song has instruments.
    uint32_t current_instrument() const { return current_; }
    bool has_instruments() const;
    // The base octave or the key mapping changed (Options): new octave list entry, new glyphs.
    void relabel();
    // Reads the sounding keys of the chosen instrument and redraws those that changed.
    void refresh_sounding();

    PianoView* piano() const { return piano_; }
    QComboBox* instrument_list() const { return instruments_; }
    QComboBox* octave_list() const { return octaves_; }
    LiveInput& live() const { return *live_; }

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void fill_instruments();
    void choose_instrument(int index);
    void choose_octave(int entry);
    void store_placement();

    Document& document_;
    OutputThread* output_;
    QToolBar* toolbar_ = nullptr;
    QComboBox* instruments_ = nullptr;
    QComboBox* octaves_ = nullptr;
    PianoView* piano_ = nullptr;
    LiveInput* live_ = nullptr;
    QTimer* sounding_timer_ = nullptr;
    uint32_t current_ = 0;
    uint32_t current_id_ = 0; // the chosen instrument's id: the choice follows it through changes
    bool placed_ = false;
};

} // namespace tunemill
