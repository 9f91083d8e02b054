// The instrument browser, the instruments window and their dialogs, driven as a user works them:
// clicks and keys on the real widgets, then a look at the song, its undo history and the files.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <sndfile.h>

#include "app/common/category_art.h"
#include "app/common/commands.h"
#include "app/common/help.h"
#include "app/document/document.h"
#include "app/instruments/category_strip.h"
#include "app/instruments/instrument_browser_dialog.h"
#include "app/instruments/instrument_commands.h"
#include "app/instruments/instrument_dialogs.h"
#include "app/instruments/instrument_list_model.h"
#include "app/instruments/instruments_window.h"
#include "app/instruments/preview_keys.h"
#include "app/live/live_events.h"
#include "app/live/player.h"
#include "app/shell/application.h"
#include "app/shell/main_window.h"
#include "app/shell/placement.h"
#include "app_fixture.h"
#include "foundation/string_table.h"
#include "instruments/bank.h"
#include "instruments/instrument_file.h"
#include "instruments/library.h"
#include "platform/audio_device.h"
#include "settings/settings.h"
#include "song/editing.h"
#include "song/instrument_array.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"
#include "strings/steps_strings.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;
using test::error_boxes_during;
using test::when_modal;

// An instrument of our own: a short 8-bit saw, distinct by its name and first sample.
Instrument saw(const std::string& name, uint8_t first = 0, uint32_t category = 11) {
    Instrument instrument = make_sampled_instrument(name, category, 400, NO_LOOP, 22050, 1, false);
    for (uint32_t i = 0; i < 400; ++i)
        instrument.samples[i] = uint8_t(i * 5 + first);
    return instrument;
}

std::vector<uint8_t> wav_bytes(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t frames) {
    const uint32_t data = frames * channels * bits / 8;
    std::vector<uint8_t> out;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    };
    auto put16 = [&](uint16_t v) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    };
    auto tag = [&](const char* t) {
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(t[i]));
    };
    tag("RIFF");
    put32(36 + data);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);
    put16(channels);
    put32(rate);
    put32(rate * channels * bits / 8);
    put16(uint16_t(channels * bits / 8));
    put16(bits);
    tag("data");
    put32(data);
    for (uint32_t i = 0; i < data; ++i)
        out.push_back(uint8_t(i * 7));
    return out;
}

class InstrumentsTest : public test::AppTest {
  protected:
    void SetUp() override {
        test::AppTest::SetUp();
        settings() = Settings{};
        Composer::Options options;
        options.splash = false;
        options.audio = &audio_;
        options.offer_recovery = false;
        composer_ = std::make_unique<Composer>(options);
        // After the composer read the (empty) settings: an instrument folder of the test's own.
        settings().instrument_folder = (dir_ / "instruments").string();
        fs::create_directories(dir_ / "instruments");
        frame_ = composer_->start({});
        frame_->resize(1000, 700);
    }
    void TearDown() override {
        document().mark_saved(); // no save prompt at the end
        frame_->close();
        composer_.reset();
        test::AppTest::TearDown();
    }
    Document& document() { return composer_->document(); }
    const Song& song() { return document().song(); }

    // A song of the given instruments; pattern p has one voice (with a note) on each index
    // listed for it.
    void make_song(std::vector<Instrument> instruments, std::vector<std::vector<uint32_t>> voices) {
        ASSERT_TRUE(document().edit(
            Edit{U_ADD_INSTRUMENT, SongChange{}, std::nullopt, 0}, [&](EditContext& context) {
                for (Instrument& instrument : instruments)
                    context.add_instrument(std::move(instrument));
                Song& edited = context.song();
                while (edited.patterns.size() < voices.size())
                    add_pattern(edited, "Pattern " + std::to_string(edited.patterns.size() + 1));
                for (size_t p = 0; p < voices.size(); ++p)
                    for (uint32_t instrument : voices[p]) {
                        Voice voice;
                        voice.id = next_voice_id();
                        voice.instrument = instrument;
                        edited.patterns[p].voices.push_back(voice);
                        add_note(edited.patterns[p], edited.patterns[p].voices.size() - 1, 0, 4,
                                 36);
                    }
            }));
        document().history().clear();
        document().mark_saved();
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const Instrument& instrument : song().instruments)
            out.push_back(instrument.name);
        return out;
    }
    // The library items of a category that the stock bank fills.
    uint32_t bank_category() {
        InstrumentLibrary& library = library_for_browser();
        for (uint32_t category = 0; category < CATEGORY_COUNT; ++category)
            if (library.items(category).size() >= 3) return category;
        ADD_FAILURE() << "the stock bank has no category with three instruments";
        return 0;
    }
    std::unique_ptr<InstrumentBrowser> open_browser(BrowserMode mode = BrowserMode::ADD_VOICE) {
        auto browser = std::make_unique<InstrumentBrowser>(frame_, document(), mode);
        browser->show();
        browser->activateWindow();
        QApplication::setActiveWindow(browser.get());
        QApplication::processEvents();
        return browser;
    }
    static QListWidget* items(QWidget* browser) {
        return browser->findChild<QListWidget*>(QStringLiteral("items"));
    }
    static CategoryStrip* strip(QWidget* window) {
        return window->findChild<CategoryStrip*>(QStringLiteral("categories"));
    }
    static QPushButton* button(QWidget* window, const char* name) {
        return window->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static void choose_category(QWidget* window, uint32_t category) {
        CategoryStrip* icons = strip(window);
        QTest::mouseClick(icons, Qt::LeftButton, {}, icons->cell_rect(category).center());
    }
    InstrumentsWindow* open_window() {
        frame_->show_instruments_window();
        QApplication::processEvents();
        auto* window = frame_->findChild<InstrumentsWindow*>();
        if (window) {
            window->list()->setFocus();
            QApplication::setActiveWindow(frame_);
        }
        return window;
    }

    NullAudioSystem audio_;
    std::unique_ptr<Composer> composer_;
    MainWindow* frame_ = nullptr;
};

// --- The browser ---

TEST_F(InstrumentsTest, BrowserStripChoosesTheCategoryByMouseAndKeys) {
    auto browser = open_browser();
    InstrumentLibrary& library = library_for_browser();
    auto* name = browser->findChild<QLabel*>(QStringLiteral("categoryName"));
    const uint32_t category = bank_category();
    choose_category(browser.get(), category);
    EXPECT_EQ(name->text(), QStringLiteral(" ") + category_name(category));
    ASSERT_EQ(items(browser.get())->count(), int(library.items(category).size()));
    for (int row = 0; row < items(browser.get())->count(); ++row)
        EXPECT_EQ(items(browser.get())->item(row)->text().toStdString(),
                  library.items(category)[size_t(row)].name);
    EXPECT_EQ(items(browser.get())->currentRow(), 0);

    // Arrow keys move through both rows; End is "no category", whose name is only the blank.
    struct Step {
        Qt::Key key;
        uint32_t expected;
    };
    strip(browser.get())->setFocus();
    strip(browser.get())->set_category(14);
    for (Step step : {Step{Qt::Key_Right, 15},
                      {Qt::Key_Up, 0},
                      {Qt::Key_Left, 0},
                      {Qt::Key_Down, 15},
                      {Qt::Key_End, NO_CATEGORY},
                      {Qt::Key_Down, NO_CATEGORY},
                      {Qt::Key_Home, 0}}) {
        QTest::keyClick(strip(browser.get()), step.key);
        EXPECT_EQ(strip(browser.get())->category(), step.expected) << "after key " << step.key;
        EXPECT_EQ(items(browser.get())->count(), int(library.items(step.expected).size()));
    }
    QTest::keyClick(strip(browser.get()), Qt::Key_End);
    EXPECT_EQ(name->text(), QStringLiteral(" "));
    browser->reject();
}

TEST_F(InstrumentsTest, BrowserOpensFocusedOnTheItemLoadedLastSoEnterGivesAnInstrumentAtOnce) {
    const uint32_t category = bank_category();
    {
        auto browser = open_browser();
        choose_category(browser.get(), category);
        items(browser.get())->setCurrentRow(2);
        QTest::mouseClick(button(browser.get(), "ok"), Qt::LeftButton);
        ASSERT_TRUE(browser->choice());
    }
    document().remove_temporary_instrument();
    // F3, Enter: the browser comes up on that item, with the list focused.
    when_modal([](QWidget* modal) {
        auto* list = items(modal);
        EXPECT_TRUE(list->hasFocus());
        EXPECT_EQ(list->currentRow(), 2);
        QTest::keyClick(list, Qt::Key_Return);
    });
    const std::optional<BrowserChoice> choice =
        run_instrument_browser(frame_, document(), BrowserMode::ADD_VOICE);
    ASSERT_TRUE(choice);
    EXPECT_TRUE(choice->temporary);
    EXPECT_EQ(choice->index, song().instruments.size() - 1);
    EXPECT_EQ(song().instruments.back().name, library_for_browser().items(category)[2].name);
    document().remove_temporary_instrument();
}

TEST_F(InstrumentsTest, BrowserPreviewsWithTheKeysAndCancelLeavesTheSongAsItWas) {
    make_song({saw("mine")}, {{0}});
    const uint32_t category = bank_category();
    auto browser = open_browser();
    choose_category(browser.get(), category);
    auto* preview = browser->findChild<PreviewKeys*>();
    ASSERT_NE(preview, nullptr);
    ASSERT_NE(preview->keyboard(), nullptr);
    // Three items tried in turn with the piano keys: each sounds, and only one is in the song
    // at any time.
    for (int row = 0; row < 3; ++row) {
        items(browser.get())->setCurrentRow(row);
        QTest::keyPress(items(browser.get()), Qt::Key_Z);
        EXPECT_NE(preview->keyboard()->preview_handle(36), 0u) << row;
        QTest::keyRelease(items(browser.get()), Qt::Key_Z);
        ASSERT_EQ(song().instruments.size(), 2u) << row;
        EXPECT_EQ(song().instruments[1].name,
                  library_for_browser().items(category)[size_t(row)].name);
        EXPECT_EQ(items(browser.get())->currentRow(), row) << "the key moved the selection";
    }
    QTest::mouseClick(button(browser.get(), "cancel"), Qt::LeftButton);
    EXPECT_FALSE(browser->choice());
    EXPECT_EQ(names(), std::vector<std::string>{"mine"});
    EXPECT_FALSE(document().modified());
    EXPECT_EQ(document().history().count(), 0);
}

TEST_F(InstrumentsTest, BrowserReusesAnEqualInstrumentOfTheSong) {
    const uint32_t category = bank_category();
    const LibraryItem item = library_for_browser().items(category)[1];
    // The same bank instrument, and a file in the instrument folder equal to a song instrument.
    Instrument from_bank = instrument_bank().load(item.name);
    save_instrument_file(dir_ / "instruments" / "mine.sa2", saw("mine", 0, 4));
    instrument_library().build(settings().instrument_folder, instrument_bank(),
                               [](const ERROR& error) { show_error(error); });
    make_song({saw("mine", 0, 4), std::move(from_bank)}, {{0, 1}});

    for (auto [chosen_category, name, expected] :
         {std::tuple{category, item.name, size_t(1)},
          std::tuple{4u, std::string("mine"), size_t(0)}}) {
        auto browser = open_browser();
        choose_category(browser.get(), chosen_category);
        const QList<QListWidgetItem*> found =
            items(browser.get())->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name;
        items(browser.get())->setCurrentItem(found.front());
        QTest::keyClick(items(browser.get()), Qt::Key_Return);
        ASSERT_TRUE(browser->choice()) << name;
        EXPECT_EQ(browser->choice()->index, expected) << name;
        EXPECT_FALSE(browser->choice()->temporary) << name;
        EXPECT_EQ(song().instruments.size(), 2u) << name;
    }
}

TEST_F(InstrumentsTest, BrowserShowsADamagedFileOnceAndStaysOpen) {
    // A file whose head the library accepts but whose body is cut short.
    std::vector<uint8_t> bytes = encode_instrument(saw("broken", 0, 12));
    bytes.resize(40);
    test::write_file(dir_ / "instruments" / "broken.sa2", bytes);
    instrument_library().build(settings().instrument_folder, instrument_bank(),
                               [](const ERROR& error) { show_error(error); });
    auto browser = open_browser();
    choose_category(browser.get(), 12);
    const QList<QListWidgetItem*> found =
        items(browser.get())->findItems(QStringLiteral("broken"), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    items(browser.get())->setCurrentItem(found.front());
    const std::vector<QString> errors =
        error_boxes_during([&] { QTest::mouseClick(button(browser.get(), "ok"), Qt::LeftButton); });
    // The box names the file.
    const std::string named = (dir_ / "instruments" / "broken.sa2").string() +
                              " cannot be loaded:\n" + load_string(S_INSTRUMENT_FILE_DAMAGED);
    EXPECT_EQ(errors, std::vector<QString>{QString::fromStdString(named)});
    EXPECT_TRUE(browser->isVisible());
    EXPECT_FALSE(browser->choice());
    EXPECT_TRUE(song().instruments.empty());
}

TEST_F(InstrumentsTest, BrowserLoadedChoosesASongInstrumentAndItsCancelKeepsTheBrowser) {
    make_song({saw("first"), saw("second", 9)}, {{0, 1}});
    auto browser = open_browser();
    // Preview an item first: going to Loaded takes it out again.
    choose_category(browser.get(), bank_category());
    QTest::keyClick(items(browser.get()), Qt::Key_X);
    EXPECT_EQ(song().instruments.size(), 3u);
    when_modal([](QWidget* modal) {
        EXPECT_EQ(modal->objectName(), QStringLiteral("LoadedInstrumentsDialog"));
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    QTest::mouseClick(button(browser.get(), "loaded"), Qt::LeftButton);
    EXPECT_TRUE(browser->isVisible());
    EXPECT_EQ(song().instruments.size(), 2u);

    when_modal([](QWidget* modal) {
        auto* list = modal->findChild<QListView*>(QStringLiteral("instruments"));
        list->setCurrentIndex(list->model()->index(1, 0));
        QTest::keyClick(list, Qt::Key_Return);
    });
    QTest::mouseClick(button(browser.get(), "loaded"), Qt::LeftButton);
    ASSERT_TRUE(browser->choice());
    EXPECT_EQ(browser->choice()->index, 1u);
    EXPECT_FALSE(browser->choice()->temporary);
}

// Imports through the browser's Import button: the file dialog, then for raw data its dialog.
class BrowserImportTest : public InstrumentsTest {
  protected:
    // The raw settings are kept for the run; each test starts from the first ones.
    void SetUp() override {
        InstrumentsTest::SetUp();
        raw_import_settings() = RawImportSettings{};
    }
    std::optional<BrowserChoice> import(const fs::path& file,
                                        std::function<void()> raw_answer = {}) {
        auto browser = open_browser();
        test::answer_file_dialog(QString::fromStdString(file.string()), -1, [raw_answer](QWidget*) {
            if (raw_answer) raw_answer();
        });
        QTest::mouseClick(button(browser.get(), "import"), Qt::LeftButton);
        EXPECT_EQ(browser->isVisible(), !browser->choice());
        return browser->choice();
    }
};

TEST_F(BrowserImportTest, WavFileKeepsItsLeftChannelRateAndName) {
    test::write_file(dir_ / "Bright Pad.wav", wav_bytes(2, 16, 32000, 1000));
    const std::optional<BrowserChoice> choice = import(dir_ / "Bright Pad.wav");
    ASSERT_TRUE(choice);
    EXPECT_TRUE(choice->temporary);
    const Instrument& added = song().instruments.at(choice->index);
    EXPECT_EQ(added.name, "Bright Pad");
    EXPECT_EQ(added.length, 1000u);
    EXPECT_EQ(added.rate, 32000u);
    EXPECT_EQ(added.bytes_per_sample, 2u);
}

TEST_F(BrowserImportTest, RawFileTakesTheSettingsOfItsDialogForTheRun) {
    std::vector<uint8_t> raw(1001 + 64);
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = uint8_t(i);
    test::write_file(dir_ / "drum.raw", raw);
    const std::optional<BrowserChoice> choice = import(dir_ / "drum.raw", [] {
        when_modal([](QWidget* modal) {
            EXPECT_EQ(modal->objectName(), QStringLiteral("ImportRawDialog"));
            modal->findChild<QComboBox*>(QStringLiteral("rate"))
                ->setCurrentText(QStringLiteral("11025"));
            modal->findChild<QRadioButton*>(QStringLiteral("stereo"))->setChecked(true);
            modal->findChild<QLineEdit*>(QStringLiteral("header"))->setText(QStringLiteral("64"));
            QTest::keyClick(modal, Qt::Key_Return);
        });
    });
    ASSERT_TRUE(choice);
    const Instrument& added = song().instruments.at(choice->index);
    EXPECT_EQ(added.name, "drum");
    EXPECT_EQ(added.length, 500u); // 1001 bytes of 8-bit stereo after the header
    EXPECT_EQ(added.rate, 11025u);
    EXPECT_EQ(added.bytes_per_sample, 1u);
    EXPECT_EQ(added.samples[0], 64u); // the left channel right after the header
    EXPECT_EQ(added.samples[1], 66u);
    EXPECT_EQ(raw_import_settings().rate, 11025u);
    EXPECT_TRUE(raw_import_settings().stereo);
    EXPECT_EQ(raw_import_settings().header_size, 64u);
}

TEST_F(BrowserImportTest, CancelledRawDialogKeepsTheBrowserAndTheSong) {
    test::write_file(dir_ / "noise.raw", std::vector<uint8_t>(100, 7));
    EXPECT_FALSE(import(dir_ / "noise.raw", [] {
        when_modal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    }));
    EXPECT_TRUE(song().instruments.empty());
}

TEST_F(BrowserImportTest, FailedImportShowsOneMessageAndKeepsTheBrowser) {
    // Raw data of 3 GB (a sparse file) is more than an instrument can hold.
    const fs::path huge = dir_ / "huge.raw";
    test::write_file(huge, {1, 2, 3});
    fs::resize_file(huge, 3ull << 30);
    std::optional<BrowserChoice> choice;
    const std::vector<QString> errors = error_boxes_during([&] {
        choice = import(huge, [] {
            when_modal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        });
    });
    EXPECT_FALSE(choice);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(
        errors[0].startsWith(QString::fromStdString(huge.string() + " cannot be loaded:\n")))
        << errors[0].toStdString();
    EXPECT_TRUE(song().instruments.empty());
}

TEST_F(InstrumentsTest, ReplaceModeHasItsTitle) {
    auto browser = open_browser(BrowserMode::REPLACE_INSTRUMENT);
    EXPECT_EQ(browser->windowTitle(), QString::fromStdString(load_string(S_REPLACE_INSTRUMENT)));
    auto adding = open_browser(BrowserMode::ADD_VOICE);
    EXPECT_EQ(adding->windowTitle(), dialog_text(D_ADD_VOICE));
}

// --- The small dialogs ---

TEST_F(InstrumentsTest, TypedRawValuesFallBackAsTheDialogPromises) {
    struct Rate {
        const char* typed;
        uint32_t rate;
    };
    for (Rate rate : {Rate{"0", 1},
                      {"1", 1},
                      {"22050", 22050},
                      {"65535", 65535},
                      {"70000", 65535},
                      {"99999999999999999999999", 65535},
                      {"abc", 1},
                      {"", 1},
                      {" 8000 ", 8000}})
        EXPECT_EQ(typed_raw_rate(QString::fromLatin1(rate.typed)), rate.rate) << rate.typed;
    EXPECT_EQ(typed_header_size(QStringLiteral("128")), 128u);
    EXPECT_EQ(typed_header_size(QStringLiteral("-5")), 0u);
    EXPECT_EQ(typed_header_size(QStringLiteral("x")), 0u);
}

TEST_F(InstrumentsTest, SuggestedFileNamesAreCleaned) {
    struct Case {
        std::string name;
        const char* file;
    };
    for (const Case& c : {Case{"a/b", "a b"},
                          {"  Bass", "Bass"},
                          {"x:y*z?\"", "x y z  "},
                          {"a\\b\tc", "a b c"},
                          {" /?", "Untitled"},
                          {"", "Untitled"},
                          {"Caf\xe9", "Café"}})
        EXPECT_EQ(suggested_instrument_file_name(c.name), QString::fromUtf8(c.file)) << c.name;
}

// --- The instruments window ---

TEST_F(InstrumentsTest, WindowOpensOnceFromTheMenuAndKeepsItsPlace) {
    settings().instruments_window_pos = to_window_rect(QRect(30, 20, 400, 300));
    QTest::keyClick(frame_, Qt::Key_F8, Qt::AltModifier);
    QApplication::processEvents();
    ASSERT_TRUE(frame_->instruments_window_open());
    frame_->show_instruments_window();
    EXPECT_EQ(frame_->findChildren<InstrumentsWindow*>().size(), 1);
    auto* child =
        qobject_cast<QMdiSubWindow*>(frame_->findChild<InstrumentsWindow*>()->parentWidget());
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->geometry(), QRect(30, 20, 400, 300));
    EXPECT_EQ(child->windowTitle(), QString::fromStdString(load_string(S_INSTRUMENTS)));
    child->setGeometry(50, 40, 420, 310);
    EXPECT_EQ(settings().instruments_window_pos, to_window_rect(QRect(50, 40, 420, 310)));
    frame_->store_placement();
    EXPECT_EQ(settings().instruments_window_open, 1);
}

TEST_F(InstrumentsTest, HelpOpensThePagesOfTheWindowAndTheBrowser) {
    // The pages beside the test program, as they lie beside the composer.
    const fs::path pages = fs::path(help_folder().toStdString()).parent_path();
    fs::create_directories(pages);
    fs::copy(fs::path(TUNEMILL_SOURCE_DIR) / "resources" / "help", pages,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    std::vector<QUrl> opened;
    set_url_opener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    InstrumentsWindow* window = open_window();
    QTest::keyClick(window->list(), Qt::Key_F1);
    auto browser = open_browser();
    QTest::keyClick(items(browser.get()), Qt::Key_F1);
    set_url_opener({});
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], help_url(HELP_INSTRUMENTS_WINDOW));
    EXPECT_EQ(opened[1], help_url(HELP_ADD_VOICE));
    EXPECT_TRUE(opened[0].toString().endsWith(QStringLiteral("instruments.html")));
    EXPECT_EQ(help_url(HELP_RAW_IMPORT).fragment(), QStringLiteral("raw"));
}

TEST_F(InstrumentsTest, WindowListsTheInstrumentsAndFollowsEveryChange) {
    Instrument stock = saw("Stock");
    stock.from_bank = true;
    make_song({saw("Lead", 0, 12), std::move(stock)}, {{0, 1}});
    InstrumentsWindow* window = open_window();
    ASSERT_NE(window, nullptr);
    QAbstractItemModel* model = window->list()->model();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->index(0, 0).data().toString(), QStringLiteral("Lead"));
    EXPECT_EQ(model->index(0, 0).data(InstrumentListModel::CategoryRole).toUInt(), 12u);
    EXPECT_FALSE(model->index(0, 0).data(InstrumentListModel::FromBankRole).toBool());
    EXPECT_TRUE(model->index(1, 0).data(InstrumentListModel::FromBankRole).toBool());

    // Selection stays on the same instrument when the list changes under it.
    window->select(1);
    ASSERT_TRUE(
        document().edit(Edit{U_ADD_INSTRUMENT, SongChange{}, std::nullopt, 0},
                        [](EditContext& context) { context.add_instrument(saw("Third", 3)); }));
    EXPECT_EQ(model->rowCount(), 3);
    EXPECT_EQ(window->selected(), std::optional<size_t>(1));
    document().undo();
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_EQ(window->selected(), std::optional<size_t>(1));
}

TEST_F(InstrumentsTest, WindowButtonsDoNothingWithoutInstruments) {
    InstrumentsWindow* window = open_window();
    ASSERT_NE(window, nullptr);
    for (const char* name : {"replace", "save", "export", "changeIcon", "rename"})
        EXPECT_FALSE(button(window, name)->isEnabled()) << name;
    // The hidden keys too: no dialog comes up, nothing changes.
    QTest::keyClick(window->list(), Qt::Key_R, Qt::AltModifier);
    QTest::keyClick(window->list(), Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(document().history().count(), 0);
}

TEST_F(InstrumentsTest, ReplaceExchangesTheInstrumentInEveryVoiceAsOneStep) {
    make_song({saw("old"), saw("other", 7)}, {{0, 1}, {1, 0}});
    const Song before = song();
    InstrumentsWindow* window = open_window();
    window->select(0);
    const uint32_t category = bank_category();
    const std::string chosen = library_for_browser().items(category)[0].name;
    when_modal([category](QWidget* modal) {
        choose_category(modal, category);
        QTest::mouseClick(button(modal, "ok"), Qt::LeftButton);
    });
    QTest::mouseClick(button(window, "replace"), Qt::LeftButton);
    // The old instrument is gone, the new one is in every voice that had the old one.
    ASSERT_EQ(names(), (std::vector<std::string>{"other", chosen}));
    EXPECT_EQ(song().patterns[0].voices[0].instrument, 1u);
    EXPECT_EQ(song().patterns[0].voices[1].instrument, 0u);
    EXPECT_EQ(song().patterns[1].voices[0].instrument, 0u);
    EXPECT_EQ(song().patterns[1].voices[1].instrument, 1u);
    EXPECT_EQ(window->selected(), std::optional<size_t>(1));
    EXPECT_EQ(document().history().count(), 1);
    document().undo();
    EXPECT_EQ(names(), (std::vector<std::string>{"old", "other"}));
    EXPECT_EQ(song().patterns[0].voices[0].instrument, before.patterns[0].voices[0].instrument);
    EXPECT_EQ(song().patterns[1].voices[0].instrument, before.patterns[1].voices[0].instrument);
    document().redo();
    EXPECT_EQ(names(), (std::vector<std::string>{"other", chosen}));
}

TEST_F(InstrumentsTest, ReplaceWithTheSameInstrumentOrCancelChangesNothing) {
    make_song({saw("old"), saw("other", 7)}, {{0, 1}});
    InstrumentsWindow* window = open_window();
    window->select(1);
    // Loaded > "other" is the selected instrument itself.
    when_modal([](QWidget* modal) {
        when_modal([](QWidget* loaded) {
            auto* list = loaded->findChild<QListView*>(QStringLiteral("instruments"));
            list->setCurrentIndex(list->model()->index(1, 0));
            QTest::keyClick(list, Qt::Key_Return);
        });
        QTest::mouseClick(button(modal, "loaded"), Qt::LeftButton);
    });
    QTest::mouseClick(button(window, "replace"), Qt::LeftButton);
    when_modal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    QTest::mouseClick(button(window, "replace"), Qt::LeftButton);
    EXPECT_EQ(names(), (std::vector<std::string>{"old", "other"}));
    EXPECT_EQ(document().history().count(), 0);
    EXPECT_FALSE(document().modified());
}

TEST_F(InstrumentsTest, SaveRefusesBankInstrumentsAndWritesOthersUnderTheCleanedName) {
    Instrument stock = saw("Stock");
    stock.from_bank = true;
    make_song({saw("a/b", 0, 3), std::move(stock)}, {{0, 1}});
    InstrumentsWindow* window = open_window();
    window->select(1);
    const std::vector<QString> errors =
        error_boxes_during([&] { QTest::mouseClick(button(window, "save"), Qt::LeftButton); });
    EXPECT_EQ(errors, std::vector<QString>{
                          QString::fromStdString(load_string(S_CANT_SAVE_BANK_INSTRUMENT))});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    window->select(0);
    QString proposed;
    QString suffix;
    const fs::path target = dir_ / "instruments" / "a b.sa2";
    test::answer_file_dialog(QString::fromStdString(target.string()), -1, [&](QWidget* widget) {
        auto* dialog = static_cast<QFileDialog*>(widget);
        proposed =
            QDir(dialog->directory())
                .filePath(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text());
        suffix = dialog->defaultSuffix();
    });
    QTest::mouseClick(button(window, "save"), Qt::LeftButton);
    EXPECT_EQ(proposed, QString::fromStdString((dir_ / "instruments" / "a b").string()));
    EXPECT_EQ(suffix, QStringLiteral("sa2"));
    ASSERT_TRUE(fs::exists(target));
    EXPECT_TRUE(equal(load_instrument_file(target), song().instruments[0]));
}

TEST_F(InstrumentsTest, ExportWritesTheSampleAsAWavFile) {
    make_song({saw("Saw Wave")}, {{0}});
    InstrumentsWindow* window = open_window();
    const fs::path target = dir_ / "saw.wav";
    test::answer_file_dialog(QString::fromStdString(target.string()));
    QTest::keyClick(window->list(), Qt::Key_E, Qt::AltModifier);
    const std::vector<uint8_t> bytes = test::read_file(target);
    ASSERT_EQ(bytes.size(), 44u + 400u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(bytes[34], 8); // bits per sample
    EXPECT_EQ(bytes[24] | (bytes[25] << 8), 22050);
    EXPECT_TRUE(std::equal(bytes.begin() + 44, bytes.end(), song().instruments[0].samples.begin()));
}

// The sample as FLAC (lossless, 8-bit kept) or Ogg Vorbis: the type picked in the dialog's list
// or named by the typed extension; the type chosen last is where the next export starts.
TEST_F(InstrumentsTest, ExportWritesFlacAndOggVorbisToo) {
    make_song({saw("Saw Wave")}, {{0}});
    InstrumentsWindow* window = open_window();
    struct Case {
        const char* typed;
        int type; // entry of the type list: WAV, FLAC, Ogg Vorbis; -1 left as it is
        const char* written;
        int format;
        const char* proposed_next;
    };
    const Case cases[] = {
        {"typed.flac", -1, "typed.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_S8, "Saw Wave.flac"},
        {"picked", 2, "picked.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "Saw Wave.ogg"},
        {"back.wav", 2, "back.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, "Saw Wave.wav"},
    };
    const Instrument& instrument = song().instruments[0];
    for (const Case& each : cases) {
        SCOPED_TRACE(each.typed);
        test::answer_file_dialog(QString::fromStdString((dir_ / each.typed).string()), each.type);
        QTest::mouseClick(button(window, "export"), Qt::LeftButton);
        const test::DecodedSound sound = test::decode_sound(dir_ / each.written);
        EXPECT_EQ(sound.format, each.format);
        EXPECT_EQ(sound.channels, 1);
        EXPECT_EQ(uint32_t(sound.rate), instrument.rate);
        ASSERT_EQ(sound.samples.size(), instrument.length);
        if (each.format != (SF_FORMAT_OGG | SF_FORMAT_VORBIS)) {
            for (uint32_t i = 0; i < instrument.length; ++i)
                ASSERT_EQ(sound.samples[i], (instrument.samples[i] - 128) * 256) << i;
        }
        QString proposed;
        when_modal([&proposed](QWidget* dialog) {
            proposed = dialog->findChild<QLineEdit*>("fileNameEdit")->text();
            static_cast<QDialog*>(dialog)->reject();
        });
        QTest::mouseClick(button(window, "export"), Qt::LeftButton);
        EXPECT_EQ(proposed, QString::fromLatin1(each.proposed_next));
    }
}

TEST_F(InstrumentsTest, ChangeIconAndRenameAreUndoableSteps) {
    Instrument stock = saw("Stock");
    stock.from_bank = true;
    make_song({std::move(stock)}, {{0}});
    InstrumentsWindow* window = open_window();

    when_modal([](QWidget* modal) {
        EXPECT_EQ(strip(modal)->category(), 11u);
        choose_category(modal, 23);
        QTest::keyClick(modal, Qt::Key_Return);
    });
    QTest::mouseClick(button(window, "changeIcon"), Qt::LeftButton);
    EXPECT_EQ(song().instruments[0].category, 23u);

    struct Rename {
        const char* typed;
        bool cancel;
        const char* name;
    };
    for (Rename rename : {Rename{"", false, "Stock"},
                          {"Anything", true, "Stock"},
                          {"Marimba Ä", false, "Marimba \xc4"}}) {
        when_modal([rename](QWidget* modal) {
            auto* field = modal->findChild<QLineEdit*>(QStringLiteral("name"));
            EXPECT_EQ(field->text(), QStringLiteral("Stock"));
            field->setText(QString::fromUtf8(rename.typed));
            QTest::keyClick(field, rename.cancel ? Qt::Key_Escape : Qt::Key_Return);
        });
        QTest::mouseClick(button(window, "rename"), Qt::LeftButton);
        EXPECT_EQ(song().instruments[0].name, rename.name) << rename.typed;
    }
    // A re-categorized or renamed bank instrument is the song's own now (saved whole with it).
    EXPECT_FALSE(song().instruments[0].from_bank);
    EXPECT_EQ(window->list()->model()->index(0, 0).data().toString(), QStringLiteral("Marimba Ä"));
    EXPECT_EQ(document().history().count(), 2);
    document().undo();
    EXPECT_EQ(song().instruments[0].name, "Stock");
    EXPECT_EQ(window->list()->model()->index(0, 0).data().toString(), QStringLiteral("Stock"));
    document().undo();
    EXPECT_EQ(song().instruments[0].category, 11u);
    EXPECT_TRUE(song().instruments[0].from_bank);
    EXPECT_EQ(window->list()->model()->index(0, 0).data(InstrumentListModel::CategoryRole).toUInt(),
              11u);
}

TEST_F(InstrumentsTest, WindowPlaysTheSelectedInstrumentFromThePcKeysAndMidi) {
    make_song({saw("one"), saw("two", 5)}, {{0, 1}});
    InstrumentsWindow* window = open_window();
    window->select(1);
    auto* preview = window->findChild<PreviewKeys*>();
    ASSERT_NE(preview, nullptr);
    ASSERT_NE(preview->keyboard(), nullptr);
    // Z with base octave 3 is key 36; Shift plays an octave higher.
    QTest::keyPress(window->list(), Qt::Key_Z);
    EXPECT_NE(preview->keyboard()->preview_handle(36), 0u);
    QTest::keyRelease(window->list(), Qt::Key_Z);
    QTest::keyPress(window->list(), Qt::Key_Z, Qt::ShiftModifier);
    EXPECT_NE(preview->keyboard()->preview_handle(48), 0u);
    QTest::keyRelease(window->list(), Qt::Key_Z, Qt::ShiftModifier);
    // The piano key did not move the selection as a list's type-ahead would.
    EXPECT_EQ(window->selected(), std::optional<size_t>(1));
    // A MIDI note reaches the active window through the main window.
    ASSERT_EQ(frame_->midi_router().target(), preview);
    MidiNoteEvent note(40, 0);
    QApplication::sendEvent(frame_, &note);
    EXPECT_NE(preview->keyboard()->preview_handle(40), 0u);
}

// The browser and the window in both languages, for a person to judge.
TEST_F(InstrumentsTest, ScreenshotsInBothLanguages) {
    const fs::path shots = fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "screenshots";
    fs::create_directories(shots);
    Instrument stock = instrument_bank().load(library_for_browser().items(bank_category())[0].name);
    make_song({saw("Warm Saw Lead", 0, 12), std::move(stock), saw("Kick 909", 3, 17),
               saw("Strings Ensemble", 4, 9)},
              {{0, 1, 2, 3}});
    for (Language language : {Language::ENGLISH, Language::GERMAN}) {
        set_language(language);
        const std::string tag = language == Language::GERMAN ? "de" : "en";
        auto save = [&](QWidget* widget, const std::string& name) {
            QApplication::processEvents();
            EXPECT_TRUE(widget->grab().save(
                QString::fromStdString((shots / (name + "-" + tag + ".png")).string())));
        };
        {
            auto browser = open_browser();
            choose_category(browser.get(), bank_category());
            save(browser.get(), "instrument-browser");
        }
        {
            InstrumentsWindow window(document(), nullptr);
            window.resize(520, 300);
            window.show();
            window.select(1);
            save(&window, "instruments-window");
        }
        {
            QDialog* shown = nullptr;
            when_modal([&](QWidget* modal) {
                save(modal, "change-icon");
                static_cast<QDialog*>(modal)->reject();
            });
            ask_category(frame_, 17, QStringLiteral("Kick 909"));
            when_modal([&](QWidget* modal) {
                save(modal, "import-raw");
                static_cast<QDialog*>(modal)->reject();
            });
            RawImportSettings raw;
            ask_raw_import_settings(frame_, raw);
            when_modal([&](QWidget* modal) {
                save(modal, "loaded-instruments");
                static_cast<QDialog*>(modal)->reject();
            });
            choose_loaded_instrument(frame_, document(), 1);
            when_modal([&](QWidget* modal) {
                save(modal, "rename-instrument");
                static_cast<QDialog*>(modal)->reject();
            });
            ask_instrument_name(frame_, QStringLiteral("Kick 909"));
            (void)shown;
        }
    }
}

} // namespace
} // namespace tunemill
