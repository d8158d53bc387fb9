// kavor as a library: the placement of molecule 1 relative to molecule 2 in a
// dimer, computed by the same code as the programs kavor, ud-kavor and
// kavor-batch, to the last bit.
//
// Conventions: lengths in Angstrom, angles in degrees. Molecule 1 is the
// first n1 atoms, molecule 2 the rest. r, theta and phi place molecule 1's
// centre of mass in molecule 2's frame XYZ; alpha, beta and gamma are the
// z-y-z Euler angles of frame xyz (molecule 1) relative to XYZ.
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "kavor/status.hpp"

namespace kavor {

// One molecule's principal axes of inertia, from the first analysis of the
// input geometry and in the input's coordinates. Masses are the programs'
// (single-precision values widened to double).
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct PrincipalAxes {
  std::array<double, 3> centre{kNaN, kNaN, kNaN};   // centre of mass, Angstrom
  std::array<double, 3> moments{kNaN, kNaN, kNaN};  // I_A <= I_B <= I_C, amu Angstrom^2
  // The frame's unit axes, x, y, z for molecule 1 and X, Y, Z for molecule 2
  // (x, y, z = I_C, I_B, I_A axes; X, Y, Z = I_B, I_A, I_C axes), oriented by
  // the higher-Z-CM rule and made right-handed. When the analysis stopped
  // because an axis cannot be oriented, the axes are the eigensolver's, with
  // arbitrary signs.
  std::array<std::array<double, 3>, 3> axes{centre, centre, centre};
};

struct Analysis {
  Status status = Status::ok;
  // The six values as kavor-batch writes them (after kavor's final-value
  // rules); NaN where its field is empty: an undefined theta (r at most
  // 0.099999 Angstrom) or phi (theta also 0 or 180 in whole degrees), and
  // every value of a stopped analysis.
  double r = kNaN, theta = kNaN, phi = kNaN, alpha = kNaN, beta = kNaN, gamma = kNaN;
  std::string name;     // "[0005.2-092-082]-(023-132-038)"; empty when stopped
  std::string message;  // the stop's message on one line; empty when analysed
  // NaN throughout when the analysis stopped before the per-molecule analysis.
  std::array<PrincipalAxes, 2> molecules;
};

// n1 meaning "molecule 1 is the bonded fragment of the first atom", which must
// be the leading block of atoms (stop n1_not_found otherwise).
inline constexpr std::size_t find_n1 = 0;

// Analyses one pair as kavor does. Labels are element symbols with their case
// ("C", "Cl") or atomic numbers "1".."92". An orderly stop is a status, never
// an exception; labels naming no element, non-finite coordinates, sizes that
// differ, fewer than 2 atoms or n1 not below the atom count throw
// std::invalid_argument.
Analysis analyse(std::span<const std::string> labels,
                 std::span<const std::array<double, 3>> positions, std::size_t n1);

// One placement of molecule 1, as ud-kavor makes it.
struct Placed {
  Status status = Status::ok;  // ok, user_value, distance_too_large or the pair's stop
  std::string message;         // the stop's message on one line
  std::string name;            // ud-kavor's result name; empty when stopped
  std::vector<std::array<double, 3>> positions;  // the placed pair, Angstrom, input order
  std::vector<int> numbers;                      // atomic numbers, input order
  int contacts = 0;                              // intermolecular pairs at or below 1.9 Angstrom
  double min_distance = 0;                       // shortest intermolecular distance, Angstrom
};

class PlacementBase;

// ud-kavor's placement as a reusable step: the pair is analysed once in
// ud-kavor's mode, then molecule 1 is placed at any number of points. place()
// may be called from several threads at once.
class Placer {
 public:
  // Arguments as for analyse; n1 = find_n1 applies the bonded-fragment rule.
  Placer(std::span<const std::string> labels, std::span<const std::array<double, 3>> positions,
         std::size_t n1);
  ~Placer();
  Placer(Placer&&) noexcept;
  Placer& operator=(Placer&&) noexcept;

  Status status() const;  // ok, or the pair's stop that every point gets
  // r in Angstrom, the angles in degrees, with ud-kavor's ranges and nudges;
  // a refused value is the status user_value, not an exception. Non-finite
  // values throw std::invalid_argument.
  Placed place(double r, double theta, double phi, double alpha, double beta, double gamma) const;

 private:
  std::unique_ptr<PlacementBase> base_;
  Status n1_stop_ = Status::ok;  // n1_not_found when find_n1 found no molecule 1
  std::string n1_message_;
};

// The code text kavor-batch writes ("ok", "symmetric_1", ...) and every row of
// the status table are declared in kavor/status.hpp.

}  // namespace kavor
