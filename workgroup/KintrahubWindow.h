#pragma once
#include "platform/TrayDialog.h"

namespace workgroup {

// The workgroup server's window, "Kintrahub": the buttons "确定" and "取消",
// which end the program, and nothing else.
//
// GUI thread only.
class KintrahubWindow : public platform::TrayDialog {
 public:
  explicit KintrahubWindow(QWidget* parent = nullptr);
};

}  // namespace workgroup
