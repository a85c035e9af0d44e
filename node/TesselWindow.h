#pragma once
#include "platform/TrayDialog.h"

namespace node {

// The render node's window, "Tessel": the buttons "确定" and "取消", which
// end the program.
//
// GUI thread only.
class TesselWindow : public platform::TrayDialog {
 public:
  explicit TesselWindow(QWidget* parent = nullptr);
};

}  // namespace node
