#include "builder/driver.hpp"

#include <cmath>

#include "builder/placement.hpp"
#include "builder/user_values.hpp"
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
    s.stop(Status::too_many_atoms, {free_line(" max number of atoms -150000 -exceeded ")});
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

  AdjustedValues v;
  std::vector<std::string> refusal;
  if (!adjust_user_values(UserValues{r, theta, phi, alpha, beta, gamma}, v, refusal)) {
    s.stop(Status::user_value, std::move(refusal));
  }
  r = v.r;
  theta = v.theta;
  phi = v.phi;
  alpha = v.alpha;
  beta = v.beta;
  gamma = v.gamma;

  write_banner(s, kBuilderVersionLine);

  // The result-file names come from the user's values, before any analysis.
  UserPlacement placement(build_result_names(s, r, theta, phi, alpha, beta, gamma),
                          PairValues{r, theta, phi, alpha, beta, gamma});
  const PairResult result = analyse_pair(block, s, &placement);
  if (!result.ok()) return;

  const PairValues& placed = result.measured;
  write_builder_summary(
      s, placed.r,
      builder_summary_degrees(placed.theta, placed.phi, placed.alpha, placed.beta, placed.gamma));
}

}  // namespace

void write_builder_summary(Session& s, double r_out, const SummaryDegrees& d) {
  const long t = d.theta, p = d.phi, a = d.alpha, b = d.beta, g = d.gamma;
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

int run_builder(const std::filesystem::path& dir, std::ostream& console, std::ostream& errors) {
  Session session(console, dir, Mode::builder);
  return run_program(session, "ud-kavor", errors, run);
}

}  // namespace kavor
