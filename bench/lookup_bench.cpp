// The lookups of an export on scenes of n materials with 2n distinct textures: categories,
// texture records (every colour layer under one generated name, every file name part twice),
// the material sort and split of a primitive that holds half the materials, output texture
// names, and the mesh and the script written. No lookup may grow with the scene: 100,000
// materials may take at most a few times as long as 10 times 10,000.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "BasicFn.h"
#include "OutputFileCl.h"
#include "ZROgreMeshExporterCl.h"
#include "uScene.h"

#include "Fastest.h"

namespace pallix {
namespace {

TPolygon& AddTriangle(TPrimitive& primitive, TMaterial* material, float x) {
  auto polygon = std::make_unique<TPolygon>();
  polygon->Material = material;
  for (int k = 0; k < 3; ++k) {
    auto vertex = std::make_unique<TVertex>();
    vertex->Id = IntToStr(static_cast<std::int64_t>(primitive.Vertices.size()));
    vertex->X = x + static_cast<float>(k);
    vertex->Y = static_cast<float>(k == 1);
    polygon->AddVertex(vertex.get());
    primitive.AddVertex(std::move(vertex));
    for (int set = 0; set < 2; ++set) polygon->GetUVSet(set).AppendUV(static_cast<float>(k), 0);
  }
  TPolygon& added = *polygon;
  primitive.AddPolygon(std::move(polygon));
  return added;
}

// Material i: a texture layer "dI%2\tI/2.png" and a colour layer of colour i (all named
// color.bmp), filed under a category of its own. Even materials' triangles share one
// primitive, odd ones have a primitive each.
std::unique_ptr<TScene> MakeScene(std::int32_t n) {
  auto scene = std::make_unique<TScene>();
  auto shared = std::make_unique<TPrimitive>();
  TPrimitive& big = *shared;
  scene->AddPrimitive(std::move(shared));
  for (std::int32_t i = 0; i < n; ++i) {
    auto material = std::make_unique<TMaterial>();
    material->Id = "m" + IntToStr(i);
    material->Name = "Material" + IntToStr(i);
    material->Category = "Category" + IntToStr(i);
    auto texture = std::make_unique<TMaterialLayer>();
    texture->TextureFile = "d" + IntToStr(i % 2) + "\\t" + IntToStr(i / 2) + ".png";
    material->AddLayer(std::move(texture));
    auto colour = std::make_unique<TMaterialLayer>();
    colour->LayerType = TLayerType::color;
    colour->Blend = TBlendOperation::add;
    colour->Color = static_cast<std::uint32_t>(i) | 0xFF000000u;
    material->AddLayer(std::move(colour));
    TMaterial* added = material.get();
    scene->AddMaterial(std::move(material));
    if (i % 2 == 0) {
      AddTriangle(big, added, static_cast<float>(i));
    } else {
      auto own = std::make_unique<TPrimitive>();
      AddTriangle(*own, added, static_cast<float>(i));
      scene->AddPrimitive(std::move(own));
    }
  }
  return scene;
}

void BM_ExportLookups(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("pallix-lookup-bench-" + IntToStr(n))).string() + "/";
  std::filesystem::create_directories(folder);
  std::size_t textures = 0;
  for (auto _ : state) {
    auto scene = MakeScene(n);
    ZROgreMeshExporterT exporter(nullptr);  // no progress view
    exporter.BuildMesh(*scene);
    exporter.NameTextures(folder + "level.mesh");
    exporter.SaveBinaryMesh(folder + "level.mesh");
    exporter.SaveMaterialFile(folder + "level.material");
    textures = exporter.Textures.size();
    state.PauseTiming();
    exporter.SubMeshes.reset();
    scene.reset();
    malloc_trim(0);
    state.ResumeTiming();
  }
  std::filesystem::remove_all(folder);
  state.counters["textures"] = static_cast<double>(textures);
  state.counters["time_per_material"] = benchmark::Counter(
      double(n) * double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_ExportLookups)
    ->Arg(10000)
    ->Arg(100000)
    ->ArgName("materials")
    ->Unit(benchmark::kMillisecond)
    ->Apply(bench::Fastest<5>);

}  // namespace
}  // namespace pallix

BENCHMARK_MAIN();
