#include "core/fragments.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/cells.hpp"
#include "core/elements.hpp"

namespace kavor {

namespace {

// Single-bond covalent radii, Angstrom (Cordero et al., Dalton Trans. 2008;
// low-spin values for Mn, Fe, Co).
constexpr double kRadii[kElementCount] = {
    0.31, 0.28, 1.28, 0.96, 0.84, 0.76, 0.71, 0.66, 0.57, 0.58,  // H-Ne
    1.66, 1.41, 1.21, 1.11, 1.07, 1.05, 1.02, 1.06, 2.03, 1.76,  // Na-Ca
    1.70, 1.60, 1.53, 1.39, 1.39, 1.32, 1.26, 1.24, 1.32, 1.22,  // Sc-Zn
    1.22, 1.20, 1.19, 1.20, 1.20, 1.16, 2.20, 1.95, 1.90, 1.75,  // Ga-Zr
    1.64, 1.54, 1.47, 1.46, 1.42, 1.39, 1.45, 1.44, 1.42, 1.39,  // Nb-Sn
    1.39, 1.38, 1.39, 1.40, 2.44, 2.15, 2.07, 2.04, 2.03, 2.01,  // Sb-Nd
    1.99, 1.98, 1.98, 1.96, 1.94, 1.92, 1.92, 1.89, 1.90, 1.87,  // Pm-Yb
    1.87, 1.75, 1.70, 1.62, 1.51, 1.44, 1.41, 1.36, 1.36, 1.32,  // Lu-Hg
    1.45, 1.46, 1.48, 1.40, 1.50, 1.50, 2.60, 2.21, 2.15, 2.06,  // Tl-Th
    2.00, 1.96,                                                  // Pa, U
};

}  // namespace

double covalent_radius(int z) { return kRadii[z - 1]; }

int element_of(const Label& label) {
  const int z = element_by_symbol(label);
  return z != 0 ? z : element_by_numeral(label);
}

double bond_radius(const Label& label) {
  const int z = element_of(label);
  return z == 0 ? -1.0 : kRadii[z - 1];
}

LeadingFragment leading_fragment(const GeometryBlock& block) {
  const int n = block.n;
  LeadingFragment result;
  if (n == 0) {
    result.message = "the frame has no atoms";
    return result;
  }
  std::vector<double> radius(n, 0.0);
  double largest = 0.0;
  for (int i = 0; i < n; ++i) {
    radius[i] = bond_radius(block.isymbol[i]);
    largest = std::max(largest, radius[i]);
  }
  // Bonded atoms are at most the longest possible bond apart. Unidentified
  // atoms bond to nothing, so they stay out of the grid.
  AtomTable bonding;
  std::vector<int> row_of;
  for (int i = 0; i < n; ++i)
    if (radius[i] >= 0.0) {
      bonding.push_back(block.icoo_and_m[i]);
      row_of.push_back(i);
    }
  const CellGrid grid(bonding, 0, static_cast<int>(bonding.size()), 2.0 * largest + kBondTolerance);
  std::vector<char> in_fragment(n, 0);
  std::vector<int> stack{0};
  in_fragment[0] = 1;
  int size = 1;
  while (!stack.empty() && radius[0] >= 0.0) {
    const int i = stack.back();
    stack.pop_back();
    const Atom& a = block.icoo_and_m[i];
    grid.for_each_candidate(a, [&](int j) {
      const int k = row_of[j];
      if (in_fragment[k]) return;
      const Atom& b = block.icoo_and_m[k];
      const double ex = a.x - b.x, ey = a.y - b.y, ez = a.z - b.z;
      const double limit = radius[i] + radius[k] + kBondTolerance;
      if (ex * ex + ey * ey + ez * ez > limit * limit) return;
      in_fragment[k] = 1;
      ++size;
      stack.push_back(k);
    });
  }
  if (size == n) {
    result.message = "atom 1 is bonded, directly or through others, to every atom: no molecule 2";
    return result;
  }
  for (int i = 0; i < size; ++i)
    if (!in_fragment[i]) {
      int later = size;
      while (!in_fragment[later]) ++later;
      result.message = "the bonded fragment of atom 1 is not the leading block of atoms: atom " +
                       std::to_string(later + 1) + " belongs to it, atom " + std::to_string(i + 1) +
                       " does not";
      return result;
    }
  result.n1 = size;
  return result;
}

}  // namespace kavor
