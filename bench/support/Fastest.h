#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace pallix::bench {

// For ->Apply(): only the fastest of the repetitions is reported; the machine is shared, and
// the fastest run is the least disturbed one.
template <int Repetitions>
void Fastest(benchmark::internal::Benchmark* b) {
  b->Iterations(1)
      ->Repetitions(Repetitions)
      ->ComputeStatistics("min",
                          [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
      ->ReportAggregatesOnly(true);
}

}  // namespace pallix::bench
