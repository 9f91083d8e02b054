// Adding a synthesized instrument to the song: kept apart from the other instrument array
// operations so that only programs that synthesize link the synthesizer.
#include "song/instrument_array.h"

namespace tunemill {

size_t add_synthesized_instrument(Song& song, std::string name, uint32_t category,
                                  const SynthParameters& parameters, bool from_bank) {
    return add_instrument(
        song, make_synthesized_instrument(std::move(name), category, parameters, from_bank));
}

} // namespace tunemill
