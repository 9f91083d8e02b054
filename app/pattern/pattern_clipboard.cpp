// The pattern block on the system clipboard.
#include "app/pattern/pattern_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "app/document/document.h"
#include "app/pattern/pattern_commands.h"
#include "storage/clipboard.h"
#include "strings/steps_strings.h"

namespace tunemill {

QString pattern_mime_type() {
    return QString::fromLatin1(CLIPBOARD_MIME_TYPE);
}

bool clipboard_holds_pattern() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasFormat(pattern_mime_type());
}

bool copy_block_to_clipboard(const PatternEditor& editor) {
    if (!editor.block().exists()) return false;
    const std::vector<uint8_t> bytes =
        copy_block(editor.song(), editor.pattern_index(), editor.operation_block());
    if (bytes.empty()) return false;
    auto* data = new QMimeData;
    data->setData(pattern_mime_type(),
                  QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    QGuiApplication::clipboard()->setMimeData(data);
    return true;
}

bool cut_block_to_clipboard(PatternEditor& editor) {
    if (!copy_block_to_clipboard(editor)) return false;
    return run_block_operation(editor, BlockOperation::DELETE, U_CUT);
}

bool paste_block_from_clipboard(PatternEditor& editor) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasFormat(pattern_mime_type())) return false;
    const QByteArray bytes = data->data(pattern_mime_type());
    const size_t pattern = editor.pattern_index();
    const int32_t voice = editor.has_voices() ? int32_t(editor.voice()) : -1;
    const Tick at = editor.cursor();
    Edit edit;
    edit.name = U_PASTE;
    edit.change.pattern = int32_t(pattern);
    edit.change.kind = ChangeKind::WHOLE_PATTERN;
    edit.change.from = at;
    Tick pasted = 0;
    const bool done = editor.document().edit(edit, [&](EditContext& context) {
        pasted = paste_block(
            context.song(), pattern, voice, at,
            std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
    });
    if (!done) return false;
    editor.set_cursor(at + pasted);
    return pasted > 0;
}

} // namespace tunemill
