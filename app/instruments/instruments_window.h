// The instruments window: the song's instruments, each with its category picture, name and the
// bank mark, and the buttons Replace, Save, Export Audio, Change Icon and Rename for the
// selected one, which the piano keys and a MIDI keyboard play. At most one is open; its place in
// the main window is kept in the settings.
#pragma once

#include <QWidget>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

class QListView;
class QPushButton;
class QLabel;

namespace tunemill {

class Document;
class InstrumentListModel;
class MidiRouter;
class PreviewKeys;

class InstrumentsWindow : public QWidget {
    Q_OBJECT

  public:
    InstrumentsWindow(Document& document, MidiRouter* router, QWidget* parent = nullptr);
    ~InstrumentsWindow() override;

    // The selected instrument's song index, or none.
    std::optional<size_t> selected() const;
    void select(size_t index);
    QListView* list() const { return list_; }

    void replace();
    void save();
    void export_audio();
    void change_icon();
    void rename();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void update_buttons();
    void remember_selection();
    void restore_selection();

    Document& document_;
    InstrumentListModel* model_ = nullptr;
    QListView* list_ = nullptr;
    QLabel* empty_note_ = nullptr;
    std::vector<QPushButton*> buttons_;
    std::map<Qt::Key, void (InstrumentsWindow::*)()> alt_keys_;
    PreviewKeys* keys_ = nullptr;
    uint32_t selected_id_ = 0;
    bool placed_ = false;
};

} // namespace tunemill
