// Placement parameters: relative position, the Euler search's failure, the
// final values and the analyzer's summary, on pairs built for the purpose
// and on real dimers moved rigidly.
#include "core/param.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "core/euler.hpp"
#include "core/pair_axes.hpp"
#include "core/session.hpp"
#include "test_util.hpp"

namespace kavor {
namespace {

using testing::ScratchDir;
namespace fs = std::filesystem;

constexpr double kRad = 3.14159265358979323846 / 180.0;

struct XyzAtom {
  std::string label;
  Vec3 p;
};

Vec3 rotate(const Mat3& m, const Vec3& v) { return mul(m, v); }

// The analyzer's input layout: N, atoms, one ignored line, N1.
std::string input_text(const std::vector<XyzAtom>& atoms, int n1) {
  std::string s = std::to_string(atoms.size()) + "\n";
  char buf[160];
  for (const XyzAtom& a : atoms) {
    std::snprintf(buf, sizeof buf, "%-3s %18.10f %18.10f %18.10f\n", a.label.c_str(), a.p.x, a.p.y, a.p.z);
    s += buf;
  }
  return s + "\n" + std::to_string(n1) + "\n";
}

std::vector<XyzAtom> read_input(const fs::path& path, int& n1) {
  std::istringstream in(testing::read_file(path));
  int n = 0;
  in >> n;
  std::vector<XyzAtom> atoms(n);
  for (XyzAtom& a : atoms) in >> a.label >> a.p.x >> a.p.y >> a.p.z;
  in >> n1;
  return atoms;
}

// The summary's lines from "  KAVOR " (title) to the end of the console.
std::vector<std::string> summary(const std::string& out) {
  const auto lines = testing::split_lines(out);
  auto it = std::find(lines.begin(), lines.end(), "  KAVOR ");
  if (it == lines.end()) return {};
  return std::vector<std::string>(it - 2, lines.end());
}

std::vector<std::string> expected_summary(const std::vector<std::string>& position,
                                          const std::string& rotation) {
  std::vector<std::string> s = {"   ", "   ", "  KAVOR ", "   ",
                                "  POSITION:[r, theta(polar angle), phi(azimuth angle)]"};
  s.insert(s.end(), position.begin(), position.end());
  s.insert(s.end(), {"  ROTATION: (alpha,beta and gamma Euler angles)", "   ", rotation, "   ", "   ", "   "});
  return s;
}

// Molecule 2 of the formamide dimer expressed in its own frame XYZ (centre
// of mass at the origin, principal axes along x, y, z), taken from the
// analyzer's geometry file. Pairs are then built by placing a rotated copy
// of it: the frame of a rigidly moved copy moves with it, so the expected
// parameters follow from the placement alone.
class BuiltPairs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ScratchDir dir;
    fs::copy_file(testing::example("formamide-dimer"), dir / "input-GEOMETRY.xyz");
    const testing::RunResult run = testing::run_kavor(dir.path());
    ASSERT_EQ(run.status, 0);
    for (const std::string& name : dir.files()) {
      if (name.find(")-KAVOR.xyz") == std::string::npos) continue;
      const auto lines = testing::read_lines(dir / name);
      for (size_t i = 8; i < lines.size(); ++i) {
        XyzAtom a;
        std::istringstream in(lines[i]);
        in >> a.label >> a.p.x >> a.p.y >> a.p.z;
        monomer_->push_back(a);
      }
    }
  }
  static void TearDownTestSuite() { monomer_->clear(); }

  // Molecule 1 = monomer turned by M(alpha, beta, gamma) about its centre
  // and moved to `centre`; molecule 2 = the monomer in place.
  testing::RunResult run_pair(const Vec3& centre, double a_deg, double b_deg, double g_deg) {
    // Frame xyz = M.(XYZ) needs atoms turned by M as well: x = M X.
    const Mat3 m = euler_matrix(a_deg * kRad, b_deg * kRad, g_deg * kRad);
    std::vector<XyzAtom> atoms;
    for (const XyzAtom& a : *monomer_) {
      const Vec3 q = rotate(m, a.p);
      atoms.push_back({a.label, {q.x + centre.x, q.y + centre.y, q.z + centre.z}});
    }
    for (const XyzAtom& a : *monomer_) atoms.push_back(a);
    testing::write_file(dir_ / "input-GEOMETRY.xyz", input_text(atoms, static_cast<int>(monomer_->size())));
    return testing::run_kavor(dir_.path());
  }

  std::vector<std::string> report() { return testing::read_lines(dir_ / "LOG-PARAM-ONLY.txt"); }

  static inline std::vector<XyzAtom>* monomer_ = new std::vector<XyzAtom>;
  ScratchDir dir_;
};

std::string int_line(const std::string& text, long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%12ld", v);
  return " " + text + buf;
}

bool contains(const std::vector<std::string>& lines, const std::vector<std::string>& block) {
  return std::search(lines.begin(), lines.end(), block.begin(), block.end()) != lines.end();
}

TEST_F(BuiltPairs, MonomerIsAvailable) { ASSERT_EQ(monomer_->size(), 6u); }

// Molecule 1's frame takes the axes of I_A, I_B, I_C as z, y, x, molecule 2's
// as Y, X, Z, so a copy in the same orientation is not at Euler angles 0.
// The rotation line depends on the orientation only: the same turned copy
// placed anywhere gives the same line, whichever position block is printed.
std::string rotation_line(const std::vector<std::string>& s) {
  return s.size() >= 4 ? s[s.size() - 4] : std::string();
}

TEST_F(BuiltPairs, FourPositionBlocksAndTheRotationLine) {
  auto run = run_pair({3.0, 4.0, 0.0}, 30, 60, 100);
  const std::string rot = rotation_line(summary(run.out));
  ASSERT_EQ(rot.size(), 12u);
  EXPECT_EQ(summary(run.out), expected_summary({"   ", "    5.0  90  53", "   "}, rot));
  run = run_pair({0.0, 0.0, 4.0}, 30, 60, 100);
  EXPECT_EQ(summary(run.out),
            expected_summary({"   ", "    4.0   0 NAD ", "   ", "   ", " NAD=Nenhum Angulo Definido",
                              " Undefined azimuth angle"},
                             rot));
  run = run_pair({0.0, 0.0, -4.0}, 30, 60, 100);
  EXPECT_EQ(summary(run.out),
            expected_summary({"   ", "    4.0 180 NAD ", "   ", "   ", " NAD=Nenhum Angulo Definido",
                              " Undefined azimuth angle"},
                             rot));
  run = run_pair({0.0, 0.0, 0.0}, 30, 60, 100);
  EXPECT_EQ(summary(run.out),
            expected_summary({"   ", "    0.0 NAD  NAD ", "   ", "   ", " NAD=Nenhum Angulo Definido",
                              " No Defined Angle r < 0.1 A"},
                             rot));
  bool named = false;
  for (const std::string& f : dir_.files())
    if (f.rfind("[0000.0-NAD-NAD]-", 0) == 0 && f.size() > 20 && f.find(")-KAVOR.xyz") != std::string::npos)
      named = true;
  EXPECT_TRUE(named);
}

TEST_F(BuiltPairs, NegativeAzimuthIsBroughtIntoFullTurn) {
  const auto run = run_pair({0.0, -4.0, 1.0}, 30, 60, 100);
  const auto s = summary(run.out);
  ASSERT_GT(s.size(), 6u);
  EXPECT_EQ(s[6], "    4.1  76 270");
  const auto log = report();
  EXPECT_TRUE(contains(log, {int_line(" theta ", 76), int_line(" phi   ", 270)}));
}

TEST_F(BuiltPairs, AzimuthJustBelowFullTurnBecomesZero) {
  const double phi = -0.2 * kRad;
  const auto run = run_pair({5.0 * std::cos(phi), 5.0 * std::sin(phi), 0.0}, 30, 60, 100);
  const auto s = summary(run.out);
  ASSERT_GT(s.size(), 6u);
  EXPECT_EQ(s[6], "    5.0  90   0");
}

TEST_F(BuiltPairs, FileNameValuesSectionInReport) {
  const auto run = run_pair({3.0, 4.0, 0.0}, 30, 60, 100);
  ASSERT_EQ(run.status, 0);
  const auto log = report();
  auto it = std::find(log.begin(), log.end(), "  &&& adapted values  ");
  ASSERT_NE(it, log.end());
  ASSERT_GE(log.end() - it, 11);
  EXPECT_EQ(it[1], "  valores para escrita de nome de arquivo ");
  EXPECT_EQ(it[2], "        ");
  EXPECT_EQ(it[3].substr(0, 8), "  r     ");
  EXPECT_NEAR(std::stod(it[3].substr(8)), 5.0, 1e-3);
  EXPECT_EQ(it[4], int_line(" theta ", 90));
  EXPECT_EQ(it[5], int_line(" phi   ", 53));
  EXPECT_EQ(it[6], "        ");
  // The same whole degrees as the summary's rotation line.
  const std::string rot = rotation_line(summary(run.out));
  ASSERT_EQ(rot.size(), 12u);
  EXPECT_EQ(it[7], int_line(" alpha ", std::stol(rot.substr(0, 4))));
  EXPECT_EQ(it[8], int_line(" beta  ", std::stol(rot.substr(4, 4))));
  EXPECT_EQ(it[9], int_line(" gamma ", std::stol(rot.substr(8, 4))));
  if (std::stol(rot.substr(4, 4)) == 0) return;
  EXPECT_EQ(it[10], "        ");
  // No beta-zero warning for beta = 60.
  EXPECT_EQ(std::find(log.begin(), log.end(), " WARNING:  for beta = zero, gamma = 0 "), log.end());
}

TEST(RelativePosition, SphericalCoordinatesOfMoleculeOneInFrameXyz) {
  PairAxes st;
  st.cm[1] = Vec3{0, 0, 0};
  st.cm[0] = Vec3{1.0, std::sqrt(3.0), 2.0};
  PairValues v = relative_position(st);
  EXPECT_NEAR(v.r, std::sqrt(8.0), 1e-14);
  EXPECT_NEAR(v.theta, 45 * kRad, 1e-14);
  EXPECT_NEAR(v.phi, 60 * kRad, 1e-14);
  st.cm[0] = Vec3{-1.0, -1.0, 0.0};
  EXPECT_NEAR(relative_position(st).phi, -135 * kRad, 1e-14);  // (-pi, pi] until the final values
  // On the Z axis the signed zeros decide phi, as atan2 defines it.
  st.cm[0] = Vec3{0.0, 0.0, -3.0};
  v = relative_position(st);
  EXPECT_EQ(v.phi, 0.0);
  EXPECT_NEAR(v.theta, 180 * kRad, 1e-15);
  st.cm[0] = Vec3{-0.0, 0.0, 3.0};
  v = relative_position(st);
  EXPECT_NEAR(v.phi, 180 * kRad, 1e-15);
  EXPECT_EQ(v.theta, 0.0);
}

TEST(EulerSearch, LeftHandedTargetFrameStopsWithError) {
  std::ostringstream console;
  Session session(console, ".", Mode::analyzer);
  PairAxes st;
  BestAngles best;
  st.cm[0] = Vec3{0, 0, 0};
  st.cm[1] = Vec3{0, 0, 0};
  st.endpoints[kAxis_z] = Vec3{0, 0, -1};  // x, y, -z: a mirror image, no rotation
  st.endpoints[kAxis_y] = Vec3{0, 1, 0};
  st.endpoints[kAxis_x] = Vec3{1, 0, 0};
  st.endpoints[kAxis_Y] = Vec3{0, 1, 0};
  st.endpoints[kAxis_X] = Vec3{1, 0, 0};
  st.endpoints[kAxis_Z] = Vec3{0, 0, 1};
  EXPECT_THROW(euler_search(session, st, 3.141592653589793, best), ProgramStop);
  const std::string e = "  ERROR - EULER ANGLES NOT FOUND \n";
  EXPECT_EQ(console.str(), e + e + e + e);
}

// A mirror image cannot be turned onto the coordinate axes: every iteration
// of the alignment fit ends without a best. The first alignment warns (on
// the console, and in the returned lines) and goes on; the second stops.
TEST(AlignmentPass, MirrorFrameWarnsThenStops) {
  PairAxes st;
  st.cm = {Vec3{1, 2, 3}, Vec3{0, 0, 0}};
  st.endpoints[kAxis_X] = Vec3{1, 0, 0};
  st.endpoints[kAxis_Y] = Vec3{0, 1, 0};
  st.endpoints[kAxis_Z] = Vec3{0, 0, -1};
  for (int pass : {0, 1}) {
    std::ostringstream console;
    Session session(console, ".", Mode::analyzer);
    BestAngles best;
    if (pass == 0) {
      std::vector<std::string> warnings;
      EXPECT_NO_THROW(warnings = alignment_pass(session, st, pass, best).said);
      std::string said;
      for (const std::string& line : warnings) said += line + "\n";
      EXPECT_EQ(console.str(), said);
      EXPECT_EQ(std::count(warnings.begin(), warnings.end(),
                           "  WARNING - NO GUESS ANGLE FOUND IN FIT PROCEDURE - "),
                kFitIterations);
      continue;
    }
    try {
      alignment_pass(session, st, pass, best);
      ADD_FAILURE() << "the second alignment went on";
    } catch (const ProgramStop& stop) {
      EXPECT_EQ(stop.code, Status::alignment_failed);
      EXPECT_NE(std::string(stop.what()).find("AFTER SECOND AXES ALIGNMENT"), std::string::npos);
    }
  }
}

TEST(EulerSearch, AlignedFramesFindTheirRotation) {
  std::ostringstream console;
  Session session(console, ".", Mode::analyzer);
  PairAxes st;
  BestAngles best;
  const Mat3 m = euler_matrix(50 * kRad, 70 * kRad, 200 * kRad);
  st.cm[0] = Vec3{1, 2, 3};
  st.cm[1] = Vec3{0, 0, 0};
  const Vec3 e[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const Vec3 x = mul(m, e[0]), y = mul(m, e[1]), z = mul(m, e[2]);
  st.endpoints[kAxis_x] = Vec3{1 + x.x, 2 + x.y, 3 + x.z};
  st.endpoints[kAxis_y] = Vec3{1 + y.x, 2 + y.y, 3 + y.z};
  st.endpoints[kAxis_z] = Vec3{1 + z.x, 2 + z.y, 3 + z.z};
  st.endpoints[kAxis_X] = e[0];
  st.endpoints[kAxis_Y] = e[1];
  st.endpoints[kAxis_Z] = e[2];
  euler_search(session, st, std::acos(z.z), best);
  EXPECT_EQ(std::lround(best.alpha / kRad), 50);
  EXPECT_EQ(std::lround(best.beta / kRad), 70);
  EXPECT_EQ(std::lround(best.gamma / kRad), 200);
  EXPECT_TRUE(console.str().empty());
}

// ---- Invariance on real dimers -------------------------------------------

std::vector<std::string> summary_values(const std::string& out) {
  const auto s = summary(out);
  if (s.size() < 13) return {};
  // Position line (the first formatted line) and rotation line.
  std::vector<std::string> v;
  v.push_back(s[6]);
  auto rot = std::find(s.begin(), s.end(), "  ROTATION: (alpha,beta and gamma Euler angles)");
  if (rot == s.end() || s.end() - rot < 3) return {};
  v.push_back(rot[2]);
  return v;
}

testing::RunResult run_atoms(const ScratchDir& dir, const std::vector<XyzAtom>& atoms, int n1) {
  for (const std::string& f : dir.files()) fs::remove(dir / f);
  testing::write_file(dir / "input-GEOMETRY.xyz", input_text(atoms, n1));
  return testing::run_kavor(dir.path());
}

class RealDimer : public ::testing::TestWithParam<const char*> {};

TEST_P(RealDimer, RigidMotionAndAtomOrderLeaveParametersUnchanged) {
  const fs::path input = testing::example(GetParam());
  if (!fs::exists(input)) GTEST_SKIP() << "example " << GetParam() << " not present";
  int n1 = 0;
  const std::vector<XyzAtom> atoms = read_input(input, n1);
  ScratchDir dir;
  const auto base = summary_values(run_atoms(dir, atoms, n1).out);
  ASSERT_EQ(base.size(), 2u) << "the analyzer should accept " << GetParam();

  // Rigid rotation about a general axis and translation of the whole pair.
  const Mat3 turn = euler_matrix(1.1, 2.3, 4.0);
  std::vector<XyzAtom> moved = atoms;
  for (XyzAtom& a : moved) {
    const Vec3 q = mul(turn, a.p);
    a.p = {q.x + 12.5, q.y - 7.25, q.z + 3.0};
  }
  EXPECT_EQ(summary_values(run_atoms(dir, moved, n1).out), base) << "rotated and translated";

  // Atoms listed in another order within each molecule.
  std::vector<XyzAtom> shuffled = atoms;
  std::reverse(shuffled.begin(), shuffled.begin() + n1);
  std::rotate(shuffled.begin() + n1, shuffled.begin() + n1 + 2, shuffled.end());
  EXPECT_EQ(summary_values(run_atoms(dir, shuffled, n1).out), base) << "atoms reordered";
}

INSTANTIATE_TEST_SUITE_P(Examples, RealDimer,
                         ::testing::Values("formamide-dimer", "n-methylformamide-dimer",
                                           "acetaldehyde-2-methylpyridine",
                                           "2-chloroethanol-dimethylsulfoxide"),
                         [](const auto& test) {
                           std::string n = test.param;
                           std::replace(n.begin(), n.end(), '-', '_');
                           return n;
                         });

}  // namespace
}  // namespace kavor
