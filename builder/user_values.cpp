#include "builder/user_values.hpp"

#include <cmath>

#include "core/euler.hpp"
#include "core/format.hpp"
#include "core/rounding.hpp"

namespace kavor {

namespace {

// Limits of the user values, single-precision literals widened to double.
constexpr double kF0_1 = 0.10000000149011612;
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

}  // namespace

bool adjust_user_values(const UserValues& in, AdjustedValues& out, std::vector<std::string>& refusal) {
  double r = in.r, theta = in.theta, phi = in.phi, alpha = in.alpha, beta = in.beta, gamma = in.gamma;
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
    refusal.clear();
    refusal.push_back(free_line(checks[c].first));
    refusal.push_back(free_line(checks[c].second));
    if (c == 0) refusal.push_back(free_line(" User value :", shown[c]));
    else refusal.push_back(free_line(" User value :", nearest_whole(shown[c])));
    refusal.push_back(free_line(" program stopped"));
    return false;
  }

  if (alpha < kF0_1) alpha = kF0_09;
  if (gamma < kF0_1) gamma = kF0_09;
  if (theta < kF0_05) theta = kF0_049;
  if (phi < kF0_05) phi = kF0_049;
  if (theta > kF179_91 && theta < kF180_09) theta = kF179_99;
  if (beta > kF179_91 && beta < kF180_09) beta = kF179_99;
  out.r = r;
  out.theta = theta * kRadPerDeg;
  out.phi = phi * kRadPerDeg;
  out.alpha = alpha * kRadPerDeg;
  out.beta = beta * kRadPerDeg;
  out.gamma = gamma * kRadPerDeg;
  return true;
}

SummaryDegrees builder_summary_degrees(double theta, double phi, double alpha, double beta,
                                       double gamma) {
  double phi_out = phi;
  if (phi_out < 0.0) phi_out = phi_out + kTwoPi;
  SummaryDegrees d;
  d.theta = whole(kDegPerRad * theta);
  d.phi = whole(kDegPerRad * phi_out);
  d.alpha = whole(kDegPerRad * alpha);
  d.beta = whole(kDegPerRad * beta);
  d.gamma = whole(kDegPerRad * gamma);
  if (d.phi == 360) d.phi = 0;
  if (d.alpha == 360) d.alpha = 0;
  if (d.gamma == 360) d.gamma = 0;
  return d;
}

}  // namespace kavor
