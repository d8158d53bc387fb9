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

// What the placement needs of an analysis in the builder's mode; the same
// for every point of a scan.
struct AnalysedPair {
  int n = 0, n1 = 0;
  // Analysis-frame coordinates (molecule 2's centre at the origin, its
  // frame XYZ along the axes), Angstrom, with masses and atomic numbers.
  AtomTable atoms;
  BestAngles best;                 // the found Euler angles, radians
  Vec3 c1;                         // molecule 1's centre of mass
  std::array<Vec3, 3> endpoints;   // molecule 1's axis end points z, y, x
  Vec3 c2;                         // molecule 2's centre of mass, as re-measured
};

AnalysedPair analysed_pair(const CoreState& st);

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

class UserPlacement : public PlacementStage {
 public:
  explicit UserPlacement(ResultNames names) : names_(std::move(names)) {}
  // Reads the user's values from the returned-value slots of `args`.
  void run(CoreState& st, AtomTable& coo_and_m, std::vector<Label>& isymbol,
           ParamArgs& args) override;

 private:
  ResultNames names_;
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
