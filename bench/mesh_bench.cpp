// Conversion of one terrain primitive of n quads, in each normal mode. The work per quad
// must not grow with n: 1,000,000 quads may take at most 5 times as long as 250,000.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "BasicFn.h"
#include "ZROgreMeshExporterCl.h"
#include "uScene.h"

#include "Fastest.h"

namespace pallix {
namespace {

// A side x side grid of quads over a gently rolling height field, one texture layer, the
// quad corners shared between neighbours as an editor's terrain has them.
std::unique_ptr<TScene> MakeTerrain(std::int32_t side) {
  auto scene = std::make_unique<TScene>();
  auto material = std::make_unique<TMaterial>();
  material->Id = "m0";
  material->Name = "Terrain";
  auto layer = std::make_unique<TMaterialLayer>();
  layer->TextureFile = "terrain\\grass.jpg";
  material->AddLayer(std::move(layer));
  TMaterial* terrain = material.get();
  scene->AddMaterial(std::move(material));

  auto primitive = std::make_unique<TPrimitive>();
  std::vector<TVertex*> grid;
  grid.reserve(static_cast<std::size_t>(side + 1) * static_cast<std::size_t>(side + 1));
  for (std::int32_t y = 0; y <= side; ++y) {
    for (std::int32_t x = 0; x <= side; ++x) {
      auto v = std::make_unique<TVertex>();
      v->Id = IntToStr(std::int64_t(y) * (side + 1) + x);
      v->X = static_cast<float>(x);
      v->Z = static_cast<float>(y);
      v->Y = static_cast<float>(std::sin(x * 0.05) * std::cos(y * 0.07) * 8.0);
      grid.push_back(v.get());
      primitive->AddVertex(std::move(v));
    }
  }
  auto at = [&](std::int32_t x, std::int32_t y) {
    return grid[static_cast<std::size_t>(y) * static_cast<std::size_t>(side + 1) +
                static_cast<std::size_t>(x)];
  };
  for (std::int32_t y = 0; y < side; ++y) {
    for (std::int32_t x = 0; x < side; ++x) {
      auto polygon = std::make_unique<TPolygon>();
      polygon->Material = terrain;
      const std::int32_t corners[4][2] = {{x, y}, {x, y + 1}, {x + 1, y + 1}, {x + 1, y}};
      for (const auto& c : corners) {
        polygon->AddVertex(at(c[0], c[1]));
        polygon->GetUVSet(0).AppendUV(static_cast<float>(c[0]) / 16.0f, static_cast<float>(c[1]) / 16.0f);
      }
      primitive->AddPolygon(std::move(polygon));
    }
  }
  scene->AddPrimitive(std::move(primitive));
  return scene;
}

constexpr std::int32_t kSides[] = {500, 1000};  // 250,000 and 1,000,000 quads

// Both scenes are built before any conversion runs: a scene built later would sit in memory
// that conversions freed, scattered, and read slower than the one built first.
TScene& Terrain(std::int32_t side) {
  static const auto scenes = [] {
    std::map<std::int32_t, std::unique_ptr<TScene>> built;
    for (const std::int32_t s : kSides) built[s] = MakeTerrain(s);
    return built;
  }();
  return *scenes.at(side);
}

// Material building, conversion, pruning and the split, as the export run calls them.
std::int32_t Convert(TScene& scene, std::uint8_t normals) {
  ZROgreMeshExporterT exporter(nullptr);  // no progress view
  exporter.normalsToExport = normals;
  exporter.BuildMesh(scene);
  const std::int32_t vertices = (*exporter.SubMeshes)[0]->VertexCount();
  benchmark::DoNotOptimize(vertices);
  return vertices;
}

void BM_ConvertTerrain(benchmark::State& state) {
  const auto side = static_cast<std::int32_t>(state.range(0));
  const auto normals = static_cast<std::uint8_t>(state.range(1));
  TScene& scene = Terrain(side);
  std::int64_t vertices = 0;
  for (auto _ : state) {
    vertices = Convert(scene, normals);
    // Freed memory goes back to the system after every run, so that each run starts from the
    // same state and none works in memory a larger case has already touched and scattered.
    state.PauseTiming();
    malloc_trim(0);
    state.ResumeTiming();
  }
  const double quads = double(side) * side;
  state.counters["quads"] = quads;
  state.counters["vertices"] = double(vertices);
  state.counters["ns_per_quad"] = benchmark::Counter(
      quads * double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Normal modes none, face, smooth.
BENCHMARK(BM_ConvertTerrain)
    ->ArgsProduct({{kSides[0], kSides[1]}, {0, 1, 2}})
    ->ArgNames({"side", "normals"})
    ->Unit(benchmark::kMillisecond)
    ->Apply(bench::Fastest<7>);

}  // namespace
}  // namespace pallix

BENCHMARK_MAIN();
