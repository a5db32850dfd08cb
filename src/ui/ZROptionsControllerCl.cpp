#include "ZROptionsControllerCl.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "BasicFn.h"
#include "SystemFn.h"

namespace pallix {

namespace {

constexpr std::string_view kSection = "options";

// Decimal integer text, the whole of it; false for anything else or out of range.
bool TryStrToInt(std::string_view text, std::int32_t& value) {
  // One sign at most: "+5" and "-5", never "+-5".
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return false;
  }
  if (text.empty() || text.front() == '+') return false;
  std::int32_t v = 0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return false;
  value = v;
  return true;
}

class OptionsFile {
 public:
  explicit OptionsFile(const std::string& fileName) : fileName_(fileName) {}

  std::string ReadString(std::string_view key, std::string_view def) const {
    return sys::ReadIniString(fileName_, kSection, key, def);
  }
  std::int32_t ReadInteger(std::string_view key, std::int32_t def) const {
    std::int32_t value = def;
    return TryStrToInt(ReadString(key, ""), value) ? value : def;
  }
  bool ReadBool(std::string_view key, bool def) const { return ReadInteger(key, def ? 1 : 0) != 0; }

  void WriteString(std::string_view key, std::string_view value) const {
    sys::WriteIniString(fileName_, kSection, key, value);
  }
  void WriteInteger(std::string_view key, std::int32_t value) const { WriteString(key, IntToStr(value)); }
  void WriteBool(std::string_view key, bool value) const { WriteString(key, value ? "1" : "0"); }

 private:
  const std::string& fileName_;
};

}  // namespace

bool TryTextToFloat(std::string_view text, float& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  // Checked by hand: from_chars alone would also take "inf", "nan" and other forms.
  // Along the way: the decimal magnitude, to tell overflow from underflow.
  auto isDigit = [&](std::size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; };
  std::size_t i = 0;
  const bool plus = i < text.size() && text[i] == '+';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  std::int64_t magnitude = -1;  // power of ten of the first non-zero digit
  bool significant = false;
  for (; isDigit(i); ++i, ++digits) {
    if (text[i] != '0') significant = true;
    if (significant) ++magnitude;
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; isDigit(i); ++i, ++digits) {
      if (!significant && text[i] != '0') significant = true;
      if (!significant) --magnitude;
    }
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (!isDigit(i)) return false;
    std::int64_t exponent = 0;
    for (; isDigit(i); ++i) exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), 1 << 20);
    magnitude += negative ? -exponent : exponent;
  }
  if (i != text.size()) return false;
  if (plus) text.remove_prefix(1);
  double d = 0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), d);
  if (res.ec == std::errc::result_out_of_range) {
    if (magnitude >= 0) return false;  // too large for any float
    d = 0;                             // too small: zero as a float too
  } else if (res.ec != std::errc() || res.ptr != text.data() + text.size()) {
    return false;
  }
  if (std::abs(d) > static_cast<double>(std::numeric_limits<float>::max())) return false;
  value = static_cast<float>(d);
  return true;
}

ZROptionsControllerT::ZROptionsControllerT() : form_(std::make_unique<TOptionsForm>()) {}

ZROptionsControllerT::~ZROptionsControllerT() = default;

void ZROptionsControllerT::Execute() {
  LoadOptions();
  form_->ShowModal();
  if (Accepted()) SaveOptions();
}

bool ZROptionsControllerT::Accepted() const { return form_->ModalResult == TModalResult::OK; }

std::string ZROptionsControllerT::OptionsFileName() const {
  return ChangeFileExt(sys::ModuleFileName(), ".ini");
}

void ZROptionsControllerT::LoadOptions() {
  try {
    const std::string fileName = OptionsFileName();
    if (!sys::FileExists(fileName)) return;
    LoadOptionsFrom(fileName);
  } catch (...) {
    // The window is shown with whatever was loaded so far.
  }
}

void ZROptionsControllerT::LoadOptionsFrom(const std::string& fileName) {
  try {
    const OptionsFile file(fileName);
    TOptionsForm& f = *form_;
    f.edFileName = file.ReadString("filename", "");
    f.edScale = file.ReadString("scale", "1");
    f.SetExportMaterials(file.ReadBool("exportMaterials", true));
    f.edMaterialPath = file.ReadString("materialPath", "");
    f.SetExportTextures(file.ReadBool("exportTextures", true));
    f.edTexturePath = file.ReadString("texturePath", "");
    f.SetExportLightmaps(file.ReadBool("exportLightmaps", true));
    f.edMaterialNamePrefix = file.ReadString("materialNamePrefix", "");
    const std::int32_t normals = file.ReadInteger("normalsToExport", 0);
    if (normals >= 0 && normals <= 2) f.cbNormalsToExport = normals;
    const std::int32_t lighting = file.ReadInteger("allowDynamicLighting", 1);
    if (lighting >= 0 && lighting <= 1) f.cbAllowDynamicLighting = lighting;
  } catch (...) {
    // Swallowed: the controls set so far keep their new values.
  }
}

void ZROptionsControllerT::SaveOptions() {
  try {
    const std::string fileName = OptionsFileName();
    const OptionsFile file(fileName);
    const TOptionsForm& f = *form_;
    file.WriteString("filename", f.edFileName);
    file.WriteString("scale", f.edScale);
    file.WriteBool("exportMaterials", f.chkExportMaterials());
    file.WriteString("materialPath", f.edMaterialPath);
    file.WriteBool("exportTextures", f.chkExportTextures());
    file.WriteString("texturePath", f.edTexturePath);
    file.WriteBool("exportLightmaps", f.chkExportLightmaps());
    file.WriteString("materialNamePrefix", f.edMaterialNamePrefix);
    file.WriteInteger("normalsToExport", f.cbNormalsToExport);
    file.WriteInteger("allowDynamicLighting", f.cbAllowDynamicLighting);
  } catch (...) {
    // Swallowed: the run goes on with the window's values, which are not remembered.
  }
}

std::string ZROptionsControllerT::FileName() const { return form_->edFileName; }

float ZROptionsControllerT::scale() const {
  float value = 0;
  if (!TryTextToFloat(form_->edScale, value))
    Raise("'%s' is not a valid floating point value", {form_->edScale});
  return value;
}

bool ZROptionsControllerT::exportMaterials() const { return form_->chkExportMaterials(); }
std::string ZROptionsControllerT::materialPath() const { return form_->edMaterialPath; }
bool ZROptionsControllerT::exportTextures() const { return form_->chkExportTextures(); }
std::string ZROptionsControllerT::texturePath() const { return form_->edTexturePath; }
bool ZROptionsControllerT::exportLightmaps() const { return form_->chkExportLightmaps(); }
std::string ZROptionsControllerT::materialNamePrefix() const { return form_->edMaterialNamePrefix; }

std::uint8_t ZROptionsControllerT::normalsToExport() const {
  const std::int32_t i = form_->cbNormalsToExport;
  return static_cast<std::uint8_t>(i >= 0 && i <= 2 ? i : 1);
}

std::uint8_t ZROptionsControllerT::allowDynamicLighting() const {
  const std::int32_t i = form_->cbAllowDynamicLighting;
  return static_cast<std::uint8_t>(i >= 0 && i <= 1 ? i : 1);
}

}  // namespace pallix
