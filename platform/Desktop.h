#pragma once

namespace platform {

// True when this process should show windows: a display is named
// (DISPLAY or WAYLAND_DISPLAY), QT_QPA_PLATFORM does not ask for
// "offscreen" or "minimal", and a local X display named ":N" has its
// server's socket. Tray programs run as plain daemons otherwise. Call it
// before making a QApplication, which cannot start without a display.
bool DesktopAvailable();

// Qt keeps per-user runtime files under $XDG_RUNTIME_DIR and warns on every
// start when it is unset (a daemon, a service, a "su" shell). This makes
// TMPDIR/runtime-UID (mode 0700, as Qt itself would) and points the
// variable at it, so no warning is printed. Leaves a set variable alone.
// Call it before making a QApplication, before other threads start.
void EnsureRuntimeFolder();

}  // namespace platform
