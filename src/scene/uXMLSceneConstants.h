// Keywords of the scene document. A keyword's position in its table is the ordinal of the
// enumeration member it names (uScene.h).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace pallix {

inline constexpr std::array<std::string_view, 2> kLayerTypeKeywords = {"texture", "color"};
// Accepted as a layer type besides the table: a texture layer marked as the lightmap.
inline constexpr std::string_view kLightmapKeyword = "lightmap";

inline constexpr std::array<std::string_view, 5> kBlendOperationKeywords = {"ignore", "replace", "add",
                                                                            "modulate", "alphablend"};

inline constexpr std::array<std::string_view, 20> kPrimitiveTypeKeywords = {
    "rectangle", "cube",      "pyramid", "cylinder",   "polyline",
    "vertice",   "sphere",    "torus",   "plane",      "userdefined",
    "prefab",    "undefined", "grid",    "pointlight", "directionalLight",
    "spotlight", "primitive", "light",   "ellipse",    "text"};

inline constexpr std::array<std::string_view, 4> kSnapMethodKeywords = {"none", "vertex", "center",
                                                                        "location"};

inline constexpr std::array<std::string_view, 3> kLightTypeKeywords = {"point", "directional", "spot"};

// Position of the first keyword equal to the value (letter case included); -1 when none is.
std::int32_t FindKeyword(std::span<const std::string_view> table, std::string_view value);

}  // namespace pallix
