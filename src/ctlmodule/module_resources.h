// The control module's fixed texts, registration values and resources: the property page's type
// name, the ProgIDs, the threading model, the toolbox bitmap's resource number and the type
// library (its "TYPELIB" resource 1, type_library.cpp).
#ifndef CTLMODULE_MODULE_RESOURCES_H
#define CTLMODULE_MODULE_RESOURCES_H

#include "host/norv_host.h"

namespace ctlmod {

inline constexpr const char *kPropertyPageTypeName = "Norvview Property Page";
// The ProgIDs are those the host interface names.
using comp::kControlProgId;
using comp::kPropertyPageProgId;
inline constexpr const char *kThreadingModel = "Apartment";
inline constexpr int kToolboxBitmap = 1;

// The type library in its text form (comp_typelib.h), in its resource section.
[[gnu::section(".norvview.typelib.1")]] extern const char kTypeLibResource[];

}  // namespace ctlmod

#endif
