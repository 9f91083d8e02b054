// Change reporting from the song model to whoever shows or plays the song: the pattern windows,
// the instruments window and the playback engine implement this interface and register with the
// song. The model itself never shows anything; it only tells.
#pragma once

#include <cstdint>
#include <vector>

namespace tunemill {

using Tick = uint32_t;

// What part of a pattern a change touches.
enum class ChangeKind : uint8_t { NOTES, VOLUME, BALANCE, TEMPO, VOICES, WHOLE_PATTERN };

// One change notice: the pattern (index), the voice (index, or -1 for all voices) and the tick
// range [from, to) that may look different afterwards.
struct SongChange {
    int32_t pattern = -1;
    int32_t voice = -1;
    ChangeKind kind = ChangeKind::WHOLE_PATTERN;
    Tick from = 0;
    Tick to = UINT32_MAX;
};

// Every notice has an empty default, so an observer implements only what it cares about.
class SongObserver {
  public:
    virtual ~SongObserver() = default;
    // The views: a change of a pattern begins / is done (the same notice both times).
    virtual void change_begins(const SongChange&) {}
    virtual void change_done(const SongChange&) {}
    // The views: voice index `voice` of the pattern is gone; later voices moved down by one.
    virtual void voice_removed(int32_t /*pattern*/, int32_t /*voice*/) {}
    // The playback engine: the pattern changed, re-seek it before the next block.
    virtual void pattern_changed(int32_t /*pattern*/) {}
    // The engine: a pattern now stands at `index` (later ones moved up by one), or the pattern at
    // `index` is gone (later ones moved down); the sequence already names the new indices.
    virtual void pattern_inserted(uint32_t /*index*/) {}
    virtual void pattern_removed(uint32_t /*index*/) {}
    // The engine and the instrument views: instrument index `index` is gone; later ones moved down.
    virtual void instrument_removed(uint32_t /*index*/) {}
    // The instruments window and keyboard window: refresh the instrument list.
    virtual void instruments_changed() {}
};

// The observers registered with one song. Copying a song never copies its observers: a copy is
// a snapshot nobody watches, and assigning into a song keeps the observers it has.
class SongObservers {
  public:
    SongObservers() = default;
    SongObservers(const SongObservers&) {}
    SongObservers& operator=(const SongObservers&) { return *this; }

    void add(SongObserver* observer);
    void remove(SongObserver* observer);

    void change_begins(const SongChange& change) const;
    void change_done(const SongChange& change) const;
    void voice_removed(int32_t pattern, int32_t voice) const;
    void pattern_changed(int32_t pattern) const;
    void pattern_inserted(uint32_t index) const;
    void pattern_removed(uint32_t index) const;
    void instrument_removed(uint32_t index) const;
    void instruments_changed() const;

  private:
    std::vector<SongObserver*> observers_;
};

} // namespace tunemill
