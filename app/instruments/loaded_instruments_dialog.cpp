// Loaded Instruments: the song's instruments to choose from; the piano keys play the selected one.
#include <QDialog>
#include <QDialogButtonBox>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/common/commands.h"
#include "app/common/dialog_buttons.h"
#include "app/document/document.h"
#include "app/instruments/instrument_dialogs.h"
#include "app/instruments/instrument_line_delegate.h"
#include "app/instruments/instrument_list_model.h"
#include "app/instruments/preview_keys.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

std::optional<size_t> choose_loaded_instrument(QWidget* parent, Document& document,
                                               size_t selected) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("LoadedInstrumentsDialog"));
    dialog.setWindowTitle(dialog_text(D_LOADED_INSTRUMENTS));
    InstrumentListModel model(document);
    auto* list = new QListView(&dialog);
    list->setObjectName(QStringLiteral("instruments"));
    list->setModel(&model);
    list->setItemDelegate(new InstrumentLineDelegate(list));
    list->setUniformItemSizes(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QDialogButtonBox* buttons = ok_cancel_buttons(dialog);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(model.rowCount() > 0);
    QObject::connect(list, &QListView::doubleClicked, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    dialog.resize(460, 380);
    if (model.rowCount() > 0)
        list->setCurrentIndex(
            model.index(int(std::min<size_t>(selected, size_t(model.rowCount() - 1)))));
    list->setFocus();

    auto current = [list]() -> int32_t {
        return list->currentIndex().isValid() ? list->currentIndex().row() : -1;
    };
    PreviewKeys keys(&dialog, current, midi_router_of(parent));
    if (dialog.exec() != QDialog::Accepted || current() < 0) return std::nullopt;
    return size_t(current());
}

} // namespace tunemill
