// The splash and About box: one dialog for both. At start it shows the picture borderless and
// topmost over the main window for three seconds; from Help > About it is a modal box with the
// picture, the version and an OK button.
#pragma once

#include <QDialog>

namespace tunemill {

class AboutBox : public QDialog {
  public:
    enum class Mode { SPLASH, ABOUT };
    static constexpr int SPLASH_MILLISECONDS = 3000;

    AboutBox(Mode mode, QWidget* parent);
    Mode mode() const { return mode_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    Mode mode_;
};

} // namespace tunemill
