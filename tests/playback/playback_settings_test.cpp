// The stored playback settings as the output thread takes them, for the composer and tmw-cli.
#include <gtest/gtest.h>

#include "playback/playback_settings.h"

namespace tunemill {
namespace {

TEST(PlaybackSettings, BecomeTheOutputThreadsConfiguration) {
    PlaybackSettings stored;
    stored.device_id = 2;
    stored.sampling_rate = 22050;
    stored.stereo = 0;
    stored.out_16bit = 1;
    stored.oversample = 0;
    stored.amplification = 40;
    stored.buffer_len = 30;
    stored.buffers = 6;
    PlaybackConfig expected;
    expected.device = 2;
    expected.rate = 22050;
    expected.stereo = false;
    expected.sixteen_bit = true;
    expected.interpolate = false;
    expected.amplification = 40;
    expected.buffer_len = 30;
    expected.buffers = 6;
    EXPECT_EQ(playback_config(stored), expected);

    // Any negative device id is the system's default device, and damaged negative figures
    // become 0 rather than huge unsigned ones.
    for (int32_t device : {-1, -5, INT32_MIN}) {
        stored.device_id = device;
        EXPECT_EQ(playback_config(stored).device, DEFAULT_OUTPUT_DEVICE) << device;
    }
    stored.sampling_rate = -8000;
    stored.amplification = -3;
    stored.buffers = -1;
    const PlaybackConfig damaged = playback_config(stored);
    EXPECT_EQ(damaged.rate, 0u);
    EXPECT_EQ(damaged.amplification, 0u);
    EXPECT_EQ(damaged.buffers, 0u);
}

} // namespace
} // namespace tunemill
