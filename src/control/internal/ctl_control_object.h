// The view control as a component object, as the control module's class object makes it, and
// the values the module registers and the object answers: the control's type name and its
// miscellaneous status.
#ifndef CTL_CONTROL_OBJECT_H
#define CTL_CONTROL_OBJECT_H

#include <cstdint>

#include "comp_objects.h"
#include "ctl_host.h"

namespace ctl {

inline constexpr const char *kControlTypeName = "Norvview Control";

// Miscellaneous status bits of the control.
enum : uint32_t {
  kMiscRecomposeOnResize = 0x1,
  kMiscCantLinkInside = 0x10,
  kMiscInsideOut = 0x80,
  kMiscActivateWhenVisible = 0x100,
  kMiscSetClientSiteFirst = 0x20000,
};
inline constexpr uint32_t kControlMiscStatus = kMiscSetClientSiteFirst | kMiscActivateWhenVisible |
                                               kMiscInsideOut | kMiscCantLinkInside |
                                               kMiscRecomposeOnResize;
static_assert(kControlMiscStatus == 0x20191);

// What makes the window of a control for ControlWindow::createWindow: a toolkit window hosting
// control, a child of parent, that holds a reference on owner while it lives and gives the
// control back to idleSite when it goes; null when it cannot be made.
using ControlWindowMaker = void *(*)(HostedControl &control, ControlSite *idleSite,
                                     comp::Unknown *owner, void *parent);

// What registers a container's printer as a drawing device for ControlWindow::registerPrinter
// (its handle, or 0) and what gives the handle back.
using PrinterRegistrar = int32_t (*)(void *printer);
using PrinterRelease = void (*)(int32_t handle);

// A new control counted in counts, asked for iid (see comp::createObject). The object answers
// Unknown, its dispatch interface (the generic id and the control's own), ControlInfo and
// ControlWindow, whose windows come from makeWindow (none when it is null) and whose printers
// from registerPrinter and unregisterPrinter (none when null).
int32_t createControlObject(comp::ModuleCounts &counts, const char *iid, void **out,
                            ControlWindowMaker makeWindow,
                            PrinterRegistrar registerPrinter = nullptr,
                            PrinterRelease unregisterPrinter = nullptr);

}  // namespace ctl

#endif
