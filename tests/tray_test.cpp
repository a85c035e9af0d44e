// The tray programs on a real X display (Xvfb) with a freedesktop system
// tray host (trayer), driven with real pointer events (xdotool): each starts
// with only its tray icon, a double click shows its window, the close box
// hides it, and the tray menu's item ends the program through its orderly
// shutdown. With TRAY_TEST_SHOTS=DIR the test leaves screenshots there.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Farm.h"
#include "tests/support/Process.h"
#include "tests/support/TestEnv.h"

// Last: Xlib's macros would clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef None
#undef Bool
#undef Status
constexpr Window None = 0L;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using farmtest::Farm;
using farmtest::Process;
using farmtest::WaitUntil;

namespace {

// A display of our own with a tray host on it.
class Desktop {
 public:
  bool Start(std::string* error) {
    for (int n = 50 + getpid() % 200; n < 400; ++n) {
      if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) || fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
        continue;
      }
      name_ = ":" + std::to_string(n);
      break;
    }
    xvfb_ = Process::Start({"/usr/bin/Xvfb", name_, "-screen", "0", "800x600x24", "-nolisten", "tcp"},
                           dir_.path() / "xvfb.log", error);
    if (!xvfb_) return false;
    // Windows come and go while the test looks at them: a query on one that
    // is gone just fails.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    if (!WaitUntil([&] { return (display_ = XOpenDisplay(name_.c_str())) != nullptr; }, 20s, 100ms)) {
      *error = "Xvfb did not come up: " + xvfb_->Output();
      return false;
    }
    display_env_ = std::make_unique<farmtest::ScopedEnv>("DISPLAY", name_);
    platform_env_ = std::make_unique<farmtest::ScopedEnv>("QT_QPA_PLATFORM", "xcb");
    trayer_ = Process::Start({"/usr/bin/trayer", "--edge", "top", "--align", "left", "--widthtype", "request",
                              "--height", "32", "--SetDockType", "false"},
                             dir_.path() / "trayer.log", error);
    if (!trayer_) return false;
    const Atom tray = XInternAtom(display_, "_NET_SYSTEM_TRAY_S0", False);
    if (!WaitUntil([&] { return XGetSelectionOwner(display_, tray) != None; }, 20s, 100ms)) {
      *error = "no system tray: " + trayer_->Output();
      return false;
    }
    return true;
  }

  ~Desktop() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }

  // Windows of program `cls` (WM_CLASS): `topLevel` ones are children of the
  // root; the others (the tray icon) live inside the tray host.
  std::vector<Window> Windows(const std::string& cls, bool topLevel) {
    std::vector<Window> found;
    Walk(DefaultRootWindow(display_), 0, cls, topLevel, &found);
    return found;
  }

  // The viewable top-level window of `cls` titled `title`, or None.
  Window Viewable(const std::string& cls, const std::string& title) {
    for (Window w : Windows(cls, true)) {
      if (Title(w) == title && MapState(w) == IsViewable) return w;
    }
    return None;
  }

  // The tray icon of `cls` once it is embedded and shown, or None.
  Window TrayIcon(const std::string& cls) {
    for (Window w : Windows(cls, false)) {
      if (MapState(w) == IsViewable) return w;
    }
    return None;
  }

  // Clicks `button` `count` times in the middle of `w`.
  bool Click(Window w, int button, int count) {
    int x = 0, y = 0;
    Window child;
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display_, w, &a)) return false;
    XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    return Xdotool({"mousemove", "--sync", std::to_string(x + a.width / 2), std::to_string(y + a.height / 2), "click",
                    "--repeat", std::to_string(count), "--delay", "120", std::to_string(button)});
  }

  // Clicks at (dx, dy) inside `w`.
  bool ClickAt(Window w, int dx, int dy) {
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    return Xdotool({"mousemove", "--sync", std::to_string(x + dx), std::to_string(y + dy), "click", "1"});
  }

  // What the window manager's close box does: WM_DELETE_WINDOW.
  void CloseBox(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, w, False, NoEventMask, &e);
    XFlush(display_);
  }

  // The viewable pop-up menu of `cls` (a top-level that bypasses the
  // window manager), or None.
  Window PopupMenu(const std::string& cls) {
    for (Window w : Windows(cls, true)) {
      XWindowAttributes a{};
      if (XGetWindowAttributes(display_, w, &a) && a.map_state == IsViewable && a.override_redirect) return w;
    }
    return None;
  }

  void Shot(const std::string& name) {
    const char* dir = std::getenv("TRAY_TEST_SHOTS");
    if (dir == nullptr || *dir == '\0') return;
    auto p = Process::Start({"/usr/bin/import", "-window", "root", (fs::path(dir) / (name + ".png")).string()},
                            dir_.path() / "import.log");
    if (p) p->WaitExit(30s);
  }

  std::string Title(Window w) {
    XTextProperty p{};
    std::string title;
    if (XGetTextProperty(display_, w, &p, XInternAtom(display_, "_NET_WM_NAME", False)) && p.value != nullptr) {
      title.assign(reinterpret_cast<char*>(p.value), p.nitems);
      XFree(p.value);
    }
    return title;
  }

 private:
  int MapState(Window w) {
    XWindowAttributes a{};
    return XGetWindowAttributes(display_, w, &a) ? a.map_state : IsUnmapped;
  }

  void Walk(Window w, int depth, const std::string& cls, bool topLevel, std::vector<Window>* found) {
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(display_, w, &root, &parent, &children, &n)) return;
    for (unsigned i = 0; i < n; ++i) {
      XClassHint hint{};
      if (XGetClassHint(display_, children[i], &hint)) {
        if (hint.res_name != nullptr && cls == hint.res_name && (depth == 0) == topLevel) found->push_back(children[i]);
        XFree(hint.res_name);
        XFree(hint.res_class);
      }
      Walk(children[i], depth + 1, cls, topLevel, found);
    }
    if (children != nullptr) XFree(children);
  }

  bool Xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/xdotool");
    auto p = Process::Start(args, dir_.path() / "xdotool.log");
    return p && p->WaitExit(30s) == 0;
  }

  farmtest::TempDir dir_;
  std::string name_;
  std::unique_ptr<Process> xvfb_;
  std::unique_ptr<Process> trayer_;
  Display* display_ = nullptr;
  std::unique_ptr<farmtest::ScopedEnv> display_env_;
  std::unique_ptr<farmtest::ScopedEnv> platform_env_;
};

// Takes a tray program from its start to its end through the desktop:
// icon only, double click shows `title`, the close box hides it again, and
// the tray menu's item ends the program with status 0.
void DriveTrayProgram(Desktop& desktop, Process* program, const std::string& cls, const std::string& title,
                      const std::function<void()>& whileShown = {}) {
  ASSERT_NE(program, nullptr);
  Window icon = None;
  ASSERT_TRUE(WaitUntil([&] { return (icon = desktop.TrayIcon(cls)) != None; }, 30s, 100ms)) << program->Output();
  EXPECT_EQ(desktop.Viewable(cls, title), None);
  desktop.Shot(cls + "-1-tray");

  ASSERT_TRUE(desktop.Click(icon, 1, 2));
  Window window = None;
  ASSERT_TRUE(WaitUntil([&] { return (window = desktop.Viewable(cls, title)) != None; }, 20s, 100ms));
  EXPECT_TRUE(WaitUntil([&] { return desktop.TrayIcon(cls) == None; }, 10s, 100ms));
  if (whileShown) whileShown();
  desktop.Shot(cls + "-2-window");

  desktop.CloseBox(window);
  EXPECT_TRUE(WaitUntil([&] { return desktop.Viewable(cls, title) == None; }, 20s, 100ms));
  ASSERT_TRUE(WaitUntil([&] { return (icon = desktop.TrayIcon(cls)) != None; }, 20s, 100ms));
  EXPECT_TRUE(program->Running());

  // The tray menu: a right click pops it up; its single item ends the program.
  ASSERT_TRUE(desktop.Click(icon, 3, 1));
  Window menu = None;
  ASSERT_TRUE(WaitUntil([&] { return (menu = desktop.PopupMenu(cls)) != None; }, 20s, 100ms));
  desktop.Shot(cls + "-3-menu");
  ASSERT_TRUE(desktop.ClickAt(menu, 20, 12));
  EXPECT_EQ(program->WaitExit(30s), 0) << program->Output();
}

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(desktop_.Start(&error)) << error;
  }
  Desktop desktop_;
};

TEST_F(TrayTest, LedgoLogsIntoItsWindowAndDeletesItsStoreOnTheMenusEnd) {
  Farm farm;
  const fs::path dump = farm.TmpDir() / "ledgo-log.txt";
  farmtest::ScopedEnv dumpEnv("LEDGO_LOG_DUMP", dump.string());
  Process* ledgo = farm.StartRegistry();
  ASSERT_NE(ledgo, nullptr);
  // The start-up box does not hold the service up.
  std::string answer;
  ASSERT_TRUE(farm.Registry(2000, 1).Ask(std::string("PUT;Render;IOR:abc;k1") + '\0', &answer));
  EXPECT_EQ(answer, "k1");
  ASSERT_TRUE(fs::exists(farm.StoreFile()));
  Window box = None;
  EXPECT_TRUE(WaitUntil([&] { return (box = desktop_.Viewable("ledgo", "Ledgo")) != None; }, 20s, 100ms));
  desktop_.Shot("ledgo-0-startbox");
  if (box != None) {
    desktop_.CloseBox(box);
    EXPECT_TRUE(WaitUntil([&] { return desktop_.Viewable("ledgo", "Ledgo") == None; }, 20s, 100ms));
  }
  DriveTrayProgram(desktop_, ledgo, "ledgo", "Ledgo");
  EXPECT_FALSE(fs::exists(farm.StoreFile()));
  EXPECT_NE(farmtest::ReadFile(dump).find("注册服务:Render\n"), std::string::npos) << farmtest::ReadFile(dump);
}

TEST_F(TrayTest, KintrahubAndTesselLiveInTheTray) {
  Farm farm;
  ASSERT_NE(farm.StartRegistry(), nullptr);
  Process* hub = farm.StartWorkgroup();
  DriveTrayProgram(desktop_, hub, "kintrahub", "Kintrahub");
  // A node needs the workgroup server to join; the desktop's end still
  // shuts its ORB down in order.
  ASSERT_NE(farm.StartWorkgroup(), nullptr);
  Process* node = farm.StartNode(farm.MakeNodeFolder());
  ASSERT_NE(node, nullptr);
  EXPECT_TRUE(node->WaitForOutput("joined the work group Tessel", 30s)) << node->Output();
  DriveTrayProgram(desktop_, node, "tessel", "Tessel");
  EXPECT_NE(node->Output().find("shutting down"), std::string::npos) << node->Output();
}

}  // namespace
