// A whole builder run on arbitrary bytes as "UD-input-GEOMETRY.xyz": every
// run must end with a result, an orderly stop or an input/output error, never
// a crash, a sanitizer report or a leftover temporary file, and a failed run
// must leave the directory as it was (only the input file).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "builder/driver.hpp"
#include "core/reader.hpp"

namespace {

// Small inputs only: each run does several grid fits.
constexpr size_t kMaxBytes = 4096;
constexpr int kMaxAtoms = 40;

const std::filesystem::path& scratch() {
  static const std::filesystem::path dir = [] {
    std::filesystem::path d = std::filesystem::temp_directory_path() /
                              ("kavor-builder-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

// The leading count, as the reader would see it; -1 if there is none.
int leading_count(const std::string& text) {
  std::istringstream in(text);
  std::string token;
  in >> token;
  int n = -1;
  return kavor::parse_int32(token, n) ? n : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxBytes) return -1;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (leading_count(text) > kMaxAtoms) return -1;

  const std::filesystem::path& dir = scratch();
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    std::filesystem::remove_all(entry.path());
  {
    std::ofstream out(dir / "UD-input-GEOMETRY.xyz", std::ios::binary);
    out << text;
  }
  std::ostringstream console, errors;
  const int status = kavor::run_builder(dir, console, errors);
  if (status != 0 && status != 2) std::abort();
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp-") != std::string::npos) std::abort();  // a write left half-done
    if (status == 2 && name != "UD-input-GEOMETRY.xyz") std::abort();  // a failed run published
  }
  return 0;
}
