// The run's playback.
#include "app/player.h"

namespace tunemill {

std::unique_ptr<Player> make_player(const PlaybackSettings&, bool) {
    // The output thread is not part of the build yet: the Play commands have nothing to drive.
    return nullptr;
}

} // namespace tunemill
