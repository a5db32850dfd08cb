#include "ErrorBoxFn.h"

#include <cstdio>

namespace pallix {

void ShowErrorBox(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kErrorBoxTitle, message.c_str());
  std::fflush(stderr);
}

}  // namespace pallix
