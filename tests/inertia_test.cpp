// Centres of mass, atomic-number groups, the higher-Z flag, the inertia
// tensor, principal axes, rotational constants and their report sections.
#include "core/inertia.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/elements.hpp"
#include "core/lapack/diasym.hpp"
#include "core/pow_half.hpp"
#include "test_util.hpp"

namespace kavor {
namespace {

using testing::read_lines;
using testing::ScratchDir;

struct Placed {
  const char* label;
  double x, y, z;
};

// Two molecules identified as the core does it, analysed with the report
// written into a scratch directory.
struct Core {
  ScratchDir dir;
  std::ostringstream console;
  Session session{console, dir.path(), Mode::analyzer};
  AtomTable table;
  int n = 0, n1 = 0;
  std::array<MoleculeInertia, 2> mol;
  PairAxes axes;
  std::vector<Label> labels;

  Core(const std::vector<Placed>& mol1, const std::vector<Placed>& mol2) {
    for (const auto* molecule : {&mol1, &mol2})
      for (const Placed& p : *molecule) {
        labels.push_back(make_label(p.label));
        table.push_back(Atom{p.x, p.y, p.z, 0.0, 0.0});
      }
    n = static_cast<int>(table.size());
    n1 = static_cast<int>(mol1.size());
    identify_elements(n, labels, table, Mode::analyzer);
  }
  void analyse_both() {
    for (int k = 0; k < 2; ++k) {
      mol[k] = k == 0 ? principal_axes(table, 0, n1) : principal_axes(table, n1, n);
      open_report(session);
      write_centre_and_tensor(session.report, mol[k], k);
      write_principal_moments(session.report, mol[k], k);
    }
    axes = end_point_table(mol);
  }
  std::vector<std::string> report() {
    session.report.file()->commit();
    return read_lines(dir / "LOG-PARAM-ONLY.txt");
  }
};

// Water in the xy plane, O-H 0.9572 A, H-O-H 104.52 degrees.
std::vector<Placed> water(double dz = 0.0) {
  const double half = 104.52 / 2.0 * M_PI / 180.0;
  return {{"O", 0.0, 0.0, dz},
          {"H", 0.9572 * std::sin(half), 0.9572 * std::cos(half), dz},
          {"H", -0.9572 * std::sin(half), 0.9572 * std::cos(half), dz}};
}

// Methane with the carbon at the origin.
std::vector<Placed> methane() {
  const double a = 1.09 / std::sqrt(3.0);
  return {{"C", 0, 0, 0}, {"H", a, a, a}, {"H", a, -a, -a}, {"H", -a, a, -a}, {"H", -a, -a, a}};
}

std::vector<double> numbers_after(const std::string& line, size_t text_length) {
  std::istringstream in(line.substr(text_length));
  std::vector<double> values;
  double v;
  while (in >> v) values.push_back(v);
  return values;
}

size_t find_line(const std::vector<std::string>& lines, const std::string& text, size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i] == text) return i;
  ADD_FAILURE() << "line not found: '" << text << "'";
  return lines.size();
}

double length(const Vec3& v) { return std::sqrt(dot(v, v)); }

TEST(AtomicNumberGroups, WaterListsHydrogenThenOxygen) {
  Core core(water(), methane());
  core.analyse_both();
  const GroupTable& g = core.mol[0].groups;
  EXPECT_TRUE(g.present[1]);
  EXPECT_TRUE(g.present[8]);
  EXPECT_FALSE(g.present[6]);
  EXPECT_EQ(g.count[1], 2.0);
  EXPECT_EQ(g.count[8], 1.0);
  EXPECT_EQ(core.mol[0].z_high, 8);
  EXPECT_EQ(core.mol[1].z_high, 6);

  const auto lines = core.report();
  const size_t table = find_line(lines, "  center of mass table ");
  ASSERT_LT(table + 8, lines.size());
  EXPECT_EQ(lines[table + 1], "   ");
  // Three lines per group, Z = 1 first.
  ASSERT_EQ(lines[table + 2].rfind(" atomic number", 0), 0u) << lines[table + 2];
  auto h = numbers_after(lines[table + 2], 14);
  ASSERT_EQ(h.size(), 4u);
  EXPECT_EQ(h[0], 1.0);
  EXPECT_NEAR(h[1], 0.0, 1e-15);  // the two H are symmetric about x = 0
  EXPECT_EQ(numbers_after(lines[table + 3], 19), std::vector<double>{2.0});
  ASSERT_EQ(lines[table + 3].rfind(" number of Z atoms=", 0), 0u);
  ASSERT_EQ(lines[table + 4].rfind("  distance from CM ", 0), 0u);
  auto o = numbers_after(lines[table + 5], 14);
  ASSERT_EQ(o.size(), 4u);
  EXPECT_EQ(o[0], 8.0);
  EXPECT_EQ(o[2], 0.0);  // oxygen at the input origin
  EXPECT_EQ(numbers_after(lines[table + 6], 19), std::vector<double>{1.0});
  for (int i = 8; i <= 10; ++i) EXPECT_EQ(lines[table + i], "   ");

  // Oxygen is 2 m_H y_H / M = 0.0656 A from the centre of mass: too close.
  const double m_h = element_mass(1), m_o = element_mass(8);
  const double y_h = 0.9572 * std::cos(104.52 / 2.0 * M_PI / 180.0);
  EXPECT_NEAR(g.distance[8], 2 * m_h * y_h / (2 * m_h + m_o), 1e-14);
  EXPECT_FALSE(g.usable[8]);
}

TEST(CentreOfMass, MassWeightedAndUnmovedByUnrecognisedAtoms) {
  auto with_ghost = water();
  with_ghost.push_back({"Xx", 50.0, -30.0, 12.0});
  Core plain(water(), methane()), ghost(with_ghost, methane());
  plain.analyse_both();
  ghost.analyse_both();
  EXPECT_EQ(ghost.n1, 4);
  EXPECT_EQ(plain.axes.cm[0].x, ghost.axes.cm[0].x);
  EXPECT_EQ(plain.axes.cm[0].y, ghost.axes.cm[0].y);
  EXPECT_EQ(plain.axes.cm[0].z, ghost.axes.cm[0].z);
  EXPECT_EQ(ghost.mol[0].groups.count[1] + ghost.mol[0].groups.count[8], 3.0);
  for (int z = 1; z <= 92; ++z) {
    if (z != 1 && z != 8) {
      EXPECT_FALSE(ghost.mol[0].groups.present[z]) << z;
    }
  }
  for (int j = 0; j < 3; ++j) EXPECT_EQ(plain.mol[0].moments[j], ghost.mol[0].moments[j]);

  const double m_h = element_mass(1), m_o = element_mass(8);
  const double y_h = 0.9572 * std::cos(104.52 / 2.0 * M_PI / 180.0);
  EXPECT_NEAR(plain.axes.cm[0].y, 2 * m_h * y_h / (2 * m_h + m_o), 1e-15);
  EXPECT_NEAR(plain.axes.cm[0].x, 0.0, 1e-15);
  // Methane's carbon at the origin: its centre is the origin too.
  EXPECT_NEAR(plain.axes.cm[1].x, 0.0, 1e-15);
  EXPECT_EQ(plain.n - plain.n1, 5);
}

TEST(HigherZFlag, UnsetForHeavyAtomAtTheCentreOrWithinThreshold) {
  Core core(methane(), water());
  core.analyse_both();
  EXPECT_EQ(core.mol[0].groups.distance[6], 0.0);
  EXPECT_FALSE(core.mol[0].groups.usable[6]);

  // Cl at the origin, four H placed so that the centre of mass lies at
  // -d on x: the Cl group is d from the centre.
  auto chlorine_at = [](double d) {
    const double m_cl = element_mass(17), m_h = element_mass(1);
    const double xh = -d * (m_cl + 4 * m_h) / (4 * m_h);
    return std::vector<Placed>{
        {"Cl", 0, 0, 0}, {"H", xh, 1, 0}, {"H", xh, -1, 0}, {"H", xh, 0, 1}, {"H", xh, 0, -1}};
  };
  struct Case {
    double d;
    bool set;
  };
  // The threshold is 0.1 as a float (0.10000000149011612), strictly exceeded.
  for (const Case c :
       {Case{0.1, false}, Case{0.100000001, false}, Case{0.100000002, true}, Case{0.5, true}}) {
    Core k(chlorine_at(c.d), water());
    k.analyse_both();
    EXPECT_NEAR(k.mol[0].groups.distance[17], c.d, 1e-15);
    EXPECT_EQ(k.mol[0].groups.usable[17], c.set) << c.d;
    // Only the highest Z counts: hydrogen never gets the flag.
    EXPECT_FALSE(k.mol[0].groups.usable[1]);
  }

  // Two heavy atoms symmetric about the centre: group centre at distance 0.
  Core pair({{"S", 1, 0, 0}, {"S", -1, 0, 0}, {"H", 0, 1, 0}, {"H", 0, -1, 0}}, water());
  pair.analyse_both();
  EXPECT_EQ(pair.mol[0].groups.distance[16], 0.0);
  EXPECT_FALSE(pair.mol[0].groups.usable[16]);
}

TEST(InertiaTensor, WaterMomentsAxesAndEndPoints) {
  Core core(water(), water(5.0));
  core.analyse_both();
  // Independent moments about the centre, in amu A^2 then g cm^2.
  const double m_h = element_mass(1), m_o = element_mass(8);
  const double half = 104.52 / 2.0 * M_PI / 180.0;
  const double xh = 0.9572 * std::sin(half), yh = 0.9572 * std::cos(half);
  const double ycm = 2 * m_h * yh / (2 * m_h + m_o);
  const double about_y = 2 * m_h * xh * xh;                                    // in-plane
  const double about_x = m_o * ycm * ycm + 2 * m_h * (yh - ycm) * (yh - ycm);  // in-plane
  const double to_g_cm2 = 1.6605389005928226e-24 * 1e-16;
  for (int k = 0; k < 2; ++k) {
    const auto& I = core.mol[k].moments;
    EXPECT_LE(I[0], I[1]);
    EXPECT_LE(I[1], I[2]);
    EXPECT_NEAR(I[0] / to_g_cm2, std::min(about_x, about_y), 1e-6);
    EXPECT_NEAR(I[1] / to_g_cm2, std::max(about_x, about_y), 1e-6);
    // Planar: I_C = I_A + I_B.
    EXPECT_NEAR(I[2], I[0] + I[1], 1e-12 * I[2]);
    // Of order 1e-40 g cm^2, not amu A^2.
    EXPECT_GT(I[0], 1e-41);
    EXPECT_LT(I[2], 1e-39);
    // I_C belongs to the axis normal to the plane.
    EXPECT_NEAR(std::fabs(core.mol[k].eigvec[2].z), 1.0, 1e-12);
    for (int j = 0; j < 3; ++j) {
      const Vec3 axis = sub(core.axes.endpoints[3 * k + j], core.axes.cm[k]);
      EXPECT_NEAR(length(axis), 1.0, 1e-12);
      for (int i = j + 1; i < 3; ++i)
        EXPECT_NEAR(dot(axis, sub(core.axes.endpoints[3 * k + i], core.axes.cm[k])), 0.0, 1e-12);
    }
  }
  EXPECT_NEAR(core.axes.cm[1].z, 5.0, 1e-15);
  // The kept tensor is the one printed, in g cm^2.
  EXPECT_NEAR(core.mol[0].tensor.m[2][2], core.mol[0].moments[2], 1e-12 * core.mol[0].moments[2]);
  EXPECT_EQ(core.mol[0].tensor.m[0][2], 0.0);
}

TEST(RotationalConstants, WaterGigahertzAndWavenumbers) {
  Core core(water(), methane());
  core.analyse_both();
  const auto lines = core.report();
  const size_t ghz = find_line(lines, " ROTATIONAL CONSTANTS (GHz): ");
  const size_t cm = find_line(lines, " ROTATIONAL CONSTANTS (cm-1): ", ghz);
  ASSERT_LT(cm + 7, lines.size());
  EXPECT_EQ(numbers_after(lines[ghz + 1], 11), std::vector<double>{1.0});
  double g[3], w[3];
  for (int j = 0; j < 3; ++j) {
    g[j] = std::stod(lines[ghz + 4 + j]);
    w[j] = std::stod(lines[cm + 4 + j]);
    EXPECT_EQ(w[j], g[j] / 30.0) << j;  // 30.0, not the speed of light
    EXPECT_EQ(g[j], (1.0 / core.mol[0].moments[j]) * 8.397824785295456e-38);
  }
  // Rigid-rotor constants h / (8 pi^2 I) from the moments in SI units
  // (I in amu A^2 from the geometry) agree with the program's factor, a
  // fixed constant 0.07% above today's h / (8 pi^2).
  const double m_h = element_mass(1), m_o = element_mass(8);
  const double half = 104.52 / 2.0 * M_PI / 180.0;
  const double xh = 0.9572 * std::sin(half), yh = 0.9572 * std::cos(half);
  const double ycm = 2 * m_h * yh / (2 * m_h + m_o);
  const double i_a = m_o * ycm * ycm + 2 * m_h * (yh - ycm) * (yh - ycm);
  const double i_b = 2 * m_h * xh * xh;
  const double amu_a2 = 1.66053906660e-27 * 1e-20;  // kg m^2
  auto rigid_rotor_ghz = [&](double i) {
    return 6.62607015e-34 / (8 * M_PI * M_PI * i * amu_a2) / 1e9;
  };
  EXPECT_NEAR(g[0], rigid_rotor_ghz(i_a), 1e-3 * g[0]);
  EXPECT_NEAR(g[1], rigid_rotor_ghz(i_b), 1e-3 * g[1]);
  EXPECT_NEAR(g[2], rigid_rotor_ghz(i_a + i_b), 1e-3 * g[2]);
  // The same order as measured for water (about 835, 435, 278 GHz).
  EXPECT_NEAR(g[0], 835.0, 20.0);
  EXPECT_NEAR(g[2], 278.0, 10.0);
  const size_t kg = find_line(lines, "  EIGENVALUES: Moments of Inertia (kg m^2):");
  EXPECT_EQ(std::stod(lines[kg + 4].substr(12)), core.mol[0].moments[0] * 1.0000000116860974e-07);
}

// pow_half must give pow's bits wherever it skips pow: random doubles of
// every magnitude, lengths of the usual size, and the hard cases, squares
// whose root lies near the middle between two doubles (where pow, not being
// correctly rounded, can and does differ from sqrt) or near the 0.4 ULP
// bound of the shortcut.
TEST(PowHalf, EqualsPowBitForBit) {
  std::mt19937_64 random(20261208);
  auto fraction = [&] { return static_cast<double>(random() >> 11) * 0x1p-53; };
  std::vector<double> values = {0.0, -0.0, -1.0, 1.0, 2.0, 4.0, 0.25, 0x1p-900, 0x1p1000,
                                0x1p-1074, 1e308, std::numeric_limits<double>::infinity()};
  int differs_from_sqrt = 0;
  for (int i = 0; i < 200000; ++i) {
    values.push_back(std::bit_cast<double>(random() >> 1));
    values.push_back(std::ldexp(1.0 + fraction(), static_cast<int>(random() % 40) - 20));
    const double s = std::ldexp(1.0 + fraction(), static_cast<int>(random() % 200) - 100);
    const long double ulp = static_cast<long double>(std::nextafter(s, 2 * s) - s);
    for (const long double t : {0.5L, 0.35L + 0.1L * fraction()}) {
      const long double root = s + t * ulp;
      const double x = static_cast<double>(root * root);
      values.insert(values.end(), {x, std::nextafter(x, 0.0), std::nextafter(x, 2 * x)});
    }
    values.push_back(s * s);
  }
  for (const double x : values) {
    const double want = std::pow(x, 0.5);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(pow_half(x)), std::bit_cast<std::uint64_t>(want))
        << std::hexfloat << "x = " << x;
    if (want != std::sqrt(x)) ++differs_from_sqrt;
  }
  // The hard cases are hard: sqrt alone would have been wrong for some.
  EXPECT_GT(differs_from_sqrt, 0);
  EXPECT_TRUE(std::isnan(pow_half(std::numeric_limits<double>::quiet_NaN())));
}

// diasym runs dsyev's steps itself for 3 x 3 matrices (partly as C++
// transcriptions): it must give dsyev's bits. True if it does for the
// symmetric matrix m (column by column).
bool diasym_equals_dsyev(const double (&m)[9]) {
  double a[9], b[3], ref_a[9], ref_b[3];
  std::memcpy(a, m, sizeof m);
  std::memcpy(ref_a, m, sizeof m);
  diasym(a, b, 3);
  diasym_dsyev(ref_a, ref_b, 3);
  return std::memcmp(a, ref_a, sizeof a) == 0 && std::memcmp(b, ref_b, sizeof b) == 0;
}

// Tensors of every size the programs meet (g cm^2) and where dsyev scales,
// with repeated or zero moments, zero off-diagonals in each place, exactly
// diagonal ones and moments a few units in the last place apart.
TEST(Diasym, EqualsDsyevBitForBit) {
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int differ = 0;
  for (int k = 0; k < 20000; ++k) {
    const double scale = std::pow(10.0, -45.0 + 15.0 * (k % 7)) * (k % 97 == 0 ? 1e-110 : 1.0);
    double m[9];
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i <= j; ++i) m[i + 3 * j] = m[j + 3 * i] = scale * u(rng);
    if (k % 5 == 1) m[1] = m[3] = m[2] = m[6] = 0.0;  // block diagonal
    if (k % 5 == 2) m[0] = m[4] = m[8], m[1] = m[3] = m[2] = m[6] = m[5] = m[7] = 0.0;  // spherical
    if (k % 5 == 3) m[1] = m[3] = m[5] = m[7] = 0.0;        // linear-ish
    if (k % 11 == 4) m[0] = m[4] = 0.0, m[1] = m[3] = 0.0;  // a zero moment
    // One zero off-diagonal, (0,1), (0,2) or (1,2); none at all; two
    // moments 0 to 3 ulp apart; a tiny (0,1) or (1,2).
    if (k % 13 == 5) m[1 + k % 2] = m[3 * (1 + k % 2)] = 0.0;
    if (k % 13 == 6) m[5] = m[7] = 0.0;
    if (k % 13 == 7) m[1] = m[3] = m[2] = m[6] = m[5] = m[7] = 0.0;
    if (k % 17 == 8) m[4] = m[0] * (1.0 + (k % 4) * 0x1p-52);
    if (k % 19 == 9) m[1 + 4 * (k % 2)] *= 1e-9, m[3 + 4 * (k % 2)] = m[1 + 4 * (k % 2)];
    if (!diasym_equals_dsyev(m)) ++differ;
  }
  EXPECT_EQ(differ, 0);
}

// Tensors of molecules (amu A^2) in random orientations: symmetric and
// spherical tops, whose repeated moments differ only by rounding, and linear
// and planar ones; plus matrices whose tridiagonal form splits into a block
// too small for the transcribed iteration, which dsteqr itself then solves.
TEST(Diasym, EqualsDsyevOnMoleculeTensors) {
  std::mt19937_64 rng(8128);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  auto tensor_of = [](const std::vector<Vec3>& r, const std::vector<double>& mass, double(&m)[9]) {
    std::memset(m, 0, sizeof m);
    for (size_t k = 0; k < r.size(); ++k) {
      const double p[3] = {r[k].x, r[k].y, r[k].z};
      const double r2 = p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i + 3 * j] += mass[k] * ((i == j ? r2 : 0.0) - p[i] * p[j]);
    }
  };
  int differ = 0;
  for (int k = 0; k < 4000; ++k) {
    // A random rotation from a random unit quaternion.
    double q[4], n2 = 0.0;
    for (double& c : q) c = u(rng), n2 += c * c;
    for (double& c : q) c /= std::sqrt(n2);
    const double w = q[0], x = q[1], y = q[2], z = q[3];
    const double rot[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                              {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                              {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
    std::vector<Vec3> local;
    std::vector<double> mass;
    switch (k % 4) {
      case 0:  // methane-like spherical top
        local = {{0, 0, 0},
                 {0.63, 0.63, 0.63},
                 {-0.63, -0.63, 0.63},
                 {-0.63, 0.63, -0.63},
                 {0.63, -0.63, -0.63}};
        mass = {element_mass(6), 1.008, 1.008, 1.008, 1.008};
        break;
      case 1:  // benzene-like ring: oblate symmetric top, planar
        for (int i = 0; i < 12; ++i) {
          const double t = M_PI / 3.0 * (i % 6), rad = i < 6 ? 1.39 : 2.47;
          local.push_back({rad * std::cos(t), rad * std::sin(t), 0.0});
          mass.push_back(i < 6 ? element_mass(6) : element_mass(1));
        }
        break;
      case 2:  // linear
        local = {{0, 0, -1.16}, {0, 0, 0}, {0, 0, 1.16}};
        mass = {element_mass(8), element_mass(6), element_mass(8)};
        break;
      default:  // ammonia-like prolate or oblate symmetric top
        for (int i = 0; i < 3; ++i) {
          const double t = 2.0 * M_PI / 3.0 * i;
          local.push_back({0.94 * std::cos(t), 0.94 * std::sin(t), -0.38});
          mass.push_back(element_mass(1));
        }
        local.push_back({0, 0, 0});
        mass.push_back(element_mass(7));
    }
    std::vector<Vec3> r;
    for (const Vec3& p : local) {
      const double v[3] = {p.x, p.y, p.z};
      double o[3];
      for (int i = 0; i < 3; ++i) o[i] = rot[i][0] * v[0] + rot[i][1] * v[1] + rot[i][2] * v[2];
      r.push_back({o[0], o[1], o[2]});
    }
    double m[9];
    tensor_of(r, mass, m);
    if (!diasym_equals_dsyev(m)) ++differ;
    // The same molecule in its own axes: exactly diagonal, or nearly.
    tensor_of(local, mass, m);
    if (!diasym_equals_dsyev(m)) ++differ;
  }
  // One moment of order 1 beside a 2 x 2 block near 1e-130, below the
  // range the transcribed iteration works in; and a (0,2) element near
  // 1e-160, whose norm dsytd2's dnrm2 would scale.
  for (int k = 0; k < 300; ++k) {
    const double t = 1e-130 * (1.0 + u(rng)), big = 1.0 + u(rng), off = t * u(rng);
    double m[9] = {big, 0.0, 0.0, 0.0, t, off, 0.0, off, 2.0 * t};
    if (k % 3 == 1) m[0] = t, m[1] = m[3] = off, m[4] = 2.0 * t, m[5] = m[7] = 0.0, m[8] = big;
    if (k % 3 == 2) m[2] = m[6] = 1e-30 * off, m[4] = m[8] = big, m[5] = m[7] = u(rng);
    if (!diasym_equals_dsyev(m)) ++differ;
  }
  EXPECT_EQ(differ, 0);
}

TEST(EigenproblemVerification, BothSignsOfEveryAxisSatisfyTheEquation) {
  // Two asymmetric molecules (formamide-like).
  const std::vector<Placed> mol = {{"C", -0.88, -1.86, 0.1}, {"O", 0.34, -1.86, 0.0},
                                   {"N", -1.65, -0.75, 0.0}, {"H", -1.47, -2.78, 0.2},
                                   {"H", -1.20, 0.15, -0.1}, {"H", -2.65, -0.82, 0.0}};
  std::vector<Placed> mol2 = mol;
  for (Placed& p : mol2) p = {p.label, p.y + 3.0, -p.z, p.x};
  Core core(mol, mol2);
  core.analyse_both();
  write_initial_data(core.session.report, core.axes);
  write_verification(core.session.report, core.mol, core.axes);
  const auto lines = core.report();
  int blocks = 0;
  for (size_t i = 0; i + 3 < lines.size(); ++i) {
    if (lines[i] != "  vector coord. through eigenproblem: ") continue;
    ASSERT_EQ(lines[i + 2], "  eigenvector previously evaluated: ");
    const auto w = numbers_after(lines[i + 1], 0);
    const auto v = numbers_after(lines[i + 3], 0);
    ASSERT_EQ(w.size(), 3u);
    ASSERT_EQ(v.size(), 3u);
    const int m = blocks % 6 < 3 ? 0 : 1;
    const int j = blocks % 3;
    const Vec3 axis = sub(core.axes.endpoints[3 * m + j], core.axes.cm[m]);
    const double sign = blocks < 6 ? 1.0 : -1.0;
    EXPECT_NEAR(v[0], sign * axis.x, 1e-15) << blocks;
    EXPECT_NEAR(v[1], sign * axis.y, 1e-15) << blocks;
    EXPECT_NEAR(v[2], sign * axis.z, 1e-15) << blocks;
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(w[c], v[c], 1e-12) << blocks;
    ++blocks;
  }
  EXPECT_EQ(blocks, 12);
}

}  // namespace
}  // namespace kavor
