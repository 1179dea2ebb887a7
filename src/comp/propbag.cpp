// Property bag and exchange: saving appends named values in call order; loading finds each
// value by name and kind and leaves the variable as it is when the bag lacks it.
#include "comp_propbag.h"

namespace comp {

const PropValue *PropertyBag::find(const std::string &name, PropValue::Kind kind) const {
  for (const PropValue &v : values_) {
    if (v.name == name && v.kind == kind) return &v;
  }
  return nullptr;
}

void PropExchange::exchange(const char *name, std::string &value) {
  if (!loading_) {
    bag_.append({PropValue::Kind::Str, name, 0, 0.0, value});
  } else if (const PropValue *v = bag_.find(name, PropValue::Kind::Str)) {
    value = v->text;
  }
}

void PropExchange::exchange(const char *name, uint32_t &value) {
  if (!loading_) {
    bag_.append({PropValue::Kind::UI4, name, value, 0.0, {}});
  } else if (const PropValue *v = bag_.find(name, PropValue::Kind::UI4)) {
    value = static_cast<uint32_t>(v->integer);
  }
}

void PropExchange::exchange(const char *name, int32_t &value) {
  if (!loading_) {
    bag_.append({PropValue::Kind::I4, name, value, 0.0, {}});
  } else if (const PropValue *v = bag_.find(name, PropValue::Kind::I4)) {
    value = static_cast<int32_t>(v->integer);
  }
}

void PropExchange::exchange(const char *name, double &value) {
  if (!loading_) {
    bag_.append({PropValue::Kind::R8, name, 0, value, {}});
  } else if (const PropValue *v = bag_.find(name, PropValue::Kind::R8)) {
    value = v->real;
  }
}

}  // namespace comp
