// A whole builder run on arbitrary bytes as "UD-input-GEOMETRY.xyz", then
// kavor-batch build on the same file: a placed point, a refused one and,
// for a pair whose analysis stops, that stop on every row. The batch run
// must end with status 0 (every row with its twelve fields) or 2 (nothing
// published), never a crash or a leftover temporary file or folder.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "batch/batch.hpp"
#include "builder/driver.hpp"
#include "program_run.hpp"

namespace {

namespace fs = std::filesystem;

void run_batch_build(const uint8_t* data, size_t size) {
  static const fs::path dir = [] {
    const fs::path d = fs::temp_directory_path() / ("kavor-batch-build-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());
  {
    std::ofstream out(dir / "pair.xyz", std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::ostringstream index, errors;
  const int status = kavor::batch::batch_main(
      {"build", (dir / "pair.xyz").string(), "--r", "4", "--theta", "0:181:181", "--phi", "45", "--alpha", "30",
       "--beta", "60", "--gamma", "90", "--jobs", "1", "--dirs", (dir / "scan").string(), "--xyz",
       (dir / "scan.xyz").string()},
      index, errors);
  if (status != 0 && status != 2) std::abort();
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp-") != std::string::npos) std::abort();  // a temporary left behind
    if (status == 2 && name != "pair.xyz") std::abort();         // a failed run published something
  }
  if (status != 0) return;
  std::istringstream rows(index.str());
  std::string row;
  int count = 0;
  while (std::getline(rows, row)) {
    size_t tabs = 0;
    for (char c : row) tabs += c == '\t';
    if (tabs != 11) std::abort();  // a field broke its row
    ++count;
  }
  if (count != 3) std::abort();  // the header and one row per point
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int status =
      kavor::fuzz::run_on_bytes("builder", "UD-input-GEOMETRY.xyz", kavor::run_builder, data, size);
  if (status == 0) run_batch_build(data, size);
  return status;
}
