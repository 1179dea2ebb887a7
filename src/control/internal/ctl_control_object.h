// The view control as a component object, as the control module's class object makes it, and
// the values the module registers and the object answers: the control's type name and its
// miscellaneous status.
#ifndef CTL_CONTROL_OBJECT_H
#define CTL_CONTROL_OBJECT_H

#include <cstdint>

#include "comp_objects.h"

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

// A new control counted in counts, asked for iid (see comp::createObject). The object answers
// Unknown, its dispatch interface (the generic id and the control's own) and ControlInfo.
int32_t createControlObject(comp::ModuleCounts &counts, const char *iid, void **out);

}  // namespace ctl

#endif
