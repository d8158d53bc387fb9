#include "core/summary.hpp"

#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/naming.hpp"

namespace kavor {

static void blank(Session& s, int times) {
  for (int i = 0; i < times; ++i) s.say(free_line("  "));
}

void write_banner(Session& s, std::string_view version_line) {
  blank(s, 3);
  s.say(free_line(version_line));
  blank(s, 1);
  s.say(free_line(kCreditLine));
  s.say(free_line(kCitationLine));
  blank(s, 2);
}

// The N1 message ends with a tab, the N message does not.
[[noreturn]] static void stop_too_few_atoms(Session& s, bool n1_message) {
  s.stop(Status::atom_counts,
         {free_line(" This version allow the study of entities "),
          free_line(" with more than 2 atoms "), free_line(n1_message ? " ERROR \t" : " ERROR ")});
}

void stop_on_atom_counts(Session& s, const GeometryBlock& block) {
  if (block.n1 <= 2 || block.n <= 5) stop_too_few_atoms(s, block.n1 <= 2);
  if (block.n1 >= block.n) {
    s.stop(Status::atom_counts, {free_line(" molecule 2 has no atoms: N1 must be smaller than N "),
                                 free_line(" ERROR ")});
  }
  // Molecule 2 with one or two atoms: N1 is too large, so N1's message.
  if (block.n - block.n1 <= 2) stop_too_few_atoms(s, true);
}

void write_position_block(Session& s, double r, long t, long p) {
  blank(s, 1);
  if (r > kNoDirectionDistance && t != 0 && t != 180) {
    s.say(fortran_f(7, 1, r) + fortran_i(4, t) + fortran_i(4, p));
    blank(s, 1);
    return;
  }
  if (r > kNoDirectionDistance) {
    s.say(fortran_f(7, 1, r) + fortran_i(4, t) + fortran_a(5, " NAD "));
    blank(s, 2);
    s.say(free_line("NAD=Nenhum Angulo Definido"));
    s.say(free_line("Undefined azimuth angle"));
    return;
  }
  s.say(fortran_f(7, 1, r) + fortran_a(5, " NAD ") + fortran_a(5, " NAD "));
  blank(s, 2);
  s.say(free_line("NAD=Nenhum Angulo Definido"));
  s.say(free_line("No Defined Angle", " r < 0.1 A"));
}

}  // namespace kavor
