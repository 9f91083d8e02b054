// A composer run that changes its song and waits to be killed: the recovery tests start it as a
// second process, let it autosave, and end it with SIGKILL as a crash would.
//
// usage: tmw_recovery_child SONG NEW-PATTERN-NAME
// Loads SONG, renames pattern 0 through the document's edit path, autosaves, prints the path of
// its recovery file and waits.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "app/document/autosave.h"
#include "app/document/document.h"
#include "app/shell/application.h"
#include "strings/steps_strings.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tunemill::Composer::Options options;
    options.splash = false;
    options.offer_recovery = false;
    tunemill::Composer composer(options);
    composer.start({QString::fromLocal8Bit(argv[1])});
    const std::string name = argv[2];
    tunemill::Edit edit;
    edit.name = tunemill::U_RENAME_PATTERN;
    edit.change.pattern = -1;
    composer.document().edit(edit, [&](tunemill::EditContext& context) {
        tunemill::rename_pattern(context.song(), 0, name);
    });
    if (!composer.autosaver().save_now()) return 1;
    std::printf("%s\n", composer.autosaver().song_file().c_str());
    std::fflush(stdout);
    return app.exec();
}
