// The element table (Z = 1 to 92) and element identification from labels.
#pragma once

#include <string_view>
#include <vector>

#include "core/atoms.hpp"

namespace kavor {

inline constexpr int kElementCount = 92;

// Stored mass of element z (1..92): the single-precision value of its decimal
// mass widened to double (hydrogen 1.0080000162124634).
double element_mass(int z);
// Symbol of element z (1..92): one or two letters, "C", "Cl".
std::string_view element_symbol(int z);

// Atomic number named by a label, 0 if none. Comparison is exact and
// case-sensitive with blank padding: "C " is carbon, "Cl" chlorine, "CL" and
// "c " nothing.
int element_by_symbol(const Label& label);
// Atomic number written as a numeral "1".."92" without leading zeros, 0 if none.
int element_by_numeral(const Label& label);

// Fills mass and atomic number of every atom whose label names an element:
// a symbol pass, then a numeral pass over all n atoms. The builder also
// replaces numeral labels by element symbols.
void identify_elements(int n, std::vector<Label>& isymbol, AtomTable& coo_and_m, Mode mode);

}  // namespace kavor
