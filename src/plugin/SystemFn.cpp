#include "SystemFn.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "BasicFn.h"
#include "OutputFileCl.h"

namespace pallix::sys {

namespace fs = std::filesystem;

namespace {

// The temporaries in the making, where a signal handler can find them: fixed slots, each
// published only once its name is complete. More at once than this are not tracked.
struct TrackedTemporary {
  std::atomic<int> state{0};  // 0 free, 1 being filled, 2 live
  char name[4096];
};
static_assert(std::atomic<int>::is_always_lock_free);
TrackedTemporary gTemporaries[16];

void Track(const std::string& name) {
  if (name.size() >= sizeof gTemporaries[0].name) return;
  for (TrackedTemporary& slot : gTemporaries) {
    int expected = 0;
    if (!slot.state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    slot.state.store(2);
    return;
  }
}

void Untrack(const std::string& name) {
  for (TrackedTemporary& slot : gTemporaries) {
    if (slot.state.load() == 2 && name == slot.name) slot.state.store(0);
  }
}

// Holds off the signals whose handler removes temporaries while one is created and
// tracked, so that none is left between the two.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, sig);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

// Six letters or digits that differ between runs and between calls: the process, the clock
// and a counter, mixed.
std::string UniqueLetters() {
  static std::atomic<std::uint64_t> counter{0};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const std::uint64_t x =
      (static_cast<std::uint64_t>(getpid()) << 40) ^ static_cast<std::uint64_t>(now.tv_sec) * 1000000007u ^
      static_cast<std::uint64_t>(now.tv_nsec) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
  return SixLetters(x);
}

}  // namespace

std::string LastErrorText() { return std::strerror(errno); }

std::FILE* CreateTemporary(const std::string& target, std::string& name, std::string& reason) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + "~px" + UniqueLetters() + ".tmp";
    int fd;
    {
      const SignalsHeld held;
      // O_EXCL never opens an existing name, a symbolic link included.
      fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd >= 0) Track(name);
    }
    if (fd < 0) {
      if (errno == EEXIST) continue;
      reason = LastErrorText();
      return nullptr;
    }
    if (std::FILE* f = ::fdopen(fd, "wb")) return f;
    reason = LastErrorText();
    ::close(fd);
    RemoveFile(name);
    return nullptr;
  }
  reason = std::strerror(EEXIST);
  return nullptr;
}

void RemoveTemporaries() noexcept {
  for (TrackedTemporary& slot : gTemporaries) {
    if (slot.state.load() == 2) ::unlink(slot.name);
  }
}

bool ReplaceFile(const std::string& temp, const std::string& target) {
  if (std::rename(temp.c_str(), target.c_str()) != 0) return false;
  Untrack(temp);
  return true;
}

bool RemoveFile(const std::string& fileName) {
  if (::unlink(fileName.c_str()) != 0) return false;
  Untrack(fileName);
  return true;
}

bool FollowLinks(const std::string& fileName, std::string& target, std::string& reason) {
  fs::path path(fileName);
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) {
      target = path.string();
      return true;
    }
    const fs::path next = fs::read_symlink(path, ec);
    if (ec) {
      reason = ec.message();
      return false;
    }
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  reason = std::strerror(ELOOP);
  return false;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::FILE* OpenRegularFile(const std::string& fileName, std::string& reason) {
  // Looked at before it is opened: opening a device can already do something.
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) {
    reason = LastErrorText();
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    reason = kNotARegularFile;
    return nullptr;
  }
  // Never waits for a writer, should a FIFO have taken the name meanwhile.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    reason = LastErrorText();
    return nullptr;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    reason = kNotARegularFile;
    ::close(fd);
    return nullptr;
  }
  std::FILE* f = ::fdopen(fd, "rb");
  if (!f) {
    reason = LastErrorText();
    ::close(fd);
  }
  return f;
}

namespace {

std::string& ModuleOverride() {
  static std::string path;
  return path;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool ReadWholeFile(const std::string& fileName, std::string& text) {
  FilePtr f(std::fopen(fileName.c_str(), "rb"));
  if (!f) return false;
  text.clear();
  char buf[1 << 14];
  for (;;) {
    const std::size_t n = std::fread(buf, 1, sizeof buf, f.get());
    text.append(buf, n);
    if (n < sizeof buf) return std::ferror(f.get()) == 0;
  }
}

// Blanks as the profile functions see them around names and values.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\x1a'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// One line of an INI file as the profile functions classify it.
struct IniLine {
  enum Kind { Other, Section, Entry } kind = Other;
  std::string_view name;   // section or key name, blanks removed
  std::string_view value;  // entry value, blanks removed
  std::size_t begin = 0;   // the line's bytes in the file text, without its line end
  std::size_t end = 0;
  std::size_t next = 0;  // start of the following line
};

std::vector<IniLine> SplitIni(std::string_view text) {
  std::vector<IniLine> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    IniLine line;
    line.begin = pos;
    std::size_t eol = text.find('\n', pos);
    line.next = eol == std::string_view::npos ? text.size() : eol + 1;
    line.end = eol == std::string_view::npos ? text.size() : eol;
    if (line.end > line.begin && text[line.end - 1] == '\r') --line.end;
    const std::string_view body = TrimBlanks(text.substr(line.begin, line.end - line.begin));
    if (!body.empty() && body.front() == '[') {
      const std::size_t close = body.find(']');
      line.kind = IniLine::Section;
      line.name =
          TrimBlanks(body.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    } else if (!body.empty() && body.front() != ';') {
      const std::size_t eq = body.find('=');
      line.kind = IniLine::Entry;
      line.name = TrimBlanks(body.substr(0, eq));
      if (eq != std::string_view::npos) line.value = TrimBlanks(body.substr(eq + 1));
    }
    lines.push_back(line);
    pos = line.next;
  }
  return lines;
}

// Index of the first line of the first section with that name, or lines.size().
std::size_t FindSection(const std::vector<IniLine>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == IniLine::Section && SameTextIgnoringCase(lines[i].name, section)) return i;
  }
  return lines.size();
}

std::string_view LineEnd(std::string_view text) {
  const std::size_t lf = text.find('\n');
  return (lf != std::string_view::npos && (lf == 0 || text[lf - 1] != '\r')) ? "\n" : "\r\n";
}

// Lexical clean-up of an absolute path: empty, "." and ".." components resolved.
std::string NormalizeAbsolute(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t slash = path.find('/', pos);
    if (slash == std::string_view::npos) slash = path.size();
    const std::string_view part = path.substr(pos, slash - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = slash + 1;
  }
  std::string out = "/";
  for (const std::string_view part : parts) {
    out += part;
    out += '/';
  }
  return out;
}

std::string CurrentDirectory() {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  return ec ? std::string("/") : cwd.string();
}

}  // namespace

std::string ModuleFileName() {
  if (!ModuleOverride().empty()) return ModuleOverride();
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}

void SetModuleFileName(std::string fileName) { ModuleOverride() = std::move(fileName); }

std::string ReadIniString(const std::string& fileName, std::string_view section, std::string_view key,
                          std::string_view defaultValue) {
  std::string text;
  if (!ReadWholeFile(fileName, text)) return std::string(defaultValue);
  const std::vector<IniLine> lines = SplitIni(text);
  for (std::size_t i = FindSection(lines, section) + 1; i < lines.size(); ++i) {
    if (lines[i].kind == IniLine::Section) break;
    if (lines[i].kind != IniLine::Entry || !SameTextIgnoringCase(lines[i].name, key)) continue;
    std::string_view value = lines[i].value;
    // Like the Windows functions: one pair of matching quotes around the value is dropped.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }
  return std::string(defaultValue);
}

bool WriteIniString(const std::string& fileName, std::string_view section, std::string_view key,
                    std::string_view value) {
  std::string text;
  if (!ReadWholeFile(fileName, text)) {
    std::error_code ec;
    if (fs::exists(fileName, ec)) return false;  // there, but unreadable: leave it alone
    text.clear();
  }
  const std::vector<IniLine> lines = SplitIni(text);
  const std::string eol(LineEnd(text));
  std::string out;
  const std::size_t sec = FindSection(lines, section);
  if (sec == lines.size()) {
    out = text;
    if (!out.empty() && out.back() != '\n') out += eol;
    if (!out.empty()) out += eol;
    out += '[';
    out += section;
    out += ']';
    out += eol;
    out += key;
    out += '=';
    out += value;
    out += eol;
  } else {
    // Replace the first entry of that key, or add one after the section's last entry.
    std::size_t at = sec;
    bool replace = false;
    for (std::size_t i = sec + 1; i < lines.size() && lines[i].kind != IniLine::Section; ++i) {
      if (lines[i].kind != IniLine::Entry) continue;
      at = i;
      if (SameTextIgnoringCase(lines[i].name, key)) {
        replace = true;
        break;
      }
    }
    const IniLine& line = lines[at];
    std::string entry;
    entry += replace ? line.name : key;
    entry += '=';
    entry += value;
    if (replace) {
      out.append(text, 0, line.begin);
      out += entry;
      out.append(text, line.end, std::string::npos);
    } else {
      out.append(text, 0, line.next);
      if (line.next == line.end) out += eol;  // the last line had no line end
      out += entry;
      out += eol;
      out.append(text, line.next, std::string::npos);
    }
  }
  try {
    TOutputFile file(fileName);
    file.Write(out);
    file.Commit();
  } catch (const Error&) {
    return false;
  }
  return true;
}

bool FileExists(const std::string& fileName) {
  std::error_code ec;
  return fs::is_regular_file(fileName, ec);
}

std::string NativePath(std::string_view path) {
  std::string out(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string ExpandFolder(std::string_view folder, std::string_view base) {
  std::string relative = NativePath(folder);
  if (relative.empty()) relative = ".";
  if (relative.front() == '/') return NormalizeAbsolute(relative);
  std::string root = NativePath(base);
  std::error_code ec;
  if (root.empty() || !fs::is_directory(root, ec)) {
    root = CurrentDirectory();
  } else if (root.front() != '/') {
    root = CurrentDirectory() + "/" + root;
  }
  return NormalizeAbsolute(root + "/" + relative);
}

bool ForceFolders(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  return fs::is_directory(folder, ec);
}

}  // namespace pallix::sys
