// The main frame's helpers around its menu and keys: the router that gives the keys of the two
// accelerator tables to the frame before any window sees them, F1 on an open popup, and the MDI
// area with the program's mark on its empty backdrop.
#pragma once

#include <QMdiArea>
#include <QMenu>
#include <QObject>

namespace tunemill {

class MainWindow;

// Routes the keys of the two accelerator tables to the frame, in the order the frame wants:
// the global keys first; then, while the sequence or instruments window is active, the key
// belongs to that window; else the editing keys. Keys meant for a modal dialog are left alone.
class KeyRouter : public QObject {
  public:
    explicit KeyRouter(MainWindow* frame);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    MainWindow* frame_;
};

// F1 while a popup is open asks for the popup's topic.
class PopupHelp : public QObject {
  public:
    PopupHelp(QMenu* menu, int topic) : QObject(menu), topic_(topic) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override;

  private:
    int topic_;
};

// The MDI area with the program's mark in the corner of its empty backdrop.
class FrameArea : public QMdiArea {
  public:
    explicit FrameArea(QWidget* parent) : QMdiArea(parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tunemill
