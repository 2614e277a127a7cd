// Installs the dialogs as the call interface's login and server-selection
// hooks, and the Qt message box, beep and busy cursor as the platform's.
// Thread rules: call once at program start on the user-interface thread,
// after the QApplication exists.
#pragma once

namespace qd {

void InstallDialogHooks();
void RemoveDialogHooks();

}  // namespace qd
