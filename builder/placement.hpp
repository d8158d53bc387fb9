// The builder's stages after the analysis: turn molecule 1 back by the
// measured orientation, turn it by the user's Euler angles about its own
// centre of mass, move it to the user's position in frame XYZ, write
// "input-GEOMETRY.xyz", measure the placed pair again, look for short
// contacts and write the result files.
#pragma once

#include <array>

#include "core/naming.hpp"
#include "core/param.hpp"

namespace kavor {

// One placement: molecule 1 at the user's adjusted values (r in Angstrom,
// angles in radians).
struct PlacedGeometry {
  AtomTable atoms;  // x, y, z, mass 0, atomic number: the placed pair
  double r = 0.0, theta = 0.0, phi = 0.0;  // re-measured; phi in (-pi, pi]
  Vec3 drawn_centre;                       // molecule 1's frame as the BILD file draws it
  std::array<Vec3, 3> drawn;
};

void place_molecule(const AnalysedPair& pair, double r, double theta, double phi, double alpha,
                    double beta, double gamma, PlacedGeometry& out);

// ud-kavor's placement at the user's adjusted values (r in Angstrom, angles
// in radians), writing its report sections and result files.
class UserPlacement : public PlacementStage {
 public:
  UserPlacement(ResultNames names, const PairValues& user)
      : names_(std::move(names)), user_(user) {}
  PairValues run(Session& session, const AnalysedPair& pair,
                 const std::vector<Label>& isymbol) override;

 private:
  ResultNames names_;
  PairValues user_;
};

// The placement's report sections before the short contacts and after them.
void write_placement_opening(Session& s);
void write_placement_closing(Session& s);

// "input-GEOMETRY.xyz" of a placed pair, in the analyzer's input layout
// (atomic numbers as labels), into the session's directory or a file.
void write_placed_input(Session& session, const AtomTable& placed, int n1);
void write_placed_input(OutputFile& file, const AtomTable& placed, int n1);

// Euler matrix with each sine and cosine clamped to [-1, 1].
Mat3 clamped_euler_matrix(double alpha, double beta, double gamma);

}  // namespace kavor
