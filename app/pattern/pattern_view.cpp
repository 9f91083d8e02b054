// The rules of the commands a pattern window owns.
#include "app/pattern/pattern_view.h"

#include "app/common/commands.h"
#include "app/pattern/pattern_clipboard.h"
#include "song/song.h"

namespace tunemill {

namespace {

bool always(const PatternView&, const Song&) {
    return true;
}
bool never(const PatternView&, const Song&) {
    return false;
}
bool has_block(const PatternView& window, const Song&) {
    return window.has_block();
}
bool has_note_block(const PatternView& window, const Song&) {
    return window.has_block() && window.block_pane() == Pane::NOTES;
}
bool clipboard_has_block(const PatternView& window, const Song&) {
    return window.clipboard_has_block();
}
bool has_voices(const PatternView& window, const Song& song) {
    return window.pattern_index() < song.patterns.size() &&
           !song.patterns[window.pattern_index()].voices.empty();
}
bool volume_shown(const PatternView& window, const Song&) {
    return window.shows_pane(Pane::VOLUME);
}
bool balance_shown(const PatternView& window, const Song&) {
    return window.shows_pane(Pane::BALANCE);
}
bool tempo_shown(const PatternView& window, const Song&) {
    return window.shows_pane(Pane::TEMPO);
}
bool follows_playback(const PatternView& window, const Song&) {
    return window.follows_playback();
}
bool voice_muted(const PatternView& window, const Song& song) {
    if (!has_voices(window, song)) return false;
    const Pattern& pattern = song.patterns[window.pattern_index()];
    return window.current_voice() < pattern.voices.size() &&
           pattern.voices[window.current_voice()].muted;
}

const std::vector<PatternCommandRule> RULES = {
    {CMD_CUT, has_block, never},
    {CMD_COPY, has_block, never},
    {CMD_PASTE, clipboard_has_block, never},
    {CMD_DELETE, has_block, never},
    {CMD_CLEAR_BLOCK, has_block, never},
    {CMD_INSERT_SPACE, has_block, never},
    {CMD_REPEAT_BLOCK, has_block, never},
    {CMD_TRANSPOSE_BLOCK, has_block, never},
    {CMD_RECORD_BLOCK, has_block, never},
    {CMD_SET_PORTAMENTO, has_note_block, never},
    {CMD_CLEAR_PORTAMENTO, has_note_block, never},
    {CMD_VOLUME, always, volume_shown},
    {CMD_BALANCE, always, balance_shown},
    {CMD_TEMPO, always, tempo_shown},
    {CMD_ADD_VOICE, always, never},
    {CMD_REPLACE_INSTRUMENT, has_voices, never},
    {CMD_RECORD_VOICE, has_voices, never},
    {CMD_DELETE_VOICE, has_voices, never},
    {CMD_MUTE_VOICE, has_voices, voice_muted},
    {CMD_PLAY_PATTERN, always, never},
    {CMD_PLAY_BLOCK, has_block, never},
    {CMD_PLAY_VOICE, has_voices, never},
    {CMD_FOLLOW_PLAYBACK, always, follows_playback},
};

} // namespace

const std::vector<PatternCommandRule>& pattern_command_rules() {
    return RULES;
}

const PatternCommandRule* pattern_command_rule(int command) {
    for (const PatternCommandRule& rule : RULES)
        if (rule.command == command) return &rule;
    return nullptr;
}

bool window_command(int command) {
    return pattern_command_rule(command) != nullptr;
}

bool PatternView::clipboard_has_block() const {
    return clipboard_holds_pattern();
}

bool PatternView::command_enabled(int command, const Song& song) const {
    const PatternCommandRule* rule = pattern_command_rule(command);
    return rule && rule->enabled(*this, song);
}

bool PatternView::command_checked(int command, const Song& song) const {
    const PatternCommandRule* rule = pattern_command_rule(command);
    return rule && rule->checked(*this, song);
}

} // namespace tunemill
