#pragma once

namespace platform {

// True when this process should show windows: a display is named
// (DISPLAY or WAYLAND_DISPLAY), QT_QPA_PLATFORM does not ask for
// "offscreen" or "minimal", and a local X display named ":N" has its
// server's socket. Tray programs run as plain daemons otherwise. Call it
// before making a QApplication, which cannot start without a display.
bool DesktopAvailable();

}  // namespace platform
