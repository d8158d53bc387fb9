#include "core/periodic.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <map>
#include <unordered_map>

#include "core/elements.hpp"
#include "core/errors.hpp"
#include "core/fragments.hpp"
#include "core/inertia.hpp"
#include "core/parallel.hpp"

namespace kavor {

namespace {

Vec3 add(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
double norm2(const Vec3& v) { return v.x * v.x + v.y * v.y + v.z * v.z; }

bool zero(const Shift& n) { return n[0] == 0 && n[1] == 0 && n[2] == 0; }
// Of n and -n, the one whose first nonzero component is positive.
bool positive(const Shift& n) {
  for (int k = 0; k < 3; ++k)
    if (n[k] != 0) return n[k] > 0;
  return false;
}
Shift negated(const Shift& n) { return {-n[0], -n[1], -n[2]}; }

// A point moved by a shift; no shift leaves the point's doubles untouched.
Vec3 moved(const Vec3& p, const std::optional<Cell>& cell, const Shift& n) {
  return zero(n) ? p : add(p, translation(*cell, n));
}

std::int64_t floor_div(std::int64_t a, std::int64_t m) {
  std::int64_t q = a / m;
  if (a % m != 0 && a < 0) --q;
  return q;
}

// Every point's neighbours within `reach`, over every periodic image, with
// a cell list in fractional coordinates. A periodic direction is cut into
// m bins at least `reach` wide (one bin when the cell is narrower, whose
// neighbours are then several images away); a direction that is not
// periodic (and all three without a cell) into bins `reach` wide without
// bound. Two points whose bins are d apart along a direction are at least
// (|d| - 1) bin widths apart, measured across the planes of the other two
// lattice vectors, so the bins within ceil(reach / width) around a point's
// bin hold every neighbour.
class ImageGrid {
 public:
  ImageGrid(const std::vector<Vec3>& points, const std::optional<Cell>& cell, double reach)
      : points_(points), cell_(cell), reach2_(reach * reach) {
    Vec3 basis[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    if (cell_) {
      basis[0] = cell_->a;
      basis[1] = cell_->b;
      basis[2] = cell_->c;
    }
    const Vec3 normal[3] = {cross(basis[1], basis[2]), cross(basis[2], basis[0]), cross(basis[0], basis[1])};
    const double volume = dot(basis[0], normal[0]);
    const double margin = 1.0 + 1e-9;  // rounding of the fractional coordinates
    for (int k = 0; k < 3; ++k) {
      reciprocal_[k] = {normal[k].x / volume, normal[k].y / volume, normal[k].z / volume};
      const double width = std::fabs(volume) / std::sqrt(norm2(normal[k]));  // between the planes
      periodic_[k] = cell_ && cell_->pbc[k];
      if (periodic_[k]) {
        bins_[k] = static_cast<std::int64_t>(std::clamp(std::floor(width / reach), 1.0, double{1 << 20}));
        reach_bins_[k] = static_cast<std::int64_t>(std::ceil(reach * margin * bins_[k] / width));
        bin_width_[k] = 1.0 / bins_[k];
      } else {
        bins_[k] = 0;
        reach_bins_[k] = 1;
        bin_width_[k] = reach > 0.0 ? reach * margin / width : 1.0;
      }
    }
    const size_t n = points_.size();
    bin_.resize(n);
    wrap_.resize(n);
    cells_.reserve(n);
    for (size_t i = 0; i < n; ++i) {
      for (int k = 0; k < 3; ++k) {
        const double f = dot(points_[i], reciprocal_[k]);
        if (periodic_[k]) {
          if (!(std::fabs(f) < 1e6))
            throw InputError("atom " + std::to_string(i + 1) + " lies more than a million cells from the origin");
          const double t = std::floor(f);
          wrap_[i][k] = static_cast<int>(t);
          const double u = f - t;  // in [0, 1]
          bin_[i][k] = std::clamp<std::int64_t>(static_cast<std::int64_t>(u * bins_[k]), 0, bins_[k] - 1);
        } else {
          wrap_[i][k] = 0;
          bin_[i][k] = static_cast<std::int64_t>(std::clamp(std::floor(f / bin_width_[k]), -1e15, 1e15));
        }
      }
      cells_[pack(bin_[i])].push_back(static_cast<int>(i));
    }
  }

  // visit(j, n, d2) for every point j and shift n with |p_j + n.L - p_i|^2
  // at most reach^2, except j == i with no shift.
  template <class Visit>
  void for_each_neighbour(int i, Visit&& visit) const {
    const auto& b = bin_[i];
    const Vec3& p = points_[i];
    std::array<std::int64_t, 3> at;
    std::array<int, 3> image;
    for (std::int64_t d0 = -reach_bins_[0]; d0 <= reach_bins_[0]; ++d0) {
      step(0, b[0] + d0, at, image);
      for (std::int64_t d1 = -reach_bins_[1]; d1 <= reach_bins_[1]; ++d1) {
        step(1, b[1] + d1, at, image);
        for (std::int64_t d2 = -reach_bins_[2]; d2 <= reach_bins_[2]; ++d2) {
          step(2, b[2] + d2, at, image);
          const auto it = cells_.find(pack(at));
          if (it == cells_.end()) continue;
          for (int j : it->second) {
            Shift n{0, 0, 0};
            for (int k = 0; k < 3; ++k)
              if (periodic_[k]) n[k] = image[k] + wrap_[i][k] - wrap_[j][k];
            if (j == i && zero(n)) continue;
            const Vec3 q = moved(points_[j], cell_, n);
            const double e = norm2(sub(q, p));
            if (e <= reach2_) visit(j, n, e);
          }
        }
      }
    }
  }

 private:
  void step(int k, std::int64_t raw, std::array<std::int64_t, 3>& at, std::array<int, 3>& image) const {
    if (periodic_[k]) {
      const std::int64_t s = floor_div(raw, bins_[k]);
      at[k] = raw - s * bins_[k];
      image[k] = static_cast<int>(s);
    } else {
      at[k] = raw;
      image[k] = 0;
    }
  }
  static std::uint64_t pack(const std::array<std::int64_t, 3>& b) {
    const std::uint64_t m = (std::uint64_t{1} << 21) - 1;
    return ((static_cast<std::uint64_t>(b[0]) & m) << 42) | ((static_cast<std::uint64_t>(b[1]) & m) << 21) |
           (static_cast<std::uint64_t>(b[2]) & m);
  }

  const std::vector<Vec3>& points_;
  const std::optional<Cell>& cell_;
  double reach2_;
  Vec3 reciprocal_[3];
  bool periodic_[3];
  std::int64_t bins_[3], reach_bins_[3];
  double bin_width_[3];
  std::vector<std::array<std::int64_t, 3>> bin_;
  std::vector<std::array<int, 3>> wrap_;
  std::unordered_map<std::uint64_t, std::vector<int>> cells_;
};

struct Bond {
  int to;
  Shift shift;  // of atom `to`'s image
  double d2;
};

std::string formula_of(const Structure& s, const std::vector<int>& atoms) {
  std::map<std::string, int> count;
  for (int i : atoms) {
    const int z = element_of(s.labels[i]);
    std::string symbol = z != 0 ? std::string(element_symbol(z)) : label_text(s.labels[i]);
    while (!symbol.empty() && symbol.back() == ' ') symbol.pop_back();
    ++count[symbol];
  }
  std::string text;
  auto take = [&](const std::string& symbol) {
    const auto it = count.find(symbol);
    if (it == count.end()) return;
    text += symbol;
    if (it->second > 1) text += std::to_string(it->second);
    count.erase(it);
  };
  if (count.count("C")) {  // Hill order
    take("C");
    take("H");
  }
  while (!count.empty()) take(count.begin()->first);
  return text;
}

// The shift that brings `p` nearest `to` by fractional offsets (groups whose
// atoms are not all bonded together).
Shift nearest_shift(const Cell& cell, const Vec3& p, const Vec3& to) {
  const Vec3 normal[3] = {cross(cell.b, cell.c), cross(cell.c, cell.a), cross(cell.a, cell.b)};
  const double volume = dot(cell.a, normal[0]);
  const Vec3 d = sub(to, p);
  Shift n{0, 0, 0};
  for (int k = 0; k < 3; ++k)
    if (cell.pbc[k]) n[k] = static_cast<int>(std::lround(dot(d, normal[k]) / volume));
  return n;
}

}  // namespace

std::string cell_problem(const Cell& cell) {
  for (const Vec3& v : {cell.a, cell.b, cell.c})
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
      return "the cell has a vector that is not finite";
  const double volume = std::fabs(dot(cell.a, cross(cell.b, cell.c)));
  const double scale = std::sqrt(norm2(cell.a) * norm2(cell.b) * norm2(cell.c));
  if (!(volume > 1e-9 * scale) || !(volume > 1e-6))
    return "the cell has no volume (its vectors a, b, c lie in one plane)";
  return {};
}

Vec3 translation(const Cell& cell, const Shift& n) {
  const double na = n[0], nb = n[1], nc = n[2];
  return {na * cell.a.x + nb * cell.b.x + nc * cell.c.x, na * cell.a.y + nb * cell.b.y + nc * cell.c.y,
          na * cell.a.z + nb * cell.b.z + nc * cell.c.z};
}

std::vector<Molecule> find_molecules(const Structure& s, const std::vector<long>* groups) {
  const int n = static_cast<int>(s.atoms.size());
  std::vector<double> radius(n);
  double largest = 0.0;
  std::vector<Vec3> bonding;  // atoms that name an element
  std::vector<int> row_of;
  for (int i = 0; i < n; ++i) {
    radius[i] = bond_radius(s.labels[i]);
    largest = std::max(largest, radius[i]);
    if (radius[i] >= 0.0) {
      bonding.push_back({s.atoms[i].x, s.atoms[i].y, s.atoms[i].z});
      row_of.push_back(i);
    }
  }
  std::vector<std::vector<Bond>> bonds(n);
  if (!bonding.empty()) {
    const ImageGrid grid(bonding, s.cell, 2.0 * largest + kBondTolerance);
    for (size_t p = 0; p < bonding.size(); ++p) {
      const int i = row_of[p];
      grid.for_each_neighbour(static_cast<int>(p), [&](int q, const Shift& shift, double d2) {
        const int j = row_of[q];
        if (groups && (*groups)[i] != (*groups)[j]) return;
        const double limit = radius[i] + radius[j] + kBondTolerance;
        if (d2 <= limit * limit) bonds[i].push_back({j, shift, d2});
      });
    }
    for (auto& list : bonds)
      std::sort(list.begin(), list.end(), [](const Bond& x, const Bond& y) {
        return x.to != y.to ? x.to < y.to : x.d2 < y.d2;
      });
  }

  // Members of each molecule, in atom order, numbered by their first atom.
  std::vector<std::vector<int>> members;
  std::vector<int> molecule_of(n, -1);
  if (groups) {
    std::unordered_map<long, int> index;
    for (int i = 0; i < n; ++i) {
      const auto [it, added] = index.emplace((*groups)[i], static_cast<int>(members.size()));
      if (added) members.emplace_back();
      members[it->second].push_back(i);
      molecule_of[i] = it->second;
    }
  } else {
    for (int i = 0; i < n; ++i) {
      if (molecule_of[i] >= 0) continue;
      const int m = static_cast<int>(members.size());
      members.push_back({i});
      molecule_of[i] = m;
      for (size_t q = 0; q < members[m].size(); ++q)
        for (const Bond& b : bonds[members[m][q]])
          if (molecule_of[b.to] < 0) {
            molecule_of[b.to] = m;
            members[m].push_back(b.to);
          }
      std::sort(members[m].begin(), members[m].end());
    }
  }

  std::vector<Molecule> molecules(members.size());
  std::vector<Shift> image(n);
  std::vector<char> placed(n, 0);
  auto position = [&](int i) { return Vec3{s.atoms[i].x, s.atoms[i].y, s.atoms[i].z}; };
  for (size_t m = 0; m < members.size(); ++m) {
    Molecule& mol = molecules[m];
    mol.atoms = members[m];
    const int first = mol.atoms.front();
    std::deque<int> queue;
    for (int start : mol.atoms) {
      if (placed[start]) continue;
      image[start] = start == first || !s.cell
                         ? Shift{0, 0, 0}
                         : nearest_shift(*s.cell, position(start), moved(position(first), s.cell, image[first]));
      placed[start] = 1;
      queue.push_back(start);
      while (!queue.empty()) {
        const int i = queue.front();
        queue.pop_front();
        for (const Bond& b : bonds[i]) {
          if (placed[b.to]) continue;
          placed[b.to] = 1;
          for (int k = 0; k < 3; ++k) image[b.to][k] = image[i][k] + b.shift[k];
          queue.push_back(b.to);
        }
      }
    }
    for (int i : mol.atoms)
      for (const Bond& b : bonds[i])
        for (int k = 0; k < 3; ++k)
          if (image[b.to][k] != image[i][k] + b.shift[k]) mol.molecular = false;
    AtomTable table(mol.atoms.size());
    for (size_t q = 0; q < mol.atoms.size(); ++q) {
      const int i = mol.atoms[q];
      mol.positions.push_back(moved(position(i), s.cell, image[i]));
      const int z = element_of(s.labels[i]);
      table[q].x = mol.positions[q].x;
      table[q].y = mol.positions[q].y;
      table[q].z = mol.positions[q].z;
      table[q].mass = z != 0 ? element_mass(z) : 0.0;
    }
    mol.com = centre_of_mass(table, 0, static_cast<int>(table.size()));
    mol.formula = formula_of(s, mol.atoms);
  }
  return molecules;
}

std::vector<MoleculePair> find_pairs(const Structure& s, const std::vector<Molecule>& molecules,
                                     const PairCriterion& criterion) {
  struct Found {
    int mol1, mol2;
    Shift shift;
    double d2;
  };
  std::vector<Found> found;
  auto keep = [](int m1, int m2, const Shift& n) { return m1 < m2 || (m1 == m2 && positive(n)); };
  if (!criterion.by_com) {
    std::vector<Vec3> points;
    std::vector<int> molecule_of;
    for (size_t m = 0; m < molecules.size(); ++m)
      for (const Vec3& p : molecules[m].positions) {
        points.push_back(p);
        molecule_of.push_back(static_cast<int>(m));
      }
    const ImageGrid grid(points, s.cell, criterion.distance);
    for (size_t p = 0; p < points.size(); ++p) {
      const int m1 = molecule_of[p];
      grid.for_each_neighbour(static_cast<int>(p), [&](int q, const Shift& n, double d2) {
        const int m2 = molecule_of[q];
        if (keep(m1, m2, n)) found.push_back({m1, m2, n, d2});
      });
    }
  } else {
    std::vector<Vec3> points;
    std::vector<int> molecule_of;
    for (size_t m = 0; m < molecules.size(); ++m) {
      const Vec3& c = molecules[m].com;
      if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z)) continue;  // massless
      points.push_back(c);
      molecule_of.push_back(static_cast<int>(m));
    }
    const ImageGrid grid(points, s.cell, criterion.distance);
    for (size_t p = 0; p < points.size(); ++p) {
      const int m1 = molecule_of[p];
      grid.for_each_neighbour(static_cast<int>(p), [&](int q, const Shift& n, double) {
        const int m2 = molecule_of[q];
        if (keep(m1, m2, n)) found.push_back({m1, m2, n, 0.0});
      });
    }
  }
  std::sort(found.begin(), found.end(), [](const Found& x, const Found& y) {
    if (x.mol1 != y.mol1) return x.mol1 < y.mol1;
    if (x.mol2 != y.mol2) return x.mol2 < y.mol2;
    if (x.shift != y.shift) return x.shift < y.shift;
    return x.d2 < y.d2;
  });

  std::vector<MoleculePair> pairs;
  for (size_t k = 0; k < found.size(); ++k) {
    if (k > 0 && found[k].mol1 == found[k - 1].mol1 && found[k].mol2 == found[k - 1].mol2 &&
        found[k].shift == found[k - 1].shift)
      continue;  // the closest atom pair came first
    MoleculePair pair;
    pair.mol1 = found[k].mol1;
    pair.mol2 = found[k].mol2;
    pair.shift = found[k].shift;
    const Molecule& m1 = molecules[pair.mol1];
    const Molecule& m2 = molecules[pair.mol2];
    pair.com_distance = std::sqrt(norm2(sub(moved(m2.com, s.cell, pair.shift), m1.com)));
    if (!criterion.by_com) {
      pair.contact = std::sqrt(found[k].d2);
    } else {
      double closest = INFINITY;
      for (const Vec3& q : m2.positions) {
        const Vec3 qs = moved(q, s.cell, pair.shift);
        for (const Vec3& p : m1.positions) closest = std::min(closest, norm2(sub(qs, p)));
      }
      pair.contact = std::sqrt(closest);
    }
    pairs.push_back(pair);
  }
  if (criterion.ordered) {
    const size_t count = pairs.size();
    for (size_t k = 0; k < count; ++k) {
      MoleculePair swapped = pairs[k];
      std::swap(swapped.mol1, swapped.mol2);
      swapped.shift = negated(swapped.shift);
      pairs.push_back(swapped);
    }
    std::sort(pairs.begin(), pairs.end(), [](const MoleculePair& x, const MoleculePair& y) {
      if (x.mol1 != y.mol1) return x.mol1 < y.mol1;
      if (x.mol2 != y.mol2) return x.mol2 < y.mol2;
      return x.shift < y.shift;
    });
  }
  return pairs;
}

GeometryBlock pair_geometry(const Structure& s, const std::vector<Molecule>& molecules,
                            const MoleculePair& pair) {
  const Molecule& m1 = molecules[pair.mol1];
  const Molecule& m2 = molecules[pair.mol2];
  GeometryBlock block;
  block.n1 = static_cast<int>(m1.atoms.size());
  block.n = block.n1 + static_cast<int>(m2.atoms.size());
  block.isymbol.reserve(block.n);
  block.icoo_and_m.resize(block.n);
  int row = 0;
  auto put = [&](const Molecule& m, const Shift& shift) {
    for (size_t q = 0; q < m.atoms.size(); ++q, ++row) {
      block.isymbol.push_back(s.labels[m.atoms[q]]);
      const Vec3 p = moved(m.positions[q], s.cell, shift);
      block.icoo_and_m[row].x = p.x;
      block.icoo_and_m[row].y = p.y;
      block.icoo_and_m[row].z = p.z;
    }
  };
  put(m1, Shift{0, 0, 0});
  put(m2, pair.shift);
  return block;
}

PairResult analyse_molecule_pair(const Structure& s, const std::vector<Molecule>& molecules,
                                 const MoleculePair& pair) {
  for (int m : {pair.mol1, pair.mol2})
    if (!molecules[m].molecular) {
      PairResult result;
      result.status = Status::not_molecular;
      result.message = "molecule " + std::to_string(m + 1) +
                       " is bonded to its own periodic image (a chain or network through the cell), "
                       "not a molecule";
      return result;
    }
  GeometryBlock block = pair_geometry(s, molecules, pair);
  return analyse_frame(block, block.n1);
}

std::vector<PairResult> analyse_molecule_pairs(const Structure& s,
                                               const std::vector<Molecule>& molecules,
                                               const std::vector<MoleculePair>& pairs, int jobs) {
  std::vector<PairResult> results(pairs.size());
  parallel_for(jobs, pairs.size(), [&](size_t k) { results[k] = analyse_molecule_pair(s, molecules, pairs[k]); });
  return results;
}

}  // namespace kavor
