// The three writers on a converted 100 MB level, against reading that level: the host answer
// parsed and read into the scene model, timed in the same run. Each writer writes a real file
// through the same buffered output the export uses. After the timings it prints each writer's
// time as a share of the read.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "HostAnswer.h"
#include "OutputFileCl.h"
#include "SceneGenerator.h"
#include "XMLWriterCl.h"
#include "ZROgreMeshExporterCl.h"

namespace {

using namespace pallix;
using Clock = std::chrono::steady_clock;

constexpr int kMegabytes = 100;

const std::string& Document() {
  static const std::string doc = [] {
    scenegen::Options options;
    options.Seed = 2024;
    options.TargetMB = kMegabytes;
    options.Materials = 40;
    options.PolygonsPerPrimitive = 400;
    options.BuildModel = false;
    options.UnknownMaterials = false;
    return scenegen::Generate(options).Document;
  }();
  return doc;
}

std::unique_ptr<TScene> ReadLevel() { return bench::ReadSceneFromHost(Document()); }

// The level as the export converts it, with face normals and every option at its default.
const ZROgreMeshExporterT& Converted() {
  static const std::unique_ptr<ZROgreMeshExporterT> exporter = [] {
    auto e = std::make_unique<ZROgreMeshExporterT>(nullptr);  // no progress view
    e->Scene = ReadLevel();
    e->BuildMesh(*e->Scene);
    e->Scene.reset();
    return e;
  }();
  return *exporter;
}

// The whole process: the XML writer hands its blocks to the system on a thread of its own.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Best wall and CPU seconds per iteration, for the summary. The machine may be shared, so
// the CPU figures are the steadier ones.
struct Best {
  double wall = 1e30, cpu = 1e30;
};
std::map<std::string, Best> gBest;

// A writer replacing its previous output would also pay for freeing that file's pages, which is
// not writing; the file goes before each timed run.
template <typename Body>
void Timed(benchmark::State& state, const char* name, Body&& body, const std::string& output = {}) {
  Best best;
  for (auto _ : state) {
    if (!output.empty()) {
      state.PauseTiming();
      std::filesystem::remove(output);
      state.ResumeTiming();
    }
    const auto start = Clock::now();
    const double cpu = CpuSeconds();
    body(state);
    best.cpu = std::min(best.cpu, CpuSeconds() - cpu);
    best.wall = std::min(best.wall, std::chrono::duration<double>(Clock::now() - start).count());
  }
  gBest[name] = best;
}

std::string OutputName(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("pallix_writers_bench_") + name)).string();
}

std::map<std::string, std::int64_t> gFileBytes;

void Report(benchmark::State& state, const std::string& fileName, const char* name) {
  const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(fileName));
  gFileBytes[name] = bytes;
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
  std::filesystem::remove(fileName);
}

void BM_ReadLevel(benchmark::State& state) {
  Timed(state, "read", [](benchmark::State& s) {
    auto scene = ReadLevel();
    benchmark::DoNotOptimize(scene.get());
    s.PauseTiming();  // freeing is not reading
    scene.reset();
    s.ResumeTiming();
  });
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Document().size()));
}

void BM_BinaryMesh(benchmark::State& state) {
  const ZROgreMeshExporterT& level = Converted();
  const std::string name = OutputName("level.mesh");
  Timed(
      state, "binary mesh",
      [&](benchmark::State&) {
        level.CheckBinaryLimits();
        TOutputFile file(name);
        level.WriteBinaryHeader(file);
        level.WriteBinaryMesh(file);
        file.Commit();
      },
      name);
  std::int64_t vertices = 0;
  for (const auto& s : *level.SubMeshes) vertices += s->VertexCount();
  state.counters["vertices"] = static_cast<double>(vertices);
  state.counters["submeshes"] = static_cast<double>(level.SubMeshes->size());
  Report(state, name, "binary mesh");
}

void BM_XmlMesh(benchmark::State& state) {
  const ZROgreMeshExporterT& level = Converted();
  const std::string name = OutputName("level.xml");
  Timed(
      state, "xml mesh",
      [&](benchmark::State&) {
        XMLFileWriterT writer(name);
        level.WriteXmlMesh(writer);
        writer.Commit();
      },
      name);
  Report(state, name, "xml mesh");
}

void BM_MaterialScript(benchmark::State& state) {
  const ZROgreMeshExporterT& level = Converted();
  const std::string name = OutputName("level.material");
  Timed(
      state, "material script",
      [&](benchmark::State&) {
        TOutputFile file(name);
        for (std::size_t i = 0; i < level.Materials->size(); ++i) {
          if (i) file.Write("\r\n");
          level.WriteMaterialScript(*(*level.Materials)[i], file);
        }
        file.Commit();
      },
      name);
  Report(state, name, "material script");
}

// The floor under a writer: only handing the same number of bytes to a new file, in the
// blocks the writers use.
void BM_BareWrite(benchmark::State& state, const char* writer) {
  const auto size = gFileBytes.find(writer);
  if (size == gFileBytes.end()) {
    state.SkipWithError("run the writer first");
    return;
  }
  const std::string name = OutputName("bare");
  const std::string block(TOutputFile::BlockSize(), 'x');
  Timed(
      state, (std::string("bare write: ") + writer).c_str(),
      [&](benchmark::State&) {
        TOutputFile file(name);
        for (std::int64_t left = size->second; left > 0; left -= static_cast<std::int64_t>(block.size())) {
          file.Write(block.data(), static_cast<std::size_t>(std::min<std::int64_t>(left, block.size())));
        }
        file.Commit();
      },
      name);
  Report(state, name, "bare");
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

BENCHMARK(BM_ReadLevel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_BinaryMesh)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_XmlMesh)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_MaterialScript)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK_CAPTURE(BM_BareWrite, binary_mesh_size, "binary mesh")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_BareWrite, xml_mesh_size, "xml mesh")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_FormatCoordinate);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const auto read = gBest.find("read");
  if (read == gBest.end()) return 0;
  const Best r = read->second;
  std::printf("\nBest times against parse + read of the %d MB level (wall %.0f ms, CPU %.0f ms):\n",
              kMegabytes, r.wall * 1e3, r.cpu * 1e3);
  std::printf("  %-24s %9s %7s %9s %7s\n", "", "wall ms", "share", "CPU ms", "share");
  const auto line = [&r](const char* name, const Best& b) {
    std::printf("  %-24s %9.0f %6.1f%% %9.0f %6.1f%%\n", name, b.wall * 1e3, 100 * b.wall / r.wall,
                b.cpu * 1e3, 100 * b.cpu / r.cpu);
  };
  Best all{0, 0};
  for (const char* name : {"binary mesh", "xml mesh", "material script"}) {
    const auto it = gBest.find(name);
    if (it == gBest.end()) continue;
    all.wall += it->second.wall;
    all.cpu += it->second.cpu;
    line(name, it->second);
  }
  line("all writers", all);
  std::printf("  (target: all writers at most 25%%)\n");
  std::printf("The same byte counts only written to a file, for the floor under each mesh writer:\n");
  for (const char* name : {"bare write: binary mesh", "bare write: xml mesh"}) {
    const auto it = gBest.find(name);
    if (it != gBest.end()) line(name, it->second);
  }
  const auto xml = gBest.find("xml mesh");
  const auto bare = gBest.find("bare write: xml mesh");
  if (xml != gBest.end() && bare != gBest.end()) {
    std::printf(
        "XML mesh against its bytes written bare: %.2f in time, %.2f in CPU (target: at most 2 in time)\n",
        xml->second.wall / bare->second.wall, xml->second.cpu / bare->second.cpu);
  }
  return 0;
}
