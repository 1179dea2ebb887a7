// The common frame of the example programs: checks the two arguments (<data dir> <output
// dir>), makes a library state over the C library's allocators that reports to stderr, runs
// the example and releases the state. Status 2 for a usage error, 1 when the state cannot be
// made or the example fails.
#ifndef EXAMPLE_MAIN_H
#define EXAMPLE_MAIN_H

#include <cstdio>
#include <string>

#include "qtz_state.h"

template <typename Run>
int exampleMain(int argc, char **argv, const char *name, Run run) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <data dir> <output dir>\n", name);
    return 2;
  }
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 0, 0) != 0) return 1;
  const int result = run(state, std::string(argv[1]), std::string(argv[2]));
  Qtz_cleanupQtzState(&state);
  return result;
}

#endif
