#include "OptionsRules.h"

#include "BasicFn.h"

namespace pallix {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipDigits(std::string_view text, std::size_t i) {
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i;
}

// Components of the folder part: everything before the last backslash, drive removed.
std::vector<std::string_view> FolderComponents(std::string_view path) {
  const std::size_t last = path.rfind('\\');
  std::string_view folder = last == std::string_view::npos ? std::string_view() : path.substr(0, last);
  const std::string_view drive = ExtractFileDrive(path);
  folder.remove_prefix(std::min(drive.size(), folder.size()));
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t sep = folder.find('\\', start);
    parts.push_back(
        folder.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start));
    if (sep == std::string_view::npos) break;
    start = sep + 1;
  }
  return parts;
}

}  // namespace

bool IsValidScaleText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t mantissa = i;
  i = SkipDigits(text, i);
  if (i < text.size() && text[i] == '.') i = SkipDigits(text, i + 1);
  if (i == mantissa) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t exponent = i;
    i = SkipDigits(text, i);
    if (i == exponent) return false;
  }
  return i == text.size();
}

bool HasMeshFileExtension(std::string_view fileName) {
  const std::string ext = LowerCase(ExtractFileExt(fileName));
  return ext == ".mesh" || ext == ".xml";
}

std::vector<std::string> InputProblems(std::string_view fileName, std::string_view scale) {
  std::vector<std::string> problems;
  if (fileName.empty()) {
    problems.emplace_back("- File name is missing");
  } else if (!HasMeshFileExtension(fileName)) {
    problems.emplace_back("- File name doesn't have a correct extension (.mesh or .xml)");
  }
  if (!IsValidScaleText(scale)) problems.emplace_back("- Scale is not a valid floating point number");
  return problems;
}

std::string InputErrorText(const std::vector<std::string>& problems) {
  std::string text =
      "Some input was either missing or incorrect. Please correct the issues specified below:\r\n\r\n";
  for (const std::string& p : problems) {
    text += p;
    text += "\r\n";
  }
  return text;
}

std::string_view ExtractFileDrive(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // \\server\share: up to the backslash after the share name.
    const std::size_t server = path.find('\\', 2);
    if (server == std::string_view::npos) return path;
    const std::size_t share = path.find('\\', server + 1);
    return share == std::string_view::npos ? path : path.substr(0, share);
  }
  return {};
}

std::string FileDialogFolder(std::string_view fileName) {
  std::string_view folder = ExtractFilePath(fileName);
  if (folder.size() > 1 && folder.back() == '\\' && folder[folder.size() - 2] != ':') folder.remove_suffix(1);
  return std::string(folder);
}

std::string BrowseBaseFolder(std::string_view fileName) { return std::string(ExtractFilePath(fileName)); }

std::string RelativeFolder(std::string_view base, std::string_view chosen) {
  // A cancelled browser empties the box, whatever the base.
  if (chosen.empty()) return {};
  if (!SameTextIgnoringCase(ExtractFileDrive(base), ExtractFileDrive(chosen))) return std::string(chosen);
  const std::vector<std::string_view> from = FolderComponents(base);
  const std::vector<std::string_view> to = FolderComponents(chosen);
  std::size_t common = 0;
  while (common < from.size() && common < to.size() && SameTextIgnoringCase(from[common], to[common]))
    ++common;
  std::string out;
  for (std::size_t i = common; i < from.size(); ++i) out += "..\\";
  for (std::size_t i = common; i < to.size(); ++i) {
    out += to[i];
    out += '\\';
  }
  const std::size_t last = chosen.rfind('\\');
  out += last == std::string_view::npos ? chosen : chosen.substr(last + 1);
  return out;
}

std::string PrefixAfterFileChoice(std::string_view currentPrefix, std::string_view chosenFile) {
  if (currentPrefix.empty()) return {};
  const std::string_view name = ExtractFileName(chosenFile);
  std::string prefix(name.substr(0, name.size() - ExtractFileExt(name).size()));
  prefix += '/';
  return prefix;
}

}  // namespace pallix
