// The song: the one document of the composer. Named patterns of voices whose events lie on a grid
// of ticks, the order in which the patterns play, the instruments the voices use, and a few
// global values. Also the basic operations that keep a song well-formed: event insertion by the
// order rules, normalization, validation and shortening.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "instruments/instrument.h"
#include "song/observer.h"
#include "song/song_lock.h"

namespace tunemill {

using Tick = uint32_t;
using Key = uint8_t;

constexpr Key KEY_COUNT = 84;     // keys 0 to 83, seven octaves; key 0 is the lowest
constexpr uint8_t MAX_LEVEL = 30; // volume, balance and tempo values are 0 to 30
constexpr uint8_t DEFAULT_VOLUME = 30;
constexpr uint8_t DEFAULT_BALANCE = 15; // centre; 30 fully left, 0 fully right
constexpr uint8_t DEFAULT_TEMPO_VALUE = 20;
constexpr int32_t MAX_OVERALL_TEMPO = 120;
constexpr int32_t DEFAULT_OVERALL_TEMPO = 40;
constexpr int32_t DEFAULT_TICKS_PER_BEAT = 4;
constexpr int32_t DEFAULT_BEATS_PER_MEASURE = 4;
constexpr int32_t MAX_TICKS_PER_BEAT = 30;
constexpr int32_t MAX_BEATS_PER_MEASURE = 30;
constexpr size_t MAX_INSTRUMENT_NAME = 16;
constexpr size_t MAX_PATTERN_NAME = 49;
// Pattern lengths are 32-bit signed; no operation makes a pattern longer than this.
constexpr Tick MAX_PATTERN_LENGTH = 0x7FFFFFFF;

enum EventKind : uint8_t {
    NOTE_ON = 1,
    RELEASE_MARK = 2, // exists only while a song file is being read
    NOTE_OFF = 3,
    VOLUME = 4,
    BALANCE = 5,
    PORTAMENTO = 6, // param1: sounding key, param2: key slid to, param3: slide ticks 1..255
};

struct Event {
    Tick tick = 0;
    uint8_t kind = 0;
    uint8_t param1 = 0;
    uint8_t param2 = 0;
    uint8_t param3 = 0;

    bool operator==(const Event&) const = default;
};
static_assert(sizeof(Event) == 8);

struct TempoPoint {
    Tick tick = 0;
    uint8_t value = 0; // 0..30
    uint8_t reserved[3] = {0, 0, 0};

    bool operator==(const TempoPoint&) const = default;
};
static_assert(sizeof(TempoPoint) == 8);

struct Voice {
    uint32_t id = 0;           // never 0 once created; unique within a run
    uint32_t instrument = 0;   // index into the song's instrument array
    bool muted = false;        // not stored in song files; toggling it does not modify the song
    std::vector<Event> events; // by tick, see the order rules
};

struct Pattern {
    std::vector<Voice> voices; // in display order
    std::string name;
    std::vector<TempoPoint> tempo_points; // by tick
    int32_t length = 0;                   // ticks

    // The length as a tick count (0 for a negative length, which validation rejects).
    Tick tick_length() const { return length > 0 ? Tick(length) : 0; }
};

struct Song {
    SongLock lock;
    std::string path;       // full path; "Untitled" in some folder for a new song
    bool song_file = false; // read from or last written to a song file of this format
    bool modified = false;
    std::string description;
    int32_t ticks_per_beat = DEFAULT_TICKS_PER_BEAT;
    int32_t beats_per_measure = DEFAULT_BEATS_PER_MEASURE;
    int32_t overall_tempo = DEFAULT_OVERALL_TEMPO; // 0..120; shown as 8000 / (tempo + 40) %
    int32_t repeat_position = 0;    // sequence index where playback goes on after the last entry
    std::vector<uint32_t> sequence; // pattern indices
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments; // voices name them by index
    SongObservers observers;             // never copied with the song
};

// The next voice id: 1 for the first voice of the run, never 0, never reused.
uint32_t next_voice_id();

// --- Song --------------------------------------------------------------------------------------

// Defaults for ticks per beat, beats per measure, overall tempo and repeat position; sequence,
// patterns and instruments emptied; the description set. Flags and path are the caller's.
void reset(Song& song, std::string description = {});

// reset, then one empty pattern "Pattern I" played once; flags cleared, path set.
void new_song(Song& song, std::string path);

// Inserts an empty pattern at position, or at the end when position is negative or beyond.
void add_pattern(Song& song, std::string name, int32_t position = -1);

// Removes the pattern only; the sequence is the caller's (see delete_pattern).
void remove_pattern(Song& song, size_t index);

// Removes the pattern and fixes the sequence: entries naming it go, higher entries move down,
// the repeat position follows and stays inside the sequence; when no pattern is left, a new
// "Pattern I" is added.
void delete_pattern(Song& song, size_t index);

void rename_pattern(Song& song, size_t index, std::string name);
// Sets the modified flag when the description differs.
void set_description(Song& song, std::string description);

// Appends a voice with a new id naming the instrument; returns its index.
size_t add_voice(Pattern& pattern, uint32_t instrument);
void remove_voice(Pattern& pattern, size_t index);

// --- Events ------------------------------------------------------------------------------------

// Inserts at the place the order rules give, searching forward from start (which must not lie
// beyond that place: readers appending in order pass the event count, others 0). A note off
// goes before everything at its tick; a volume or balance event right after the note offs; a
// note on, release mark or portamento after everything at its tick except existing portamentos.
// Returns the index of the new event.
size_t insert_event(Voice& voice, Tick tick, uint8_t kind, uint8_t param1, uint8_t param2 = 0,
                    uint8_t param3 = 0, size_t start = 0);
size_t insert_event(Voice& voice, const Event& event, size_t start = 0);
void remove_event(Voice& voice, size_t index);

bool voice_has_notes(const Voice& voice);

// Whether the key sounds at the tick (the pattern editor's hit test): a note on or portamento
// from the key at exactly that tick counts; during a slide the target key counts only once the
// slide has ended.
bool key_sounding(const Voice& voice, Tick tick, Key key);

// --- Length ------------------------------------------------------------------------------------

// A plain store.
void set_length(Pattern& pattern, int32_t ticks);

// Shortens by n ticks, but never below the last note event of any voice; drops the curve events
// and tempo points beyond the new length and normalizes the pattern. Returns the new length.
int32_t shorten(Pattern& pattern, Tick n);

// A plain store of the larger length (limited to MAX_PATTERN_LENGTH).
void lengthen(Pattern& pattern, Tick n);

// --- Normal form -------------------------------------------------------------------------------

// Normalizes one voice; length is the pattern's length, or none.
void normalize_voice(Voice& voice, std::optional<Tick> length);
void normalize_tempo_points(Pattern& pattern);
// Tempo points, then every voice with the pattern's length.
void normalize_pattern(Pattern& pattern);

// Whether the voice / tempo points are in normal form: no two curve points of one kind at a
// tick, none repeating the value in effect, none at the length; portamentos end strictly before
// the note off of the note they slide.
bool voice_is_normal(const Voice& voice, std::optional<Tick> length);
bool tempo_points_are_normal(const Pattern& pattern);

// --- Validation --------------------------------------------------------------------------------

// Where validation stopped: the invariant (1..8) and, where it applies, the pattern, voice and
// event (or tempo point) index.
struct ValidationFailure {
    int invariant = 0;
    int32_t pattern = -1;
    int32_t voice = -1;
    int64_t item = -1;
};

// Checks the invariants in order and stops at the first failure.
std::optional<ValidationFailure> find_invalid(const Song& song);
bool validate(const Song& song);

// Invariants 6 to 8 for one voice (events by tick, kinds, sounding keys, order within a tick, no
// key sounding at the end); the instrument index is checked against instrument_count. Returns
// the index of the offending event, the event count for a note left sounding, or none.
std::optional<size_t> find_invalid_event(const Voice& voice, Tick length, size_t instrument_count,
                                         int* invariant = nullptr);

} // namespace tunemill
