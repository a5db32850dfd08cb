// Reading a scene: host answer, parse and scene model, against pugixml parsing the same bytes.
// After the timings it prints the time ratios and the peak memory of one read per size,
// counted by the replaced global operator new / delete below.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <new>
#include <pugixml.hpp>
#include <string>

#include "HostAnswer.h"
#include "SceneGenerator.h"
#include "uXMLReader.h"

// ---- allocation accounting: bytes in use as the allocator hands them out, plus glibc's
// 8-byte chunk header, and the highest value since the last reset.
namespace {
std::size_t gInUse = 0;
std::size_t gPeak = 0;

void* Allocate(std::size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  gInUse += malloc_usable_size(p) + 8;
  if (gInUse > gPeak) gPeak = gInUse;
  return p;
}

void Release(void* p) noexcept {
  if (!p) return;
  gInUse -= malloc_usable_size(p) + 8;
  std::free(p);
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

// Rooms of many primitives, or one terrain grid (a vertex for every quad).
const std::string& Document(int megabytes, bool terrain = false) {
  static std::map<std::pair<int, bool>, std::string> documents;
  auto& doc = documents[{megabytes, terrain}];
  if (doc.empty()) {
    pallix::scenegen::Options options;
    options.Seed = 2024;
    options.TargetMB = megabytes;
    options.Materials = 40;
    options.PolygonsPerPrimitive = 400;
    options.Terrain = terrain ? 1 : 0;
    options.BuildModel = false;
    doc = pallix::scenegen::Generate(options).Document;
  }
  return doc;
}

// Best CPU seconds per iteration, by benchmark and size, for the summary. CPU time of this
// thread, not wall time: the machine is shared, and page faults count all the same.
std::map<std::string, std::map<int, double>> gBest;

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs body once per iteration; body returns the CPU seconds of its measured part and
// pauses the benchmark's own clock around the rest (freeing what it built).
template <typename Body>
void Timed(benchmark::State& state, const char* name, Body&& body) {
  const int megabytes = static_cast<int>(state.range(0));
  const std::string& doc = Document(megabytes);
  double best = 1e30;
  for (auto _ : state) best = std::min(best, body(doc, state));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * doc.size()));
  gBest[name][megabytes] = best;
}

void BM_PugixmlParse(benchmark::State& state) {
  Timed(state, "pugixml", [](const std::string& doc, benchmark::State& s) {
    const double start = CpuSeconds();
    pugi::xml_document xml;
    const auto result = xml.load_buffer(doc.data(), doc.size());
    benchmark::DoNotOptimize(result.status);
    const double used = CpuSeconds() - start;
    s.PauseTiming();  // freeing is not parsing
    xml.reset();
    s.ResumeTiming();
    return used;
  });
}

void BM_ParseOnly(benchmark::State& state) {
  Timed(state, "parse", [](const std::string& doc, benchmark::State& s) {
    const double start = CpuSeconds();
    auto reader = std::make_unique<pallix::TXMLStringReader>(doc);
    benchmark::DoNotOptimize(reader->RootNode());
    const double used = CpuSeconds() - start;
    s.PauseTiming();
    reader.reset();
    s.ResumeTiming();
    return used;
  });
}

void BM_SceneRead(benchmark::State& state) {
  Timed(state, "scene", [](const std::string& doc, benchmark::State& s) {
    const double start = CpuSeconds();
    auto scene = pallix::bench::ReadSceneFromHost(doc);
    benchmark::DoNotOptimize(scene.get());
    const double used = CpuSeconds() - start;
    s.PauseTiming();
    scene.reset();
    s.ResumeTiming();
    return used;
  });
}

// Each size runs pugixml, the parse alone and the whole read; big documents repeat less.
void Sizes(benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMillisecond); }

BENCHMARK(BM_PugixmlParse)->Apply(Sizes)->Arg(1)->Iterations(30);
BENCHMARK(BM_ParseOnly)->Apply(Sizes)->Arg(1)->Iterations(30);
BENCHMARK(BM_SceneRead)->Apply(Sizes)->Arg(1)->Iterations(30);
BENCHMARK(BM_PugixmlParse)->Apply(Sizes)->Arg(20)->Iterations(8);
BENCHMARK(BM_ParseOnly)->Apply(Sizes)->Arg(20)->Iterations(8);
BENCHMARK(BM_SceneRead)->Apply(Sizes)->Arg(20)->Iterations(8);
BENCHMARK(BM_PugixmlParse)->Apply(Sizes)->Arg(100)->Iterations(4);
BENCHMARK(BM_ParseOnly)->Apply(Sizes)->Arg(100)->Iterations(4);
BENCHMARK(BM_SceneRead)->Apply(Sizes)->Arg(100)->Iterations(4);

struct Peak {
  double afterParse;  // answer + node tree, at its highest during the parse
  double whole;       // highest point of the whole read, scene included
  double kept;        // the scene model alone, once the read returned
};

// Peak bytes of one read above what was in use before it, relative to the document size.
Peak MeasurePeak(const std::string& doc) {
  const double size = static_cast<double>(doc.size());
  Peak peak{};
  {
    const std::size_t base = gInUse;
    gPeak = gInUse;
    pallix::TXMLStringReader reader(doc);
    reader.RootNode();
    peak.afterParse = static_cast<double>(gPeak - base) / size;
  }
  const std::size_t base = gInUse;
  gPeak = gInUse;
  auto scene = pallix::bench::ReadSceneFromHost(doc);
  peak.whole = static_cast<double>(gPeak - base) / size;
  peak.kept = static_cast<double>(gInUse - base) / size;
  return peak;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::printf("\n%8s %12s %12s %12s %10s %10s\n", "size MB", "pugixml ms", "parse ms", "read ms",
              "parse/pugi", "read/pugi");
  for (const auto& [megabytes, pugi] : gBest["pugixml"]) {
    const double parse = gBest["parse"].count(megabytes) ? gBest["parse"][megabytes] : 0;
    const double read = gBest["scene"].count(megabytes) ? gBest["scene"][megabytes] : 0;
    std::printf("%8d %12.1f %12.1f %12.1f %10.2f %10.2f\n", megabytes, pugi * 1e3, parse * 1e3, read * 1e3,
                parse / pugi, read / pugi);
  }
  std::printf("\npeak memory of one read, as multiples of the document size (document included)\n");
  std::printf("%8s %8s %12s %12s %12s\n", "size MB", "kind", "parse", "whole read", "scene kept");
  for (const auto& [megabytes, terrain] : {std::pair{1, false}, {20, false}, {100, false}, {20, true}}) {
    const Peak p = MeasurePeak(Document(megabytes, terrain));
    std::printf("%8d %8s %12.2f %12.2f %12.2f\n", megabytes, terrain ? "terrain" : "rooms", p.afterParse,
                p.whole, p.kept);
  }
  return 0;
}
