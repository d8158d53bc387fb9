#include "core/naming.hpp"

#include <cmath>

#include "core/errors.hpp"
#include "core/euler.hpp"
#include "core/format.hpp"
#include "core/session.hpp"

namespace kavor {

static constexpr long kNad = 999;  // internal value of a "NAD" field

ResultNames build_result_names(Session& session, double r, double theta, double phi,
                               double alpha, double beta, double gamma) {
  if (r > kNameDistanceLimit) {
    session.stop(Status::distance_too_large,
                 {free_line(" distance between molecules greater than "),
                  free_line(" 9999.9 Angstrons "), free_line(" name file error ")});
  }
  return result_names(session.mode, r, theta, phi, alpha, beta, gamma);
}

ResultNames result_names(Mode mode, double r, double theta, double phi, double alpha, double beta,
                         double gamma) {
  std::string distance = fortran_f(7, 1, r);
  distance[0] = '[';
  for (int i = 1; i <= 4; ++i)
    if (distance[i] == ' ') distance[i] = '0';

  const long theta_deg = std::lround(kDegPerRad * theta);
  long t = theta_deg;
  long p = std::lround(kDegPerRad * phi);
  long a = std::lround(kDegPerRad * alpha);
  long b = std::lround(kDegPerRad * beta);
  long g = std::lround(kDegPerRad * gamma);

  if (mode == Mode::builder) {
    const long a_rounded = a, g_rounded = g;
    if (p == 360) p = 0;
    if (a == 360) a = 0;
    if (g == 360) g = 0;
    if (b == 0 && a_rounded + g_rounded == 360) a = g = 0;
  }

  std::string a_field = fortran_i(3, a), b_field = fortran_i(3, b), g_field = fortran_i(3, g);
  std::string t_field, p_field;
  if (r > kNoDirectionDistance) {
    t_field = fortran_i(3, t);
    p_field = fortran_i(3, p);
  } else {
    t_field = p_field = "NAD";
    t = p = kNad;
  }
  if (theta_deg == 0 || theta_deg == 180) {
    p_field = "NAD";
    p = kNad;
  }

  auto zero_fill = [](std::string& field, long value) {
    if (value == kNad) return;
    if (value <= 99) field[0] = '0';
    if (value <= 9) field[1] = '0';
  };
  zero_fill(t_field, t);
  zero_fill(p_field, p);
  zero_fill(a_field, a);
  zero_fill(b_field, b);
  zero_fill(g_field, g);

  ResultNames names;
  names.stem = distance + "-" + t_field + "-" + p_field + "]-(" + a_field + "-" + b_field + "-" + g_field;
  names.name = names.stem + ")";
  if (mode == Mode::analyzer) {
    names.geometry = names.name + "-KAVOR.xyz";
    names.bild = names.name + "-KAVOR-UCSF-Chimera.bild";
  } else {
    names.geometry = names.name + "-UD-KAVOR.xyz";
    names.bild = names.name + "-UD-KAVOR-UCSF-Chimera.bild";
    names.short_geometry = names.name + "-SHORT-CONTACTS-IDENTIFED.xyz";
    names.short_bild = names.name + "-SHORT-CONTACTS-IDENTIFIED.bild";
  }
  return names;
}

}  // namespace kavor
