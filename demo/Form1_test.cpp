// The demo window driven through its buttons, on Qt's offscreen platform,
// against a private farm where no name registry answers: every job opens
// its viewer and then fails, which is all the window itself decides.
#include "demo/Form1.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <string>

#include "jobs/host/RenderNet2.h"
#include "jobs/view/MergeImg.h"
#include "tests/support/Farm.h"

namespace {

using namespace std::chrono_literals;

QApplication& App() {
  static int argc = 1;
  static char name[] = "vornel_form_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);  // lives until exit
  return *app;
}

// The visible result viewers of the process.
std::vector<jobs::CMergeImg*> Viewers() {
  std::vector<jobs::CMergeImg*> found;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    // By object name: the library does not export the viewer's type.
    if (w->objectName() == QLatin1String("CMergeImg") && w->isVisible())
      found.push_back(static_cast<jobs::CMergeImg*>(w));
  }
  return found;
}

bool AllYellow(const jobs::Picture& p) {
  const std::size_t count = static_cast<std::size_t>(p.width()) * static_cast<std::size_t>(p.height());
  if (count == 0) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (p.scanlines()[i] != 0xFFFFFF00u) return false;  // 0xFFRRGGBB
  }
  return true;
}

// Standard error of this process goes to a file while it lives, so the test
// can wait for the lines the failing jobs print.
class StderrToFile {
 public:
  explicit StderrToFile(const std::filesystem::path& file) : file_(file) {
    std::fflush(stderr);
    saved_ = ::dup(2);
    std::FILE* f = std::fopen(file.c_str(), "w");
    ::dup2(::fileno(f), 2);
    std::fclose(f);
  }
  ~StderrToFile() {
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
  }
  int Count(const std::string& text) const {
    const std::string all = farmtest::ReadFile(file_);
    int n = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
    return n;
  }

 private:
  std::filesystem::path file_;
  int saved_ = -1;
};

TEST(Form1, ButtonsRenderBothScenesAtTheirSizesAndEndDestroysTheViewer) {
  farmtest::Farm farm;  // private TMPDIR and a registry port nobody answers on
  std::string why;
  ASSERT_TRUE(farm.UseClassesOf(farmtest::BinDir(), &why)) << why;
  App();
  StderrToFile err(farm.TmpDir() / "stderr.txt");
  const std::string failure = "请按照说明方式启动各级服务程序";

  Form1 form;
  form.show();
  const QList<QPushButton*> buttons = form.findChildren<QPushButton*>();
  ASSERT_EQ(buttons.size(), 3);
  EXPECT_EQ(buttons[0]->text(), QString::fromUtf8("例子1"));
  EXPECT_EQ(buttons[1]->text(), QString::fromUtf8("例子2"));
  EXPECT_EQ(buttons[2]->text(), QString::fromUtf8("结束"));

  // Example 2: a 640 x 480 yellow picture in a viewer owned by the form.
  buttons[1]->click();
  std::vector<jobs::CMergeImg*> open = Viewers();
  ASSERT_EQ(open.size(), 1u);
  QPointer<jobs::CMergeImg> first = open[0];
  EXPECT_EQ(first->picture().width(), 640);
  EXPECT_EQ(first->picture().height(), 480);
  EXPECT_TRUE(AllYellow(first->picture()));
  EXPECT_EQ(first->parentWidget(), &form);

  // While that viewer is open another example starts nothing.
  buttons[0]->click();
  open = Viewers();
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0], first.data());
  EXPECT_EQ(first->picture().width(), 640);

  // The job fails without a farm; the viewer stays until the user closes it.
  EXPECT_TRUE(farmtest::WaitUntil(
      [&] {
        QCoreApplication::processEvents();
        return err.Count(failure) >= 1;
      },
      30s));
  ASSERT_FALSE(first.isNull());
  first->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());

  // Example 1 after the closing: 1024 x 768.
  buttons[0]->click();
  open = Viewers();
  ASSERT_EQ(open.size(), 1u);
  QPointer<jobs::CMergeImg> second = open[0];
  EXPECT_EQ(second->picture().width(), 1024);
  EXPECT_EQ(second->picture().height(), 768);
  EXPECT_TRUE(farmtest::WaitUntil(
      [&] {
        QCoreApplication::processEvents();
        return err.Count(failure) >= 2;
      },
      30s));

  // "结束" destroys the viewer and ends the event loop.
  QTimer::singleShot(0, buttons[2], &QPushButton::click);
  QTimer::singleShot(20000, &App(), [] { QCoreApplication::exit(7); });
  EXPECT_EQ(App().exec(), 0) << "the event loop did not end";
  EXPECT_TRUE(second.isNull()) << "the viewer was not destroyed";
  EXPECT_TRUE(Viewers().empty());

  // Destory leaves the controller busy: a new job waits for Init.
  RenderNet2 next;
  const WId none = 0;
  EXPECT_EQ(next.Zarvo(&none), S_OK);
  int32_t state = -1;
  next.GetJobState(&state);
  EXPECT_EQ(state, RenderNet2::kJobNotStarted);
  EXPECT_TRUE(Viewers().empty());
  next.Init();

  // A failed job leaves its package; bin/ is copied into node folders.
  std::error_code ec;
  std::filesystem::remove(farmtest::BinDir() / "Render.zip", ec);
}

}  // namespace
