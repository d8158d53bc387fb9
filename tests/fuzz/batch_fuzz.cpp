// kavor-batch analyze on arbitrary bytes, as a (multi-frame) XYZ file with
// N1 from the bonds and in the layout told from the bytes: every run must end
// with a table or error lines and status 0 or 2, and every table row must
// have its eleven fields.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.hpp"

namespace {

// Small inputs only: each frame's analysis does several grid fits.
constexpr size_t kMaxBytes = 4096;

const std::filesystem::path& input_file() {
  static const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                            ("kavor-batch-fuzz-" + std::to_string(::getpid()) + ".xyz");
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxBytes) return -1;
  {
    std::ofstream out(input_file(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  // With N1 from the bonds (standard XYZ), and with no N1 (the layout told
  // from the bytes, as a user's file would be).
  for (const bool bonds : {true, false}) {
    std::vector<std::string> args{"analyze", "--jobs", "1", input_file().string()};
    if (bonds) args.insert(args.begin() + 1, {"--n1", "auto"});
    std::ostringstream table, errors;
    const int status = kavor::batch::batch_main(args, table, errors);
    if (status != 0 && status != 2) std::abort();
    std::istringstream rows(table.str());
    std::string row;
    while (std::getline(rows, row)) {
      size_t tabs = 0;
      for (char c : row) tabs += c == '\t';
      if (tabs != 10) std::abort();  // a field broke its row
    }
  }
  return 0;
}
