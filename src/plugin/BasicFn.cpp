#include "BasicFn.h"

#include <cassert>
#include <charconv>

namespace pallix {

std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  auto next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 == pattern.size()) {
      out += c;
      continue;
    }
    const char kind = pattern[i + 1];
    if (kind == '%') {
      out += '%';
      ++i;
    } else if ((kind == 's' || kind == 'd') && next != args.end()) {
      if (const auto* text = std::get_if<std::string_view>(&*next)) {
        out += *text;
      } else {
        out += IntToStr(std::get<std::int64_t>(*next));
      }
      ++next;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

void Raise(std::string_view pattern, std::initializer_list<FormatArg> args) {
  throw Error(Format(pattern, args));
}

void RaiseWithReason(std::string reason, std::string_view pattern, std::initializer_list<FormatArg> args) {
  throw Error(Format(pattern, args), std::move(reason));
}

std::string_view Trim(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return text.substr(first, last - first);
}

std::int64_t DivideRoundingToEven(std::int64_t numerator, std::int64_t denominator) {
  assert(numerator >= 0 && denominator > 0);
  const std::int64_t q = numerator / denominator;
  const std::int64_t twiceRest = 2 * (numerator % denominator);
  return q + (twiceRest > denominator || (twiceRest == denominator && q % 2 != 0) ? 1 : 0);
}

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  }
  return true;
}

namespace {
std::size_t NameStart(std::string_view path) {
  const std::size_t sep = path.find_last_of("\\/:");
  return sep == std::string_view::npos ? 0 : sep + 1;
}
}  // namespace

std::string_view ExtractFileName(std::string_view path) { return path.substr(NameStart(path)); }

std::string_view ExtractFilePath(std::string_view path) { return path.substr(0, NameStart(path)); }

std::string_view ExtractFileExt(std::string_view path) {
  const std::string_view name = ExtractFileName(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  const std::string_view old = ExtractFileExt(path);
  std::string out(path.substr(0, path.size() - old.size()));
  out += ext;
  return out;
}

std::string IntToStr(std::int64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

std::string SixLetters(std::uint64_t seed) {
  std::uint64_t x = seed;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  x ^= x >> 31;
  constexpr char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string out(6, '0');
  for (char& c : out) {
    c = kLetters[x % 36];
    x /= 36;
  }
  return out;
}

}  // namespace pallix
