// The song lock: the one mutex through which the user interface and the playback thread share
// the song. The user interface waits for it at most ten seconds and then gives up with
// "Internal error"; locking for a change marks the song modified, and unlocking after an edit
// can check the song's consistency (the "Validate" setting). Its failures go to the reporter the
// front end gives the lock: the caller goes on after them (it drops its operation, or keeps its
// edit), so they are not thrown.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <utility>

#include "foundation/error_reporter.h"

namespace tunemill {

struct Song;

class SongLock {
  public:
    static constexpr std::chrono::milliseconds DEFAULT_TIMEOUT{10000};

    SongLock() = default;
    // A copied song gets a lock of its own (unlocked), with the same options.
    SongLock(const SongLock& other);
    SongLock& operator=(const SongLock&) { return *this; }

    // The raw mutex operations, for the playback thread and the export worker, which report
    // nothing: true when the lock was obtained within the time-out.
    bool try_lock_for(std::chrono::milliseconds timeout) { return mutex_.try_lock_for(timeout); }
    void unlock() { mutex_.unlock(); }

    // Whether unlock_song(check = true) checks the song (the "Validate" setting).
    void set_validate(bool validate) { validate_ = validate; }
    bool validate() const { return validate_; }

    // How long lock_song waits; 10 seconds unless a test shortens it.
    void set_timeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    std::chrono::milliseconds timeout() const { return timeout_; }

    // Where lock_song and unlock_song report their failures. Set on the user interface's thread,
    // before the song is shared; kept when another song is assigned to this one.
    void set_reporter(ErrorReporter reporter) { reporter_ = std::move(reporter); }
    void report(const ERROR& error) const {
        if (reporter_) reporter_(error);
    }

  private:
    std::timed_mutex mutex_;
    std::atomic<bool> validate_{false};
    std::chrono::milliseconds timeout_{DEFAULT_TIMEOUT};
    ErrorReporter reporter_;
};

// lock(modify): waits up to the time-out. On time-out reports "Internal error" and returns false:
// the caller drops its operation without touching the song. Otherwise sets the modified flag when
// modify is true and returns true.
bool lock_song(Song& song, bool modify);

// unlock(check): releases the lock. When validation is on and check is true, the song is
// validated (and its memory checked) before the release, and a failure is reported afterwards:
// "Damaged song file" for an invalid song, "Heap corrupted" for inconsistent sample blocks.
void unlock_song(Song& song, bool check);

// True when every instrument's sample block has the size its record promises and its loop lies
// inside it: the memory check that runs with validation.
bool song_memory_consistent(const Song& song);

// lock_song / unlock_song for one scope. Test `locked()` before touching the song.
class SongLockGuard {
  public:
    SongLockGuard(Song& song, bool modify, bool check = true);
    ~SongLockGuard();
    SongLockGuard(const SongLockGuard&) = delete;
    SongLockGuard& operator=(const SongLockGuard&) = delete;
    bool locked() const { return locked_; }
    explicit operator bool() const { return locked_; }

  private:
    Song& song_;
    bool locked_;
    bool check_;
};

// The raw lock for one scope, for the playback side, which reports nothing: waits at most the
// given time (the lock's time-out unless said otherwise). Test it before touching the song.
class QuietSongLock {
  public:
    QuietSongLock(SongLock& lock, std::chrono::milliseconds wait)
        : lock_(lock), locked_(lock.try_lock_for(wait)) {}
    explicit QuietSongLock(SongLock& lock) : QuietSongLock(lock, lock.timeout()) {}
    ~QuietSongLock() {
        if (locked_) lock_.unlock();
    }
    QuietSongLock(const QuietSongLock&) = delete;
    QuietSongLock& operator=(const QuietSongLock&) = delete;
    explicit operator bool() const { return locked_; }

  private:
    SongLock& lock_;
    bool locked_;
};

} // namespace tunemill
