// A small string-to-string map with case-insensitive keys, kept in insertion order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pallix {

class TStringDictionary {
 public:
  bool ContainsKey(std::string_view key);
  // Raises: Key "%s" not found.
  const std::string& GetValue(std::string_view key);
  // A key already there (in any letter case) keeps its first spelling and gets the new value.
  void SetValue(std::string_view key, std::string_view value);

  std::int32_t Count() const { return static_cast<std::int32_t>(keys_.size()); }
  const std::string& Key(std::int32_t index) const { return keys_[static_cast<std::size_t>(index)]; }
  bool IsHashed() const { return hashed_; }

 private:
  std::int32_t Find(std::string_view key) const;
  void Remember(std::string_view key, std::int32_t index);

  std::vector<std::string> keys_;
  std::vector<std::string> values_;
  // From the twelfth key on, lookups go through an index of the upper-cased keys.
  bool hashed_ = false;
  std::unordered_map<std::string, std::int32_t> index_;
  bool cached_ = false;
  std::string cachedKey_;
  std::int32_t cachedIndex_ = -1;
};

}  // namespace pallix
