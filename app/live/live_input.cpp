// Live notes in a window: keys, MIDI and the mouse to the engine's preview notes.
#include "app/live/live_input.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include "app/live/live_events.h"
#include "app/live/pc_piano_keys.h"
#include "playback/output_thread.h"
#include "settings/settings.h"

namespace tunemill {

namespace {

constexpr int ACTIVATE_CHECK_MS = 500;

// The keyboard of a run without sound devices: no instrument can sound.
class SilentNoteSink : public LiveNoteSink {
  public:
    uint32_t instrument_count() override { return 0; }
    bool instrument_loops(uint32_t) override { return false; }
    uint32_t start_preview_note(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override {
        return 0;
    }
    void release_preview_note(uint32_t) override {}
};

bool is_ancestor_or_self(const QWidget* ancestor, const QWidget* widget) {
    for (; widget; widget = widget->parentWidget())
        if (widget == ancestor) return true;
    return false;
}

KeyState key_state(const QKeyEvent& event) {
    KeyState state;
    state.shift = event.modifiers().testFlag(Qt::ShiftModifier);
    state.control = event.modifiers().testFlag(Qt::ControlModifier);
    state.auto_repeat = event.isAutoRepeat();
    return state;
}

} // namespace

QWidget* midi_window_of(QWidget* focus) {
    for (QWidget* widget = focus; widget; widget = widget->parentWidget())
        if (widget->property(TAKES_MIDI_NOTES).toBool()) return widget;
    return nullptr;
}

std::unique_ptr<LiveNoteSink> live_note_sink(OutputThread* output) {
    if (output) return std::make_unique<PlayerNoteSink>(*output);
    return std::make_unique<SilentNoteSink>();
}

LiveInput::LiveInput(QWidget* window, OutputThread* output, MidiRouter* router,
                     std::function<uint32_t()> current_instrument)
    : QObject(window), window_(window), output_(output), router_(router) {
    sink_ = live_note_sink(output);
    keyboard_ = std::make_unique<LiveKeyboard>(*sink_, std::move(current_instrument));
    keyboard_->set_layout_query([] { return piano_swaps_y_and_z(key_mapping()); });
    take_settings();
    window_->setProperty(TAKES_MIDI_NOTES, true);
    window_->installEventFilter(this);
    timer_ = new QTimer(this);
    timer_->setInterval(ACTIVATE_CHECK_MS);
    connect(timer_, &QTimer::timeout, this, &LiveInput::check);
    timer_->start();
    // The focus moving in or out is seen at once, not only by the next timer check.
    connect(qApp, &QApplication::focusChanged, this, [this] { check(); });
}

LiveInput::~LiveInput() {
    // The held notes go with the window.
    keyboard_.reset();
}

void LiveInput::take_settings() {
    keyboard_->set_base_octave(uint32_t(settings().keyboard_base_octave));
}

bool LiveInput::window_has_focus() const {
    return is_ancestor_or_self(window_, QApplication::focusWidget());
}

void LiveInput::check() {
    const bool was_active = keyboard_->active();
    if (keyboard_->activate_check(window_has_focus()) && router_) router_->set_target(window_);
    if (was_active != keyboard_->active() || was_active) emit keysChanged();
}

bool LiveInput::key_press(QKeyEvent* event) {
    const Qt::KeyboardModifiers foreign = Qt::AltModifier | Qt::MetaModifier;
    if (event->modifiers() & foreign) return false;
    const KeyMapping mapping = key_mapping();
    const uint32_t key = piano_key_of_event(*event, mapping);
    if (!key) return false;
    if (mapping == KeyMapping::BY_POSITION && PianoKeyLabels::instance().learn(*event))
        emit labelsLearned();
    check();
    take_settings();
    keyboard_->key_down(key, key_state(*event));
    emit keysChanged();
    return true;
}

bool LiveInput::key_release(QKeyEvent* event) {
    const uint32_t key = piano_key_of_event(*event, key_mapping());
    if (!key) return false;
    // A held key repeats as release and press pairs; only the last release counts.
    if (event->isAutoRepeat()) return true;
    keyboard_->key_up(key);
    emit keysChanged();
    return true;
}

void LiveInput::watch(QWidget* child) {
    child->installEventFilter(this);
}

void LiveInput::midi_note(const MidiNoteEvent& event) {
    if (!event.note_off()) check();
    keyboard_->midi_note(event.parameter);
    emit keysChanged();
}

void LiveInput::start_key(uint32_t key) {
    check();
    keyboard_->start_key(key);
    emit keysChanged();
}

void LiveInput::release_key(uint32_t key) {
    keyboard_->release_key(key);
    emit keysChanged();
}

void LiveInput::release_all() {
    keyboard_->release_all();
    emit keysChanged();
}

bool LiveInput::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        return key_press(static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease:
        return key_release(static_cast<QKeyEvent*>(event));
    case QEvent::ShortcutOverride: {
        // A piano key is the window's, not a shortcut's (a letter of a menu or button).
        auto* key = static_cast<QKeyEvent*>(event);
        if (!(key->modifiers() & (Qt::AltModifier | Qt::MetaModifier)) &&
            piano_key_of_event(*key, key_mapping())) {
            event->accept();
            return true;
        }
        return false;
    }
    default:
        break;
    }
    if (watched == window_ && event->type() == MIDI_NOTE_EVENT) {
        midi_note(*static_cast<MidiNoteEvent*>(event));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tunemill
