// Deterministic scene documents, as the editor would send them, for tests and benchmarks.
// The same options give the same bytes on every platform.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "uScene.h"

namespace pallix::scenegen {

// splitmix64: small, fast, and the same everywhere (no std:: distributions).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // Uniform in [0, bound); bound > 0.
  std::uint32_t Below(std::uint32_t bound);
  // Uniform in [low, high].
  std::int32_t Between(std::int32_t low, std::int32_t high);
  // True with the given chance in percent.
  bool Chance(std::uint32_t percent) { return Below(100) < percent; }

 private:
  std::uint64_t state_;
};

struct Options {
  std::uint64_t Seed = 1;
  std::int32_t Primitives = 8;
  std::int32_t PolygonsPerPrimitive = 64;
  std::int32_t Materials = 8;
  std::int32_t Lights = 6;
  // Above 0: primitives are added (beyond Primitives) until the document is about this size.
  // In terrain mode the grid is sized to it instead.
  double TargetMB = 0;
  // Above 0: the primitives are replaced by one N x N grid of quads sharing their corners.
  std::int32_t Terrain = 0;
  // Comments, unknown elements, entities, a second settings element, letter-case variants.
  bool Decorations = true;
  // Some polygons name a material the document lacks, which ends an export; documents meant
  // to be exported whole leave them out.
  bool UnknownMaterials = true;
  // Build the scene the reader should produce (costly for big documents).
  bool BuildModel = true;
};

struct Generated {
  std::string Document;
  // What reading Document with Scale 1 gives; null unless Options::BuildModel.
  std::unique_ptr<TScene> Model;
  // Every distinct texture file the materials name, as written in the document.
  std::vector<std::string> TextureFiles;
};

Generated Generate(const Options& options);

// A 24-bit uncompressed Windows bitmap of width x height pixels with a pattern made from seed.
std::string MakeBitmap(std::int32_t width, std::int32_t height, std::uint32_t seed);

// Writes a small bitmap for each file name into folder (backslashes in names become
// folders). Raises pallix::Error when a file cannot be written.
void WriteTextureFiles(const std::vector<std::string>& files, const std::string& folder);

}  // namespace pallix::scenegen
