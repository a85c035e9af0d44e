#pragma once
#include <QDialog>
#include <QPoint>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "jobs/view/Picture.h"
#include "jobs/view/ViewTransform.h"

namespace jobs {

// The result viewer: a modeless top-level window that shows the picture of a
// render job as it is assembled, stretched over its client area. The mouse
// wheel zooms, dragging with the left button pans, and a right click offers
// "保存文件" (save as JPEG, PNG, BMP or TGA). Esc does not close it.
//
// Threading: every member must be called on the GUI thread (the thread of the
// QApplication). Calls from any other thread are refused (PutRow and
// SavePicture return false) rather than racing with painting; callers on
// other threads marshal with a blocking queued call.
//
// Lifetime: WA_DeleteOnClose is set. When the window is closed (close box,
// Alt+F4, close()) it calls on_closed, releases the picture, and is deleted
// by the event loop shortly after. Holders of a pointer must drop it in
// on_closed (or watch it with QPointer). Deleting it directly, or with the
// host widget that owns it, does not call on_closed.
//
// Its object name is "CMergeImg": hosts of liblumora.so, which does not
// export this type, find the viewer windows by it.
class CMergeImg : public QDialog {
 public:
  // Client size of a new viewer: 298 x 180 dialog units at the usual
  // 8-point dialog font.
  static constexpr int kInitialWidth = 447;
  static constexpr int kInitialHeight = 293;

  // A viewer owned by `owner` (may be null: a window of its own).
  explicit CMergeImg(QWidget* owner = nullptr);
  ~CMergeImg() override;

  // A viewer owned by the host window whose native id `*hostWindow` is
  // (`hostWindow` or `*hostWindow` may be null/0: no owner). A window of
  // this process becomes the Qt parent; a foreign window becomes the
  // transient parent of the viewer's window, when the platform knows it.
  static CMergeImg* CreateForHost(const WId* hostWindow);

  // Called once from the close handling, before the picture is released.
  std::function<void()> on_closed;

  // Makes the width x height yellow picture. Returns false (and shows no
  // picture) for sizes Picture::Create refuses.
  bool CreatePicture(int32_t width, int32_t height);

  // Shows the window in the normal state.
  void ShowViewer();

  // Places render row `line` (see Picture::PutRow) and, before returning,
  // repaints the strip of the window that shows it (the whole width). Returns false when nothing was placed: no
  // picture, a line outside the picture, or a call off the GUI thread.
  bool PutRow(int32_t line, const int32_t* colors, std::size_t count);

  // Saves the picture of this moment in the format of the path's extension
  // (FormatForPath). Returns false for an unknown extension (nothing is
  // written), an empty picture, a failed write or a call off the GUI thread.
  bool SavePicture(const std::string& path);

  // Shows the context menu at `clientPos`; if "保存文件" is chosen, asks for
  // a file name with the save dialog and saves there. Used by the right
  // mouse button.
  void ShowContextMenu(QPoint clientPos);

  const Picture& picture() const { return picture_; }
  const ViewTransform& view() const { return view_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 public:
  // Esc (and any other rejection) leaves the viewer open.
  void reject() override;

 private:
  ClientRect Client() const;
  bool OnGuiThread() const;

  Picture picture_;
  ViewTransform view_;
  bool dragging_ = false;
  QPoint last_mouse_;
  bool closed_ = false;
};

}  // namespace jobs
