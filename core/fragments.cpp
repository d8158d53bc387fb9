#include "core/fragments.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

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

int element_of(const Label& label) {
  const int z = element_by_symbol(label);
  return z != 0 ? z : element_by_numeral(label);
}

}  // namespace

double covalent_radius(int z) { return kRadii[z - 1]; }

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
    const int z = element_of(block.isymbol[i]);
    radius[i] = z == 0 ? -1.0 : kRadii[z - 1];
    largest = std::max(largest, radius[i]);
  }
  // Atoms grouped in cubic cells as wide as the longest possible bond, so
  // that bonded atoms lie in neighbouring cells.
  const double cell = 2.0 * largest + kBondTolerance;
  // Far-out atoms share the outermost cells: more candidates, still exact.
  auto cell_index = [cell](double v) {
    return static_cast<std::int64_t>(std::clamp(std::floor(v / cell), -1e15, 1e15));
  };
  auto key = [](std::int64_t x, std::int64_t y, std::int64_t z) {
    const std::uint64_t m = (std::uint64_t{1} << 21) - 1;
    return ((static_cast<std::uint64_t>(x) & m) << 42) | ((static_cast<std::uint64_t>(y) & m) << 21) |
           (static_cast<std::uint64_t>(z) & m);
  };
  std::unordered_map<std::uint64_t, std::vector<int>> cells;
  cells.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    if (radius[i] < 0.0) continue;
    const Atom& a = block.icoo_and_m[i];
    cells[key(cell_index(a.x), cell_index(a.y), cell_index(a.z))].push_back(i);
  }
  std::vector<char> in_fragment(n, 0);
  std::vector<int> stack{0};
  in_fragment[0] = 1;
  int size = 1;
  while (!stack.empty() && radius[0] >= 0.0) {
    const int i = stack.back();
    stack.pop_back();
    const Atom& a = block.icoo_and_m[i];
    const std::int64_t cx = cell_index(a.x), cy = cell_index(a.y), cz = cell_index(a.z);
    for (std::int64_t dx = -1; dx <= 1; ++dx)
      for (std::int64_t dy = -1; dy <= 1; ++dy)
        for (std::int64_t dz = -1; dz <= 1; ++dz) {
          auto it = cells.find(key(cx + dx, cy + dy, cz + dz));
          if (it == cells.end()) continue;
          for (int k : it->second) {
            if (in_fragment[k]) continue;
            const Atom& b = block.icoo_and_m[k];
            const double ex = a.x - b.x, ey = a.y - b.y, ez = a.z - b.z;
            const double limit = radius[i] + radius[k] + kBondTolerance;
            if (ex * ex + ey * ey + ez * ez > limit * limit) continue;
            in_fragment[k] = 1;
            ++size;
            stack.push_back(k);
          }
        }
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
