// Hostile and broken inputs through both programs: every run must end with
// the defined result, or with one message on standard error and exit status
// 2, and must never leave a temporary or half-written file behind.
//
// Most corpus files are in the builder's layout; the analyzer reads the same
// file as "input-GEOMETRY.xyz" and stops reading after N1.
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "test_util.hpp"

namespace kavor {
namespace {

namespace fs = std::filesystem;
using testing::example;
using testing::read_file;
using testing::RunResult;
using testing::ScratchDir;
using testing::split_lines;
using testing::write_file;

const fs::path kCorpus = fs::path(TEST_DATA_DIR) / "hostile";

struct Program {
  const char* name;
  const char* input;  // the file it reads
  const char* report;
  const char* version;  // as in the stop lines
  RunResult (*run)(const fs::path&);
  const char* binary;
  bool is_builder;
};
const Program kAnalyzer{"kavor", "input-GEOMETRY.xyz", "LOG-PARAM-ONLY.txt", "KAVOR 1.13.10",
                        testing::run_kavor, KAVOR_BINARY, false};
const Program kBuilder{"ud-kavor", "UD-input-GEOMETRY.xyz", "UD-LOG-PARAM.txt", "UD-KAVOR 1.14",
                       testing::run_ud_kavor, UD_KAVOR_BINARY, true};
const Program kBoth[] = {kAnalyzer, kBuilder};

// Files of an interrupted write: ".<final name>.tmp-XXXXXX".
std::vector<std::string> leftovers(const ScratchDir& dir) {
  std::vector<std::string> found;
  for (const std::string& name : dir.files())
    if (!name.empty() && name[0] == '.' && name.find(".tmp-") != std::string::npos)
      found.push_back(name);
  return found;
}

RunResult run_text(const Program& p, const ScratchDir& dir, const std::string& contents) {
  write_file(dir / p.input, contents);
  return p.run(dir.path());
}

RunResult run_corpus(const Program& p, const ScratchDir& dir, const std::string& file) {
  return run_text(p, dir, read_file(kCorpus / file));
}

std::string last_lines(const std::string& text, size_t count) {
  const std::vector<std::string> lines = split_lines(text);
  std::string tail;
  for (size_t i = lines.size() - std::min(count, lines.size()); i < lines.size(); ++i)
    tail += lines[i] + "\n";
  return tail;
}

// Exit 2 with exactly the one line "<program>: error: <input>:<message>" and
// no file but the input.
void expect_read_error(const Program& p, const ScratchDir& dir, const RunResult& r,
                       const std::string& message, const std::string& context) {
  EXPECT_EQ(r.status, kExitIoError) << context;
  EXPECT_EQ(r.err, std::string(p.name) + ": error: " + p.input + ":" + message + "\n") << context;
  EXPECT_EQ(dir.files(), std::vector<std::string>{p.input}) << context;
}

TEST(HostileGeometry, UnreadableBlockIsOneMessageWithStatus2InBothPrograms) {
  struct Case {
    const char* file;
    const char* message;
  };
  const Case cases[] = {
      {"empty.xyz", "1: file ends before the number of atoms N"},
      {"n-word.xyz", "1: expected the number of atoms N (a whole number), got 'six'"},
      {"n-real.xyz", "1: expected the number of atoms N (a whole number), got '6.0'"},
      {"n-overflow.xyz", "1: expected the number of atoms N (a whole number), got '4294967302'"},
      {"n-negative.xyz", "1: expected the number of atoms N (zero or more), got -6"},
      {"ends-in-atoms.xyz", "5: file ends before the label and x, y, z of atom 4"},
      {"ends-before-n1.xyz", "9: file ends before the number of atoms of molecule 1 (N1)"},
      // A label alone on its line takes the next line's label as its x.
      {"label-only.xyz", "3: expected x of atom 1 (a finite number), got 'C'"},
      {"nan.xyz", "3: expected z of atom 2 (a finite number), got 'NaN'"},
      {"infinity.xyz", "3: expected z of atom 2 (a finite number), got '-Infinity'"},
      {"overflow.xyz", "3: expected z of atom 2 (a finite number), got '1e309'"},
      {"hex.xyz", "3: expected z of atom 2 (a finite number), got '0x1p3'"},
      {"n1-word.xyz", "9: expected the number of atoms of molecule 1 (N1) (a whole number), got 'three'"},
      // Control bytes and NUL are quoted escaped: the message stays whole.
      {"n-control-bytes.xyz", "1: expected the number of atoms N (a whole number), got '\\x01six\\x00\\x7f\\x1b[2J'"},
  };
  for (const Program& p : kBoth)
    for (const Case& c : cases) {
      ScratchDir dir;
      const RunResult r = run_corpus(p, dir, c.file);
      EXPECT_EQ(r.out, "") << p.name << " " << c.file;
      expect_read_error(p, dir, r, c.message, std::string(p.name) + " " + c.file);
    }
}

TEST(HostileGeometry, MissingOrDirectoryInputIsOneMessageWithStatus2) {
  for (const Program& p : kBoth) {
    ScratchDir missing;
    RunResult r = p.run(missing.path());
    EXPECT_EQ(r.status, kExitIoError);
    EXPECT_EQ(r.err, std::string(p.name) + ": error: " + p.input +
                         ": cannot open input file: No such file or directory\n");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(missing.files().empty());

    ScratchDir directory;
    fs::create_directory(directory / p.input);
    r = p.run(directory.path());
    EXPECT_EQ(r.status, kExitIoError);
    EXPECT_EQ(r.err, std::string(p.name) + ": error: " + p.input +
                         ": cannot read input file: it is a directory\n");
  }
}

TEST(HostileGeometry, CountChecksGiveTheirMessagesWithStatus0) {
  struct Case {
    const char* file;
    std::string analyzer_tail;  // last lines of standard output
    std::string builder_tail;
  };
  const std::string too_few = "  This version allow the study of entities \n  with more than 2 atoms \n";
  const std::string no_molecule_2 = "  molecule 2 has no atoms: N1 must be smaller than N \n  ERROR \n";
  const Case cases[] = {
      // Nothing after the count is read, so the missing atoms do not matter.
      {"n-above-capacity.xyz", "  max number of atoms -150000- exceeded \n",
       "  max number of atoms -150000 -exceeded \n"},
      {"n-zero.xyz", too_few + "  ERROR \n", too_few + "  ERROR \n"},
      {"n1-negative.xyz", too_few + "  ERROR \t\n", too_few + "  ERROR \t\n"},
      {"n1-equals-n.xyz", no_molecule_2, no_molecule_2},
      {"n1-above-n.xyz", no_molecule_2, no_molecule_2},
      // Molecule 2 with two atoms, then one: stopped as a too-large N1.
      {"n1-is-n-minus-2.xyz", too_few + "  ERROR \t\n", too_few + "  ERROR \t\n"},
      {"n1-is-n-minus-1.xyz", too_few + "  ERROR \t\n", too_few + "  ERROR \t\n"},
  };
  for (const Case& c : cases) {
    for (const Program& p : kBoth) {
      ScratchDir dir;
      const RunResult r = run_corpus(p, dir, c.file);
      const std::string& tail = p.is_builder ? c.builder_tail : c.analyzer_tail;
      EXPECT_EQ(r.status, 0) << p.name << " " << c.file;
      EXPECT_EQ(r.err, "") << p.name << " " << c.file;
      EXPECT_EQ(last_lines(r.out, split_lines(tail).size()), tail) << p.name << " " << c.file;
      EXPECT_EQ(dir.files(), std::vector<std::string>{p.input}) << p.name << " " << c.file;
    }
  }
  // The capacity message is the only output; the builder prints no banner
  // before any of its checks.
  ScratchDir dir;
  EXPECT_EQ(run_corpus(kAnalyzer, dir, "n-above-capacity.xyz").out,
            "  max number of atoms -150000- exceeded \n");
  EXPECT_EQ(run_corpus(kBuilder, dir, "n1-negative.xyz").out, too_few + "  ERROR \t\n");
}

TEST(HostileBuilderValues, UnreadableUserValuesAreOneMessageWithStatus2) {
  struct Case {
    const char* file;
    const char* message;
  };
  const Case cases[] = {
      {"ud-r-word.xyz", "23: expected r (Angstrom) (a finite number), got 'six'"},
      {"ud-theta-nan.xyz", "24: expected theta (degrees) (a finite number), got 'nan'"},
      {"ud-no-final-line.xyz", "30: file ends before the final line after gamma"},
      {"ud-ends-after-n1.xyz", "22: file ends before the line before r"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    const RunResult r = run_corpus(kBuilder, dir, c.file);
    EXPECT_EQ(r.out, "") << c.file;
    expect_read_error(kBuilder, dir, r, c.message, c.file);
  }
}

TEST(HostileBuilderValues, HugeValuesAreOutOfRangeNotWrappedAround) {
  ScratchDir theta_dir;
  RunResult r = run_corpus(kBuilder, theta_dir, "ud-theta-1e308.xyz");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> lines = split_lines(r.out);
  ASSERT_EQ(lines.size(), 4u) << r.out;
  EXPECT_EQ(lines[0], "  polar angle out of range. ");
  EXPECT_EQ(lines[3], "  program stopped");
  EXPECT_EQ(theta_dir.files(), std::vector<std::string>{kBuilder.input});

  // 1e308 Angstrom is a distance too long for a file name: no file at all.
  ScratchDir r_dir;
  r = run_corpus(kBuilder, r_dir, "ud-r-1e308.xyz");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(last_lines(r.out, 3),
            "  distance between molecules greater than \n  9999.9 Angstrons \n  name file error \n");
  EXPECT_EQ(r_dir.files(), std::vector<std::string>{kBuilder.input});
}

// Runs `file` and the ethanol dimer example it was made from in two
// directories and expects the same console output and the same files.
void expect_same_run_as_example(const Program& p, const std::string& file) {
  ScratchDir plain, variant;
  const RunResult a = run_text(p, plain, read_file(example("ethanol-dimer", "UD-input-GEOMETRY.xyz")));
  const RunResult b = run_corpus(p, variant, file);
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << p.name << " " << file << ": " << b.err;
  EXPECT_EQ(a.out, b.out) << p.name << " " << file;
  ASSERT_EQ(plain.files(), variant.files()) << p.name << " " << file;
  for (const std::string& name : plain.files()) {
    if (name != p.input) {
      EXPECT_EQ(read_file(plain / name), read_file(variant / name)) << p.name << " " << name;
    }
  }
}

TEST(HostileSpelling, FortranNumbersCrLfTabsCommasAndByteOrderMarkReadAsThePlainFile) {
  // 1.0D0, +.5, 5., 15E-1, .5d+00 ... spell the same doubles as the example.
  for (const Program& p : kBoth) {
    expect_same_run_as_example(p, "ethanol-fortran-numbers.xyz");
    expect_same_run_as_example(p, "ethanol-crlf-tabs.xyz");
    // A UTF-8 byte-order mark before N.
    expect_same_run_as_example(p, "ethanol-bom.xyz");
  }
}

TEST(HostileSpelling, TenMegabyteLinesAreReadOrRefusedInOneLine) {
  const std::string plain = read_file(example("ethanol-dimer", "UD-input-GEOMETRY.xyz"));
  const std::string huge(10 << 20, 'x');
  // A 10 MB comment after atom 1's z and a 10 MB caption line before r.
  std::string commented = plain;
  commented.insert(commented.find('\n', commented.find('\n') + 1), " " + huge);
  const size_t caption = commented.find("user-defined position");
  commented.replace(caption, commented.find('\n', caption) - caption, huge);
  for (const Program& p : kBoth) {
    ScratchDir a, b;
    const RunResult ra = run_text(p, a, plain);
    const RunResult rb = run_text(p, b, commented);
    ASSERT_EQ(rb.status, 0) << p.name << ": " << rb.err;
    EXPECT_EQ(ra.out, rb.out) << p.name;
    EXPECT_EQ(a.files(), b.files()) << p.name;
  }
  // 10 MB where the count should be: the message shows only the token's start.
  for (const Program& p : kBoth) {
    ScratchDir dir;
    const RunResult r = run_text(p, dir, huge + "\n");
    EXPECT_EQ(r.status, kExitIoError);
    EXPECT_EQ(r.err, std::string(p.name) + ": error: " + p.input +
                         ":1: expected the number of atoms N (a whole number), got '" +
                         std::string(40, 'x') + "...'\n");
  }
}

TEST(HostileLabels, NonAsciiAndNulLabelsActAsUnknownLabels) {
  for (const Program& p : kBoth) {
    ScratchDir unknown, non_ascii, nul;
    const RunResult u = run_corpus(p, unknown, "ethanol-unknown-label.xyz");
    const RunResult a = run_corpus(p, non_ascii, "ethanol-non-ascii-label.xyz");
    const RunResult z = run_corpus(p, nul, "ethanol-nul-label.xyz");
    ASSERT_EQ(u.status, 0) << u.err;
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(z.status, 0) << z.err;
    // The console never shows the labels: it is the same for every spelling.
    EXPECT_EQ(a.out, u.out) << p.name;
    EXPECT_EQ(z.out, u.out) << p.name;
    EXPECT_EQ(non_ascii.files(), unknown.files()) << p.name;
    EXPECT_EQ(nul.files(), unknown.files()) << p.name;
    EXPECT_TRUE(leftovers(non_ascii).empty() && leftovers(nul).empty());
  }
}

TEST(HostileLabels, MoleculeWithoutAnyKnownElementStopsBeforeAnyFile) {
  for (const Program& p : kBoth) {
    for (int molecule : {1, 2}) {
      ScratchDir dir;
      const std::string file = "ethanol-unknown-molecule-" + std::to_string(molecule) + ".xyz";
      const RunResult r = run_corpus(p, dir, file);
      EXPECT_EQ(r.status, 0) << p.name << " " << file;
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(last_lines(r.out, 1), "  molecule " + std::to_string(molecule) +
                                          " has no recognised element label \n")
          << p.name << " " << file;
      EXPECT_EQ(dir.files(), std::vector<std::string>{p.input}) << p.name << " " << file;
    }
  }
}

TEST(HostileGeometry, MoleculeOnOnePointIsSymmetricAndStops) {
  for (const Program& p : kBoth) {
    ScratchDir dir;
    const RunResult r = run_corpus(p, dir, "ethanol-molecule-1-on-one-point.xyz");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("\n  Molecule 1 is symmetric concerning \n"), std::string::npos) << r.out;
    EXPECT_EQ(last_lines(r.out, 4),
              std::string("   \n  program stopped\n  version: ") + p.version + " \n   \n");
    // Only the report, which ends with the stop lines.
    std::vector<std::string> expected{p.input, p.report};
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(dir.files(), expected);
    EXPECT_EQ(last_lines(read_file(dir / p.report), 1), "  rev.: ZE11 \n");
  }
}

TEST(HostileGeometry, OverflowingCoordinatesFailWithoutAHalfWrittenReport) {
  for (const Program& p : kBoth) {
    ScratchDir dir;
    const RunResult r = run_corpus(p, dir, "ethanol-huge-coordinate.xyz");
    EXPECT_EQ(r.status, kExitIoError);
    EXPECT_EQ(r.err, std::string(p.name) +
                         ": error: molecule 2: coordinates too large to analyse (the inertia "
                         "tensor is not finite)\n");
    EXPECT_EQ(dir.files(), std::vector<std::string>{p.input}) << p.name;
  }
}

TEST(HostileGeometry, SharedCentreGivesNoDirectionAndRoundTrips) {
  // r = 0 (and "-0.0", which is the same distance): no polar or azimuth
  // angle, every close pair is a short contact, and the analyzer finds the
  // user's Euler angles 45, 120, 300 again in the pair the builder wrote.
  for (const char* file : {"ud-r-zero.xyz", "ud-r-minus-zero.xyz"}) {
    ScratchDir dir;
    const RunResult built = run_corpus(kBuilder, dir, file);
    ASSERT_EQ(built.status, 0) << built.err;
    EXPECT_NE(built.out.find("\n    0.0 NAD  NAD \n"), std::string::npos) << built.out;
    EXPECT_NE(built.out.find("\n  found intermolecular dist <1.9 Angstrons\n"), std::string::npos);
    const std::vector<std::string> files = dir.files();
    for (const char* name : {"[0000.0-NAD-NAD]-(045-120-300)-SHORT-CONTACTS-IDENTIFED.xyz",
                             "[0000.0-NAD-NAD]-(045-120-300)-SHORT-CONTACTS-IDENTIFIED.bild"})
      EXPECT_TRUE(std::find(files.begin(), files.end(), name) != files.end()) << file << " " << name;

    const RunResult analysed = kAnalyzer.run(dir.path());
    ASSERT_EQ(analysed.status, 0) << analysed.err;
    EXPECT_NE(analysed.out.find("\n    0.0 NAD  NAD \n"), std::string::npos) << analysed.out;
    EXPECT_NE(analysed.out.find("\n  45 120 300\n"), std::string::npos) << analysed.out;
    EXPECT_TRUE(fs::exists(dir / "[0000.0-NAD-NAD]-(045-120-300)-KAVOR.xyz"));
  }
}

// The name of the geometry result file the program writes for the ethanol
// dimer example, found by a first run.
std::string result_file(const Program& p, const std::string& ending) {
  ScratchDir dir;
  run_text(p, dir, read_file(example("ethanol-dimer", "UD-input-GEOMETRY.xyz")));
  for (const std::string& name : dir.files())
    if (name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
      return name;
  return "";
}

TEST(HostileOutput, DirectoryUnderAResultNameIsOneMessageWithStatus2) {
  struct Case {
    const Program* program;
    std::string blocked;  // a directory under this name
  };
  const std::string analyzer_geometry = result_file(kAnalyzer, ")-KAVOR.xyz");
  const std::string analyzer_bild = result_file(kAnalyzer, ")-KAVOR-UCSF-Chimera.bild");
  const std::string builder_geometry = result_file(kBuilder, ")-SHORT-CONTACTS-IDENTIFED.xyz");
  ASSERT_FALSE(analyzer_geometry.empty() || analyzer_bild.empty() || builder_geometry.empty());
  const Case cases[] = {
      {&kAnalyzer, "LOG-PARAM-ONLY.txt"},
      {&kAnalyzer, analyzer_geometry},
      {&kAnalyzer, analyzer_bild},
      {&kBuilder, "UD-LOG-PARAM.txt"},
      {&kBuilder, "input-GEOMETRY.xyz"},
      {&kBuilder, builder_geometry},
  };
  for (const Case& c : cases) {
    const Program& p = *c.program;
    ScratchDir dir;
    fs::create_directory(dir / c.blocked);
    const RunResult r = run_text(p, dir, read_file(example("ethanol-dimer", "UD-input-GEOMETRY.xyz")));
    EXPECT_EQ(r.status, kExitIoError) << c.blocked;
    EXPECT_EQ(r.err, std::string(p.name) + ": error: cannot write '" + (dir.path() / c.blocked).string() +
                         "': Is a directory\n");
    // Nothing at all: no temporary file, no report, no result file, and no
    // new "input-GEOMETRY.xyz" from the builder.
    EXPECT_TRUE(leftovers(dir).empty()) << c.blocked;
    for (const std::string& name : dir.files())
      EXPECT_TRUE(name == p.input || name == c.blocked) << c.blocked << ": left " << name;
    EXPECT_TRUE(fs::is_directory(dir / c.blocked));
  }
}

// Runs the program in `dir` as the unprivileged user "nobody" when the tests
// run as root (root writes into read-only directories), in a child process.
// Returns false when the privileges cannot be dropped.
bool run_unprivileged(const Program& p, const ScratchDir& dir, RunResult& result) {
  if (::geteuid() != 0) {
    result = p.run(dir.path());
    return true;
  }
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::close(pipe_fds[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(77);
    const RunResult r = p.run(dir.path());
    if (::write(pipe_fds[1], r.err.data(), r.err.size()) < 0) ::_exit(78);
    ::_exit(r.status);
  }
  ::close(pipe_fds[1]);
  std::string message;
  char buffer[4096];
  for (ssize_t got; (got = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, got);
  ::close(pipe_fds[0]);
  int raw = 0;
  ::waitpid(child, &raw, 0);
  if (!WIFEXITED(raw) || WEXITSTATUS(raw) == 77) return false;
  result.status = WEXITSTATUS(raw);
  result.err = message;
  return true;
}

TEST(HostileOutput, ReadOnlyWorkingDirectoryIsOneMessageWithStatus2) {
  for (const Program& p : kBoth) {
    ScratchDir dir;
    write_file(dir / p.input, read_file(example("ethanol-dimer", "UD-input-GEOMETRY.xyz")));
    fs::permissions(dir / p.input, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    RunResult r;
    if (!run_unprivileged(p, dir, r)) GTEST_SKIP() << "running as root and cannot drop privileges";
    EXPECT_EQ(r.status, kExitIoError) << r.err;
    EXPECT_EQ(r.err, std::string(p.name) + ": error: cannot create '" + (dir.path() / p.report).string() +
                         "': Permission denied\n");
    EXPECT_EQ(dir.files(), std::vector<std::string>{p.input});
  }
}

TEST(HostileBinaries, ProgramsExitWithTheirStatusAndOneStderrLine) {
  // As separate processes: the exit status and the two streams as a shell sees them.
  for (const Program& p : kBoth) {
    ScratchDir dir;
    RunResult r = testing::run_binary(p.binary, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string(p.name) + ": error: " + p.input +
                         ": cannot open input file: No such file or directory\n");

    write_file(dir / p.input, read_file(kCorpus / "ethanol-crlf-tabs.xyz"));
    r = testing::run_binary(p.binary, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(leftovers(dir).empty());
  }
}

}  // namespace
}  // namespace kavor
