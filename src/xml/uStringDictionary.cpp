#include "uStringDictionary.h"

#include "BasicFn.h"

namespace pallix {

namespace {
std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
  return out;
}
constexpr std::size_t kPlainKeys = 11;
}  // namespace

std::int32_t TStringDictionary::Find(std::string_view key) const {
  if (hashed_) {
    const auto hit = index_.find(UpperCase(key));
    return hit == index_.end() ? -1 : hit->second;
  }
  for (std::size_t k = 0; k < keys_.size(); ++k) {
    if (SameTextIgnoringCase(keys_[k], key)) return static_cast<std::int32_t>(k);
  }
  return -1;
}

void TStringDictionary::Remember(std::string_view key, std::int32_t index) {
  cached_ = true;
  cachedKey_.assign(key);
  cachedIndex_ = index;
}

bool TStringDictionary::ContainsKey(std::string_view key) {
  const std::int32_t index = Find(key);
  Remember(key, index);
  return index >= 0;
}

const std::string& TStringDictionary::GetValue(std::string_view key) {
  if (!cached_ || cachedKey_ != key) Remember(key, Find(key));
  if (cachedIndex_ < 0) Raise("Key \"%s\" not found.", {key});
  return values_[static_cast<std::size_t>(cachedIndex_)];
}

void TStringDictionary::SetValue(std::string_view key, std::string_view value) {
  const std::int32_t index = Find(key);
  cached_ = false;
  if (index >= 0) {
    values_[static_cast<std::size_t>(index)].assign(value);
    return;
  }
  if (!hashed_ && keys_.size() >= kPlainKeys) {
    hashed_ = true;
    for (std::size_t k = 0; k < keys_.size(); ++k)
      index_.emplace(UpperCase(keys_[k]), static_cast<std::int32_t>(k));
  }
  if (hashed_) index_.emplace(UpperCase(key), static_cast<std::int32_t>(keys_.size()));
  keys_.emplace_back(key);
  values_.emplace_back(value);
}

}  // namespace pallix
