// Fan-out of change notices to the observers registered with a song.
#include "song/observer.h"

#include <algorithm>

namespace tunemill {

void SongObservers::add(SongObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void SongObservers::remove(SongObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void SongObservers::change_begins(const SongChange& change) const {
    for (SongObserver* observer : observers_)
        observer->change_begins(change);
}

void SongObservers::change_done(const SongChange& change) const {
    for (SongObserver* observer : observers_)
        observer->change_done(change);
}

void SongObservers::voice_removed(int32_t pattern, int32_t voice) const {
    for (SongObserver* observer : observers_)
        observer->voice_removed(pattern, voice);
}

void SongObservers::pattern_changed(int32_t pattern) const {
    for (SongObserver* observer : observers_)
        observer->pattern_changed(pattern);
}

void SongObservers::pattern_inserted(uint32_t index) const {
    for (SongObserver* observer : observers_)
        observer->pattern_inserted(index);
}

void SongObservers::pattern_removed(uint32_t index) const {
    for (SongObserver* observer : observers_)
        observer->pattern_removed(index);
}

void SongObservers::instrument_removed(uint32_t index) const {
    for (SongObserver* observer : observers_)
        observer->instrument_removed(index);
}

void SongObservers::instruments_changed() const {
    for (SongObserver* observer : observers_)
        observer->instruments_changed();
}

} // namespace tunemill
