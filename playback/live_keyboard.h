// The live keyboard: turns PC key presses, MIDI notes and mouse presses into preview notes of the
// playback engine. The PC keyboard is laid out as a two-octave piano; every note of a looping
// instrument sounds for at least 500 ms. Free of the GUI: the owning window feeds it keys, its
// focus state and a 500 ms timer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace tunemill {

// What the keyboard plays on: the song's instruments and the engine's preview notes.
class LiveNoteSink {
  public:
    virtual ~LiveNoteSink() = default;
    virtual uint32_t instrument_count() = 0;
    virtual bool instrument_loops(uint32_t instrument) = 0;
    // The handle of the new note, 0 when it could not sound.
    virtual uint32_t start_preview_note(uint32_t instrument, uint32_t key, uint32_t volume,
                                        uint32_t balance, uint32_t length_ms) = 0;
    virtual void release_preview_note(uint32_t handle) = 0;
};

// Virtual key codes as the key handlers pass them: 'A'..'Z' and '0'..'9' as their ASCII codes,
// the comma key and the space bar.
constexpr uint32_t VK_SPACE_BAR = 0x20;
constexpr uint32_t VK_COMMA_KEY = 188;

// The piano layout: a character's position is its semitone above the base octave's C.
constexpr const char* LIVE_KEY_LAYOUT = "ZSXDCVGBHNJMQ2W3ER5T6Y7UI";
constexpr uint32_t LIVE_KEYS = 84;
constexpr uint32_t LIVE_PREVIEW_VOLUME = 31;
constexpr uint32_t LIVE_PREVIEW_BALANCE = 15;
constexpr uint32_t MINIMUM_LOOPED_MS = 500;

struct KeyState {
    bool shift = false;
    bool control = false;
    bool auto_repeat = false; // the key was already down (the key flags' previous state)
};

class LiveKeyboard {
  public:
    using Clock = std::function<uint32_t()>; // milliseconds, wrapping like a tick count

    // current_instrument reads the owning window's current-instrument variable.
    LiveKeyboard(LiveNoteSink& sink, std::function<uint32_t()> current_instrument,
                 Clock clock = {});
    ~LiveKeyboard(); // the held notes are released with the window

    LiveKeyboard(const LiveKeyboard&) = delete;
    LiveKeyboard& operator=(const LiveKeyboard&) = delete;

    // "KeyboardBaseOctave", 0..5.
    void set_base_octave(uint32_t octave) { base_octave_ = octave > 5 ? 3 : octave; }
    uint32_t base_octave() const { return base_octave_; }
    // Asked when the keyboard becomes active: whether the active layout is German.
    void set_layout_query(std::function<bool()> german) { german_query_ = std::move(german); }
    bool german_layout() const { return german_; }
    bool active() const { return active_; }

    // The song key of a virtual key, or -1 when it plays nothing (not in the layout, outside
    // the 84 keys); the comma is Q, the space bar -2.
    int32_t song_key(uint32_t virtual_key, const KeyState& state) const;

    // Returns whether the key belongs to the keyboard (else the window handles it). While the
    // keyboard is inactive its keys are swallowed and play nothing.
    bool key_down(uint32_t virtual_key, const KeyState& state);
    bool key_up(uint32_t virtual_key);
    // The parameter of a MIDI note message: key, with 0x100 for a note-off.
    void midi_note(uint32_t parameter);

    void start_key(uint32_t key);
    void release_key(uint32_t key);
    void release_all();
    // Releases every looped key that is up and has sounded for 500 ms.
    void timer_check();
    // From the window's 500 ms timer and its key handling: focused tells whether the window or
    // one of its children has the focus. Returns true when the keyboard became active in this
    // call (the window then makes itself the MIDI target when it takes MIDI notes).
    bool activate_check(bool focused);

    // For the keyboard window's drawing and for tests.
    bool key_held(uint32_t key) const { return key < LIVE_KEYS && keys_[key].down; }
    uint32_t preview_handle(uint32_t key) const { return key < LIVE_KEYS ? keys_[key].handle : 0; }

  private:
    struct KeyRecord {
        bool looped = false;
        uint32_t pressed = 0; // clock time of the press
        uint32_t handle = 0;  // 0: no preview note
        uint32_t virtual_key = 0;
        bool down = false;
    };
    uint32_t now() const;
    // Position in the layout after the German exchange and the comma rule; -1 not a key of
    // the layout, -2 the space bar.
    int32_t layout_position(uint32_t virtual_key) const;
    void release_record(KeyRecord& record);

    LiveNoteSink& sink_;
    std::function<uint32_t()> current_instrument_;
    Clock clock_;
    std::function<bool()> german_query_;
    bool german_ = false;
    bool active_ = false;
    uint32_t base_octave_ = 3;
    uint32_t instrument_ = 0xFFFFFFFF;
    std::array<KeyRecord, LIVE_KEYS> keys_{};
};

} // namespace tunemill
