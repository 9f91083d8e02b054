// The live keyboard's rules: the piano layout of the PC keys, starting and releasing preview
// notes, the 500 ms minimum of looping instruments and the activation by focus.
#include "playback/live_keyboard.h"

#include <chrono>
#include <cstring>

namespace tunemill {

LiveKeyboard::LiveKeyboard(LiveNoteSink& sink, std::function<uint32_t()> current_instrument,
                           Clock clock)
    : sink_(sink), current_instrument_(std::move(current_instrument)), clock_(std::move(clock)) {}

LiveKeyboard::~LiveKeyboard() {
    release_all();
}

uint32_t LiveKeyboard::now() const {
    if (clock_) return clock_();
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

int32_t LiveKeyboard::layout_position(uint32_t virtual_key) const {
    if (virtual_key >= 256) return -1;
    if (virtual_key == VK_SPACE_BAR) return -2;
    if (virtual_key == VK_COMMA_KEY) virtual_key = 'Q';
    // On a German layout the keys labelled Y and Z trade places, so the same physical key
    // plays the same note on either layout.
    if (german_ && virtual_key == 'Y')
        virtual_key = 'Z';
    else if (german_ && virtual_key == 'Z')
        virtual_key = 'Y';
    if (virtual_key == 0) return -1;
    const char* found = std::strchr(LIVE_KEY_LAYOUT, int(virtual_key));
    return found ? int32_t(found - LIVE_KEY_LAYOUT) : -1;
}

int32_t LiveKeyboard::song_key(uint32_t virtual_key, const KeyState& state) const {
    const int32_t position = layout_position(virtual_key);
    if (position < 0) return position;
    int32_t key = position + 12 * int32_t(base_octave_);
    if (state.shift) key += 12;
    if (state.control) key -= 12;
    return key >= 0 && key < int32_t(LIVE_KEYS) ? key : -1;
}

bool LiveKeyboard::key_down(uint32_t virtual_key, const KeyState& state) {
    const int32_t position = layout_position(virtual_key);
    if (position == -1) return false;
    if (!active_) return true;
    if (position == -2) {
        release_all();
        return true;
    }
    const int32_t key = song_key(virtual_key, state);
    if (key < 0 || state.auto_repeat) return true;
    start_key(uint32_t(key));
    keys_[size_t(key)].virtual_key = virtual_key;
    return true;
}

bool LiveKeyboard::key_up(uint32_t virtual_key) {
    const int32_t position = layout_position(virtual_key);
    if (position == -1) return false;
    if (position == -2) return true;
    for (uint32_t key = 0; key < LIVE_KEYS; ++key)
        if (keys_[key].handle && keys_[key].virtual_key == virtual_key) release_key(key);
    return true;
}

void LiveKeyboard::midi_note(uint32_t parameter) {
    const uint32_t key = parameter & 0xFF;
    if (key >= LIVE_KEYS) return;
    if (parameter & 0x100)
        release_key(key);
    else
        start_key(key);
}

void LiveKeyboard::start_key(uint32_t key) {
    if (key >= LIVE_KEYS) return;
    const uint32_t current = current_instrument_ ? current_instrument_() : 0xFFFFFFFF;
    if (current >= sink_.instrument_count()) {
        release_all();
        return;
    }
    if (current != instrument_) {
        release_all();
        instrument_ = current;
    }
    KeyRecord& record = keys_[key];
    if (record.handle) sink_.release_preview_note(record.handle);
    record.handle =
        sink_.start_preview_note(current, key, LIVE_PREVIEW_VOLUME, LIVE_PREVIEW_BALANCE, 0);
    record.pressed = now();
    record.looped = sink_.instrument_loops(current);
    record.virtual_key = 0;
    record.down = true;
}

void LiveKeyboard::release_record(KeyRecord& record) {
    if (record.handle) sink_.release_preview_note(record.handle);
    record.handle = 0;
    record.down = false;
}

void LiveKeyboard::release_key(uint32_t key) {
    if (key >= LIVE_KEYS) return;
    KeyRecord& record = keys_[key];
    record.down = false;
    // A one-shot sound is never cut: it ends with its sample.
    if (!record.handle || !record.looped) return;
    if (now() - record.pressed >= MINIMUM_LOOPED_MS) release_record(record);
}

void LiveKeyboard::release_all() {
    for (KeyRecord& record : keys_)
        release_record(record);
}

void LiveKeyboard::timer_check() {
    const uint32_t time = now();
    for (KeyRecord& record : keys_)
        if (record.handle && record.looped && !record.down &&
            time - record.pressed >= MINIMUM_LOOPED_MS)
            release_record(record);
}

bool LiveKeyboard::activate_check(bool focused) {
    if (!focused) {
        release_all();
        active_ = false;
        return false;
    }
    const bool became_active = !active_;
    if (became_active) {
        active_ = true;
        german_ = german_query_ ? german_query_() : false;
    }
    timer_check();
    return became_active;
}

} // namespace tunemill
