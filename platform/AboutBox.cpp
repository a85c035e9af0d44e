#include "platform/AboutBox.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Translation.h"

namespace platform {

AboutBox::AboutBox(const QString& caption, const QIcon& icon, const QString& line, QWidget* parent) : QDialog(parent) {
  setWindowTitle(caption);
  setWindowIcon(icon);
  auto* picture = new QLabel(this);
  picture->setPixmap(icon.pixmap(32, 32));
  auto* text = new QLabel(line, this);
  auto* ok = new QPushButton(platform::QtText("确定"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(picture);
  row->addWidget(text, 1);
  row->addWidget(ok, 0, Qt::AlignTop);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
}

}  // namespace platform
