// The module's classes (the control and its property page) and their class objects.
#ifndef CTLMODULE_CLASS_FACTORIES_H
#define CTLMODULE_CLASS_FACTORIES_H

#include <cstdint>
#include <span>

#include "comp_module.h"

namespace ctlmod {

struct ModuleClass {
  const char *classId;
  const char *progId;
  const char *typeName;
  bool isControl;  // registered with the control's values (misc status, type library, ...)
};

// Every class the module serves, the control first.
std::span<const ModuleClass> moduleClasses();

// The class object of classId, or null when the module does not serve that class.
comp::ClassFactory *classObject(const char *classId);

}  // namespace ctlmod

#endif
