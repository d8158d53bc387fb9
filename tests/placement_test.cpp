// The builder's placement of molecule 1: the placed pair analyses back to the
// user's parameters, molecule 2 stays where the analysis put it, and the BILD
// file draws molecule 1's principal axes at its new place.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/atoms.hpp"
#include "core/geometry_input.hpp"
#include "core/param.hpp"
#include "core/reader.hpp"
#include "core/session.hpp"
#include "test_util.hpp"

namespace kavor::testing {
namespace {

namespace fs = std::filesystem;

constexpr double kDegPerRad = 57.29577951308232;

struct UserSet {
  double r, theta, phi, alpha, beta, gamma;  // Angstrom, degrees
};

// Atomic numbers and masses (atomic mass units) of the elements in the examples.
const std::map<std::string, std::pair<int, double>>& elements() {
  static const std::map<std::string, std::pair<int, double>> table = {
      {"H", {1, 1.008}},   {"C", {6, 12.011}},  {"N", {7, 14.007}},
      {"O", {8, 15.999}},  {"S", {16, 32.06}},  {"Cl", {17, 35.45}}};
  return table;
}

double mass_of(int z) {
  for (const auto& [symbol, entry] : elements())
    if (entry.first == z) return entry.second;
  ADD_FAILURE() << "no mass for Z = " << z;
  return 0.0;
}

std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// Copies an example's geometry block and appends the six user values.
void write_ud_input(const fs::path& dir, const std::string& example_name, const UserSet& u) {
  const std::vector<std::string> lines = read_lines(example(example_name));
  const int n = std::stoi(lines.at(0));
  std::string text;
  for (int i = 0; i <= n + 2; ++i) text += lines.at(i) + "\n";
  char values[512];
  std::snprintf(values, sizeof values,
                "r theta phi\n%.17g\n%.17g\n%.17g\nalpha beta gamma\n%.17g\n%.17g\n%.17g\nend\n",
                u.r, u.theta, u.phi, u.alpha, u.beta, u.gamma);
  write_file(dir / "UD-input-GEOMETRY.xyz", text + values);
}

// Runs the analysis core in analyzer mode on an example in `dir`; returns its
// values (radians) and leaves its ")-KAVOR.xyz" geometry in `dir`.
PairValues analyse_example(const fs::path& dir, const std::string& example_name) {
  fs::copy_file(example(example_name), dir / "input-GEOMETRY.xyz");
  std::ostringstream console;
  Session session(console, dir, Mode::analyzer);
  FreeFormatReader reader = FreeFormatReader::from_file(dir / "input-GEOMETRY.xyz");
  GeometryBlock block;
  block.n = read_atom_count(reader);
  read_atoms_and_n1(reader, block);
  const ParamResult result = param(block.n, block.n1, block.isymbol, block.icoo_and_m, session);
  session.staged.publish();  // as run_program does at the end of a run
  return result.returned;
}

fs::path file_ending(const fs::path& dir, const std::string& suffix) {
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      return entry.path();
  }
  ADD_FAILURE() << "no file ending " << suffix;
  return {};
}

struct PlacedAtom {
  int z;
  double p[3];
};

struct Placed {
  int n = 0, n1 = 0;
  std::vector<PlacedAtom> atoms;
  std::vector<std::string> atom_lines;
};

// The builder's "input-GEOMETRY.xyz": N, blank, N lines "(I2,3F15.8)", blank,
// N1, blank, "n".
Placed read_placed(const fs::path& file) {
  const std::vector<std::string> lines = read_lines(file);
  Placed placed;
  placed.n = std::stoi(lines.at(0));
  EXPECT_EQ(lines.size(), static_cast<size_t>(placed.n + 6));
  EXPECT_EQ(trim(lines.at(1)), "");
  for (int i = 0; i < placed.n; ++i) {
    const std::string& line = lines.at(i + 2);
    EXPECT_EQ(line.size(), 47u) << line;
    PlacedAtom a{std::stoi(line.substr(0, 2)),
                 {std::stod(line.substr(2, 15)), std::stod(line.substr(17, 15)),
                  std::stod(line.substr(32, 15))}};
    placed.atoms.push_back(a);
    placed.atom_lines.push_back(line);
  }
  EXPECT_EQ(trim(lines.at(placed.n + 2)), "");
  placed.n1 = std::stoi(lines.at(placed.n + 3));
  EXPECT_EQ(trim(lines.at(placed.n + 5)), "n");
  return placed;
}

// Molecule 2's lines of the analyzer's geometry file with each label
// ("(A2,3F15.8)") replaced by its atomic number ("(I2,3F15.8)").
std::vector<std::string> analysis_lines_as_numbers(const fs::path& kavor_xyz, int n, int n1) {
  const std::vector<std::string> lines = read_lines(kavor_xyz);
  std::vector<std::string> out;
  for (int i = n1; i < n; ++i) {
    const std::string& line = lines.at(i + 2);
    char z[8];
    std::snprintf(z, sizeof z, "%2d", elements().at(trim(line.substr(0, 2))).first);
    out.push_back(z + line.substr(2));
  }
  return out;
}

// Symmetric 3 x 3 eigenproblem by cyclic Jacobi rotations; columns of v are
// the eigenvectors of the returned eigenvalues (unsorted).
std::array<double, 3> jacobi(std::array<std::array<double, 3>, 3> a,
                             std::array<std::array<double, 3>, 3>& v) {
  v = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  for (int sweep = 0; sweep < 50; ++sweep) {
    const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
    if (off < 1e-30) break;
    for (int p = 0; p < 2; ++p)
      for (int q = p + 1; q < 3; ++q) {
        if (std::fabs(a[p][q]) < 1e-300) continue;
        const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
        const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (int k = 0; k < 3; ++k) {  // a := a J
          const double akp = a[k][p], akq = a[k][q];
          a[k][p] = c * akp - s * akq;
          a[k][q] = s * akp + c * akq;
        }
        for (int k = 0; k < 3; ++k) {  // a := J^T a
          const double apk = a[p][k], aqk = a[q][k];
          a[p][k] = c * apk - s * aqk;
          a[q][k] = s * apk + c * aqk;
        }
        for (int k = 0; k < 3; ++k) {
          const double vkp = v[k][p], vkq = v[k][q];
          v[k][p] = c * vkp - s * vkq;
          v[k][q] = s * vkp + c * vkq;
        }
      }
  }
  return {a[0][0], a[1][1], a[2][2]};
}

struct Axes {
  std::array<double, 3> centre;
  std::array<std::array<double, 3>, 3> axis;  // ascending moments: z, y, x
};

// Molecule 1's centre of mass and principal axes from the placed atoms.
Axes principal_axes(const Placed& placed) {
  Axes out{};
  double mass = 0.0;
  for (int i = 0; i < placed.n1; ++i) {
    const double m = mass_of(placed.atoms[i].z);
    mass += m;
    for (int j = 0; j < 3; ++j) out.centre[j] += m * placed.atoms[i].p[j];
  }
  for (int j = 0; j < 3; ++j) out.centre[j] /= mass;
  std::array<std::array<double, 3>, 3> inertia{};
  for (int i = 0; i < placed.n1; ++i) {
    const double m = mass_of(placed.atoms[i].z);
    double d[3], d2 = 0.0;
    for (int j = 0; j < 3; ++j) d[j] = placed.atoms[i].p[j] - out.centre[j], d2 += d[j] * d[j];
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) inertia[j][k] += m * ((j == k ? d2 : 0.0) - d[j] * d[k]);
  }
  std::array<std::array<double, 3>, 3> v;
  const std::array<double, 3> moments = jacobi(inertia, v);
  std::array<int, 3> order{0, 1, 2};
  std::sort(order.begin(), order.end(), [&](int a, int b) { return moments[a] < moments[b]; });
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 3; ++j) out.axis[k][j] = v[j][order[k]];
  return out;
}

// Lines 19, 21, 23 of the BILD file must draw molecule 1's z, y and x axes
// from its centre of mass, 5 Angstrom long.
void expect_bild_draws_axes(const fs::path& bild, const Placed& placed) {
  const std::vector<std::string> lines = read_lines(bild);
  ASSERT_EQ(lines.size(), 23u);
  const Axes axes = principal_axes(placed);
  const char* names[3] = {"z", "y", "x"};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(std::string("axis ") + names[k]);
    const std::string& line = lines.at(18 + 2 * k);
    ASSERT_EQ(line.rfind(".arrow", 0), 0u) << line;
    ASSERT_EQ(line.size(), 6u + 6 * 8) << line;
    double f[6];
    for (int j = 0; j < 6; ++j) f[j] = std::stod(line.substr(6 + 8 * j, 8));
    double dir[3], len = 0.0, cosine = 0.0;
    for (int j = 0; j < 3; ++j) {
      EXPECT_NEAR(f[j], axes.centre[j], 1e-3);
      dir[j] = (f[3 + j] - f[j]) / 5.0;
      len += dir[j] * dir[j];
    }
    len = std::sqrt(len);
    EXPECT_NEAR(len, 1.0, 2e-3);
    for (int j = 0; j < 3; ++j) cosine += dir[j] / len * axes.axis[k][j];
    EXPECT_GT(std::fabs(cosine), 0.9999);
  }
  const std::string& sphere = lines.at(16);
  ASSERT_EQ(sphere.rfind(".sphere", 0), 0u);
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(std::stod(sphere.substr(7 + 8 * j, 8)), axes.centre[j], 1e-3);
}

long whole(double degrees) { return std::lround(degrees); }

// A user value in [lo, hi]: a whole number plus at most 0.3, so that it stays
// 0.2 away from every rounding gate at a half.
double away_from_gates(std::mt19937& rng, int lo, int hi) {
  std::uniform_int_distribution<int> whole_part(lo, hi);
  std::uniform_real_distribution<double> offset(-0.3, 0.3);
  return whole_part(rng) + offset(rng);
}

TEST(UserPlacement, AnalyzerReportsTheUserParametersBack) {
  // Builder, then analyzer on the builder's "input-GEOMETRY.xyz".
  std::mt19937 rng(20240611);
  const char* examples[] = {"formamide-dimer", "n-methylformamide-2-methylpyridine", "ethanol-dimer"};
  for (const char* name : examples) {
    for (int run = 0; run < 2; ++run) {
      UserSet u{};
      u.r = std::uniform_int_distribution<int>(30, 120)(rng) / 10.0 +
            std::uniform_real_distribution<double>(-0.02, 0.02)(rng);
      u.theta = away_from_gates(rng, 10, 170);
      u.phi = away_from_gates(rng, 10, 350);
      u.alpha = away_from_gates(rng, 10, 350);
      u.beta = away_from_gates(rng, 10, 170);
      u.gamma = away_from_gates(rng, 10, 350);
      char trace[200];
      std::snprintf(trace, sizeof trace, "%s r %.4f theta %.3f phi %.3f alpha %.3f beta %.3f gamma %.3f",
                    name, u.r, u.theta, u.phi, u.alpha, u.beta, u.gamma);
      SCOPED_TRACE(trace);

      ScratchDir reference;
      analyse_example(reference.path(), name);
      ScratchDir dir;
      write_ud_input(dir.path(), name, u);
      const RunResult built = run_ud_kavor(dir.path());
      ASSERT_EQ(built.status, 0) << built.err;

      char position[32], rotation[32], stem[64];
      std::snprintf(position, sizeof position, "%7.1f%4ld%4ld", u.r, whole(u.theta), whole(u.phi));
      std::snprintf(rotation, sizeof rotation, "%4ld%4ld%4ld", whole(u.alpha), whole(u.beta),
                    whole(u.gamma));
      std::snprintf(stem, sizeof stem, "[%06.1f-%03ld-%03ld]-(%03ld-%03ld-%03ld", u.r,
                    whole(u.theta), whole(u.phi), whole(u.alpha), whole(u.beta), whole(u.gamma));
      const std::vector<std::string> built_out = split_lines(built.out);
      EXPECT_NE(std::find(built_out.begin(), built_out.end(), position), built_out.end());
      EXPECT_NE(std::find(built_out.begin(), built_out.end(), rotation), built_out.end());

      const Placed placed = read_placed(dir / "input-GEOMETRY.xyz");
      EXPECT_EQ(placed.n, std::stoi(read_lines(example(name)).at(0)));
      const std::vector<std::string> mol2(placed.atom_lines.begin() + placed.n1, placed.atom_lines.end());
      EXPECT_EQ(mol2, analysis_lines_as_numbers(file_ending(reference.path(), ")-KAVOR.xyz"),
                                                placed.n, placed.n1));
      const bool short_contacts = built.out.find(">>>>") != std::string::npos;
      const fs::path bild = dir / (std::string(stem) + (short_contacts ? ")-SHORT-CONTACTS-IDENTIFIED.bild"
                                                                       : ")-UD-KAVOR-UCSF-Chimera.bild"));
      ASSERT_TRUE(fs::exists(bild)) << bild;
      expect_bild_draws_axes(bild, placed);

      const RunResult analysed = run_kavor(dir.path());
      ASSERT_EQ(analysed.status, 0) << analysed.err;
      const std::vector<std::string> out = split_lines(analysed.out);
      EXPECT_NE(std::find(out.begin(), out.end(), position), out.end()) << analysed.out;
      EXPECT_NE(std::find(out.begin(), out.end(), rotation), out.end()) << analysed.out;
      EXPECT_TRUE(fs::exists(dir / (std::string(stem) + ")-KAVOR.xyz")));
    }
  }
}

// The three numbers on the line two below `header` in a program's summary.
std::array<long, 3> summary_triple(const std::string& out, const std::string& header) {
  const std::vector<std::string> lines = split_lines(out);
  std::array<long, 3> v{-1, -1, -1};
  for (size_t i = 0; i + 2 < lines.size(); ++i)
    if (lines[i] == header) std::istringstream(lines[i + 2]) >> v[0] >> v[1] >> v[2];
  return v;
}

// The whole degrees on the last report line starting with `text`.
long last_report_value(const fs::path& report, const std::string& text) {
  long value = -1;
  for (const std::string& line : read_lines(report))
    if (line.rfind(text, 0) == 0) value = std::stol(line.substr(text.size()));
  return value;
}

// Distance between two angles in degrees, modulo a full turn.
double turn_distance(double a, double b) {
  const double d = std::fmod(std::fabs(a - b), 360.0);
  return std::min(d, 360.0 - d);
}

TEST(UserPlacement, AnalyzerKeepsTheOrientationAtBetaZeroAnd180) {
  // At beta 180 only alpha - gamma is defined, at beta 0 only alpha + gamma,
  // and the search may refine alpha or gamma a few degrees past a full turn
  // (the report's fit lines then read 361 to 366). Whatever it finds, the
  // summary must describe the user's orientation, and the fit lines must
  // agree with it modulo a full turn.
  const UserSet cases[] = {
      {7.9, 120, 60, 179.8, 180, 66.71},  // fit gamma 366 (summary was 119 180 0)
      {7.9, 120, 60, 10, 180, 30},        // fit alpha 366 (summary was 0 180 26)
      {7.9, 120, 60, 95.81, 180, 103.65},
      {7.9, 120, 60, 253.85, 179.7, 2.41},
      {7.9, 120, 60, 300.2, 180, 5.3},
      {7.9, 120, 60, 10, 0, 30},
      {7.9, 120, 60, 357.7, 0, 100},
      {7.9, 120, 60, 185.44, 0.3, 122.58},
  };
  int past_full_turn = 0;
  for (const char* name : {"n-methylformamide-dimer", "ethanol-dimer"}) {
    for (const UserSet& u : cases) {
      char trace[160];
      std::snprintf(trace, sizeof trace, "%s alpha %.2f beta %.2f gamma %.2f", name, u.alpha, u.beta,
                    u.gamma);
      SCOPED_TRACE(trace);
      ScratchDir dir;
      write_ud_input(dir.path(), name, u);
      const RunResult built = run_ud_kavor(dir.path());
      ASSERT_EQ(built.status, 0) << built.err;
      const bool beta_zero = whole(u.beta) == 0;
      // The builder holds gamma at 0 when beta rounds to 0, and says so.
      const std::array<long, 3> placed =
          summary_triple(built.out, "  ROTATION: (alpha, beta, and gamma Euler angles)");
      if (beta_zero) {
        EXPECT_EQ(placed[2], 0);
      }
      const double orientation = beta_zero ? u.alpha : u.alpha - u.gamma;

      const RunResult analysed = run_kavor(dir.path());
      ASSERT_EQ(analysed.status, 0) << analysed.err;
      const std::array<long, 3> found =
          summary_triple(analysed.out, "  ROTATION: (alpha,beta and gamma Euler angles)");
      EXPECT_EQ(found[1], beta_zero ? 0 : 180);
      const double found_orientation = beta_zero ? found[0] + found[2] : found[0] - found[2];
      EXPECT_LE(turn_distance(found_orientation, orientation), 1.0)
          << "summary " << found[0] << " " << found[1] << " " << found[2];

      const fs::path report = dir / "LOG-PARAM-ONLY.txt";
      const long fit_alpha = last_report_value(report, " alpha fit ALIGNMENT");
      const long fit_gamma = last_report_value(report, " gamma fit ALIGNMENT");
      EXPECT_EQ(turn_distance(fit_alpha, found[0]), 0.0) << "fit alpha " << fit_alpha;
      EXPECT_EQ(turn_distance(fit_gamma, found[2]), 0.0) << "fit gamma " << fit_gamma;
      if (fit_alpha > 360 || fit_gamma > 360) ++past_full_turn;
      char rotation[32];
      std::snprintf(rotation, sizeof rotation, "-(%03ld-%03ld-%03ld)-KAVOR.xyz", found[0], found[1],
                    found[2]);
      EXPECT_TRUE(fs::exists(file_ending(dir.path(), rotation))) << rotation;
    }
  }
  EXPECT_GE(past_full_turn, 4);  // the cases above do reach past a full turn
}

TEST(UserPlacement, FoundParametersReproduceTheAnalysisFrameGeometry) {
  // Turning molecule 1 back by the found angles and then by the same angles as
  // the user's, at the measured position, must leave the pair where the
  // analysis put it.
  for (const char* name : {"glycine-dimer", "2-chloroethanol-dimethylsulfoxide"}) {
    SCOPED_TRACE(name);
    ScratchDir reference;
    const PairValues found = analyse_example(reference.path(), name);
    const UserSet u{found.r,
                    kDegPerRad * found.theta,
                    kDegPerRad * found.phi,
                    kDegPerRad * found.alpha,
                    kDegPerRad * found.beta,
                    kDegPerRad * found.gamma};
    ScratchDir dir;
    write_ud_input(dir.path(), name, u);
    const RunResult built = run_ud_kavor(dir.path());
    ASSERT_EQ(built.status, 0) << built.err;

    const Placed placed = read_placed(dir / "input-GEOMETRY.xyz");
    const std::vector<std::string> expected = read_lines(file_ending(reference.path(), ")-KAVOR.xyz"));
    ASSERT_EQ(expected.size(), static_cast<size_t>(placed.n + 2));
    for (int i = 0; i < placed.n; ++i) {
      const std::string& line = expected[i + 2];
      for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(placed.atoms[i].p[j], std::stod(line.substr(2 + 15 * j, 15)), 2e-6)
            << "atom " << i + 1;
    }
    const std::vector<std::string> mol2(placed.atom_lines.begin() + placed.n1, placed.atom_lines.end());
    EXPECT_EQ(mol2, analysis_lines_as_numbers(file_ending(reference.path(), ")-KAVOR.xyz"), placed.n,
                                              placed.n1));
  }
}

}  // namespace
}  // namespace kavor::testing
