// Variants (the value a dispatch member takes or gives, declared with the host interface in
// host/norv_host.h) and the coercion of one variant to a member's declared type.
//
// Coercion follows Automation's rules for the kinds we carry: numbers and booleans convert to
// each other (a real rounds half to even; a value outside the target's range is an overflow),
// TRUE is -1 and any non-zero number is TRUE; a string converts only to a string, and an empty
// variant to nothing.
#ifndef COMP_VARIANT_H
#define COMP_VARIANT_H

#include "host/norv_host.h"

namespace comp {

// Converts value to type into out; S_OK, DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW (out untouched
// on failure).
int32_t coerce(const Variant &value, VarType type, Variant *out);

}  // namespace comp

#endif
