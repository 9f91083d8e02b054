// The two lists of the sequence window as models over the document: the song's patterns and the
// playing sequence, each with one empty line after its data, where New Pattern and Insert append.
// They reset themselves whenever the pattern list or the sequence may have changed.
#pragma once

#include <QAbstractListModel>

namespace tunemill {

class Document;
struct SongChange;

// A line's data beyond the display text.
enum SequenceRole : int {
    // true on the sequence line where playback goes on after the last entry.
    REPEAT_MARK_ROLE = Qt::UserRole + 1,
};

class SongListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    explicit SongListModel(Document& document, QObject* parent = nullptr);
    // The data lines, without the empty last line.
    virtual int data_lines() const = 0;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;

  protected:
    Document& document_;

  private:
    void song_changed(const SongChange& change);
    void refill();
};

class PatternListModel : public SongListModel {
    Q_OBJECT

  public:
    using SongListModel::SongListModel;
    int data_lines() const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

class SequenceListModel : public SongListModel {
    Q_OBJECT

  public:
    using SongListModel::SongListModel;
    int data_lines() const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

} // namespace tunemill
