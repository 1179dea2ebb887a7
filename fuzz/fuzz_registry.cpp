// Fuzz target of the component registry text: whatever reads must not crash, and a registry
// that writes out must read back the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "comp_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  comp::Registry registry;
  if (!registry.fromText(std::string_view(reinterpret_cast<const char *>(data), size))) return 0;
  comp::ClassRecord record;
  for (const comp::RegistrySection &section : registry.sections()) {
    if (const std::string *progId = section.value("ProgID"))
      registry.findClassByProgId(*progId, &record);
  }
  std::string text;
  if (!registry.toText(&text)) return 0;
  comp::Registry again;
  if (!again.fromText(text) || !(again == registry)) std::abort();
  return 0;
}
