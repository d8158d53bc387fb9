// kavor-batch: the analysis and the builder over many frames or points in
// one process. Each subcommand returns the exit status: 0, or 2 when some
// input could not be read or an output could not be written.
#pragma once

#include <climits>
#include <initializer_list>
#include <iosfwd>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "batch/frames.hpp"
#include "batch/table.hpp"

namespace kavor::batch {

// Frames shared out among N runs: this run takes the K-th share (1-based) of
// contiguous, equal blocks, so that the shards' rows in order are the whole.
// The exact product of two longs (a GCC and Clang extension).
__extension__ typedef __int128 WideProduct;

struct Shard {
  long index = 1;  // K
  long count = 1;  // N
  bool active() const { return count > 1; }
  // First and one-past-last item of this share of `total`.
  long first(long total) const {
    return static_cast<long>(WideProduct{total} * (index - 1) / count);
  }
  long last(long total) const { return static_cast<long>(WideProduct{total} * index / count); }
};

// Whole program: argv without the program name.
int batch_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

int run_analyze(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int run_build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int run_pairs(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Parsing helpers shared by the subcommands; they throw UsageError.
struct UsageError {
  std::string message;
};
long parse_count(const std::string& option, const std::string& text, long min, long max = LONG_MAX);
Shard parse_shard(const std::string& text);

// More threads than this is a mistake, not a machine (a chunk of work is
// sized by the threads).
inline constexpr long kMaxJobs = 1024;

// One word of a command line with its value: "--name value", "--name=value",
// a flag (an option that takes no value) or an operand. Besides the common
// options, `flags` and `valued` name the command's own; any other word that
// starts with '-' (but "-" itself) is an unknown option, an option given twice
// is refused, and "--" makes every later word an operand.
struct Argument {
  std::string name, value;
  bool option = false;
};
std::vector<Argument> split_arguments(const std::vector<std::string>& args,
                                      std::initializer_list<std::string_view> flags,
                                      std::initializer_list<std::string_view> valued);

// The options both subcommands take.
struct CommonOptions {
  bool help = false;
  bool version = false;
  bool n1_auto = false;  // --n1 auto
  int n1 = -1;           // --n1 N; -1 when not given
  Layout layout = Layout::automatic;
  std::string output;    // -o
  int jobs = default_jobs();
  Shard shard;
  bool n1_given() const { return n1_auto || n1 >= 0; }
};
// Takes `a` into `o` when it is one of the common options.
bool take_common_option(const Argument& a, CommonOptions& o);

// --shard finds a share by reading every input twice: refuses (UsageError)
// an input that would not read the same again, standard input, a pipe or a
// device; a FIFO is refused before it is opened, which would wait for a writer.
void check_rereadable(const std::string& input);

// The directory a folder-per-row option (`option` DIR) names, links
// resolved. A run never mixes its folders with an earlier run's: a directory
// with contents is refused (OutputError) unless `force`, which has it
// replaced whole when the run's tree is published.
std::filesystem::path output_tree_target(const std::string& option, const std::string& dir, bool force);

// Help or version text on `out`; a failed write is an OutputError.
void write_text(std::ostream& out, const char* text);
// The version line, for every command's --version.
extern const char* const kVersion;

}  // namespace kavor::batch
