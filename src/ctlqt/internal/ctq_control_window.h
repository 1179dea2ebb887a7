// The window a control module makes for a container: a NorvviewWidget hosting the control, with
// the module's about box, that keeps the control's component object alive while it lives.
#ifndef CTQ_CONTROL_WINDOW_H
#define CTQ_CONTROL_WINDOW_H

#include "comp_module.h"
#include "ctl_host.h"

namespace ctq {

// A new NorvviewWidget (as QWidget *) hosting control, a child of parent (a QWidget *, may be
// null). The widget holds one reference on owner; when it is destroyed the control's site goes
// back to idleSite and the reference is released. Null without a Qt application.
void *createControlWindow(ctl::HostedControl &control, ctl::ControlSite *idleSite,
                          comp::Unknown *owner, void *parent);

}  // namespace ctq

#endif
