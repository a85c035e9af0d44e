#pragma once
#include <QWidget>

#include "jobs/host/LumoraClasses.h"

class QPushButton;

// The demo window: "例子1" and "例子2" build a demonstration scene through
// Maker and render it on the farm through a new RenderNet2 (kept for
// "结束"); "结束" destroys the viewer and ends the program.
//
// GUI thread only.
class Form1 : public QWidget {
 public:
  explicit Form1(QWidget* parent = nullptr);
  ~Form1() override;

 private:
  // Builds scene `scene` and renders it at width x height.
  void RunExample(int scene, int width, int height);
  void End();

  QPushButton* command2_;
  QPushButton* command3_;
  QPushButton* command4_;
  platform::com::ComPtr<jobs::IRenderNet2> render_;
};
