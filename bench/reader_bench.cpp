// Reading a full-capacity geometry block (150000 atoms) from memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "core/atoms.hpp"
#include "core/geometry_input.hpp"
#include "core/reader.hpp"

namespace {

std::string full_capacity_file() {
  std::string text = std::to_string(kavor::kCapacity) + "\n";
  char line[96];
  static const char* const kLabels[4] = {"C", "H", "O", "N"};
  for (int i = 0; i < kavor::kCapacity; ++i) {
    std::snprintf(line, sizeof line, "%s %15.8f %15.8f %15.8f\n", kLabels[i % 4], 0.001 * i,
                  -0.002 * i, 0.5 * (i % 97));
    text += line;
  }
  text += "\n75000\n";
  return text;
}

void BM_ReadFullCapacityGeometry(benchmark::State& state) {
  const std::string text = full_capacity_file();
  for (auto _ : state) {
    kavor::FreeFormatReader reader("input-GEOMETRY.xyz", text);
    kavor::GeometryBlock block;
    block.n = kavor::read_atom_count(reader);
    kavor::read_atoms_and_n1(reader, block);
    benchmark::DoNotOptimize(block.icoo_and_m.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadFullCapacityGeometry)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
