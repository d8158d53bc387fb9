// Inertia analysis of one molecule in one pass: centre of mass, atomic-number
// groups and the higher-Z-CM, inertia tensor, principal moments and axes,
// rotational constants, and the report sections that document them.
#pragma once

#include "core/pair_axes.hpp"
#include "core/session.hpp"

namespace kavor {

// Mass-weighted centre of rows [first, last): each sum taken in row order.
Vec3 centre_of_mass(const AtomTable& atoms, int first, int last);

// One molecule's inertia analysis in one pass.
struct MoleculeInertia {
  Vec3 cm;                          // centre of mass, Angstrom
  GroupTable groups;                // atomic-number groups; distances from cm
  int z_high = 0;                   // highest atomic number present, 0 when no atom was identified
  Mat3 tensor;                      // inertia tensor about cm, g cm^2
  bool finite = true;               // false when the tensor overflowed: nothing below is set
  std::array<double, 3> moments{};  // principal moments I_A <= I_B <= I_C, g cm^2
  std::array<Vec3, 3> eigvec{};     // unit axes e1, e2, e3 as the solver gave them
};

// Analyses rows [first, last) of `atoms` (Angstrom, amu): centre of mass,
// groups, then the tensor from each atom moved to the centre and converted
// to grams and centimetres, and its eigenvectors.
MoleculeInertia principal_axes(const AtomTable& atoms, int first, int last);

// Molecule 1's end points are z, y, x (rows 0..2), molecule 2's Y, X, Z
// (rows 3..5): each the centre plus the solver's unit axis.
PairAxes end_point_table(const std::array<MoleculeInertia, 2>& molecules);

// Opens the report and writes its header the first time it is called.
void open_report(Session& session);

// The report's account of molecule k (0 = molecule 1): centre, groups and
// tensor; then, once the tensor is known to be finite, eigenvectors,
// moments and rotational constants.
void write_centre_and_tensor(Report& report, const MoleculeInertia& m, int k);
void write_principal_moments(Report& report, const MoleculeInertia& m, int k);

// Molecule 1's end points P1..P3 and CM1, then molecule 2's P4..P6 and CM2.
void write_endpoint_table(Report& report, const PairAxes& axes);

// The end-point table under `title`, between double rules of hyphens.
void write_endpoint_section(Report& report, const PairAxes& axes, std::string_view title,
                            int first_blanks, bool blank_before_title);

// After both molecules: the initial-data section and the check T e = lambda e.
void write_initial_data(Report& report, const PairAxes& axes);
void write_verification(Report& report, const std::array<MoleculeInertia, 2>& molecules,
                        const PairAxes& axes);

// Conversion factors, as the program writes them (single-precision literals
// keep their widened value).
inline constexpr double kGramsPerAmu = 1.6605389005928226e-24;
inline constexpr double kCmPerAngstrom = 9.99999993922529e-09;  // 1e-8 as float
inline constexpr double kKgM2PerGCm2 = 1.0000000116860974e-07;  // 1e-7 as float
// h / (8 pi^2 c) in units that give GHz from a moment in g cm^2.
inline constexpr double kRotationalFactor = 8.397824785295456e-38;
inline constexpr double kHigherZMinDistance = 0.10000000149011612;  // 0.1 as float, Angstrom

}  // namespace kavor
