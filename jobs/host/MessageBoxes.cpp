#include "jobs/host/MessageBoxes.h"

#include <mutex>

#include "platform/QtMessageBox.h"
#include "platform/Translation.h"

namespace jobs {

void InstallMessageBoxes() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The library's boxes in the host's language (English for an English
    // locale), like the programs'.
    platform::InstallTranslation();
    platform::InstallQtMessageBoxPresenter();
  });
}

namespace {
// Every box of the library (the scene maker's too) goes through the Qt
// presenter from the moment the library is loaded.
const bool installedAtLoad = (InstallMessageBoxes(), true);
}  // namespace

}  // namespace jobs
