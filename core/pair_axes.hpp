// The small records the analysis passes between its steps: atomic-number
// groups, the end-point table of a pass and the grid fit's best angles.
#pragma once

#include <array>

#include "core/atoms.hpp"

namespace kavor {

// Atomic-number groups of one molecule, indexed by Z = 1..92 (entry 0 unused).
// count, centre and distance are set for the groups present only.
struct GroupTable {
  std::array<bool, 93> present;     // at least one atom of this Z
  std::array<double, 93> count;     // number of atoms of this Z
  std::array<Vec3, 93> centre;      // mass-weighted centre, Angstrom
  std::array<double, 93> distance;  // from the molecule's centre of mass, Angstrom
  std::array<bool, 93> usable;      // the group of Z_high, far enough from the centre to orient
  GroupTable() {
    present.fill(false);
    usable.fill(false);
  }
};

// Best angles of the grid fit: one store shared by the alignment fits and the
// Euler search (the Euler search starts from what the last fit left).
// Angles in radians, differences in degrees.
struct BestAngles {
  double alpha = 0.0;
  double beta = 0.0;
  double gamma = 0.0;
  double best_z1 = 0.0;
  double best_x1 = 0.0;
  double best_y1 = 0.0;
};

// Indices of the six axis end points P1..P6 (rows of the end-point table).
// Molecule 1: z, y, x (eigenvectors of I_A, I_B, I_C); molecule 2: Y, X, Z.
enum Axis : int { kAxis_z = 0, kAxis_y = 1, kAxis_x = 2, kAxis_Y = 3, kAxis_X = 4, kAxis_Z = 5 };

// One pass's end-point table: each molecule's centre of mass and the end
// points P1..P6 (indexed by Axis), Angstrom.
struct PairAxes {
  std::array<Vec3, 2> cm;  // CM1, CM2
  std::array<Vec3, 6> endpoints;
};

}  // namespace kavor
