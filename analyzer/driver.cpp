#include "analyzer/driver.hpp"

#include <cmath>

#include "core/analysis.hpp"
#include "core/errors.hpp"
#include "core/euler.hpp"
#include "core/format.hpp"
#include "core/geometry_input.hpp"
#include "core/naming.hpp"
#include "core/param.hpp"
#include "core/program.hpp"
#include "core/session.hpp"
#include "core/summary.hpp"

namespace kavor {

static void write_summary(Session& s, double r, long t, long p, long a, long b, long g) {
  s.say(free_line("  "));
  s.say(free_line("  "));
  s.say(free_line(" KAVOR "));
  s.say(free_line("  "));
  s.say(free_line(" POSITION:[r, theta(polar angle), phi(azimuth angle)]"));
  write_position_block(s, r, t, p);
  s.say(free_line(" ROTATION: (alpha,beta and gamma Euler angles)"));
  s.say(free_line("  "));
  s.say(fortran_i(4, a) + fortran_i(4, b) + fortran_i(4, g));
  for (int i = 0; i < 3; ++i) s.say(free_line("  "));
}

static void write_closing_block(Session& s, long a, long b, long g) {
  s.log(free_line(kAnalyzerSourceLine));
  s.log(free_line(kBuildIdentifier));
  s.log(free_line("  "));
  s.log(free_line("  "));
  s.log(free_line(" KAVOR "));
  s.log(free_line("  "));
  s.log(free_line(" POSITION: r, theta[polar angle], phi[azimuth angle]"));
  s.log(free_line(" ROTATION: alpha,beta and gamma Euler angles"));
  s.log(free_line("  "));
  s.log(fortran_i(4, a) + fortran_i(4, b) + fortran_i(4, g));
  s.log(free_line("  "));
  s.log(free_line("  "));
  s.log(free_line(" *************************************************** "));
  s.log(free_line("  "));
  s.log(free_line(kAnalyzerVersionLine));
  s.log(free_line("  "));
  s.log(free_line(kCreditLine));
  s.log(free_line(kCitationLine));
  s.log(free_line("  "));
}

static void run(Session& s) {
  FreeFormatReader reader = FreeFormatReader::from_file(s.file("input-GEOMETRY.xyz"));
  GeometryBlock block;
  block.n = read_atom_count(reader);
  if (block.n > kCapacity) {
    s.say(free_line(" max number of atoms -150000- exceeded "));
    return;
  }
  read_atoms_and_n1(reader, block);

  write_banner(s, kAnalyzerVersionLine);
  const PairResult result = analyse_pair(block, s);
  if (!result.ok()) return;

  write_summary(s, result.measured.r, result.theta_deg, result.phi_deg, result.alpha_deg,
                result.beta_deg, result.gamma_deg);
  write_closing_block(s, result.alpha_deg, result.beta_deg, result.gamma_deg);
}

int run_analyzer(const std::filesystem::path& dir, std::ostream& console, std::ostream& errors) {
  Session session(console, dir, Mode::analyzer);
  return run_program(session, "kavor", errors, run);
}

}  // namespace kavor
