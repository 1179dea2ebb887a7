// The class objects of the control and of the property page: one static instance each for the
// life of the module. A class object is not one of the module's live objects (holding one does
// not keep the module loaded; lockServer does), so its references only count and it is never
// deleted. Creation refuses aggregation and hands out the interface asked for.
#include <array>

#include "class_factories.h"
#include "comp_guids.h"
#include "ctl_control_object.h"
#include "ctq_control_window.h"
#include "ctq_printer_device.h"
#include "module_resources.h"
#include "objects.h"

namespace ctlmod {
namespace {

using comp::sameId;

class ObjectFactory final : public comp::ClassFactory {
 public:
  using Create = int32_t (*)(const char *iid, void **out);
  explicit ObjectFactory(Create create) : create_(create) {}

  int32_t queryInterface(const char *iid, void **out) override {
    if (out == nullptr) return comp::E_POINTER;
    *out = nullptr;
    if (!sameId(iid, comp::kUnknownInterfaceId) && !sameId(iid, comp::kClassFactoryInterfaceId))
      return comp::E_NOINTERFACE;
    *out = static_cast<comp::ClassFactory *>(this);
    addRef();
    return comp::S_OK;
  }
  uint32_t addRef() override { return ++refs_; }
  uint32_t release() override { return refs_ > 1 ? --refs_ : 1; }

  int32_t createInstance(comp::Unknown *outer, const char *iid, void **out) override {
    if (out == nullptr) return comp::E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return comp::CLASS_E_NOAGGREGATION;
    return create_(iid, out);
  }
  int32_t lockServer(bool lock) override {
    moduleCounts().lock(lock);
    return comp::S_OK;
  }

 private:
  Create create_;
  uint32_t refs_ = 1;  // the module's own
};

constexpr std::array<ModuleClass, 2> kClasses = {{
    {comp::kControlClassId, kControlProgId, ctl::kControlTypeName, true},
    {comp::kPropertyPageClassId, kPropertyPageProgId, kPropertyPageTypeName, false},
}};

// The control's windows, printer and bitmap devices come from the Qt host.
constexpr ctl::ControlHostHooks kQtHost{ctq::createControlWindow, ctq::registerPrinter,
                                        ctq::unregisterPrinter, ctq::registerBitmap};

int32_t createControl(const char *iid, void **out) {
  return ctl::createControlObject(moduleCounts(), iid, out, kQtHost);
}

ObjectFactory controlFactory(createControl);
ObjectFactory propertyPageFactory(createPropertyPage);

}  // namespace

comp::ModuleCounts &moduleCounts() {
  static comp::ModuleCounts counts;
  return counts;
}

std::span<const ModuleClass> moduleClasses() {
  return kClasses;
}

comp::ClassFactory *classObject(const char *classId) {
  if (sameId(classId, comp::kControlClassId)) return &controlFactory;
  if (sameId(classId, comp::kPropertyPageClassId)) return &propertyPageFactory;
  return nullptr;
}

}  // namespace ctlmod
