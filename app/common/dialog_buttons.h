// The OK and Cancel row of the small dialogs, in the current language.
#pragma once

class QDialog;
class QDialogButtonBox;

namespace tunemill {

// OK and Cancel, wired to accept and reject the dialog; the caller lays the row out.
QDialogButtonBox* ok_cancel_buttons(QDialog& dialog);

} // namespace tunemill
