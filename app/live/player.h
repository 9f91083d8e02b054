// The composer's playback: the one engine of the run with the output thread that plays it, as
// the commands of the Play menu use them.
#pragma once

namespace tunemill {

// What the main frame asks of the playback.
class Player {
  public:
    virtual ~Player() = default;
    // Plays the song from the start of the sequence; a failure is shown.
    virtual void play_song() = 0;
    // Stops at once (nothing queued plays out).
    virtual void stop() = 0;
    // Winds forward (+2) or back (-2) while playing.
    virtual void wind(int direction) = 0;
    virtual void set_repeat(bool repeat) = 0;
};

} // namespace tunemill

#include <memory>

#include "playback/engine.h"
#include "playback/output_thread.h"
#include "playback/playback_settings.h"
#include "settings/settings.h"
#include "song/arrangement.h"

namespace tunemill {

class AudioSystem;

// The engine of the run on the song, told of every change of the song, played by the output
// thread on a device of the audio system.
// The engine as the composer plays it; it follows the moves of the arrangement too.
class EnginePlayer : public Player, public ArrangementListener {
  public:
    EnginePlayer(Song& song, AudioSystem& audio, const PlaybackSettings& playback, bool repeat);
    ~EnginePlayer() override;

    void play_song() override;
    void stop() override;
    void wind(int direction) override;
    void set_repeat(bool repeat) override;
    // Called under the song lock.
    void moved(const ArrangementMove& move) override;

    PlaybackEngine& engine() { return engine_; }
    OutputThread& output() { return output_; }

  private:
    Song& song_;
    PlaybackEngine engine_;
    OutputThread output_;
};

// The system's sound devices (PortAudio), started only when first asked: the sound libraries'
// probing of the hardware then costs nothing until something plays.
AudioSystem& deferred_system_audio();

} // namespace tunemill
