// The about box: caption, the control's icon drawn in code (a page with a folded corner and
// lines of text), the version line, one notice line and an OK button; shown modally.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <QVBoxLayout>

#include "dialogs.h"
#include "gui_dialogs.h"

namespace gui {
namespace {

QPixmap controlIcon() {
  QPixmap icon(32, 32);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  p.setPen(Qt::black);
  p.setBrush(Qt::white);
  const QPolygon page({QPoint(5, 1), QPoint(20, 1), QPoint(27, 8), QPoint(27, 30), QPoint(5, 30)});
  p.drawPolygon(page);
  p.drawPolyline(QPolygon({QPoint(20, 1), QPoint(20, 8), QPoint(27, 8)}));
  p.setPen(QColor(0, 0, 128));
  for (int y = 12; y <= 26; y += 3) p.drawLine(9, y, 23, y);
  return icon;
}

}  // namespace

QDialog *createAboutBox(QWidget *parent) {
  auto *dialog = new QDialog(parent);
  dialog->setWindowTitle("About Norvview Control");
  auto *icon = new QLabel(dialog);
  icon->setObjectName("icon");
  icon->setPixmap(controlIcon());
  auto *version = new QLabel("Norvview Control, Version 1.0", dialog);
  version->setObjectName("version");
  auto *notice = new QLabel("Copyright (C) the Norvview developers", dialog);
  notice->setObjectName("notice");
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);

  auto *text = new QVBoxLayout;
  text->addWidget(version);
  text->addWidget(notice);
  auto *row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addLayout(text, 1);
  row->addWidget(buttons, 0, Qt::AlignTop);
  auto *layout = new QVBoxLayout(dialog);
  layout->addLayout(row);
  return dialog;
}

void runAboutBox() {
  if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr) return;
  QDialog *dialog = createAboutBox(QApplication::activeWindow());
  dialog->exec();
  delete dialog;
}

}  // namespace gui
