// Typed calls of the view control's dispatch members (see dispatch_calls.h).
#include "dispatch_calls.h"

#include <span>

namespace viewer {
namespace {

// The value coerced to type; an empty variant when it does not convert.
comp::Variant as(const comp::Variant &value, comp::VarType type) {
  comp::Variant out;
  if (comp::coerce(value, type, &out) != comp::S_OK) return comp::Variant();
  return out;
}

// The control of a window that has none: every member is missing.
class NoControl final : public comp::Dispatch {
 public:
  int32_t getIdsOfNames(const char *, int32_t *) const override { return comp::DISP_E_UNKNOWNNAME; }
  int32_t invoke(int32_t, uint32_t, std::span<const comp::Variant>, comp::Variant *) override {
    return comp::DISP_E_MEMBERNOTFOUND;
  }
  std::span<const comp::MemberInfo> members() const override { return {}; }
};

}  // namespace

comp::Dispatch &noControl() {
  static NoControl none;
  return none;
}

comp::Variant ctlGet(comp::Dispatch &ctl, int32_t id) {
  comp::Variant value;
  if (ctl.invoke(id, comp::kPropGet, {}, &value) != comp::S_OK) return comp::Variant();
  return value;
}

int32_t ctlGetI4(comp::Dispatch &ctl, int32_t id) {
  return as(ctlGet(ctl, id), comp::VarType::I4).asI4();
}

double ctlGetR8(comp::Dispatch &ctl, int32_t id) {
  return as(ctlGet(ctl, id), comp::VarType::R8).asR8();
}

bool ctlGetBool(comp::Dispatch &ctl, int32_t id) {
  return as(ctlGet(ctl, id), comp::VarType::Bool).asBool();
}

std::string ctlGetText(comp::Dispatch &ctl, int32_t id) {
  return as(ctlGet(ctl, id), comp::VarType::Bstr).asBstr();
}

int32_t ctlPut(comp::Dispatch &ctl, int32_t id, const comp::Variant &value) {
  return ctl.invoke(id, comp::kPropPut, std::span<const comp::Variant>(&value, 1), nullptr);
}

comp::Variant ctlCall(comp::Dispatch &ctl, int32_t id, std::initializer_list<comp::Variant> args) {
  comp::Variant result;
  if (ctl.invoke(id, comp::kMethod, std::span<const comp::Variant>(args.begin(), args.size()),
                 &result) != comp::S_OK)
    return comp::Variant();
  return result;
}

int32_t ctlCallI4(comp::Dispatch &ctl, int32_t id, std::initializer_list<comp::Variant> args) {
  return as(ctlCall(ctl, id, args), comp::VarType::I4).asI4();
}

std::string ctlCallText(comp::Dispatch &ctl, int32_t id) {
  return as(ctlCall(ctl, id), comp::VarType::Bstr).asBstr();
}

}  // namespace viewer
