// A fresh folder for one test, removed with everything in it afterwards, and small file helpers.
#pragma once

#include <string>
#include <string_view>

namespace pallix::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's path, ending with "/".
  const std::string& Path() const { return path_; }
  // Path() followed by name.
  std::string operator/(std::string_view name) const { return path_ + std::string(name); }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& fileName);
// Creates missing parent folders.
void WriteFile(const std::string& fileName, std::string_view content);
bool Exists(const std::string& path);
// The names in a folder, sorted, "/" after folder names.
std::string ListFolder(const std::string& folder);

}  // namespace pallix::testing
