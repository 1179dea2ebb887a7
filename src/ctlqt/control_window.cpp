// The window a control module makes for a container: a NorvviewWidget whose destruction hands
// the control back to its idle site and drops the widget's reference on the control object.
#include <QApplication>

#include "ctq_control_window.h"
#include "ctq_view_widget.h"
#include "gui_dialogs.h"

namespace ctq {

void *createControlWindow(ctl::HostedControl &control, ctl::ControlSite *idleSite,
                          comp::Unknown *owner, void *parent) {
  if (QApplication::instance() == nullptr) return nullptr;
  auto *window = new NorvviewWidget(control, static_cast<QWidget *>(parent));
  window->setAboutBoxHandler([] { gui::runAboutBox(); });
  owner->addRef();
  // Runs after ~NorvviewWidget has let go of the control.
  QObject::connect(window, &QObject::destroyed, [&control, idleSite, owner] {
    control.setSite(idleSite);
    owner->release();
  });
  QWidget *widget = window;
  return widget;
}

}  // namespace ctq
