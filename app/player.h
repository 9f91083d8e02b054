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

#include "settings/settings.h"

namespace tunemill {

// The run's playback: the engine configured with the eight playback settings and the repeat
// flag, played by the output thread on the chosen device.
std::unique_ptr<Player> make_player(const PlaybackSettings& playback, bool repeat);

} // namespace tunemill
