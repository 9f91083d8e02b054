// Speed of the song model: readers appending events in order must run in linear time, and every
// editing operation on a voice of 100 000 events must stay interactive (well under 5 ms).
#include <benchmark/benchmark.h>

#include "song/editing.h"
#include "song/song.h"

namespace tunemill {
namespace {

// A voice of about `events` events: two-tick notes on changing keys every four ticks, with a
// volume change every eight ticks.
Pattern big_pattern(size_t events) {
    Pattern pattern;
    add_voice(pattern, 0);
    Voice& voice = pattern.voices[0];
    const size_t notes = events * 2 / 5;
    for (size_t i = 0; i < notes; ++i) {
        const Tick t = Tick(i * 4);
        const uint8_t key = uint8_t((i * 7) % KEY_COUNT);
        size_t at = insert_event(voice, t, NOTE_ON, key, 0, 0, voice.events.size());
        if (i % 2 == 0) insert_event(voice, t + 1, VOLUME, uint8_t(10 + i % 20), 0, 0, at + 1);
        insert_event(voice, t + 2, NOTE_OFF, key, 0, 0, voice.events.size());
    }
    pattern.length = int32_t(notes * 4);
    normalize_pattern(pattern);
    return pattern;
}

void BM_AppendInOrder(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    for (auto _ : state) {
        Voice voice;
        for (size_t i = 0; i < n / 2; ++i) {
            insert_event(voice, Tick(i * 2), NOTE_ON, uint8_t(i % KEY_COUNT), 0, 0,
                         voice.events.size());
            insert_event(voice, Tick(i * 2 + 1), NOTE_OFF, uint8_t(i % KEY_COUNT), 0, 0,
                         voice.events.size());
        }
        benchmark::DoNotOptimize(voice.events.data());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_AppendInOrder)->RangeMultiplier(4)->Range(1 << 10, 1 << 20)->Complexity(benchmark::oN);

// One editing operation on a fresh copy of the big pattern (the copy is not timed).
template <typename Operation> void edit(benchmark::State& state, Operation operation) {
    const Pattern original = big_pattern(100000);
    state.counters["events"] = double(original.voices[0].events.size());
    for (auto _ : state) {
        state.PauseTiming();
        Pattern pattern = original;
        state.ResumeTiming();
        operation(pattern);
        benchmark::DoNotOptimize(pattern.voices[0].events.data());
    }
}

constexpr Tick MIDDLE = 80000;
const Block MIDDLE_BLOCK{MIDDLE, MIDDLE + 64, Aspect::NOTES, 0};

void BM_ClearBlock(benchmark::State& s) {
    edit(s, [](Pattern& p) { clear_block(p, MIDDLE_BLOCK); });
}
void BM_Delete(benchmark::State& s) {
    edit(s, [](Pattern& p) { delete_block(p, MIDDLE_BLOCK); });
}
void BM_InsertSpace(benchmark::State& s) {
    edit(s, [](Pattern& p) { insert_space(p, MIDDLE_BLOCK); });
}
void BM_Transpose(benchmark::State& s) {
    edit(s, [](Pattern& p) { transpose_block(p, MIDDLE_BLOCK, 3); });
}
void BM_TransposeWholeVoice(benchmark::State& s) {
    edit(s, [](Pattern& p) { transpose_block(p, Block{0, p.tick_length(), Aspect::NOTES, 0}, 1); });
}
void BM_RepeatToTheEnd(benchmark::State& s) {
    edit(s, [](Pattern& p) {
        repeat_block(p, Block{p.tick_length() - 4096, p.tick_length() - 4000, Aspect::NOTES, 0});
    });
}
void BM_PortamentoSetWholeVoice(benchmark::State& s) {
    edit(s, [](Pattern& p) { portamento_set(p, Block{0, p.tick_length(), Aspect::NOTES, 0}); });
}
void BM_PortamentoClear(benchmark::State& s) {
    edit(s, [](Pattern& p) { portamento_clear(p, MIDDLE_BLOCK); });
}
void BM_CurveRange(benchmark::State& s) {
    edit(s, [](Pattern& p) { set_curve_range(p, 0, MIDDLE, MIDDLE + 64, VOLUME, 3); });
}
void BM_AddNote(benchmark::State& s) {
    edit(s, [](Pattern& p) { add_note(p, 0, MIDDLE + 1, MIDDLE + 30, 40); });
}
void BM_EraseNote(benchmark::State& s) {
    edit(s, [](Pattern& p) { erase_note(p, 0, MIDDLE, MIDDLE + 64, 40); });
}
void BM_RemoveStep(benchmark::State& s) {
    edit(s, [](Pattern& p) { remove_step(p, 0, MIDDLE + 3); });
}
void BM_NormalizeAndValidateVoice(benchmark::State& s) {
    edit(s, [](Pattern& p) {
        normalize_pattern(p);
        benchmark::DoNotOptimize(find_invalid_event(p.voices[0], p.tick_length(), 1));
    });
}

BENCHMARK(BM_ClearBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Delete)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertSpace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transpose)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransposeWholeVoice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepeatToTheEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PortamentoSetWholeVoice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PortamentoClear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurveRange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddNote)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EraseNote)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalizeAndValidateVoice)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tunemill
