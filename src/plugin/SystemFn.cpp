#include "SystemFn.h"

#include <cstdio>

namespace pallix::sys {

bool ReplaceFile(const std::string& temp, const std::string& target) {
  return std::rename(temp.c_str(), target.c_str()) == 0;
}

bool RemoveFile(const std::string& fileName) { return std::remove(fileName.c_str()) == 0; }

}  // namespace pallix::sys
