// The undo history's cost: 100 000 single-note edits through the document's edit path, each one
// undo step, spread over the patterns of a song as a user would write them. Reports the heap the
// history holds ("history_MB", "bytes_per_step", from the allocator's own count of bytes in use)
// and the time of one edit.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include "app/document/document.h"
#include "song/editing.h"
#include "song/instrument_array.h"
#include "strings/steps_strings.h"

namespace tunemill {
namespace {

constexpr int STEPS = 100000;
constexpr size_t PATTERNS = 100;
constexpr size_t VOICES = 4;

size_t heap_in_use() {
    return mallinfo2().uordblks;
}

void prepare(Document& document) {
    Edit edit;
    edit.name = U_NEW_PATTERN;
    edit.change.pattern = -1;
    document.edit(edit, [](EditContext& context) {
        Song& song = context.song();
        new_song(song, "Untitled");
        context.add_instrument(make_sampled_instrument("Sine", 0, 1000, NO_LOOP, 22050, 2, false));
        for (size_t p = 0; p < PATTERNS; ++p) {
            if (p > 0) add_pattern(song, "Pattern");
            for (size_t v = 0; v < VOICES; ++v)
                add_voice(song.patterns[p], 0);
        }
    });
    document.history().clear();
}

void BM_SingleNoteSteps(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto document = std::make_unique<Document>();
        prepare(*document);
        const size_t heap_before = heap_in_use();
        state.ResumeTiming();
        for (int step = 0; step < STEPS; ++step) {
            const size_t pattern = size_t(step) % PATTERNS;
            const size_t voice = size_t(step / int(PATTERNS)) % VOICES;
            const Tick tick = Tick(step / int(PATTERNS * VOICES)) * 2;
            const Key key = Key(24 + step % 48);
            Edit edit;
            edit.name = U_DRAW_NOTES;
            edit.change.pattern = int32_t(pattern);
            edit.change.voice = int32_t(voice);
            edit.change.from = tick;
            edit.change.to = tick + 1;
            document->edit(edit, [&](EditContext& context) {
                add_note(context.song().patterns[pattern], voice, tick, tick + 1, key);
            });
        }
        state.PauseTiming();
        const double history = double(heap_in_use() - heap_before);
        state.counters["history_MB"] = history / 1e6;
        state.counters["bytes_per_step"] = history / STEPS;
        state.counters["steps"] = document->history().count();
        document.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * STEPS);
}
BENCHMARK(BM_SingleNoteSteps)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace tunemill
