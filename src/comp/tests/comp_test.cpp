// Component model: coercion of variants, the generic invoke over a small dispatch map (kinds of
// call, argument counts, coercion failures, names found without regard to case), and the
// property bag's order and loading without defaults.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "comp_dispatch.h"
#include "comp_propbag.h"

namespace comp {
namespace {

TEST(VariantTest, Coercion) {
  struct Case {
    Variant in;
    VarType to;
    int32_t status;
    Variant out;
  };
  const Case cases[] = {
      {Variant::i4(7), VarType::I4, S_OK, Variant::i4(7)},
      {Variant::i2(-3), VarType::I4, S_OK, Variant::i4(-3)},
      {Variant::r8(2.5), VarType::I4, S_OK, Variant::i4(2)},  // half to even
      {Variant::r8(3.5), VarType::I4, S_OK, Variant::i4(4)},
      {Variant::r8(-2.5), VarType::I2, S_OK, Variant::i2(-2)},
      {Variant::r8(2147483647.4), VarType::I4, S_OK, Variant::i4(2147483647)},
      {Variant::r8(2147483648.0), VarType::I4, DISP_E_OVERFLOW, Variant()},
      {Variant::i4(32768), VarType::I2, DISP_E_OVERFLOW, Variant()},
      {Variant::i4(-32768), VarType::I2, S_OK, Variant::i2(-32768)},
      {Variant::r8(std::nan("")), VarType::I4, DISP_E_OVERFLOW, Variant()},
      {Variant::boolean(true), VarType::I4, S_OK, Variant::i4(-1)},
      {Variant::i4(5), VarType::Bool, S_OK, Variant::boolean(true)},
      {Variant::i4(0), VarType::Bool, S_OK, Variant::boolean(false)},
      {Variant::i4(-2), VarType::R8, S_OK, Variant::r8(-2.0)},
      {Variant::bstr("12"), VarType::I4, DISP_E_TYPEMISMATCH, Variant()},
      {Variant::i4(12), VarType::Bstr, DISP_E_TYPEMISMATCH, Variant()},
      {Variant(), VarType::I4, DISP_E_TYPEMISMATCH, Variant()},
      {Variant::bstr("a"), VarType::Bstr, S_OK, Variant::bstr("a")},
  };
  for (const Case &c : cases) {
    Variant out = Variant::i4(99);
    EXPECT_EQ(coerce(c.in, c.to, &out), c.status);
    EXPECT_EQ(out, c.status == S_OK ? c.out : Variant::i4(99));
  }
}

// A component with one property of each kind and a two-argument method.
struct Counter {
  int32_t value = 0;
  int32_t calls = 0;
};

const std::array<DispatchEntry<Counter>, 4> kMap = {{
    {{1, "Value", MemberKind::Property, VarType::I4, 0, {}},
     [](Counter &c) { return Variant::i4(c.value); },
     [](Counter &c, const Variant &v) { c.value = v.asI4(); },
     nullptr},
    {{2, "Calls", MemberKind::ReadOnlyProperty, VarType::I4, 0, {}},
     [](Counter &c) { return Variant::i4(c.calls); },
     nullptr,
     nullptr},
    {{3, "Add", MemberKind::Method, VarType::I4, 2, {VarType::I4, VarType::I2}},
     nullptr,
     nullptr,
     [](Counter &c, const Variant *a) {
       ++c.calls;
       c.value += a[0].asI4() * a[1].asI2();
       return Variant::i4(c.value);
     }},
    {{4, "Later", MemberKind::Method, VarType::Empty, 0, {}}, nullptr, nullptr, nullptr},
}};

TEST(DispatchTest, InvokeChecksKindCountAndTypes) {
  Counter c;
  Variant result;
  const std::span<const DispatchEntry<Counter>> map(kMap);
  EXPECT_EQ(invokeMap(map, c, 1, kPropPut, std::array{Variant::r8(4.5)}, nullptr), S_OK);
  EXPECT_EQ(c.value, 4);
  EXPECT_EQ(invokeMap(map, c, 1, kPropGet, {}, &result), S_OK);
  EXPECT_EQ(result, Variant::i4(4));
  EXPECT_EQ(invokeMap(map, c, 3, kMethod, std::array{Variant::i4(3), Variant::r8(2.0)}, &result),
            S_OK);
  EXPECT_EQ(result, Variant::i4(10));

  struct Case {
    int32_t id;
    uint32_t flags;
    std::vector<Variant> args;
    int32_t status;
  };
  const Case failures[] = {
      {9, kMethod, {}, DISP_E_MEMBERNOTFOUND},
      {2, kPropPut, {Variant::i4(1)}, DISP_E_MEMBERNOTFOUND},  // read-only
      {3, kPropGet, {}, DISP_E_MEMBERNOTFOUND},                // a method is not a property
      {3, kMethod, {Variant::i4(1)}, DISP_E_BADPARAMCOUNT},
      {3, kMethod, {Variant::i4(1), Variant::i4(40000)}, DISP_E_OVERFLOW},
      {3, kMethod, {Variant::bstr("1"), Variant::i2(1)}, DISP_E_TYPEMISMATCH},
      {1, kPropPut, {}, DISP_E_BADPARAMCOUNT},
      {1, kPropPut, {Variant::bstr("x")}, DISP_E_TYPEMISMATCH},
      {1, kPropGet, {Variant::i4(1)}, DISP_E_BADPARAMCOUNT},
      {4, kMethod, {}, E_NOTIMPL},
  };
  for (const Case &f : failures) {
    result = Variant::i4(-7);
    EXPECT_EQ(invokeMap(map, c, f.id, f.flags, f.args, &result), f.status) << f.id;
    EXPECT_EQ(result, Variant::i4(-7));
  }
  EXPECT_EQ(c.value, 10);
  EXPECT_EQ(c.calls, 1);
}

TEST(DispatchTest, NamesIgnoreCase) {
  const std::span<const DispatchEntry<Counter>> map(kMap);
  int32_t id = 0;
  EXPECT_EQ(findId(map, "add", &id), S_OK);
  EXPECT_EQ(id, 3);
  EXPECT_EQ(findId(map, "CALLS", &id), S_OK);
  EXPECT_EQ(id, 2);
  for (const char *name : {"Ad", "Adds", "", static_cast<const char *>(nullptr)}) {
    id = -1;
    EXPECT_EQ(findId(map, name, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, -1);
  }
}

TEST(PropertyBagTest, SavesInOrderAndLoadsWithoutDefaults) {
  PropertyBag bag;
  {
    PropExchange save(bag, false);
    uint32_t version = 0x10000, u = 4000000000u;
    std::string s = "name";
    int32_t i = -5;
    double d = 0.5;
    save.exchangeVersion(version);
    save.exchange("S", s);
    save.exchange("U", u);
    save.exchange("I", i);
    save.exchange("D", d);
  }
  ASSERT_EQ(bag.values().size(), 5u);
  const char *order[] = {"_Version", "S", "U", "I", "D"};
  for (size_t k = 0; k < 5; ++k) EXPECT_EQ(bag.values()[k].name, order[k]);

  PropExchange load(bag, true);
  uint32_t version = 0, u = 0;
  std::string s;
  int32_t i = 0, missing = 77;
  double d = 0;
  load.exchangeVersion(version);
  load.exchange("S", s);
  load.exchange("U", u);
  load.exchange("I", i);
  load.exchange("D", d);
  load.exchange("Missing", missing);
  int32_t wrongKind = 3;
  load.exchange("S", wrongKind);
  EXPECT_EQ(version, 0x10000u);
  EXPECT_EQ(s, "name");
  EXPECT_EQ(u, 4000000000u);
  EXPECT_EQ(i, -5);
  EXPECT_EQ(d, 0.5);
  EXPECT_EQ(missing, 77);
  EXPECT_EQ(wrongKind, 3);
}

}  // namespace
}  // namespace comp
