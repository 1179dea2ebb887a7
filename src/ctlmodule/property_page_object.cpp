// The property page as a component object: caption "General", never dirty, and an apply step
// that only ends the data exchange, since the page edits no property.
#include "gui_dialogs.h"
#include "objects.h"

namespace ctlmod {
namespace {

using comp::sameId;

class PropertyPageObject final : public comp::ModuleObject<comp::PropertyPage> {
 public:
  explicit PropertyPageObject(comp::ModuleCounts &counts) : ModuleObject(counts) {}

  int32_t queryInterface(const char *iid, void **out) override {
    if (out == nullptr) return comp::E_POINTER;
    *out = nullptr;
    if (sameId(iid, comp::kUnknownInterfaceId))
      return handOut(static_cast<comp::Unknown *>(this), out);
    if (sameId(iid, comp::kPropertyPageInterfaceId))
      return handOut(static_cast<comp::PropertyPage *>(this), out);
    return comp::E_NOINTERFACE;
  }

  const char *caption() const override { return gui::kPropertyPageCaption; }
  int32_t isPageDirty() const override { return comp::S_FALSE; }
  int32_t apply() override { return comp::S_OK; }
};

}  // namespace

int32_t createPropertyPage(const char *iid, void **out) {
  return comp::createObject<PropertyPageObject>(moduleCounts(), iid, out);
}

}  // namespace ctlmod
