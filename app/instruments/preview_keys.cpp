// The live keyboard wired to a window's key events, its focus, its timer and the MIDI notes.
#include "app/instruments/preview_keys.h"

#include <QApplication>
#include <QDialog>
#include <QInputMethod>
#include <QKeyEvent>
#include <QWidget>
#include <algorithm>

#include "app/live/live_events.h"
#include "app/live/player.h"
#include "app/shell/main_window.h"
#include "settings/settings.h"

namespace tunemill {

namespace {

LiveNoteSink*& current_sink() {
    static LiveNoteSink* sink = nullptr;
    return sink;
}

// Keeps a sink installed for its own lifetime.
class SinkHolder : public QObject {
  public:
    SinkHolder(LiveNoteSink* sink, std::unique_ptr<LiveNoteSink> owned)
        : owned_(std::move(owned)), sink_(sink) {
        previous_ = current_sink();
        current_sink() = sink_;
    }
    ~SinkHolder() override {
        if (current_sink() == sink_) current_sink() = previous_;
    }

  private:
    std::unique_ptr<LiveNoteSink> owned_;
    LiveNoteSink* sink_;
    LiveNoteSink* previous_ = nullptr;
};

bool german_layout() {
    return QApplication::inputMethod() &&
           QApplication::inputMethod()->locale().language() == QLocale::German;
}

} // namespace

uint32_t live_virtual_key(const QKeyEvent& event) {
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return uint32_t(key);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return uint32_t(key);
    switch (key) {
    case Qt::Key_Comma:
    case Qt::Key_Semicolon: // Shift+comma on German keyboards
    case Qt::Key_Less:      // Shift+comma on English ones
        return VK_COMMA_KEY;
    case Qt::Key_Space:
        return VK_SPACE_BAR;
    default:
        break;
    }
    // Shift with a digit gives the symbol above it; the layout wants the digit. The native key
    // is the digit where the window system tells it; else the symbols of the two layouts.
    const quint32 native = event.nativeVirtualKey();
    if (native >= '0' && native <= '9') return native;
    switch (key) {
    case Qt::Key_At:
    case Qt::Key_QuoteDbl:
        return '2';
    case Qt::Key_NumberSign:
    case Qt::Key_section:
        return '3';
    case Qt::Key_Percent:
        return '5';
    case Qt::Key_AsciiCircum:
        return '6';
    case Qt::Key_Ampersand:
        return german_layout() ? '6' : '7';
    case Qt::Key_Slash:
        return '7';
    default:
        return 0;
    }
}

LiveNoteSink* preview_sink() {
    return current_sink();
}

std::unique_ptr<QObject> install_preview_sink(EnginePlayer* player) {
    if (!player) return std::make_unique<SinkHolder>(nullptr, nullptr);
    auto sink = std::make_unique<PlayerNoteSink>(player->output());
    LiveNoteSink* raw = sink.get();
    return std::make_unique<SinkHolder>(raw, std::move(sink));
}

std::unique_ptr<QObject> install_preview_sink(LiveNoteSink& sink) {
    return std::make_unique<SinkHolder>(&sink, nullptr);
}

MidiRouter* midi_router_of(QWidget* widget) {
    for (QWidget* at = widget; at; at = at->parentWidget())
        if (auto* frame = qobject_cast<MainWindow*>(at)) return &frame->midi_router();
    return nullptr;
}

PreviewKeys::PreviewKeys(QWidget* window, InstrumentChoice choice, MidiRouter* router)
    : QObject(window), window_(window), choice_(std::move(choice)), router_(router) {
    if (LiveNoteSink* sink = preview_sink()) {
        keyboard_ = std::make_unique<LiveKeyboard>(*sink, [this] { return uint32_t(current_); });
        keyboard_->set_layout_query(german_layout);
    }
    watch(window_);
    connect(&timer_, &QTimer::timeout, this, [this] {
        check_active();
        if (keyboard_) keyboard_->timer_check();
    });
    timer_.start(500);
    // A dialog gives the MIDI notes back to the window that had them when it closes.
    if (auto* dialog = qobject_cast<QDialog*>(window_))
        connect(dialog, &QDialog::finished, this, &PreviewKeys::hand_back_midi);
}

PreviewKeys::~PreviewKeys() {
    // Taken off every widget it watched, so none of them keeps a pointer to it.
    for (const QPointer<QObject>& object : watched_)
        if (object) object->removeEventFilter(this);
    keyboard_.reset(); // its held notes end with the window
    // The router is not touched here: this may run while the main window, which owns it, is
    // being taken apart. Its pointer to us clears itself.
}

void PreviewKeys::hand_back_midi() {
    if (router_ && router_->target() == this) router_->set_target(previous_target_);
}

void PreviewKeys::release_all() {
    if (keyboard_) keyboard_->release_all();
}

void PreviewKeys::watch(QObject* object) {
    object->installEventFilter(this);
    watched_.emplace_back(object);
    for (QObject* child : object->children())
        if (child->isWidgetType()) watch(child);
}

bool PreviewKeys::focused() const {
    QWidget* focus = QApplication::focusWidget();
    return focus && (focus == window_ || window_->isAncestorOf(focus));
}

void PreviewKeys::check_active() {
    if (!keyboard_) return;
    keyboard_->set_base_octave(uint32_t(std::clamp(settings().keyboard_base_octave, 0, 5)));
    if (keyboard_->activate_check(focused()) && router_ && router_->target() != this) {
        previous_target_ = router_->target();
        router_->set_target(this);
    }
}

bool PreviewKeys::key_down(QKeyEvent& event) {
    const uint32_t virtual_key = live_virtual_key(event);
    if (!keyboard_ || virtual_key == 0) return false;
    // Ctrl, Alt and Meta with a letter are the window's commands, not notes; Ctrl alone on a
    // piano key plays an octave lower.
    if (event.modifiers() & (Qt::AltModifier | Qt::MetaModifier)) return false;
    check_active();
    KeyState state;
    state.shift = (event.modifiers() & Qt::ShiftModifier) != 0;
    state.control = (event.modifiers() & Qt::ControlModifier) != 0;
    state.auto_repeat = event.isAutoRepeat();
    if (keyboard_->song_key(virtual_key, state) >= 0 && !state.auto_repeat) {
        const int32_t chosen = choice_ ? choice_() : -1;
        if (chosen != current_) keyboard_->release_all();
        current_ = chosen;
    }
    return keyboard_->key_down(virtual_key, state);
}

bool PreviewKeys::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // A piano key is a note here, never a shortcut of the window behind.
        if (keyboard_ && live_virtual_key(*static_cast<QKeyEvent*>(event)) != 0 &&
            !(static_cast<QKeyEvent*>(event)->modifiers() &
              (Qt::AltModifier | Qt::MetaModifier | Qt::ControlModifier))) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (key_down(*static_cast<QKeyEvent*>(event))) return true;
        break;
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        const uint32_t virtual_key = live_virtual_key(*key);
        if (keyboard_ && virtual_key != 0 && !key->isAutoRepeat() &&
            !(key->modifiers() & (Qt::AltModifier | Qt::MetaModifier)))
            return keyboard_->key_up(virtual_key);
        break;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        check_active();
        break;
    default:
        break;
    }
    (void)watched;
    return false;
}

bool PreviewKeys::event(QEvent* event) {
    if (event->type() == MIDI_NOTE_EVENT) {
        auto* note = static_cast<MidiNoteEvent*>(event);
        if (keyboard_) {
            if (!note->note_off() && keyboard_->active()) {
                const int32_t chosen = choice_ ? choice_() : -1;
                if (chosen != current_) keyboard_->release_all();
                current_ = chosen;
            }
            keyboard_->midi_note(note->parameter);
        }
        return true;
    }
    return QObject::event(event);
}

} // namespace tunemill
