// The stored playback settings as the output thread takes them.
#pragma once

#include "playback/output_thread.h"
#include "settings/settings.h"

namespace tunemill {

// A negative device id in the store names the system's default device; negative figures count
// as 0 (the output thread then adapts them to what the device can do).
PlaybackConfig playback_config(const PlaybackSettings& playback);

} // namespace tunemill
