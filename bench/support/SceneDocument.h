// Scene-like XML documents of a chosen size for the reader benchmarks.
#pragma once

#include <cstddef>
#include <string>

namespace pallix::bench {

// A level as the editor answers it: settings, materials, primitives with vertices and
// textured polygons, lights; CR LF line ends, two-blank indentation. Deterministic.
std::string MakeSceneDocument(std::size_t approximateBytes);

}  // namespace pallix::bench
