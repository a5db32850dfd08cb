#include "ErrorBoxFn.h"

#include <cstdio>

namespace pallix {

void ShowErrorBox(const char* message) noexcept {
  std::fprintf(stderr, "%s: %s\n", kErrorBoxTitle, message);
  std::fflush(stderr);
}

}  // namespace pallix
