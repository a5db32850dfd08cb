// The options window's rules that need no window: input checks, the error text, and the
// paths and prefix derived from what the user chose in the browsers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pallix {

inline constexpr char kInputErrorTitle[] = "Error (Invalid input)";

// The scale check of the window: optional leading spaces, optional sign, digits with an
// optional "." and fraction (both digit runs may be empty, but not the whole number), an
// optional exponent; nothing after it.
bool IsValidScaleText(std::string_view text);

// ".mesh" or ".xml" in any letter case, taken from the last "." of the name part.
bool HasMeshFileExtension(std::string_view fileName);

// The messages for the error box, in order; empty when the input can be used.
std::vector<std::string> InputProblems(std::string_view fileName, std::string_view scale);

// The error box text for a non-empty list of problems.
std::string InputErrorText(const std::vector<std::string>& problems);

// The save dialog's initial folder: the file name's folder without its trailing backslash
// (a drive root keeps it, "C:\" and not the drive's current folder "C:").
std::string FileDialogFolder(std::string_view fileName);

// The folder browser's base: the file name's folder with its trailing backslash.
std::string BrowseBaseFolder(std::string_view fileName);

// `chosen` (a full path without trailing backslash, or empty) relative to `base` (a folder
// with trailing backslash): "..\" per base component left, then the rest of the chosen path.
// A different drive gives `chosen` unchanged; an empty choice (a cancelled browser) gives "".
std::string RelativeFolder(std::string_view base, std::string_view chosen);

// The material name prefix after choosing `chosenFile`: the chosen name without folder and
// extension, then "/"; an empty prefix stays empty.
std::string PrefixAfterFileChoice(std::string_view currentPrefix, std::string_view chosenFile);

// Windows drive part: "C:" or "\\server\share"; empty when there is none.
std::string_view ExtractFileDrive(std::string_view path);

}  // namespace pallix
