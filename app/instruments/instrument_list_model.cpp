// The instrument rows, read from the document's song and kept in step with its signals.
#include "app/instruments/instrument_list_model.h"

#include <QLocale>

#include "app/common/category_art.h"
#include "app/common/commands.h"
#include "app/document/document.h"
#include "foundation/text.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

QString instrument_details(uint32_t rate, uint32_t bytes_per_sample, uint32_t length, bool looped,
                           bool synthesized) {
    const double seconds = rate ? double(length) / rate : 0.0;
    QString text = dialog_text(D_INSTRUMENT_DETAILS)
                       .arg(rate)
                       .arg(bytes_per_sample * 8)
                       .arg(QLocale().toString(seconds, 'f', seconds < 10 ? 2 : 1));
    if (synthesized) text += QStringLiteral(", ") + dialog_text(D_SYNTHESIZED);
    if (looped) text += QStringLiteral(", ") + dialog_text(D_LOOPED);
    return text;
}

InstrumentListModel::InstrumentListModel(Document& document, QObject* parent)
    : QAbstractListModel(parent), document_(document), rows_(read_rows()) {
    connect(&document_, &Document::instrumentsChanged, this, &InstrumentListModel::refresh);
    // After undo or redo of a song-wide step anything may have changed; a new or loaded song
    // brings other instruments.
    connect(&document_, &Document::changed, this, [this](const SongChange& change) {
        if (change.pattern < 0) refresh();
    });
    connect(&document_, &Document::songReplaced, this, &InstrumentListModel::refresh);
}

std::vector<InstrumentListModel::Row> InstrumentListModel::read_rows() const {
    std::vector<Row> rows;
    for (const Instrument& instrument : document_.song().instruments)
        rows.push_back(
            {QString::fromStdString(windows1252_to_utf8(instrument.name)), instrument.category,
             instrument.from_bank, instrument.id,
             instrument_details(instrument.rate, instrument.bytes_per_sample, instrument.length,
                                instrument.loops(), instrument.synthesized())});
    return rows;
}

void InstrumentListModel::refresh() {
    std::vector<Row> rows = read_rows();
    if (rows == rows_) return;
    if (rows.size() == rows_.size()) {
        rows_ = std::move(rows);
        emit dataChanged(index(0), index(int(rows_.size()) - 1));
        return;
    }
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int InstrumentListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant InstrumentListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rows_.size())) return {};
    const Row& row = rows_[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return row.name;
    case Qt::DecorationRole:
        return category_icon(row.category);
    case Qt::ToolTipRole: {
        QString tip = row.category < CATEGORY_COUNT ? category_name(row.category)
                                                    : dialog_text(D_NO_CATEGORY);
        tip += QStringLiteral("\n") + row.details;
        if (row.from_bank) tip += QStringLiteral("\n") + dialog_text(D_FROM_BANK);
        return tip;
    }
    case CategoryRole:
        return row.category;
    case FromBankRole:
        return row.from_bank;
    case InstrumentIdRole:
        return row.id;
    case DetailsRole:
        return row.details;
    default:
        return {};
    }
}

int InstrumentListModel::row_of_id(uint32_t id) const {
    for (size_t row = 0; row < rows_.size(); ++row)
        if (rows_[row].id == id) return int(row);
    return -1;
}

} // namespace tunemill
