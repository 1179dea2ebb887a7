// Coercion of a variant to a member's declared type, by Automation's rules for our kinds:
// numbers and booleans convert to each other, reals round half to even, values outside the
// target's range are an overflow, strings convert only to strings.
#include <cmath>

#include "comp_variant.h"

namespace comp {
namespace {

bool isNumeric(VarType t) {
  return t == VarType::I2 || t == VarType::I4 || t == VarType::R8 || t == VarType::Bool;
}

double numericValue(const Variant &v) {
  switch (v.type()) {
    case VarType::I2:
      return v.asI2();
    case VarType::I4:
      return v.asI4();
    case VarType::Bool:
      return v.asBool() ? -1.0 : 0.0;
    default:
      return v.asR8();
  }
}

}  // namespace

int32_t coerce(const Variant &value, VarType type, Variant *out) {
  if (value.type() == type) {
    *out = value;
    return S_OK;
  }
  if (!isNumeric(value.type()) || !isNumeric(type)) return DISP_E_TYPEMISMATCH;
  const double v = numericValue(value);
  if (type == VarType::R8) {
    *out = Variant::r8(v);
    return S_OK;
  }
  if (type == VarType::Bool) {
    *out = Variant::boolean(v != 0.0);
    return S_OK;
  }
  // Round half to even (the default rounding mode), then check the range.
  const double rounded = std::nearbyint(v);
  const double low = type == VarType::I2 ? -32768.0 : -2147483648.0;
  const double high = type == VarType::I2 ? 32767.0 : 2147483647.0;
  if (!(rounded >= low && rounded <= high)) return DISP_E_OVERFLOW;
  *out = type == VarType::I2 ? Variant::i2(static_cast<int16_t>(rounded))
                             : Variant::i4(static_cast<int32_t>(rounded));
  return S_OK;
}

}  // namespace comp
