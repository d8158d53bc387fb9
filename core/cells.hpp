// A uniform grid of cubic cells over a set of atoms, for finding the atoms
// within a distance of a point without testing every atom. Cells are at
// least as wide as the distance, so every neighbour lies in one of the 27
// cells around the point's cell.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/atoms.hpp"

namespace kavor {

class CellGrid {
 public:
  // Indexes atoms[first, last) (rows of the table) in cells of `width` Angstrom.
  CellGrid(const AtomTable& atoms, int first, int last, double width) : width_(width) {
    cells_.reserve(static_cast<size_t>(std::max(0, last - first)));
    for (int k = first; k < last; ++k) cells_[key_of(atoms[k])].push_back(k);
  }

  // Calls visit(k) for every indexed row in the 27 cells around `a`, cell by
  // cell, rows ascending within a cell. Candidates only: the caller tests
  // the distance.
  template <class Visit>
  void for_each_candidate(const Atom& a, Visit&& visit) const {
    const std::int64_t cx = index(a.x), cy = index(a.y), cz = index(a.z);
    for (std::int64_t dx = -1; dx <= 1; ++dx)
      for (std::int64_t dy = -1; dy <= 1; ++dy)
        for (std::int64_t dz = -1; dz <= 1; ++dz) {
          const auto it = cells_.find(pack(cx + dx, cy + dy, cz + dz));
          if (it == cells_.end()) continue;
          for (int k : it->second) visit(k);
        }
  }

 private:
  // Far-out atoms share the outermost cells (more candidates, still exact);
  // indices wrap in the key, which only merges distant cells.
  std::int64_t index(double v) const {
    return static_cast<std::int64_t>(std::clamp(std::floor(v / width_), -1e15, 1e15));
  }
  static std::uint64_t pack(std::int64_t x, std::int64_t y, std::int64_t z) {
    const std::uint64_t m = (std::uint64_t{1} << 21) - 1;
    return ((static_cast<std::uint64_t>(x) & m) << 42) | ((static_cast<std::uint64_t>(y) & m) << 21) |
           (static_cast<std::uint64_t>(z) & m);
  }
  std::uint64_t key_of(const Atom& a) const { return pack(index(a.x), index(a.y), index(a.z)); }

  double width_;
  std::unordered_map<std::uint64_t, std::vector<int>> cells_;
};

}  // namespace kavor
