// The two passes that play the module: the structure pass finds the order positions that sound
// alike and where song patterns begin; the recording pass collects each song pattern's events.
#include "modules/convert/passes.h"

#include <algorithm>

namespace tunemill::converting {

namespace {

class StructureSink : public PlayerSink {
  public:
    StructureSink(ModuleReader& reader, Structure& structure)
        : reader_(reader), structure_(structure) {}

    void position(int order_index, const EntryState& state, int64_t) override {
        size_t id = 0;
        while (id < states_.size() && !(states_[id] == state))
            ++id;
        if (id == states_.size()) states_.push_back(state);
        structure_.ids.push_back(int(id));
        orders_.push_back(order_index);
    }
    void event(const ModuleEvent& event) override {
        if (event.kind != MODULE_INSTRUMENT) return;
        SampleSlot& slot = reader_.slots()[event.value];
        if (slot.instrument < 0) slot.instrument = int16_t(structure_.next_instrument++);
    }
    const std::vector<int>& orders() const { return orders_; }

  private:
    ModuleReader& reader_;
    Structure& structure_;
    std::vector<EntryState> states_;
    std::vector<int> orders_;
};

class RecordingSink : public PlayerSink {
  public:
    RecordingSink(const ModuleReader& reader, const Structure& structure, Recording& recording)
        : reader_(reader), structure_(structure), recording_(recording),
          channels_(size_t(reader.channel_count())) {}

    void position(int, const EntryState&, int64_t time) override {
        if (recording_now_) append({time, MODULE_POSITION, 0, 0});
        const size_t index = position_++;
        if (index >= structure_.numbers.size()) internal_error();
        const int number = structure_.numbers[index];
        if (number >= 0) {
            if (number <= last_number_) {
                recording_now_ = false; // the music repeats an earlier song pattern
            } else {
                if (number != last_number_ + 1) internal_error();
                last_number_ = number;
                recording_now_ = true;
                start_ = time;
                recording_.patterns.emplace_back();
                for (size_t c = 0; c < channels_.size(); ++c) {
                    const Known& known = channels_[c];
                    if (known.instrument >= 0)
                        append({time, MODULE_INSTRUMENT, uint16_t(c), uint32_t(known.instrument)});
                    if (known.volume >= 0)
                        append({time, MODULE_VOLUME, uint16_t(c), uint32_t(known.volume)});
                    if (known.pan >= 0)
                        append({time, MODULE_PAN, uint16_t(c), uint32_t(known.pan)});
                }
            }
            if (int(index) == structure_.repeat_entry)
                recording_.repeat_position = int32_t(recording_.sequence.size());
            recording_.sequence.push_back(uint32_t(number));
        }
    }

    void event(const ModuleEvent& event) override {
        ModuleEvent stored = event;
        if (event.kind == MODULE_INSTRUMENT) {
            const int instrument = reader_.slots()[event.value].instrument;
            if (instrument < 0) internal_error();
            stored.value = uint32_t(instrument);
        }
        if (event.channel < channels_.size()) {
            Known& known = channels_[event.channel];
            if (stored.kind == MODULE_INSTRUMENT) known.instrument = int64_t(stored.value);
            if (stored.kind == MODULE_VOLUME) known.volume = int64_t(stored.value);
            if (stored.kind == MODULE_PAN) known.pan = int64_t(stored.value);
        }
        if (recording_now_) append(stored);
    }

    size_t positions() const { return position_; }

  private:
    struct Known {
        int64_t instrument = -1, volume = -1, pan = -1;
    };
    void append(ModuleEvent event) {
        event.time -= start_;
        recording_.patterns.back().push_back(event);
    }

    const ModuleReader& reader_;
    const Structure& structure_;
    Recording& recording_;
    std::vector<Known> channels_;
    size_t position_ = 0;
    int last_number_ = -1;
    bool recording_now_ = false;
    int64_t start_ = 0;
};

} // namespace

Structure structure_pass(ModuleReader& reader) {
    for (SampleSlot& slot : reader.slots())
        slot.instrument = -1;
    Structure structure;
    StructureSink sink(reader, structure);
    ModulePlayer player(reader);
    player.start();
    while (player.play_row(sink)) {
    }

    const std::vector<int>& ids = structure.ids;
    const size_t n = ids.size();
    if (n == 0) return structure;

    // The repeat entry: the position whose order index the music wanted to play again.
    structure.repeat_entry = 0;
    if (player.end() == ModulePlayer::End::REVISITED) {
        const int order = player.end_order();
        if (reader.rows(reader.orders()[size_t(order)]) > 0)
            for (size_t i = 0; i < n; ++i)
                if (sink.orders()[i] == order) structure.repeat_entry = int(i);
    }

    // Which ids begin song patterns: the first, the repeat entry's, and every id that does not
    // always follow one and the same id.
    const int id_count = *std::max_element(ids.begin(), ids.end()) + 1;
    std::vector<bool> begins(size_t(id_count), false);
    begins[size_t(ids[0])] = true;
    begins[size_t(ids[size_t(structure.repeat_entry)])] = true;
    for (int d = 0; d < id_count; ++d) {
        if (begins[size_t(d)]) continue;
        const size_t first = size_t(std::find(ids.begin(), ids.end(), d) - ids.begin());
        const int p = ids[first - 1];
        bool paired = true;
        for (size_t j = 0; j < n && paired; ++j) {
            if (ids[j] == p && (j + 1 >= n || ids[j + 1] != d)) paired = false;
            if (ids[j] == d && (j == 0 || ids[j - 1] != p)) paired = false;
        }
        begins[size_t(d)] = !paired;
    }
    // No song pattern grows beyond 512 rows.
    int sum = 0;
    for (size_t j = 0; j < n; ++j) {
        const int rows = reader.rows(reader.orders()[size_t(sink.orders()[j])]);
        if (begins[size_t(ids[j])]) {
            sum = rows;
        } else if (sum + rows > MAX_SONG_PATTERN_ROWS) {
            begins[size_t(ids[j])] = true;
            sum = rows;
        } else {
            sum += rows;
        }
    }
    std::vector<int> number_of_id(size_t(id_count), -1);
    int next = 0;
    for (int d = 0; d < id_count; ++d)
        if (begins[size_t(d)]) number_of_id[size_t(d)] = next++;
    for (int id : ids)
        structure.numbers.push_back(number_of_id[size_t(id)]);
    return structure;
}

Recording recording_pass(ModuleReader& reader, const Structure& structure) {
    Recording recording;
    RecordingSink sink(reader, structure, recording);
    ModulePlayer player(reader);
    player.start();
    while (player.play_row(sink)) {
    }
    if (sink.positions() != structure.numbers.size()) internal_error();
    return recording;
}

} // namespace tunemill::converting
