#include "jobs/view/MergeImg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace jobs {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kRed = 0x0000FF;  // COLORREF
constexpr int32_t kGreen = 0x00FF00;
constexpr int32_t kBlue = 0xFF0000;
constexpr int32_t kYellowRef = 0x00FFFF;
const QRgb kYellow = qRgb(255, 255, 0);

void EnsureApp() {
  static int argc = 1;
  static char name[] = "jobsview_mergeimg_test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);  // lives until exit
}

// Counts the paint events a widget receives and the area they cover.
class PaintCounter : public QObject {
 public:
  int count = 0;
  QRegion painted;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) {
      ++count;
      painted += static_cast<QPaintEvent*>(e)->region();
    }
    return false;
  }
};

std::string Describe(const QRegion& region) {
  std::string out;
  for (const QRect& r : region)
    out += "(" + std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height()) + ")";
  return out;
}

class MergeImgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApp();
    const char* tmp = std::getenv("TMPDIR");
    dir_ = fs::path(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") /
           ("jobsview_mergeimg_test." + std::to_string(::getpid()));
    fs::create_directories(dir_);
    viewer_ = new CMergeImg;
  }
  void TearDown() override {
    delete viewer_.data();
    fs::remove_all(dir_);
  }

  QImage Grab() { return viewer_->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  bool Row(int32_t line, std::vector<int32_t> colors) { return viewer_->PutRow(line, colors.data(), colors.size()); }

  void Mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(pos), QPointF(viewer_->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(viewer_, &e);
  }

  void WheelUp() {
    QWheelEvent e(QPointF(50, 50), QPointF(viewer_->mapToGlobal(QPoint(50, 50))), QPoint(), QPoint(0, 120),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(viewer_, &e);
  }

  fs::path dir_;
  QPointer<CMergeImg> viewer_;
};

TEST_F(MergeImgTest, StartsAsAYellowDialog) {
  ASSERT_TRUE(viewer_->CreatePicture(8, 6));
  viewer_->ShowViewer();
  EXPECT_TRUE(viewer_->isVisible());
  EXPECT_EQ(viewer_->windowTitle(), QStringLiteral("Dialog"));
  EXPECT_EQ(viewer_->size(), QSize(447, 293));
  EXPECT_FALSE(viewer_->isModal());
  const QImage shot = Grab();
  ASSERT_EQ(shot.size(), QSize(447, 293));
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) ASSERT_EQ(shot.pixel(x, y), kYellow) << x << "," << y;

  EXPECT_FALSE(viewer_->CreatePicture(0, 6));
  EXPECT_FALSE(viewer_->CreatePicture(8, -1));
  EXPECT_TRUE(viewer_->picture().empty());
  EXPECT_FALSE(Row(1, {kRed}));
}

TEST_F(MergeImgTest, PushedRowsArePaintedBeforePutRowReturns) {
  ASSERT_TRUE(viewer_->CreatePicture(4, 4));
  viewer_->ShowViewer();
  QCoreApplication::processEvents();
  PaintCounter counter;
  viewer_->installEventFilter(&counter);

  EXPECT_TRUE(Row(1, {kRed, kRed, kRed, kRed}));
  EXPECT_EQ(counter.count, 1);  // painted synchronously, no event loop ran
  // Row 1 of 4 covers window rows 0 to 73 (293 / 4 = 73.25).
  EXPECT_TRUE(counter.painted.contains(QRect(0, 0, 447, 74))) << Describe(counter.painted);
  EXPECT_TRUE(Row(4, {kBlue, kBlue, kBlue, kBlue}));
  EXPECT_TRUE(Row(3, {kGreen, kGreen}));  // short: the right half stays yellow
  EXPECT_EQ(counter.count, 3);
  EXPECT_TRUE(counter.painted.contains(QRect(0, 219, 447, 74))) << Describe(counter.painted);
  EXPECT_TRUE(counter.painted.contains(QRect(0, 146, 447, 74))) << Describe(counter.painted);
  EXPECT_FALSE(Row(0, {kRed, kRed, kRed, kRed}));
  EXPECT_FALSE(Row(5, {kRed, kRed, kRed, kRed}));
  EXPECT_FALSE(Row(-1, {kRed, kRed, kRed, kRed}));

  // Off the GUI thread a row is refused, not raced with painting.
  bool offThread = true;
  std::thread other([&] { offThread = Row(2, {kRed, kRed, kRed, kRed}); });
  other.join();
  EXPECT_FALSE(offThread);
  viewer_->removeEventFilter(&counter);

  // The 4 x 4 picture is stretched over 447 x 293: sample cell centres.
  const QImage shot = Grab();
  const int xs[4] = {55, 167, 279, 391};
  const int ys[4] = {36, 109, 183, 256};
  const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255);
  const QRgb want[4][4] = {{red, red, red, red},
                           {kYellow, kYellow, kYellow, kYellow},
                           {green, green, kYellow, kYellow},
                           {blue, blue, blue, blue}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(shot.pixel(xs[c], ys[r]), want[r][c]) << "row " << r + 1 << " column " << c;
  EXPECT_EQ(shot.pixel(0, 0), red);
  EXPECT_EQ(shot.pixel(446, 292), blue);
}

TEST_F(MergeImgTest, WheelZoomsAndLeftDragPans) {
  ASSERT_TRUE(viewer_->CreatePicture(2, 2));
  viewer_->ShowViewer();
  QCoreApplication::processEvents();  // exposed: repaints happen at once
  ASSERT_TRUE(Row(1, {kRed, kBlue}));
  ASSERT_TRUE(Row(2, {kGreen, kYellowRef}));

  // Moving without the button held does not pan.
  Mouse(QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::NoButton);
  for (int i = 0; i < 10; ++i) WheelUp();
  EXPECT_NEAR(viewer_->view().zoom(), 2.5937424601, 1e-9);
  Mouse(QEvent::MouseButtonPress, QPoint(300, 200), Qt::LeftButton, Qt::LeftButton);
  Mouse(QEvent::MouseMove, QPoint(200, 150), Qt::NoButton, Qt::LeftButton);
  Mouse(QEvent::MouseMove, QPoint(100, 100), Qt::NoButton, Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, QPoint(100, 100), Qt::LeftButton, Qt::NoButton);
  Mouse(QEvent::MouseMove, QPoint(0, 0), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(viewer_->view().pan_x(), -200);
  EXPECT_EQ(viewer_->view().pan_y(), -100);

  // A row repaints where it now shows: row 2 spans y 279.5 to 659.
  PaintCounter counter;
  viewer_->installEventFilter(&counter);
  ASSERT_TRUE(Row(2, {kGreen, kYellowRef}));
  viewer_->removeEventFilter(&counter);
  EXPECT_EQ(counter.count, 1);
  EXPECT_TRUE(counter.painted.contains(QRect(0, 280, 447, 13))) << Describe(counter.painted);

  // Painted at (-200, -100) with size 1159 x 759: the red top-left pixel now
  // reaches x 379 and y 279, where unzoomed it would end at 223 and 146.
  const QImage shot = Grab();
  EXPECT_EQ(shot.pixel(300, 10), qRgb(255, 0, 0));
  EXPECT_EQ(shot.pixel(10, 200), qRgb(255, 0, 0));
  EXPECT_EQ(shot.pixel(420, 10), qRgb(0, 0, 255));
  EXPECT_EQ(shot.pixel(10, 290), qRgb(0, 255, 0));
  EXPECT_EQ(shot.pixel(420, 290), kYellow);
}

TEST_F(MergeImgTest, EscKeepsItOpenAndClosingCallsBack) {
  ASSERT_TRUE(viewer_->CreatePicture(4, 4));
  viewer_->ShowViewer();
  int closed = 0;
  bool pictureDuringCallback = false;
  viewer_->on_closed = [&] {
    ++closed;
    pictureDuringCallback = !viewer_->picture().empty();
  };

  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(viewer_, &esc);
  viewer_->reject();
  QCoreApplication::processEvents();
  ASSERT_FALSE(viewer_.isNull());
  EXPECT_TRUE(viewer_->isVisible());
  EXPECT_EQ(closed, 0);

  EXPECT_TRUE(viewer_->close());
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(pictureDuringCallback);
  ASSERT_FALSE(viewer_.isNull());  // deleted later, by the event loop
  EXPECT_TRUE(viewer_->picture().empty());
  EXPECT_FALSE(Row(1, {kRed, kRed, kRed, kRed}));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(viewer_.isNull());
  EXPECT_EQ(closed, 1);
}

TEST_F(MergeImgTest, HostWindowBecomesTheOwner) {
  QWidget host;
  host.show();
  const WId id = host.winId();
  QPointer<CMergeImg> owned = CMergeImg::CreateForHost(&id);
  ASSERT_FALSE(owned.isNull());
  EXPECT_EQ(owned->parentWidget(), &host);
  EXPECT_TRUE(owned->isWindow());
  EXPECT_TRUE(owned->testAttribute(Qt::WA_DeleteOnClose));

  const WId none = 0;
  std::unique_ptr<CMergeImg> zero(CMergeImg::CreateForHost(&none));
  EXPECT_EQ(zero->parentWidget(), nullptr);
  std::unique_ptr<CMergeImg> null(CMergeImg::CreateForHost(nullptr));
  EXPECT_EQ(null->parentWidget(), nullptr);
  // An id this process does not know: no owner, but still a viewer.
  const WId foreign = 0x7fff1234;
  std::unique_ptr<CMergeImg> stranger(CMergeImg::CreateForHost(&foreign));
  EXPECT_EQ(stranger->parentWidget(), nullptr);
  EXPECT_TRUE(stranger->CreatePicture(2, 2));
}

std::vector<unsigned char> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(MergeImgTest, SavePictureChoosesTheFormatByExtension) {
  ASSERT_TRUE(viewer_->CreatePicture(4, 2));
  ASSERT_TRUE(Row(1, {kRed, kRed, kRed, kRed}));
  EXPECT_FALSE(viewer_->SavePicture(dir_ / "x.gif"));
  EXPECT_FALSE(viewer_->SavePicture(dir_ / "x"));
  EXPECT_FALSE(fs::exists(dir_ / "x.gif"));
  EXPECT_FALSE(fs::exists(dir_ / "x"));

  ASSERT_TRUE(viewer_->SavePicture(dir_ / "x.PNG"));
  const std::vector<unsigned char> bytes = ReadBytes(dir_ / "x.PNG");
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes[1], 'P');
  EXPECT_EQ(bytes[2], 'N');
  EXPECT_EQ(bytes[3], 'G');
  const QImage back(QString::fromStdString((dir_ / "x.PNG").string()));
  ASSERT_EQ(back.size(), QSize(4, 2));
  EXPECT_EQ(back.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(back.pixel(3, 1), kYellow);
}

// Types a file name into the dialog's name field, as the user does.
// (QFileDialog::selectFile leaves the field alone once it has the focus,
// which it gets at a moment the test does not control.)
void TypeFileName(QFileDialog* dialog, const QString& name) {
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(edit, nullptr);
  edit->setText(name);
}

// Drives the context menu and the save dialog from the event loop they run.
class ContextMenuDriver {
 public:
  // What to do once the menu is up and, if it was chosen, once the dialog is.
  std::function<void(QMenu*)> onMenu;
  std::function<void(QFileDialog*)> onDialog;
  bool sawMenu = false;
  bool sawDialog = false;

  void Run(CMergeImg* viewer) {
    QTimer timer;
    timer.setInterval(10);
    // The dialog is driven only from its own event loop: events handled
    // while exec() is still showing it come at the caller's loop level, and
    // a dialog closed then would leave exec() waiting for ever.
    const int level = QThread::currentThread()->loopLevel();
    QObject::connect(&timer, &QTimer::timeout, [this, level] {
      if (!sawMenu) {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
          sawMenu = true;
          onMenu(menu);
        }
      } else if (!sawDialog && QThread::currentThread()->loopLevel() > level) {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
          sawDialog = true;
          onDialog(dialog);
        }
      }
    });
    timer.start();
    viewer->ShowContextMenu(QPoint(20, 20));
  }
};

void ChooseSave(QMenu* menu) {
  ASSERT_EQ(menu->actions().size(), 1);
  EXPECT_EQ(menu->actions().first()->text(), QStringLiteral("保存文件"));
  menu->setActiveAction(menu->actions().first());
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(menu, &enter);
}

TEST_F(MergeImgTest, ContextMenuSavesThroughTheSaveDialog) {
  ASSERT_TRUE(viewer_->CreatePicture(4, 2));
  viewer_->ShowViewer();
  const QString folder = QString::fromStdString(dir_.string());

  ContextMenuDriver first;
  first.onMenu = ChooseSave;
  first.onDialog = [&](QFileDialog* d) {
    EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(d->defaultSuffix(), QStringLiteral("jpg"));
    EXPECT_FALSE(d->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(d->nameFilters(),
              QStringList({"jpg (*.jpg)", "png (*.png)", "bmp (*.bmp)", "tga (*.tga)", "All Files (*.*)"}));
    d->setDirectory(folder);
    TypeFileName(d, QStringLiteral("shot.TGA"));
    static_cast<QDialog*>(d)->accept();  // QFileDialog::accept, as the OK button does
  };
  first.Run(viewer_);
  ASSERT_TRUE(first.sawDialog);
  std::vector<unsigned char> bytes = ReadBytes(dir_ / "shot.TGA");
  ASSERT_GE(bytes.size(), 18u);
  EXPECT_TRUE(bytes[2] == 2 || bytes[2] == 10);
  EXPECT_EQ(bytes[12], 4);
  EXPECT_EQ(bytes[14], 2);

  // A bare name takes the default suffix, or that of the chosen type.
  ContextMenuDriver bare;
  bare.onMenu = ChooseSave;
  bare.onDialog = [&](QFileDialog* d) {
    d->setDirectory(folder);
    TypeFileName(d, QStringLiteral("bare"));
    static_cast<QDialog*>(d)->accept();  // QFileDialog::accept, as the OK button does
  };
  bare.Run(viewer_);
  bytes = ReadBytes(dir_ / "bare.jpg");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);

  ContextMenuDriver typed;
  typed.onMenu = ChooseSave;
  typed.onDialog = [&](QFileDialog* d) {
    d->setDirectory(folder);
    d->selectNameFilter(QStringLiteral("png (*.png)"));
    emit d->filterSelected(QStringLiteral("png (*.png)"));
    TypeFileName(d, QStringLiteral("bare2"));
    static_cast<QDialog*>(d)->accept();  // QFileDialog::accept, as the OK button does
  };
  typed.Run(viewer_);
  bytes = ReadBytes(dir_ / "bare2.png");
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes[1], 'P');

  // Cancelling the dialog, or the menu, saves nothing.
  ContextMenuDriver cancel;
  cancel.onMenu = ChooseSave;
  cancel.onDialog = [&](QFileDialog* d) {
    d->setDirectory(folder);
    TypeFileName(d, QStringLiteral("cancelled.png"));
    d->reject();
  };
  cancel.Run(viewer_);
  EXPECT_TRUE(cancel.sawDialog);

  ContextMenuDriver dismiss;
  dismiss.onMenu = [](QMenu* menu) { menu->close(); };
  dismiss.onDialog = [](QFileDialog* d) { d->reject(); };
  dismiss.Run(viewer_);
  EXPECT_TRUE(dismiss.sawMenu);
  EXPECT_FALSE(dismiss.sawDialog);

  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(dir_)) files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"bare.jpg", "bare2.png", "shot.TGA"}));
}

}  // namespace
}  // namespace jobs
