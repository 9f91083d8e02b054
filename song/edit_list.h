// The building blocks of the pattern editing operations: the edit list, which collects removals
// and additions of events and applies them together; splitting and joining notes at a tick; and
// dissolving a portamento into two plain notes.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "song/song.h"

namespace tunemill {

class EditList {
  public:
    void remove(size_t position) { removals_.push_back(position); }
    void add(const Event& event) { additions_.push_back(event); }
    void add(Tick tick, uint8_t kind, uint8_t param1, uint8_t param2 = 0, uint8_t param3 = 0) {
        additions_.push_back(Event{tick, kind, param1, param2, param3});
    }
    bool empty() const { return removals_.empty() && additions_.empty(); }
    bool removes(size_t position) const;
    void clear() {
        removals_.clear();
        additions_.clear();
    }

    // Removes the listed positions (each once), then inserts every addition as insert_event from
    // the start of the voice would, in the order they were listed, then normalizes the voice with
    // the length. Linear in the voice plus n log n in the additions.
    void apply(Voice& voice, std::optional<Tick> length);

    const std::vector<size_t>& removals() const { return removals_; }
    const std::vector<Event>& additions() const { return additions_; }

  private:
    std::vector<size_t> removals_;
    std::vector<Event> additions_;
};

// Cuts every note sounding across t into two notes meeting at t; a portamento still gliding at t
// is dissolved instead. Applies and normalizes (without a length).
void split_at(Voice& voice, Tick t);

// For every note off at t followed at t by a note on of the same key, removes both: the two notes
// become one. Does not normalize.
void join_at(Voice& voice, Tick t);

// Lists the removal of the portamento at index and the two plain notes that replace it: the first
// ends one tick after the slide began, the second starts where the slide would have ended.
void dissolve_portamento(EditList& list, const Voice& voice, size_t index);

} // namespace tunemill
