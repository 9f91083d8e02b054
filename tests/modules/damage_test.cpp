// Damaged modules: bytes changed at random and files cut short must load into a valid song or
// fail with one of the loader's messages, never crash. Deterministic, so a failure repeats.
#include "fixtures.h"

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "modules/import.h"
#include "song/song.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace tunemill {
namespace {

using testing::ModBuilder;
using testing::S3mBuilder;
using testing::S3mInstrumentSpec;
using testing::TempFolder;

void survive_damage(const std::string& original, TempFolder& folder, int rounds) {
    std::mt19937 random(1234);
    for (int round = 0; round < rounds; ++round) {
        std::string bytes = original;
        if (round % 4 == 3) {
            bytes.resize(random() % bytes.size());
        } else {
            const int changes = 1 + int(random() % 8);
            for (int i = 0; i < changes; ++i) {
                // Mostly the headers and tables, where counts and offsets live.
                const size_t at = random() % 2 ? random() % std::min<size_t>(bytes.size(), 1400)
                                               : random() % bytes.size();
                bytes[at] = char(random() % 3 == 0 ? 0xFF : random());
            }
        }
        const auto path = folder.write("damaged", bytes);
        Song song;
        try {
            load_module(path, song);
            EXPECT_TRUE(validate(song)) << "round " << round;
        } catch (const ERROR& error) {
            const std::string message = error.compose_message();
            EXPECT_TRUE(message == "Damaged song file" ||
                        message == "Unknown or damaged song file" ||
                        message == "Internal load error")
                << "round " << round << ": " << message;
        }
    }
}

TEST(DamagedModules, BuiltModulesSurviveDamage) {
    set_language(Language::ENGLISH);
    TempFolder folder;
    ModBuilder mod;
    mod.song = {0, 1, 0};
    for (int s = 0; s < 4; ++s) {
        testing::ModSample sample;
        sample.name = "s" + std::to_string(s);
        sample.length_words = 300;
        sample.loop_start_words = uint16_t(s * 50);
        sample.loop_length_words = uint16_t(s ? 100 : 1);
        mod.samples.push_back(sample);
    }
    for (int row = 0; row < 64; row += 2) {
        mod.cell(0, row, row % 4, uint16_t(214 + row), uint8_t(1 + row % 4), uint8_t(row % 16),
                 uint8_t(row * 3));
        mod.cell(1, row, (row + 1) % 4, uint16_t(428 - row), uint8_t(1 + row % 3),
                 uint8_t((row + 5) % 16), uint8_t(row));
    }
    survive_damage(mod.bytes(), folder, 300);

    S3mBuilder s3m;
    s3m.settings[0] = 0;
    s3m.settings[1] = 8;
    s3m.settings[2] = 0;
    s3m.orders = {0, 1, 254, 0};
    for (int i = 0; i < 3; ++i) {
        S3mInstrumentSpec instrument;
        instrument.data.assign(500, uint8_t(i * 40));
        instrument.flags = i == 1 ? 1 : (i == 2 ? 4 : 0);
        instrument.loop_begin = 100;
        instrument.loop_end = 400;
        s3m.instruments.push_back(instrument);
    }
    for (int row = 0; row < 64; row += 3)
        for (int channel = 0; channel < 3; ++channel)
            s3m.cells[{row % 2, row, channel}] = {uint8_t(0x30 + row % 12 + (row % 3) * 16),
                                                  uint8_t(1 + row % 3), uint8_t(row),
                                                  uint8_t(1 + row % 20), uint8_t(row * 5)};
    survive_damage(s3m.bytes(), folder, 300);
}

TEST(DamagedModules, RealModulesSurviveDamage) {
    set_language(Language::ENGLISH);
    const auto shared = testing::shared_modules();
    if (shared.empty()) GTEST_SKIP() << "no shared modules beside the checkout";
    TempFolder folder;
    for (const char* name : {"Tinytune.mod", "Gidion_Graveland.mod", "GAMEMUSIC.mod",
                             "purple_motion-inspiration.s3m"}) {
        SCOPED_TRACE(name);
        std::ifstream in(shared / name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        survive_damage(bytes, folder, 40);
    }
}

} // namespace
} // namespace tunemill
