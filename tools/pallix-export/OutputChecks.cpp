#include "OutputChecks.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "SystemFn.h"

namespace pallix {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool IsXmlBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads on until the text `end` has gone by; false at the end of the file.
bool SkipPast(std::FILE* f, std::string_view end) {
  std::string window;
  for (int c; (c = std::getc(f)) != EOF;) {
    window += static_cast<char>(c);
    if (window.size() > end.size()) window.erase(0, 1);
    if (window == end) return true;
  }
  return false;
}

// A document type declaration after "<!DOCTYPE": up to its ">", past an internal subset in
// brackets and quoted text.
bool SkipDoctype(std::FILE* f) {
  int depth = 0;
  int quote = 0;
  for (int c; (c = std::getc(f)) != EOF;) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']') {
      --depth;
    } else if (c == '>' && depth <= 0) {
      return true;
    }
  }
  return false;
}

bool Expect(std::FILE* f, std::string_view text) {
  for (const char want : text) {
    if (std::getc(f) != static_cast<unsigned char>(want)) return false;
  }
  return true;
}

// Past a byte order mark, blanks, the declaration, processing instructions, comments and a
// document type: is the first element's name "mesh"?
bool XmlRootIsMesh(std::FILE* f) {
  int c = std::getc(f);
  if (c == 0xEF) {
    if (!Expect(f, "\xBB\xBF")) return false;
    c = std::getc(f);
  }
  for (;; c = std::getc(f)) {
    if (IsXmlBlank(c)) continue;
    if (c != '<') return false;
    c = std::getc(f);
    if (c == '?') {
      if (!SkipPast(f, "?>")) return false;
    } else if (c == '!') {
      c = std::getc(f);
      if (c == '-') {
        if (!Expect(f, "-") || !SkipPast(f, "-->")) return false;
      } else if (c != 'D' || !Expect(f, "OCTYPE") || !SkipDoctype(f)) {
        return false;
      }
    } else {
      std::string name;
      for (; c != EOF && !IsXmlBlank(c) && c != '>' && c != '/' && name.size() <= 4; c = std::getc(f)) {
        name += static_cast<char>(c);
      }
      return name == "mesh" && c != EOF;
    }
  }
}

bool BinaryHeaderIsMesh(std::FILE* f) {
  constexpr std::string_view kVersion = "[MeshSerializer_v";
  unsigned char head[2 + kVersion.size()];
  if (std::fread(head, 1, sizeof head, f) != sizeof head) return false;
  const bool chunk = (head[0] == 0x00 && head[1] == 0x10) || (head[0] == 0x10 && head[1] == 0x00);
  return chunk && std::memcmp(head + 2, kVersion.data(), kVersion.size()) == 0;
}

}  // namespace

OutputKind KindOfOutput(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) return errno == ELOOP ? OutputKind::Loop : OutputKind::Absent;
  if (S_ISREG(st.st_mode)) return OutputKind::File;
  if (S_ISDIR(st.st_mode)) return OutputKind::Folder;
  return OutputKind::Special;
}

bool IsOgreMeshFile(const std::string& fileName) {
  std::string reason;
  const FilePtr f(sys::OpenRegularFile(fileName, reason));
  if (!f) return false;
  const int first = std::getc(f.get());
  if (first == EOF) return false;
  std::ungetc(first, f.get());
  return first == 0x00 || first == 0x10 ? BinaryHeaderIsMesh(f.get()) : XmlRootIsMesh(f.get());
}

}  // namespace pallix
