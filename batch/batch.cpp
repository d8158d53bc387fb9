#include "batch/batch.hpp"

#include <charconv>
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

const char* const kVersion = "kavor-batch 1.13.10 (kavor 1.13.10, ud-kavor 1.14)\n";

}  // namespace

long parse_count(const std::string& option, const std::string& text, long min) {
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < min)
    throw UsageError{option + " takes a whole number of at least " + std::to_string(min) + ", not '" +
                     text + "'"};
  return value;
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

std::vector<Argument> split_arguments(const std::vector<std::string>& args,
                                      std::initializer_list<std::string_view> flags) {
  std::vector<Argument> out;
  for (size_t i = 0; i < args.size(); ++i) {
    Argument a;
    a.name = args[i];
    a.option = a.name.size() > 1 && a.name[0] == '-';
    bool flag = a.name == "-h" || a.name == "--help";
    for (std::string_view f : flags) flag |= a.name == f;
    if (a.option && a.name.rfind("--", 0) == 0 && a.name.find('=') != std::string::npos) {
      a.value = a.name.substr(a.name.find('=') + 1);
      a.name.erase(a.name.find('='));
    } else if (a.option && !flag) {
      if (i + 1 >= args.size()) throw UsageError{a.name + " needs a value"};
      a.value = args[++i];
    }
    out.push_back(std::move(a));
  }
  return out;
}

bool take_common_option(const Argument& a, CommonOptions& o) {
  if (a.name == "-h" || a.name == "--help") {
    o.help = true;
  } else if (a.name == "--n1") {
    o.n1_auto = a.value == "auto";
    if (!o.n1_auto) o.n1 = static_cast<int>(parse_count("--n1", a.value, 0));
  } else if (a.name == "--format") {
    if (a.value == "auto") o.layout = Layout::automatic;
    else if (a.value == "kavor") o.layout = Layout::programs;
    else if (a.value == "xyz") o.layout = Layout::xyz;
    else throw UsageError{"--format takes auto, kavor or xyz, not '" + a.value + "'"};
  } else if (a.name == "-o" || a.name == "--output") {
    o.output = a.value;
  } else if (a.name == "--jobs" || a.name == "-j") {
    o.jobs = static_cast<int>(parse_count("--jobs", a.value, 1));
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
      (args.empty() ? err : out) << kHelp;
      return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
      out << kVersion;
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
