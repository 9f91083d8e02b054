// The pattern list and the playing sequence as list models.
#include "app/sequence/list_models.h"

#include "app/document/document.h"
#include "foundation/text.h"

namespace tunemill {

namespace {

QString pattern_name(const Song& song, size_t pattern) {
    if (pattern >= song.patterns.size()) return {};
    return QString::fromStdString(windows1252_to_utf8(song.patterns[pattern].name));
}

} // namespace

SongListModel::SongListModel(Document& document, QObject* parent)
    : QAbstractListModel(parent), document_(document) {
    connect(&document_, &Document::changed, this, &SongListModel::song_changed);
    connect(&document_, &Document::songReplaced, this, &SongListModel::refill);
}

int SongListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : data_lines() + 1;
}

void SongListModel::song_changed(const SongChange& change) {
    // A change of one pattern leaves names and the arrangement as they were.
    if (change.pattern < 0) refill();
}

void SongListModel::refill() {
    beginResetModel();
    endResetModel();
}

int PatternListModel::data_lines() const {
    return int(document_.song().patterns.size());
}

QVariant PatternListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return pattern_name(document_.song(), size_t(index.row()));
}

int SequenceListModel::data_lines() const {
    return int(document_.song().sequence.size());
}

QVariant SequenceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const Song& song = document_.song();
    const size_t row = size_t(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row < song.sequence.size() ? pattern_name(song, song.sequence[row]) : QString();
    case REPEAT_MARK_ROLE:
        return row < song.sequence.size() && int32_t(row) == song.repeat_position;
    default:
        return {};
    }
}

} // namespace tunemill
