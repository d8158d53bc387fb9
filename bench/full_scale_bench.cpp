// Whole runs at the capacity of 150000 atoms, and the short-contact scan of
// the placed full-size pair: cell list against the plain double loop.
//
// The pair comes from bench/make_big_pair.py (python3), generated once into a
// scratch directory under the system temporary folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "analyzer/driver.hpp"
#include "builder/contacts.hpp"
#include "builder/driver.hpp"
#include "core/geometry_input.hpp"
#include "core/reader.hpp"

namespace fs = std::filesystem;

namespace {

// Generated files; made on first use.
const fs::path& pair_dir() {
  static const fs::path dir = [] {
    const fs::path d = fs::temp_directory_path() / "kavor-full-scale-pair";
    if (!fs::exists(d / "UD-input-GEOMETRY.xyz")) {
      const fs::path script = fs::path(__FILE__).parent_path() / "make_big_pair.py";
      const std::string command = "python3 '" + script.string() + "' '" + d.string() + "'";
      if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot run " + command);
    }
    return d;
  }();
  return dir;
}

// A fresh working directory holding one input file.
fs::path work_dir(const std::string& name, const std::string& input) {
  const fs::path dir = fs::temp_directory_path() / ("kavor-full-scale-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(pair_dir() / input, dir / input);
  return dir;
}

// Console lines go nowhere: an ostream without a buffer drops them.
std::ostream& null_stream() {
  static std::ostream stream(nullptr);
  return stream;
}

void BM_AnalyzerFullScale(benchmark::State& state) {
  const fs::path dir = work_dir("analyzer", "input-GEOMETRY.xyz");
  for (auto _ : state) {
    std::ostringstream errors;
    const int status = kavor::run_analyzer(dir, null_stream(), errors);
    if (status != 0) state.SkipWithError(errors.str().c_str());
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_AnalyzerFullScale)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_BuilderFullScale(benchmark::State& state) {
  const fs::path dir = work_dir("builder", "UD-input-GEOMETRY.xyz");
  for (auto _ : state) {
    std::ostringstream errors;
    const int status = kavor::run_builder(dir, null_stream(), errors);
    if (status != 0) state.SkipWithError(errors.str().c_str());
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_BuilderFullScale)->Iterations(1)->Unit(benchmark::kMillisecond);

// The pair as the builder placed it: its "input-GEOMETRY.xyz".
const kavor::GeometryBlock& placed_pair() {
  static const kavor::GeometryBlock block = [] {
    const fs::path dir = work_dir("placed", "UD-input-GEOMETRY.xyz");
    std::ostringstream errors;
    if (kavor::run_builder(dir, null_stream(), errors) != 0) throw std::runtime_error(errors.str());
    kavor::FreeFormatReader reader = kavor::FreeFormatReader::from_file(dir / "input-GEOMETRY.xyz");
    kavor::GeometryBlock b;
    b.n = kavor::read_atom_count(reader);
    kavor::read_atoms_and_n1(reader, b);
    fs::remove_all(dir);
    return b;
  }();
  return block;
}

// Molecule 1 thinned to every k-th atom, `n1` atoms in all (molecule 2
// whole), so that the plain loop stays within seconds: the full 75000 x 75000
// pairs take it well over ten seconds. Thinning keeps atoms of the contact
// zone (the first rows are the blob's core, far from molecule 2).
kavor::AtomTable subset(int n1) {
  const kavor::GeometryBlock& b = placed_pair();
  const int stride = b.n1 / n1;
  kavor::AtomTable atoms;
  for (int i = 0; i < n1; ++i) atoms.push_back(b.icoo_and_m[i * stride]);
  atoms.insert(atoms.end(), b.icoo_and_m.begin() + b.n1, b.icoo_and_m.end());
  return atoms;
}

template <bool kPlain>
void BM_ShortContacts(benchmark::State& state) {
  const kavor::GeometryBlock& b = placed_pair();
  const int n1 = state.range(0) == 0 ? b.n1 : static_cast<int>(state.range(0));
  const kavor::AtomTable atoms = subset(n1);
  const int n = static_cast<int>(atoms.size());
  size_t found = 0;
  for (auto _ : state) {
    const auto pairs = kPlain ? kavor::find_short_contacts_plain(atoms, n, n1)
                              : kavor::find_short_contacts(atoms, n, n1);
    found = pairs.size();
    benchmark::DoNotOptimize(pairs.data());
  }
  state.counters["short_pairs"] = static_cast<double>(found);
  state.counters["pairs_tested_by_plain"] = static_cast<double>(n1) * (n - n1);
}
// Range 0 is the whole molecule 1 (75000 atoms).
BENCHMARK(BM_ShortContacts<false>)->Name("BM_ShortContactsCellList")->Arg(7500)->Arg(0)
    ->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShortContacts<true>)->Name("BM_ShortContactsPlain")->Arg(7500)
    ->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
