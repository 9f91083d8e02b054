// The song's instruments as a list model, for the instruments window, Loaded Instruments and the
// keyboard window: one row per instrument with its name, category picture, bank mark and a line
// of details. It follows the document: instruments added, removed, renamed or re-categorized
// anywhere (and undo or redo of that) update the rows.
#pragma once

#include <QAbstractListModel>
#include <cstdint>
#include <vector>

namespace tunemill {

class Document;

class InstrumentListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    enum Role {
        CategoryRole = Qt::UserRole + 1, // uint32_t, 0..29
        FromBankRole,                    // bool
        InstrumentIdRole,                // uint32_t, the instrument record's id
        DetailsRole,                     // QString: rate, resolution, length, loop
    };

    explicit InstrumentListModel(Document& document, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The row of the instrument with this id, or -1.
    int row_of_id(uint32_t id) const;
    // Reads the song's list again (the document's signals call it).
    void refresh();

  private:
    struct Row {
        QString name;
        uint32_t category = 0;
        bool from_bank = false;
        uint32_t id = 0;
        QString details;
        bool operator==(const Row&) const = default;
    };
    std::vector<Row> read_rows() const;

    Document& document_;
    std::vector<Row> rows_;
};

// The details line of an instrument: "22050 Hz, 16 bit, 1.5 s", with "looped" or "synthesized".
QString instrument_details(uint32_t rate, uint32_t bytes_per_sample, uint32_t length, bool looped,
                           bool synthesized);

} // namespace tunemill
