// The sequence window ("TMSequenceWindow"): the song's patterns on the left, the playing
// sequence on the right, and the buttons between them that arrange the song. The buttons act on
// the list last clicked (the acting list), whose selected line is highlighted; the other list's
// selection is outlined. At most one exists; it remembers its place and never stays maximized.
#pragma once

#include <QWidget>
#include <array>

class QListView;
class QPushButton;
class QMdiSubWindow;

namespace tunemill {

class Document;
class MainWindow;
class EnginePlayer;
class PatternListModel;
class SequenceListModel;

class SequenceWindow : public QWidget {
    Q_OBJECT

  public:
    enum class List { PATTERNS, SEQUENCE };
    enum Button {
        OPEN,
        NEW_PATTERN,
        RENAME,
        DELETE,
        INSERT,
        SET_REPEAT,
        PLAY_PATTERN,
        PLAY_FROM,
        BUTTON_COUNT
    };

    // The player may be null (no playback): the play buttons then do nothing.
    SequenceWindow(Document& document, MainWindow& frame, EnginePlayer* player,
                   QWidget* parent = nullptr);

    QListView* pattern_list() const { return pattern_list_; }
    QListView* sequence_list() const { return sequence_list_; }
    QPushButton* button(Button which) const { return buttons_[which]; }
    List acting_list() const { return acting_; }

    // What the buttons do; each returns the focus to the acting list.
    void open();
    void new_pattern();
    void rename();
    void remove();
    void insert();
    void set_repeat();
    void play_pattern();
    void play_from();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void build();
    void make_acting(List list);
    QListView* acting_view() const;
    // The selected line of a list, or -1.
    int selected_row(const QListView* view) const;
    void select_row(QListView* view, int row);
    void keep_selection_across_refills(QListView* view);
    // The button whose Alt key this is, if any.
    QPushButton* button_for_key(const QKeyEvent& key) const;
    void return_focus();
    void attach_to(QMdiSubWindow* child);
    void store_place();

    Document& document_;
    MainWindow& frame_;
    EnginePlayer* player_;
    PatternListModel* patterns_ = nullptr;
    SequenceListModel* sequence_ = nullptr;
    QListView* pattern_list_ = nullptr;
    QListView* sequence_list_ = nullptr;
    std::array<QPushButton*, BUTTON_COUNT> buttons_{};
    List acting_ = List::PATTERNS;
    QMdiSubWindow* child_ = nullptr;
    bool placed_ = false;
};

} // namespace tunemill
