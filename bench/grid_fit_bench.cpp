// The orientation search: one grid fit with the plain scan and with the fast
// scan on the same inputs (Euler use and alignment use), a closed-form z-y-z
// decomposition of the same frames as the floor, and whole program runs on
// the formamide dimer with either scan.
//
// Compare the figures of one run of this program: BM_GridFitPlain/<use>
// against BM_GridFitFast/<use>, and BM_Analyzer/0 (plain) against
// BM_Analyzer/1 (fast); likewise for the builder.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include "analyzer/driver.hpp"
#include "builder/driver.hpp"
#include "core/euler.hpp"

namespace {

using kavor::BestAngles;
using kavor::FitAxes;
using kavor::FitSetup;
using kavor::FitUse;
using kavor::Mat3;
using kavor::Vec3;

FitAxes rotated_axes(const Mat3& m) {
  return {kavor::mul(m, {1, 0, 0}), kavor::mul(m, {0, 1, 0}), kavor::mul(m, {0, 0, 1})};
}

// Euler use: molecule 2's axes along the coordinate axes up to a small
// alignment residue, molecule 1's axes rotated by generic angles.
// Alignment use: a generic frame onto the coordinate axes.
FitSetup bench_setup(FitUse use) {
  const FitAxes axes = rotated_axes(Mat3{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}});
  FitSetup setup;
  setup.use = use;
  setup.mode = kavor::Mode::analyzer;
  if (use == FitUse::euler) {
    setup.source = rotated_axes(kavor::euler_matrix(2e-6, 1e-6, 3e-6));
    const Mat3 m = kavor::euler_matrix(1.234, 0.987, 4.321);
    setup.target = {kavor::mul(m, setup.source.x), kavor::mul(m, setup.source.y),
                   kavor::mul(m, setup.source.z)};
    const Vec3 c = kavor::cross(setup.target.z, setup.source.z);
    setup.beta = std::atan2(std::sqrt(kavor::dot(c, c)), kavor::dot(setup.target.z, setup.source.z));
  } else {
    // Rows of M are the images of the coordinate axes under M^T.
    const Mat3 m = kavor::euler_matrix(5.1, 2.2, 0.7);
    setup.source = {{m.m[0][0], m.m[1][0], m.m[2][0]},
                   {m.m[0][1], m.m[1][1], m.m[2][1]},
                   {m.m[0][2], m.m[1][2], m.m[2][2]}};
    setup.target = axes;
    const Vec3& z = setup.source.z;
    const double len = std::sqrt(kavor::dot(z, z));
    setup.beta = std::atan2(std::sqrt(z.x * z.x + z.y * z.y) / len, z.z / len);
  }
  return setup;
}

struct Silent : kavor::FitObserver {};

void run_fit(benchmark::State& state, bool plain) {
  const FitSetup setup = bench_setup(state.range(0) == 0 ? FitUse::euler : FitUse::alignment);
  kavor::use_plain_grid_fit(plain);
  Silent observer;
  for (auto _ : state) {
    BestAngles best;
    benchmark::DoNotOptimize(kavor::grid_fit(setup, best, observer));
    benchmark::DoNotOptimize(best);
  }
  kavor::use_plain_grid_fit(false);
}

void BM_GridFitPlain(benchmark::State& state) { run_fit(state, true); }
void BM_GridFitFast(benchmark::State& state) { run_fit(state, false); }
BENCHMARK(BM_GridFitPlain)->Arg(0)->Arg(1)->ArgName("alignment")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridFitFast)->Arg(0)->Arg(1)->ArgName("alignment")->Unit(benchmark::kMicrosecond);

// The floor: M = x X^T + y Y^T + z Z^T and its z-y-z angles in closed form.
void BM_ClosedFormZyz(benchmark::State& state) {
  const FitSetup setup = bench_setup(state.range(0) == 0 ? FitUse::euler : FitUse::alignment);
  for (auto _ : state) {
    const Vec3 s[3] = {setup.source.x, setup.source.y, setup.source.z};
    const Vec3 d[3] = {setup.target.x, setup.target.y, setup.target.z};
    double m[3][3] = {};
    for (int k = 0; k < 3; ++k) {
      const double dv[3] = {d[k].x, d[k].y, d[k].z};
      const double sv[3] = {s[k].x, s[k].y, s[k].z};
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] += dv[i] * sv[j];
    }
    const double beta = std::acos(std::clamp(m[2][2], -1.0, 1.0));
    const double alpha = std::atan2(m[2][1], m[2][0]);
    const double gamma = std::atan2(m[1][2], -m[0][2]);
    benchmark::DoNotOptimize(alpha);
    benchmark::DoNotOptimize(beta);
    benchmark::DoNotOptimize(gamma);
  }
}
BENCHMARK(BM_ClosedFormZyz)->Arg(0)->Arg(1)->ArgName("alignment");

// A scratch directory holding one example input, removed at the end.
class Workspace {
 public:
  Workspace(const std::string& example, const std::string& file) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kavor-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    std::filesystem::copy_file(std::filesystem::path(EXAMPLES_DIR) / example / file, dir_ / file);
    input_ = file;
  }
  ~Workspace() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::filesystem::path& dir() const { return dir_; }
  // Leaves only the input, so every run writes its files afresh.
  void clean() const {
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
      if (entry.path().filename() != input_) std::filesystem::remove_all(entry.path());
  }

 private:
  std::filesystem::path dir_;
  std::string input_;
};

template <typename Run>
void run_program(benchmark::State& state, const std::string& file, Run run) {
  const bool plain = state.range(0) == 0;
  Workspace ws("formamide-dimer", file);
  kavor::use_plain_grid_fit(plain);
  for (auto _ : state) {
    state.PauseTiming();
    ws.clean();
    state.ResumeTiming();
    std::ostringstream out, err;
    const int status = run(ws.dir(), out, err);
    if (status != 0) state.SkipWithError("the program failed");
    benchmark::DoNotOptimize(status);
  }
  kavor::use_plain_grid_fit(false);
}

void BM_Analyzer(benchmark::State& state) {
  run_program(state, "input-GEOMETRY.xyz", kavor::run_analyzer);
}
void BM_Builder(benchmark::State& state) {
  run_program(state, "UD-input-GEOMETRY.xyz", kavor::run_builder);
}
BENCHMARK(BM_Analyzer)->Arg(0)->Arg(1)->ArgName("fast")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Builder)->Arg(0)->Arg(1)->ArgName("fast")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
