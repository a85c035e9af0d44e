#pragma once

namespace jobs {

// Message boxes of the library become Qt boxes on the GUI thread when the
// host shows windows, and standard-error lines when it runs headless.
// Idempotent.
void InstallMessageBoxes();

}  // namespace jobs
