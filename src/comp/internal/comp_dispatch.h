// Dispatch maps: the member table of a component class (id, name, kind, argument and result
// types) from which its dispatch interface (host/norv_host.h) finds members by name and calls
// them by id.
//
// A dispatch map is an array of DispatchEntry<T> for a component class T. Its custom members
// take their ids from their positions in the map, counted from 1; stock members carry their own
// negative ids. invokeMap coerces the arguments to the declared types (see coerce) before the
// entry's handler runs, so a handler reads them as their own kinds; a missing member, a wrong
// argument count or a wrong kind of call gives the Automation status and calls nothing; a
// method listed without a handler answers E_NOTIMPL.
#ifndef COMP_DISPATCH_H
#define COMP_DISPATCH_H

#include <cstddef>
#include <cstdint>
#include <span>

#include "comp_variant.h"
#include "host/norv_host.h"

namespace comp {

// One member of a dispatch map for component class T. get gives a property's value; put takes
// the coerced value; call runs a method over its coerced arguments and gives its result.
template <class T>
struct DispatchEntry {
  MemberInfo info;
  Variant (*get)(T &self) = nullptr;
  void (*put)(T &self, const Variant &value) = nullptr;
  Variant (*call)(T &self, const Variant *args) = nullptr;
};

// Case-insensitive comparison of member names.
bool sameName(const char *a, const char *b);

template <class T>
int32_t findId(std::span<const DispatchEntry<T>> map, const char *name, int32_t *id) {
  for (const DispatchEntry<T> &e : map) {
    if (name != nullptr && sameName(e.info.name, name)) {
      *id = e.info.id;
      return S_OK;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

template <class T>
int32_t invokeMap(std::span<const DispatchEntry<T>> map, T &self, int32_t id, uint32_t flags,
                  std::span<const Variant> args, Variant *result) {
  const DispatchEntry<T> *entry = nullptr;
  for (const DispatchEntry<T> &e : map) {
    if (e.info.id == id) entry = &e;
  }
  if (entry == nullptr) return DISP_E_MEMBERNOTFOUND;
  const MemberInfo &info = entry->info;
  if (info.kind == MemberKind::Method) {
    if ((flags & kMethod) == 0) return DISP_E_MEMBERNOTFOUND;
    if (entry->call == nullptr) return E_NOTIMPL;
    if (args.size() != info.argCount) return DISP_E_BADPARAMCOUNT;
    Variant coerced[kMaxArgs];
    for (size_t i = 0; i < args.size(); ++i) {
      if (const int32_t status = coerce(args[i], info.args[i], &coerced[i]); status != S_OK)
        return status;
    }
    Variant value = entry->call(self, coerced);
    if (result != nullptr) *result = std::move(value);
    return S_OK;
  }
  if ((flags & kPropPut) != 0) {
    if (entry->put == nullptr) return DISP_E_MEMBERNOTFOUND;
    if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
    Variant coerced;
    if (const int32_t status = coerce(args[0], info.result, &coerced); status != S_OK)
      return status;
    entry->put(self, coerced);
    return S_OK;
  }
  if ((flags & (kPropGet | kMethod)) == 0 || entry->get == nullptr) return DISP_E_MEMBERNOTFOUND;
  if (!args.empty()) return DISP_E_BADPARAMCOUNT;
  Variant value = entry->get(self);
  if (result != nullptr) *result = std::move(value);
  return S_OK;
}

}  // namespace comp

#endif
