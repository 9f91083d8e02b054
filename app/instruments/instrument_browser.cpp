// The instrument browser. The library item the user tries is put into the song as a temporary
// instrument so that the engine can sound it; it is taken out again when the user tries another
// one, cancels, or goes to Loaded or Import, so that it never outlives the dialog unless the
// caller's edit adopts it.
#include "app/instruments/instrument_browser.h"

#include <QDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <filesystem>
#include <string>

#include "app/common/category_art.h"
#include "app/common/commands.h"
#include "app/common/error_box.h"
#include "app/common/file_dialogs.h"
#include "app/common/help.h"
#include "app/dialogs/dialog_help.h"
#include "app/document/document.h"
#include "app/document/song_paths.h"
#include "app/instruments/category_strip.h"
#include "app/instruments/instrument_browser_dialog.h"
#include "app/instruments/instrument_dialogs.h"
#include "app/instruments/instrument_line_delegate.h"
#include "app/instruments/instrument_list_model.h"
#include "app/instruments/preview_keys.h"
#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "instruments/bank.h"
#include "instruments/library.h"
#include "instruments/sample_import.h"
#include "settings/settings.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

namespace {

// What the browser shows again at its next opening: the category and the item loaded last.
struct BrowserMemory {
    uint32_t category = 0;
    uint32_t item_category = 0;
    std::string item_name;
    QString import_folder;
};

BrowserMemory& memory() {
    static BrowserMemory remembered;
    return remembered;
}

std::optional<size_t> equal_in_song(const Song& song, const Instrument& instrument) {
    for (size_t i = 0; i < song.instruments.size(); ++i)
        if (equal(song.instruments[i], instrument)) return i;
    return std::nullopt;
}

} // namespace

InstrumentLibrary& library_for_browser() {
    InstrumentLibrary& library = instrument_library();
    const std::filesystem::path folder = settings().instrument_folder;
    if (library.needs_rebuild(folder))
        library.build(folder, instrument_bank(), report_in_error_box);
    return library;
}

InstrumentBrowser::InstrumentBrowser(QWidget* parent, Document& document, BrowserMode mode)
    : QDialog(parent), document_(document), library_(library_for_browser()) {
    setObjectName(QStringLiteral("InstrumentBrowser"));
    setWindowTitle(mode == BrowserMode::REPLACE_INSTRUMENT ? composer_text(S_REPLACE_INSTRUMENT)
                                                           : dialog_text(D_ADD_VOICE));

    strip_ = new CategoryStrip(this);
    strip_->setObjectName(QStringLiteral("categories"));
    name_ = new QLabel(this);
    name_->setObjectName(QStringLiteral("categoryName"));
    QFont heading = name_->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.2);
    name_->setFont(heading);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("items"));
    list_->setItemDelegate(new InstrumentLineDelegate(list_));
    list_->setUniformItemSizes(true);
    list_->setMinimumHeight(240);

    ok_ = new QPushButton(dialog_text(D_OK), this);
    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setDefault(true);
    auto* loaded = new QPushButton(dialog_text(D_LOADED), this);
    loaded->setObjectName(QStringLiteral("loaded"));
    auto* import = new QPushButton(dialog_text(D_IMPORT), this);
    import->setObjectName(QStringLiteral("import"));
    auto* cancel = new QPushButton(dialog_text(D_CANCEL), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    auto* help = new QPushButton(QStringLiteral("?"), this);
    help->setToolTip(QStringLiteral("F1"));
    for (QPushButton* button : {loaded, import, cancel, help})
        button->setAutoDefault(false);
    auto* hint = new QLabel(dialog_text(D_PLAY_HINT), this);
    hint->setWordWrap(true);
    hint->setForegroundRole(QPalette::PlaceholderText);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok_);
    buttons->addWidget(loaded);
    buttons->addWidget(import);
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(help);
    auto* middle = new QHBoxLayout;
    middle->addWidget(list_, 1);
    middle->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(strip_, 0, Qt::AlignHCenter);
    layout->addWidget(name_);
    layout->addLayout(middle, 1);
    layout->addWidget(hint);

    connect(strip_, &CategoryStrip::categoryChanged, this,
            [this](uint32_t category) { show_category(category, {}); });
    connect(ok_, &QPushButton::clicked, this, &InstrumentBrowser::confirm);
    // Enter reaches the default button OK; a double-click on an item is OK too.
    connect(list_, &QListWidget::itemDoubleClicked, this, &InstrumentBrowser::confirm);
    connect(loaded, &QPushButton::clicked, this, &InstrumentBrowser::choose_loaded);
    connect(import, &QPushButton::clicked, this, &InstrumentBrowser::import_file);
    connect(cancel, &QPushButton::clicked, this, &InstrumentBrowser::reject);
    connect(help, &QPushButton::clicked, this, [] { open_help(HELP_ADD_VOICE); });
    add_dialog_help(*this, HELP_ADD_VOICE);
    // Alt+L and Alt+I work in every language, whatever letters the buttons' texts mark (where
    // a text marks the same letter, its own mnemonic does it).
    auto hidden_key = [this](QPushButton* button, Qt::Key key, void (InstrumentBrowser::*run)()) {
        const QKeySequence sequence(Qt::ALT | key);
        if (QKeySequence::mnemonic(button->text()) == sequence) return;
        connect(new QShortcut(sequence, this), &QShortcut::activated, this, run);
    };
    hidden_key(loaded, Qt::Key_L, &InstrumentBrowser::choose_loaded);
    hidden_key(import, Qt::Key_I, &InstrumentBrowser::import_file);

    const BrowserMemory& remembered = memory();
    strip_->blockSignals(true);
    strip_->set_category(remembered.category);
    strip_->blockSignals(false);
    show_category(strip_->category(), remembered.item_category == strip_->category()
                                          ? remembered.item_name
                                          : std::string());
    list_->setFocus();

    keys_ = new PreviewKeys(
        this, [this] { return load_selected(); }, midi_router_of(parent));
    resize(sizeHint().expandedTo(QSize(560, 470)));
}

InstrumentBrowser::~InstrumentBrowser() {
    // However the dialog ends, a previewed instrument does not outlive it.
    drop_temporary();
}

void InstrumentBrowser::show_category(uint32_t category, const std::string& select_name) {
    name_->setText(QStringLiteral(" ") + category_name(category));
    list_->clear();
    const std::vector<LibraryItem>& items = library_.items(category);
    int select = 0;
    for (size_t row = 0; row < items.size(); ++row) {
        const LibraryItem& item = items[row];
        auto* line =
            new QListWidgetItem(QString::fromStdString(windows1252_to_utf8(item.name)), list_);
        line->setData(InstrumentListModel::CategoryRole, category);
        line->setData(InstrumentListModel::FromBankRole, item.from_bank);
        if (!item.from_bank) {
            line->setData(InstrumentListModel::DetailsRole,
                          QString::fromStdString(item.relative.generic_string()));
            line->setToolTip(QString::fromStdString(library_.item_path(item).string()));
        } else {
            line->setToolTip(dialog_text(D_FROM_BANK));
        }
        if (!select_name.empty() && item.name == select_name) select = int(row);
    }
    if (list_->count() > 0) list_->setCurrentRow(select);
    ok_->setEnabled(list_->count() > 0);
    memory().category = category;
}

void InstrumentBrowser::drop_temporary() {
    if (temporary_) {
        if (keys_) keys_->release_all();
        document_.remove_temporary_instrument();
    }
    temporary_ = false;
    chosen_.reset();
    loaded_.reset();
}

int32_t InstrumentBrowser::load_selected() {
    const int row = list_->currentRow();
    const uint32_t category = strip_->category();
    const std::vector<LibraryItem>& items = library_.items(category);
    if (row < 0 || size_t(row) >= items.size()) return -1;
    if (loaded_ && loaded_->first == category && loaded_->second == row && chosen_)
        return int32_t(*chosen_);
    drop_temporary();
    const LibraryItem& item = items[size_t(row)];
    const Song& song = document_.song();
    try {
        if (item.from_bank) {
            // The song may hold this bank instrument already.
            for (size_t i = 0; i < song.instruments.size() && !chosen_; ++i)
                if (song.instruments[i].from_bank && song.instruments[i].name == item.name)
                    chosen_ = i;
        }
        if (!chosen_) {
            Instrument instrument = library_.load(item, instrument_bank());
            chosen_ = equal_in_song(song, instrument);
            if (!chosen_) {
                chosen_ = document_.add_temporary_instrument(std::move(instrument));
                temporary_ = chosen_.has_value();
            }
        }
    } catch (const ERROR& error) {
        chosen_.reset();
        // A file of the instrument folder is named; the bank's own failures speak for themselves.
        if (item.from_bank)
            show_error(error);
        else
            show_load_error_box(library_.item_path(item).string());
        return -1;
    }
    if (!chosen_) return -1;
    loaded_ = {category, row};
    memory().item_category = category;
    memory().item_name = item.name;
    return int32_t(*chosen_);
}

void InstrumentBrowser::end_with(size_t index, bool temporary) {
    choice_ = BrowserChoice{index, temporary};
    // The caller's edit adopts a temporary instrument now; it is no longer ours to remove.
    temporary_ = false;
    chosen_.reset();
    loaded_.reset();
    accept();
}

void InstrumentBrowser::confirm() {
    if (choice_) return; // already ended
    const int32_t index = load_selected();
    if (index < 0) return;
    end_with(size_t(index), temporary_);
}

void InstrumentBrowser::reject() {
    drop_temporary();
    QDialog::reject();
}

void InstrumentBrowser::choose_loaded() {
    const size_t start = chosen_ && !temporary_ ? *chosen_ : 0;
    drop_temporary();
    if (const std::optional<size_t> index = choose_loaded_instrument(this, document_, start))
        end_with(*index, false);
}

void InstrumentBrowser::import_file() {
    drop_temporary();
    BrowserMemory& remembered = memory();
    FileDialogRequest request;
    request.title = composer_text(S_IMPORT_INSTRUMENT);
    request.filter_id = S_SAMPLE_IMPORT_FILTER;
    request.folder = remembered.import_folder.isEmpty()
                         ? QString::fromStdString(settings().instrument_folder)
                         : remembered.import_folder;
    request.help_topic = HELP_LOAD_DIALOG;
    const std::optional<FileChoice> file = run_file_dialog(this, request);
    if (!file) return;
    remembered.import_folder = QFileInfo(file->path).absolutePath();
    try {
        std::optional<Instrument> instrument =
            import_sample_file(from_qstring_path(file->path), [this](RawImportSettings& raw) {
                return ask_raw_import_settings(this, raw);
            });
        if (!instrument) return;
        // The same sound imported twice is one instrument.
        if (const std::optional<size_t> existing = equal_in_song(document_.song(), *instrument)) {
            end_with(*existing, false);
            return;
        }
        if (const std::optional<size_t> index =
                document_.add_temporary_instrument(std::move(*instrument)))
            end_with(*index, true);
    } catch (const ERROR&) {
        show_load_error_box(from_qstring_path(file->path));
    }
}

std::optional<BrowserChoice> run_instrument_browser(QWidget* parent, Document& document,
                                                    BrowserMode mode) {
    InstrumentBrowser browser(parent, document, mode);
    if (browser.exec() != QDialog::Accepted) return std::nullopt;
    return browser.choice();
}

} // namespace tunemill
