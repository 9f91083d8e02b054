// The box after a module export that lists, in one place, everything the module could not hold
// as the song has it (voices merged, instruments left out, loops lost, ...).
#pragma once

#include <QDialog>
#include <QStringList>
#include <vector>

#include "modules/export.h"

namespace tunemill {

class ModuleWarningsBox : public QDialog {
  public:
    ModuleWarningsBox(const std::vector<ExportWarning>& warnings, QWidget* owner);
    // The same box for any list of what a file could not hold: a title, a sentence above the
    // list and one line each (MIDI import and export).
    ModuleWarningsBox(const QString& title, const QString& intro, const QStringList& lines,
                      QWidget* owner);
};

// Shows the box modally; nothing when there is nothing to tell.
void show_module_warnings(QWidget* owner, const std::vector<ExportWarning>& warnings);
void show_warnings(QWidget* owner, const QString& title, const QString& intro,
                   const QStringList& lines);

} // namespace tunemill
