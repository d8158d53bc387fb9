#include "core/frames.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/inertia.hpp"

namespace kavor {

static constexpr double kPi = 3.141592653589793;

static double norm_pow(const Vec3& v) { return std::pow(v.x * v.x + v.y * v.y + v.z * v.z, 0.5); }

static void blank(CoreState& st, std::string_view text, int times) {
  for (int i = 0; i < times; ++i) st.logf(text);
}

// The report's flags: 10 for a distinguishable axis, 0 for one that is not.
static long flag_of(const CoreState& st, int k) { return st.distinguishable[k] ? 10 : 0; }
static long flag_sum(const CoreState& st, int m) {
  return flag_of(st, 3 * m) + flag_of(st, 3 * m + 1) + flag_of(st, 3 * m + 2);
}

static void write_flag_rows(CoreState& st) {
  if (!st.logging()) return;
  for (int k = 0; k < 6; ++k) {
    st.logf("eigenvector " + std::to_string(k + 1) + " flags:  ", flag_of(st, k),
            long{st.sense[k]});
    if (k == 2 || k == 5) st.logf(" ");
  }
}

void set_direction_flags(CoreState& st) {
  for (int k = 0; k < 6; ++k) {
    st.sense[k] = 1;
    st.distinguishable[k] = false;
  }
  const double detectable = kDetectableDifferenceDeg;

  if (st.mode == Mode::analyzer) st.logf("  ");
  blank(st, "   ", 2);
  st.logf(" VALOR EMPREGADO COM REFERENCIA  ");
  st.logf(" PARA ATRIBUICAO DE Y or N  ");
  st.logf(" diferenca detectavel : ");
  st.logf(detectable, " DEGREE ");
  blank(st, "   ", 2);

  static const char* const kPlus[2][3] = {
      {" angle eigen 1 (z) ref ", " angle eigen 2 (y) ref ", " angle eigen 3 (x) ref "},
      {" angle eigen 1 (Y) ref ", " angle eigen 2 (X) ref ", " angle eigen 3 (Z) ref "}};
  static const char* const kMinus[2][3] = {
      {" angle -eigen 1(z) ref ", " angle -eigen 2 (y) ref ", " angle -eigen 3 (x) ref "},
      {" angle -eigen 1 (Y) ref ", " angle -eigen 2 (X) ref ", " angle -eigen 3 (Z) ref "}};

  for (int m = 0; m < 2; ++m) {
    const int zh = st.z_high[m];
    if (zh == 0 || !st.groups[m].usable[zh]) continue;
    st.logf(" ");
    st.logf(m == 0 ? " MOLECULE 1" : " MOLECULE 2");
    st.logf(" ");
    const Vec3& cm = st.cm[m];
    const Vec3 r = sub(st.groups[m].centre[zh], cm);
    for (int j = 0; j < 3; ++j) {
      const int k = 3 * m + j;
      const Vec3 e = sub(st.endpoints[k], cm);
      const double r_len = norm_pow(r);
      const double e_len = norm_pow(e);
      double c_plus = dot(r, e) / (r_len * e_len);
      double c_minus = dot(neg(e), r) / (r_len * e_len);
      c_plus = c_plus > 1.0 ? 1.0 : std::max(c_plus, -1.0);
      c_minus = c_minus > 1.0 ? 1.0 : std::max(c_minus, -1.0);
      const double theta_plus = std::acos(c_plus);
      const double theta_minus = std::acos(c_minus);
      st.logf(kPlus[m][j], theta_plus * 180.0 / kPi);
      st.logf(" ");
      st.logf(kMinus[m][j], theta_minus * 180.0 / kPi);
      if (!(m == 1 && j == 2)) st.logf(" ");
      const double delta = std::fabs(theta_plus - theta_minus) * 180.0 / kPi;
      if (delta > detectable) {
        st.distinguishable[k] = true;
        if (theta_plus > theta_minus) st.sense[k] = -1;
      }
    }
  }

  if (st.pass == 1) {
    st.logf(" ----------------------------");
    st.logf(" ajusted direction table ");
    st.logf(" ----------------------------");
  }
  st.logf("  ");
  st.logf(" DIRECTION FLAG TABLE ");
  st.logf("  ");
  st.logf(" distinguishable-AXIS FLAG                           and RELATIVE postiiton TO HIGHER-Z-CM FLAG ");
  st.logf("  ");
  write_flag_rows(st);
}

// Logs the symmetric-molecule message and adds its console lines to `said`.
static void write_symmetric_message(CoreState& st, int molecule, std::vector<std::string>& said) {
  const bool second = molecule == 1;
  const char* first = second ? " Molecule 2 is symmetric concerning " : " Molecule 1 is symmetric concerning ";
  const char* console_system = second ? " a unique XYZ reference system, " : " a unique xyz system, ";
  const char* log_system = second ? " a unique ZYZ reference system, " : " a unique xyz system, ";
  auto lines = [&](const char* system) {
    return std::vector<std::string_view>{"    ",
                                         "    ",
                                         first,
                                         " evaluation of a particular axis of inertia ",
                                         " It is not possible to undoubtedly define ",
                                         system,
                                         " based on the higher-Z-CM procedure.",
                                         " Such issue is under investigation at TESKAL ",
                                         " The program cannot proceed ",
                                         "    ",
                                         "    "};
  };
  for (std::string_view line : lines(console_system)) said.push_back(free_line(line));
  for (std::string_view line : lines(log_system)) st.logf(line);
}

static void write_dump(CoreState& st, std::string_view title) {
  static const char* const kLabels[6] = {" 7 ", "17 ", " 8 ", " 7 ", "17 ", " 8 "};
  st.logf("=========================================");
  st.logf(title);
  for (int k = 0; k < 6; ++k) {
    const Vec3& p = st.endpoints[k];
    st.logf(kLabels[k], p.x, p.y, p.z);
  }
  st.logf("=========================================");
}

// Reflects an end point through its molecule's centre: P := CM - (P - CM).
static void reverse_endpoint(CoreState& st, int k) {
  const Vec3& c = st.cm[k < 3 ? 0 : 1];
  Vec3& p = st.endpoints[k];
  const Vec3 d = sub(p, c);
  p = sub(c, d);
}

void orient_axes(CoreState& st) {
  if (st.pass == 0) {
    const long s1 = flag_sum(st, 0);
    const long s2 = flag_sum(st, 1);
    std::vector<std::string> said;  // the console's lines, written with the stop
    if (s1 < 20) write_symmetric_message(st, 0, said);
    if (s2 < 20) write_symmetric_message(st, 1, said);
    if (s1 < 20 || s2 < 20) {
      const std::string_view version =
          st.mode == Mode::analyzer ? " version: KAVOR 1.13.10 " : " version: UD-KAVOR 1.14 ";
      for (std::string_view line : {std::string_view("  "), std::string_view(" program stopped"),
                                    version, std::string_view("  ")})
        said.push_back(free_line(line));
      st.logf("  ");
      st.logf(" program stopped");
      st.logf(version);
      st.logf(" rev.: ZE11 ");
      st.session.stop(s1 < 20 && s2 < 20 ? Status::symmetric_both
                      : s1 < 20          ? Status::symmetric_1
                                         : Status::symmetric_2,
                      std::move(said));
    }
    st.first_pass_sums = {static_cast<int>(s1), static_cast<int>(s2)};
  }

  write_dump(st, "escrita de eigenvectors ANTES DE ANALISE Z-HIGHER-CM");
  for (int k = 0; k < 6; ++k) {
    if (st.sense[k] < 0) {
      reverse_endpoint(st, k);
      st.sense[k] = 1;
    }
  }
  write_dump(st, "escrita de eigenvectors apos ANALISE Z-HIGHER-CM");

  st.logf("  ");
  st.logf(" ----------------------------");
  st.logf(" Logo apos analise - ajusted direction table ");
  st.logf(" ----------------------------");
  st.logf("  ");
  st.logf("  ");
  st.logf(" DIRECTION FLAG TABLE ");
  st.logf("  ");
  st.logf(" distinguishable-AXIS FLAG  ");
  st.logf(" and RELATIVE postiiton TO HIGHER-Z-CM FLAG ");
  st.logf("  ");
  write_flag_rows(st);
}

namespace {

struct FrameCase {
  int molecule;        // 0 xyz, 1 XYZ
  int sum;             // required flag sum
  int flag_index;      // eigenvector (0..2 within the molecule) whose flag is tested, -1 none
  int flag_value;      // its required value
  int a, b, u;         // end-point indices: n = a x b, u dotted with n
  bool positive;       // expected sign of n . u
  const char* header;
  const char* cross_text;
  const char* expected_text;
};

// The sixteen cases in the order they are tested.
const FrameCase kCases[16] = {
    {0, 0, -1, 0, kAxis_z, kAxis_y, kAxis_x, false, " ANALISE E MONTAGEM xyz right-handed N N N ",
     " verificacao - cenario atual z -cross product- y ", " expected for xyz right-handed: negative value"},
    {1, 0, -1, 0, kAxis_Y, kAxis_X, kAxis_Z, false, " ANALISE E MONTAGEM XYZ right-handed N N N ",
     " verificacao - cenario atual Y -cross product- X ", " expected for xyz right-handed: negative value"},
    {0, 30, -1, 0, kAxis_z, kAxis_y, kAxis_x, false, " ANALISE E MONTAGEM xyz right-handed Y Y Y ",
     " verificacao - cenario atual z -cross product- y ", " expected for xyz right-handed: negative value"},
    {1, 30, -1, 0, kAxis_Z, kAxis_X, kAxis_Y, true, " ANALISE E MONTAGEM XYZ right-handed Y Y Y  ",
     " verificacao - cenario atual Z -cross product- X ", " expected for XYZ right-handed: positive value"},
    {0, 20, 2, 0, kAxis_z, kAxis_y, kAxis_x, false, " ANALISE E MONTAGEM xyz right-handed Y Y N ",
     " verificacao - cenario atual z -cross product- y ", " expected for xyz right-handed: negative value"},
    {1, 20, 2, 0, kAxis_Y, kAxis_X, kAxis_Z, false, " ANALISE E MONTAGEM XYZ right-handed Y Y N  ",
     " verificacao - cenario atual Y -cross product- X ", " expected for XYZ right-handed: negative value"},
    {0, 20, 1, 0, kAxis_x, kAxis_z, kAxis_y, false, " ANALISE E MONTAGEM xyz right-handed Y N Y ",
     " verificacao - cenario atual x -cross product- z ", " expected for xyz right-handed: negative value"},
    {1, 20, 1, 0, kAxis_Z, kAxis_Y, kAxis_X, false, " ANALISE E MONTAGEM XYZright-handed Y N Y   ",
     " verificacao - cenario atual Z -cross product- Y ", " expected for xyz right-handed: negative value"},
    {0, 20, 0, 0, kAxis_y, kAxis_x, kAxis_z, false, " ANALISE E MONTAGEM xyz right-handed N Y Y ",
     " verificacao - cenario atual y -cross product- x ", " expected for xyz right-handed: negative value"},
    {1, 20, 0, 0, kAxis_X, kAxis_Z, kAxis_Y, false, " ANALISE E MONTAGEM XYZ right-handed N Y Y   ",
     " verificacao - cenario atual X -cross product- Z ", " expected for XYZ right-handed: negative value"},
    {0, 10, 0, 10, kAxis_z, kAxis_y, kAxis_x, false, " ANALISE E MONTAGEM xyz right-handed Y N N  ",
     " verificacao - cenario atual z -cross product- y ", " expected for ref xyz right-handed: negative value"},
    {1, 10, 0, 10, kAxis_Y, kAxis_X, kAxis_Z, false, " ANALISE E MONTAGEM XYZ right-handed Y N N     ",
     " verificacao - cenario atual Y -cross product- X ", " expected for XYZ right-handed: negative value"},
    {0, 10, 1, 10, kAxis_z, kAxis_y, kAxis_x, false, " ANALISE E MONTAGEM xyz right-handed N Y N  ",
     " verificacao - cenario atual z -cross product- y ", " expected for xyz right-handed: negative value"},
    {1, 10, 1, 10, kAxis_Y, kAxis_X, kAxis_Z, false, " ANALISE E MONTAGEM XYZ right-handed N Y N      ",
     " verificacao - cenario atual Y -cross product- X ", " expected for XYZ right-handed: negative value"},
    {0, 10, 2, 10, kAxis_x, kAxis_z, kAxis_y, false, " ANALISE E MONTAGEM xyz right-handed N N Y   ",
     " verificacao - cenario atual x -cross product- z ", " expected for xyz right-handed: negative value"},
    {1, 10, 2, 10, kAxis_Z, kAxis_Y, kAxis_X, false, " ANALISE E MONTAGEM XYZ right-handed N N Y       ",
     " verificacao - cenario atual Z -cross product- Y ", " expected for ref. XYZ right-handed: negative value"},
};

const char kAxisNames[6] = {'z', 'y', 'x', 'Y', 'X', 'Z'};

}  // namespace

void assemble_right_handed(CoreState& st) {
  const long sums[2] = {flag_sum(st, 0), flag_sum(st, 1)};
  const std::string stars(44, '*');
  for (int c = 0; c < 16; ++c) {
    const FrameCase& fc = kCases[c];
    const int m = fc.molecule;
    if (sums[m] != fc.sum) continue;
    if (fc.flag_index >= 0 && flag_of(st, 3 * m + fc.flag_index) != fc.flag_value) continue;

    const Vec3& cm = st.cm[m];
    const Vec3 a = sub(st.endpoints[fc.a], cm);
    const Vec3 b = sub(st.endpoints[fc.b], cm);
    const Vec3 n = cross(a, b);
    const Vec3 u = sub(st.endpoints[fc.u], cm);
    const double t = n.x * u.x + n.y * u.y + n.z * u.z;
    const bool wrong = fc.positive ? t < 0.0 : t > 0.0;
    if (wrong) reverse_endpoint(st, fc.u);
    const Vec3 u_after = sub(st.endpoints[fc.u], cm);
    const double t_after = n.x * u_after.x + n.y * u_after.y + n.z * u_after.z;

    if (!st.logging()) continue;
    auto modulus_text = [](int axis) { return std::string(" modulo ") + kAxisNames[axis] + " "; };
    const char un = kAxisNames[fc.u];
    const std::string actual = c == 15 ? "dotprodct n.dot.X actual"
                                       : std::string("dotprodct n.dot.") + un + "  actual";
    const std::string after = std::string("dotproduct n.dot.") + un + " after analysis ";

    st.logf(stars);
    st.logf(fc.header);
    st.logf("  ");
    st.logf(m == 0 ? " molecule 1 " : " molecule 2 ");
    st.logf("  ");
    st.logf(modulus_text(fc.a), norm_pow(a));
    st.logf(modulus_text(fc.b), norm_pow(b));
    st.logf("  ");
    st.logf("  ");
    st.logf(fc.cross_text);
    st.logf(" modulo n ", norm_pow(n));
    st.logf(modulus_text(fc.u), norm_pow(u));
    st.logf(actual, t);
    st.logf(fc.expected_text);
    st.logf(after, t_after);
    st.logf(stars);
  }

  blank(st, "  ", 5);
  st.logf(std::string(35, '-'));
  st.logf(std::string(35, '-'));
  blank(st, "  ", 3);
  st.logf(std::string(35, '-'));
  st.logf(std::string(35, '-'));
  st.logf("  ");
  st.logf("   dados coletados apos analise righ-handed  ");
  st.logf("  ");
  write_endpoint_table(st);
  blank(st, "  ", 3);
  st.logf(std::string(35, '-'));
  st.logf(std::string(35, '-'));
  blank(st, "  ", 3);
  st.logf(std::string(35, '-'));
  st.logf(std::string(35, '-'));
}

void build_frames(CoreState& st) {
  set_direction_flags(st);
  orient_axes(st);
  assemble_right_handed(st);
}

}  // namespace kavor
