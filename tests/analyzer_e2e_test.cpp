// The built `kavor` program run as a separate process on example pairs.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_util.hpp"

namespace kavor {
namespace {

using testing::ScratchDir;
namespace fs = std::filesystem;

// Position and rotation lines of the summary.
std::vector<std::string> summary_values(const std::string& out) {
  const auto lines = testing::split_lines(out);
  std::vector<std::string> v;
  for (size_t i = 0; i + 2 < lines.size(); ++i) {
    if (lines[i] == "  POSITION:[r, theta(polar angle), phi(azimuth angle)]") v.push_back(lines[i + 2]);
    if (lines[i] == "  ROTATION: (alpha,beta and gamma Euler angles)") v.push_back(lines[i + 2]);
  }
  return v;
}

std::string result_file(const ScratchDir& dir, const std::string& suffix) {
  for (const std::string& f : dir.files())
    if (f.size() > suffix.size() && f.compare(f.size() - suffix.size(), suffix.size(), suffix) == 0) return f;
  return {};
}

struct Atom3 {
  std::string label;
  double x, y, z;
};

double element_mass(const std::string& label) {
  static const std::map<std::string, double> m = {{"H", 1.008}, {"C", 12.011}, {"N", 14.007},
                                                  {"O", 15.999}, {"S", 32.06}, {"Cl", 35.45}};
  auto it = m.find(label);
  return it == m.end() ? 0.0 : it->second;
}

TEST(AnalyzerProgram, ResultFilesMatchSummaryAndReadBack) {
  const fs::path input = testing::example("n-methylformamide-dimer");
  if (!fs::exists(input)) GTEST_SKIP() << "example not present";
  ScratchDir dir;
  fs::copy_file(input, dir / "input-GEOMETRY.xyz");
  const auto run = testing::run_binary(KAVOR_BINARY, dir.path());
  ASSERT_EQ(run.status, 0);
  const auto values = summary_values(run.out);
  ASSERT_EQ(values.size(), 2u);
  // "    5.2  92  82" and "  23 132  38": rebuild the stem independently.
  std::istringstream pos(values[0]), rot(values[1]);
  double r;
  int t, p, a, b, g;
  pos >> r >> t >> p;
  rot >> a >> b >> g;
  char stem[64];
  std::snprintf(stem, sizeof stem, "[%06.1f-%03d-%03d]-(%03d-%03d-%03d", r, t, p, a, b, g);
  const std::string geometry = result_file(dir, ")-KAVOR.xyz");
  EXPECT_EQ(geometry, std::string(stem) + ")-KAVOR.xyz");
  EXPECT_EQ(result_file(dir, ")-KAVOR-UCSF-Chimera.bild"), std::string(stem) + ")-KAVOR-UCSF-Chimera.bild");
  EXPECT_TRUE(fs::exists(dir / "LOG-PARAM-ONLY.txt"));

  // Molecule 2 in the geometry file: centre at the origin, inertia tensor diagonal.
  const auto lines = testing::read_lines(dir / geometry);
  const int n = std::stoi(lines[0]);
  ASSERT_EQ(static_cast<int>(lines.size()), n + 2);
  const int n1 = 9;
  std::vector<Atom3> atoms;
  for (int i = 2; i < n + 2; ++i) {
    Atom3 at;
    std::istringstream in(lines[i]);
    in >> at.label >> at.x >> at.y >> at.z;
    atoms.push_back(at);
  }
  double mass = 0, cx = 0, cy = 0, cz = 0;
  for (int i = n1; i < n; ++i) {
    const double m = element_mass(atoms[i].label);
    ASSERT_GT(m, 0.0) << atoms[i].label;
    mass += m;
    cx += m * atoms[i].x;
    cy += m * atoms[i].y;
    cz += m * atoms[i].z;
  }
  EXPECT_NEAR(cx / mass, 0.0, 1e-4);
  EXPECT_NEAR(cy / mass, 0.0, 1e-4);
  EXPECT_NEAR(cz / mass, 0.0, 1e-4);
  double ixy = 0, ixz = 0, iyz = 0, ixx = 0;
  for (int i = n1; i < n; ++i) {
    const double m = element_mass(atoms[i].label);
    ixy -= m * atoms[i].x * atoms[i].y;
    ixz -= m * atoms[i].x * atoms[i].z;
    iyz -= m * atoms[i].y * atoms[i].z;
    ixx += m * (atoms[i].y * atoms[i].y + atoms[i].z * atoms[i].z);
  }
  EXPECT_LT(std::fabs(ixy) / ixx, 1e-4);
  EXPECT_LT(std::fabs(ixz) / ixx, 1e-4);
  EXPECT_LT(std::fabs(iyz) / ixx, 1e-4);

  // The geometry file is a valid input once N1 is added: same summary.
  ScratchDir again;
  testing::write_file(again / "input-GEOMETRY.xyz",
                      testing::read_file(dir / geometry) + "\n" + std::to_string(n1) + "\n");
  const auto rerun = testing::run_binary(KAVOR_BINARY, again.path());
  EXPECT_EQ(rerun.status, 0);
  EXPECT_EQ(summary_values(rerun.out), values);
}

TEST(AnalyzerProgram, SymmetricPairIsRefusedWithoutResultFiles) {
  const fs::path input = testing::example("benzene-dimer");
  if (!fs::exists(input)) GTEST_SKIP() << "example not present";
  ScratchDir dir;
  fs::copy_file(input, dir / "input-GEOMETRY.xyz");
  const auto run = testing::run_binary(KAVOR_BINARY, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(summary_values(run.out).empty());
  EXPECT_EQ(result_file(dir, ".bild"), "");
  EXPECT_EQ(result_file(dir, ")-KAVOR.xyz"), "");
}

TEST(AnalyzerProgram, DistanceTooLargeForNameStopsAfterReport) {
  const fs::path input = testing::example("formamide-dimer");
  if (!fs::exists(input)) GTEST_SKIP() << "example not present";
  auto lines = testing::read_lines(input);
  // Move molecule 1 (atoms 1..6, lines 2..7) 20000 Angstrom along x.
  std::string text = lines[0] + "\n";
  for (int i = 1; i <= 12; ++i) {
    std::istringstream in(lines[i]);
    Atom3 a;
    in >> a.label >> a.x >> a.y >> a.z;
    if (i <= 6) a.x += 20000.0;
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s %.8f %.8f %.8f\n", a.label.c_str(), a.x, a.y, a.z);
    text += buf;
  }
  text += "\n6\n";
  ScratchDir dir;
  testing::write_file(dir / "input-GEOMETRY.xyz", text);
  const auto run = testing::run_binary(KAVOR_BINARY, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("  distance between molecules greater than \n  9999.9 Angstrons \n  name file error \n"),
            std::string::npos);
  EXPECT_TRUE(summary_values(run.out).empty());
  EXPECT_EQ(dir.files(), std::vector<std::string>({"LOG-PARAM-ONLY.txt", "input-GEOMETRY.xyz"}));
}

}  // namespace
}  // namespace kavor
