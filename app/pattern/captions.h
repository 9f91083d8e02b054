// The caption bars of a pattern window's panes ("TMCaptionWindow", "TMVoiceCaptionWindow"): a
// caption between two panes is the handle of a splitter, so dragging it with the left button
// shows a line where the border will go and, on release, gives the pane below the distance moved
// and takes it from the nearest shown pane above.
#pragma once

#include <QSplitter>
#include <QSplitterHandle>
#include <QWidget>

namespace tunemill {

constexpr int CAPTION_HEIGHT = 18;

// Draws a caption: a bar in the window's button colours with its text at the left.
void paint_caption(QWidget& widget, const QString& text, bool draggable);

// The caption of the pane at the top, which cannot be dragged.
class CaptionBar : public QWidget {
    Q_OBJECT

  public:
    explicit CaptionBar(QWidget* parent = nullptr);
    void set_text(const QString& text);
    QString text() const { return text_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
};

class CaptionHandle : public QSplitterHandle {
    Q_OBJECT

  public:
    CaptionHandle(Qt::Orientation orientation, QSplitter* parent);
    void set_text(const QString& text);
    QString text() const { return text_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
};

// A vertical splitter whose handles are captions: handle i is the caption of widget i.
class CaptionSplitter : public QSplitter {
    Q_OBJECT

  public:
    explicit CaptionSplitter(QWidget* parent = nullptr);
    void set_caption(int index, const QString& text);
    CaptionHandle* caption(int index) const;

  protected:
    QSplitterHandle* createHandle() override;
};

} // namespace tunemill
