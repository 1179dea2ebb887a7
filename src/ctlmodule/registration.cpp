// The module's entry points: self-registration in the per-user component registry, the class
// objects and the unload question.
//
// Registration runs in two steps, each of which reads the registry, changes it and writes it
// back when something changed: first the type library, read back from the module's own
// resource, which must be the library the classes name (failure: SELFREG_E_TYPELIB), then the
// class of every class object (failure: SELFREG_E_CLASS). Unregistration removes the same
// records in the same order with the same statuses. Nothing is rolled back when the second step
// fails. Records name the module by the absolute path it was loaded by.
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

#include "class_factories.h"
#include "comp_guids.h"
#include "comp_module.h"
#include "comp_registry.h"
#include "comp_typelib.h"
#include "ctl_control_object.h"
#include "module_resources.h"
#include "norv_module.h"
#include "objects.h"

namespace ctlmod {
namespace {

using comp::Registry;
using comp::RegistrySection;

// The absolute path of the file this module was loaded from, as it was loaded (a link such as
// the library's soname is kept, so the record survives an update behind it); empty when it
// cannot be found.
std::string modulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void *>(&DllRegisterServer), &info) == 0 ||
      info.dli_fname == nullptr || *info.dli_fname == '\0')
    return {};
  std::error_code error;
  const std::filesystem::path path = std::filesystem::absolute(info.dli_fname, error);
  return error ? std::string() : path.lexically_normal().string();
}

std::string versionText() {
  return std::to_string(comp::kTypeLibMajor) + "." + std::to_string(comp::kTypeLibMinor);
}

// The type library resource read back: it must parse and be the library the classes name,
// with the control's dispatch and event interfaces.
bool readOwnTypeLibrary(comp::TypeLibrary *library) {
  return comp::parseTypeLibrary(kTypeLibResource, library) &&
         comp::sameId(library->id.c_str(), comp::kTypeLibId) &&
         library->major == comp::kTypeLibMajor && library->minor == comp::kTypeLibMinor &&
         library->find(comp::kDispatchInterfaceId) != nullptr &&
         library->find(comp::kEventInterfaceId) != nullptr;
}

RegistrySection typeLibRecord(const comp::TypeLibrary &library, const std::string &module) {
  return {comp::typeLibSectionName(comp::kTypeLibId, library.major, library.minor),
          {{"Name", library.name}, {"Locale", "0"}, {"Module", module}}};
}

RegistrySection classRecord(const ModuleClass &c, const std::string &module) {
  RegistrySection record{comp::classSectionName(c.classId),
                         {{"ProgID", c.progId},
                          {"TypeName", c.typeName},
                          {"Module", module},
                          {"ThreadingModel", kThreadingModel}}};
  if (c.isControl) {
    char misc[16];
    std::snprintf(misc, sizeof misc, "0x%X", ctl::kControlMiscStatus);
    record.values.insert(record.values.end(),
                         {{"MiscStatus", misc},
                          {"TypeLib", comp::kTypeLibId},
                          {"Version", versionText()},
                          {"Insertable", "1"},
                          {"Control", "1"},
                          {"ToolboxBitmap", module + "," + std::to_string(kToolboxBitmap)}});
  }
  return record;
}

// One step: read the registry, let change() edit it, write it back when it changed. The steps
// of the process run one at a time, so that registrations on separate threads do not lose
// each other's records.
template <class Change>
bool updateRegistry(const std::string &path, Change change) {
  static std::mutex lock;
  const std::lock_guard<std::mutex> guard(lock);
  Registry registry;
  if (!registry.load(path)) return false;
  const Registry before = registry;
  change(registry);
  return registry == before || registry.save(path);
}

int32_t updateServer(bool add) {
  const std::string path = Registry::defaultPath();
  const std::string module = modulePath();
  comp::TypeLibrary library;
  if (module.empty() || !readOwnTypeLibrary(&library)) return comp::SELFREG_E_TYPELIB;
  const bool typeLibDone = updateRegistry(path, [&](Registry &r) {
    const RegistrySection record = typeLibRecord(library, module);
    if (add) {
      r.put(record);
    } else {
      r.remove(record.name);
    }
  });
  if (!typeLibDone) return comp::SELFREG_E_TYPELIB;
  const bool classesDone = updateRegistry(path, [&](Registry &r) {
    for (const ModuleClass &c : moduleClasses()) {
      if (add) {
        r.put(classRecord(c, module));
      } else {
        r.remove(comp::classSectionName(c.classId));
      }
    }
  });
  return classesDone ? comp::S_OK : comp::SELFREG_E_CLASS;
}

}  // namespace
}  // namespace ctlmod

extern "C" {

NORV_API int32_t DllRegisterServer(void) {
  return ctlmod::updateServer(true);
}

NORV_API int32_t DllUnregisterServer(void) {
  return ctlmod::updateServer(false);
}

NORV_API int32_t DllGetClassObject(const char *classId, const char *interfaceId, void **object) {
  if (object == nullptr) return comp::E_POINTER;
  *object = nullptr;
  comp::ClassFactory *factory = ctlmod::classObject(classId);
  if (factory == nullptr) return comp::CLASS_E_CLASSNOTAVAILABLE;
  return factory->queryInterface(interfaceId, object);
}

NORV_API int32_t DllCanUnloadNow(void) {
  return ctlmod::moduleCounts().canUnload() ? comp::S_OK : comp::S_FALSE;
}

}  // extern "C"
