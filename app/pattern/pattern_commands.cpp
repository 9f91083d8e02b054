// The pattern window's commands.
#include "app/pattern/pattern_commands.h"

#include "app/common/error_box.h"
#include "app/document/document.h"
#include "app/live/player.h"
#include "foundation/string_table.h"
#include "settings/settings.h"
#include "song/instrument_array.h"
#include "strings/steps_strings.h"

namespace tunemill {

namespace {

uint32_t name_of(BlockOperation operation) {
    switch (operation) {
    case BlockOperation::DELETE:
        return U_DELETE_BLOCK;
    case BlockOperation::CLEAR:
        return U_CLEAR_BLOCK;
    case BlockOperation::INSERT_SPACE:
        return U_INSERT_SPACE;
    case BlockOperation::REPEAT:
        return U_REPEAT_BLOCK;
    case BlockOperation::SET_PORTAMENTO:
        return U_SET_PORTAMENTO;
    case BlockOperation::CLEAR_PORTAMENTO:
        return U_CLEAR_PORTAMENTO;
    }
    return 0;
}

ChangeKind kind_of(Aspect aspect) {
    switch (aspect) {
    case Aspect::VOLUME:
        return ChangeKind::VOLUME;
    case Aspect::BALANCE:
        return ChangeKind::BALANCE;
    case Aspect::TEMPO:
        return ChangeKind::TEMPO;
    default:
        return ChangeKind::WHOLE_PATTERN; // notes with the curves, the length may move
    }
}

Edit voices_edit(uint32_t name, size_t pattern) {
    Edit edit;
    edit.name = name;
    edit.change.pattern = int32_t(pattern);
    edit.change.kind = ChangeKind::VOICES;
    return edit;
}

} // namespace

bool run_block_operation(PatternEditor& editor, BlockOperation operation, uint32_t step_name) {
    const EditorBlock shown = editor.block();
    if (!shown.exists()) return false;
    const Block block = editor.operation_block();
    if ((operation == BlockOperation::SET_PORTAMENTO ||
         operation == BlockOperation::CLEAR_PORTAMENTO) &&
        block.aspect != Aspect::NOTES)
        return false;
    const size_t pattern = editor.pattern_index();
    const bool shifts = operation == BlockOperation::DELETE ||
                        operation == BlockOperation::INSERT_SPACE ||
                        operation == BlockOperation::REPEAT;
    Edit edit;
    edit.name = step_name ? step_name : name_of(operation);
    edit.change.pattern = int32_t(pattern);
    edit.change.voice = block.voice;
    edit.change.kind = kind_of(block.aspect);
    edit.change.from = block.from;
    edit.change.to = shifts ? UINT32_MAX : block.to + 1;
    const bool done = editor.document().edit(edit, [&](EditContext& context) {
        Pattern& target = context.song().patterns[pattern];
        switch (operation) {
        case BlockOperation::DELETE:
            delete_block(target, block);
            break;
        case BlockOperation::CLEAR:
            clear_block(target, block);
            break;
        case BlockOperation::INSERT_SPACE:
            insert_space(target, block);
            break;
        case BlockOperation::REPEAT:
            repeat_block(target, block);
            break;
        case BlockOperation::SET_PORTAMENTO:
            portamento_set(target, block);
            break;
        case BlockOperation::CLEAR_PORTAMENTO:
            portamento_clear(target, block);
            break;
        }
    });
    if (!done) return false;
    if (operation == BlockOperation::DELETE) {
        // The cursor keeps its place in what is left; the block is gone.
        const Tick cursor = editor.cursor();
        if (cursor >= shown.from && cursor < shown.to)
            editor.set_cursor(shown.from);
        else if (cursor >= shown.to)
            editor.set_cursor(cursor - (shown.to - shown.from));
        editor.clear_block();
    }
    return true;
}

bool add_voice(PatternEditor& editor, const InstrumentChooser& choose) {
    if (!choose) return false;
    const std::optional<BrowserChoice> choice = choose(BrowserMode::ADD_VOICE);
    if (!choice) return false;
    const size_t pattern = editor.pattern_index();
    const int32_t new_voice = int32_t(editor.pattern().voices.size());
    Edit edit = voices_edit(U_ADD_VOICE, pattern);
    edit.clean_up = std::make_pair(int32_t(pattern), new_voice);
    const bool done = editor.document().edit(edit, [&](EditContext& context) {
        if (choice->temporary) context.adopt_instrument(choice->index);
        tunemill::add_voice(context.song().patterns[pattern], uint32_t(choice->index));
    });
    if (!done) return false;
    // The clean-up only removes voices before it: the new voice is the last.
    if (editor.has_voices()) editor.set_voice(editor.pattern().voices.size() - 1);
    return true;
}

bool replace_instrument(PatternEditor& editor, const InstrumentChooser& choose) {
    if (!editor.has_voices()) return add_voice(editor, choose);
    if (!choose) return false;
    const std::optional<BrowserChoice> choice = choose(BrowserMode::REPLACE_INSTRUMENT);
    if (!choice) return false;
    const size_t pattern = editor.pattern_index();
    const size_t voice = editor.voice();
    Edit edit = voices_edit(U_REPLACE_INSTRUMENT, pattern);
    edit.change.voice = int32_t(voice);
    edit.clean_up = std::make_pair(int32_t(pattern), int32_t(voice));
    return editor.document().edit(edit, [&](EditContext& context) {
        if (choice->temporary) context.adopt_instrument(choice->index);
        context.song().patterns[pattern].voices[voice].instrument = uint32_t(choice->index);
    });
}

bool delete_voice(PatternEditor& editor) {
    if (!editor.has_voices()) return false;
    Document& document = editor.document();
    const size_t pattern = editor.pattern_index();
    const size_t voice = editor.voice();
    // The voice goes, every window showing the pattern hears of it, then the clean-up runs as
    // part of the same step (one gesture).
    const uint32_t gesture = Document::new_gesture();
    Edit edit = voices_edit(U_DELETE_VOICE, pattern);
    edit.change.voice = int32_t(voice);
    edit.gesture = gesture;
    const bool done = document.edit(
        edit, [&](EditContext& context) { remove_voice(context.song().patterns[pattern], voice); });
    if (!done) return false;
    emit document.voiceRemoved(int32_t(pattern), int32_t(voice));
    Edit clean_up = voices_edit(U_DELETE_VOICE, pattern);
    clean_up.gesture = gesture;
    clean_up.clean_up = std::make_pair(-1, -1);
    document.edit(clean_up, [](EditContext&) {});
    return true;
}

bool mute_voice(PatternEditor& editor) {
    if (!editor.has_voices()) return false;
    return editor.document().toggle_mute(editor.pattern_index(), editor.voice());
}

void play_pattern(PatternEditor& editor) {
    EnginePlayer* player = editor.player();
    if (!player) return;
    editor.set_block_playing(false);
    try {
        player->output().play_pattern(uint32_t(editor.pattern_index()));
    } catch (...) {
        show_current_error();
    }
}

void play_block(PatternEditor& editor) {
    EnginePlayer* player = editor.player();
    const EditorBlock& block = editor.block();
    if (!player || !block.exists()) return;
    try {
        const bool playing = player->output().play_block(
            uint32_t(editor.pattern_index()), block.from, block.to, uint32_t(editor.voice()),
            settings().all_voices != 0, &editor);
        editor.set_block_playing(playing);
    } catch (...) {
        editor.set_block_playing(false);
        show_current_error();
    }
}

void play_voice(PatternEditor& editor) {
    EnginePlayer* player = editor.player();
    if (!player || !editor.has_voices()) return;
    editor.set_block_playing(false);
    try {
        player->output().play_voice(uint32_t(editor.pattern_index()), uint32_t(editor.voice()));
    } catch (...) {
        show_current_error();
    }
}

} // namespace tunemill
