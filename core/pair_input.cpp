#include "core/pair_input.hpp"

#include <cmath>
#include <stdexcept>

#include "core/elements.hpp"

namespace kavor {

std::vector<Label> labels_of(const std::vector<std::string>& tokens) {
  std::vector<Label> labels;
  labels.reserve(tokens.size());
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    const Label label = make_label(token);
    if (token.empty() || token.size() > 2 ||
        (element_by_symbol(label) == 0 && element_by_numeral(label) == 0))
      throw std::invalid_argument("label of atom " + std::to_string(i) + " ('" + token +
                                  "') names no element: give a symbol with its case ('C', 'Cl') "
                                  "or an atomic number from 1 to 92");
    labels.push_back(label);
  }
  return labels;
}

AtomTable atoms_of(const double* xyz, std::size_t n, const std::string& where) {
  AtomTable atoms(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double* p = xyz + 3 * i;
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
      throw std::invalid_argument(where + "atom " + std::to_string(i) +
                                  " has a coordinate that is not a finite number");
    atoms[i].x = p[0];
    atoms[i].y = p[1];
    atoms[i].z = p[2];
  }
  return atoms;
}

std::optional<int> checked_n1(std::optional<long long> n1, std::size_t n) {
  if (n < 2) throw std::invalid_argument("a pair needs at least 2 atoms, got " + std::to_string(n));
  if (n1 && (*n1 < 1 || static_cast<unsigned long long>(*n1) >= n))
    throw std::invalid_argument(
        "n1 must be from 1 to " + std::to_string(n - 1) +
        " (the atoms of molecule 1 come first, molecule 2 needs at least one), got " +
        std::to_string(*n1));
  if (!n1) return std::nullopt;
  return static_cast<int>(*n1);
}

}  // namespace kavor
