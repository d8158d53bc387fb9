#include "batch/batch.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <set>
#include <span>
#include <iostream>
#include <new>

#include "core/errors.hpp"
#include "core/outfile.hpp"

namespace kavor::batch {

namespace {

const char* const kHelp = R"(usage: kavor-batch COMMAND [options] ...

commands:
  analyze FILE...   the six placement parameters of every frame, one table
                    row per frame (kavor's analysis)
  build FILE        molecule 1 placed at every point of a grid or a table,
                    one index row per point (ud-kavor's placement)
  pairs FILE...     the pairs of neighbouring molecules in crystals, periodic
                    boxes and clusters, one analysed row per pair

kavor-batch COMMAND --help describes each command.
)";

}  // namespace

const char* const kVersion = "kavor-batch 1.13.10 (kavor 1.13.10, ud-kavor 1.14)\n";

void write_text(std::ostream& out, const char* text) {
  out << text;
  out.flush();
  if (!out) throw OutputError(std::string("cannot write to standard output: ") + std::strerror(errno));
}

long parse_count(const std::string& option, const std::string& text, long min, long max) {
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < min || value > max) {
    if (max == LONG_MAX)
      throw UsageError{option + " takes a whole number of at least " + std::to_string(min) + ", not '" +
                       text + "'"};
    throw UsageError{option + " takes a whole number from " + std::to_string(min) + " to " +
                     std::to_string(max) + ", not '" + text + "'"};
  }
  return value;
}

std::filesystem::path output_tree_target(const std::string& option, const std::string& dir, bool force) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target = fs::weakly_canonical(fs::absolute(dir), ec);
  if (ec) target = fs::absolute(dir);
  if (!target.has_filename()) target = target.parent_path();
  const fs::file_status status = fs::status(target, ec);
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) throw OutputError(option + " '" + dir + "' is not a directory");
    if (!force && !fs::is_empty(target, ec))
      throw OutputError(option + " '" + dir + "' is not empty: give --force to replace it");
  }
  return target;
}

void check_rereadable(const std::string& input) {
  if (input == "-") throw UsageError{"--shard cannot count the frames of standard input"};
  struct stat st;
  if (::stat(input.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
    throw UsageError{"--shard reads every FILE twice; '" + input +
                     "' is a pipe or a device: save it to a file first"};
}

Shard parse_shard(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) throw UsageError{"--shard takes K/N, not '" + text + "'"};
  Shard shard;
  shard.index = parse_count("--shard K", text.substr(0, slash), 1);
  shard.count = parse_count("--shard N", text.substr(slash + 1), 1);
  if (shard.index > shard.count)
    throw UsageError{"--shard K/N needs K between 1 and N, not '" + text + "'"};
  return shard;
}

namespace {

constexpr std::string_view kCommonFlags[] = {"-h", "--help", "--version"};
constexpr std::string_view kCommonValued[] = {"--n1", "--format", "-o", "--output", "--jobs", "-j", "--shard"};

// One name for an option's spellings, to find it given twice.
std::string_view canonical(std::string_view name) {
  if (name == "-h") return "--help";
  if (name == "-o") return "--output";
  if (name == "-j") return "--jobs";
  return name;
}

bool listed(std::string_view name, std::initializer_list<std::string_view> own,
            std::span<const std::string_view> common) {
  for (std::string_view f : own)
    if (name == f) return true;
  for (std::string_view f : common)
    if (name == f) return true;
  return false;
}

}  // namespace

std::vector<Argument> split_arguments(const std::vector<std::string>& args,
                                      std::initializer_list<std::string_view> flags,
                                      std::initializer_list<std::string_view> valued) {
  std::vector<Argument> out;
  std::set<std::string, std::less<>> seen;
  bool operands_only = false;
  for (size_t i = 0; i < args.size(); ++i) {
    Argument a;
    a.name = args[i];
    a.option = !operands_only && a.name.size() > 1 && a.name[0] == '-';
    if (a.option && a.name == "--") {
      operands_only = true;
      continue;
    }
    if (!a.option) {
      out.push_back(std::move(a));
      continue;
    }
    const size_t equals = a.name.rfind("--", 0) == 0 ? a.name.find('=') : std::string::npos;
    const bool inline_value = equals != std::string::npos;
    if (inline_value) {
      a.value = a.name.substr(equals + 1);
      a.name.erase(equals);
    }
    const bool flag = listed(a.name, flags, kCommonFlags);
    if (!flag && !listed(a.name, valued, kCommonValued)) throw UsageError{"unknown option " + a.name};
    if (flag && inline_value) throw UsageError{a.name + " takes no value"};
    if (!flag && !inline_value) {
      if (i + 1 >= args.size()) throw UsageError{a.name + " needs a value"};
      a.value = args[++i];
    }
    if (!seen.insert(std::string(canonical(a.name))).second)
      throw UsageError{"option " + std::string(canonical(a.name)) + " given twice"};
    out.push_back(std::move(a));
  }
  return out;
}

bool take_common_option(const Argument& a, CommonOptions& o) {
  if (a.name == "-h" || a.name == "--help") {
    o.help = true;
  } else if (a.name == "--version") {
    o.version = true;
  } else if (a.name == "--n1") {
    o.n1_auto = a.value == "auto";
    if (!o.n1_auto) o.n1 = static_cast<int>(parse_count("--n1", a.value, 0, INT_MAX));
  } else if (a.name == "--format") {
    if (a.value == "auto") o.layout = Layout::automatic;
    else if (a.value == "kavor") o.layout = Layout::programs;
    else if (a.value == "xyz") o.layout = Layout::xyz;
    else throw UsageError{"--format takes auto, kavor or xyz, not '" + a.value + "'"};
  } else if (a.name == "-o" || a.name == "--output") {
    o.output = a.value;
  } else if (a.name == "--jobs" || a.name == "-j") {
    o.jobs = static_cast<int>(parse_count("--jobs", a.value, 1, kMaxJobs));
  } else if (a.name == "--shard") {
    o.shard = parse_shard(a.value);
  } else {
    return false;
  }
  return true;
}

int batch_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // A signal removes the named temporary files of unfinished tables.
  const CleanupOnSignals cleanup;
  try {
    if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
      if (args.empty()) {
        err << kHelp;
        return 2;
      }
      write_text(out, kHelp);
      return 0;
    }
    if (args[0] == "--version") {
      write_text(out, kVersion);
      return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "analyze") return run_analyze(rest, out, err);
    if (args[0] == "build") return run_build(rest, out, err);
    if (args[0] == "pairs") return run_pairs(rest, out, err);
    throw UsageError{"unknown command '" + args[0] + "' (analyze, build or pairs)"};
  } catch (const UsageError& e) {
    err << "kavor-batch: " << e.message << "\nkavor-batch --help describes the commands.\n";
  } catch (const InputError& e) {
    err << "kavor-batch: error: " << e.what() << '\n';
  } catch (const OutputError& e) {
    err << "kavor-batch: error: " << e.what() << '\n';
  } catch (const std::bad_alloc&) {
    err << "kavor-batch: error: out of memory\n";
  }
  return 2;
}

}  // namespace kavor::batch
