#include "SystemFn.h"

#include <windows.h>

namespace pallix::sys {

bool ReplaceFile(const std::string& temp, const std::string& target) {
  return MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::string& fileName) { return DeleteFileA(fileName.c_str()) != 0; }

}  // namespace pallix::sys
