// The composer's rules that need no window: the placement fitting, the file dialog filters, the
// window title, the typed WAV rate, the key tables and the menu texts in both languages.
#include <QKeySequence>
#include <QSet>
#include <gtest/gtest.h>

#include "app/common/commands.h"
#include "app/common/file_dialogs.h"
#include "app/common/help.h"
#include "app/dialogs/audio_export_dialog.h"
#include "app/document/song_io.h"
#include "app/document/song_paths.h"
#include "app/shell/placement.h"
#include "app_fixture.h"
#include "foundation/string_table.h"
#include "strings/composer_strings.h"

namespace tunemill {
namespace {

WindowRect rect(int left, int top, int right, int bottom) {
    WindowRect r;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}

TEST(Placement, FittingRule) {
    const QSize screen(1920, 1080);
    struct Case {
        WindowRect stored;
        std::optional<QRect> expected;
    } cases[] = {
        {rect(100, 50, 900, 650), QRect(100, 50, 800, 600)},       // inside: unchanged
        {rect(-200, -30, 600, 570), QRect(0, 0, 800, 600)},        // negative start shifted to 0
        {rect(1500, 900, 2300, 1500), QRect(1120, 480, 800, 600)}, // past the edge: shifted back
        {rect(10, 10, 2500, 1400), QRect(0, 0, 1910, 1070)},       // larger than the screen
        {rect(-50, 20, 2100, 700), QRect(0, 20, 1910, 680)},       // negative and too wide
        {rect(100, 100, 100, 600), std::nullopt},                  // empty across
        {rect(100, 100, 600, 100), std::nullopt},                  // empty down
        {rect(600, 100, 100, 500), std::nullopt},                  // reversed: a damaged store
        {rect(0, 0, 0, 0), std::nullopt},                          // never stored
    };
    for (const Case& c : cases) {
        const auto fitted = fit_window_rect(c.stored, screen);
        EXPECT_EQ(fitted.has_value(), c.expected.has_value())
            << c.stored.left << "," << c.stored.top;
        if (fitted && c.expected) {
            EXPECT_EQ(*fitted, *c.expected);
        }
    }
}

TEST(Placement, StoredRectangleRoundTrip) {
    const QRect window(37, 41, 812, 603);
    EXPECT_EQ(fit_window_rect(to_window_rect(window), QSize(1920, 1080)), window);
}

TEST(FileDialogs, FilterListsOfTheStringTable) {
    test::application();
    set_language(Language::ENGLISH);
    EXPECT_EQ(
        file_dialog_filters(composer_text(S_LOAD_SONG_FILTER)),
        QStringList({"All Song Files (*.SN2;*.SN;*.MOD;*.S3M;*.MID) (*.sn2 *.sn *.mod *.s3m *.mid "
                     "*.midi *.rmi)",
                     "Tunemill Songs (*.SN2;*.SN) (*.sn2 *.sn)", "ProTracker Songs (*.MOD) (*.mod)",
                     "ScreamTracker 3 Songs (*.S3M) (*.s3m)",
                     "MIDI Files (*.MID) (*.mid *.midi *.rmi)", "All Files (*.*) (*.*)"}));
    EXPECT_EQ(file_dialog_filters(composer_text(S_MODULE_EXPORT_FILTER)).size(), 4);
    set_language(Language::GERMAN);
    EXPECT_EQ(file_dialog_filters(composer_text(S_SAVE_SONG_FILTER)),
              QStringList({"Tunemill-Songs (*.SN2) (*.sn2)", "Alle Dateien (*.*) (*.*)"}));
    set_language(Language::ENGLISH);
}

TEST(FileDialogs, ExportTypeGivesFormatAndExtension) {
    EXPECT_EQ(module_type_of(0), ModuleType::S3M);
    EXPECT_EQ(module_type_of(1), ModuleType::MOD4);
    EXPECT_EQ(module_type_of(2), ModuleType::MOD6);
    EXPECT_EQ(module_type_of(3), ModuleType::MOD8);
    EXPECT_EQ(module_type_of(7), ModuleType::S3M);
    EXPECT_EQ(module_type_of(-1), ModuleType::S3M);
    EXPECT_STREQ(module_extension(ModuleType::S3M), "s3m");
    for (ModuleType type : {ModuleType::MOD4, ModuleType::MOD6, ModuleType::MOD8})
        EXPECT_STREQ(module_extension(type), "mod");
}

TEST(Document, TitleAndProposedNames) {
    test::application();
    EXPECT_EQ(song_window_title("/home/ann/songs/Untitled"), "Tunemill - Untitled");
    EXPECT_EQ(song_window_title("/home/ann/songs/night.drive.sn2"), "Tunemill - night.drive");
    EXPECT_EQ(song_window_title("/home/ann/my.songs/tune"), "Tunemill - tune");
    EXPECT_EQ(song_window_title("C:\\SONGS\\OLD.SN"), "Tunemill - OLD");
    EXPECT_EQ(path_without_extension("/a/b.c/tune.mod"), "/a/b.c/tune");
    EXPECT_EQ(path_without_extension("/a/b.c/tune"), "/a/b.c/tune");
    EXPECT_EQ(folder_of("/a/b/tune.sn2"), "/a/b");
    EXPECT_EQ(folder_of("tune.sn2"), "");
    set_language(Language::GERMAN);
    EXPECT_EQ(untitled_song_path("/home/ann"), "/home/ann/Unbenannt");
    set_language(Language::ENGLISH);
    EXPECT_EQ(untitled_song_path("/home/ann/"), "/home/ann/Untitled");
}

TEST(WavOptions, TypedRateIsLimited) {
    test::application();
    const std::pair<const char*, uint32_t> cases[] = {
        {"44100", 44100},
        {"1000", 4000},
        {"2000", 4000},
        {"100000", 65535},
        {"65535", 65535},
        {"4000", 4000},
        {"", 4000},
        {"fast", 4000},
        {" 22050 ", 22050},
        {"-8000", 4000},
        {"99999999999999999999", 65535},
    };
    for (const auto& [typed, rate] : cases)
        EXPECT_EQ(typed_export_rate(QString::fromLatin1(typed)), rate) << typed;
}

TEST(Keys, TablesAndPrecedence) {
    EXPECT_EQ(accelerator_command(AcceleratorTable::GLOBAL, Qt::Key_F2, 0), CMD_LOAD);
    EXPECT_EQ(accelerator_command(AcceleratorTable::GLOBAL, Qt::Key_F5, 0), CMD_PLAY_SONG);
    EXPECT_EQ(accelerator_command(AcceleratorTable::GLOBAL, Qt::Key_F5, Qt::AltModifier),
              CMD_PATTERN);
    EXPECT_EQ(accelerator_command(AcceleratorTable::GLOBAL, Qt::Key_Plus, Qt::KeypadModifier),
              CMD_WIND_FORWARD);
    EXPECT_EQ(accelerator_command(AcceleratorTable::GLOBAL, Qt::Key_Minus, Qt::KeypadModifier),
              CMD_WIND_BACK);
    // The main keyboard's plus is no winding key.
    EXPECT_EQ(accelerator_command(AcceleratorTable::GLOBAL, Qt::Key_Plus, 0), 0);
    // Modifiers match exactly.
    EXPECT_EQ(accelerator_command(AcceleratorTable::EDITING, Qt::Key_Delete, 0), CMD_DELETE);
    EXPECT_EQ(accelerator_command(AcceleratorTable::EDITING, Qt::Key_Delete, Qt::ShiftModifier),
              CMD_CUT);
    EXPECT_EQ(accelerator_command(AcceleratorTable::EDITING, Qt::Key_Delete, Qt::ControlModifier),
              0);
    EXPECT_EQ(accelerator_command(AcceleratorTable::EDITING, Qt::Key_Delete, Qt::KeypadModifier),
              CMD_DELETE);
    EXPECT_EQ(accelerator_command(AcceleratorTable::EDITING, Qt::Key_Insert, Qt::ControlModifier),
              CMD_COPY);
    EXPECT_EQ(accelerator_command(AcceleratorTable::EDITING, Qt::Key_S, Qt::AltModifier),
              CMD_SET_PORTAMENTO);
    EXPECT_EQ(accelerator_command(AcceleratorTable::EDITING, Qt::Key_S,
                                  Qt::AltModifier | Qt::ShiftModifier),
              0);
    // A key is in one table only: the editing F-keys are not global.
    EXPECT_EQ(accelerator_command(AcceleratorTable::GLOBAL, Qt::Key_F6, 0), 0);
    EXPECT_EQ(accelerator_command(AcceleratorTable::EDITING, Qt::Key_F5, 0), 0);
    // Every key is given once.
    QSet<QPair<int, int>> seen;
    for (const Accelerator& entry : accelerators()) {
        EXPECT_FALSE(seen.contains({entry.key, entry.modifiers})) << entry.command;
        seen.insert({entry.key, entry.modifiers});
    }
}

// Every item in both languages: a text, the key shown after a tab exactly for items with a key,
// and mnemonics that are unique within their popup (else Alt+letter would be ambiguous).
TEST(MenuTexts, CompleteInBothLanguages) {
    test::application();
    for (Language language : {Language::ENGLISH, Language::GERMAN}) {
        set_language(language);
        const char* name = language == Language::GERMAN ? "German" : "English";
        QSet<QChar> titles;
        for (int popup = 0; popup < POPUP_COUNT; ++popup) {
            const QString title = menu_text(POPUP_TEXT_BASE + uint32_t(popup));
            ASSERT_FALSE(title.isEmpty()) << name << " popup " << popup;
            const QChar mnemonic = title.at(title.indexOf('&') + 1).toLower();
            EXPECT_FALSE(titles.contains(mnemonic)) << name << " title " << title.toStdString();
            titles.insert(mnemonic);
            std::vector<MenuEntry> entries = popup_entries(popup);
            if (popup == EDIT_POPUP)
                for (const MenuEntry& sub : portamento_entries())
                    entries.push_back(sub);
            QSet<QChar> mnemonics;
            for (const MenuEntry& entry : entries) {
                if (entry.command == SEPARATOR) continue;
                const uint32_t id =
                    entry.command == PORTAMENTO_SUBMENU ? PORTAMENTO_TEXT : uint32_t(entry.command);
                const QString text = menu_text(id);
                ASSERT_FALSE(text.isEmpty()) << name << " " << id;
                EXPECT_FALSE(text.contains(QStringLiteral("\\t"))) << text.toStdString();
                const qsizetype amp = text.indexOf('&');
                ASSERT_GE(amp, 0) << text.toStdString();
                const bool portamento_item =
                    entry.command == CMD_SET_PORTAMENTO || entry.command == CMD_CLEAR_PORTAMENTO;
                // Every letter of the English "Redo" already belongs to an item of the Edit menu
                // (Repeat, Record, Delete, Portamento); its key is Ctrl+Y anyway.
                const bool english_redo =
                    entry.command == CMD_REDO && language == Language::ENGLISH;
                if (!portamento_item && !english_redo) {
                    const QChar mnemonic = text.at(amp + 1).toLower();
                    EXPECT_FALSE(mnemonics.contains(mnemonic)) << name << " " << text.toStdString();
                    mnemonics.insert(mnemonic);
                }
                bool has_key = entry.command == CMD_TRANSPOSE_BLOCK; // shows Shift, a mouse mode
                for (const Accelerator& key : accelerators())
                    has_key |= key.command == entry.command;
                EXPECT_EQ(text.contains('\t'), has_key) << name << " " << text.toStdString();
            }
        }
    }
    set_language(Language::ENGLISH);
    EXPECT_EQ(menu_text(CMD_LOAD), "&Load\tF2");
    EXPECT_EQ(menu_text(CMD_CUT), "Cu&t\tShift+Del");
    EXPECT_EQ(menu_text(CMD_WEB_PAGE), "&Larkfield on the Web");
    set_language(Language::GERMAN);
    EXPECT_EQ(menu_text(CMD_LOAD), "&Laden\tF2");
    EXPECT_EQ(menu_text(CMD_COPY), "&Kopieren\tStrg+Einfg");
    EXPECT_EQ(menu_text(CMD_ABOUT), QString::fromUtf8("Ü&ber Tunemill"));
    set_language(Language::ENGLISH);
}

TEST(Help, TopicsOpenTheirPages) {
    test::application();
    set_language(Language::ENGLISH);
    EXPECT_TRUE(help_url(HELP_CONTENTS).toLocalFile().endsWith("/help/en/index.html"));
    EXPECT_TRUE(help_url(3).toString().endsWith("/help/en/menus.html#voice"));
    EXPECT_TRUE(
        help_url(HELP_AUDIO_EXPORT_DIALOG).toLocalFile().endsWith("/help/en/audio-export.html"));
    set_language(Language::GERMAN);
    EXPECT_TRUE(help_url(HELP_LOAD_DIALOG).toString().endsWith("/help/de/files.html#load"));
    set_language(Language::ENGLISH);
    // Every page the program opens exists in both languages, with the anchor it jumps to.
    for (int topic : {int(HELP_CONTENTS),
                      0,
                      1,
                      2,
                      3,
                      4,
                      5,
                      6,
                      int(HELP_LOAD_DIALOG),
                      int(HELP_SAVE_DIALOG),
                      int(HELP_AUDIO_EXPORT_DIALOG),
                      int(HELP_KEYS),
                      int(HELP_SEQUENCE_WINDOW),
                      int(HELP_SONG_OPTIONS),
                      int(HELP_INSTRUMENTS_WINDOW),
                      int(HELP_ADD_VOICE),
                      int(HELP_RAW_IMPORT),
                      int(HELP_KEYBOARD_WINDOW),
                      int(HELP_PLAYBACK_OPTIONS),
                      int(HELP_ADVANCED_PLAYBACK),
                      int(HELP_ENVIRONMENT),
                      int(HELP_MIDI_OPTIONS)}) {
        for (const char* language : {"en", "de"}) {
            const QUrl url = help_url(topic);
            const std::filesystem::path page = std::filesystem::path(TUNEMILL_SOURCE_DIR) /
                                               "resources/help" / language /
                                               url.fileName().toStdString();
            ASSERT_TRUE(std::filesystem::exists(page)) << page;
            if (url.hasFragment()) {
                const auto html = test::read_file(page);
                const std::string anchor = "id=\"" + url.fragment().toStdString() + "\"";
                EXPECT_NE(std::string(html.begin(), html.end()).find(anchor), std::string::npos)
                    << page << anchor;
            }
        }
    }
}

} // namespace
} // namespace tunemill
