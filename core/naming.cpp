#include "core/naming.hpp"

#include <cmath>
#include <cstring>

#include "core/errors.hpp"
#include "core/euler.hpp"
#include "core/format.hpp"
#include "core/session.hpp"

namespace kavor {

static constexpr long kNad = 999;  // internal value of a "NAD" field
static constexpr size_t kStemLength = 29;

// The 29-character stem "[rrrr.r-TTT-PPP]-(AAA-BBB-GGG" into `out`.
static void write_stem(char* out, Mode mode, double r, double theta, double phi, double alpha,
                       double beta, double gamma) {
  const std::string distance = fortran_f(7, 1, r);
  std::memcpy(out, distance.data(), 7);
  out[0] = '[';
  for (int i = 1; i <= 4; ++i)
    if (out[i] == ' ') out[i] = '0';

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

  char* const t_field = out + 8;
  char* const p_field = out + 12;
  char* const a_field = out + 18;
  char* const b_field = out + 22;
  char* const g_field = out + 26;
  out[7] = out[11] = out[21] = out[25] = '-';
  std::memcpy(out + 15, "]-(", 3);
  fortran_i_into(a_field, 3, a);
  fortran_i_into(b_field, 3, b);
  fortran_i_into(g_field, 3, g);
  if (r > kNoDirectionDistance) {
    fortran_i_into(t_field, 3, t);
    fortran_i_into(p_field, 3, p);
  } else {
    std::memcpy(t_field, "NAD", 3);
    std::memcpy(p_field, "NAD", 3);
    t = p = kNad;
  }
  if (theta_deg == 0 || theta_deg == 180) {
    std::memcpy(p_field, "NAD", 3);
    p = kNad;
  }

  auto zero_fill = [](char* field, long value) {
    if (value == kNad) return;
    if (value <= 99) field[0] = '0';
    if (value <= 9) field[1] = '0';
  };
  zero_fill(t_field, t);
  zero_fill(p_field, p);
  zero_fill(a_field, a);
  zero_fill(b_field, b);
  zero_fill(g_field, g);
}

// The stem and the name, without the file names.
static ResultNames stem_and_name(Mode mode, double r, double theta, double phi, double alpha,
                                 double beta, double gamma) {
  char text[kStemLength + 1];
  write_stem(text, mode, r, theta, phi, alpha, beta, gamma);
  text[kStemLength] = ')';
  ResultNames names;
  names.stem.assign(text, kStemLength);
  names.name.assign(text, kStemLength + 1);
  return names;
}

ResultNames build_result_names(Session& session, double r, double theta, double phi,
                               double alpha, double beta, double gamma) {
  if (r > kNameDistanceLimit) {
    session.stop(Status::distance_too_large,
                 {free_line(" distance between molecules greater than "),
                  free_line(" 9999.9 Angstrons "), free_line(" name file error ")});
  }
  // The analyzer without result files uses the name alone, if that.
  if (!session.write_files && session.mode == Mode::analyzer) {
    if (!session.want_name) return ResultNames{};
    return stem_and_name(session.mode, r, theta, phi, alpha, beta, gamma);
  }
  return result_names(session.mode, r, theta, phi, alpha, beta, gamma);
}

ResultNames result_names(Mode mode, double r, double theta, double phi, double alpha, double beta,
                         double gamma) {
  ResultNames names = stem_and_name(mode, r, theta, phi, alpha, beta, gamma);
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
