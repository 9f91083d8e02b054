// Exported modules played by another program: libopenmpt must load every export with the channel
// and order counts we wrote and play it about as long as the song lasts.
#include "fixtures.h"
#include "real_modules.h"

#include "foundation/string_table.h"
#include "instruments/bank.h"
#include "loading/song_loader.h"
#include "modules/export.h"
#include "modules/import.h"
#include "song/song.h"
#include "song/timing.h"

#include <gtest/gtest.h>

#ifdef TUNEMILL_HAVE_OPENMPT
#include <libopenmpt/libopenmpt.hpp>

namespace tunemill {
namespace {

using testing::modules_in;
using testing::shared_modules;

TEST(ExportOracle, ExportsOfRealModulesPlayInLibopenmpt) {
    set_language(Language::ENGLISH);
    const auto folder = shared_modules();
    if (folder.empty()) GTEST_SKIP() << "no shared modules beside the checkout";
    for (const auto& path : modules_in(folder)) {
        Song song;
        load_module(path, song);
        const double song_seconds = double(song_length(song)) / 1000.0;
        for (const ModuleVariant& variant : module_variants()) {
            SCOPED_TRACE(path.filename().string() + " as " + variant.name);
            const ExportedModule built = build_module(song, variant.format);
            openmpt::module played(encode_module(built));
            EXPECT_EQ(played.get_num_channels(), built.channels);
            EXPECT_EQ(played.get_num_orders(), int(built.orders.size()));
            EXPECT_EQ(played.get_metadata("type"), module_format_info(variant.format).name);
            // Orders beyond the format's limits are cut, so only complete exports are timed.
            size_t song_pieces = 0;
            for (uint32_t p : song.sequence)
                song_pieces += (song.patterns[p].tick_length() + 63) / 64;
            if (song_pieces == built.orders.size() && song_seconds > 1) {
                EXPECT_NEAR(played.get_duration_seconds(), song_seconds, song_seconds * 0.05 + 0.5);
            }
            // Songs with notes are heard: the first seconds are not silent.
            if (song_seconds > 1) {
                std::vector<float> audio(44100 * 4);
                const size_t frames = played.read(44100, audio.size(), audio.data());
                float loudest = 0;
                for (size_t i = 0; i < frames; ++i)
                    loudest = std::max(loudest, std::abs(audio[i]));
                EXPECT_GT(loudest, 0.01f);
            }
        }
    }
}

TEST(ExportOracle, DemoSongsPlayInLibopenmpt) {
    set_language(Language::ENGLISH);
    const std::filesystem::path bank_path = std::filesystem::path(TUNEMILL_BIN_DIR) / "tmill.bnk";
    if (!std::filesystem::exists(bank_path)) GTEST_SKIP() << "the stock bank is not built";
    InstrumentBank bank(bank_path);
    const std::filesystem::path demos =
        std::filesystem::path(TUNEMILL_SOURCE_DIR) / "data" / "demos";
    for (const auto& entry : std::filesystem::directory_iterator(demos)) {
        if (entry.path().extension() != ".sn2") continue;
        const Song song =
            read_any_song(entry.path(), [&](const std::string& name) { return bank.load(name); });
        const double song_seconds = double(song_length(song)) / 1000.0;
        for (ModuleFormat format : {ModuleFormat::S3M, ModuleFormat::MOD, ModuleFormat::MOD8}) {
            SCOPED_TRACE(entry.path().filename().string() + " as format " +
                         std::to_string(int(format)));
            const ExportedModule built = build_module(song, format);
            openmpt::module played(encode_module(built));
            EXPECT_EQ(played.get_num_channels(), built.channels);
            EXPECT_EQ(played.get_num_orders(), int(built.orders.size()));
            EXPECT_NEAR(played.get_duration_seconds(), song_seconds, song_seconds * 0.05 + 0.5);
        }
    }
}

} // namespace
} // namespace tunemill
#endif
