// The builder's stages after the analysis: turn molecule 1 back by the
// measured orientation, turn it by the user's Euler angles about its own
// centre of mass, move it to the user's position in frame XYZ, write
// "input-GEOMETRY.xyz", measure the placed pair again, look for short
// contacts and write the result files.
#pragma once

#include "core/naming.hpp"
#include "core/param.hpp"

namespace kavor {

// The user's parameters: r in Angstrom, angles in radians.
struct UserParameters {
  double r = 0.0;
  double theta = 0.0;
  double phi = 0.0;
  double alpha = 0.0;
  double beta = 0.0;
  double gamma = 0.0;
};

class UserPlacement : public PlacementStage {
 public:
  explicit UserPlacement(ResultNames names) : names_(std::move(names)) {}
  // Reads the user's values from the returned-value slots of `args`.
  void run(CoreState& st, AtomTable& coo_and_m, std::vector<Label>& isymbol,
           ParamArgs& args) override;

  // Where molecule 1's atoms and drawn axis end points ended (for tests).
  const AtomTable& placed() const { return placed_; }
  const std::array<Vec3, 3>& drawn_endpoints() const { return drawn_; }
  const Vec3& drawn_centre() const { return drawn_centre_; }

 private:
  ResultNames names_;
  AtomTable placed_;
  std::array<Vec3, 3> drawn_{};
  Vec3 drawn_centre_{};
};

// Euler matrix with each sine and cosine clamped to [-1, 1].
Mat3 clamped_euler_matrix(double alpha, double beta, double gamma);

}  // namespace kavor
