// A page of the Options sheet: shows the settings it edits, reports edits so that Apply becomes
// available, and puts its values into effect when applied.
#pragma once

#include <QWidget>

namespace tunemill {

class OptionsPage : public QWidget {
    Q_OBJECT

  public:
    using QWidget::QWidget;
    // Stores the page's values into the settings and puts them into effect at once.
    virtual void apply() = 0;
    virtual int help_topic() const = 0;

  signals:
    void edited();
};

} // namespace tunemill
