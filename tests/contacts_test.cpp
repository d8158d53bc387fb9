// Intermolecular short contacts of a placed pair: which pairs count, the order
// and text of their blocks, and the file names they select.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "builder/contacts.hpp"
#include "test_util.hpp"

namespace kavor {

static bool operator==(const ContactPair& a, const ContactPair& b) {
  return a.i == b.i && a.k == b.k && a.d == b.d;
}

namespace testing {
namespace {

namespace fs = std::filesystem;

Atom at(double x, double y, double z) { return Atom{x, y, z, 1.0, 1.0}; }

std::string pairs_text(const std::vector<ContactPair>& pairs) {
  std::string text;
  char buffer[96];
  for (const ContactPair& p : pairs) {
    std::snprintf(buffer, sizeof buffer, "(%d,%d,%.17g) ", p.i, p.k, p.d);
    text += buffer;
  }
  return text;
}

void expect_both_find(const AtomTable& atoms, int n1, const std::vector<ContactPair>& expected) {
  const int n = static_cast<int>(atoms.size());
  EXPECT_EQ(find_short_contacts_plain(atoms, n, n1), expected)
      << pairs_text(find_short_contacts_plain(atoms, n, n1));
  EXPECT_EQ(find_short_contacts(atoms, n, n1), expected) << pairs_text(find_short_contacts(atoms, n, n1));
}

TEST(ShortContacts, ThresholdIsSinglePrecisionOnePointNine) {
  EXPECT_EQ(kShortContact, static_cast<double>(1.9f));
  EXPECT_LT(kShortContact, 1.9);
}

TEST(ShortContacts, PairAtThresholdCountsAndPairAtDoubleOnePointNineDoesNot) {
  // Along one axis the distance is exactly the coordinate difference.
  const AtomTable atoms = {at(0, 0, 0), at(100, 0, 0), at(kShortContact, 0, 0), at(100, 1.9, 0)};
  expect_both_find(atoms, 2, {{0, 2, kShortContact}});
}

TEST(ShortContacts, PairsComeMoleculeOneAtomFirst) {
  // Molecule 1: atoms 0, 1; molecule 2: atoms 2, 3, 4. Intramolecular pairs
  // (0-1 at 1.0 Angstrom) never count.
  const AtomTable atoms = {at(0, 0, 0),   at(1, 0, 0),  at(10, 0, 0),
                           at(1, 1.5, 0), at(0, 0, 1.2)};
  expect_both_find(atoms, 2, {{0, 3, std::sqrt(1.0 + 2.25)}, {0, 4, 1.2}, {1, 3, 1.5},
                              {1, 4, std::sqrt(1.0 + 1.44)}});
}

TEST(ShortContacts, CellListAgreesWithPlainLoop) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> box(-6.0, 6.0);
  std::uniform_real_distribution<double> far(-3e6, 3e6);
  std::uniform_int_distribution<int> pick(0, 9);
  std::uniform_int_distribution<int> cell(-4, 4);
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE(trial);
    const int n1 = 20 + trial, n = n1 + 60;
    AtomTable atoms;
    for (int i = 0; i < n; ++i) {
      const int kind = pick(rng);
      if (kind == 0) {
        atoms.push_back(at(far(rng), far(rng), box(rng)));  // spread far apart
      } else if (kind == 1 && !atoms.empty()) {
        // Exactly at the threshold from an earlier atom, along one axis.
        Atom a = atoms[std::uniform_int_distribution<size_t>(0, atoms.size() - 1)(rng)];
        (pick(rng) < 5 ? a.y : a.z) += kShortContact;
        atoms.push_back(a);
      } else if (kind == 2) {
        atoms.push_back(at(2.0 * cell(rng), 2.0 * cell(rng), 2.0 * cell(rng)));  // on cell faces
      } else {
        atoms.push_back(at(box(rng), box(rng), box(rng)));
      }
    }
    const std::vector<ContactPair> plain = find_short_contacts_plain(atoms, n, n1);
    EXPECT_EQ(find_short_contacts(atoms, n, n1), plain);
    EXPECT_FALSE(plain.empty());
    // Other thresholds, below and above the cell width, against the plain loop.
    for (double threshold : {0.7, kShortContact, 2.5, 4.25}) {
      std::vector<ContactPair> expected, visited;
      for (int i = 0; i < n1; ++i)
        for (int k = n1; k < n; ++k) {
          const double dx = atoms[i].x - atoms[k].x, dy = atoms[i].y - atoms[k].y,
                       dz = atoms[i].z - atoms[k].z;
          const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
          if (d <= threshold) expected.push_back({i, k, d});
        }
      for_each_short_contact(atoms, n, n1, threshold,
                             [&visited](const ContactPair& p) { visited.push_back(p); });
      EXPECT_EQ(visited, expected) << "threshold " << threshold;
    }
  }
}

// --- whole builder runs -----------------------------------------------------

const std::string kCheck = "  CHECK THE SUPRAMOLECULAR SYSTEM  ";

RunResult build_fixture(const ScratchDir& dir, const std::string& fixture) {
  fs::copy_file(fs::path(TEST_DATA_DIR) / "builder" / fixture, dir / "UD-input-GEOMETRY.xyz");
  return run_ud_kavor(dir.path());
}

struct PlacedPair {
  std::vector<std::string> labels;
  std::vector<std::array<double, 3>> p;
  int n1 = 0;
};

// Labels from the builder input, placed coordinates from the builder's
// "input-GEOMETRY.xyz".
PlacedPair read_pair(const ScratchDir& dir) {
  PlacedPair pair;
  const std::vector<std::string> input = read_lines(dir / "UD-input-GEOMETRY.xyz");
  const std::vector<std::string> placed = read_lines(dir / "input-GEOMETRY.xyz");
  const int n = std::stoi(placed.at(0));
  for (int i = 0; i < n; ++i) {
    char label[8] = {};
    std::sscanf(input.at(i + 1).c_str(), "%7s", label);
    pair.labels.push_back(label);
    std::array<double, 3> q;
    std::sscanf(placed.at(i + 2).c_str() + 2, "%lf %lf %lf", &q[0], &q[1], &q[2]);
    pair.p.push_back(q);
  }
  pair.n1 = std::stoi(placed.at(n + 3));
  return pair;
}

// Pair lines "(A2,I6,A4,A2,I6,A,F7.3)" of every short intermolecular pair,
// in scan order, computed from the placed coordinates.
std::vector<std::string> expected_pair_lines(const PlacedPair& pair) {
  std::vector<std::string> lines;
  for (int i = 0; i < pair.n1; ++i)
    for (size_t k = pair.n1; k < pair.p.size(); ++k) {
      double d2 = 0.0;
      for (int j = 0; j < 3; ++j) d2 += (pair.p[i][j] - pair.p[k][j]) * (pair.p[i][j] - pair.p[k][j]);
      if (std::sqrt(d2) > kShortContact) continue;
      char line[64];
      std::snprintf(line, sizeof line, "%-2s%6d .. %-2s%6zu dist:%7.3f", pair.labels[i].c_str(), i + 1,
                    pair.labels[k].c_str(), k + 1, std::sqrt(d2));
      lines.push_back(line);
    }
  return lines;
}

size_t index_of(const std::vector<std::string>& lines, const std::string& wanted) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == wanted) return i;
  return lines.size();
}

size_t index_containing(const std::vector<std::string>& lines, const std::string& wanted) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].find(wanted) != std::string::npos) return i;
  return lines.size();
}

TEST(ShortContactRun, NoShortPairKeepsUserDefinedNames) {
  ScratchDir dir;
  // The coincident-centre fixture's geometry block with r = 8 Angstrom.
  std::string input = read_file(fs::path(TEST_DATA_DIR) / "builder/formamide-coincident.xyz");
  input.replace(input.find("\n0.0\n"), 5, "\n8.0\n");
  write_file(dir / "UD-input-GEOMETRY.xyz", input);
  const RunResult result = run_ud_kavor(dir.path());
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(expected_pair_lines(read_pair(dir)).empty());
  EXPECT_EQ(result.out.find("CHECK THE SUPRAMOLECULAR SYSTEM"), std::string::npos);
  EXPECT_EQ(read_file(dir / "UD-LOG-PARAM.txt").find("intermolecular"), std::string::npos);
  EXPECT_EQ(dir.files(),
            (std::vector<std::string>{"UD-LOG-PARAM.txt", "UD-input-GEOMETRY.xyz",
                                      "[0008.0-090-045]-(030-060-090)-UD-KAVOR-UCSF-Chimera.bild",
                                      "[0008.0-090-045]-(030-060-090)-UD-KAVOR.xyz",
                                      "input-GEOMETRY.xyz"}));
}

TEST(ShortContactRun, TwoShortPairsGiveTwoBlocksInScanOrder) {
  ScratchDir dir;
  const RunResult result = build_fixture(dir, "formamide-two-contacts.xyz");
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> pairs = expected_pair_lines(read_pair(dir));
  ASSERT_EQ(pairs.size(), 2u) << "the fixture is meant to place exactly two pairs below 1.9 A";

  std::vector<std::string> console_blocks, report_blocks;
  for (const std::string& pair : pairs) {
    for (const std::string& line : {kCheck, std::string("  intermolecular dist <1.9 Angstrons"), pair,
                                    std::string("   "), std::string("   "), std::string("   "),
                                    std::string("  >>>>   CHECK THE SUPRAMOLECULAR SYSTEM"),
                                    std::string("  found intermolecular dist <1.9 Angstrons")})
      console_blocks.push_back(line);
    for (const std::string& line : {std::string("  intermolecular distance "),
                                    std::string("  smaller than 1.9 Angstrons"), kCheck, pair})
      report_blocks.push_back(line);
  }
  const std::vector<std::string> out = split_lines(result.out);
  const size_t first = index_of(out, kCheck);
  ASSERT_LE(first + console_blocks.size(), out.size()) << result.out;
  EXPECT_EQ(std::vector<std::string>(out.begin() + first, out.begin() + first + console_blocks.size()),
            console_blocks);

  const std::vector<std::string> report = read_lines(dir / "UD-LOG-PARAM.txt");
  const size_t start = index_of(report, "  intermolecular distance ");
  ASSERT_LE(start + report_blocks.size(), report.size());
  EXPECT_EQ(std::vector<std::string>(report.begin() + start, report.begin() + start + report_blocks.size()),
            report_blocks);
  EXPECT_GT(start, index_containing(report, "CHANGING POSITION ACCORDING TO USER"));
  EXPECT_LT(start, index_containing(report, "USER-DEFINED PARAMETERS APPLIED"));

  const std::string stem = "[0002.0-016-169]-(207-097-225";
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"UD-LOG-PARAM.txt", "UD-input-GEOMETRY.xyz",
                                                   stem + ")-SHORT-CONTACTS-IDENTIFED.xyz",
                                                   stem + ")-SHORT-CONTACTS-IDENTIFIED.bild",
                                                   "input-GEOMETRY.xyz"}));
}

TEST(ShortContactRun, CoincidentCentresOfSimilarMoleculesWriteShortContactFiles) {
  ScratchDir dir;
  const RunResult result = build_fixture(dir, "formamide-coincident.xyz");
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> pairs = expected_pair_lines(read_pair(dir));
  EXPECT_GT(pairs.size(), 2u);
  const std::vector<std::string> out = split_lines(result.out);
  size_t blocks = 0;
  for (const std::string& line : out) blocks += line == "  >>>>   CHECK THE SUPRAMOLECULAR SYSTEM";
  EXPECT_EQ(blocks, pairs.size());
  const std::string stem = "[0000.0-NAD-NAD]-(030-060-090";
  EXPECT_TRUE(fs::exists(dir / (stem + ")-SHORT-CONTACTS-IDENTIFED.xyz")));
  EXPECT_TRUE(fs::exists(dir / (stem + ")-SHORT-CONTACTS-IDENTIFIED.bild")));
  EXPECT_FALSE(fs::exists(dir / (stem + ")-UD-KAVOR.xyz")));
  // The geometry file under the short-contact name holds the placed pair.
  const std::vector<std::string> geometry = read_lines(dir / (stem + ")-SHORT-CONTACTS-IDENTIFED.xyz"));
  const std::vector<std::string> placed = read_lines(dir / "input-GEOMETRY.xyz");
  ASSERT_EQ(geometry.size(), 14u);
  for (size_t i = 2; i < geometry.size(); ++i) EXPECT_EQ(geometry[i], placed[i]);
}

}  // namespace
}  // namespace testing
}  // namespace kavor
