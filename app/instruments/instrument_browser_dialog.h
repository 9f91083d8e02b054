// The instrument browser's dialog (run it with run_instrument_browser): the category strip, the
// library items of the category, OK, Loaded, Import and Cancel; the piano keys try the selected
// item. Open to the tests, which drive it as a user would.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "app/instruments/instrument_browser.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace tunemill {

class CategoryStrip;
class InstrumentLibrary;
class PreviewKeys;

// The run's library, rebuilt first when it holds no instrument file, the bank failed, or the
// instrument folder setting changed.
InstrumentLibrary& library_for_browser();

class InstrumentBrowser : public QDialog {
    Q_OBJECT

  public:
    InstrumentBrowser(QWidget* parent, Document& document, BrowserMode mode);
    ~InstrumentBrowser() override;

    std::optional<BrowserChoice> choice() const { return choice_; }
    // The song instrument the selected item stands for, loading it first; -1 when there is
    // none or it failed (the error has been shown).
    int32_t load_selected();

  public slots:
    void reject() override;

  private:
    void show_category(uint32_t category, const std::string& select_name);
    void drop_temporary();
    void end_with(size_t index, bool temporary);
    void confirm();
    void choose_loaded();
    void import_file();

    Document& document_;
    InstrumentLibrary& library_;
    CategoryStrip* strip_ = nullptr;
    QLabel* name_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* ok_ = nullptr;
    PreviewKeys* keys_ = nullptr;
    // The song instrument of the item loaded last (category, row), and whether the browser put
    // it into the song.
    std::optional<size_t> chosen_;
    std::optional<std::pair<uint32_t, int>> loaded_;
    bool temporary_ = false;
    std::optional<BrowserChoice> choice_;
};

} // namespace tunemill
