// Type libraries: the text form in which a module describes its library, its dispatch
// interface and its event interface (the module keeps it as its "TYPELIB" resource 1), and
// reading it back into records a program compares with a component's member table.
//
// Format, one item a line, fields separated by blanks, '#' lines and blank lines ignored:
//   library <name> <{library id}> <major>.<minor>
//   dispinterface <name> <{interface id}>        (the dispatch interface, then the events)
//   <kind> <dispatch id> <name> <type> [<argument type> ...]
// Kinds: stored (a stored property, I4), property (get and put), readonly (get only), method
// (the type is the result, EMPTY for none), event (no result: the type is EMPTY). Types:
// EMPTY, I2, I4, R8, BSTR, BOOL, I2REF. Members follow their interface line; at most kMaxArgs
// arguments.
#ifndef COMP_TYPELIB_H
#define COMP_TYPELIB_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "comp_dispatch.h"

namespace comp {

struct TypeMember {
  int32_t id = 0;
  std::string name;
  MemberKind kind = MemberKind::Method;
  VarType result = VarType::Empty;
  std::vector<VarType> args;
  bool event = false;

  // True when info describes this member (id, name, kind, result and arguments).
  bool describes(const MemberInfo &info) const;
};

struct TypeInterface {
  std::string name;
  std::string id;
  std::vector<TypeMember> members;
};

struct TypeLibrary {
  std::string name;
  std::string id;
  unsigned major = 0;
  unsigned minor = 0;
  std::vector<TypeInterface> interfaces;  // the dispatch interface first, then the events

  // The interface with the given id (letters in either case), or null.
  const TypeInterface *find(const char *interfaceId) const;
};

// Reads the text form; false (and *out untouched) for any line that does not follow it, a
// missing library line, a member before any interface, or a dispatch id named twice in one
// interface.
bool parseTypeLibrary(std::string_view text, TypeLibrary *out);

}  // namespace comp

#endif
