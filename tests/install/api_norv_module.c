/* Installed API, norv_module.h: self-registration into a registry file in the given directory,
 * class objects found and refused, the unload answer, and unregistration. */
#include <stdlib.h>
#include <string.h>

#include "api_check.h"
#include "norv_module.h"

#define CONTROL_CLASS "{6B1F3C23-7A4E-4D2B-9C51-3E8A0F6D2B10}"
#define CLASS_FACTORY "{00000001-0000-0000-C000-000000000046}"

/* Whether the file holds the text. */
static int contains(const char *path, const char *text) {
  static char buffer[65536];
  FILE *f = fopen(path, "rb");
  if (f == NULL) return 0;
  const size_t n = fread(buffer, 1, sizeof buffer - 1, f);
  fclose(f);
  buffer[n] = '\0';
  return strstr(buffer, text) != NULL;
}

int main(int argc, char **argv) {
  CHECK(argc == 2);
  char path[4096];
  snprintf(path, sizeof path, "%s/registry.ini", argv[1]);
  CHECK(setenv("NORVVIEW_REGISTRY", path, 1) == 0);

  CHECK(DllRegisterServer() == 0);
  CHECK(contains(path, "ProgID=NORVVIEW.NorvviewCtrl.1"));
  CHECK(contains(path, "ProgID=NORVVIEW.NorvviewPropPage.1"));

  void *factory = NULL;
  CHECK(DllGetClassObject(CONTROL_CLASS, CLASS_FACTORY, &factory) == 0);
  CHECK(factory != NULL); /* the class object lives as long as the module */
  CHECK(DllGetClassObject("{00000000-0000-0000-0000-000000000000}", CLASS_FACTORY, &factory) ==
        (int32_t)0x80040111u);
  CHECK(factory == NULL);
  CHECK(DllCanUnloadNow() == 0);

  CHECK(DllUnregisterServer() == 0);
  CHECK(!contains(path, "NORVVIEW.NorvviewCtrl.1"));
  return 0;
}
