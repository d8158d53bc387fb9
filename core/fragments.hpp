// Molecule 1 found from the bonds of a pair: the covalently bonded fragment
// that contains the first atom, when it is the leading block of atoms.
#pragma once

#include <string>

#include "core/geometry_input.hpp"

namespace kavor {

struct LeadingFragment {
  int n1 = 0;           // atoms of molecule 1; 0 when no such split exists
  std::string message;  // why not, when n1 is 0
};

// Two atoms are bonded when their distance is at most the sum of their
// covalent radii plus 0.4 Angstrom; labels are identified as the analysis
// identifies them, and an atom whose label names no element bonds to
// nothing. The fragment of atom 1 must be atoms 1..n1 exactly, and must not
// be every atom.
LeadingFragment leading_fragment(const GeometryBlock& block);

// Covalent radius of element z (1..92), Angstrom.
double covalent_radius(int z);

// The atomic number a label names as the analysis identifies it (symbol,
// then numeral), 0 for none.
int element_of(const Label& label);
// Covalent radius of the element a label names; -1 for a label that names
// none (such an atom bonds to nothing).
double bond_radius(const Label& label);

inline constexpr double kBondTolerance = 0.4;  // Angstrom, added to the sum of the radii

}  // namespace kavor
