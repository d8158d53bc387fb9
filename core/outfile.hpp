// A text file that appears under its final name only when it is complete.
//
// Lines go to a temporary file beside the final one; commit() flushes it and
// renames it over the final name, so an interrupted run never leaves a
// truncated file under a final name nor destroys an earlier file with a
// partial one. A file that was never committed is removed by the destructor.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace kavor {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Throws OutputError when the temporary file cannot be created.
  void open(const std::filesystem::path& final_path);
  bool is_open() const { return file_ != nullptr; }
  void line(std::string_view text);
  // Throws OutputError when the data cannot be written or renamed.
  void commit();
  const std::filesystem::path& path() const { return final_path_; }

 private:
  std::FILE* file_ = nullptr;
  std::filesystem::path final_path_;
  std::filesystem::path temp_path_;
};

}  // namespace kavor
