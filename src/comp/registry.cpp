// The per-user component registry file: where it lives, reading it (a missing file is empty;
// an unreadable, oversized or malformed one is refused), writing it through a new file renamed
// over the old one (one save of the process at a time), and finding class records by ProgID or
// class id.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "comp_registry.h"

namespace comp {
namespace {

constexpr long kMaxRegistryBytes = 1L << 20;

// Reads the whole file into text; missing = true when there is no file.
bool readText(const std::string &path, std::string *text, bool *missing) {
  *missing = false;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    *missing = errno == ENOENT;
    return *missing;
  }
  std::string out;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    const size_t n = std::fread(buffer, 1, sizeof buffer, f);
    out.append(buffer, n);
    if (static_cast<long>(out.size()) > kMaxRegistryBytes) {
      ok = false;
      break;
    }
    if (n < sizeof buffer) {
      ok = std::ferror(f) == 0;
      break;
    }
  }
  std::fclose(f);
  if (ok) *text = std::move(out);
  return ok;
}

bool parse(std::string_view text, std::vector<RegistrySection> *sections) {
  std::vector<RegistrySection> out;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.size() < 3 || line.back() != ']') return false;
      out.push_back({std::string(line.substr(1, line.size() - 2)), {}});
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == 0 || eq == std::string_view::npos || out.empty()) return false;
    out.back().values.emplace_back(std::string(line.substr(0, eq)),
                                   std::string(line.substr(eq + 1)));
  }
  *sections = std::move(out);
  return true;
}

bool oneLine(const std::string &s) {
  return s.find_first_of("\r\n") == std::string::npos;
}

// The text of the file, or false when a name or value would not read back as written.
bool format(const std::vector<RegistrySection> &sections, std::string *text) {
  std::string out = "# Norvview component registry\n";
  for (const RegistrySection &section : sections) {
    if (section.name.empty() || !oneLine(section.name) ||
        section.name.find(']') != std::string::npos)
      return false;
    out += "\n[" + section.name + "]\n";
    for (const auto &[key, value] : section.values) {
      if (key.empty() || !oneLine(key) || key.find('=') != std::string::npos ||
          key.front() == '#' || key.front() == ';' || key.front() == '[' || !oneLine(value))
        return false;
      out += key + "=" + value + "\n";
    }
  }
  *text = std::move(out);
  return true;
}

// Creates every missing directory above path's last component.
bool makeParents(const std::string &path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string dir = path.substr(0, slash);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// Writes text as the new file fresh; a file it made but could not finish is removed again
// (whatever stood in its way is left alone).
bool writeText(const std::string &fresh, const std::string &text) {
  FILE *f = std::fopen(fresh.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) == 0 && written) return true;
  std::remove(fresh.c_str());
  return false;
}

}  // namespace

const std::string *RegistrySection::value(const std::string &key) const {
  for (const auto &[k, v] : values) {
    if (k == key) return &v;
  }
  return nullptr;
}

std::string Registry::defaultPath() {
  const char *path = std::getenv(kRegistryPathVariable);
  if (path != nullptr && *path != '\0') return path;
  const char *config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config == '/') return std::string(config) + "/norvview/registry.ini";
  const char *home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/.config/norvview/registry.ini";
  return {};
}

bool Registry::fromText(std::string_view text) {
  return parse(text, &sections_);
}

bool Registry::toText(std::string *text) const {
  return format(sections_, text);
}

bool Registry::load(const std::string &path) {
  std::string text;
  bool missing = false;
  if (path.empty() || !readText(path, &text, &missing)) return false;
  if (missing) {
    sections_.clear();
    return true;
  }
  return fromText(text);
}

bool Registry::save(const std::string &path) const {
  std::string text;
  if (path.empty() || !toText(&text) || !makeParents(path)) return false;
  // Saves of the process run one at a time: two writing the one new file at once would
  // rename a mixture of both over the registry.
  static std::mutex lock;
  const std::lock_guard<std::mutex> guard(lock);
  const std::string fresh = path + ".new";
  if (!writeText(fresh, text)) return false;
  if (std::rename(fresh.c_str(), path.c_str()) != 0) {
    std::remove(fresh.c_str());
    return false;
  }
  return true;
}

const RegistrySection *Registry::find(const std::string &name) const {
  for (const RegistrySection &section : sections_) {
    if (section.name == name) return &section;
  }
  return nullptr;
}

void Registry::put(RegistrySection section) {
  for (RegistrySection &old : sections_) {
    if (old.name == section.name) {
      old = std::move(section);
      return;
    }
  }
  sections_.push_back(std::move(section));
}

bool Registry::remove(const std::string &name) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it) {
    if (it->name == name) {
      sections_.erase(it);
      return true;
    }
  }
  return false;
}

std::string classSectionName(const std::string &classId) {
  return "Class " + classId;
}

std::string typeLibSectionName(const std::string &typeLibId, unsigned major, unsigned minor) {
  return "TypeLib " + typeLibId + " " + std::to_string(major) + "." + std::to_string(minor);
}

bool Registry::findClass(const std::string &classId, ClassRecord *record) const {
  const RegistrySection *section = find(classSectionName(classId));
  if (section == nullptr) return false;
  ClassRecord out;
  out.classId = classId;
  const auto text = [section](const char *key) {
    const std::string *v = section->value(key);
    return v != nullptr ? *v : std::string();
  };
  out.progId = text("ProgID");
  out.typeName = text("TypeName");
  out.modulePath = text("Module");
  out.threadingModel = text("ThreadingModel");
  const std::string misc = text("MiscStatus");
  out.miscStatus = static_cast<uint32_t>(std::strtoul(misc.c_str(), nullptr, 0));
  out.typeLibId = text("TypeLib");
  out.typeLibVersion = text("Version");
  *record = std::move(out);
  return true;
}

bool Registry::findClassByProgId(const std::string &progId, ClassRecord *record) const {
  constexpr std::string_view kPrefix = "Class ";
  for (const RegistrySection &section : sections_) {
    const std::string *p = section.value("ProgID");
    if (p != nullptr && *p == progId && section.name.starts_with(kPrefix))
      return findClass(section.name.substr(kPrefix.size()), record);
  }
  return false;
}

}  // namespace comp
