/* The check macro of the installed-API programs: a failed condition prints where and exits 1. */
#ifndef API_CHECK_H
#define API_CHECK_H

#include <stdio.h>
#include <stdlib.h>

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      exit(1);                                                                 \
    }                                                                          \
  } while (0)

#endif
