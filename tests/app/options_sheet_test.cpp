// The Options sheet as a user works it: each page's Apply puts its values into effect at once
// and Cancel leaves them, the settings store holds the result whichever button closed the sheet,
// a new output device and rate are heard from the next play on, and a MIDI device that cannot be
// opened is reported and leaves MIDI input off.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "app/common/help.h"

#include "app/common/commands.h"
#include "app/dialogs/options_sheet.h"
#include "app/dialogs/playback_page.h"
#include "app/keyboard/keyboard_window.h"
#include "app/keyboard/piano_view.h"
#include "app/live/live_input.h"
#include "app/live/player.h"
#include "live_fixture.h"
#include "platform/registry.h"
#include "playback/output_thread.h"

namespace tunemill {
namespace {

using test::process_until;

class OptionsSheetTest : public test::LiveTest {
  protected:
    // Opens View > Options and runs `work` on the sheet inside its own event loop.
    void with_sheet(const std::function<void(OptionsSheet&)>& work) {
        bool ran = false;
        test::when_modal([&](QWidget* widget) {
            auto* sheet = qobject_cast<OptionsSheet*>(widget);
            if (!sheet) {
                ADD_FAILURE() << "expected the Options sheet, got "
                              << widget->metaObject()->className();
                widget->close();
                return;
            }
            ran = true;
            work(*sheet);
            if (sheet->isVisible()) sheet->reject();
        });
        frame_->run_command(CMD_OPTIONS);
        EXPECT_TRUE(ran);
    }
    static void click(OptionsSheet& sheet, QDialogButtonBox::StandardButton button) {
        sheet.buttons()->button(button)->click();
    }
    template <typename Widget> static Widget* find(OptionsSheet& sheet, const char* name) {
        auto* widget = sheet.findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static void choose(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    // The settings as the store holds them now.
    Settings stored() const {
        RegistryStore store(RegistryRoot::CURRENT_USER);
        return read_settings(store, "/nowhere");
    }
};

TEST_F(OptionsSheetTest, PlaybackApplyReconfiguresTheEngineAndCancelLeavesIt) {
    start_composer();
    OutputThread& output = composer_->player()->output();
    with_sheet([&](OptionsSheet& sheet) {
        EXPECT_EQ(sheet.pages()->currentIndex(), 0) << "starts on the Playback page";
        QPushButton* apply = sheet.buttons()->button(QDialogButtonBox::Apply);
        EXPECT_FALSE(apply->isEnabled());
        auto* rates = find<QComboBox>(sheet, "SamplingRate");
        EXPECT_EQ(rates->currentText(), "44100");
        choose(rates, rates->findText("22050"));
        find<QRadioButton>(sheet, "Mono")->click();
        find<QCheckBox>(sheet, "Interpolation")->click();
        auto* amplification = find<QSlider>(sheet, "Amplification");
        amplification->setValue(90);
        EXPECT_EQ(find<QLabel>(sheet, "AmplificationValue")->text(), "500%");
        EXPECT_TRUE(apply->isEnabled());
        apply->click();
        EXPECT_FALSE(apply->isEnabled());
        EXPECT_EQ(output.config().rate, 22050u);
        EXPECT_FALSE(output.config().stereo);
        EXPECT_FALSE(output.config().interpolate);
        EXPECT_EQ(output.config().amplification, 90u);

        // The advanced options, then Cancel: nothing of them is kept.
        test::when_modal([](QWidget* widget) {
            auto* dialog = qobject_cast<AdvancedPlaybackDialog*>(widget);
            ASSERT_NE(dialog, nullptr);
            dialog->block_length_box()->setValue(10);
            dialog->blocks_box()->setValue(2);
            EXPECT_TRUE(dialog->findChild<QLabel*>("Latency")->text().contains("20 ms"));
            dialog->accept();
        });
        find<QPushButton>(sheet, "Advanced")->click();
        amplification->setValue(0);
        click(sheet, QDialogButtonBox::Cancel);
    });
    EXPECT_EQ(output.config().buffer_len, 20u);
    EXPECT_EQ(output.config().amplification, 90u);
    const Settings store = stored();
    EXPECT_EQ(store.playback.sampling_rate, 22050);
    EXPECT_EQ(store.playback.stereo, 0);
    EXPECT_EQ(store.playback.oversample, 0);
    EXPECT_EQ(store.playback.amplification, 90);
    EXPECT_EQ(store.playback.buffer_len, 20);

    // OK applies as Apply does: 2 blocks of 10 ms.
    with_sheet([&](OptionsSheet& sheet) {
        test::when_modal([](QWidget* widget) {
            auto* dialog = qobject_cast<AdvancedPlaybackDialog*>(widget);
            ASSERT_NE(dialog, nullptr);
            dialog->block_length_box()->setValue(10);
            dialog->blocks_box()->setValue(2);
            dialog->accept();
        });
        find<QPushButton>(sheet, "Advanced")->click();
        click(sheet, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(output.config().buffer_len, 10u);
    EXPECT_EQ(output.config().buffers, 2u);
    EXPECT_EQ(stored().playback.buffers, 2);
}

TEST_F(OptionsSheetTest, ANewDeviceAndRateAreHeardFromTheNextPlay) {
    // The second device plays only mono 8-bit, and nothing at 48000 Hz.
    NullDeviceOptions small;
    small.name = "Small speaker";
    small.formats = {FORMAT_MONO_8, FORMAT_MONO_8, FORMAT_MONO_8, FORMAT_MONO_8, FORMAT_MONO_8, 0};
    audio_devices_ = {NullDeviceOptions{}, small};
    start_composer();
    add_instrument("Organ", true);
    OutputThread& output = composer_->player()->output();
    frame_->run_command(CMD_KEYBOARD);
    KeyboardWindow* keyboard = find_window<KeyboardWindow>();
    ASSERT_NE(keyboard, nullptr);
    keyboard->live().start_key(36);
    ASSERT_TRUE(output.is_running());
    EXPECT_EQ(audio_->last_format(), (WaveFormat{44100, 2, 16}));
    keyboard->live().release_all();

    with_sheet([&](OptionsSheet& sheet) {
        auto* devices = find<QComboBox>(sheet, "OutputDevice");
        ASSERT_EQ(devices->itemText(1), "Small speaker");
        choose(devices, 1);
        auto* rates = find<QComboBox>(sheet, "SamplingRate");
        choose(rates, rates->findText("48000"));
        click(sheet, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(stored().playback.device_id, 1);
    keyboard->live().start_key(38);
    ASSERT_TRUE(process_until([&] { return output.is_running(); }));
    // The device's highest rate below the one asked for, in its only format.
    EXPECT_EQ(audio_->last_format(), (WaveFormat{44100, 1, 8}));
    keyboard->live().release_all();
}

TEST_F(OptionsSheetTest, EnvironmentApplySetsCellsRangeMappingAndFolders) {
    start_composer();
    add_instrument("Organ", true);
    frame_->run_command(CMD_KEYBOARD);
    KeyboardWindow* keyboard = find_window<KeyboardWindow>();
    ASSERT_NE(keyboard, nullptr);
    const std::string song_folder = (dir_ / "songs").string();
    with_sheet([&](OptionsSheet& sheet) {
        sheet.pages()->setCurrentIndex(1);
        auto* cells = find<QComboBox>(sheet, "CellSize");
        EXPECT_EQ(cells->currentText(), "Medium");
        choose(cells, 2);
        auto* range = find<QComboBox>(sheet, "KeyboardRange");
        EXPECT_EQ(range->currentText(), "c-1 to c-3");
        EXPECT_EQ(range->itemText(0), "c-3 to b-4");
        choose(range, 5); // the bottom entry: base octave 0
        auto* mapping = find<QComboBox>(sheet, "KeyMapping");
        EXPECT_EQ(mapping->currentText(), "by key position");
        auto* folder = find<QLineEdit>(sheet, "SongFolder");
        folder->setText(QString::fromStdString(song_folder));
        emit folder->textEdited(folder->text());
        sheet.buttons()->button(QDialogButtonBox::Apply)->click();
        EXPECT_EQ(settings().pattern_window.grid_size_x, 15);
        EXPECT_EQ(settings().pattern_window.grid_size_y, 15);
        EXPECT_EQ(settings().keyboard_base_octave, 0);
        EXPECT_EQ(settings().song_folder, song_folder);
        // The keyboard window follows at once: its octave list and the glyphs on its keys.
        EXPECT_EQ(keyboard->octave_list()->currentIndex(), 5);
        EXPECT_EQ(keyboard->piano()->labels()[0], "Z");
        EXPECT_TRUE(keyboard->piano()->labels()[36].isEmpty());

        // Edits after Apply and then Cancel are dropped.
        choose(mapping, 1);
        folder->setText(QStringLiteral("/elsewhere"));
        click(sheet, QDialogButtonBox::Cancel);
    });
    EXPECT_EQ(settings().keyboard_mapping, 0);
    const Settings store = stored();
    EXPECT_EQ(store.song_folder, song_folder);
    EXPECT_EQ(store.pattern_window.grid_size_y, 15);
    EXPECT_EQ(store.keyboard_base_octave, 0);
    EXPECT_EQ(store.keyboard_mapping, 0);

    with_sheet([&](OptionsSheet& sheet) {
        choose(find<QComboBox>(sheet, "KeyMapping"), 1);
        click(sheet, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(stored().keyboard_mapping, 1);
}

TEST_F(OptionsSheetTest, HelpOpensThePageOfTheSheet) {
    start_composer();
    std::vector<QUrl> opened;
    set_url_opener([&opened](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    with_sheet([&](OptionsSheet& sheet) {
        for (int page = 0; page < sheet.pages()->count(); ++page) {
            sheet.pages()->setCurrentIndex(page);
            opened.clear();
            click(sheet, QDialogButtonBox::Help);
            ASSERT_EQ(opened.size(), 1u) << page;
            EXPECT_TRUE(opened[0].toString().contains("options.html"))
                << page << opened[0].toString().toStdString();
        }
    });
    set_url_opener({});
}

TEST_F(OptionsSheetTest, MidiApplyOpensTheDeviceAndAFailureLeavesMidiOff) {
    start_composer();
    MidiInput& midi = composer_->midi_input();
    with_sheet([&](OptionsSheet& sheet) {
        auto* devices = find<QComboBox>(sheet, "MidiDevice");
        ASSERT_EQ(devices->count(), 3);
        EXPECT_EQ(devices->itemText(0), "(none)");
        EXPECT_EQ(devices->currentIndex(), 0);
        choose(devices, 2);
        sheet.buttons()->button(QDialogButtonBox::Apply)->click();
        EXPECT_TRUE(midi.is_open());
        EXPECT_EQ(midi.device_id(), 1u);
        EXPECT_EQ(ports_.calls, std::vector<std::string>{"open 1"});
        // Back to "(none)", then Cancel: what Apply did stays.
        choose(devices, 0);
        click(sheet, QDialogButtonBox::Cancel);
    });
    EXPECT_TRUE(midi.is_open());
    EXPECT_EQ(stored().midi_device_id, 1u);

    ports_.open_code = 4;
    with_sheet([&](OptionsSheet& sheet) {
        choose(find<QComboBox>(sheet, "MidiDevice"), 1);
        const std::vector<QString> boxes =
            test::error_boxes_during([&] { click(sheet, QDialogButtonBox::Ok); });
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].contains("port busy")) << boxes[0].toStdString();
    });
    EXPECT_FALSE(midi.is_open());
    EXPECT_EQ(stored().midi_device_id, 0u);

    ports_.open_code = 0;
    with_sheet([&](OptionsSheet& sheet) {
        choose(find<QComboBox>(sheet, "MidiDevice"), 0);
        click(sheet, QDialogButtonBox::Ok);
    });
    EXPECT_FALSE(midi.is_open());
    EXPECT_EQ(stored().midi_device_id, NO_MIDI_INPUT);
}

} // namespace
} // namespace tunemill
