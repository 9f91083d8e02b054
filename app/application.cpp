// Start-up and shut-down of the composer.
#include "app/application.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <iostream>

#include "app/about_box.h"
#include "app/art.h"
#include "app/document.h"
#include "app/error_box.h"
#include "app/live_events.h"
#include "app/main_window.h"
#include "app/player.h"
#include "foundation/string_table.h"
#include "platform/audio_device.h"
#include "settings/settings.h"
#include "strings/composer_strings.h"

namespace tunemill {

bool string_table_present() { return !load_string(S_TEMPO).empty(); }

Composer::Composer(Options options) : options_(std::move(options)) {
    install_error_box();
    read_settings();
    the_song().lock.set_validate(settings().validate != 0);
    AudioSystem& audio = options_.audio ? *options_.audio : deferred_system_audio();
    player_ = std::make_unique<EnginePlayer>(the_song(), audio, settings().playback, settings().repeat != 0);
    midi_ = std::make_unique<MidiInput>(options_.midi_backend ? options_.midi_backend() : make_rtmidi_backend());
    midi_->open(settings().midi_device_id);
}

Composer::~Composer() { finish(); }

MainWindow* Composer::start(const QStringList& arguments) {
    main_window_ = std::make_unique<MainWindow>(player_.get(), options_.factories);
    MainWindow* frame = main_window_.get();
    // MIDI notes reach the main window, which hands them to the window that takes them.
    midi_poster_ = std::make_unique<MidiNotePoster>(frame);
    midi_->set_target(midi_poster_.get());
    frame->restore_placement();
    if (settings().main_window_maximized) frame->showMaximized();
    else frame->show();
    if (options_.splash) {
        auto* splash = new AboutBox(AboutBox::Mode::SPLASH, frame);
        splash->show();
        splash->repaint();
    }
    the_song().modified = false;
    if (settings().keyboard_window_open) frame->show_keyboard_window();
    if (settings().sequence_window_open) frame->show_sequence_window();
    if (settings().instruments_window_open) frame->show_instruments_window();
    const QString command_line = arguments.join(QLatin1Char(' '));
    if (!command_line.isEmpty()) frame->load_song(from_qstring_path(command_line));
    else frame->new_song();
    return frame;
}

bool Composer::finish() {
    if (finished_) return true;
    finished_ = true;
    if (player_) player_->stop();
    // No MIDI callback may post to the main window once it is gone: closing ends the callbacks.
    midi_->close();
    midi_->set_target(nullptr);
    return write_settings();
}

int run_composer(const QStringList& arguments) {
    QElapsedTimer launched;
    launched.start();
    QApplication::setApplicationName(QString::fromUtf8(PRODUCT_NAME));
    QApplication::setWindowIcon(program_icon());
    Composer composer;
    MainWindow* frame = composer.start(arguments);
    // TMW_STARTUP_PROBE: report the time to the shown main window and end (for measurements).
    if (qEnvironmentVariableIsSet("TMW_STARTUP_PROBE")) {
        QTimer::singleShot(0, frame, [&launched, frame] {
            std::cerr << "tmw: main window shown after " << launched.elapsed() << " ms\n";
            frame->close();
        });
    }
    const int code = QApplication::exec();
    composer.finish();
    return code;
}

} // namespace tunemill
