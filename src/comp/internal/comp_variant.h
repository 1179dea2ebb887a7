// Variant: the value a dispatch member takes or gives (empty, I2, I4, R8, UTF-8 string, BOOL, or
// a 16-bit integer by reference), and the coercion of one variant to a member's declared type.
//
// Coercion follows Automation's rules for the kinds we carry: numbers and booleans convert to
// each other (a real rounds half to even; a value outside the target's range is an overflow),
// TRUE is -1 and any non-zero number is TRUE; a string converts only to a string, and an empty
// variant to nothing.
#ifndef COMP_VARIANT_H
#define COMP_VARIANT_H

#include <cstdint>
#include <string>

namespace comp {

enum class VarType : uint8_t { Empty, I2, I4, R8, Bstr, Bool, I2Ref };

// HRESULT-style statuses of the dispatch interface.
enum : int32_t {
  S_OK = 0,
  E_NOTIMPL = static_cast<int32_t>(0x80004001u),
  E_INVALIDARG = static_cast<int32_t>(0x80070057u),
  DISP_E_UNKNOWNNAME = static_cast<int32_t>(0x80020006u),
  DISP_E_MEMBERNOTFOUND = static_cast<int32_t>(0x80020003u),
  DISP_E_TYPEMISMATCH = static_cast<int32_t>(0x80020005u),
  DISP_E_OVERFLOW = static_cast<int32_t>(0x8002000Au),
  DISP_E_BADPARAMCOUNT = static_cast<int32_t>(0x8002000Eu),
};

class Variant {
 public:
  Variant() = default;
  static Variant i2(int16_t v) { return Variant(VarType::I2, v, 0.0); }
  static Variant i4(int32_t v) { return Variant(VarType::I4, v, 0.0); }
  static Variant r8(double v) { return Variant(VarType::R8, 0, v); }
  static Variant boolean(bool v) { return Variant(VarType::Bool, v ? -1 : 0, 0.0); }
  static Variant bstr(std::string v) {
    Variant out(VarType::Bstr, 0, 0.0);
    out.text_ = std::move(v);
    return out;
  }
  static Variant i2Ref(int16_t *target) {
    Variant out(VarType::I2Ref, 0, 0.0);
    out.ref_ = target;
    return out;
  }

  VarType type() const { return type_; }
  // The value as its own kind; the caller has checked type() (or coerced the variant).
  int16_t asI2() const { return static_cast<int16_t>(integer_); }
  int32_t asI4() const { return static_cast<int32_t>(integer_); }
  double asR8() const { return real_; }
  bool asBool() const { return integer_ != 0; }
  const std::string &asBstr() const { return text_; }
  int16_t *asI2Ref() const { return ref_; }

  bool operator==(const Variant &other) const = default;

 private:
  Variant(VarType type, int64_t integer, double real)
      : type_(type), integer_(integer), real_(real) {}

  VarType type_ = VarType::Empty;
  int64_t integer_ = 0;
  double real_ = 0.0;
  std::string text_;
  int16_t *ref_ = nullptr;
};

// Converts value to type into out; S_OK, DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW (out untouched
// on failure).
int32_t coerce(const Variant &value, VarType type, Variant *out);

}  // namespace comp

#endif
