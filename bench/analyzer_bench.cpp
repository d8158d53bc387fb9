// Cost of one grid fit and of a whole analyzer run on the formamide dimer.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <streambuf>

#include "analyzer/driver.hpp"
#include "core/euler.hpp"

namespace {

struct NullBuffer : std::streambuf {
  int overflow(int c) override { return c; }
};

void BM_GridFitPlainEuler(benchmark::State& state) {
  const kavor::Mat3 m = kavor::euler_matrix(1.1, 0.9, 4.2);
  kavor::FitSetup setup;
  setup.source = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  setup.target = {kavor::mul(m, {1, 0, 0}), kavor::mul(m, {0, 1, 0}), kavor::mul(m, {0, 0, 1})};
  setup.beta = 0.9;
  setup.use = kavor::FitUse::euler;
  kavor::FitObserver quiet;
  for (auto _ : state) {
    kavor::BestAngles best;
    benchmark::DoNotOptimize(kavor::grid_fit_plain(setup, best, quiet));
    benchmark::DoNotOptimize(best.alpha);
  }
}
BENCHMARK(BM_GridFitPlainEuler)->Unit(benchmark::kMillisecond);

void BM_AnalyzerRunFormamideDimer(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "kavor-bench-formamide";
  fs::create_directories(dir);
  fs::copy_file(fs::path(EXAMPLES_DIR) / "formamide-dimer" / "input-GEOMETRY.xyz",
                dir / "input-GEOMETRY.xyz", fs::copy_options::overwrite_existing);
  NullBuffer null_buffer;
  std::ostream null_stream(&null_buffer);
  for (auto _ : state) benchmark::DoNotOptimize(kavor::run_analyzer(dir, null_stream, null_stream));
  fs::remove_all(dir);
}
BENCHMARK(BM_AnalyzerRunFormamideDimer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
