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

// What the platform's host gives a control object for its ControlWindow interface. makeWindow:
// a toolkit window hosting control, a child of parent, that holds a reference on owner while it
// lives and gives the control back to idleSite when it goes (null when it cannot be made);
// registerPrinter, registerBitmap and unregisterPrinter: printer and bitmap devices in the
// device handle table.
struct ControlHostHooks {
  void *(*makeWindow)(HostedControl &control, ControlSite *idleSite, comp::Unknown *owner,
                      void *parent) = nullptr;
  int32_t (*registerPrinter)(void *printer) = nullptr;
  void (*unregisterPrinter)(int32_t handle) = nullptr;
  int32_t (*registerBitmap)(void *bitmap) = nullptr;
};

// A new control counted in counts, asked for iid (see comp::createObject). The object answers
// Unknown, its dispatch interface (the generic id and the control's own), ControlInfo,
// ControlWindow, which does what the hooks do (nothing, giving null or 0, without them), and
// OleObject with the verbs Edit (its window in the container's, through the hooks) and
// Properties (the property frame).
int32_t createControlObject(comp::ModuleCounts &counts, const char *iid, void **out,
                            const ControlHostHooks &hooks);

}  // namespace ctl

#endif
