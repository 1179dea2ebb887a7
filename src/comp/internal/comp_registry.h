// The per-user component registry: a text file of named sections of key=value lines, in which
// modules record their classes and type libraries at registration and programs find a class by
// its ProgID (ProgID -> class id -> module path).
//
// The file lives at $NORVVIEW_REGISTRY when that is set, else $XDG_CONFIG_HOME/norvview/
// registry.ini, else $HOME/.config/norvview/registry.ini. Format: "[section name]" opens a
// section, "key=value" adds a value to it (the value runs to the end of the line), blank lines
// and lines starting with '#' or ';' are ignored; anything else makes the file unreadable, as
// does a file over 1 MiB. Saving writes "<path>.new" and renames it over the file, creating the
// directory first, so a failed save leaves the old file whole; the saves of a process run one
// at a time, so that threads never write the new file together.
#ifndef COMP_REGISTRY_H
#define COMP_REGISTRY_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/norv_host.h"

namespace comp {

struct RegistrySection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> values;

  // The value of key, or null.
  const std::string *value(const std::string &key) const;
  bool operator==(const RegistrySection &) const = default;
};

// What a class record says (the section "Class {id}").
struct ClassRecord {
  std::string classId;
  std::string progId;
  std::string typeName;
  std::string modulePath;
  std::string threadingModel;
  uint32_t miscStatus = 0;  // 0 when the record has none
  std::string typeLibId;
  std::string typeLibVersion;
};

class Registry {
 public:
  // The registry file's path by the rule above; empty when neither variable nor home is set.
  static std::string defaultPath();

  // Reads the file at path into this registry (replacing what it held). A missing file is an
  // empty registry; false (registry unchanged) when the file cannot be read or is malformed.
  bool load(const std::string &path);
  // Writes the registry to path; false when that fails (the old file is kept).
  bool save(const std::string &path) const;
  // The same from and to the file's text: false (registry unchanged, text untouched) when the
  // text is malformed, or when a name or value would not read back as it stands (a line
  // break, a section name with ']', a key with '=' or starting like a comment or section).
  bool fromText(std::string_view text);
  bool toText(std::string *text) const;

  const std::vector<RegistrySection> &sections() const { return sections_; }
  const RegistrySection *find(const std::string &name) const;
  // Replaces the section of the same name, or appends it.
  void put(RegistrySection section);
  // Removes the section called name; false when there is none.
  bool remove(const std::string &name);

  // The class registered under progId, with its record; false when none is.
  bool findClassByProgId(const std::string &progId, ClassRecord *record) const;
  bool findClass(const std::string &classId, ClassRecord *record) const;

  bool operator==(const Registry &) const = default;

 private:
  std::vector<RegistrySection> sections_;
};

// Section names of a class and of a type library version.
std::string classSectionName(const std::string &classId);
std::string typeLibSectionName(const std::string &typeLibId, unsigned major, unsigned minor);

}  // namespace comp

#endif
