// The builder's stages after the analysis: turn molecule 1 back by the
// measured orientation, turn it by the user's Euler angles about its own
// centre of mass, move it to the user's position in frame XYZ, write
// "input-GEOMETRY.xyz", measure the placed pair again, look for short
// contacts and write the result files.
#pragma once

#include "core/naming.hpp"
#include "core/param.hpp"

namespace kavor {

class UserPlacement : public PlacementStage {
 public:
  explicit UserPlacement(ResultNames names) : names_(std::move(names)) {}
  // Reads the user's values from the returned-value slots of `args`.
  void run(CoreState& st, AtomTable& coo_and_m, std::vector<Label>& isymbol,
           ParamArgs& args) override;

 private:
  ResultNames names_;
};

// Euler matrix with each sine and cosine clamped to [-1, 1].
Mat3 clamped_euler_matrix(double alpha, double beta, double gamma);

}  // namespace kavor
