// The module's object and lock counts, and the creator of its property page objects.
#ifndef CTLMODULE_OBJECTS_H
#define CTLMODULE_OBJECTS_H

#include <cstdint>

#include "comp_objects.h"

namespace ctlmod {

// The counts DllCanUnloadNow answers by.
comp::ModuleCounts &moduleCounts();

int32_t createPropertyPage(const char *iid, void **out);

}  // namespace ctlmod

#endif
