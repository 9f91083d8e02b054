// The keyboard window and every page of the Options sheet, in English and German, for a person
// to judge: build/tests/screenshots/*.png.
#include <QDialogButtonBox>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "app/common/commands.h"
#include "app/dialogs/options_sheet.h"
#include "app/keyboard/keyboard_window.h"
#include "app/keyboard/piano_view.h"
#include "app/live/live_input.h"
#include "foundation/string_table.h"
#include "live_fixture.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

class LiveScreenshots : public test::LiveTest {};

TEST_F(LiveScreenshots, KeyboardWindowAndOptionsPagesInBothLanguages) {
    const fs::path shots = fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "screenshots";
    fs::create_directories(shots);
    for (const auto& [language, suffix] :
         {std::pair{Language::ENGLISH, "en"}, std::pair{Language::GERMAN, "de"}}) {
        set_language(language);
        settings() = Settings{};
        start_composer(0);
        for (const char* name : {"Grand Piano", "Warm Strings", "Synth Bass"})
            add_instrument(name, true);
        frame_->resize(1000, 420);
        frame_->run_command(CMD_KEYBOARD);
        KeyboardWindow* keyboard = find_window<KeyboardWindow>();
        ASSERT_NE(keyboard, nullptr);
        auto* child = qobject_cast<QMdiSubWindow*>(keyboard->parentWidget());
        child->move(0, 0);
        keyboard->piano()->setFocus();
        test::process_for(50);
        // A chord held, so that the grey keys show.
        for (uint32_t key : {36u, 40u, 43u, 46u})
            keyboard->live().start_key(key);
        keyboard->refresh_sounding();
        test::process_for(50);
        EXPECT_TRUE(child->grab().save(QString::fromStdString(
            (shots / (std::string("keyboard-") + suffix + ".png")).string())));
        keyboard->live().release_all();

        test::when_modal([&](QWidget* widget) {
            auto* sheet = qobject_cast<OptionsSheet*>(widget);
            ASSERT_NE(sheet, nullptr);
            const char* pages[] = {"playback", "environment", "midi"};
            for (int page = 0; page < 3; ++page) {
                sheet->pages()->setCurrentIndex(page);
                test::process_for(30);
                const std::string file =
                    std::string("options-") + pages[page] + "-" + suffix + ".png";
                EXPECT_TRUE(sheet->grab().save(QString::fromStdString((shots / file).string())));
            }
            test::when_modal([&](QWidget* advanced) {
                test::process_for(30);
                const std::string file = std::string("options-advanced-") + suffix + ".png";
                EXPECT_TRUE(advanced->grab().save(QString::fromStdString((shots / file).string())));
                advanced->close();
            });
            sheet->pages()->setCurrentIndex(0);
            sheet->findChild<QPushButton*>("Advanced")->click();
            sheet->reject();
        });
        frame_->run_command(CMD_OPTIONS);
        composer_->document().song_for_engine().modified = false;
        frame_->close();
        frame_ = nullptr;
        composer_.reset();
    }
    set_language(Language::ENGLISH);
}

} // namespace
} // namespace tunemill
