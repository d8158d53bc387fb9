// Molecular frames: direction flags from the higher-Z-CM, the symmetric
// molecule stop, orientation of the axes and the right-handed frames.
#include "core/frames.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/elements.hpp"
#include "core/errors.hpp"
#include "core/geometry_input.hpp"
#include "core/inertia.hpp"
#include "core/param.hpp"
#include "test_util.hpp"

namespace kavor {
namespace {

using testing::read_lines;
using testing::ScratchDir;
using testing::split_lines;

Vec3 add(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 scale(double s, const Vec3& a) { return {s * a.x, s * a.y, s * a.z}; }
double length(const Vec3& v) { return std::sqrt(dot(v, v)); }
bool same(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
double angle_deg(const Vec3& a, const Vec3& b) {
  return std::acos(std::clamp(dot(a, b) / (length(a) * length(b)), -1.0, 1.0)) * 180.0 / M_PI;
}

// Frame xyz of molecule 1 is z = P1, y = P2, x = P3 (minus CM1); frame XYZ
// of molecule 2 is Y = P4, X = P5, Z = P6 (minus CM2). Returns det[x y z].
double handedness(const PairAxes& st, int m) {
  const Vec3& c = st.cm[m];
  if (m == 0)
    return dot(cross(sub(st.endpoints[2], c), sub(st.endpoints[1], c)), sub(st.endpoints[0], c));
  return dot(cross(sub(st.endpoints[4], c), sub(st.endpoints[3], c)), sub(st.endpoints[5], c));
}

// One pass's molecules, end-point table and flags with a report open, for
// driving the frame steps by hand.
struct Frames {
  ScratchDir dir;
  std::ostringstream console;
  Session session{console, dir.path(), Mode::analyzer};
  std::array<MoleculeInertia, 2> mol;
  PairAxes axes;
  DirectionFlags flags;
  int pass = 0;
  size_t header_lines = 0;

  Frames() {
    open_report(session);
    session.report.file()->commit();
    header_lines = read_lines(dir / "LOG-PARAM-ONLY.txt").size();
    open_report(session);  // a fresh file; the header is written again
  }
  // Molecule m's centre and its three unit axes e1, e2, e3.
  void set_axes(int m, const Vec3& cm, const std::array<Vec3, 3>& e) {
    axes.cm[m] = cm;
    for (int j = 0; j < 3; ++j) axes.endpoints[3 * m + j] = add(cm, e[j]);
  }
  // Molecule m's heaviest group (Z 17) centred at h; usable or not.
  void set_higher_z(int m, const Vec3& h, bool usable) {
    mol[m].z_high = 17;
    mol[m].groups.present[17] = true;
    mol[m].groups.centre[17] = h;
    mol[m].groups.usable[17] = usable;
  }
  // The steps as a pass runs them, each written up in the report.
  void set_direction_flags() {
    flags = direction_flags(mol, axes);
    write_direction_flags(session.report, flags, pass, Mode::analyzer);
  }
  void orient_axes() {
    if (pass == 0)
      if (const Status status = symmetry_status(flags); status != Status::ok)
        stop_symmetric(session, flags, status);
    const PairAxes oriented = oriented_axes(axes, flags);
    write_orientation(session.report, axes, oriented, flags);
    axes = oriented;
    flags.sense.fill(1);
  }
  void assemble_right_handed() {
    const RightHandedFrames frames = right_handed(axes, flags);
    write_right_handed(session.report, frames);
    axes = frames.axes;
  }
  // Report lines written after the header.
  std::vector<std::string> log() {
    session.report.file()->commit();
    auto lines = read_lines(dir / "LOG-PARAM-ONLY.txt");
    return std::vector<std::string>(lines.begin() + static_cast<long>(header_lines), lines.end());
  }
};

double number_after(const std::string& line, const std::string& text) {
  EXPECT_EQ(line.rfind(" " + text, 0), 0u) << "'" << line << "' should start with '" << text << "'";
  return std::stod(line.substr(text.size() + 1));
}

std::vector<long> flags_on(const std::string& line, int k) {
  const std::string text = " eigenvector " + std::to_string(k) + " flags:  ";
  EXPECT_EQ(line.rfind(text, 0), 0u) << line;
  std::istringstream in(line.substr(text.size()));
  std::vector<long> v;
  long x;
  while (in >> x) v.push_back(x);
  return v;
}

size_t index_of(const std::vector<std::string>& lines, const std::string& text, size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i] == text) return i;
  return lines.size();
}

const std::array<Vec3, 3> kUnit = {Vec3{1, 0, 0}, Vec3{0, 1, 0}, Vec3{0, 0, 1}};

TEST(DirectionFlags, TowardsAwayAndPerpendicularAxes) {
  Frames f;
  // Molecule 1: higher-Z-CM 2 A along +x; e1 points at it, e2 and e3 are
  // perpendicular to it.
  f.set_axes(0, {1, 2, 3}, kUnit);
  f.set_higher_z(0, {3, 2, 3}, true);
  // Molecule 2: higher-Z-CM 3 A along -z; e1 = +z points straight away.
  f.set_axes(1, {-4, 0, 1}, {Vec3{0, 0, 1}, Vec3{1, 0, 0}, Vec3{0, 1, 0}});
  f.set_higher_z(1, {-4, 0, -2}, true);
  f.set_direction_flags();

  const double d[6] = {10, 0, 0, 10, 0, 0};
  const double s[6] = {1, 1, 1, -1, 1, 1};
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(f.flags.distinguishable[k] ? 10 : 0, d[k]) << k;
    EXPECT_EQ(f.flags.sense[k], s[k]) << k;
  }

  const auto log = f.log();
  const std::vector<std::string> threshold = {"   ",
                                              "    ",
                                              "    ",
                                              "  VALOR EMPREGADO COM REFERENCIA  ",
                                              "  PARA ATRIBUICAO DE Y or N  ",
                                              "  diferenca detectavel : "};
  ASSERT_EQ(log.size(), 51u);
  for (size_t i = 0; i < threshold.size(); ++i) EXPECT_EQ(log[i], threshold[i]) << i;
  EXPECT_EQ(std::stod(log[6]), 10.0);
  EXPECT_TRUE(log[6].ends_with(" DEGREE ")) << log[6];
  EXPECT_EQ(log[7], "    ");
  EXPECT_EQ(log[8], "    ");

  // Molecule header, then per axis: plus record, " ", minus record, " ".
  const std::string plus[6] = {"angle eigen 1 (z) ref ", "angle eigen 2 (y) ref ",
                               "angle eigen 3 (x) ref ", "angle eigen 1 (Y) ref ",
                               "angle eigen 2 (X) ref ", "angle eigen 3 (Z) ref "};
  const std::string minus[6] = {"angle -eigen 1(z) ref ",  "angle -eigen 2 (y) ref ",
                                "angle -eigen 3 (x) ref ", "angle -eigen 1 (Y) ref ",
                                "angle -eigen 2 (X) ref ", "angle -eigen 3 (Z) ref "};
  const double theta_plus[6] = {0.0, 90.0, 90.0, 180.0, 90.0, 90.0};
  size_t i = 9;
  for (int m = 0; m < 2; ++m) {
    EXPECT_EQ(log[i++], "  ");
    EXPECT_EQ(log[i++], m == 0 ? "  MOLECULE 1" : "  MOLECULE 2");
    EXPECT_EQ(log[i++], "  ");
    for (int j = 0; j < 3; ++j) {
      const int k = 3 * m + j;
      EXPECT_NEAR(number_after(log[i++], " " + plus[k]), theta_plus[k], 1e-12) << k;
      EXPECT_EQ(log[i++], "  ");
      EXPECT_NEAR(number_after(log[i++], " " + minus[k]), 180.0 - theta_plus[k], 1e-12) << k;
      if (k != 5) {
        EXPECT_EQ(log[i++], "  ");
      }
    }
  }
  // Not the second pass: no "ajusted direction table" lines.
  const std::vector<std::string> table = {
      "   ", "  DIRECTION FLAG TABLE ", "   ",
      "  distinguishable-AXIS FLAG                           and RELATIVE postiiton TO "
      "HIGHER-Z-CM FLAG ",
      "   "};
  for (const std::string& line : table) EXPECT_EQ(log[i++], line);
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(flags_on(log[i++], k + 1), (std::vector<long>{std::lround(d[k]), std::lround(s[k])}));
    if (k == 2 || k == 5) {
      EXPECT_EQ(log[i++], "  ");
    }
  }
  EXPECT_EQ(i, log.size());
}

TEST(DirectionFlags, DifferenceMustExceedTenDegrees) {
  // The difference theta_plus - theta_minus is a multiple of 2^-52 rad
  // (both angles lie in [1, 2) rad), and no such multiple converts to
  // exactly 10.0 degrees; these two axes give the neighbouring values.
  auto delta_deg = [](const Vec3& e) {
    const double pi = 3.141592653589793;
    const double c = e.x / std::pow(e.x * e.x + e.y * e.y + e.z * e.z, 0.5);
    return std::fabs(std::acos(c) - std::acos(-c)) * 180.0 / pi;
  };
  const Vec3 below{-0.08715574274765811, 0.99619469809174555, 0.0};
  const Vec3 above{-0.087155742747658235, 0.99619469809174555, 0.0};
  ASSERT_LT(delta_deg(below), 10.0);
  ASSERT_GT(delta_deg(above), 10.0);
  ASSERT_LT(delta_deg(above), 10.000000000000005);

  Frames f;
  f.set_axes(0, {0, 0, 0}, {below, Vec3{0, 0, 1}, above});
  f.set_higher_z(0, {1, 0, 0}, true);
  f.set_axes(1, {0, 0, 0}, kUnit);
  f.set_higher_z(1, {0, 0, 0}, false);
  f.set_direction_flags();
  EXPECT_FALSE(f.flags.distinguishable[0]);
  EXPECT_EQ(f.flags.sense[0], 1);
  EXPECT_TRUE(f.flags.distinguishable[2]);
  EXPECT_EQ(f.flags.sense[2], -1);  // 95 degrees: points away
}

// Without a report the flags of clear cases are judged without the angles:
// the same flags as from the angles, around 90 degrees (where the limit of
// 10 degrees lies) and everywhere else, for random axes and centres.
TEST(DirectionFlags, SameWithoutTheAngles) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  auto vector = [&] { return Vec3{unit(random), unit(random), unit(random)}; };
  for (int trial = 0; trial < 20000; ++trial) {
    std::array<MoleculeInertia, 2> mol;
    PairAxes axes;
    for (int m = 0; m < 2; ++m) {
      axes.cm[m] = vector();
      const Vec3 h = vector();
      mol[m].z_high = 17;
      mol[m].groups.present[17] = mol[m].groups.usable[17] = true;
      mol[m].groups.centre[17] = add(axes.cm[m], h);
      for (int j = 0; j < 3; ++j) {
        // Half of the axes at 80 to 100 degrees from the higher-Z-CM.
        Vec3 e = vector();
        if (trial % 2 == 0) {
          const Vec3 across = cross(h, e);
          const double tilt = (10.0 * unit(random)) * M_PI / 180.0;
          e = add(scale(std::cos(tilt) / length(across), across), scale(std::sin(tilt) / length(h), h));
        }
        axes.endpoints[3 * m + j] = add(axes.cm[m], e);
      }
    }
    const DirectionFlags full = direction_flags(mol, axes, true);
    const DirectionFlags quick = direction_flags(mol, axes, false);
    ASSERT_EQ(quick.distinguishable, full.distinguishable) << trial;
    ASSERT_EQ(quick.sense, full.sense) << trial;
    ASSERT_EQ(quick.judged, full.judged) << trial;
  }
}

TEST(DirectionFlags, HeavyAtomAtTheCentreWritesNoMoleculeSection) {
  Frames f;
  f.set_axes(0, {0, 0, 0}, kUnit);
  f.set_higher_z(0, {0.05, 0, 0}, false);
  f.set_axes(1, {5, 5, 5}, kUnit);
  f.set_higher_z(1, {6, 6, 5}, true);
  f.pass = 1;
  f.set_direction_flags();
  const auto log = f.log();
  EXPECT_EQ(index_of(log, "  MOLECULE 1"), log.size());
  EXPECT_LT(index_of(log, "  MOLECULE 2"), log.size());
  // 45 degrees to x and y: both distinguishable, z perpendicular.
  const size_t table = index_of(log, "  DIRECTION FLAG TABLE ");
  ASSERT_EQ(table + 12, log.size());
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(flags_on(log[table + 4 + k], k + 1), (std::vector<long>{0, 1}));
  EXPECT_EQ(flags_on(log[table + 8], 4), (std::vector<long>{10, 1}));
  EXPECT_EQ(flags_on(log[table + 9], 5), (std::vector<long>{10, 1}));
  EXPECT_EQ(flags_on(log[table + 10], 6), (std::vector<long>{0, 1}));
  // Second pass: the three "ajusted direction table" lines come first.
  EXPECT_EQ(log[table - 4], "  ----------------------------");
  EXPECT_EQ(log[table - 3], "  ajusted direction table ");
  EXPECT_EQ(log[table - 2], "  ----------------------------");
  EXPECT_EQ(log[table - 1], "   ");
}

// Expected lines of the symmetric-molecule message for molecule m on the
// console or in the report.
std::vector<std::string> symmetric_message(int m, bool console) {
  const std::string system = m == 0    ? "  a unique xyz system, "
                             : console ? "  a unique XYZ reference system, "
                                       : "  a unique ZYZ reference system, ";
  return {
      "     ",
      "     ",
      m == 0 ? "  Molecule 1 is symmetric concerning " : "  Molecule 2 is symmetric concerning ",
      "  evaluation of a particular axis of inertia ",
      "  It is not possible to undoubtedly define ",
      system,
      "  based on the higher-Z-CM procedure.",
      "  Such issue is under investigation at TESKAL ",
      "  The program cannot proceed ",
      "     ",
      "     "};
}

std::vector<std::string> stop_lines(bool console) {
  return {"   ", "  program stopped", "  version: KAVOR 1.13.10 ",
          console ? "   " : "  rev.: ZE11 "};
}

TEST(SymmetricMoleculeStop, FirstPassStopsBelowTwoDistinguishableAxes) {
  struct Case {
    std::array<double, 6> d;
    bool stop1, stop2;
  };
  const Case cases[] = {
      {{10, 0, 0, 10, 10, 0}, true, false},  // sum 10 stops
      {{10, 10, 0, 0, 0, 0}, false, true},      {{0, 0, 0, 0, 10, 0}, true, true},
      {{0, 10, 10, 10, 0, 10}, false, false},  // sums 20 pass
      {{10, 10, 10, 10, 10, 10}, false, false},
  };
  for (const Case& c : cases) {
    Frames f;
    f.set_axes(0, {0, 0, 0}, kUnit);
    f.set_axes(1, {1, 1, 1}, kUnit);
    for (int k = 0; k < 6; ++k) {
      f.flags.distinguishable[k] = c.d[k] == 10;
      f.flags.sense[k] = 1;
    }
    std::vector<std::string> out, log;
    for (int m = 0; m < 2; ++m) {
      if (!(m == 0 ? c.stop1 : c.stop2)) continue;
      for (const auto& line : symmetric_message(m, true)) out.push_back(line);
      for (const auto& line : symmetric_message(m, false)) log.push_back(line);
    }
    if (c.stop1 || c.stop2) {
      EXPECT_THROW(f.orient_axes(), ProgramStop);
      for (const auto& line : stop_lines(true)) out.push_back(line);
      for (const auto& line : stop_lines(false)) log.push_back(line);
      EXPECT_EQ(split_lines(f.console.str()), out);
      EXPECT_EQ(f.log(), log);
    } else {
      EXPECT_NO_THROW(f.orient_axes());
      EXPECT_EQ(f.console.str(), "");
      EXPECT_EQ(flag_sum(f.flags, 0), std::lround(c.d[0] + c.d[1] + c.d[2]));
      EXPECT_EQ(flag_sum(f.flags, 1), std::lround(c.d[3] + c.d[4] + c.d[5]));
    }
  }
}

TEST(SymmetricMoleculeStop, LaterPassesDoNotStop) {
  for (int pass : {1, 2}) {
    Frames f;
    f.set_axes(0, {0, 0, 0}, kUnit);
    f.set_axes(1, {1, 1, 1}, kUnit);
    f.pass = pass;
    f.flags.distinguishable = {false, false, false, true, false, false};
    f.flags.sense = {1, 1, 1, 1, 1, 1};
    EXPECT_NO_THROW(f.orient_axes());
    EXPECT_EQ(f.console.str(), "");
  }
}

TEST(SymmetricMoleculeStop, ProgramRunsStopWithExitZeroAndNoResultFile) {
  const std::filesystem::path data = std::filesystem::path(TEST_DATA_DIR) / "frames";
  struct Case {
    const char* fixture;
    bool stop1, stop2;
  };
  for (const Case c :
       {Case{"methane-formamide.xyz", true, false}, Case{"formamide-methane.xyz", false, true},
        Case{"methane-pair.xyz", true, true}}) {
    ScratchDir dir;
    std::filesystem::copy_file(data / c.fixture, dir / "input-GEOMETRY.xyz");
    const testing::RunResult r = testing::run_kavor(dir.path());
    EXPECT_EQ(r.status, 0) << c.fixture << r.err;
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"LOG-PARAM-ONLY.txt", "input-GEOMETRY.xyz"}));
    std::vector<std::string> out, log;
    for (int m = 0; m < 2; ++m) {
      if (!(m == 0 ? c.stop1 : c.stop2)) continue;
      for (const auto& line : symmetric_message(m, true)) out.push_back(line);
      for (const auto& line : symmetric_message(m, false)) log.push_back(line);
    }
    for (const auto& line : stop_lines(true)) out.push_back(line);
    for (const auto& line : stop_lines(false)) log.push_back(line);
    const auto console = split_lines(r.out);
    ASSERT_EQ(console.size(), 9 + out.size()) << c.fixture;  // banner, message, stop lines
    EXPECT_EQ(std::vector<std::string>(console.begin() + 9, console.end()), out) << c.fixture;
    const auto report = read_lines(dir / "LOG-PARAM-ONLY.txt");
    ASSERT_GT(report.size(), log.size());
    EXPECT_EQ(std::vector<std::string>(report.end() - static_cast<long>(log.size()), report.end()),
              log)
        << c.fixture;
    // The stop comes right after the flag table of the first pass.
    EXPECT_EQ(report[report.size() - log.size() - 1], "  ");
    EXPECT_EQ(index_of(report, "  escrita de eigenvectors ANTES DE ANALISE Z-HIGHER-CM"),
              report.size());
  }
}

TEST(AxisOrientation, ReversesOnlyAxesPointingAway) {
  Frames f;
  f.set_axes(0, {1, 2, 3}, kUnit);
  f.set_axes(1, {-1, 0.5, 2}, {Vec3{0, 1, 0}, Vec3{0, 0, 1}, Vec3{1, 0, 0}});
  f.flags.distinguishable = {true, true, false, true, false, true};
  f.flags.sense = {-1, 1, 1, 1, 1, -1};
  const auto before = f.axes.endpoints;
  f.orient_axes();
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(f.flags.sense[k], 1) << k;
    const Vec3& c = f.axes.cm[k < 3 ? 0 : 1];
    if (k == 0 || k == 5) {
      const Vec3 reflected = sub(c, sub(before[k], c));
      EXPECT_TRUE(same(f.axes.endpoints[k], reflected)) << k;
    } else {
      EXPECT_TRUE(same(f.axes.endpoints[k], before[k])) << k;
    }
  }
  EXPECT_EQ(f.axes.endpoints[0].x, 0.0);  // 1 - 1

  const auto log = f.log();
  const std::string equals(41, '=');
  const char* labels[6] = {"  7 ", " 17 ", "  8 ", "  7 ", " 17 ", "  8 "};
  for (int dump = 0; dump < 2; ++dump) {
    const size_t at = static_cast<size_t>(dump) * 9;
    ASSERT_LT(at + 8, log.size());
    EXPECT_EQ(log[at], " " + equals);
    EXPECT_EQ(log[at + 1], dump == 0 ? " escrita de eigenvectors ANTES DE ANALISE Z-HIGHER-CM"
                                     : " escrita de eigenvectors apos ANALISE Z-HIGHER-CM");
    for (int k = 0; k < 6; ++k) {
      const std::string& line = log[at + 2 + k];
      ASSERT_EQ(line.rfind(labels[k], 0), 0u) << line;
      std::istringstream in(line.substr(4));
      Vec3 p;
      in >> p.x >> p.y >> p.z;
      const Vec3& want = dump == 0 ? before[k] : f.axes.endpoints[k];
      EXPECT_TRUE(same(p, want)) << line;
    }
    EXPECT_EQ(log[at + 8], " " + equals);
  }
  const std::vector<std::string> adjusted = {"   ",
                                             "  ----------------------------",
                                             "  Logo apos analise - ajusted direction table ",
                                             "  ----------------------------",
                                             "   ",
                                             "   ",
                                             "  DIRECTION FLAG TABLE ",
                                             "   ",
                                             "  distinguishable-AXIS FLAG  ",
                                             "  and RELATIVE postiiton TO HIGHER-Z-CM FLAG ",
                                             "   "};
  ASSERT_EQ(log.size(), 18 + adjusted.size() + 8);
  for (size_t i = 0; i < adjusted.size(); ++i) EXPECT_EQ(log[18 + i], adjusted[i]) << i;
  size_t i = 18 + adjusted.size();
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(flags_on(log[i++], k + 1),
              (std::vector<long>{(f.flags.distinguishable[k] ? 10L : 0L), 1}));
    if (k == 2 || k == 5) {
      EXPECT_EQ(log[i++], "  ");
    }
  }
}

// The eight flag patterns of one molecule (eigenvectors 1, 2, 3; Y = 10),
// with the end point each case may reverse and the header it writes.
struct Pattern {
  std::array<double, 3> d;
  int u1, u2;  // index of the end point u: molecule 1 (0..2), molecule 2 (3..5)
  const char* header1;
  const char* header2;
};
const Pattern kPatterns[8] = {
    {{0, 0, 0},
     kAxis_x,
     kAxis_Z,
     " ANALISE E MONTAGEM xyz right-handed N N N ",
     " ANALISE E MONTAGEM XYZ right-handed N N N "},
    {{10, 10, 10},
     kAxis_x,
     kAxis_Y,
     " ANALISE E MONTAGEM xyz right-handed Y Y Y ",
     " ANALISE E MONTAGEM XYZ right-handed Y Y Y  "},
    {{10, 10, 0},
     kAxis_x,
     kAxis_Z,
     " ANALISE E MONTAGEM xyz right-handed Y Y N ",
     " ANALISE E MONTAGEM XYZ right-handed Y Y N  "},
    {{10, 0, 10},
     kAxis_y,
     kAxis_X,
     " ANALISE E MONTAGEM xyz right-handed Y N Y ",
     " ANALISE E MONTAGEM XYZright-handed Y N Y   "},
    {{0, 10, 10},
     kAxis_z,
     kAxis_Y,
     " ANALISE E MONTAGEM xyz right-handed N Y Y ",
     " ANALISE E MONTAGEM XYZ right-handed N Y Y   "},
    {{10, 0, 0},
     kAxis_x,
     kAxis_Z,
     " ANALISE E MONTAGEM xyz right-handed Y N N  ",
     " ANALISE E MONTAGEM XYZ right-handed Y N N     "},
    {{0, 10, 0},
     kAxis_x,
     kAxis_Z,
     " ANALISE E MONTAGEM xyz right-handed N Y N  ",
     " ANALISE E MONTAGEM XYZ right-handed N Y N      "},
    {{0, 0, 10},
     kAxis_y,
     kAxis_X,
     " ANALISE E MONTAGEM xyz right-handed N N Y   ",
     " ANALISE E MONTAGEM XYZ right-handed N N Y       "},
};

// A random right-handed orthonormal frame (columns of a rotation).
std::array<Vec3, 3> random_frame(std::mt19937& rng) {
  std::normal_distribution<double> g;
  Vec3 a{g(rng), g(rng), g(rng)};
  a = scale(1.0 / length(a), a);
  Vec3 b{g(rng), g(rng), g(rng)};
  b = sub(b, scale(dot(a, b), a));
  b = scale(1.0 / length(b), b);
  return {a, b, cross(a, b)};
}

// Sets molecule m's end points from a frame x, y, z (X, Y, Z), flipping the
// axis at end-point index `flip` (-1: none) to make it left-handed.
void place_frame(PairAxes& st, int m, const Vec3& cm, const std::array<Vec3, 3>& f, int flip) {
  st.cm[m] = cm;
  // End-point order: molecule 1 z, y, x; molecule 2 Y, X, Z.
  const Vec3 axes[3] = {m == 0 ? f[2] : f[1], m == 0 ? f[1] : f[0], m == 0 ? f[0] : f[2]};
  for (int j = 0; j < 3; ++j) {
    const int k = 3 * m + j;
    st.endpoints[k] = add(cm, k == flip ? neg(axes[j]) : axes[j]);
  }
}

// The dot products t and t' that one case writes, in log order.
std::vector<std::pair<double, double>> dot_records(const std::vector<std::string>& log) {
  std::vector<std::pair<double, double>> out;
  for (size_t i = 0; i + 2 < log.size(); ++i) {
    if (log[i].rfind(" dotprodct n.dot.", 0) != 0) continue;
    const size_t a = log[i].find("actual");
    const size_t b = log[i + 2].find("after analysis ");
    EXPECT_NE(b, std::string::npos) << log[i + 2];
    out.emplace_back(std::stod(log[i].substr(a + 6)), std::stod(log[i + 2].substr(b + 15)));
  }
  return out;
}

TEST(RightHandedFrames, EverySixteenCasesReversesExactlyItsAxisU) {
  std::mt19937 rng(20240611);
  for (int p = 0; p < 8; ++p) {
    const Pattern& pat = kPatterns[p];
    // flip: -1 right-handed input; 0..2 one axis of each molecule reversed.
    for (int flip = -1; flip < 3; ++flip) {
      Frames f;
      const auto frame1 = random_frame(rng), frame2 = random_frame(rng);
      place_frame(f.axes, 0, {0.3, -1.2, 2.5}, frame1, flip < 0 ? -1 : flip);
      place_frame(f.axes, 1, {-3.0, 4.0, 0.75}, frame2, flip < 0 ? -1 : 3 + flip);
      for (int j = 0; j < 3; ++j)
        f.flags.distinguishable[j] = f.flags.distinguishable[3 + j] = pat.d[j] == 10;
      const auto before = f.axes.endpoints;
      const bool left = flip >= 0;
      EXPECT_EQ(handedness(f.axes, 0) < 0, left);
      f.assemble_right_handed();

      for (int k = 0; k < 6; ++k) {
        const bool is_u = k == pat.u1 || k == pat.u2;
        const Vec3& c = f.axes.cm[k < 3 ? 0 : 1];
        const Vec3 expected = left && is_u ? sub(c, sub(before[k], c)) : before[k];
        EXPECT_TRUE(same(f.axes.endpoints[k], expected))
            << "pattern " << p << " flip " << flip << " k " << k;
      }
      EXPECT_NEAR(handedness(f.axes, 0), 1.0, 1e-12) << p;
      EXPECT_NEAR(handedness(f.axes, 1), 1.0, 1e-12) << p;

      const auto log = f.log();
      const size_t h1 = index_of(log, " " + std::string(pat.header1));
      const size_t h2 = index_of(log, " " + std::string(pat.header2));
      ASSERT_LT(h1, h2) << p;  // molecule 1's case is written first
      ASSERT_LT(h2, log.size()) << p;
      EXPECT_EQ(log[h1 + 2], "  molecule 1 ");
      EXPECT_EQ(log[h2 + 2], "  molecule 2 ");
      const auto dots = dot_records(log);
      ASSERT_EQ(dots.size(), 2u) << p;
      for (const auto& [t, t_after] : dots) {
        EXPECT_NEAR(std::fabs(t), 1.0, 1e-12);
        // The reflected end point is CM - (P - CM): -u to rounding.
        EXPECT_NEAR(t_after, left ? -t : t, 1e-14) << p;
      }
    }
  }
}

TEST(RightHandedFrames, CaseRecordsFollowTheirLayout) {
  // Molecule 1 Y N Y (case 7: x cross z, dotted with y) and molecule 2
  // N N Y (case 16, with its one-blank "actual" text), both left-handed.
  Frames f;
  place_frame(f.axes, 0, {0, 0, 0}, kUnit, kAxis_y);
  place_frame(f.axes, 1, {1, 0, 0}, kUnit, kAxis_X);
  f.flags.distinguishable = {true, false, true, false, false, true};
  f.assemble_right_handed();
  const std::string stars = " " + std::string(44, '*');
  const auto log = f.log();
  const std::vector<std::string> texts1 = {stars,
                                           "  ANALISE E MONTAGEM xyz right-handed Y N Y ",
                                           "   ",
                                           "  molecule 1 ",
                                           "   ",
                                           "  modulo x ",
                                           "  modulo z ",
                                           "   ",
                                           "   ",
                                           "  verificacao - cenario atual x -cross product- z ",
                                           "  modulo n ",
                                           "  modulo y ",
                                           " dotprodct n.dot.y  actual",
                                           "  expected for xyz right-handed: negative value",
                                           " dotproduct n.dot.y after analysis ",
                                           stars};
  const std::vector<std::string> texts2 = {stars,
                                           "  ANALISE E MONTAGEM XYZ right-handed N N Y       ",
                                           "   ",
                                           "  molecule 2 ",
                                           "   ",
                                           "  modulo Z ",
                                           "  modulo Y ",
                                           "   ",
                                           "   ",
                                           "  verificacao - cenario atual Z -cross product- Y ",
                                           "  modulo n ",
                                           "  modulo X ",
                                           " dotprodct n.dot.X actual",
                                           "  expected for ref. XYZ right-handed: negative value",
                                           " dotproduct n.dot.X after analysis ",
                                           stars};
  // Records 6, 7, 11, 12, 13 and 15 carry a number after the text.
  const std::array<bool, 16> numbered = {false, false, false, false, false, true,  true, false,
                                         false, false, true,  true,  true,  false, true, false};
  ASSERT_GE(log.size(), 32u);
  for (int c = 0; c < 2; ++c) {
    const auto& texts = c == 0 ? texts1 : texts2;
    for (size_t i = 0; i < 16; ++i) {
      const std::string& line = log[16 * c + i];
      if (numbered[i]) {
        ASSERT_EQ(line.rfind(texts[i], 0), 0u) << line;
        EXPECT_NEAR(std::fabs(std::stod(line.substr(texts[i].size()))), 1.0, 1e-15) << line;
      } else {
        EXPECT_EQ(line, texts[i]);
      }
    }
  }
  // Data section follows.
  EXPECT_EQ(log[32], "   ");
  const std::vector<std::string> tail_texts = {"   ",
                                               "   ",
                                               "   ",
                                               "   ",
                                               "   ",
                                               " " + std::string(35, '-'),
                                               " " + std::string(35, '-'),
                                               "   ",
                                               "   ",
                                               "   ",
                                               " " + std::string(35, '-'),
                                               " " + std::string(35, '-'),
                                               "   ",
                                               "    dados coletados apos analise righ-handed  ",
                                               "   "};
  for (size_t i = 0; i < tail_texts.size(); ++i) EXPECT_EQ(log[32 + i], tail_texts[i]) << i;
  // y of molecule 1 reflected: P2 = (0, 1, 0) again.
  const std::string& p2 = log[32 + tail_texts.size() + 1];
  ASSERT_EQ(p2.rfind("  molecula 1 ", 0), 0u);
  std::istringstream in(p2.substr(13));
  Vec3 v;
  in >> v.x >> v.y >> v.z;
  EXPECT_TRUE(same(v, Vec3{0, 1, 0}));
}

TEST(RightHandedFrames, ParallelAxesChangeNothing) {
  Frames f;
  f.set_axes(0, {0, 0, 0}, {Vec3{0, 0, 1}, Vec3{0, 0, 1}, Vec3{1, 0, 0}});
  f.set_axes(1, {0, 0, 0}, {Vec3{0, 1, 0}, Vec3{0, 1, 0}, Vec3{0, 0, -1}});
  f.flags.distinguishable = {true, true, false, true, true, false};
  const auto before = f.axes.endpoints;
  f.assemble_right_handed();
  for (int k = 0; k < 6; ++k) EXPECT_TRUE(same(f.axes.endpoints[k], before[k])) << k;
}

// The frame steps over the examples that the analyzer accepts, in all three
// passes: each frame is right-handed and each axis oriented by the
// higher-Z-CM still points to its side.
TEST(MolecularFrame, IsRightHandedAndFacesTheHigherZCmForExamples) {
  int accepted = 0;
  for (const auto& entry : std::filesystem::directory_iterator(EXAMPLES_DIR)) {
    const auto path = entry.path() / "input-GEOMETRY.xyz";
    if (!std::filesystem::exists(path)) continue;
    SCOPED_TRACE(entry.path().filename().string());
    FreeFormatReader reader = FreeFormatReader::from_file(path);
    GeometryBlock block;
    block.n = read_atom_count(reader);
    read_atoms_and_n1(reader, block);

    Frames f;
    const int n = block.n, n1 = block.n1;
    AtomTable table = block.icoo_and_m;
    identify_elements(n, block.isymbol, table, Mode::analyzer);
    BestAngles best;
    bool stopped = false;
    for (int pass = 0; pass < 3 && !stopped; ++pass) {
      const std::array<MoleculeInertia, 2> mol = {principal_axes(table, 0, n1),
                                                  principal_axes(table, n1, n)};
      FrameStep step;
      try {
        step = build_frames(f.session, mol, end_point_table(mol), pass);
      } catch (const ProgramStop&) {
        ASSERT_EQ(pass, 0);
        stopped = true;
        break;
      }
      const PairAxes& st = step.frames.axes;
      const DirectionFlags& flags = step.flags;
      for (int m = 0; m < 2; ++m) {
        EXPECT_NEAR(handedness(st, m), 1.0, 1e-12) << "pass " << pass;
        const Vec3 r = sub(mol[m].groups.centre[mol[m].z_high], st.cm[m]);
        const long sum = flag_sum(flags, m);
        for (int j = 0; j < 3; ++j) {
          const int k = 3 * m + j;
          // With all three axes oriented the frame step may turn one back.
          if (sum == 30 && k == (m == 0 ? kAxis_x : kAxis_Y)) continue;
          if (flags.distinguishable[k]) {
            EXPECT_LT(angle_deg(sub(st.endpoints[k], st.cm[m]), r), 85.0)
                << "pass " << pass << " k " << k;
          }
        }
      }
      const Alignment aligned = alignment_pass(f.session, st, pass, best);
      for (Atom& a : table) {
        const Vec3 p = mul(aligned.rotation, sub(Vec3{a.x, a.y, a.z}, st.cm[1]));
        a.x = p.x;
        a.y = p.y;
        a.z = p.z;
      }
    }
    if (!stopped) ++accepted;
  }
  EXPECT_GE(accepted, 5);
}

}  // namespace
}  // namespace kavor
