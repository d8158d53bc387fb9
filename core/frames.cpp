#include "core/frames.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/inertia.hpp"
#include "core/pow_half.hpp"

namespace kavor {

static constexpr double kPi = 3.141592653589793;

static double norm_pow(const Vec3& v) { return pow_half(v.x * v.x + v.y * v.y + v.z * v.z); }

static void blank(Report& report, std::string_view text, int times) {
  for (int i = 0; i < times; ++i) report.free(text);
}

static long flag_of(const DirectionFlags& flags, int k) {
  return flags.distinguishable[k] ? 10 : 0;
}
int flag_sum(const DirectionFlags& flags, int m) {
  return static_cast<int>(flag_of(flags, 3 * m) + flag_of(flags, 3 * m + 1) +
                          flag_of(flags, 3 * m + 2));
}

static void write_flag_rows(Report& report, const DirectionFlags& flags) {
  if (!report.on()) return;
  for (int k = 0; k < 6; ++k) {
    report.free("eigenvector " + std::to_string(k + 1) + " flags:  ", flag_of(flags, k),
                long{flags.sense[k]});
    if (k == 2 || k == 5) report.free(" ");
  }
}

DirectionFlags direction_flags(const std::array<MoleculeInertia, 2>& molecules,
                               const PairAxes& axes, bool with_angles) {
  DirectionFlags flags;
  flags.sense.fill(1);
  for (int m = 0; m < 2; ++m) {
    const MoleculeInertia& mol = molecules[m];
    const int zh = mol.z_high;
    if (zh == 0 || !mol.groups.usable[zh]) continue;
    flags.judged[m] = true;
    const Vec3& cm = axes.cm[m];
    const Vec3 r = sub(mol.groups.centre[zh], cm);
    const double r_len = norm_pow(r);
    for (int j = 0; j < 3; ++j) {
      const int k = 3 * m + j;
      const Vec3 e = sub(axes.endpoints[k], cm);
      const double e_len = norm_pow(e);
      double c_plus = dot(r, e) / (r_len * e_len);
      double c_minus = dot(neg(e), r) / (r_len * e_len);
      c_plus = c_plus > 1.0 ? 1.0 : std::max(c_plus, -1.0);
      c_minus = c_minus > 1.0 ? 1.0 : std::max(c_minus, -1.0);
      if (!with_angles) {
        // c_minus is -c_plus (the same products, signs turned), so the two
        // angles differ by 2 asin|c_plus|: more than 11.4 degrees from
        // |c_plus| = 0.1 up, less than 8.1 up to 0.07, whatever the last
        // bits of acos. Only the band between needs the angles themselves.
        const double c = std::fabs(c_plus);
        if (c >= 0.1) {
          flags.distinguishable[k] = true;
          if (c_plus < 0.0) flags.sense[k] = -1;  // theta_plus > 90 > theta_minus
          continue;
        }
        if (c <= 0.07) continue;
      }
      const double theta_plus = std::acos(c_plus);
      const double theta_minus = std::acos(c_minus);
      flags.angle_plus[k] = theta_plus * 180.0 / kPi;
      flags.angle_minus[k] = theta_minus * 180.0 / kPi;
      const double delta = std::fabs(theta_plus - theta_minus) * 180.0 / kPi;
      if (delta > kDetectableDifferenceDeg) {
        flags.distinguishable[k] = true;
        if (theta_plus > theta_minus) flags.sense[k] = -1;
      }
    }
  }
  return flags;
}

void write_direction_flags(Report& report, const DirectionFlags& flags, int pass, Mode mode) {
  if (!report.on()) return;
  if (mode == Mode::analyzer) report.free("  ");
  blank(report, "   ", 2);
  report.free(" VALOR EMPREGADO COM REFERENCIA  ");
  report.free(" PARA ATRIBUICAO DE Y or N  ");
  report.free(" diferenca detectavel : ");
  report.free(kDetectableDifferenceDeg, " DEGREE ");
  blank(report, "   ", 2);

  static const char* const kPlus[2][3] = {
      {" angle eigen 1 (z) ref ", " angle eigen 2 (y) ref ", " angle eigen 3 (x) ref "},
      {" angle eigen 1 (Y) ref ", " angle eigen 2 (X) ref ", " angle eigen 3 (Z) ref "}};
  static const char* const kMinus[2][3] = {
      {" angle -eigen 1(z) ref ", " angle -eigen 2 (y) ref ", " angle -eigen 3 (x) ref "},
      {" angle -eigen 1 (Y) ref ", " angle -eigen 2 (X) ref ", " angle -eigen 3 (Z) ref "}};
  for (int m = 0; m < 2; ++m) {
    if (!flags.judged[m]) continue;
    report.free(" ");
    report.free(m == 0 ? " MOLECULE 1" : " MOLECULE 2");
    report.free(" ");
    for (int j = 0; j < 3; ++j) {
      const int k = 3 * m + j;
      report.free(kPlus[m][j], flags.angle_plus[k]);
      report.free(" ");
      report.free(kMinus[m][j], flags.angle_minus[k]);
      if (!(m == 1 && j == 2)) report.free(" ");
    }
  }

  if (pass == 1) {
    report.free(" ----------------------------");
    report.free(" ajusted direction table ");
    report.free(" ----------------------------");
  }
  report.free("  ");
  report.free(" DIRECTION FLAG TABLE ");
  report.free("  ");
  report.free(
      " distinguishable-AXIS FLAG                           and RELATIVE postiiton TO HIGHER-Z-CM FLAG ");
  report.free("  ");
  write_flag_rows(report, flags);
}

Status symmetry_status(const DirectionFlags& flags) {
  const bool s1 = flag_sum(flags, 0) < 20, s2 = flag_sum(flags, 1) < 20;
  return s1 && s2 ? Status::symmetric_both
         : s1     ? Status::symmetric_1
         : s2     ? Status::symmetric_2
                  : Status::ok;
}

// Logs the symmetric-molecule message and adds its console lines to `said`.
static void write_symmetric_message(Report& report, int molecule, std::vector<std::string>& said) {
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
  for (std::string_view line : lines(log_system)) report.free(line);
}

void stop_symmetric(Session& session, const DirectionFlags& flags, Status status) {
  std::vector<std::string> said;  // the console's lines, written with the stop
  for (int m = 0; m < 2; ++m)
    if (flag_sum(flags, m) < 20) write_symmetric_message(session.report, m, said);
  const std::string_view version =
      session.mode == Mode::analyzer ? " version: KAVOR 1.13.10 " : " version: UD-KAVOR 1.14 ";
  for (std::string_view line : {std::string_view("  "), std::string_view(" program stopped"),
                                version, std::string_view("  ")})
    said.push_back(free_line(line));
  session.logf("  ");
  session.logf(" program stopped");
  session.logf(version);
  session.logf(" rev.: ZE11 ");
  session.stop(status, std::move(said));
}

static void write_dump(Report& report, const PairAxes& axes, std::string_view title) {
  static const char* const kLabels[6] = {" 7 ", "17 ", " 8 ", " 7 ", "17 ", " 8 "};
  report.free("=========================================");
  report.free(title);
  for (int k = 0; k < 6; ++k) {
    const Vec3& p = axes.endpoints[k];
    report.free(kLabels[k], p.x, p.y, p.z);
  }
  report.free("=========================================");
}

// Reflects an end point through its molecule's centre: P := CM - (P - CM).
static void reverse_endpoint(PairAxes& axes, int k) {
  const Vec3& c = axes.cm[k < 3 ? 0 : 1];
  Vec3& p = axes.endpoints[k];
  const Vec3 d = sub(p, c);
  p = sub(c, d);
}

PairAxes oriented_axes(const PairAxes& axes, const DirectionFlags& flags) {
  PairAxes out = axes;
  for (int k = 0; k < 6; ++k)
    if (flags.sense[k] < 0) reverse_endpoint(out, k);
  return out;
}

void write_orientation(Report& report, const PairAxes& before, const PairAxes& after,
                       const DirectionFlags& flags) {
  if (!report.on()) return;
  write_dump(report, before, "escrita de eigenvectors ANTES DE ANALISE Z-HIGHER-CM");
  write_dump(report, after, "escrita de eigenvectors apos ANALISE Z-HIGHER-CM");

  report.free("  ");
  report.free(" ----------------------------");
  report.free(" Logo apos analise - ajusted direction table ");
  report.free(" ----------------------------");
  report.free("  ");
  report.free("  ");
  report.free(" DIRECTION FLAG TABLE ");
  report.free("  ");
  report.free(" distinguishable-AXIS FLAG  ");
  report.free(" and RELATIVE postiiton TO HIGHER-Z-CM FLAG ");
  report.free("  ");
  // Every end point now points towards its higher-Z-CM (or was not judged).
  DirectionFlags oriented = flags;
  oriented.sense.fill(1);
  write_flag_rows(report, oriented);
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

RightHandedFrames right_handed(const PairAxes& oriented, const DirectionFlags& flags) {
  RightHandedFrames out;
  out.axes = oriented;
  const int sums[2] = {flag_sum(flags, 0), flag_sum(flags, 1)};
  for (int c = 0; c < 16; ++c) {
    const FrameCase& fc = kCases[c];
    const int m = fc.molecule;
    if (sums[m] != fc.sum) continue;
    if (fc.flag_index >= 0 && flag_of(flags, 3 * m + fc.flag_index) != fc.flag_value) continue;

    // The flag patterns of a molecule exclude one another: one check each.
    HandednessCheck& check = out.checks[static_cast<std::size_t>(out.check_count++)];
    const Vec3& cm = out.axes.cm[m];
    check.frame_case = c;
    check.a = sub(out.axes.endpoints[fc.a], cm);
    check.b = sub(out.axes.endpoints[fc.b], cm);
    check.n = cross(check.a, check.b);
    check.u = sub(out.axes.endpoints[fc.u], cm);
    const Vec3& n = check.n;
    const Vec3& u = check.u;
    check.t = n.x * u.x + n.y * u.y + n.z * u.z;
    const bool wrong = fc.positive ? check.t < 0.0 : check.t > 0.0;
    if (wrong) reverse_endpoint(out.axes, fc.u);
    const Vec3 u_after = sub(out.axes.endpoints[fc.u], cm);
    check.t_after = n.x * u_after.x + n.y * u_after.y + n.z * u_after.z;
  }
  return out;
}

void write_right_handed(Report& report, const RightHandedFrames& frames) {
  if (!report.on()) return;
  const std::string stars(44, '*');
  for (int i = 0; i < frames.check_count; ++i) {
    const HandednessCheck& check = frames.checks[static_cast<std::size_t>(i)];
    const int c = check.frame_case;
    const FrameCase& fc = kCases[c];
    auto modulus_text = [](int axis) { return std::string(" modulo ") + kAxisNames[axis] + " "; };
    const char un = kAxisNames[fc.u];
    const std::string actual = c == 15 ? "dotprodct n.dot.X actual"
                                       : std::string("dotprodct n.dot.") + un + "  actual";
    const std::string after = std::string("dotproduct n.dot.") + un + " after analysis ";

    report.free(stars);
    report.free(fc.header);
    report.free("  ");
    report.free(fc.molecule == 0 ? " molecule 1 " : " molecule 2 ");
    report.free("  ");
    report.free(modulus_text(fc.a), norm_pow(check.a));
    report.free(modulus_text(fc.b), norm_pow(check.b));
    report.free("  ");
    report.free("  ");
    report.free(fc.cross_text);
    report.free(" modulo n ", norm_pow(check.n));
    report.free(modulus_text(fc.u), norm_pow(check.u));
    report.free(actual, check.t);
    report.free(fc.expected_text);
    report.free(after, check.t_after);
    report.free(stars);
  }

  write_endpoint_section(report, frames.axes, "   dados coletados apos analise righ-handed  ", 5,
                         true);
}

FrameStep build_frames(Session& session, const std::array<MoleculeInertia, 2>& molecules,
                       const PairAxes& axes, int pass) {
  FrameStep step;
  step.flags = direction_flags(molecules, axes, session.logging());
  write_direction_flags(session.report, step.flags, pass, session.mode);
  if (pass == 0)
    if (const Status status = symmetry_status(step.flags); status != Status::ok)
      stop_symmetric(session, step.flags, status);
  const PairAxes oriented = oriented_axes(axes, step.flags);
  write_orientation(session.report, axes, oriented, step.flags);
  step.frames = right_handed(oriented, step.flags);
  write_right_handed(session.report, step.frames);
  return step;
}

}  // namespace kavor
