// The PC keyboard as a piano: which of the piano's keys (the letters, digits, comma and space bar
// of the live keyboard's layout) a key event stands for. By default a key counts by its physical
// position (the scan code the hardware reports), so the piano lies the same under every layout;
// "by letter" goes by the character printed on the key, as the letter layout always did.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

class QKeyEvent;

namespace tunemill {

enum class KeyMapping : int32_t { BY_POSITION = 0, BY_LETTER = 1 };

// The mapping chosen on the Environment page.
KeyMapping key_mapping();

// The hardware's codes of the piano's keys: the scan codes of a PC keyboard (set 1, the codes
// Windows reports, equal to the Linux input codes for these keys), or X11's key codes (the input
// code + 8, as xcb and Wayland report them).
enum class ScanCodes { PC_SET_1, X11 };
ScanCodes platform_scan_codes();

// The live keyboard's virtual key ('Z', '2', VK_COMMA_KEY, VK_SPACE_BAR, ...) of the key at a
// physical position, named by its scan code; 0 when the key is not part of the piano.
uint32_t piano_key_at_position(uint32_t scan_code, ScanCodes codes);
// The same by the key's letter (a Qt::Key); 0 when not part of the piano.
uint32_t piano_key_of_letter(int qt_key);

// The virtual key of a key event under the mapping; 0 when the key is not part of the piano.
// Without a scan code (synthesized events) the letter decides.
uint32_t piano_key_of_event(const QKeyEvent& event, KeyMapping mapping);

// Whether the live keyboard should exchange Y and Z: only when going by letter on a German
// layout (by position the key next to T is that key whatever it is labelled).
bool piano_swaps_y_and_z(KeyMapping mapping);
bool german_layout_active();

// The ranges the PC piano spans for each base octave, as the octave lists show them: the
// highest base octave (5) first, the lowest (0) last.
QStringList base_octave_ranges();
// The list entry of a base octave and back.
inline int octave_range_entry(int base_octave) {
    return 5 - base_octave;
}
inline int base_octave_of_entry(int entry) {
    return 5 - entry;
}

// The characters printed on the piano's 25 keys (the layout string's order) on the keyboard in
// use, as far as the program knows them: the layout of the input language (English, German,
// French), corrected by every key the user has pressed at a position.
class PianoKeyLabels {
  public:
    static PianoKeyLabels& instance();
    // The glyph of the layout position 0..24 (the semitone above the base octave's C).
    QString label(uint32_t position, KeyMapping mapping) const;
    // Learns the character of a pressed key at its position. Returns whether a label changed.
    bool learn(const QKeyEvent& event);
    // Forgets what was learned (a new layout).
    void reset() { learned_.fill(QString()); }

  private:
    std::array<QString, 25> learned_;
};

} // namespace tunemill
