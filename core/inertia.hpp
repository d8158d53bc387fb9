// Inertia analysis of one molecule in one pass: centre of mass, atomic-number
// groups and the higher-Z-CM, inertia tensor, principal moments and axes,
// rotational constants, and the report sections that document them.
#pragma once

#include "core/state.hpp"

namespace kavor {

// Mass-weighted centre of rows [first, last): each sum taken in row order.
Vec3 centre_of_mass(const AtomTable& atoms, int first, int last);

// Writes molecule 1's end points P1..P3 and CM1, then molecule 2's P4..P6 and
// CM2, one line each.
void write_endpoint_table(CoreState& st);

// Opens the report and writes its header the first time it is called.
void open_report(CoreState& st);

// Analyses molecule k (0 = molecule 1, 1 = molecule 2) of the working table.
// For k = 1 molecule 2's rows are first moved to the front of the table. The
// molecule's rows end translated to its centre of mass and converted to grams
// and centimetres; CM, groups, moments, axes and end points go to `st`.
void analyse_molecule(CoreState& st, AtomTable& coo_and_m, int k);

// After both molecules: the initial-data section and the check T e = lambda e.
void write_initial_data(CoreState& st);
void write_verification(CoreState& st);

// Conversion factors, as the program writes them (single-precision literals
// keep their widened value).
inline constexpr double kGramsPerAmu = 1.6605389005928226e-24;
inline constexpr double kCmPerAngstrom = 9.99999993922529e-09;  // 1e-8 as float
inline constexpr double kKgM2PerGCm2 = 1.0000000116860974e-07;  // 1e-7 as float
// h / (8 pi^2 c) in units that give GHz from a moment in g cm^2.
inline constexpr double kRotationalFactor = 8.397824785295456e-38;
inline constexpr double kHigherZMinDistance = 0.10000000149011612;  // 0.1 as float, Angstrom

}  // namespace kavor
