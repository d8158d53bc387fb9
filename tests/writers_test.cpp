// Geometry and UCSF Chimera BILD result files.
#include <gtest/gtest.h>

#include <cmath>

#include "core/outfile.hpp"
#include "core/writers.hpp"
#include "test_util.hpp"

namespace kavor {
namespace {

using testing::ScratchDir;
using testing::read_lines;

AtomTable six_atoms() {
  AtomTable t(6);
  for (int i = 0; i < 6; ++i) t[i] = Atom{0.5 * i, i == 0 ? 0.0 : -1.25 * i, 100.0 + i, 12.011, 6.0};
  t[1].znum = 1.0;
  t[5].znum = 92.0;
  return t;
}

TEST(GeometryFile, AnalyzerWritesLabelsAsRead) {
  ScratchDir dir;
  const AtomTable atoms = six_atoms();
  std::vector<Label> labels = {make_label("6"), make_label("C"), make_label("H"),
                               make_label("Cl"), make_label("O"), make_label("U")};
  OutputFile f;
  f.open(dir / "g.xyz");
  write_geometry(f, 6, atoms, labels, Mode::analyzer);
  f.commit();
  const auto lines = read_lines(dir / "g.xyz");
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "            6");  // free-format integer: blank + 12 columns
  EXPECT_EQ(lines[1], "   ");
  EXPECT_EQ(lines[2], "6      0.00000000     0.00000000   100.00000000");
  EXPECT_EQ(lines[3], "C      0.50000000    -1.25000000   101.00000000");
  EXPECT_EQ(lines[5].substr(0, 2), "Cl");
  EXPECT_EQ(lines[7].size(), 2u + 3 * 15);
}

TEST(GeometryFile, BuilderWritesAtomicNumbersInTwoColumns) {
  ScratchDir dir;
  const AtomTable atoms = six_atoms();
  std::vector<Label> labels(6, make_label("X"));
  OutputFile f;
  f.open(dir / "g.xyz");
  write_geometry(f, 6, atoms, labels, Mode::builder);
  f.commit();
  const auto lines = read_lines(dir / "g.xyz");
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[2].substr(0, 2), " 6");
  EXPECT_EQ(lines[3].substr(0, 2), " 1");
  EXPECT_EQ(lines[7].substr(0, 2), "92");
  EXPECT_EQ(lines[7].substr(2), "     2.50000000    -6.25000000   105.00000000");
}

TEST(BildFile, WorkedExampleLines) {
  EXPECT_EQ(bild_sphere_line({1.5, -2.25, 3.0}), ".sphere   1.500  -2.250   3.000  0.2");
  EXPECT_EQ(bild_arrow_line({1.5, -2.25, 3.0}, {6.5, -2.25, 3.0}),
            ".arrow   1.500  -2.250   3.000   6.500  -2.250   3.000");
}

TEST(BildFile, CoordinatesThatFillOrOverflowTheirFieldWiden) {
  EXPECT_EQ(bild_sphere_line({10000.0, 9999.9994, -1000.0}), ".sphere 10000.000 9999.999 -1000.000  0.2");
  EXPECT_EQ(bild_sphere_line({-999.999, 0.0, -0.0004}), ".sphere -999.999   0.000  -0.000  0.2");
  EXPECT_EQ(bild_arrow_line({0.0, 0.0, -1500.0}, {5.0, 0.0, -1500.0}),
            ".arrow   0.000   0.000 -1500.000   5.000   0.000 -1500.000");
  // A full geometry field is set off from the label or number before it.
  EXPECT_EQ(atomic_number_line(Atom{-10000.25597424, 1.0, 123456.5, 0.0, 17.0}),
            "17 -10000.25597424     1.00000000 123456.50000000");
}

TEST(BildFile, TwentyThreeLinesWithArrowsFiveTimesTheAxes) {
  ScratchDir dir;
  const Vec3 c{1.5, -2.25, 3.0};
  // Unit axes of molecule 1: z along +x, y along +y, x along -z.
  const std::array<Vec3, 3> ends = {Vec3{2.5, -2.25, 3.0}, Vec3{1.5, -1.25, 3.0},
                                    Vec3{1.5, -2.25, 2.0}};
  OutputFile f;
  f.open(dir / "b.bild");
  write_bild(f, c, c, ends);
  f.commit();
  const auto lines = read_lines(dir / "b.bild");
  ASSERT_EQ(lines.size(), 23u);
  const char* fixed[16] = {".comment - This file shows X,Y,Z ref.  and xyz der.",
                           ".comment - axes mounted over principal axes of inertia",
                           ".comment - of the molecules in the supramol. system ",
                           ".comment - molecule 2 Reference system XYZ ",
                           ".comment - Y Blue -IA, X Green -IB), Z Red -IC",
                           ".comment -      IA<IB<IC",
                           ".sphere 0 0 0 0.2",
                           ".color green",
                           ".arrow 0 0 0 10.0 0 0 ",
                           ".color blue",
                           ".arrow 0 0 0 0 10.0 0",
                           ".color red ",
                           ".arrow 0 0 0 0 0 10.0",
                           ".comment - molecule 1 (Derived system xyz: ",
                           ".comment - z blue (IA), y green (IB), x red (IC):",
                           ".comment - IA<IB<IC "};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(lines[i], fixed[i]) << "line " << i + 1;
  EXPECT_EQ(lines[16], ".sphere   1.500  -2.250   3.000  0.2");
  EXPECT_EQ(lines[17], ".color blue");
  EXPECT_EQ(lines[18], ".arrow   1.500  -2.250   3.000   6.500  -2.250   3.000");
  EXPECT_EQ(lines[19], ".color green");
  EXPECT_EQ(lines[20], ".arrow   1.500  -2.250   3.000   1.500   2.750   3.000");
  EXPECT_EQ(lines[21], ".color red ");
  EXPECT_EQ(lines[22], ".arrow   1.500  -2.250   3.000   1.500  -2.250  -2.000");
}

TEST(BildFile, TipsAreBuiltOnTheRebuiltCentre) {
  ScratchDir dir;
  const Vec3 c{0.0, 0.0, 5.0};
  const Vec3 rebuilt = centre_from_spherical(5.0, 0.0, 0.0);
  EXPECT_NEAR(rebuilt.z, 5.0, 1e-15);
  const Vec3 shifted{1.0, 0.0, 5.0};  // a tip base apart from the centre
  const std::array<Vec3, 3> ends = {Vec3{0, 0, 6}, Vec3{0, 1, 5}, Vec3{1, 0, 5}};
  OutputFile f;
  f.open(dir / "b.bild");
  write_bild(f, c, shifted, ends);
  f.commit();
  const auto lines = read_lines(dir / "b.bild");
  ASSERT_EQ(lines.size(), 23u);
  EXPECT_EQ(lines[16], ".sphere   0.000   0.000   5.000  0.2");
  EXPECT_EQ(lines[18], ".arrow   0.000   0.000   5.000   1.000   0.000  10.000");
  EXPECT_EQ(lines[22], ".arrow   0.000   0.000   5.000   6.000   0.000   5.000");
}

TEST(BildFile, CentreFromSphericalCoordinates) {
  const double pi = 3.14159265358979323846;
  const Vec3 v = centre_from_spherical(2.0, pi / 2, pi / 2);
  EXPECT_NEAR(v.x, 0.0, 1e-15);
  EXPECT_NEAR(v.y, 2.0, 1e-15);
  EXPECT_NEAR(v.z, 0.0, 1e-15);
  const Vec3 w = centre_from_spherical(3.0, pi / 3, pi / 4);
  EXPECT_NEAR(w.x, 3.0 * std::sin(pi / 3) / std::sqrt(2.0), 1e-14);
  EXPECT_NEAR(w.z, 1.5, 1e-14);
}

}  // namespace
}  // namespace kavor
