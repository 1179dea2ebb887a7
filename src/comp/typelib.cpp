// Type libraries in their text form (see comp_typelib.h): a line reader that splits fields at
// blanks, the kind and type words, and the comparison of a member with a member table entry.
#include "comp_typelib.h"

#include <charconv>
#include <cstring>

#include "comp_module.h"

namespace comp {
namespace {

std::vector<std::string_view> fieldsOf(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t end = i;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') ++end;
    if (end > i) fields.push_back(line.substr(i, end - i));
    i = end;
  }
  return fields;
}

bool typeOf(std::string_view word, VarType *type) {
  static constexpr std::pair<std::string_view, VarType> kTypes[] = {
      {"EMPTY", VarType::Empty}, {"I2", VarType::I2},     {"I4", VarType::I4},
      {"R8", VarType::R8},       {"BSTR", VarType::Bstr}, {"BOOL", VarType::Bool},
      {"I2REF", VarType::I2Ref}};
  for (const auto &[name, value] : kTypes)
    if (word == name) return *type = value, true;
  return false;
}

bool kindOf(std::string_view word, TypeMember *member) {
  static constexpr std::pair<std::string_view, MemberKind> kKinds[] = {
      {"stored", MemberKind::StoredProperty},
      {"property", MemberKind::Property},
      {"readonly", MemberKind::ReadOnlyProperty},
      {"method", MemberKind::Method},
      {"event", MemberKind::Method}};
  for (const auto &[name, value] : kKinds)
    if (word == name) {
      member->kind = value;
      member->event = word == "event";
      return true;
    }
  return false;
}

template <typename T>
bool numberOf(std::string_view word, T *value) {
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), *value);
  return error == std::errc() && end == word.data() + word.size();
}

bool isId(std::string_view word) {
  return word.size() == 38 && word.front() == '{' && word.back() == '}';
}

bool memberOf(const std::vector<std::string_view> &f, TypeMember *m) {
  if (f.size() < 4 || f.size() > 4 + kMaxArgs || !kindOf(f[0], m) || !numberOf(f[1], &m->id) ||
      !typeOf(f[3], &m->result))
    return false;
  m->name = f[2];
  for (size_t i = 4; i < f.size(); ++i) {
    VarType t{};
    if (!typeOf(f[i], &t)) return false;
    m->args.push_back(t);
  }
  return !m->event || m->result == VarType::Empty;
}

}  // namespace

bool TypeMember::describes(const MemberInfo &info) const {
  if (info.id != id || info.name == nullptr || name != info.name || info.kind != kind ||
      info.result != result || info.argCount != args.size())
    return false;
  for (size_t i = 0; i < args.size(); ++i)
    if (info.args[i] != args[i]) return false;
  return true;
}

const TypeInterface *TypeLibrary::find(const char *interfaceId) const {
  for (const TypeInterface &i : interfaces)
    if (sameId(i.id.c_str(), interfaceId)) return &i;
  return nullptr;
}

bool parseTypeLibrary(std::string_view text, TypeLibrary *out) {
  TypeLibrary library;
  bool haveLibrary = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const std::vector<std::string_view> f = fieldsOf(line);
    if (f.empty() || f[0].front() == '#') continue;
    if (f[0] == "library") {
      const size_t dot = f.size() == 4 ? f[3].find('.') : std::string_view::npos;
      if (haveLibrary || dot == std::string_view::npos || !isId(f[2]) ||
          !numberOf(f[3].substr(0, dot), &library.major) ||
          !numberOf(f[3].substr(dot + 1), &library.minor))
        return false;
      library.name = f[1];
      library.id = f[2];
      haveLibrary = true;
    } else if (f[0] == "dispinterface") {
      if (!haveLibrary || f.size() != 3 || !isId(f[2])) return false;
      library.interfaces.push_back({std::string(f[1]), std::string(f[2]), {}});
    } else {
      TypeMember member;
      if (library.interfaces.empty() || !memberOf(f, &member)) return false;
      std::vector<TypeMember> &members = library.interfaces.back().members;
      for (const TypeMember &m : members)
        if (m.id == member.id) return false;
      members.push_back(std::move(member));
    }
  }
  if (!haveLibrary) return false;
  *out = std::move(library);
  return true;
}

}  // namespace comp
