#pragma once

namespace platform {

// True when windows can be shown: a QApplication exists and runs on a real
// display platform (not Qt's "offscreen" or "minimal").
bool GuiAvailable();

// Makes every message box of the process a modal QMessageBox shown on the
// GUI thread while GuiAvailable(); callers on other threads wait for it, as
// on the desktop. Without a GUI the standard-error line is kept.
void InstallQtMessageBoxPresenter();

}  // namespace platform
