#include <cmath>
#include <string>

#include "common.hpp"
#include "core/elements.hpp"

namespace kavor::python {

std::vector<Label> to_labels(const std::vector<std::string>& tokens) {
  std::vector<Label> labels;
  labels.reserve(tokens.size());
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    const Label label = make_label(token);
    // The core reads only two characters of a label; longer tokens are
    // refused rather than cut ("Cl1" would be chlorine, "C12" nothing).
    if (token.empty() || token.size() > 2 ||
        (element_by_symbol(label) == 0 && element_by_numeral(label) == 0))
      throw py::value_error("label of atom " + std::to_string(i) + " ('" + token +
                            "') names no element: give a symbol with its case ('C', 'Cl') "
                            "or an atomic number from 1 to 92");
    labels.push_back(label);
  }
  return labels;
}

AtomTable to_atoms(const double* xyz, size_t n, const std::string& where) {
  AtomTable atoms(n);
  for (size_t i = 0; i < n; ++i) {
    const double* p = xyz + 3 * i;
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
      throw py::value_error(where + "atom " + std::to_string(i) +
                            " has a coordinate that is not a finite number");
    atoms[i].x = p[0];
    atoms[i].y = p[1];
    atoms[i].z = p[2];
  }
  return atoms;
}

std::optional<int> checked_n1(std::optional<long long> n1, size_t n) {
  if (n < 2) throw py::value_error("a pair needs at least 2 atoms, got " + std::to_string(n));
  if (n1 && (*n1 < 1 || static_cast<unsigned long long>(*n1) >= n))
    throw py::value_error("n1 must be from 1 to " + std::to_string(n - 1) +
                          " (the atoms of molecule 1 come first, molecule 2 needs at least one), got " +
                          std::to_string(*n1));
  if (!n1) return std::nullopt;
  return static_cast<int>(*n1);
}

GeometryBlock to_block(const std::vector<std::string>& tokens, const Positions& positions) {
  if (positions.ndim() != 2 || positions.shape(1) != 3 ||
      static_cast<size_t>(positions.shape(0)) != tokens.size())
    throw py::value_error("positions must have the shape (" + std::to_string(tokens.size()) +
                          ", 3): one row x, y, z per label");
  GeometryBlock block;
  block.isymbol = to_labels(tokens);
  block.n = static_cast<int>(tokens.size());
  block.icoo_and_m = to_atoms(positions.data(), tokens.size(), "");
  return block;
}

}  // namespace kavor::python
