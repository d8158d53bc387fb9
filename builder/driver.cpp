#include "builder/driver.hpp"

#include <cmath>

#include "builder/placement.hpp"
#include "core/analysis.hpp"
#include "core/errors.hpp"
#include "core/euler.hpp"
#include "core/format.hpp"
#include "core/geometry_input.hpp"
#include "core/naming.hpp"
#include "core/param.hpp"
#include "core/program.hpp"
#include "core/rounding.hpp"
#include "core/session.hpp"
#include "core/summary.hpp"

namespace kavor {

namespace {

// Limits of the user values, single-precision literals widened to double.
constexpr double kF0_1 = 0.10000000149011612;
constexpr double kF0_09 = 0.09000000357627869;
constexpr double kF0_05 = 0.05000000074505806;
constexpr double kF0_049 = 0.04899999871850014;
constexpr double kF179_91 = 179.91000366210938;
constexpr double kF180_09 = 180.08999633789062;
constexpr double kF179_99 = 179.99000549316406;
constexpr double kRadPerDeg = 0.017453292519943295;

struct RangeCheck {
  bool failed;
  const char* first;
  const char* second;
};

// Whole degrees (half away from zero); a value that is not a number never
// reaches this (the reader refuses it), except theta for coincident centres.
long whole(double degrees) { return std::isnan(degrees) ? 0 : nearest_whole(degrees); }

void blank(Session& s, int times, bool report) {
  for (int i = 0; i < times; ++i) {
    if (report) s.log(free_line("  "));
    else s.say(free_line("  "));
  }
}

void run(Session& s) {
  FreeFormatReader reader = FreeFormatReader::from_file(s.file("UD-input-GEOMETRY.xyz"));
  GeometryBlock block;
  block.n = read_atom_count(reader);
  if (block.n > kCapacity) {
    s.say(free_line(" max number of atoms -150000 -exceeded "));
    throw ProgramStop{StopCode::too_many_atoms};
  }
  read_atoms_and_n1(reader, block);
  stop_on_atom_counts(s, block);

  reader.skip_line("the line before r");
  double r = reader.read_real("r (Angstrom)");
  double theta = reader.read_real("theta (degrees)");
  double phi = reader.read_real("phi (degrees)");
  reader.skip_line("the line before alpha");
  double alpha = reader.read_real("alpha (degrees)");
  double beta = reader.read_real("beta (degrees)");
  double gamma = reader.read_real("gamma (degrees)");
  reader.skip_line("the final line after gamma");

  // A user's "-0.0" is a zero distance; its sign would reach the file name.
  if (r == 0.0) r = 0.0;
  if (nearest_whole(beta) == 0) gamma = kF0_09;

  const RangeCheck checks[11] = {
      {r < 0, " negative r not allowed! ", " Allowed: r>0"},
      {phi < 0, " azimuth angle out of range! ", " Allowed: 0<phi<360"},
      {nearest_whole(phi) > 360, " azimuth angle out of range. ", " Allowed: 0<phi<360 degrees "},
      {theta < 0, " polar angle out of range! ", " Allowed: 0<theta<180"},
      {nearest_whole(theta) > 180, " polar angle out of range. ", " Allowed: 0<theta<180 degrees "},
      {alpha < 0, " ALPHA Euler angle out of range!    ", " Allowed: 0<ALPHA<360 degrees "},
      {nearest_whole(alpha) > 360, " ALPHA Euler angle out of range!    ", " Allowed: 0<ALPHA<360 degrees "},
      {beta < 0, " BETA Euler angle out of range!    ", " Allowed: 0<BETA<180 degrees "},
      {nearest_whole(beta) > 180, " Beta Euler angle out of range!    ", " Allowed: 0<beta<180 degrees "},
      {gamma < 0, " GAMMA Euler angle out of range!    ", " Allowed: 0<GAMMA<360 degrees "},
      {nearest_whole(gamma) > 360, " GAMMA Euler angle out of range!    ", " Allowed: 0<GAMMA<360 degrees "},
  };
  const double shown[11] = {r, phi, phi, theta, theta, alpha, alpha, beta, beta, gamma, gamma};
  for (int c = 0; c < 11; ++c) {
    if (!checks[c].failed) continue;
    s.say(free_line(checks[c].first));
    s.say(free_line(checks[c].second));
    if (c == 0) s.say(free_line(" User value :", shown[c]));
    else s.say(free_line(" User value :", nearest_whole(shown[c])));
    s.say(free_line(" program stopped"));
    throw ProgramStop{StopCode::user_value};
  }

  if (alpha < kF0_1) alpha = kF0_09;
  if (gamma < kF0_1) gamma = kF0_09;
  if (theta < kF0_05) theta = kF0_049;
  if (phi < kF0_05) phi = kF0_049;
  if (theta > kF179_91 && theta < kF180_09) theta = kF179_99;
  if (beta > kF179_91 && beta < kF180_09) beta = kF179_99;
  theta *= kRadPerDeg;
  phi *= kRadPerDeg;
  alpha *= kRadPerDeg;
  beta *= kRadPerDeg;
  gamma *= kRadPerDeg;

  write_banner(s, kBuilderVersionLine);

  // The result-file names come from the user's values, before any analysis.
  UserPlacement placement(build_result_names(s, r, theta, phi, alpha, beta, gamma));

  ParamArgs args;
  args.ret_theta = theta;
  args.ret_phi = phi;
  args.ret_alpha = alpha;
  args.ret_beta = beta;
  args.ret_gamma = gamma;
  args.ret_r = r;
  const Analysis result = analyse_pair(block, s, args, &placement);
  if (!result.ok()) return;
  args = result.values;

  double phi_out = args.phi;
  if (phi_out < 0.0) phi_out = phi_out + kTwoPi;
  const long t = whole(kDegPerRad * args.theta);
  long p = whole(kDegPerRad * phi_out);
  long a = whole(kDegPerRad * args.full_turn_alpha);
  const long b = whole(kDegPerRad * args.full_turn_beta);
  long g = whole(kDegPerRad * args.full_turn_gamma);
  if (p == 360) p = 0;
  if (a == 360) a = 0;
  if (g == 360) g = 0;
  const double r_out = args.r;

  s.log(free_line(kBuilderSourceLine));
  s.log(free_line(kBuildIdentifier));
  blank(s, 1, true);
  s.log(free_line(kBuilderVersionLine));
  blank(s, 1, true);
  s.log(free_line(kCreditLine));
  s.log(free_line(kCitationLine));
  blank(s, 1, true);

  s.say(free_line(" User-Defined KAVOR "));
  blank(s, 1, false);
  s.say(free_line(" POSITION:[r, theta(polar angle), phi(azimuth angle)]"));
  write_position_block(s, r_out, t, p);
  s.say(free_line(" ROTATION: (alpha, beta, and gamma Euler angles)"));
  blank(s, 1, false);
  s.say(fortran_i(4, a) + fortran_i(4, b) + fortran_i(4, g));
  blank(s, 3, false);

  blank(s, 1, true);
  s.log(free_line(" User-Defined KAVOR "));
  blank(s, 2, true);
  s.log(free_line(" POSITION: [r, theta(polar angle), phi[azimuth angle)]"));
  if (r_out > kF0_09) {
    blank(s, 1, true);
    s.log(fortran_f(7, 1, r_out) + fortran_i(4, t) + fortran_i(4, p));
    blank(s, 1, true);
  } else {
    blank(s, 1, true);
    s.log(fortran_f(7, 1, r_out) + "  ***  *** no polar or azimuth for r < 0.1 A");
    blank(s, 1, true);
  }
  s.log(free_line(" ROTATION: (alpha, beta, and gamma Euler angles)"));
  blank(s, 1, true);
  s.log(fortran_i(4, a) + fortran_i(4, b) + fortran_i(4, g));
  blank(s, 2, true);
  s.log(free_line(kBuilderVersionLine));
  blank(s, 1, true);
  s.log(free_line(kCreditLine));
  s.log(free_line(kCitationLine));
  blank(s, 2, true);
  if (b == 0) {
    blank(s, 1, true);
    for (int i = 0; i < 4; ++i) s.log(free_line("WARNING:  for beta = zero, gamma = 0 "));
    blank(s, 2, true);
  }
}

}  // namespace

int run_builder(const std::filesystem::path& dir, std::ostream& console, std::ostream& errors) {
  Session session(console, dir, Mode::builder);
  return run_program(session, "ud-kavor", errors, run);
}

}  // namespace kavor
