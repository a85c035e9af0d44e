#include "demo/Form1.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>

#include "demo/Components.h"
#include "demo/SceneChoice.h"
#include "jobs/host/RenderNet2.h"
#include "platform/MessageBox.h"
#include "platform/Translation.h"

Form1::Form1(QWidget* parent) : QWidget(parent) {
  setWindowTitle("Form1");
  command2_ = new QPushButton(platform::QtText("例子1"), this);
  command3_ = new QPushButton(platform::QtText("例子2"), this);
  command4_ = new QPushButton(platform::QtText("结束"), this);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(command2_);
  layout->addWidget(command3_);
  layout->addWidget(command4_);
  connect(command2_, &QPushButton::clicked, this, [this] { RunExample(1, 1024, 768); });
  connect(command3_, &QPushButton::clicked, this, [this] { RunExample(2, 640, 480); });
  connect(command4_, &QPushButton::clicked, this, [this] { End(); });
}

Form1::~Form1() = default;

void Form1::RunExample(int scene, int width, int height) {
  std::string error;
  if (!demo::BuildScene(scene, &error)) {
    platform::MessageBox(error);  // the run-time error of a failing call ends the handler
    return;
  }
  render_ = demo::NewRenderNet2(&error);
  if (!render_) {
    platform::MessageBox(error);
    return;
  }
  RenderNet2* render = render_->object();
  const WId window = winId();
  if (render->SetImage(width, height) != S_OK || render->Zarvo(&window) != S_OK) {
    platform::MessageBox("RenderNet2 failed");
  }
}

void Form1::End() {
  if (render_) render_->object()->Destory();
  render_.Reset();
  QApplication::quit();
}
