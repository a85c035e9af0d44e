#include "platform/TrayShell.h"

#include <QAction>
#include <QDialog>
#include <QEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <utility>

#include "platform/AboutBox.h"

namespace platform {

TrayShell::TrayShell(QDialog* window, const QIcon& icon, Texts texts, std::function<void()> end)
    : window_(window), icon_(icon), texts_(std::move(texts)), end_(std::move(end)) {
  window_->setWindowIcon(icon_);
  window_->installEventFilter(this);
  // OK, Cancel, Enter and Escape end the dialog; the program ends with it.
  connect(window_, &QDialog::finished, this, [this](int) { end_(); });

  auto* about = new QAction(texts_.aboutItem, window_);
  connect(about, &QAction::triggered, this, &TrayShell::ShowAbout);
  window_->addAction(about);
  window_->setContextMenuPolicy(Qt::ActionsContextMenu);

  menu_ = new QMenu;
  QAction* close = menu_->addAction(texts_.closeItem);
  connect(close, &QAction::triggered, this, [this] { end_(); });
  tray_ = new QSystemTrayIcon(icon_, this);
  tray_->setToolTip(texts_.tip);
  tray_->setContextMenu(menu_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) ShowWindow();
  });
}

TrayShell::~TrayShell() {
  window_->removeEventFilter(this);
  tray_->hide();
  delete menu_;
}

void TrayShell::Start() {
  trayAvailable_ = QSystemTrayIcon::isSystemTrayAvailable();
  HideToTray();
}

void TrayShell::HideToTray() {
  if (!trayAvailable_) {
    window_->showMinimized();
    return;
  }
  tray_->show();
  window_->hide();
}

void TrayShell::ShowWindow() {
  window_->showNormal();
  window_->raise();
  window_->activateWindow();
  tray_->hide();
}

void TrayShell::ShowAbout() {
  AboutBox box(texts_.aboutCaption, icon_, texts_.aboutLine, window_);
  box.exec();
}

bool TrayShell::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_) {
    if (event->type() == QEvent::Close) {
      // The close box hides; only the buttons and the tray menu end.
      event->ignore();
      HideToTray();
      return true;
    }
    if (event->type() == QEvent::WindowStateChange && window_->isMinimized() && trayAvailable_) {
      // Hidden once the state change is through.
      QTimer::singleShot(0, this, [this] { HideToTray(); });
    }
  }
  return QObject::eventFilter(watched, event);
}

QIcon TrayShell::MakeIcon(const QColor& color, QChar letter) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(color);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 5.0, size / 5.0);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(size * 2 / 3);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QString(letter));
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace platform
