// The keyboard window: toolbar lists, the piano, and the live notes between them.
#include "app/keyboard/keyboard_window.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QInputMethod>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/common/commands.h"
#include "app/common/help.h"
#include "app/document/document.h"
#include "app/keyboard/piano_view.h"
#include "app/live/live_input.h"
#include "app/live/pc_piano_keys.h"
#include "app/shell/placement.h"
#include "foundation/text.h"
#include "playback/output_thread.h"
#include "settings/settings.h"
#include "strings/composer_strings.h"

namespace tunemill {

namespace {

constexpr uint32_t NO_INSTRUMENT = 0xFFFFFFFF;
// How often the grey keys follow the engine while something plays.
constexpr int SOUNDING_REFRESH_MS = 40;
constexpr int INSTRUMENT_LIST_WIDTH = 300;
constexpr int OCTAVE_LIST_WIDTH = 100;

} // namespace

KeyboardWindow::KeyboardWindow(Document& document, OutputThread* output, MidiRouter* router,
                               QWidget* parent)
    : QWidget(parent), document_(document), output_(output) {
    setObjectName(QStringLiteral("TMKeyboardWindow"));
    setWindowTitle(composer_text(S_KEYBOARD));
    setProperty("helpTopic", int(HELP_KEYBOARD_WINDOW));

    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName(QStringLiteral("KeyboardToolbar"));
    instruments_ = new QComboBox(toolbar_);
    instruments_->setObjectName(QStringLiteral("InstrumentList"));
    instruments_->setMinimumWidth(INSTRUMENT_LIST_WIDTH);
    instruments_->setMaxVisibleItems(16);
    instruments_->setFocusPolicy(Qt::ClickFocus);
    octaves_ = new QComboBox(toolbar_);
    octaves_->setObjectName(QStringLiteral("OctaveList"));
    octaves_->setMinimumWidth(OCTAVE_LIST_WIDTH);
    octaves_->setFocusPolicy(Qt::ClickFocus);
    toolbar_->addWidget(instruments_);
    toolbar_->addSeparator();
    toolbar_->addWidget(octaves_);

    piano_ = new PianoView(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar_);
    layout->addWidget(piano_, 1);
    setFocusProxy(piano_);

    live_ = new LiveInput(this, output, router,
                          [this] { return has_instruments() ? current_ : NO_INSTRUMENT; });
    // The lists pass the piano's keys on rather than searching their entries by letter.
    live_->watch(instruments_);
    live_->watch(octaves_);
    live_->watch(piano_);

    connect(piano_, &PianoView::keyPressed, this, [this](uint32_t key) { live_->start_key(key); });
    connect(piano_, &PianoView::keyReleased, this,
            [this](uint32_t key) { live_->release_key(key); });
    connect(live_, &LiveInput::labelsLearned, this, &KeyboardWindow::relabel);
    connect(live_, &LiveInput::keysChanged, this, [this] {
        refresh_sounding();
        // Keep following the engine while anything sounds: a one-shot note ends on its own.
        if (output_ && !sounding_timer_->isActive()) sounding_timer_->start();
    });

    sounding_timer_ = new QTimer(this);
    sounding_timer_->setInterval(SOUNDING_REFRESH_MS);
    connect(sounding_timer_, &QTimer::timeout, this, [this] {
        refresh_sounding();
        const auto& sounding = piano_->sounding();
        const bool any = std::find(sounding.begin(), sounding.end(), true) != sounding.end();
        if (!any && !(output_ && output_->is_running())) sounding_timer_->stop();
    });
    // A song started elsewhere also lights the keys: look again now and then while it plays.
    auto* playing_check = new QTimer(this);
    playing_check->setInterval(250);
    connect(playing_check, &QTimer::timeout, this, [this] {
        if (output_ && output_->is_running() && !sounding_timer_->isActive())
            sounding_timer_->start();
    });
    playing_check->start();

    connect(instruments_, &QComboBox::activated, this, [this](int index) {
        choose_instrument(index);
        piano_->setFocus();
    });
    connect(octaves_, &QComboBox::activated, this, [this](int entry) {
        choose_octave(entry);
        piano_->setFocus();
    });
    connect(&document_, &Document::instrumentsChanged, this, &KeyboardWindow::fill_instruments);
    connect(&document_, &Document::songReplaced, this, &KeyboardWindow::fill_instruments);
    connect(&document_, &Document::changed, this, [this](const SongChange& change) {
        if (change.pattern < 0) fill_instruments();
    });
    // Another input language: other glyphs on the keys.
    connect(QGuiApplication::inputMethod(), &QInputMethod::localeChanged, this, [this] {
        PianoKeyLabels::instance().reset();
        relabel();
    });

    fill_instruments();
    relabel();
}

KeyboardWindow::~KeyboardWindow() {
    // Held notes end with the window (the live input releases them); the placement stays.
    live_->release_all();
}

bool KeyboardWindow::has_instruments() const {
    return !document_.song().instruments.empty();
}

void KeyboardWindow::fill_instruments() {
    const auto& instruments = document_.song().instruments;
    // The choice follows its instrument; when that has gone, the index stays within the list.
    uint32_t chosen = current_;
    for (size_t i = 0; i < instruments.size(); ++i)
        if (current_id_ != 0 && instruments[i].id == current_id_) chosen = uint32_t(i);
    if (!instruments.empty() && chosen >= instruments.size())
        chosen = uint32_t(instruments.size() - 1);
    if (instruments.empty()) chosen = 0;

    const QSignalBlocker blocker(instruments_);
    instruments_->clear();
    for (const Instrument& instrument : instruments)
        instruments_->addItem(QString::fromStdString(windows1252_to_utf8(instrument.name)));
    instruments_->setEnabled(!instruments.empty());
    if (instruments.empty()) {
        current_ = 0;
        current_id_ = 0;
        live_->release_all();
        return;
    }
    instruments_->setCurrentIndex(int(chosen));
    current_ = chosen;
    current_id_ = instruments[chosen].id;
    refresh_sounding();
}

void KeyboardWindow::choose_instrument(int index) {
    const auto& instruments = document_.song().instruments;
    if (instruments.empty()) return;
    current_ = index >= 0 && size_t(index) < instruments.size() ? uint32_t(index) : 0;
    current_id_ = instruments[current_].id;
    refresh_sounding();
}

void KeyboardWindow::choose_octave(int entry) {
    if (entry < 0 || entry > 5) return;
    settings().keyboard_base_octave = base_octave_of_entry(entry);
    live_->keyboard().set_base_octave(uint32_t(settings().keyboard_base_octave));
    relabel();
}

void KeyboardWindow::relabel() {
    const QSignalBlocker blocker(octaves_);
    octaves_->clear();
    octaves_->addItems(base_octave_ranges());
    octaves_->setCurrentIndex(octave_range_entry(settings().keyboard_base_octave));
    live_->keyboard().set_base_octave(uint32_t(settings().keyboard_base_octave));

    // The glyph of each of the 25 PC keys on the key it plays.
    std::array<QString, PIANO_KEYS> labels;
    const KeyMapping mapping = key_mapping();
    const uint32_t base = uint32_t(settings().keyboard_base_octave) * 12;
    for (uint32_t position = 0; position < 25; ++position)
        if (base + position < PIANO_KEYS)
            labels[base + position] = PianoKeyLabels::instance().label(position, mapping);
    piano_->set_labels(labels);
}

void KeyboardWindow::refresh_sounding() {
    std::array<bool, PIANO_KEYS> sounding{};
    if (output_ && has_instruments()) {
        const auto keys = output_->engine().sounding_keys(current_);
        for (uint32_t key = 0; key < PIANO_KEYS && key < keys.size(); ++key)
            sounding[key] = keys[key];
    }
    piano_->set_sounding(sounding);
}

void KeyboardWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    auto* child = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (placed_ || !child) return;
    placed_ = true;
    // Back where it was; the first time as wide as its keys want.
    QWidget* area = child->parentWidget();
    const auto fitted =
        area ? fit_window_rect(settings().keyboard_window_pos, area->size()) : std::nullopt;
    if (fitted)
        child->setGeometry(*fitted);
    else
        child->resize(child->sizeHint());
    child->installEventFilter(this);
}

bool KeyboardWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        store_placement();
    return QWidget::eventFilter(watched, event);
}

void KeyboardWindow::store_placement() {
    auto* child = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!child || child->isMinimized() || child->isMaximized()) return;
    settings().keyboard_window_pos = to_window_rect(child->geometry());
}

} // namespace tunemill
