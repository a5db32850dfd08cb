// Constants of the mesh output.
#pragma once

#include <array>
#include <string_view>

#include "uScene.h"

namespace pallix {

// Texture unit operation of a layer, indexed by the ordinal of its TBlendOperation.
inline constexpr std::array<std::string_view, 5> OgreBlendOperations = {"", "replace", "add", "modulate",
                                                                        "alpha_blend"};

inline std::string_view OgreBlendOperation(TBlendOperation blend) {
  return OgreBlendOperations.at(static_cast<std::size_t>(blend));
}

}  // namespace pallix
