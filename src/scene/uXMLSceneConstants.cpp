#include "uXMLSceneConstants.h"

namespace pallix {

std::int32_t FindKeyword(std::span<const std::string_view> table, std::string_view value) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i] == value) return static_cast<std::int32_t>(i);
  }
  return -1;
}

}  // namespace pallix
