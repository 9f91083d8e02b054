// The pattern window's status bar.
#include "app/pattern/pattern_status_bar.h"

#include <QLabel>
#include <cstdlib>

#include "app/common/commands.h"
#include "app/pattern/geometry.h"
#include "song/timing.h"
#include "strings/composer_strings.h"

namespace tunemill {

namespace {

// A string of the composer's table with C placeholders filled in.
template <typename... Args> QString formatted(uint32_t id, Args... args) {
    return QString::asprintf(composer_text(id).toUtf8().constData(), args...);
}

} // namespace

PatternStatusBar::PatternStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("PatternStatusBar"));
    setSizeGripEnabled(false);
    measure_ = new QLabel(this);
    time_ = new QLabel(this);
    transposition_ = new QLabel(this);
    measure_->setMinimumWidth(90);
    time_->setMinimumWidth(110);
    addWidget(measure_);
    addWidget(time_);
    addWidget(transposition_, 1);
}

void PatternStatusBar::show_cursor(const Pattern& pattern, Tick cursor, int32_t ticks_per_beat,
                                   int32_t beats_per_measure, int32_t overall_tempo) {
    const int32_t measure = measure_of(cursor, ticks_per_beat, beats_per_measure);
    if (measure != shown_measure_) {
        shown_measure_ = measure;
        measure_->setText(formatted(S_MEASURE, int(measure)));
    }
    const uint64_t ms = duration(pattern, 0, cursor, overall_tempo);
    if (ms != shown_time_) {
        shown_time_ = ms;
        const ClockTime time = clock_time(ms);
        time_->setText(
            formatted(S_TIME, int(time.minutes), int(time.seconds), int(time.hundredths)));
    }
}

void PatternStatusBar::show_transposition(bool active, int amount) {
    if (!active) {
        transposition_->clear();
        return;
    }
    const QByteArray sign = amount > 0 ? "+" : amount < 0 ? "-" : "";
    transposition_->setText(formatted(S_TRANSPOSE, sign.constData(), std::abs(amount)));
}

QString PatternStatusBar::part_text(int part) const {
    switch (part) {
    case 1:
        return measure_->text();
    case 3:
        return time_->text();
    case 5:
        return transposition_->text();
    default:
        return {};
    }
}

} // namespace tunemill
