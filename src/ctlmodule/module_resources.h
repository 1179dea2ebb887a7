// The control module's fixed texts and registration values: the property page's type name, the
// ProgIDs, the threading model, the type library's name and the toolbox bitmap.
#ifndef CTLMODULE_MODULE_RESOURCES_H
#define CTLMODULE_MODULE_RESOURCES_H

#include "host/norv_host.h"

namespace ctlmod {

inline constexpr const char *kPropertyPageTypeName = "Norvview Property Page";
// The ProgIDs are those the host interface names.
using comp::kControlProgId;
using comp::kPropertyPageProgId;
inline constexpr const char *kThreadingModel = "Apartment";
inline constexpr const char *kTypeLibName = "NORVVIEWLib";
inline constexpr int kToolboxBitmap = 1;

}  // namespace ctlmod

#endif
