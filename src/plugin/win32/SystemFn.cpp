#include "SystemFn.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// windows.h maps this name to ReplaceFileA.
#undef ReplaceFile

#include <atomic>
#include <cstdint>
#include <vector>

#include "BasicFn.h"

namespace pallix::sys {

namespace {

// Six letters or digits that differ between runs and between calls: the process, the clock
// and a counter, mixed.
std::string UniqueLetters() {
  static std::atomic<std::uint32_t> counter{0};
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  const std::uint64_t x = (static_cast<std::uint64_t>(GetCurrentProcessId()) << 40) ^
                          static_cast<std::uint64_t>(now.QuadPart) ^
                          (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
  return SixLetters(x);
}

struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

// Volume and file index: one file whatever its names.
bool Identity(const std::string& fileName, BY_HANDLE_FILE_INFORMATION& info) {
  const HandleCloser file{CreateFileA(fileName.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  return file.handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file.handle, &info);
}

}  // namespace

std::string LastErrorText() {
  const DWORD code = GetLastError();
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string out = n ? std::string(text, n) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!out.empty() && (static_cast<unsigned char>(out.back()) <= 32 || out.back() == '.')) out.pop_back();
  return out;
}

namespace {

// A C stream that owns the handle; on failure the handle is closed and null returned.
std::FILE* StreamOf(HANDLE h, int access, const char* mode) {
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), access | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, mode);
  if (f == nullptr) _close(fd);
  return f;
}

}  // namespace

std::FILE* CreateTemporary(const std::string& target, std::string& name, std::string& reason) {
  const std::size_t slash = target.find_last_of("\\/:");
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + "~px" + UniqueLetters() + ".tmp";
    // CREATE_NEW never opens an existing name, a symbolic link included.
    const HANDLE h =
        CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      reason = LastErrorText();
      return nullptr;
    }
    if (std::FILE* f = StreamOf(h, _O_WRONLY, "wb")) return f;
    reason = "cannot open a stream";
    DeleteFileA(name.c_str());
    return nullptr;
  }
  reason = "no free temporary name";
  return nullptr;
}

void RemoveTemporaries() noexcept {}

bool ReplaceFile(const std::string& temp, const std::string& target) {
  return MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::string& fileName) { return DeleteFileA(fileName.c_str()) != 0; }

bool FollowLinks(const std::string& fileName, std::string& target, std::string& reason) {
  target = fileName;
  const DWORD attr = GetFileAttributesA(fileName.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  const HandleCloser file{CreateFileA(fileName.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  // A link to nothing is replaced itself.
  if (file.handle == INVALID_HANDLE_VALUE) return true;
  std::vector<char> buf(MAX_PATH + 1);
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleA(file.handle, buf.data(), static_cast<DWORD>(buf.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) {
      reason = LastErrorText();
      return false;
    }
    if (n < buf.size()) {
      std::string path(buf.data(), n);
      if (path.rfind("\\\\?\\UNC\\", 0) == 0) {
        path = "\\\\" + path.substr(8);
      } else if (path.rfind("\\\\?\\", 0) == 0) {
        path = path.substr(4);
      }
      target = path;
      return true;
    }
    buf.resize(n + 1);
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  return Identity(a, ia) && Identity(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

std::FILE* OpenRegularFile(const std::string& fileName, std::string& reason) {
  const DWORD attr = GetFileAttributesA(fileName.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) {
    reason = LastErrorText();
    return nullptr;
  }
  if ((attr & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    reason = kNotARegularFile;
    return nullptr;
  }
  const HANDLE h = CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reason = LastErrorText();
    return nullptr;
  }
  // Pipes and devices (CON, NUL, COM1) are no texture files.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    reason = kNotARegularFile;
    return nullptr;
  }
  if (std::FILE* f = StreamOf(h, _O_RDONLY, "rb")) return f;
  reason = "cannot open a stream";
  return nullptr;
}

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

// "C:" or "\\server\share" of a full path; empty when it has neither.
std::string_view DriveOf(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    const std::size_t server = path.find_first_of("\\/", 2);
    if (server == std::string_view::npos) return path;
    const std::size_t share = path.find_first_of("\\/", server + 1);
    return share == std::string_view::npos ? path : path.substr(0, share);
  }
  return {};
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
  // Without a usable base the expansion runs against the current directory, as it would
  // after a failed change of directory. The base itself may be relative, or drive-relative
  // ("C:" of "C:ship.mesh" is the current folder of drive C:).
  std::string root;
  if (!base.empty() && IsFolder(std::string(base))) {
    root = FullPath(std::string(base));
    if (!root.empty() && !IsSeparator(root.back())) root += '\\';
  }
  const bool hasDrive = relative.size() >= 2 && relative[1] == ':';
  std::string path;
  if (root.empty()) {
    path = relative;
  } else if (hasDrive && relative.size() > 2 && IsSeparator(relative[2])) {
    path = relative;  // C:\x
  } else if (hasDrive) {
    // C:x is relative to the current folder of drive C:, which is the base when on that drive.
    path =
        (root[1] == ':' && (relative[0] | 0x20) == (root[0] | 0x20)) ? root + relative.substr(2) : relative;
  } else if (IsSeparator(relative[0])) {
    // \\server\share is absolute; \x is on the base's drive or share.
    const bool unc = relative.size() > 1 && IsSeparator(relative[1]);
    path = unc ? relative : std::string(DriveOf(root)) + relative;
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

}  // namespace pallix::sys
