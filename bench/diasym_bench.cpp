// Cost of one 3 x 3 eigen-decomposition: diasym (dsyev's steps in C++)
// against one dsyev call, on inertia-tensor-like matrices.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/lapack/diasym.hpp"

namespace {

std::vector<double> tensors(int count) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> m(9 * static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    double* t = &m[9 * static_cast<size_t>(k)];
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < j; ++i) t[i + 3 * j] = t[j + 3 * i] = 1e-39 * u(rng);
    for (int i = 0; i < 3; ++i) t[4 * i] = 1e-39 * (3.0 + u(rng));  // g cm^2, dominant diagonal
  }
  return m;
}

// Arg 0: diasym; 1: dsyev.
void BM_Diasym3(benchmark::State& state) {
  const std::vector<double> m = tensors(64);
  double a[9], b[3];
  size_t k = 0;
  for (auto _ : state) {
    std::memcpy(a, &m[9 * k], sizeof a);
    if (state.range(0) == 0)
      kavor::diasym(a, b, 3);
    else
      kavor::diasym_dsyev(a, b, 3);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    k = (k + 1) % 64;
  }
}
BENCHMARK(BM_Diasym3)->Arg(0)->Arg(1)->ArgName("dsyev");

}  // namespace

BENCHMARK_MAIN();
