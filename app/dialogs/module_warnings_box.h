// The box after a module export that lists, in one place, everything the module could not hold
// as the song has it (voices merged, instruments left out, loops lost, ...).
#pragma once

#include <QDialog>
#include <vector>

#include "modules/export.h"

namespace tunemill {

class ModuleWarningsBox : public QDialog {
  public:
    ModuleWarningsBox(const std::vector<ExportWarning>& warnings, QWidget* owner);
};

// Shows the box modally; nothing when there is nothing to tell.
void show_module_warnings(QWidget* owner, const std::vector<ExportWarning>& warnings);

} // namespace tunemill
