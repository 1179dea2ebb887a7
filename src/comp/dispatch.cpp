// Member-name comparison of the dispatch interface: names match without regard to the case of
// ASCII letters, as Automation's name lookup does.
#include <cctype>

#include "comp_dispatch.h"

namespace comp {

bool sameName(const char *a, const char *b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) !=
        std::tolower(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == *b;
}

}  // namespace comp
