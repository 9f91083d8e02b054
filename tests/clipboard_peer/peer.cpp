// The clipboard peer of the pattern window tests: one running composer (a main frame with the
// real pattern windows) that copies a block onto the system clipboard, or another that pastes it.
//
//   pattern_clipboard_peer copy SONG READY QUIT   copies pattern 1, ticks 16..32, all voices;
//                                                 writes READY, serves the clipboard until QUIT
//   pattern_clipboard_peer paste SONG OUT         pastes at tick 8 of pattern 0, voice 0; saves OUT
//   pattern_clipboard_peer both FIRST SECOND OUT  runs a copy of FIRST and a paste into SECOND as
//                                                 two processes on the same display
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <filesystem>
#include <iostream>

#include "app/common/commands.h"
#include "app/document/document.h"
#include "app/pattern/pattern_clipboard.h"
#include "app/pattern/pattern_window.h"
#include "app/shell/main_window.h"
#include "app/shell/windows.h"
#include "settings/settings.h"
#include "storage/song_saver.h"

namespace {

using namespace tunemill;

bool wait_for(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

struct Composer {
    Document document;
    MainWindow frame{document, nullptr};
    PatternWindow* window = nullptr;

    explicit Composer(const std::string& song) {
        frame.set_factories(standard_windows(document, frame, nullptr));
        frame.resize(900, 700);
        frame.show();
        frame.load_song(song);
        window = dynamic_cast<PatternWindow*>(frame.first_pattern_window());
    }
};

int copy(const std::string& song, const QString& ready, const QString& quit) {
    Composer composer(song);
    if (!composer.window) return 2;
    composer.window->point_at(1);
    settings().all_voices = 1;
    composer.window->editor().set_block(16, 32, Pane::NOTES);
    composer.window->run_command(CMD_COPY);
    if (!wait_for([] { return clipboard_holds_pattern(); }, 5000)) {
        std::cerr << "copy: the clipboard holds no block\n";
        return 3;
    }
    QFile marker(ready);
    marker.open(QIODevice::WriteOnly);
    marker.close();
    // The block lives on the clipboard while this program runs.
    if (!wait_for([&] { return QFile::exists(quit); }, 30000)) return 4;
    return 0;
}

int paste(const std::string& song, const std::string& out) {
    Composer composer(song);
    if (!composer.window) return 2;
    composer.window->point_at(0);
    composer.window->editor().set_voice(0);
    composer.window->editor().set_cursor(8);
    if (!wait_for([] { return clipboard_holds_pattern(); }, 10000)) {
        std::cerr << "paste: no block on the clipboard\n";
        return 5;
    }
    composer.window->run_command(CMD_PASTE);
    write_song_file(composer.document.song(), out);
    std::cout << "pasted " << composer.window->editor().cursor() - 8 << " ticks\n";
    return 0;
}

int both(const QString& first, const QString& second, const QString& out) {
    const QString program = QCoreApplication::applicationFilePath();
    const QString ready = out + QStringLiteral(".ready");
    const QString quit = out + QStringLiteral(".quit");
    QFile::remove(ready);
    QFile::remove(quit);
    QProcess copier;
    copier.setProcessChannelMode(QProcess::ForwardedChannels);
    copier.start(program, {QStringLiteral("copy"), first, ready, quit});
    if (!wait_for([&] { return QFile::exists(ready) || copier.state() == QProcess::NotRunning; },
                  20000) ||
        !QFile::exists(ready)) {
        std::cerr << "both: the copy did not get ready\n";
        copier.kill();
        return 6;
    }
    QProcess paster;
    paster.setProcessChannelMode(QProcess::ForwardedChannels);
    paster.start(program, {QStringLiteral("paste"), second, out});
    paster.waitForFinished(30000);
    QFile marker(quit);
    marker.open(QIODevice::WriteOnly);
    marker.close();
    copier.waitForFinished(10000);
    QFile::remove(ready);
    QFile::remove(quit);
    return paster.exitStatus() == QProcess::NormalExit ? paster.exitCode() : 7;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "both" && argc == 5) {
        QCoreApplication application(argc, argv);
        return both(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                    QString::fromLocal8Bit(argv[4]));
    }
    QApplication application(argc, argv);
    if (mode == "copy" && argc == 5)
        return copy(argv[2], QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
    if (mode == "paste" && argc == 4) return paste(argv[2], argv[3]);
    std::cerr << "usage: pattern_clipboard_peer copy SONG READY QUIT | paste SONG OUT | both FIRST "
                 "SECOND OUT\n";
    return 1;
}

// The X11 platform's process-long caches (fonts, the session bus) stay until exit by design.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
