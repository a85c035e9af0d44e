#include "jobs/view/MergeImg.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>

#include "platform/Translation.h"

namespace jobs {

CMergeImg::CMergeImg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                         Qt::WindowCloseButtonHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  setWindowTitle(QStringLiteral("Dialog"));
  // Hosts find the viewer windows by this name (the type is not exported).
  setObjectName(QStringLiteral("CMergeImg"));
  resize(kInitialWidth, kInitialHeight);
}

CMergeImg::~CMergeImg() = default;

CMergeImg* CMergeImg::CreateForHost(const WId* hostWindow) {
  const WId id = hostWindow != nullptr ? *hostWindow : WId{0};
  if (id == 0) return new CMergeImg(nullptr);
  if (QWidget* own = QWidget::find(id)) return new CMergeImg(own->window());
  auto* viewer = new CMergeImg(nullptr);
  // A window of another toolkit or process: keep the viewer above it.
  if (QWindow* foreign = QWindow::fromWinId(id)) {
    viewer->winId();  // creates the native window so it has a handle
    if (QWindow* handle = viewer->windowHandle()) {
      foreign->setParent(handle);  // freed with the viewer's window
      handle->setTransientParent(foreign);
    } else {
      delete foreign;
    }
  }
  return viewer;
}

bool CMergeImg::OnGuiThread() const { return QThread::currentThread() == thread(); }

ClientRect CMergeImg::Client() const { return ClientRect{0, 0, width(), height()}; }

bool CMergeImg::CreatePicture(int32_t width, int32_t height) {
  if (!OnGuiThread()) return false;
  const bool ok = picture_.Create(width, height);
  update();
  return ok;
}

void CMergeImg::ShowViewer() { showNormal(); }

bool CMergeImg::PutRow(int32_t line, const int32_t* colors, std::size_t count) {
  if (!OnGuiThread() || closed_) return false;
  if (!picture_.PutRow(line, colors, count)) return false;
  // Only the band the row is stretched over needs painting; a pixel of slack
  // on each side covers rounding in the scaler.
  const PaintRect dest = view_.Destination(Client());
  const int64_t h = picture_.height();
  const int64_t top = dest.y + (int64_t{line - 1} * dest.height) / h - 1;
  const int64_t bottom = dest.y + (int64_t{line} * dest.height + h - 1) / h + 1;
  const QRect band = QRect(QPoint(0, static_cast<int>(std::clamp<int64_t>(top, -1, height()))),
                           QPoint(width() - 1, static_cast<int>(std::clamp<int64_t>(bottom, -1, height())))) &
                     rect();
  if (!band.isEmpty()) repaint(band);
  return true;
}

bool CMergeImg::SavePicture(const std::string& path) {
  if (!OnGuiThread()) return false;
  const std::optional<ImageFormat> format = FormatForPath(path);
  if (!format) return false;
  return picture_.Save(path, *format);
}

void CMergeImg::paintEvent(QPaintEvent*) {
  if (picture_.empty()) return;
  const QImage image(reinterpret_cast<const uchar*>(picture_.scanlines()), picture_.width(), picture_.height(),
                     static_cast<qsizetype>(picture_.bytes_per_line()), QImage::Format_RGB32);
  const PaintRect dest = view_.Destination(Client());
  QPainter painter(this);
  painter.drawImage(QRect(dest.x, dest.y, dest.width, dest.height), image);
}

void CMergeImg::wheelEvent(QWheelEvent* event) {
  view_.Wheel(event->angleDelta().y());
  repaint();
  event->accept();
}

void CMergeImg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    last_mouse_ = event->position().toPoint();
    dragging_ = true;
  }
  QDialog::mousePressEvent(event);
}

void CMergeImg::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    const QPoint p = event->position().toPoint();
    view_.Drag(last_mouse_.x(), last_mouse_.y(), p.x(), p.y(), Client());
    last_mouse_ = p;
    repaint();
  }
  QDialog::mouseMoveEvent(event);
}

void CMergeImg::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    dragging_ = false;
  } else if (event->button() == Qt::RightButton) {
    ShowContextMenu(event->position().toPoint());
    return;
  }
  QDialog::mouseReleaseEvent(event);
}

void CMergeImg::ShowContextMenu(QPoint clientPos) {
  QMenu menu(this);
  QAction* save = menu.addAction(platform::QtText("保存文件"));
  if (menu.exec(mapToGlobal(clientPos)) != save) return;

  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QStringLiteral("jpg"));
  dialog.setNameFilters({QStringLiteral("jpg (*.jpg)"), QStringLiteral("png (*.png)"), QStringLiteral("bmp (*.bmp)"),
                         QStringLiteral("tga (*.tga)"), QStringLiteral("All Files (*.*)")});
  // A bare name takes the extension of the chosen type, as on the desktop.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
    const qsizetype dot = filter.indexOf(QStringLiteral("(*."));
    const QString ext = dot < 0 ? QString() : filter.mid(dot + 3).chopped(1);
    dialog.setDefaultSuffix(ext == QLatin1String("*") || ext.isEmpty() ? QStringLiteral("jpg") : ext);
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  // A failed save (also an unknown extension) is not reported.
  SavePicture(dialog.selectedFiles().constFirst().toStdString());
  update();
}

void CMergeImg::reject() {}

void CMergeImg::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    if (on_closed) on_closed();
    picture_.Destroy();
  }
  event->accept();
}

}  // namespace jobs
