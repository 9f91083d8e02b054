// The song lock: a timed mutex waited for at most ten seconds by the user interface, with the
// modified flag set on a change and the consistency check after an edit.
#include "song/song_lock.h"

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "song/song.h"

namespace tunemill {

SongLock::SongLock(const SongLock& other)
    : validate_(other.validate_.load()), timeout_(other.timeout_), reporter_(other.reporter_) {}

bool lock_song(Song& song, bool modify) {
    if (!song.lock.try_lock_for(song.lock.timeout())) {
        song.lock.report(MISC_ERROR(S_INTERNAL_ERROR));
        return false;
    }
    if (modify) song.modified = true;
    return true;
}

bool song_memory_consistent(const Song& song) {
    for (const Instrument& instrument : song.instruments) {
        if (instrument.bytes_per_sample != 1 && instrument.bytes_per_sample != 2) return false;
        if (instrument.samples.size() != instrument.sample_bytes() + SAMPLE_PADDING) return false;
        if (instrument.loop_start != NO_LOOP && instrument.loop_start >= instrument.length)
            return false;
        if (instrument.id == 0) return false;
    }
    return true;
}

void unlock_song(Song& song, bool check) {
    // The check runs while the lock is still held, so nothing changes under it; the failures are
    // reported only after the release, so a message box never keeps playback waiting.
    bool damaged = false, memory = false;
    if (check && song.lock.validate()) {
        damaged = !validate(song);
        memory = !song_memory_consistent(song);
    }
    song.lock.unlock();
    if (damaged) song.lock.report(MISC_ERROR(S_DAMAGED_SONG_FILE));
    if (memory) song.lock.report(MISC_ERROR(S_HEAP_CORRUPTED));
}

SongLockGuard::SongLockGuard(Song& song, bool modify, bool check)
    : song_(song), locked_(lock_song(song, modify)), check_(check) {}

SongLockGuard::~SongLockGuard() {
    if (locked_) unlock_song(song_, check_);
}

} // namespace tunemill
