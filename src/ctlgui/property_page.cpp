// The property page, an empty page captioned "General", and the property frame that shows it
// on its tab with OK, Cancel and Apply. The control has no property it edits here; the page
// exists so that containers find the one page the control lists.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>

#include "dialogs.h"
#include "gui_dialogs.h"

namespace gui {

QWidget *createPropertyPage(QWidget *parent) {
  auto *page = new QWidget(parent);
  page->setWindowTitle(kPropertyPageCaption);
  page->setObjectName("propertyPage");
  return page;
}

QDialog *createPropertyFrame(const char *objectName, QWidget *parent) {
  auto *frame = new QDialog(parent);
  frame->setWindowTitle(QString::fromUtf8(objectName) + " Properties");
  auto *tabs = new QTabWidget(frame);
  QWidget *page = createPropertyPage(tabs);
  tabs->addTab(page, page->windowTitle());
  auto *buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, frame);
  QObject::connect(buttons, &QDialogButtonBox::accepted, frame, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, frame, &QDialog::reject);
  auto *layout = new QVBoxLayout(frame);
  layout->addWidget(tabs);
  layout->addWidget(buttons);
  return frame;
}

void runPropertyFrame(const char *objectName) {
  if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr) return;
  QDialog *frame = createPropertyFrame(objectName, QApplication::activeWindow());
  frame->exec();
  delete frame;
}

void activateWindow(void *window) {
  auto *widget = static_cast<QWidget *>(window);
  widget->show();
  widget->setFocus(Qt::OtherFocusReason);
}

}  // namespace gui
