#include "test_util.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "analyzer/driver.hpp"
#include "builder/driver.hpp"

namespace kavor::testing {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kavor-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // A test may have made the directory read-only.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> ScratchDir::files() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> read_lines(const std::filesystem::path& path) {
  return split_lines(read_file(path));
}

void write_file(const std::filesystem::path& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// A program's run(dir, console, errors) with both streams captured.
static RunResult run_in_process(int (*run)(const std::filesystem::path&, std::ostream&, std::ostream&),
                                const std::filesystem::path& dir) {
  std::ostringstream out, err;
  RunResult result;
  result.status = run(dir, out, err);
  result.out = out.str();
  result.err = err.str();
  return result;
}

RunResult run_kavor(const std::filesystem::path& dir) { return run_in_process(run_analyzer, dir); }

RunResult run_ud_kavor(const std::filesystem::path& dir) { return run_in_process(run_builder, dir); }

RunResult run_binary(const std::string& binary, const std::filesystem::path& dir) {
  return run_command("'" + binary + "'", dir);
}

RunResult run_command(const std::string& command_line, const std::filesystem::path& dir) {
  const std::filesystem::path out_path = dir / ".stdout.capture";
  const std::filesystem::path err_path = dir / ".stderr.capture";
  const std::string command = "cd '" + dir.string() + "' && { " + command_line + " ; } > '" +
                              out_path.string() + "' 2> '" + err_path.string() + "' < /dev/null";
  const int raw = std::system(command.c_str());
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return result;
}

std::filesystem::path example(const std::string& name, const std::string& file) {
  return std::filesystem::path(EXAMPLES_DIR) / name / file;
}

}  // namespace kavor::testing
