// The builder's rules for the six user values: the range checks with their
// messages, the nudges at the range edges, and the whole degrees its summary
// shows.
#pragma once

#include <string>
#include <vector>

namespace kavor {

// 0.09 as a single-precision literal: the nudged value of a zero angle, and
// the distance below which the builder's report shows no direction.
inline constexpr double kF0_09 = 0.09000000357627869;

// The six values as a user writes them in UD-input-GEOMETRY.xyz: r in
// Angstrom, the angles in degrees.
struct UserValues {
  double r = 0.0, theta = 0.0, phi = 0.0, alpha = 0.0, beta = 0.0, gamma = 0.0;
};

// The values the core receives: r in Angstrom, angles in radians, after the
// adjustments (gamma replaced when beta rounds to 0; values at the edges
// nudged so that every angle stays defined).
struct AdjustedValues {
  double r = 0.0, theta = 0.0, phi = 0.0, alpha = 0.0, beta = 0.0, gamma = 0.0;
};

// Checks the values in the builder's order. A refused value fills `refusal`
// with the builder's four console lines (free-format, ready to print) and
// returns false; otherwise `out` holds the adjusted values.
bool adjust_user_values(const UserValues& in, AdjustedValues& out, std::vector<std::string>& refusal);

// Whole degrees of the builder's summary, from the re-measured theta and phi
// (phi as computed, in (-pi, pi]) and the user's adjusted angles (radians):
// half away from zero, 360 shown as 0 for phi, alpha and gamma.
struct SummaryDegrees {
  long theta, phi, alpha, beta, gamma;
};
SummaryDegrees builder_summary_degrees(double theta, double phi, double alpha, double beta,
                                       double gamma);

}  // namespace kavor
