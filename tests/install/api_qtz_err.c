/* Installed API, qtz_err.h: error texts and the two printers. */
#include <string.h>

#include "api_check.h"
#include "qtz_err.h"

int main(void) {
  CHECK(strcmp(Qtz_getErrStr(-1), "Undefined error") == 0);
  CHECK(strcmp(Qtz_getErrStr(123456), "Invalid error code") == 0);
  CHECK(Qtz_getErrStr(QTZ_ERR_NO_MEMORY) != NULL);

  char text[256] = {0};
  FILE *stream = fmemopen(text, sizeof text - 1, "w");
  CHECK(stream != NULL);
  Qtz_fileErrPrinter(stream, QTZ_MSG_WARNING, "value %d", 7);
  Qtz_fileErrPrinter(NULL, 1, "nothing for a null stream");
  fclose(stream);
  CHECK(strcmp(text, "Warning -- value 7\n") == 0);

  Qtz_voidAssertPrinter("first", "second", 12, "fourth"); /* one line on stderr */
  return 0;
}
