// The OK and Cancel buttons of the program's dialogs.
#pragma once

class QDialog;
class QDialogButtonBox;

// A button box on `dialog` with "okButton" (string IDS_OK, the default button, accepts) and
// "cancelButton" (218, rejects); the dialog owns it, the caller places it in a layout.
QDialogButtonBox* NewOkCancelButtons(QDialog& dialog);
