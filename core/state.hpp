// The analysis core's state for one run: its private copies of the atom
// table, the per-molecule results of the current pass and the frames.
#pragma once

#include <array>

#include "core/atoms.hpp"
#include "core/session.hpp"

namespace kavor {

// Atomic-number groups of one molecule, indexed by Z = 1..92 (entry 0 unused).
struct GroupTable {
  std::array<bool, 93> present;     // at least one atom of this Z
  std::array<double, 93> count;     // number of atoms of this Z
  std::array<Vec3, 93> centre;      // mass-weighted centre, Angstrom (0/0 if absent)
  std::array<double, 93> distance;  // from the molecule's centre of mass, Angstrom
  std::array<bool, 93> usable;      // the group of Z_high, far enough from the centre to orient
  GroupTable() {
    present.fill(false);
    count.fill(0.0);
    centre.fill(Vec3{});
    distance.fill(0.0);
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

struct CoreState {
  CoreState(Session& run_session, Mode run_mode) : session(run_session), mode(run_mode) {}

  Session& session;
  Mode mode;

  int n_total = 0;  // N, atoms of both molecules
  int n1 = 0;       // atoms of molecule 1
  int n2 = 0;       // atoms of molecule 2
  int pass = 0;     // alignment pass 0, 1, 2

  // Copies of the atom table (same row layout as `coo_and_m`).
  AtomTable originalcoo_and_m;  // as handed to the core, identified
  AtomTable auxiliar;           // coordinates the alignment transforms; scratch later
  AtomTable inicial_posicao_correta_coo_and_m;  // aligned geometry of the latest pass
  AtomTable final_coo_and_m;                    // geometry the result files show

  std::array<GroupTable, 2> groups;
  std::array<int, 2> z_high{0, 0};  // 0 when no atom was identified
  std::array<Vec3, 2> cm;           // CM1, CM2 in the coordinates of the current pass

  std::array<Mat3, 2> tensor;                     // g cm^2, kept for the verification
  std::array<std::array<double, 3>, 2> moments;   // I_A <= I_B <= I_C, g cm^2
  std::array<std::array<Vec3, 3>, 2> eigvec;      // unit axes e1, e2, e3 as the solver gave them

  std::array<Vec3, 6> endpoints;  // P1..P6: centre of mass + unit axis, Angstrom
  // Per end point: whether the higher-Z-CM tells its axis from the opposite
  // one, and its sense: +1 towards the higher-Z-CM (or not judged), -1 away.
  std::array<bool, 6> distinguishable{};
  std::array<int, 6> sense{};
  // The report's flag sums of the first pass: 10 per distinguishable axis.
  std::array<int, 2> first_pass_sums{0, 0};

  BestAngles best;
  double beta_pass = 0.0;  // angle between z and Z after the latest alignment

  void say(std::string_view line) { session.say(line); }
  void log(std::string_view line) { session.log(line); }
  template <class... Items>
  void logf(const Items&... items) {
    session.logf(items...);
  }
  bool logging() const { return session.logging(); }
  void both(std::string_view line) { session.both(line); }
};

}  // namespace kavor
