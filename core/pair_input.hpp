// A pair handed over in memory (the C++ library and the Python package):
// labels, positions and N1 checked and turned into a geometry block. Every
// refusal is std::invalid_argument with a message that names the atom
// (counted from 0).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/geometry_input.hpp"

namespace kavor {

// Each token must be an element symbol with its exact case ("C", "Cl") or an
// atomic number "1".."92"; the core reads only two characters of a label, so
// longer tokens are refused rather than cut ("Cl1" would be chlorine).
std::vector<Label> labels_of(const std::vector<std::string>& tokens);

// Copies n rows x, y, z (Angstrom) into an atom table; every value must be
// finite. `where` starts the messages ("frame 3: ").
AtomTable atoms_of(const double* xyz, std::size_t n, const std::string& where);

// n1 in 1..n-1, or none for the bonded-fragment rule; n below 2 is refused.
std::optional<int> checked_n1(std::optional<long long> n1, std::size_t n);

}  // namespace kavor
