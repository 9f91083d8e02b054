// The sequence window and the arrangement dialogs, for a person to judge, in both languages:
// build/tests/screenshots/*.png.
#include <QApplication>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "app/dialogs/name_dialog.h"
#include "app/dialogs/song_options_dialog.h"
#include "app/document/document.h"
#include "app/sequence/sequence_window.h"
#include "app/shell/main_window.h"
#include "arrangement_fixture.h"
#include "foundation/string_table.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

class ArrangementScreenshots : public test::ArrangementTest {};

TEST_F(ArrangementScreenshots, InBothLanguages) {
    const fs::path shots = fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "screenshots";
    fs::create_directories(shots);
    auto save = [&shots](QWidget* widget, const std::string& name) {
        QApplication::processEvents();
        EXPECT_TRUE(
            widget->grab().save(QString::fromStdString((shots / (name + ".png")).string())));
    };
    for (Language language : {Language::ENGLISH, Language::GERMAN}) {
        set_language(language);
        const std::string tag = language == Language::GERMAN ? "-de" : "-en";
        finish();
        start();
        arrange({"Intro", "Verse", "Chorus", "Bridge", "Solo", "Outro"},
                {0, 1, 2, 1, 2, 3, 4, 2, 2, 5}, 1);
        document().song_for_engine().description = "Sunday Morning";
        frame_->show_sequence_window();
        QMdiSubWindow* child = frame_->mdi_area()->activeSubWindow();
        auto* sequence = qobject_cast<SequenceWindow*>(child->widget());
        ASSERT_NE(sequence, nullptr);
        child->resize(560, 380);
        sequence->pattern_list()->setCurrentIndex(sequence->pattern_list()->model()->index(2, 0));
        sequence->sequence_list()->setCurrentIndex(sequence->sequence_list()->model()->index(4, 0));
        // The pattern list acts: its line highlighted, the sequence's outlined.
        QTest::mouseClick(sequence->pattern_list()->viewport(), Qt::LeftButton, {},
                          sequence->pattern_list()
                              ->visualRect(sequence->pattern_list()->currentIndex())
                              .center());
        save(child, "sequence-window" + tag);
        save(frame_, "sequence-in-frame" + tag);

        SongOptionsDialog options(document(), frame_);
        options.show();
        save(&options, "song-options" + tag);
        options.reject();

        NameDialog fresh(NameDialogKind::NEW_PATTERN, QString(), frame_);
        fresh.show();
        save(&fresh, "new-pattern" + tag);
        fresh.reject();
        NameDialog rename(NameDialogKind::RENAME_PATTERN, QStringLiteral("Chorus"), frame_);
        rename.show();
        save(&rename, "rename-pattern" + tag);
        rename.reject();
    }
    set_language(Language::ENGLISH);
}

} // namespace
} // namespace tunemill
