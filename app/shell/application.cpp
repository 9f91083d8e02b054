// Start-up and shut-down of the composer.
#include "app/shell/application.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <iostream>

#include "app/common/art.h"
#include "app/common/commands.h"
#include "app/common/error_box.h"
#include "app/document/autosave.h"
#include "app/document/document.h"
#include "app/document/song_paths.h"
#include "app/live/live_events.h"
#include "app/live/player.h"
#include "app/shell/about_box.h"
#include "app/shell/end_signals.h"
#include "app/shell/main_window.h"
#include "app/shell/windows.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "platform/audio_device.h"
#include "settings/settings.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

bool string_table_present() {
    return !load_string(S_TEMPO).empty();
}

Composer::Composer(Options options) : options_(std::move(options)) {
    install_error_box();
    read_settings();
    document_ = std::make_unique<Document>();
    Song& song = document_->song_for_engine();
    song.lock.set_validate(settings().validate != 0);
    autosaver_ =
        std::make_unique<Autosaver>(*document_, recovery_folder(), settings().autosave_interval);
    AudioSystem& audio = options_.audio ? *options_.audio : deferred_system_audio();
    player_ =
        std::make_unique<EnginePlayer>(song, audio, settings().playback, settings().repeat != 0);
    document_->set_arrangement_listener(player_.get());
    midi_ = std::make_unique<MidiInput>(options_.midi_backend ? options_.midi_backend()
                                                              : make_rtmidi_backend());
    midi_->set_reporter(report_in_error_box);
    midi_->open(settings().midi_device_id);
    end_signals_ = std::make_unique<EndSignals>([this] { end_by_signal(); });
}

Composer::~Composer() {
    finish();
    // The windows go before the document they show, the player before the document.
    main_window_.reset();
    document_->set_arrangement_listener(nullptr);
}

MainWindow* Composer::start(const QStringList& arguments) {
    main_window_ = std::make_unique<MainWindow>(*document_, player_.get(), options_.factories);
    MainWindow* frame = main_window_.get();
    const ChildFactories& given = options_.factories;
    if (!given.pattern && !given.sequence && !given.instruments && !given.keyboard &&
        !given.song_options && !given.options)
        frame->set_factories(standard_windows(*document_, *frame, player_.get(), midi_.get()));
    // MIDI notes reach the main window, which hands them to the window that takes them.
    midi_poster_ = std::make_unique<MidiNotePoster>(frame);
    midi_->set_target(midi_poster_.get());
    frame->restore_placement();
    if (settings().main_window_maximized)
        frame->showMaximized();
    else
        frame->show();
    if (options_.splash) {
        auto* splash = new AboutBox(AboutBox::Mode::SPLASH, frame);
        splash->show();
        splash->repaint();
    }
    // Nothing the start did counts as a change of the song (New asks no question).
    document_->song_replaced();
    if (settings().keyboard_window_open) frame->show_keyboard_window();
    if (settings().sequence_window_open) frame->show_sequence_window();
    if (settings().instruments_window_open) frame->show_instruments_window();
    // Each argument is one path. One song is open at a time: the first is opened, and the others
    // are named on stderr rather than passed over silently.
    const QString first = arguments.isEmpty() ? QString() : arguments.front();
    if (arguments.size() > 1)
        std::cerr << format_message(load_string(S_EXTRA_FILES_NOT_OPENED),
                                    {arguments.mid(1).join(QStringLiteral(", ")).toStdString()})
                  << "\n";
    // A file that cannot be loaded has said so; a new song takes its place.
    if (first.isEmpty() || !frame->load_song(from_qstring_path(first))) frame->new_song();
    if (options_.offer_recovery) offer_recovery();
    return frame;
}

void Composer::offer_recovery() {
    for (const RecoveryRecord& record : autosaver_->orphans()) {
        const QString name = song_window_title(record.song_path).section(QStringLiteral(" - "), 1);
        const QLocale locale(current_language() == Language::GERMAN ? QLocale::German
                                                                    : QLocale::English);
        const QString when = locale.toString(record.saved, QLocale::ShortFormat);
        QMessageBox box(QMessageBox::Question, QString::fromUtf8(PRODUCT_NAME),
                        dialog_text(D_RECOVERY_QUESTION).arg(name, when), QMessageBox::NoButton,
                        main_window_.get());
        box.setObjectName(QStringLiteral("RecoveryOffer"));
        QPushButton* recover = box.addButton(dialog_text(D_RECOVER), QMessageBox::AcceptRole);
        QPushButton* discard = box.addButton(dialog_text(D_DISCARD), QMessageBox::DestructiveRole);
        QPushButton* later = box.addButton(dialog_text(D_LATER), QMessageBox::RejectRole);
        recover->setObjectName(QStringLiteral("Recover"));
        discard->setObjectName(QStringLiteral("Discard"));
        later->setObjectName(QStringLiteral("Later"));
        box.setDefaultButton(recover);
        box.setEscapeButton(later);
        box.exec();
        if (box.clickedButton() == recover) {
            if (!main_window_->files().save_prompt()) {
                autosaver_->release_offer(record);
                continue;
            }
            if (main_window_->files().recover_song(record.song_file.string(), record.song_path,
                                                   record.song_file_flag)) {
                // The song lives on in this copy's own recovery file before the old one goes.
                autosaver_->save_now();
                autosaver_->remove_orphan(record);
            } else {
                autosaver_->release_offer(record);
            }
        } else if (box.clickedButton() == discard) {
            autosaver_->remove_orphan(record);
        } else {
            autosaver_->release_offer(record);
        }
    }
}

bool Composer::finish() {
    if (finished_) return true;
    finished_ = true;
    if (player_) player_->stop();
    // No MIDI callback may post to the main window once it is gone: closing ends the callbacks.
    midi_->close();
    midi_->set_target(nullptr);
    // A normal end: this copy's recovery file is no longer needed.
    if (!keep_recovery_) autosaver_->discard();
    return write_settings();
}

void Composer::end_by_signal() {
    if (document_->modified()) {
        autosaver_->save_now(); // nothing to write when the last autosave is still current
        keep_recovery_ = true;
    }
    // Every event loop ends, open dialogs' too; the program then ends as after File > Exit.
    QApplication::exit(0);
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
