// The run's playback: the engine and the output thread behind the Play menu.
#include "app/live/player.h"

#include "app/common/error_box.h"

#include "foundation/string_table.h"
#include "platform/audio_device.h"

namespace tunemill {

namespace {

class DeferredAudioSystem : public AudioSystem {
  public:
    uint32_t device_count() override { return portaudio_system().device_count(); }
    std::optional<std::string> device_name(uint32_t id) override {
        return portaudio_system().device_name(id);
    }
    bool supports(uint32_t id, const WaveFormat& format) override {
        return portaudio_system().supports(id, format);
    }
    WaveOpenResult open(uint32_t id, const WaveFormat& format, WaveOutClient& client) override {
        return portaudio_system().open(id, format, client);
    }
    std::string result_text(int32_t code) override { return portaudio_system().result_text(code); }
};

} // namespace

AudioSystem& deferred_system_audio() {
    static DeferredAudioSystem audio;
    return audio;
}

EnginePlayer::EnginePlayer(Song& song, AudioSystem& audio, const PlaybackSettings& playback,
                           bool repeat)
    : song_(song), engine_(song), output_(engine_, audio) {
    output_.set_reporter(report_in_error_box);
    song_.observers.add(&engine_);
    output_.configure(playback_config(playback));
    engine_.set_repeat(repeat);
}

EnginePlayer::~EnginePlayer() {
    output_.stop(StopMode::NOW);
    song_.observers.remove(&engine_);
}

void EnginePlayer::play_song() {
    try {
        output_.play_song(0);
    } catch (...) {
        show_current_error();
    }
}

void EnginePlayer::stop() {
    output_.stop(StopMode::NOW);
}

void EnginePlayer::wind(int direction) {
    output_.wind(direction);
}

void EnginePlayer::set_repeat(bool repeat) {
    engine_.set_repeat(repeat);
}

void EnginePlayer::moved(const ArrangementMove& move) {
    using Kind = ArrangementMove::Kind;
    switch (move.kind) {
    case Kind::PATTERN_INSERTED:
        engine_.pattern_inserted(move.index);
        return;
    case Kind::PATTERN_REMOVED:
        engine_.pattern_removed(move.index);
        return;
    case Kind::ENTRY_INSERTED:
        engine_.sequence_entry_inserted(move.index);
        return;
    case Kind::ENTRY_REMOVED:
        engine_.sequence_entry_removed(move.index);
        return;
    }
}

} // namespace tunemill
