// Small helpers every unit uses: the one error type, message formatting and text utilities.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace pallix {

// The one kind of error the system raises; what() is the message shown to the user.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message, std::string reason = {})
      : std::runtime_error(message), reason_(std::move(reason)) {}
  // Why a file operation failed, in the system's words ("No space left on device"); empty
  // when the message says it all. The plug-in shows the message alone.
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

// An argument of Format: "%s" takes text, "%d" takes a number.
using FormatArg = std::variant<std::string_view, std::int64_t>;

// Replaces each "%s" / "%d" of the pattern, in order, by the next argument ("%%" gives "%").
std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args);

// Format, then throw it as an Error.
[[noreturn]] void Raise(std::string_view pattern, std::initializer_list<FormatArg> args = {});
// The same, with the system's reason for a failed file operation.
[[noreturn]] void RaiseWithReason(std::string reason, std::string_view pattern,
                                  std::initializer_list<FormatArg> args = {});

// Removes every character with a code of 32 or less from both ends.
std::string_view Trim(std::string_view text);

// "A"-"Z" to "a"-"z"; nothing else changes.
std::string LowerCase(std::string_view text);
// numerator / denominator rounded to the nearest integer, halves to the even one, in integers:
// the same on every system and cheaper than the C library's rounding. numerator >= 0,
// denominator > 0.
std::int64_t DivideRoundingToEven(std::int64_t numerator, std::int64_t denominator);

char LowerChar(char c);
bool SameTextIgnoringCase(std::string_view a, std::string_view b);
// a == b for the short names of markup: a plain loop, which the compiler unrolls for a
// literal, beats a call to memcmp.
inline bool SameShortText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Windows path pieces. The name part follows the last backslash, forward slash or colon.
std::string_view ExtractFileName(std::string_view path);
// The folder part with its trailing separator (empty when there is none).
std::string_view ExtractFilePath(std::string_view path);
// The extension of the name part, from its last "." (empty when there is none).
std::string_view ExtractFileExt(std::string_view path);
std::string ChangeFileExt(std::string_view path, std::string_view ext);

// Locale-independent decimal text of an integer.
std::string IntToStr(std::int64_t value);

// Six letters or digits from the bits of seed, well mixed: part of a temporary's name.
std::string SixLetters(std::uint64_t seed);

}  // namespace pallix
