// Step entry and the recording pass's clearing, built on the note drawing operations.
#include "song/note_entry.h"

#include <array>

#include "song/editing.h"
#include "song/voice_cursor.h"

namespace tunemill {

void enter_note(Pattern& pattern, size_t voice_index, Tick at, Tick length, Key key) {
    if (voice_index >= pattern.voices.size() || length == 0 || key >= KEY_COUNT) return;
    if (pattern.tick_length() < at + length) pattern.length = int32_t(at + length);
    erase_note(pattern, voice_index, at, at + length, key);
    Voice& voice = pattern.voices[voice_index];
    insert_event(voice, at, NOTE_ON, key);
    insert_event(voice, at + length, NOTE_OFF, key);
    normalize_voice(voice, pattern.tick_length());
}

void clear_recorded_stretch(Pattern& pattern, size_t voice_index, Tick from, Tick to) {
    if (voice_index >= pattern.voices.size() || from >= to) return;
    const Voice& voice = pattern.voices[voice_index];
    // The keys sounding as the stretch begins, and those struck or slid to inside it.
    std::array<bool, KEY_COUNT> keys{};
    VoiceCursor cursor(voice);
    cursor.seek(from + 1);
    for (Key k = 0; k < KEY_COUNT; ++k)
        keys[k] = cursor.is_sounding(k);
    for (const Event& e : voice.events)
        if (e.tick >= from && e.tick < to && (e.kind == NOTE_ON || e.kind == PORTAMENTO))
            keys[e.kind == PORTAMENTO ? e.param2 : e.param1] = true;
    for (Key k = 0; k < KEY_COUNT; ++k)
        if (keys[k]) erase_note(pattern, voice_index, from, to, k);
}

} // namespace tunemill
