// The control as a component object: a NorvviewCtrl behind the Unknown, DispatchObject,
// ControlInfo, ControlWindow and OleObject (its verbs Edit and Properties) interfaces, and the
// control's site while no window hosts it (no window to redraw or to set a cursor on; the about box
// is shown modally when the program has a Qt application).
#include "comp_guids.h"
#include "ctl_control_object.h"
#include "gui_dialogs.h"
#include "norvview_ctrl.h"

namespace ctl {
namespace {

using comp::sameId;

class ControlObject final : public comp::ModuleObject<comp::DispatchObject, comp::ControlInfo,
                                                      comp::ControlWindow, comp::OleObject>,
                            public ControlSite {
 public:
  ControlObject(comp::ModuleCounts &counts, const ControlHostHooks *hooks)
      : ModuleObject(counts), hooks_(*hooks) {
    control_.setSite(this);
  }

  int32_t queryInterface(const char *iid, void **out) override {
    if (out == nullptr) return comp::E_POINTER;
    *out = nullptr;
    comp::DispatchObject *dispatch = this;
    if (sameId(iid, comp::kUnknownInterfaceId))
      return handOut(static_cast<comp::Unknown *>(dispatch), out);
    if (sameId(iid, comp::kGenericDispatchInterfaceId) || sameId(iid, comp::kDispatchInterfaceId))
      return handOut(dispatch, out);
    if (sameId(iid, comp::kControlInfoInterfaceId))
      return handOut(static_cast<comp::ControlInfo *>(this), out);
    if (sameId(iid, comp::kControlWindowInterfaceId))
      return handOut(static_cast<comp::ControlWindow *>(this), out);
    if (sameId(iid, comp::kOleObjectInterfaceId))
      return handOut(static_cast<comp::OleObject *>(this), out);
    return comp::E_NOINTERFACE;
  }

  int32_t getIdsOfNames(const char *name, int32_t *id) const override {
    return control_.getIdsOfNames(name, id);
  }
  int32_t invoke(int32_t id, uint32_t flags, std::span<const comp::Variant> args,
                 comp::Variant *result) override {
    return control_.invoke(id, flags, args, result);
  }
  std::span<const comp::MemberInfo> members() const override { return control_.members(); }

  const char *userTypeName() const override { return kControlTypeName; }
  uint32_t miscStatus() const override { return kControlMiscStatus; }
  uint32_t typeInfoCount() const override { return 1; }
  std::span<const char *const> propertyPages() const override { return kPages; }

  void *createWindow(void *parent) override {
    comp::DispatchObject *identity = this;
    return hooks_.makeWindow != nullptr ? hooks_.makeWindow(control_, this, identity, parent)
                                        : nullptr;
  }
  void advise(comp::EventSink *sink) override { control_.setEventSink(sink); }
  int32_t registerPrinter(void *printer) override {
    return hooks_.registerPrinter != nullptr ? hooks_.registerPrinter(printer) : 0;
  }
  void unregisterPrinter(int32_t handle) override {
    if (hooks_.unregisterPrinter != nullptr) hooks_.unregisterPrinter(handle);
  }
  int32_t registerBitmap(void *bitmap) override {
    return hooks_.registerBitmap != nullptr ? hooks_.registerBitmap(bitmap) : 0;
  }

  std::span<const comp::Verb> verbs() const override { return kVerbs; }
  // Edit activates the control: its window in the container's, shown with the focus.
  // Properties shows the property frame of the one page the control lists.
  int32_t doVerb(int32_t id, void *parent, void **window) override {
    if (window != nullptr) *window = nullptr;
    if (id == comp::OLEIVERB_PROPERTIES) {
      gui::runPropertyFrame(kControlTypeName);
      return comp::S_OK;
    }
    if (id != comp::OLEIVERB_PRIMARY) return comp::OLEOBJ_E_INVALIDVERB;
    void *made = createWindow(parent);
    if (made == nullptr) return comp::E_FAIL;
    gui::activateWindow(made);
    if (window != nullptr) *window = made;
    return comp::S_OK;
  }

  void invalidate() override {}
  void setCursor(int32_t) override {}
  void showAboutBox() override { gui::runAboutBox(); }

 private:
  static constexpr const char *kPages[] = {comp::kPropertyPageClassId};
  static constexpr comp::Verb kVerbs[] = {{comp::OLEIVERB_PRIMARY, "&Edit"},
                                          {comp::OLEIVERB_PROPERTIES, "&Properties..."}};
  ControlHostHooks hooks_;
  NorvviewCtrl control_;
};

}  // namespace

int32_t createControlObject(comp::ModuleCounts &counts, const char *iid, void **out,
                            const ControlHostHooks &hooks) {
  return comp::createObject<ControlObject>(counts, iid, out, &hooks);
}

}  // namespace ctl
