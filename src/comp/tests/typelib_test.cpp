// Type libraries in their text form: a library with both interfaces read into records that
// describe member table entries (and refuse entries that differ in any field), and every kind
// of malformed text refused without touching the output.
#include <gtest/gtest.h>

#include <string>

#include "comp_typelib.h"

namespace {

using comp::MemberKind;
using comp::VarType;

constexpr const char *kText =
    "# a comment\n"
    "library LIB {00000000-0000-0000-0000-000000000001} 2.3\n"
    "\n"
    "dispinterface _DThing {00000000-0000-0000-0000-0000000000AB}\r\n"
    "stored 1 Size I4\n"
    "  property 2   Name BSTR\n"
    "readonly 3 Ready BOOL\n"
    "method 4 Move EMPTY R8 I4 I4 I2\n"
    "method -552 AboutBox EMPTY\n"
    "dispinterface _DThingEvents {00000000-0000-0000-0000-0000000000ac}\n"
    "event -602 KeyDown EMPTY I2REF I2\n";

TEST(TypeLibraryTest, ReadsBothInterfacesAndDescribesTheirMembers) {
  comp::TypeLibrary lib;
  ASSERT_TRUE(comp::parseTypeLibrary(kText, &lib));
  EXPECT_EQ(lib.name, "LIB");
  EXPECT_EQ(lib.major, 2u);
  EXPECT_EQ(lib.minor, 3u);
  ASSERT_EQ(lib.interfaces.size(), 2u);
  const comp::TypeInterface *things = lib.find("{00000000-0000-0000-0000-0000000000ab}");
  const comp::TypeInterface *events = lib.find("{00000000-0000-0000-0000-0000000000AC}");
  ASSERT_NE(things, nullptr);
  ASSERT_NE(events, nullptr);
  EXPECT_EQ(lib.find("{00000000-0000-0000-0000-0000000000AD}"), nullptr);
  ASSERT_EQ(things->members.size(), 5u);
  ASSERT_EQ(events->members.size(), 1u);
  EXPECT_TRUE(events->members[0].event);
  EXPECT_EQ(events->members[0].args, (std::vector<VarType>{VarType::I2Ref, VarType::I2}));

  const comp::MemberInfo table[] = {
      {1, "Size", MemberKind::StoredProperty, VarType::I4, 0, {}},
      {2, "Name", MemberKind::Property, VarType::Bstr, 0, {}},
      {3, "Ready", MemberKind::ReadOnlyProperty, VarType::Bool, 0, {}},
      {4,
       "Move",
       MemberKind::Method,
       VarType::Empty,
       4,
       {VarType::R8, VarType::I4, VarType::I4, VarType::I2}},
      {-552, "AboutBox", MemberKind::Method, VarType::Empty, 0, {}},
  };
  for (size_t i = 0; i < std::size(table); ++i) {
    SCOPED_TRACE(table[i].name);
    EXPECT_TRUE(things->members[i].describes(table[i]));
    // One field changed: not described any more.
    comp::MemberInfo changed[5] = {table[i], table[i], table[i], table[i], table[i]};
    changed[0].id += 100;
    changed[1].name = "Other";
    changed[2].kind =
        table[i].kind == MemberKind::Method ? MemberKind::Property : MemberKind::Method;
    changed[3].result = VarType::R8;
    changed[4].argCount = static_cast<uint8_t>(table[i].argCount + 1);
    for (const comp::MemberInfo &c : changed) EXPECT_FALSE(things->members[i].describes(c));
  }
  comp::MemberInfo moved = table[3];
  moved.args[2] = VarType::R8;
  EXPECT_FALSE(things->members[3].describes(moved));
}

TEST(TypeLibraryTest, MalformedTextIsRefused) {
  const std::string library = "library L {00000000-0000-0000-0000-000000000001} 1.0\n";
  const std::string iface = "dispinterface I {00000000-0000-0000-0000-000000000002}\n";
  const struct {
    const char *what;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"no library line", iface + "method 1 A EMPTY\n"},
      {"two library lines", library + library},
      {"version without a dot", "library L {00000000-0000-0000-0000-000000000001} 1\n"},
      {"bad id", "library L {0000} 1.0\n"},
      {"member before any interface", library + "method 1 A EMPTY\n"},
      {"unknown kind", library + iface + "function 1 A EMPTY\n"},
      {"unknown type", library + iface + "method 1 A LONG\n"},
      {"id not a number", library + iface + "method x1 A EMPTY\n"},
      {"missing type", library + iface + "method 1 A\n"},
      {"too many arguments", library + iface + "method 1 A EMPTY I4 I4 I4 I4 I4\n"},
      {"event with a result", library + iface + "event 1 A I4\n"},
      {"id named twice", library + iface + "method 1 A EMPTY\nmethod 1 B EMPTY\n"},
      {"interface without id", library + "dispinterface I\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    comp::TypeLibrary lib;
    lib.name = "untouched";
    EXPECT_FALSE(comp::parseTypeLibrary(c.text, &lib));
    EXPECT_EQ(lib.name, "untouched");
  }
}

}  // namespace
