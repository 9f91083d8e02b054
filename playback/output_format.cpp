// The output blocks' sizes and the format match: the playback settings adapted to what the chosen
// device can play.
#include <algorithm>

#include "playback/output_thread.h"

namespace tunemill {

uint32_t frames_per_block(uint32_t buffer_len_ms, uint32_t rate) {
    return (uint32_t(uint64_t(buffer_len_ms) * rate / 1000) + 15) & ~15u;
}

uint32_t output_block_count(uint32_t buffers) {
    return std::max(32u, 3 * buffers + 16);
}

PlaybackConfig match_format(const PlaybackConfig& config,
                            const std::vector<OutputDeviceInfo>& devices) {
    PlaybackConfig matched = config;
    if (devices.empty()) {
        matched.device = DEFAULT_OUTPUT_DEVICE;
        return matched;
    }
    auto record = std::find_if(devices.begin(), devices.end(), [&](const OutputDeviceInfo& info) {
        return info.id == config.device;
    });
    if (record == devices.end()) record = devices.begin();
    matched.device = record->id;

    // The configured rate when the device has it, else the highest rate it has.
    size_t chosen = OUTPUT_RATES.size();
    for (size_t r = 0; r < OUTPUT_RATES.size(); ++r) {
        if (!record->formats[r]) continue;
        chosen = r;
        if (OUTPUT_RATES[r] == config.rate) break;
    }
    if (chosen == OUTPUT_RATES.size()) return matched; // the device names no format at all
    matched.rate = OUTPUT_RATES[chosen];
    const uint8_t formats = record->formats[chosen];
    if (!(formats & (FORMAT_STEREO_16 | FORMAT_MONO_16)))
        matched.sixteen_bit = false;
    else if (!(formats & (FORMAT_STEREO_8 | FORMAT_MONO_8)))
        matched.sixteen_bit = true;
    const uint8_t stereo_bit = matched.sixteen_bit ? FORMAT_STEREO_16 : FORMAT_STEREO_8;
    const uint8_t mono_bit = matched.sixteen_bit ? FORMAT_MONO_16 : FORMAT_MONO_8;
    if (!(formats & stereo_bit))
        matched.stereo = false;
    else if (!(formats & mono_bit))
        matched.stereo = true;
    return matched;
}

} // namespace tunemill
