// The effects of a track: note cuts, slides as pitch slides ending in a tone portamento, volume
// changes and balances at note starts.
#include "modules/export/exporter.h"

#include <algorithm>
#include <cmath>

namespace tunemill::exporting {

namespace {

int64_t key_frequency(int key) {
    return int64_t(44100.0 * std::pow(2.0, (key - 36) / 12.0));
}

} // namespace

int64_t Exporter::slide_pitch(int64_t frequency, uint8_t sample) const {
    if (frequency <= 0) frequency = 1;
    if (!params_.periods_by_rate) return 18874800 / frequency;
    const double rate = sample < module_.samples.size() ? module_.samples[sample].rate : 8363;
    return int64_t(std::llround(44100.0 * 3579364.0 / (double(frequency) * rate)));
}

void Exporter::place_effects(Track& track) const {
    bool was_sounding = true; // notes of the pattern before end where this one begins
    int current_volume = -1, last_balance = -1;
    Slide slide;
    for (size_t t = 0; t < track.cells.size(); ++t) {
        TrackCell& cell = track.cells[t];
        if (cell.key == EXPORT_SILENT) {
            if (was_sounding) cell.effect = ExportEffect::NOTE_CUT;
            cell.key = cell.sample = EXPORT_SILENT;
            if (params_.volume_column) cell.volume = EXPORT_SILENT;
            slide.active = false;
            was_sounding = false;
            continue;
        }
        was_sounding = true;
        if (cell.note_start) {
            current_volume = module_.samples[cell.sample].default_volume;
            slide.active = false;
        }
        if (slide.active) continue_slide(slide, cell);
        if (cell.slide_target != EXPORT_SILENT && cell.slide_length > 0) slide = start_slide(cell);
        place_volume(cell, current_volume);
        place_balance(track, t, last_balance);
    }
}

Slide Exporter::start_slide(const TrackCell& cell) const {
    Slide slide;
    slide.active = true;
    slide.n = cell.slide_length;
    slide.done = 0;
    slide.fa = key_frequency(cell.key);
    slide.fb = key_frequency(cell.slide_target);
    slide.sample = cell.sample;
    slide.pitch = slide_pitch(slide.fa, slide.sample);
    return slide;
}

// One step of the slide: a pitch slide towards the step's frequency, and on the last step a
// tone portamento that lands exactly on the target.
void Exporter::continue_slide(Slide& slide, TrackCell& cell) const {
    const int r = slide.n - 1 - slide.done++;
    const int64_t frequency = slide.fb - (slide.fb - slide.fa) * r / slide.n;
    int64_t d = slide_pitch(frequency, slide.sample) - slide.pitch;
    ExportEffect kind = ExportEffect::PITCH_SLIDE;
    if (r == 0) {
        kind = ExportEffect::TONE_PORTAMENTO;
        if (d % 2 != 0) d += slide.fb <= slide.fa ? 2 : -2;
    }
    const int64_t speed = std::clamp<int64_t>(d / 2, -params_.largest_slide, params_.largest_slide);
    if (speed != 0) {
        cell.effect = kind;
        cell.speed = int16_t(speed);
        slide.pitch += 2 * speed;
    }
    if (r == 0) slide.active = false;
}

// A volume column holds only changes; without one a change takes the effect column when free.
void Exporter::place_volume(TrackCell& cell, int& current_volume) const {
    if (params_.volume_column) {
        if (cell.volume == current_volume)
            cell.volume = EXPORT_SILENT;
        else
            current_volume = cell.volume;
    } else if (cell.volume != current_volume && cell.effect == ExportEffect::NONE) {
        cell.effect = ExportEffect::SET_VOLUME;
        current_volume = cell.volume;
    }
}

// A new balance goes with a note start, or just before it where the channel is silent.
void Exporter::place_balance(Track& track, size_t t, int& last_balance) const {
    TrackCell& cell = track.cells[t];
    if (!cell.note_start || cell.balance == last_balance) return;
    if (cell.effect == ExportEffect::NONE) {
        cell.effect = ExportEffect::SET_BALANCE;
        cell.parameter = cell.balance;
        last_balance = cell.balance;
    } else if (t > 0 && track.cells[t - 1].effect == ExportEffect::NONE &&
               track.cells[t - 1].key == EXPORT_SILENT) {
        track.cells[t - 1].effect = ExportEffect::SET_BALANCE;
        track.cells[t - 1].parameter = cell.balance;
        last_balance = cell.balance;
    }
}

} // namespace tunemill::exporting
