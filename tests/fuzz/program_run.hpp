// One whole program run on arbitrary bytes as its input file, for the
// analyzer's and the builder's fuzz targets: every run must end with a
// result, an orderly stop or an input/output error, never a crash, a
// sanitizer report or a leftover temporary file, and a failed run must leave
// the directory as it was (only the input file).
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/reader.hpp"

namespace kavor::fuzz {

// Small inputs only: each run does several grid fits.
constexpr size_t kMaxBytes = 4096;
constexpr int kMaxAtoms = 40;

// The leading count, as the reader would see it; -1 if there is none.
inline int leading_count(const std::string& text) {
  std::istringstream in(text);
  std::string token;
  in >> token;
  int n = -1;
  return parse_int32(token, n) ? n : -1;
}

// `run(dir, console, errors)` is run_analyzer or run_builder.
template <class Run>
int run_on_bytes(const char* program, const char* input_name, Run run, const uint8_t* data, size_t size) {
  if (size > kMaxBytes) return -1;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (leading_count(text) > kMaxAtoms) return -1;

  static const std::filesystem::path dir = [program] {
    std::filesystem::path d = std::filesystem::temp_directory_path() /
                              ("kavor-" + std::string(program) + "-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  for (const auto& entry : std::filesystem::directory_iterator(dir)) std::filesystem::remove_all(entry.path());
  {
    std::ofstream out(dir / input_name, std::ios::binary);
    out << text;
  }
  std::ostringstream console, errors;
  const int status = run(dir, console, errors);
  if (status != 0 && status != 2) std::abort();
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp-") != std::string::npos) std::abort();  // a write left half-done
    if (status == 2 && name != input_name) std::abort();        // a failed run published something
  }
  return 0;
}

}  // namespace kavor::fuzz
