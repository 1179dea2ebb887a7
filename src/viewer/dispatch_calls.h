// Calls of the view control's dispatch members by id (control_ids.h), read as the kinds the
// viewer's windows use. A call that fails, or a value that does not convert, reads as 0, false
// or empty text: the windows do not report such failures, the control clamps what it is given.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "comp_dispatch.h"

namespace viewer {

// The control of a window that has none: every call fails, so it reads as 0, false or "".
comp::Dispatch &noControl();
// A property's value (empty when the get fails).
comp::Variant ctlGet(comp::Dispatch &ctl, int32_t id);
int32_t ctlGetI4(comp::Dispatch &ctl, int32_t id);
double ctlGetR8(comp::Dispatch &ctl, int32_t id);
bool ctlGetBool(comp::Dispatch &ctl, int32_t id);
std::string ctlGetText(comp::Dispatch &ctl, int32_t id);
// Sets a property; the control's status.
int32_t ctlPut(comp::Dispatch &ctl, int32_t id, const comp::Variant &value);
// Calls a method; its result (empty when the call fails or gives none).
comp::Variant ctlCall(comp::Dispatch &ctl, int32_t id,
                      std::initializer_list<comp::Variant> args = {});
// A method's whole-number result (0 when the call fails).
int32_t ctlCallI4(comp::Dispatch &ctl, int32_t id, std::initializer_list<comp::Variant> args = {});
// A method's text result (empty when the call fails).
std::string ctlCallText(comp::Dispatch &ctl, int32_t id);

}  // namespace viewer
