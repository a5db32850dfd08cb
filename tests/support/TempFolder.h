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

// While alive, no file of this process grows beyond bytes: a write past it fails with the
// system's "File too large" instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(unsigned long long bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  unsigned long long saved_ = 0;
  void (*previous_)(int) = nullptr;
};

}  // namespace pallix::testing
