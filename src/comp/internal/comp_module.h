// The in-process server contract between the control module and the programs that load it with
// dlopen: the object interfaces, the ids, the statuses and the entry points are the host
// interface (host/norv_host.h); here is what the module adds, the comparison of ids.
#ifndef COMP_MODULE_H
#define COMP_MODULE_H

#include "comp_dispatch.h"
#include "host/norv_host.h"

namespace comp {

// True when a and b name the same id (braced GUID text, letters in either case).
inline bool sameId(const char *a, const char *b) {
  return a != nullptr && b != nullptr && sameName(a, b);
}

}  // namespace comp

#endif
