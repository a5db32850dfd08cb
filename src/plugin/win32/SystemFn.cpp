#include "SystemFn.h"

#include <windows.h>
// windows.h maps this name to ReplaceFileA.
#undef ReplaceFile

#include <vector>

namespace pallix::sys {

bool ReplaceFile(const std::string& temp, const std::string& target) {
  return MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::string& fileName) { return DeleteFileA(fileName.c_str()) != 0; }

namespace {

std::string& ModuleOverride() {
  static std::string path;
  return path;
}

bool IsFolder(const std::string& path) {
  const DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string FullPath(const std::string& path) {
  std::vector<char> buf(MAX_PATH + 1);
  for (;;) {
    const DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (n == 0) return path;
    if (n < buf.size()) return std::string(buf.data(), n);
    buf.resize(n + 1);
  }
}

}  // namespace

std::string ModuleFileName() {
  if (!ModuleOverride().empty()) return ModuleOverride();
  // The module that holds this code: the DLL, not the host program that loaded it.
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ModuleOverride), &module)) {
    return std::string();
  }
  std::vector<char> buf(MAX_PATH + 1);
  for (;;) {
    const DWORD n = GetModuleFileNameA(module, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return std::string(buf.data(), n);
    if (buf.size() >= 32768) return std::string();
    buf.resize(buf.size() * 2);
  }
}

void SetModuleFileName(std::string fileName) { ModuleOverride() = std::move(fileName); }

std::string ReadIniString(const std::string& fileName, std::string_view section, std::string_view key,
                          std::string_view defaultValue) {
  const std::string sec(section), k(key), def(defaultValue);
  std::vector<char> buf(1024);
  for (;;) {
    const DWORD n = GetPrivateProfileStringA(sec.c_str(), k.c_str(), def.c_str(), buf.data(),
                                             static_cast<DWORD>(buf.size()), fileName.c_str());
    // n == size - 1 means the value was cut to fit.
    if (n + 1 < buf.size() || buf.size() >= (1u << 20)) return std::string(buf.data(), n);
    buf.resize(buf.size() * 4);
  }
}

bool WriteIniString(const std::string& fileName, std::string_view section, std::string_view key,
                    std::string_view value) {
  const std::string sec(section), k(key), v(value);
  return WritePrivateProfileStringA(sec.c_str(), k.c_str(), v.c_str(), fileName.c_str()) != 0;
}

bool FileExists(const std::string& fileName) {
  const DWORD attr = GetFileAttributesA(fileName.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string NativePath(std::string_view path) { return std::string(path); }

std::string ExpandFolder(std::string_view folder, std::string_view base) {
  const std::string relative = folder.empty() ? std::string(".") : std::string(folder);
  std::string root(base);
  if (!root.empty() && !IsSeparator(root.back())) root += '\\';
  // Without a usable base the expansion runs against the current directory, as it would
  // after a failed change of directory.
  const bool haveBase = !root.empty() && IsFolder(root);
  const bool rootDrive = haveBase && root.size() >= 2 && root[1] == ':';
  const bool hasDrive = relative.size() >= 2 && relative[1] == ':';
  std::string path;
  if (!haveBase) {
    path = relative;
  } else if (hasDrive && relative.size() > 2 && IsSeparator(relative[2])) {
    path = relative;  // C:\x
  } else if (hasDrive) {
    // C:x is relative to the current folder of drive C:, which is the base when on that drive.
    path = rootDrive && (relative[0] | 0x20) == (root[0] | 0x20) ? root + relative.substr(2) : relative;
  } else if (IsSeparator(relative[0])) {
    // \\server\share is absolute; \x is on the base's drive.
    const bool unc = relative.size() > 1 && IsSeparator(relative[1]);
    path = (unc || !rootDrive) ? relative : root.substr(0, 2) + relative;
  } else {
    path = root + relative;
  }
  std::string full = FullPath(path);
  if (full.empty() || !IsSeparator(full.back())) full += '\\';
  return full;
}

bool ForceFolders(const std::string& folder) {
  std::string path = folder;
  while (!path.empty() && IsSeparator(path.back()) && !(path.size() == 3 && path[1] == ':')) path.pop_back();
  if (path.empty()) return false;
  if (IsFolder(path)) return true;
  // Skip the root ("C:\", "\\server\share\") and create each missing folder below it.
  std::size_t start = 0;
  if (path.size() >= 2 && path[1] == ':') {
    start = 3;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    const std::size_t server = path.find_first_of("\\/", 2);
    start = server == std::string::npos ? path.size() : path.find_first_of("\\/", server + 1);
    if (start == std::string::npos) start = path.size();
  }
  for (std::size_t i = start; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      const std::string part = path.substr(0, i);
      if (!part.empty() && !IsFolder(part)) CreateDirectoryA(part.c_str(), nullptr);
    }
  }
  return IsFolder(path);
}

bool CopyFileReplacing(const std::string& source, const std::string& target) {
  const std::string temp = target + ".~pallix";
  if (CopyFileA(source.c_str(), temp.c_str(), FALSE) && ReplaceFile(temp, target)) return true;
  DeleteFileA(temp.c_str());
  return false;
}

}  // namespace pallix::sys
