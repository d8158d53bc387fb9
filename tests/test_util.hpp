// Helpers shared by the tests: scratch directories, files, program runs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kavor::testing {

// A fresh directory under the system temporary folder, removed at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Names of the files in the directory, sorted.
  std::vector<std::string> files() const;

 private:
  std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& path);
std::vector<std::string> read_lines(const std::filesystem::path& path);
std::vector<std::string> split_lines(const std::string& text);
void write_file(const std::filesystem::path& path, const std::string& contents);

struct RunResult {
  int status = 0;
  std::string out;  // console lines
  std::string err;  // error lines
};

// Runs the analyzer or the builder in-process in `dir`.
RunResult run_kavor(const std::filesystem::path& dir);
RunResult run_ud_kavor(const std::filesystem::path& dir);
// Runs a built program as a separate process in `dir`.
RunResult run_binary(const std::string& binary, const std::filesystem::path& dir);
// Runs a shell command line in `dir`, standard input from /dev/null unless
// the command redirects it.
RunResult run_command(const std::string& command, const std::filesystem::path& dir);

// Path of an example pair's file: examples/<name>/<file>.
std::filesystem::path example(const std::string& name, const std::string& file = "input-GEOMETRY.xyz");

}  // namespace kavor::testing
