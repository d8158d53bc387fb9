// The builder's driver: its input checks and their console messages, the
// adjustment of the user's values, read failures and the summary.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_util.hpp"

namespace kavor::testing {
namespace {

const std::string kInput = "UD-input-GEOMETRY.xyz";
constexpr double kPi = 3.141592653589793;

// The formamide dimer (12 atoms; molecule 1 = atoms 1..6), accepted by the
// analysis, as the geometry block of a builder input.
std::string formamide_block(int n_atoms = 12, int n1 = 6) {
  const std::vector<std::string> lines = read_lines(example("formamide-dimer"));
  std::string text = std::to_string(n_atoms) + "\n";
  for (int i = 1; i <= n_atoms; ++i) text += lines.at(i) + "\n";
  return text + "\n" + std::to_string(n1) + "\n";
}

struct UserValues {
  std::string r = "8.0", theta = "90.0", phi = "45.0";
  std::string alpha = "30.0", beta = "60.0", gamma = "90.0";
};

// Six values, each on its own line, between the three captions the reader skips.
std::string ud_input(const UserValues& v, const std::string& block = formamide_block()) {
  return block + "position: r theta phi\n" + v.r + "\n" + v.theta + "\n" + v.phi +
         "\nEuler angles\n" + v.alpha + "\n" + v.beta + "\n" + v.gamma + "\nend\n";
}

RunResult build(const ScratchDir& dir, const std::string& input) {
  write_file(dir / kInput, input);
  return run_ud_kavor(dir.path());
}

std::string lines_text(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

bool has_line(const std::vector<std::string>& lines, const std::string& wanted) {
  for (const std::string& line : lines)
    if (line == wanted) return true;
  return false;
}

// Lines from the first one equal to `first` on (empty if there is none).
std::vector<std::string> from_line(const std::vector<std::string>& lines, const std::string& first,
                                   size_t count) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == first)
      return {lines.begin() + i, lines.begin() + std::min(lines.size(), i + count)};
  return {};
}

// Molecule 1's centre of mass minus molecule 2's, from the builder's
// "input-GEOMETRY.xyz" (lines of atomic number and x, y, z). Masses of H, C,
// N, O in atomic mass units.
std::array<double, 3> placed_offset(const std::filesystem::path& file) {
  const std::vector<std::string> lines = read_lines(file);
  const int n = std::stoi(lines.at(0));
  const int n1 = std::stoi(lines.at(n + 3));
  std::array<double, 3> sum[2] = {};
  double mass[2] = {0.0, 0.0};
  for (int i = 0; i < n; ++i) {
    int z = 0;
    double x = 0, y = 0, zz = 0;
    EXPECT_EQ(std::sscanf(lines.at(i + 2).c_str(), "%d %lf %lf %lf", &z, &x, &y, &zz), 4);
    const double m = z == 1 ? 1.008 : z == 6 ? 12.011 : z == 7 ? 14.007 : 15.999;
    const int mol = i < n1 ? 0 : 1;
    mass[mol] += m;
    sum[mol][0] += m * x;
    sum[mol][1] += m * y;
    sum[mol][2] += m * zz;
  }
  std::array<double, 3> d;
  for (int j = 0; j < 3; ++j) d[j] = sum[0][j] / mass[0] - sum[1][j] / mass[1];
  return d;
}

struct RangeCase {
  int order;        // position in the check sequence, 1..11
  int variable;     // 0 r, 1 theta, 2 phi, 3 alpha, 4 beta, 5 gamma
  std::string bad;  // the value that fails this check
  std::string first, second, shown;
};

void set(UserValues& v, int variable, const std::string& value) {
  std::string* slots[6] = {&v.r, &v.theta, &v.phi, &v.alpha, &v.beta, &v.gamma};
  *slots[variable] = value;
}

// The eleven checks in the order the builder makes them. Lower bounds apply
// to the values as read, upper bounds to the values rounded half away from
// zero; r is shown as read, the angles rounded.
const std::vector<RangeCase>& range_cases() {
  static const std::vector<RangeCase> cases = {
      {1, 0, "-1.5", " negative r not allowed! ", " Allowed: r>0", "  -1.5000000000000000E+00"},
      {2, 2, "-0.3", " azimuth angle out of range! ", " Allowed: 0<phi<360", "           0"},
      {3, 2, "360.5", " azimuth angle out of range. ", " Allowed: 0<phi<360 degrees ",
       "         361"},
      {4, 1, "-2", " polar angle out of range! ", " Allowed: 0<theta<180", "          -2"},
      {5, 1, "180.5", " polar angle out of range. ", " Allowed: 0<theta<180 degrees ",
       "         181"},
      {6, 3, "-10.2", " ALPHA Euler angle out of range!    ", " Allowed: 0<ALPHA<360 degrees ",
       "         -10"},
      {7, 3, "360.5", " ALPHA Euler angle out of range!    ", " Allowed: 0<ALPHA<360 degrees ",
       "         361"},
      {8, 4, "-1", " BETA Euler angle out of range!    ", " Allowed: 0<BETA<180 degrees ",
       "          -1"},
      {9, 4, "180.5", " Beta Euler angle out of range!    ", " Allowed: 0<beta<180 degrees ",
       "         181"},
      {10, 5, "-5.5", " GAMMA Euler angle out of range!    ", " Allowed: 0<GAMMA<360 degrees ",
       "          -6"},
      {11, 5, "400", " GAMMA Euler angle out of range!    ", " Allowed: 0<GAMMA<360 degrees ",
       "         400"},
  };
  return cases;
}

std::string expected_range_stop(const RangeCase& c) {
  return " " + c.first + "\n " + c.second + "\n  User value :" + c.shown + "\n  program stopped\n";
}

TEST(BuilderRangeChecks, EachCheckPrintsItsMessageAndWritesNothing) {
  for (const RangeCase& c : range_cases()) {
    SCOPED_TRACE("check " + std::to_string(c.order));
    ScratchDir dir;
    UserValues v;
    set(v, c.variable, c.bad);
    const RunResult result = build(dir, ud_input(v));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, expected_range_stop(c));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(dir.files(), std::vector<std::string>{kInput});
  }
}

TEST(BuilderRangeChecks, EarlierCheckWinsOverLaterFailures) {
  // Check k fails together with one failing value for every later variable:
  // only check k's message appears.
  const auto& cases = range_cases();
  for (size_t k = 0; k < cases.size(); ++k) {
    SCOPED_TRACE("check " + std::to_string(cases[k].order));
    UserValues v;
    bool used[6] = {};
    set(v, cases[k].variable, cases[k].bad);
    used[cases[k].variable] = true;
    for (size_t j = k + 1; j < cases.size(); ++j) {
      if (used[cases[j].variable]) continue;
      set(v, cases[j].variable, cases[j].bad);
      used[cases[j].variable] = true;
    }
    ScratchDir dir;
    EXPECT_EQ(build(dir, ud_input(v)).out, expected_range_stop(cases[k]));
  }
}

TEST(BuilderRangeChecks, UpperBoundsApplyToRoundedValues) {
  // Just below each rounding gate: accepted, and the run goes on to its summary.
  UserValues v;
  v.phi = "360.49";
  v.theta = "180.49";
  v.alpha = "360.49";
  v.gamma = "360.49";
  v.beta = "180.49";
  ScratchDir dir;
  const RunResult result = build(dir, ud_input(v));
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find(" User-Defined KAVOR "), std::string::npos);
  EXPECT_EQ(result.out.find("program stopped"), std::string::npos);
}

TEST(BuilderAtomCounts, MoleculeOneOfTwoAtomsStopsWithTabbedError) {
  ScratchDir dir;
  const RunResult result = build(dir, ud_input({}, formamide_block(12, 2)));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "  This version allow the study of entities \n  with more than 2 atoms \n  ERROR \t\n");
  EXPECT_EQ(dir.files(), std::vector<std::string>{kInput});
}

TEST(BuilderAtomCounts, FiveAtomsStopWithPlainError) {
  ScratchDir dir;
  const RunResult result = build(dir, ud_input({}, formamide_block(5, 3)));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "  This version allow the study of entities \n  with more than 2 atoms \n  ERROR \n");
  EXPECT_EQ(dir.files(), std::vector<std::string>{kInput});
}

TEST(BuilderAtomCounts, MoleculeOneSizeIsCheckedBeforeTotal) {
  ScratchDir dir;
  const RunResult result = build(dir, ud_input({}, formamide_block(5, 2)));
  EXPECT_EQ(split_lines(result.out).back(), "  ERROR \t");
}

TEST(BuilderAtomCounts, MoreThanCapacityStopsRightAfterTheCount) {
  // No atom line follows: the count alone decides.
  ScratchDir dir;
  const RunResult result = build(dir, "150001\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "  max number of atoms -150000 -exceeded \n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(dir.files(), std::vector<std::string>{kInput});
}

TEST(BuilderAtomCounts, EmptyMoleculeTwoStopsWithoutFiles) {
  for (int n1 : {12, 13}) {
    SCOPED_TRACE(n1);
    ScratchDir dir;
    std::string block = formamide_block(12, 12);
    block.replace(block.rfind("12\n"), 3, std::to_string(n1) + "\n");
    const RunResult result = build(dir, ud_input({}, block));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(split_lines(result.out).back(), "  ERROR ");
    EXPECT_EQ(result.out.find("UD-KAVOR Version"), std::string::npos);
    EXPECT_EQ(dir.files(), std::vector<std::string>{kInput});
  }
}

TEST(BuilderInput, TruncatedValuesAreAReadErrorNamingTheLine) {
  // Without its gamma line the final caption (line 23) is read as gamma; a
  // file may not end before the final line it skips (line 24).
  const struct {
    const char* fixture;
    const char* line;
  } cases[] = {{"builder/missing-gamma.xyz", ":23"}, {"builder/no-final-line.xyz", ":24"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixture);
    ScratchDir dir;
    const RunResult result = build(dir, read_file(std::filesystem::path(TEST_DATA_DIR) / c.fixture));
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(split_lines(result.err).size(), 1u);
    EXPECT_NE(result.err.find(kInput + c.line), std::string::npos) << result.err;
    EXPECT_EQ(dir.files(), std::vector<std::string>{kInput});
  }
}

TEST(BuilderSummary, ValuesComeBackInWholeDegrees) {
  // Words after a value are ignored; blank lines before a value are passed over.
  UserValues v;
  v.r = "\n8.0 Angstrom";
  v.theta = "100.2 degrees";
  ScratchDir dir;
  const RunResult result = build(dir, ud_input(v));
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> out = split_lines(result.out);
  EXPECT_EQ(from_line(out, "  POSITION:[r, theta(polar angle), phi(azimuth angle)]", 4),
            (std::vector<std::string>{"  POSITION:[r, theta(polar angle), phi(azimuth angle)]",
                                      "   ", "    8.0 100  45", "   "}));
  EXPECT_EQ(from_line(out, "  ROTATION: (alpha, beta, and gamma Euler angles)", 6),
            (std::vector<std::string>{"  ROTATION: (alpha, beta, and gamma Euler angles)", "   ",
                                      "  30  60  90", "   ", "   ", "   "}));
  EXPECT_EQ(out.back(), "   ");
  const std::vector<std::string> report = read_lines(dir / "UD-LOG-PARAM.txt");
  EXPECT_TRUE(has_line(report, "    8.0 100  45"));
  EXPECT_FALSE(has_line(report, " WARNING:  for beta = zero, gamma = 0 "));
  EXPECT_TRUE(std::filesystem::exists(dir / "[0008.0-100-045]-(030-060-090)-UD-KAVOR.xyz"));
}

TEST(BuilderAdjustments, PhiBelowHalfPast360IsShownAsZero) {
  UserValues v;
  v.phi = "360.4";
  ScratchDir dir;
  const RunResult result = build(dir, ud_input(v));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(has_line(split_lines(result.out), "    8.0  90   0"));
  EXPECT_TRUE(std::filesystem::exists(dir / "[0008.0-090-000]-(030-060-090)-UD-KAVOR.xyz"));
  EXPECT_TRUE(
      std::filesystem::exists(dir / "[0008.0-090-000]-(030-060-090)-UD-KAVOR-UCSF-Chimera.bild"));
}

// Where molecule 1 lands for theta near 180 tells whether theta was adjusted:
// 180.3 degrees (kept) lies on the far side of the Z axis from 179.99.
void expect_placed_at_polar_angle(const std::string& theta_text, double theta_used_deg) {
  SCOPED_TRACE("theta " + theta_text);
  UserValues v;
  v.theta = theta_text;
  ScratchDir dir;
  const RunResult result = build(dir, ud_input(v));
  ASSERT_EQ(result.status, 0) << result.err;
  const double t = theta_used_deg * kPi / 180.0, p = 45.0 * kPi / 180.0;
  const std::array<double, 3> d = placed_offset(dir / "input-GEOMETRY.xyz");
  EXPECT_NEAR(d[0], 8.0 * std::sin(t) * std::cos(p), 1e-5);
  EXPECT_NEAR(d[1], 8.0 * std::sin(t) * std::sin(p), 1e-5);
  EXPECT_NEAR(d[2], 8.0 * std::cos(t), 1e-5);
  // Both round to 180: the azimuth is undefined in the summary and the name.
  const std::vector<std::string> out = split_lines(result.out);
  EXPECT_EQ(from_line(out, "    8.0 180 NAD ", 5),
            (std::vector<std::string>{"    8.0 180 NAD ", "   ", "   ",
                                      " NAD=Nenhum Angulo Definido", " Undefined azimuth angle"}));
  EXPECT_TRUE(std::filesystem::exists(dir / "[0008.0-180-NAD]-(030-060-090)-UD-KAVOR.xyz"));
}

TEST(BuilderAdjustments, ThetaAbove180Point09IsKept) { expect_placed_at_polar_angle("180.3", 180.3); }

TEST(BuilderAdjustments, ThetaWithinTenthOf180BecomesJustBelow) {
  expect_placed_at_polar_angle("180.05", static_cast<double>(179.99f));
}

TEST(BuilderAdjustments, BetaRoundingToZeroReplacesGammaBeforeItsCheck) {
  UserValues v;
  v.beta = "0.4";
  v.gamma = "500";
  ScratchDir dir;
  const RunResult result = build(dir, ud_input(v));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.find("program stopped"), std::string::npos);
  EXPECT_TRUE(has_line(split_lines(result.out), "  30   0   0"));
  EXPECT_TRUE(std::filesystem::exists(dir / "[0008.0-090-045]-(030-000-000)-UD-KAVOR.xyz"));
  const std::vector<std::string> report = read_lines(dir / "UD-LOG-PARAM.txt");
  ASSERT_GE(report.size(), 7u);
  const std::vector<std::string> tail(report.end() - 7, report.end());
  const std::string warning = " WARNING:  for beta = zero, gamma = 0 ";
  EXPECT_EQ(tail, (std::vector<std::string>{"   ", warning, warning, warning, warning, "   ", "   "}))
      << lines_text(tail);
}

TEST(BuilderAdjustments, ZeroDistanceIsAcceptedWithoutAngles) {
  UserValues v;
  v.r = "0";
  ScratchDir dir;
  const RunResult result = build(dir, ud_input(v));
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> out = split_lines(result.out);
  EXPECT_EQ(from_line(out, "  POSITION:[r, theta(polar angle), phi(azimuth angle)]", 7),
            (std::vector<std::string>{"  POSITION:[r, theta(polar angle), phi(azimuth angle)]",
                                      "   ", "    0.0 NAD  NAD ", "   ", "   ",
                                      " NAD=Nenhum Angulo Definido",
                                      " No Defined Angle r < 0.1 A"}));
  EXPECT_TRUE(has_line(split_lines(result.out), "  30  60  90"));
  EXPECT_TRUE(has_line(read_lines(dir / "UD-LOG-PARAM.txt"),
                       "    0.0  ***  *** no polar or azimuth for r < 0.1 A"));
}

// Blank-separated fields of a line that must all be numbers.
std::vector<double> numbers(const std::string& text) {
  std::vector<double> values;
  std::istringstream in(text);
  for (std::string token; in >> token;) {
    size_t used = 0;
    double value = 0.0;
    try {
      value = std::stod(token, &used);
    } catch (const std::exception&) {
    }
    EXPECT_EQ(used, token.size()) << "not a number: '" << token << "' in '" << text << "'";
    values.push_back(value);
  }
  return values;
}

TEST(BuilderFarPlacement, EveryResultLineReadsBackAndTheAnalyzerReadsThePair) {
  // With theta 180, molecule 1 sits at z = -r: 1500 overflows the BILD files'
  // F8.3 fields, 9999.9 fills the geometry files' F15.8 fields.
  for (const char* r : {"1500.0", "9999.9"}) {
    SCOPED_TRACE(std::string("r ") + r);
    UserValues v;
    v.r = r;
    v.theta = "180.0";
    ScratchDir dir;
    const RunResult built = build(dir, ud_input(v));
    ASSERT_EQ(built.status, 0) << built.err;
    const std::string stem = std::string("[") + r + "-180-NAD]-(030-060-090)-UD-KAVOR";
    const std::vector<std::string> bild = read_lines(dir / (stem + "-UCSF-Chimera.bild"));
    ASSERT_EQ(bild.size(), 23u);
    for (const std::string& line : bild) {
      if (line.rfind(".sphere", 0) == 0) {
        EXPECT_EQ(numbers(line.substr(7)).size(), 4u) << line;
      }
      if (line.rfind(".arrow", 0) == 0) {
        EXPECT_EQ(numbers(line.substr(6)).size(), 6u) << line;
      }
    }
    // Molecule 1's sphere: its centre on the Z axis at -r.
    const std::vector<double> sphere = numbers(bild[16].substr(7));
    ASSERT_EQ(sphere.size(), 4u) << bild[16];
    EXPECT_NEAR(sphere[2], -std::stod(r), 0.002) << bild[16];
    for (const std::string& name : {stem + ".xyz", std::string("input-GEOMETRY.xyz")}) {
      const std::vector<std::string> lines = read_lines(dir / name);
      ASSERT_GE(lines.size(), 14u) << name;
      for (int i = 2; i < 14; ++i) EXPECT_EQ(numbers(lines[i]).size(), 4u) << name << ": " << lines[i];
    }
    const RunResult analysed = run_kavor(dir.path());
    ASSERT_EQ(analysed.status, 0) << analysed.err;
    EXPECT_TRUE(has_line(split_lines(analysed.out), std::string(" ") + r + " 180 NAD ")) << analysed.out;
  }
}

}  // namespace
}  // namespace kavor::testing
