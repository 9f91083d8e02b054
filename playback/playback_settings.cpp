#include "playback/playback_settings.h"

#include <algorithm>

namespace tunemill {

PlaybackConfig playback_config(const PlaybackSettings& playback) {
    PlaybackConfig config;
    config.device = playback.device_id < 0 ? DEFAULT_OUTPUT_DEVICE : uint32_t(playback.device_id);
    config.rate = uint32_t(std::max(0, playback.sampling_rate));
    config.stereo = playback.stereo != 0;
    config.sixteen_bit = playback.out_16bit != 0;
    config.interpolate = playback.oversample != 0;
    config.amplification = uint32_t(std::max(0, playback.amplification));
    config.buffer_len = uint32_t(std::max(0, playback.buffer_len));
    config.buffers = uint32_t(std::max(0, playback.buffers));
    return config;
}

} // namespace tunemill
