// The three writers on one big converted level: binary mesh, XML mesh and material script,
// each into a real file through the same buffered output the export uses.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "OutputFileCl.h"
#include "XMLWriterCl.h"
#include "ZROgreMeshExporterCl.h"

namespace {

using namespace pallix;

// A converted level of about a million vertices: 400 materials (a quarter lightmapped, up
// to three layers), one submesh each, face normals.
struct Level {
  ZROgreMeshExporterT exporter{nullptr};
  std::size_t vertices = 0;

  Level() {
    constexpr int kMaterials = 400;
    constexpr int kVerticesPerSubMesh = 2600;
    exporter.Materials = std::make_unique<std::vector<std::unique_ptr<ZROgreMaterialT>>>();
    exporter.SubMeshes = std::make_unique<std::vector<std::unique_ptr<ZROgreSubMeshT>>>();
    for (int t = 0; t < 64; ++t) {
      exporter.Textures.push_back(
          std::make_unique<ZROgreTextureT>("C:\\levels\\tex\\wall " + std::to_string(t) + ".png"));
      exporter.Textures.back()->IsLightmap = t >= 48;
    }
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int m = 0; m < kMaterials; ++m) {
      auto mat = std::make_unique<ZROgreMaterialT>();
      const bool lit = m % 4 == 0;
      mat->Name = lit ? "Lvl/LightMapped" + std::to_string(m / 4) : "Lvl/Material " + std::to_string(m);
      const int layers = 1 + m % 3;
      for (int j = 0; j < layers; ++j) {
        mat->TextureUnits.push_back(std::make_unique<ZROgreTextureUnitT>(
            exporter.Textures[(m + j) % 48].get(), j == 0 ? "replace" : "modulate", j));
      }
      if (lit) {
        mat->IsLightmapped = true;
        mat->TextureUnits.push_back(
            std::make_unique<ZROgreTextureUnitT>(exporter.Textures[48 + m % 16].get(), "modulate", layers));
      }
      auto sub = std::make_unique<ZROgreSubMeshT>();
      sub->Material = mat.get();
      const int sets = mat->TextureUnitCount();
      for (int i = 0; i < kVerticesPerSubMesh; ++i) {
        // Coordinates with full mantissas, as a real level has.
        const float x = static_cast<float>(next() % 100000) / 37.0f - 1000.0f;
        const float y = static_cast<float>(next() % 100000) / 91.0f;
        const float z = static_cast<float>(next() % 100000) / 13.0f - 3000.0f;
        auto v = std::make_unique<ZROgreVertexT>(x, y, z);
        v->Normal.X = 0.267261f;
        v->Normal.Y = 0.534522f;
        v->Normal.Z = -0.801784f;
        for (int j = 0; j < sets; ++j)
          v->AddTextureCoordinates(x / 256.0f, static_cast<float>(next() % 4096) / 4096.0f);
        sub->Vertices.push_back(std::move(v));
      }
      for (int i = 0; i + 2 < kVerticesPerSubMesh; ++i) sub->Faces.push_back({{i, i + 1, i + 2}, mat.get()});
      vertices += kVerticesPerSubMesh;
      exporter.Materials->push_back(std::move(mat));
      exporter.SubMeshes->push_back(std::move(sub));
    }
  }
};

Level& TheLevel() {
  static Level level;
  return level;
}

std::string OutputName(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("pallix_writers_bench_") + name)).string();
}

void Report(benchmark::State& state, const std::string& fileName) {
  const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(fileName));
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["vertices"] = static_cast<double>(TheLevel().vertices);
  std::filesystem::remove(fileName);
}

void BM_BinaryMesh(benchmark::State& state) {
  const Level& level = TheLevel();
  const std::string name = OutputName("level.mesh");
  for (auto _ : state) {
    level.exporter.CheckBinaryLimits();
    TOutputFile file(name);
    level.exporter.WriteBinaryHeader(file);
    level.exporter.WriteBinaryMesh(file);
    file.Commit();
  }
  Report(state, name);
}

void BM_XmlMesh(benchmark::State& state) {
  const Level& level = TheLevel();
  const std::string name = OutputName("level.xml");
  for (auto _ : state) {
    XMLFileWriterT writer(name);
    level.exporter.WriteXmlMesh(writer);
    writer.Commit();
  }
  Report(state, name);
}

void BM_MaterialScript(benchmark::State& state) {
  const Level& level = TheLevel();
  const std::string name = OutputName("level.material");
  for (auto _ : state) {
    TOutputFile file(name);
    bool first = true;
    for (const auto& m : *level.exporter.Materials) {
      if (!first) file.Write("\r\n");
      first = false;
      level.exporter.WriteMaterialScript(*m, file);
    }
    file.Commit();
  }
  Report(state, name);
}

void BM_FormatCoordinate(benchmark::State& state) {
  std::vector<float> values;
  std::uint32_t seed = 7;
  for (int i = 0; i < 4096; ++i) {
    seed = seed * 1664525u + 1013904223u;
    values.push_back(static_cast<float>(seed % 1000000) / 97.0f - 5000.0f);
  }
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FormatCoordinate(values[i++ & 4095]));
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_BinaryMesh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlMesh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaterialScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormatCoordinate);

}  // namespace

BENCHMARK_MAIN();
