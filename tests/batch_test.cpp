// kavor-batch analyze against kavor itself: every row must hold what kavor
// computes for the same geometry (r to the bit, the whole degrees of its
// summary, the stem of its result files, its stop), whatever the input
// layout, the number of threads or the sharding.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "batch/table.hpp"
#include "builder/scan.hpp"
#include "core/analysis.hpp"
#include "test_util.hpp"

namespace kavor {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;

const std::string kBatch = KAVOR_BATCH_BINARY;
const std::string kTrajectoryScript = std::string(PROJECT_DIR) + "/bench/make_trajectory.py";

using Row = std::vector<std::string>;
enum Column { kSource, kFrame, kStatus, kR, kTheta, kPhi, kAlpha, kBeta, kGamma, kName, kMessage };

std::vector<Row> parse_table(const std::string& text) {
  std::vector<Row> rows;
  for (const std::string& line : testing::split_lines(text)) {
    Row row;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) row.push_back(field);
    if (!line.empty() && line.back() == '\t') row.push_back("");
    rows.push_back(row);
  }
  return rows;
}

// Rows without the header, each checked to have the 11 columns.
std::vector<Row> body(const std::string& text) {
  std::vector<Row> rows = parse_table(text);
  EXPECT_FALSE(rows.empty());
  if (rows.empty()) return rows;
  EXPECT_EQ(rows[0][kSource], "source");
  rows.erase(rows.begin());
  for (const Row& r : rows) EXPECT_EQ(r.size(), 11u) << r[0];
  return rows;
}

testing::RunResult batch(const std::string& args, const fs::path& dir) {
  return testing::run_command("'" + kBatch + "' " + args, dir);
}

void make_trajectory(const fs::path& path, const std::string& example, int frames, int seed) {
  const std::string command = "python3 '" + kTrajectoryScript + "' '" + EXAMPLES_DIR + "/" + example +
                              "' " + std::to_string(frames) + " " + std::to_string(seed) +
                              " --mixed > '" + path.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

// What kavor says about one input-GEOMETRY.xyz, read from its own outputs.
struct KavorView {
  bool ok = false;
  std::string console;  // joined lines
  double r = 0.0;       // the report's unrounded r
  std::string position, rotation;  // the summary's two value lines
  std::string stem;                // of its result files, with the ')'
};

KavorView run_kavor_on(const std::string& input) {
  ScratchDir dir;
  testing::write_file(dir / "input-GEOMETRY.xyz", input);
  const testing::RunResult run = testing::run_kavor(dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  KavorView view;
  view.console = join_console_lines(run.out);
  for (const std::string& f : dir.files())
    if (f.size() > 10 && f.compare(f.size() - 10, 10, "-KAVOR.xyz") == 0) {
      view.ok = true;
      view.stem = f.substr(0, f.size() - 10);
    }
  if (!view.ok) return view;
  const auto report = testing::read_lines(dir / "LOG-PARAM-ONLY.txt");
  for (const std::string& line : report)
    if (line.rfind("  r     ", 0) == 0) view.r = std::strtod(line.c_str() + 8, nullptr);
  const auto out = testing::split_lines(run.out);
  for (size_t i = 0; i + 2 < out.size(); ++i) {
    if (out[i].find("POSITION:") != std::string::npos) view.position = out[i + 2];
    if (out[i].find("ROTATION:") != std::string::npos) view.rotation = out[i + 2];
  }
  return view;
}

// The summary's value lines rebuilt from a row, as kavor prints them.
void expect_row_matches(const Row& row, const KavorView& kavor, const std::string& where) {
  SCOPED_TRACE(where);
  if (!kavor.ok) {
    EXPECT_NE(row[kStatus], "ok");
    EXPECT_FALSE(row[kMessage].empty());
    // kavor prints its banner first; the stop's text follows it.
    const std::string& c = kavor.console;
    EXPECT_EQ(c.substr(c.size() - std::min(c.size(), row[kMessage].size())), row[kMessage]);
    return;
  }
  ASSERT_EQ(row[kStatus], "ok") << row[kMessage];
  EXPECT_EQ(std::strtod(row[kR].c_str(), nullptr), kavor.r);  // to the bit
  EXPECT_EQ(row[kName], kavor.stem);
  auto whole = [](const std::string& field) { return std::lround(std::strtod(field.c_str(), nullptr)); };
  char rotation[32];
  std::snprintf(rotation, sizeof rotation, "%4ld%4ld%4ld", whole(row[kAlpha]), whole(row[kBeta]),
                whole(row[kGamma]));
  EXPECT_EQ(kavor.rotation, rotation);
  std::ostringstream position;
  char r_field[16];
  std::snprintf(r_field, sizeof r_field, "%7.1f", std::strtod(row[kR].c_str(), nullptr));
  position << r_field;
  if (row[kTheta].empty()) {
    EXPECT_TRUE(row[kPhi].empty());
    EXPECT_EQ(kavor.position, std::string(r_field) + "  NAD  NAD");
  } else if (row[kPhi].empty()) {
    char t[8];
    std::snprintf(t, sizeof t, "%4ld", whole(row[kTheta]));
    EXPECT_EQ(kavor.position, std::string(r_field) + t + "  NAD");
  } else {
    char tp[16];
    std::snprintf(tp, sizeof tp, "%4ld%4ld", whole(row[kTheta]), whole(row[kPhi]));
    EXPECT_EQ(kavor.position, std::string(r_field) + tp);
  }
}

// A standard XYZ frame written in kavor's layout with the given N1.
std::string programs_layout(const std::vector<std::string>& frame_lines, int n1) {
  std::string text = frame_lines[0] + "\n";
  for (size_t i = 2; i < frame_lines.size(); ++i) text += frame_lines[i] + "\n";
  return text + "\n" + std::to_string(n1) + "\n";
}

std::vector<std::vector<std::string>> split_frames(const std::string& xyz) {
  std::vector<std::vector<std::string>> frames;
  const auto lines = testing::split_lines(xyz);
  for (size_t i = 0; i < lines.size();) {
    const int n = std::stoi(lines[i]);
    frames.emplace_back(lines.begin() + i, lines.begin() + i + n + 2);
    i += n + 2;
  }
  return frames;
}

TEST(BatchAnalyze, EveryExampleAndItsDirectoryEqualKavor) {
  ScratchDir dir;
  std::string args;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(EXAMPLES_DIR))
    if (fs::exists(entry.path() / "input-GEOMETRY.xyz")) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) args += " '" + std::string(EXAMPLES_DIR) + "/" + name + "'";
  const auto run = batch("analyze" + args, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const auto rows = body(run.out);
  ASSERT_EQ(rows.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string input = testing::read_file(testing::example(names[i]));
    EXPECT_EQ(rows[i][kSource], std::string(EXAMPLES_DIR) + "/" + names[i] + "/input-GEOMETRY.xyz");
    expect_row_matches(rows[i], run_kavor_on(input), names[i]);
  }
}

// Each frame of a seeded trajectory (perturbed pairs, symmetric pairs,
// unknown labels, an interleaved split, shared centres) against kavor on the
// same frame, both with N1 given and found from the bonds.
TEST(BatchAnalyze, TrajectoryFramesEqualKavor) {
  ScratchDir dir;
  make_trajectory(dir / "t.xyz", "n-methylformamide-dimer", 30, 11);
  const auto frames = split_frames(testing::read_file(dir / "t.xyz"));
  for (const std::string n1 : {"9", "auto"}) {
    const auto run = batch("analyze --n1 " + n1 + " t.xyz", dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = body(run.out);
    ASSERT_EQ(rows.size(), frames.size());
    std::map<std::string, int> statuses;
    for (size_t k = 0; k < frames.size(); ++k) {
      const Row& row = rows[k];
      EXPECT_EQ(row[kFrame], std::to_string(k + 1));
      ++statuses[row[kStatus]];
      const std::string& kind = frames[k][1];
      if (n1 == "auto" && kind.find("interleaved") != std::string::npos) {
        EXPECT_EQ(row[kStatus], "n1_not_found");  // never a silent wrong split
        continue;
      }
      if (row[kStatus] == "n1_not_found") continue;
      const int frame_n1 = n1 == "9" || kind.find("symmetric") == std::string::npos ? 9 : 12;
      if (n1 == "auto" && kind.find("unknown-labels") != std::string::npos) {
        EXPECT_EQ(row[kStatus], "atom_counts");  // unknown atoms bond to nothing
        continue;
      }
      expect_row_matches(row, run_kavor_on(programs_layout(frames[k], frame_n1)),
                         "frame " + std::to_string(k + 1) + " " + kind + " --n1 " + n1);
    }
    EXPECT_GE(statuses["ok"], 12);
    EXPECT_GE(statuses["symmetric_both"], 3);
  }
}

// One set of frames through every door gives the same values, and threads
// and shards change nothing but the split of the work.
TEST(BatchAnalyze, LayoutsThreadsAndShardsAgree) {
  ScratchDir dir;
  make_trajectory(dir / "t.xyz", "ethanol-dimer", 40, 5);
  const auto frames = split_frames(testing::read_file(dir / "t.xyz"));
  std::string crlf;
  for (const auto& frame : frames)
    for (const std::string& line : frame) crlf += line + "\r\n";
  testing::write_file(dir / "crlf.xyz", crlf);
  fs::create_directory(dir / "pair");
  testing::write_file(dir / "pair" / "input-GEOMETRY.xyz", programs_layout(frames[0], 9));
  testing::write_file(dir / "first.txt", programs_layout(frames[0], 9));

  const auto whole = batch("analyze --n1 9 --jobs 1 t.xyz", dir.path());
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_EQ(batch("analyze --n1 9 --jobs 4 t.xyz", dir.path()).out, whole.out);
  const auto piped = batch("analyze --n1=9 - < crlf.xyz", dir.path());
  auto values = [](const std::string& table) {
    std::vector<Row> rows = body(table);
    for (Row& r : rows) r.erase(r.begin());  // the source column differs
    return rows;
  };
  EXPECT_EQ(values(piped.out), values(whole.out));

  std::string shards;
  for (const char* k : {"1/3", "2/3", "3/3"}) {
    const auto part = batch(std::string("analyze --n1 9 --shard ") + k + " t.xyz", dir.path());
    ASSERT_EQ(part.status, 0) << part.err;
    shards += part.out.substr(part.out.find('\n') + 1);
  }
  EXPECT_EQ(shards, whole.out.substr(whole.out.find('\n') + 1));

  // kavor's own layout, under its name, under another name and as a directory.
  const auto layouts = batch("analyze pair first.txt pair/input-GEOMETRY.xyz", dir.path());
  ASSERT_EQ(layouts.status, 0) << layouts.err;
  const auto rows = values(layouts.out);
  const Row first = values(whole.out)[0];
  ASSERT_EQ(rows.size(), 3u);
  for (const Row& r : rows) EXPECT_EQ(Row(r.begin() + 1, r.end()), Row(first.begin() + 1, first.end()));
}

TEST(BatchAnalyze, UnreadableInputsGiveOneLineEachAndTheRestIsComplete) {
  ScratchDir dir;
  make_trajectory(dir / "t.xyz", "glycine-dimer", 6, 3);
  std::string text = testing::read_file(dir / "t.xyz");
  testing::write_file(dir / "truncated.xyz", text.substr(0, text.size() - 40));
  std::string word = text;
  word.replace(word.find('\n', word.find('\n') + 1) + 4, 1, "x");  // a coordinate of frame 1
  testing::write_file(dir / "word.xyz", word);

  const auto run = batch("analyze --n1 10 -o table.tsv missing.xyz truncated.xyz word.xyz t.xyz", dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.out.empty());
  const auto errors = testing::split_lines(run.err);
  ASSERT_EQ(errors.size(), 3u) << run.err;
  EXPECT_NE(errors[0].find("missing.xyz: cannot open input file"), std::string::npos);
  EXPECT_NE(errors[1].find("truncated.xyz:"), std::string::npos);
  EXPECT_NE(errors[2].find("word.xyz:3: expected"), std::string::npos);

  const auto rows = body(testing::read_file(dir / "table.tsv"));
  std::map<std::string, std::vector<std::string>> by_source;
  for (const Row& r : rows) by_source[r[kSource]].push_back(r[kStatus]);
  EXPECT_EQ(by_source.count("missing.xyz"), 0u);
  ASSERT_EQ(by_source["truncated.xyz"].size(), 6u);  // five frames, then the cut one
  EXPECT_EQ(by_source["truncated.xyz"].back(), "unreadable");
  EXPECT_EQ(by_source["word.xyz"], std::vector<std::string>{"unreadable"});
  EXPECT_EQ(by_source["t.xyz"].size(), 6u);
  for (const std::string& name : dir.files()) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

}  // namespace
}  // namespace kavor

namespace kavor {
namespace {

// A pipe named by -o is written through, never replaced by a file (the same
// path as /dev/null, which must stay a device).
TEST(BatchAnalyze, PipeNamedByOutputIsWrittenNotReplaced) {
  ScratchDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  const auto run = testing::run_command("cat pipe > got.tsv & '" + kBatch + "' analyze -o pipe '" +
                                            std::string(EXAMPLES_DIR) + "/ethanol-dimer'; wait",
                                        dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
  const auto rows = body(testing::read_file(dir / "got.tsv"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][kStatus], "ok");
}

// The geometry block of an example's input-GEOMETRY.xyz (N, atoms, the
// ignored line, N1), ready for the six user values.
std::string geometry_block(const std::string& name) {
  const auto lines = testing::read_lines(testing::example(name));
  const int n = std::stoi(lines[0]);
  std::string text;
  for (int i = 0; i < n + 3; ++i) text += lines[i] + "\n";
  return text;
}

std::string number_text(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", v);
  return buffer;
}

struct Point {
  double v[6];
};

// Seeded points: ordinary ones, the range edges the builder nudges, values
// it refuses, short contacts (r 0 and 2) and a distance too long to name.
std::vector<Point> sample_points(unsigned seed, int ordinary) {
  std::vector<Point> points = {
      {{5.5, 0, 0, 0, 0, 0}},         {{5.5, 180, 360, 360, 180, 360}},
      {{0, 90, 90, 90, 90, 90}},      {{2.0, 45, 30, 10, 20, 30}},
      {{0.05, 10, 10, 10, 10, 10}},   {{4, 180.05, 359.6, 0.04, 0.4, 12}},
      {{-1, 90, 90, 90, 90, 90}},     {{4, 181, 90, 90, 90, 90}},
      {{4, 90, -0.5, 90, 90, 90}},    {{4, 90, 90, 90, 90, 361}},
      {{10000, 90, 90, 90, 90, 90}},  {{9999.9, 179.9, 10, 20, 179.95, 40}},
  };
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int k = 0; k < ordinary; ++k)
    points.push_back({{2.5 + 6 * unit(rng), 180 * unit(rng), 360 * unit(rng), 360 * unit(rng),
                       180 * unit(rng), 360 * unit(rng)}});
  return points;
}

// Every point of a table through kavor-batch build against ud-kavor run on
// the matching UD-input-GEOMETRY.xyz: the same files byte for byte (report
// included), the
// --xyz frame's coordinates as in ud-kavor's input-GEOMETRY.xyz, the same
// message for a refused point.
TEST(BatchBuild, PointsEqualUdKavor) {
  for (const std::string example : {"n-methylformamide-dimer", "ethanol-dimer", "formamide-dimer"}) {
    SCOPED_TRACE(example);
    ScratchDir dir;
    const std::vector<Point> points = sample_points(17, 10);
    std::string table = "# r theta phi alpha beta gamma\n";
    for (const Point& p : points) {
      for (int k = 0; k < 6; ++k) table += number_text(p.v[k]) + (k < 5 ? "\t" : "\n");
    }
    testing::write_file(dir / "points.tsv", table);
    const std::string block = geometry_block(example);
    testing::write_file(dir / "input-GEOMETRY.xyz", block);
    const auto run = batch(
        "build input-GEOMETRY.xyz --points points.tsv --dirs scan --reports --xyz scan.xyz -o index.tsv",
        dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = parse_table(testing::read_file(dir / "index.tsv"));
    ASSERT_EQ(rows.size(), points.size() + 1);
    const auto frames = split_frames(testing::read_file(dir / "scan.xyz"));
    size_t next_frame = 0;
    int placed = 0, refused = 0, contacts = 0;
    for (size_t k = 0; k < points.size(); ++k) {
      const Row& row = rows[k + 1];
      const std::string number = std::to_string(k + 1);
      SCOPED_TRACE("point " + number);
      ASSERT_EQ(row.size(), 12u);
      ScratchDir ud;
      std::string input = block + "user-defined position\n";
      for (int c = 0; c < 3; ++c) input += number_text(points[k].v[c]) + "\n";
      input += "user-defined Euler angles\n";
      for (int c = 3; c < 6; ++c) input += number_text(points[k].v[c]) + "\n";
      testing::write_file(ud / "UD-input-GEOMETRY.xyz", input + "end\n");
      const auto reference = testing::run_ud_kavor(ud.path());
      ASSERT_EQ(reference.status, 0);
      std::vector<std::string> expected = ud.files();
      std::erase(expected, "UD-input-GEOMETRY.xyz");
      const fs::path point_dir = dir / "scan" / (std::string(2 - number.size(), '0') + number);
      if (row[7] != "ok") {
        ++refused;
        EXPECT_TRUE(expected.empty());
        EXPECT_FALSE(fs::exists(point_dir));
        // The distance stop comes after ud-kavor's banner, the value checks before it.
        const std::string console = join_console_lines(reference.out);
        ASSERT_GE(console.size(), row[11].size());
        EXPECT_EQ(console.substr(console.size() - row[11].size()), row[11]);
        continue;
      }
      ++placed;
      contacts += row[9] != "0";
      std::vector<std::string> written;
      for (const auto& entry : fs::directory_iterator(point_dir)) written.push_back(entry.path().filename());
      std::sort(written.begin(), written.end());
      ASSERT_EQ(written, expected);
      for (const std::string& name : expected)
        EXPECT_EQ(testing::read_file(point_dir / name), testing::read_file(ud / name)) << name;
      EXPECT_EQ(row[8] + "-", expected[1].substr(0, row[8].size() + 1));  // after "UD-LOG-PARAM.txt"
      // The frame's coordinate text is the one of ud-kavor's new input file.
      ASSERT_LT(next_frame, frames.size());
      const auto& frame = frames[next_frame++];
      EXPECT_NE(frame[1].find(" point=" + number + " "), std::string::npos);
      const auto placed_lines = testing::read_lines(ud / "input-GEOMETRY.xyz");
      for (size_t a = 2; a < frame.size(); ++a) EXPECT_EQ(frame[a].substr(2), placed_lines[a].substr(2));
    }
    EXPECT_EQ(next_frame, frames.size());
    EXPECT_GE(placed, 12);
    EXPECT_GE(refused, 5);
    EXPECT_GE(contacts, 2);
  }
}

// A pair whose analysis stops (symmetric molecules, N1 out of range, a
// one-atom fragment, too many atoms) gives every point one row with the
// pair's stop and ud-kavor's message for the same input, and status 0.
TEST(BatchBuild, StoppedPairGivesEveryPointUdKavorsStop) {
  const std::string methanol = geometry_block("methanol-dimer");
  const auto atoms = testing::split_lines(methanol);  // N, 12 atoms, blank, N1
  std::string standard = "12\nstep 0\n";
  for (int i = 1; i <= 12; ++i) standard += atoms[i] + "\n";
  std::string big = "150001\n";
  for (int i = 0; i < 150001; ++i) big += "C " + std::to_string(i) + " 0 0\n";
  struct Case {
    std::string name, file, n1_option;
    int n1;  // N1 of the equivalent ud-kavor input
  };
  const std::vector<Case> cases = {
      {"benzene-dimer", geometry_block("benzene-dimer"), "", 0},
      {"formic-acid-dimer", geometry_block("formic-acid-dimer"), "", 0},
      {"uracil-dimer", geometry_block("uracil-dimer"), "", 0},
      {"formaldehyde-pyridine", geometry_block("formaldehyde-pyridine"), "", 0},
      {"n1 0", standard, "--n1 0", 0},
      {"n1 1", standard, "--n1 1", 1},
      {"n1 N-1", standard, "--n1 11", 11},
      {"n1 N", standard, "--n1 12", 12},
      {"one-atom fragment", "3\n\nO 0 0 0\nO 5 0 0\nH 5.9 0 0\n", "--n1 auto", 1},
      {"too many atoms", big + "\n1\n", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    testing::write_file(dir / "pair.xyz", c.file);
    const auto run = batch("build pair.xyz " + c.n1_option +
                               " --r 4:5:1 --theta 90 --phi 0 --alpha 0 --beta 90 --gamma 0 --xyz scan.xyz --dirs scan",
                           dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = parse_table(run.out);
    ASSERT_EQ(rows.size(), 3u);
    std::string input = c.file;
    if (c.n1_option.empty()) {
      input += "user-defined position\n";
    } else {  // the standard XYZ rebuilt in the programs' layout
      input = "";
      const auto lines = testing::split_lines(c.file);
      for (size_t i = 0; i < lines.size(); ++i)
        if (i != 1) input += lines[i] + "\n";
      input += "\n" + std::to_string(c.n1) + "\nuser-defined position\n";
    }
    ScratchDir ud;
    testing::write_file(ud / "UD-input-GEOMETRY.xyz",
                        input + "4\n90\n0\nuser-defined Euler angles\n0\n90\n0\nend\n");
    const auto reference = testing::run_ud_kavor(ud.path());
    ASSERT_EQ(reference.status, 0);
    const std::string console = join_console_lines(reference.out);
    for (size_t k = 1; k < rows.size(); ++k) {
      ASSERT_EQ(rows[k].size(), 12u);
      EXPECT_NE(rows[k][7], "ok");
      ASSERT_FALSE(rows[k][11].empty());
      ASSERT_GE(console.size(), rows[k][11].size());
      EXPECT_EQ(console.substr(console.size() - rows[k][11].size()), rows[k][11]);
    }
    EXPECT_TRUE(split_frames(testing::read_file(dir / "scan.xyz")).empty());
    EXPECT_FALSE(fs::exists(dir / "scan") && !fs::is_empty(dir / "scan"));
  }
}

// --skip-contacts keeps exactly the points whose shortest distance is above
// the filter's distance out of --xyz and --dirs, and shards of a grid
// concatenate to the whole index, in grid order (r outermost).
TEST(BatchBuild, ContactFilterAndShards) {
  ScratchDir dir;
  testing::write_file(dir / "input-GEOMETRY.xyz", geometry_block("methanol-dimer"));
  const std::string grid = " --r 1:7:1.5 --theta 0:180:45 --phi 30 --alpha 10 --beta 40:140:50 --gamma 0 ";
  const auto whole = batch("build input-GEOMETRY.xyz" + grid + "--skip-contacts --min-distance 2.5 "
                           "--xyz kept.xyz --dirs kept -o index.tsv",
                           dir.path());
  ASSERT_EQ(whole.status, 0) << whole.err;
  const auto rows = parse_table(testing::read_file(dir / "index.tsv"));
  ASSERT_EQ(rows.size(), 5u * 5u * 3u + 1u);
  std::vector<std::string> kept;
  for (size_t k = 1; k < rows.size(); ++k) {
    const Row& row = rows[k];
    ASSERT_EQ(row[7], "ok");
    // Point k is (r, theta, beta) = index k - 1 in nested order.
    const long index = static_cast<long>(k) - 1;
    EXPECT_EQ(std::strtod(row[1].c_str(), nullptr), 1 + 1.5 * static_cast<double>(index / 15));
    EXPECT_EQ(std::strtod(row[5].c_str(), nullptr), 40 + 50 * static_cast<double>(index % 3));
    const double nearest = std::strtod(row[10].c_str(), nullptr);
    if (nearest > 2.5) kept.push_back(std::string(2 - row[0].size(), '0') + row[0]);
    EXPECT_EQ(row[9] != "0", nearest <= kShortContact) << "point " << row[0];
  }
  ASSERT_FALSE(kept.empty());
  ASSERT_LT(kept.size(), rows.size() - 1);
  const auto frames = split_frames(testing::read_file(dir / "kept.xyz"));
  ASSERT_EQ(frames.size(), kept.size());
  std::vector<std::string> dirs;
  for (const auto& entry : fs::directory_iterator(dir / "kept")) dirs.push_back(entry.path().filename());
  std::sort(dirs.begin(), dirs.end());
  EXPECT_EQ(dirs, kept);
  for (size_t f = 0; f < frames.size(); ++f)
    EXPECT_NE(frames[f][1].find(" point=" + std::to_string(std::stoi(kept[f])) + " "), std::string::npos);

  std::string shards;
  for (const char* k : {"1/4", "2/4", "3/4", "4/4"}) {
    const auto part = batch(std::string("build input-GEOMETRY.xyz") + grid + "--shard " + k, dir.path());
    ASSERT_EQ(part.status, 0) << part.err;
    shards += part.out.substr(part.out.find('\n') + 1);
  }
  const std::string index = testing::read_file(dir / "index.tsv");
  EXPECT_EQ(shards, index.substr(index.find('\n') + 1));
}

// build --xyz, then analyze on that file: each placed point's parameters
// come back (whole degrees, r to 0.1 Angstrom) away from the rounding gates.
TEST(BatchBuild, RoundTripThroughAnalyze) {
  ScratchDir dir;
  testing::write_file(dir / "input-GEOMETRY.xyz", geometry_block("ethanol-dimer"));
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::string table;
  std::vector<Point> points;
  while (points.size() < 25) {
    Point p{{4 + 5 * unit(rng), 20 + 140 * unit(rng), 5 + 350 * unit(rng), 5 + 350 * unit(rng),
             20 + 140 * unit(rng), 5 + 350 * unit(rng)}};
    bool near_gate = std::fabs(p.v[0] * 10 - std::floor(p.v[0] * 10) - 0.5) > 0.4;
    for (int k = 1; k < 6; ++k) near_gate |= std::fabs(p.v[k] - std::floor(p.v[k]) - 0.5) < 0.1;
    if (near_gate) continue;
    points.push_back(p);
    for (int k = 0; k < 6; ++k) table += number_text(p.v[k]) + (k < 5 ? " " : "\n");
  }
  testing::write_file(dir / "points.txt", table);
  ASSERT_EQ(batch("build input-GEOMETRY.xyz --points points.txt --xyz scan.xyz -o index.tsv", dir.path()).status, 0);
  const auto run = batch("analyze --n1 9 scan.xyz", dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const auto rows = body(run.out);
  ASSERT_EQ(rows.size(), points.size());
  for (size_t k = 0; k < points.size(); ++k) {
    ASSERT_EQ(rows[k][kStatus], "ok") << rows[k][kMessage];
    EXPECT_NEAR(std::strtod(rows[k][kR].c_str(), nullptr), points[k].v[0], 0.05);
    for (int c = 1; c < 6; ++c)
      EXPECT_EQ(std::lround(std::strtod(rows[k][kR + c].c_str(), nullptr)) % 360,
                std::lround(points[k].v[c]) % 360)
          << "point " << k + 1 << " column " << c;
  }
}

}  // namespace
}  // namespace kavor


namespace kavor {
namespace {

// A pair too large for the one-by-one distance loop: the contact count and
// the shortest distance from the cell list equal those of every pair.
TEST(BatchBuild, LargePairContactsEqualEveryPairTested) {
  const auto lines = testing::read_lines(testing::example("n-methylformamide-dimer"));
  GeometryBlock block;
  block.n1 = 9;
  for (int i = 1; i <= 9; ++i) {
    std::istringstream in(lines[i]);
    std::string label;
    Atom a;
    in >> label >> a.x >> a.y >> a.z;
    block.isymbol.push_back(make_label(label));
    block.icoo_and_m.push_back(a);
  }
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> coordinate(-12.0, 12.0);
  for (int i = 0; i < 8000; ++i) {  // a random cloud, heavier on one side
    const double x = coordinate(rng), y = coordinate(rng), z = coordinate(rng);
    block.isymbol.push_back(make_label(x > 6 && y > 0 ? "O" : "C"));
    block.icoo_and_m.push_back(Atom{x + 30.0, y, z});
  }
  block.n = static_cast<int>(block.icoo_and_m.size());
  PlacementBase base(block);
  ASSERT_EQ(base.status(), Status::ok) << base.message();
  PlacedPoint point;
  int with_contacts = 0;
  // Molecule 2 indexed for each point, then once for all of them.
  for (const bool prepared : {false, true}) {
    if (prepared) base.prepare_contacts(3.0);
    for (const double r : {0.0, 8.0, 14.0, 20.0, 40.0}) {
      place_point(base, UserValues{r, 70, 30, 40, 50, 60}, point, PlaceOptions{true, 3.0});
      ASSERT_EQ(point.status, Status::ok);
      int contacts = 0;
      double nearest = 1e300;
      std::vector<ContactPair> pairs;
      for (int i = 0; i < 9; ++i)
        for (int k = 9; k < block.n; ++k) {
          const Atom& a = point.atoms[i];
          const Atom& b = point.atoms[k];
          const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
          const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
          nearest = std::min(nearest, d);
          if (d <= kShortContact) pairs.push_back({i, k, d});
        }
      contacts = static_cast<int>(pairs.size());
      with_contacts += contacts > 0;
      EXPECT_EQ(point.contacts, contacts) << "r " << r;
      ASSERT_EQ(point.contact_pairs.size(), pairs.size());
      for (size_t p = 0; p < pairs.size(); ++p) {
        EXPECT_EQ(point.contact_pairs[p].i, pairs[p].i);
        EXPECT_EQ(point.contact_pairs[p].k, pairs[p].k);
        EXPECT_EQ(point.contact_pairs[p].d, pairs[p].d);
      }
      if (nearest <= 3.0) EXPECT_EQ(point.min_distance, nearest) << "r " << r;
      else EXPECT_TRUE(std::isnan(point.min_distance)) << "r " << r;
    }
  }
  EXPECT_GE(with_contacts, 4);
}

}  // namespace
}  // namespace kavor

namespace kavor {
namespace {

// Command lines the batch must refuse (status 2, one usage line naming the
// fault) or take, each run in a folder holding a pair, a short trajectory,
// a point table and a FIFO that no one writes (a refusal must not wait on it).
TEST(BatchArguments, RefusalsAndAcceptedSpellings) {
  ScratchDir dir;
  make_trajectory(dir / "t.xyz", "methanol-dimer", 4, 2);
  testing::write_file(dir / "input-GEOMETRY.xyz", geometry_block("ethanol-dimer"));
  testing::write_file(dir / "points.txt", "4 90 0 0 90 0\n5 45 30 10 20 30\n");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const std::string grid = " --r 4 --theta 90 --phi 0 --alpha 0 --beta 90 --gamma 0";
  struct Case {
    std::string args;
    int status;
    std::string err;  // a part of standard error ("" for none at all)
  };
  const Case cases[] = {
      {"analyze --jobs 4294967296 t.xyz", 2, "--jobs takes a whole number from 1 to 1024"},
      {"analyze --jobs 4294967297 t.xyz", 2, "--jobs takes"},
      {"analyze --jobs 2147483648 t.xyz", 2, "--jobs takes"},
      {"analyze --jobs 99999 t.xyz", 2, "--jobs takes"},
      {"analyze --n1 4294967305 t.xyz", 2, "--n1 takes a whole number from 0 to 2147483647"},
      {"analyze --n1 2147483648 t.xyz", 2, "--n1 takes"},
      {"analyze --n1 6 --jobs 2 -j 3 t.xyz", 2, "option --jobs given twice"},
      {"analyze --n1 6 t.xyz -o a.tsv --output=b.tsv", 2, "option --output given twice"},
      {"analyze t.xyz --n1", 2, "--n1 needs a value"},
      {"analyze t.xyz --bogus", 2, "unknown option --bogus"},
      {"analyze --version=2 t.xyz", 2, "--version takes no value"},
      // A FIFO no one writes to: refused before it is opened, never waited on.
      {"timeout 20 '" + kBatch + "' analyze --n1 6 --shard 1/2 fifo", 2, "'fifo' is a pipe or a device"},
      {"cat t.xyz | '" + kBatch + "' analyze --n1 6 --shard 1/2 /dev/stdin", 2, "is a pipe or a device"},
      {"cat points.txt | '" + kBatch + "' build input-GEOMETRY.xyz --points /dev/stdin --shard 2/2", 2,
       "'/dev/stdin' is a pipe or a device"},
      {"timeout 20 '" + kBatch + "' build input-GEOMETRY.xyz --points fifo --dirs d", 2,
       "'fifo' is a pipe or a device"},
      {"build input-GEOMETRY.xyz" + grid + " --xyz f -o f", 2, "would be written to one place"},
      {"build input-GEOMETRY.xyz" + grid + " --xyz ./f -o f", 2, "would be written to one place"},
      {"build input-GEOMETRY.xyz" + grid + " --xyz -", 2, "would be written to one place"},
      {"build input-GEOMETRY.xyz" + grid + " --xyz /dev/stdout", 2, "would be written to one place"},
      {"--help > /dev/full", 2, "cannot write to standard output: No space left on device"},
      {"analyze --version > /dev/full", 2, "cannot write to standard output: No space left on device"},
      {"analyze input-GEOMETRY.xyz -o /dev/full", 2, "cannot write the table: No space left on device"},
      // Taken: --version in a command, "--" before an operand that starts
      // with '-', a point table on a pipe read once, /dev/null twice.
      {"analyze --version", 0, ""},
      {"analyze -- -input.xyz", 2, "-input.xyz: cannot open input file"},
      {"cat points.txt | '" + kBatch + "' build input-GEOMETRY.xyz --points /dev/stdin", 0, ""},
      {"build input-GEOMETRY.xyz" + grid + " --xyz /dev/null -o /dev/null", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const bool command = c.args.find(kBatch) != std::string::npos;
    const auto run = command ? testing::run_command(c.args, dir.path()) : batch(c.args, dir.path());
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.err.empty()) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    if (c.status == 2 && c.err.find("cannot open") == std::string::npos) {
      EXPECT_EQ(run.out, "");
    }
  }
  EXPECT_FALSE(fs::exists(dir / "f"));
  // The point table read once from a pipe gives the rows of the file.
  const auto piped = testing::run_command(
      "cat points.txt | '" + kBatch + "' build input-GEOMETRY.xyz --points /dev/stdin", dir.path());
  EXPECT_EQ(piped.out, batch("build input-GEOMETRY.xyz --points points.txt", dir.path()).out);
}

// Error lines of a chunk: an identical line once, with its count; the
// progress line is wiped before an error line is written.
TEST(BatchArguments, MessagesAreCountedAndClearTheProgressLine) {
  batch::ErrorLines errors;
  for (const char* line : {"a: full", "b: full", "a: full", "a: full"}) errors.add(line);
  std::ostringstream text;
  errors.write(text, "points");
  EXPECT_EQ(text.str(), "kavor-batch: error: a: full (3 points)\nkavor-batch: error: b: full\n");

  std::FILE* terminal = std::tmpfile();
  ASSERT_NE(terminal, nullptr);
  batch::Progress progress("frames", terminal);
  progress.clear();  // nothing shown: nothing to wipe
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  progress.advance(7);
  progress.clear();
  std::rewind(terminal);
  char buffer[256] = {};
  const size_t size = std::fread(buffer, 1, sizeof buffer - 1, terminal);
  std::fclose(terminal);
  const std::string shown(buffer, size);
  EXPECT_EQ(shown.rfind("\r7 frames, ", 0), 0u) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 4), "\r\x1b[K");
}

}  // namespace
}  // namespace kavor

namespace kavor {
namespace {

// The table read back by Python's csv module, strictly as UTF-8: the fields
// of each row, one row a line, joined by '|'; or the decoding error.
std::string read_as_csv(const fs::path& table) {
  ScratchDir dir;
  testing::write_file(dir / "read.py",
                      "import csv, sys\n"
                      "with open(sys.argv[1], encoding='utf-8', errors='strict', newline='') as f:\n"
                      "    for row in csv.reader(f, delimiter='\\t'):\n"
                      "        print(len(row), '|'.join(row[:3]))\n");
  return testing::run_command("python3 read.py '" + table.string() + "' 2>&1", dir.path()).out;
}

// Inputs that must be read as what they are: XYZ comment lines that read
// as atoms, a file in kavor's layout that would also read as XYZ, lines too
// long for any geometry file, bytes that are not UTF-8 and a file name that
// starts with a double quote.
TEST(BatchInputs, LayoutsLongLinesAndTextThatIsNotUtf8) {
  ScratchDir dir;
  make_trajectory(dir / "t.xyz", "ethanol-dimer", 6, 4);
  const auto frames = split_frames(testing::read_file(dir / "t.xyz"));
  std::string commented;
  const char* comments[] = {"step 1 0.5 -40.2", "t 1 2 3", "H 0 0 0"};
  for (size_t k = 0; k < frames.size(); ++k) {
    commented += frames[k][0] + "\n" + comments[k % 3] + "\n";
    for (size_t i = 2; i < frames[k].size(); ++i) commented += frames[k][i] + "\n";
  }
  testing::write_file(dir / "c.xyz", commented);
  const auto plain = batch("analyze --n1 9 t.xyz", dir.path());
  ASSERT_EQ(plain.status, 0) << plain.err;
  auto values = [](const std::string& table) {
    std::vector<Row> rows = body(table);
    for (Row& r : rows) r.erase(r.begin());
    return rows;
  };
  for (const std::string n1 : {"--n1 9 ", "--n1=9 --format auto "}) {
    const auto run = batch("analyze " + n1 + "c.xyz", dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(values(run.out), values(plain.out)) << n1;
  }
  const auto no_n1 = batch("analyze c.xyz", dir.path());  // read as XYZ, so N1 is missing
  EXPECT_EQ(no_n1.status, 2);
  EXPECT_NE(no_n1.err.find("c.xyz: standard XYZ carries no N1"), std::string::npos) << no_n1.err;

  // kavor's layout whose unread line holds an atom: taken as kavor's, said so.
  std::string block = programs_layout(frames[0], 9);
  block.replace(block.find("\n\n"), 2, "\nX 0 0 0\n");
  testing::write_file(dir / "both.txt", block);
  const auto both = batch("analyze both.txt", dir.path());
  EXPECT_EQ(both.status, 0);
  EXPECT_NE(both.err.find("kavor-batch: note: both.txt: read in kavor's layout"), std::string::npos);
  EXPECT_EQ(values(both.out), std::vector<Row>{values(plain.out)[0]});

  // A line past the bound ends its file with an unreadable row; the next
  // file is read whole.
  testing::write_file(dir / "long.xyz", "3\n" + std::string(100000, 'a') + "\n");
  const auto long_lines = testing::run_command(
      "timeout 60 '" + kBatch + "' analyze --n1 9 -o long.tsv long.xyz /dev/zero t.xyz", dir.path());
  EXPECT_EQ(long_lines.status, 2);
  EXPECT_EQ(testing::split_lines(long_lines.err).size(), 2u) << long_lines.err;
  EXPECT_NE(long_lines.err.find("long.xyz:2: line longer than 65536 bytes"), std::string::npos);
  const auto rows = body(testing::read_file(dir / "long.tsv"));
  ASSERT_EQ(rows.size(), 2 + frames.size());
  EXPECT_EQ(rows[0][kStatus], "unreadable");
  EXPECT_EQ(rows[1][kSource] + " " + rows[1][kStatus], "/dev/zero unreadable");

  // Bytes that are not UTF-8 in a coordinate, a character across the cut
  // of a quoted token, a source whose name starts with '"'.
  const std::string cut = std::string(39, '1') + "\xc3\xa9\xc3\xa9";  // 'é' over bytes 40 and 41
  for (const auto& [name, coordinate] : {std::pair<std::string, std::string>{"bytes.xyz", "\xff\xfe"},
                                          {"cut.xyz", cut},
                                          {"\"quoted.xyz", "1.0x"}}) {
    std::vector<std::string> lines = frames[0];
    lines[2] = "C " + coordinate + " 0 0";  // x of atom 1
    std::string frame;
    for (const std::string& l : lines) frame += l + "\n";
    testing::write_file(dir / name, frame);
  }
  const auto text = batch("analyze --n1 9 --format xyz -o text.tsv bytes.xyz cut.xyz '\"quoted.xyz'", dir.path());
  EXPECT_EQ(text.status, 2);
  EXPECT_EQ(read_as_csv(dir / "text.tsv"),
            "11 source|frame|status\n11 bytes.xyz|1|unreadable\n11 cut.xyz|1|unreadable\n"
            "11 \"quoted.xyz|1|unreadable\n");
  const std::string table = testing::read_file(dir / "text.tsv");
  EXPECT_NE(table.find("got '\\xff\\xfe'"), std::string::npos) << table;
  EXPECT_NE(table.find("got '" + std::string(39, '1') + "...'"), std::string::npos) << table;
}

// Shards of inputs longer than the counting pass's marks (a share starts
// reading at the mark before it) concatenate to the whole table, also
// around an unreadable frame that ends a file and a file that is missing.
TEST(BatchInputs, ShardsOfLongFilesConcatenateAroundUnreadableFrames) {
  ScratchDir dir;
  make_trajectory(dir / "long.xyz", "methanol-dimer", 5000, 8);
  const auto frames = split_frames(testing::read_file(dir / "long.xyz"));
  ASSERT_EQ(frames.size(), 5000u);
  std::string bad;
  for (size_t k = 0; k < frames.size(); ++k)
    for (size_t i = 0; i < frames[k].size(); ++i)
      bad += (k == 4600 && i == 3 ? "C 0 x 0" : frames[k][i]) + "\n";  // atom 2 of frame 4601
  testing::write_file(dir / "bad.xyz", bad);
  const std::string inputs = " long.xyz missing.xyz bad.xyz";
  const auto whole = batch("analyze --n1 6" + inputs, dir.path());
  ASSERT_EQ(whole.status, 2);
  ASSERT_EQ(body(whole.out).size(), 5000u + 4601u);
  std::string shards;
  for (const char* k : {"1/7", "2/7", "3/7", "4/7", "5/7", "6/7", "7/7"}) {  // 4/7 starts at frame 4115
    const auto part = batch(std::string("analyze --n1 6 --shard ") + k + inputs, dir.path());
    EXPECT_EQ(part.status, 2);
    EXPECT_EQ(part.err, whole.err) << k;  // every shard names every fault once
    shards += part.out.substr(part.out.find('\n') + 1);
  }
  EXPECT_EQ(shards, whole.out.substr(whole.out.find('\n') + 1));
}

}  // namespace
}  // namespace kavor
