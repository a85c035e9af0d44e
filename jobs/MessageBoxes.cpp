#include "jobs/MessageBoxes.h"

#include <mutex>

#include "platform/QtMessageBox.h"

namespace lumora {

void InstallMessageBoxes() {
  static std::once_flag once;
  std::call_once(once, [] { platform::InstallQtMessageBoxPresenter(); });
}

}  // namespace lumora
