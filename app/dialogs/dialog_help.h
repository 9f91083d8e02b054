// Help in the composer's dialogs: F1 opens the dialog's help topic, and a Help button in its
// button box does the same.
#pragma once

class QDialog;
class QDialogButtonBox;

namespace tunemill {

// F1 anywhere in the dialog opens the topic; with a button box, its Help button too.
void add_dialog_help(QDialog& dialog, int topic, QDialogButtonBox* buttons = nullptr);

} // namespace tunemill
