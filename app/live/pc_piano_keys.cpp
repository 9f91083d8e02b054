// PC keys to the piano's keys by position or by letter, and the glyphs printed on them.
#include "app/live/pc_piano_keys.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLocale>

#include "app/common/commands.h"
#include "playback/live_keyboard.h"
#include "settings/settings.h"
#include "strings/composer_strings.h"

namespace tunemill {

namespace {

// The Linux input codes (= PC scan codes, set 1) of the layout string's keys in its order, as
// they lie on a US keyboard: Z S X D C V G B H N J M Q 2 W 3 E R 5 T 6 Y 7 U I.
constexpr std::array<uint32_t, 25> LAYOUT_SCAN_CODES = {
    44, 31, 45, 32, 46, 47, 34, 48, 35, 49, 36, 50, 16, 3, 17, 4, 18, 19, 6, 20, 7, 21, 8, 22, 23};
constexpr uint32_t COMMA_SCAN_CODE = 51;
constexpr uint32_t SPACE_SCAN_CODE = 57;
constexpr uint32_t X11_OFFSET = 8;

constexpr uint32_t POSITION_Y = 21; // 'Y' in the layout string
constexpr uint32_t POSITION_Z = 0;

// The position of the key in the layout string, -1 when it is not one of the 25.
int32_t layout_position_of_scan_code(uint32_t code) {
    for (size_t i = 0; i < LAYOUT_SCAN_CODES.size(); ++i)
        if (LAYOUT_SCAN_CODES[i] == code) return int32_t(i);
    return -1;
}

uint32_t input_code(uint32_t scan_code, ScanCodes codes) {
    if (codes == ScanCodes::PC_SET_1) return scan_code;
    return scan_code >= X11_OFFSET ? scan_code - X11_OFFSET : 0;
}

enum class LayoutLanguage { ENGLISH, GERMAN, FRENCH };

LayoutLanguage layout_language() {
    switch (QGuiApplication::inputMethod()->locale().language()) {
    case QLocale::German:
        return LayoutLanguage::GERMAN;
    case QLocale::French:
        return LayoutLanguage::FRENCH;
    default:
        return LayoutLanguage::ENGLISH;
    }
}

// What a layout prints on the key at a position of the US layout's letters.
QString printed_label(uint32_t position, LayoutLanguage language) {
    const QChar us = QLatin1Char(LIVE_KEY_LAYOUT[position]);
    switch (language) {
    case LayoutLanguage::GERMAN:
        if (position == POSITION_Y) return QStringLiteral("Z");
        if (position == POSITION_Z) return QStringLiteral("Y");
        break;
    case LayoutLanguage::FRENCH:
        if (us == QLatin1Char('Z')) return QStringLiteral("W");
        if (us == QLatin1Char('W')) return QStringLiteral("Z");
        if (us == QLatin1Char('Q')) return QStringLiteral("A");
        if (us == QLatin1Char('M')) return QStringLiteral(",");
        break;
    case LayoutLanguage::ENGLISH:
        break;
    }
    return QString(us);
}

} // namespace

QStringList base_octave_ranges() {
    // The lowest and highest key the 25 PC keys reach, per base octave 0..5.
    static const char* const RANGES[] = {"C-1 %1 c",   "C %1 c-1",   "c %1 c-2",
                                         "c-1 %1 c-3", "c-2 %1 c-4", "c-3 %1 b-4"};
    QStringList entries;
    for (int octave = 5; octave >= 0; --octave)
        entries << QString::fromLatin1(RANGES[octave]).arg(composer_text(S_TO));
    return entries;
}

KeyMapping key_mapping() {
    return settings().keyboard_mapping == int32_t(KeyMapping::BY_LETTER) ? KeyMapping::BY_LETTER
                                                                         : KeyMapping::BY_POSITION;
}

ScanCodes platform_scan_codes() {
#ifdef Q_OS_WIN
    return ScanCodes::PC_SET_1;
#else
    return ScanCodes::X11;
#endif
}

uint32_t piano_key_at_position(uint32_t scan_code, ScanCodes codes) {
    const uint32_t code = input_code(scan_code, codes);
    if (code == 0) return 0;
    if (code == COMMA_SCAN_CODE) return VK_COMMA_KEY;
    if (code == SPACE_SCAN_CODE) return VK_SPACE_BAR;
    const int32_t position = layout_position_of_scan_code(code);
    return position < 0 ? 0 : uint32_t(uint8_t(LIVE_KEY_LAYOUT[position]));
}

uint32_t piano_key_of_letter(int qt_key) {
    if (qt_key == Qt::Key_Comma) return VK_COMMA_KEY;
    if (qt_key == Qt::Key_Space) return VK_SPACE_BAR;
    if (qt_key <= 0 || qt_key > 0x7F) return 0;
    for (const char* at = LIVE_KEY_LAYOUT; *at; ++at)
        if (int(uint8_t(*at)) == qt_key) return uint32_t(qt_key);
    return 0;
}

uint32_t piano_key_of_event(const QKeyEvent& event, KeyMapping mapping) {
#ifndef Q_OS_MACOS
    if (mapping == KeyMapping::BY_POSITION && event.nativeScanCode() != 0)
        return piano_key_at_position(event.nativeScanCode(), platform_scan_codes());
#endif
    return piano_key_of_letter(event.key());
}

bool german_layout_active() {
    return layout_language() == LayoutLanguage::GERMAN;
}

bool piano_swaps_y_and_z(KeyMapping mapping) {
    return mapping == KeyMapping::BY_LETTER && german_layout_active();
}

PianoKeyLabels& PianoKeyLabels::instance() {
    static PianoKeyLabels labels;
    return labels;
}

QString PianoKeyLabels::label(uint32_t position, KeyMapping mapping) const {
    if (position >= learned_.size()) return {};
    if (mapping == KeyMapping::BY_POSITION && !learned_[position].isEmpty())
        return learned_[position];
    // By letter on a German layout the key printed Z plays where Y lies in the string, and the
    // reverse: the same glyphs as the German layout by position.
    const LayoutLanguage language = layout_language();
    if (mapping == KeyMapping::BY_LETTER)
        return printed_label(
            position, language == LayoutLanguage::GERMAN ? language : LayoutLanguage::ENGLISH);
    return printed_label(position, language);
}

bool PianoKeyLabels::learn(const QKeyEvent& event) {
    if (event.nativeScanCode() == 0 || (event.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    const int32_t position =
        layout_position_of_scan_code(input_code(event.nativeScanCode(), platform_scan_codes()));
    const QString text = event.text().toUpper();
    if (position < 0 || text.size() != 1 || !text[0].isPrint() || text[0].isSpace()) return false;
    if (learned_[size_t(position)] == text) return false;
    learned_[size_t(position)] = text;
    return true;
}

} // namespace tunemill
