#include "builder/contacts.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "core/format.hpp"

namespace kavor {

static double distance(const Atom& a, const Atom& b) {
  const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

std::vector<ContactPair> find_short_contacts_plain(const AtomTable& atoms, int n, int n1) {
  std::vector<ContactPair> pairs;
  for (int i = 0; i < n1; ++i)
    for (int k = n1; k < n; ++k) {
      const double d = distance(atoms[i], atoms[k]);
      if (d <= kShortContact) pairs.push_back({i, k, d});
    }
  return pairs;
}

namespace {

// Cells at least 2 Angstrom wide and a little wider than the threshold, so
// that every short pair lies in neighbouring cells whatever the rounding of
// the cell coordinates.
constexpr double kMinCell = 2.0;
constexpr double kCellMargin = 1.05;
// Cell indices kept within +-2^19 per axis (about 1e6 Angstrom with 2
// Angstrom cells), so that a cell and its neighbours pack into 21 bits per
// axis; atoms farther out are checked against every atom, which keeps any
// input correct.
constexpr double kMaxCellIndex = 524287.0;

bool cell_of(const Atom& a, double cell, std::int64_t c[3]) {
  const double v[3] = {a.x / cell, a.y / cell, a.z / cell};
  for (int j = 0; j < 3; ++j) {
    if (!(std::fabs(v[j]) <= kMaxCellIndex)) return false;
    c[j] = static_cast<std::int64_t>(std::floor(v[j]));
  }
  return true;
}

std::uint64_t key_of(std::int64_t x, std::int64_t y, std::int64_t z) {
  const std::int64_t bias = std::int64_t{1} << 20;
  return (static_cast<std::uint64_t>(x + bias) << 42) | (static_cast<std::uint64_t>(y + bias) << 21) |
         static_cast<std::uint64_t>(z + bias);
}

}  // namespace

void for_each_short_contact(const AtomTable& atoms, int n, int n1, double threshold,
                            const std::function<void(const ContactPair&)>& visit) {
  const double cell = std::max(kMinCell, threshold * kCellMargin);
  // Molecule 2's atoms grouped by cell, ascending row order within a cell.
  std::unordered_map<std::uint64_t, std::vector<int>> cells;
  std::vector<int> far_atoms;  // molecule 2 atoms outside the indexed range
  cells.reserve(static_cast<size_t>(n - n1));
  for (int k = n1; k < n; ++k) {
    std::int64_t c[3];
    if (cell_of(atoms[k], cell, c)) cells[key_of(c[0], c[1], c[2])].push_back(k);
    else far_atoms.push_back(k);
  }

  std::vector<ContactPair> found;  // the pairs of molecule 1 atom i
  for (int i = 0; i < n1; ++i) {
    found.clear();
    auto test = [&](int k) {
      const double d = distance(atoms[i], atoms[k]);
      if (d <= threshold) found.push_back({i, k, d});
    };
    std::int64_t c[3];
    if (cell_of(atoms[i], cell, c)) {
      for (std::int64_t dx = -1; dx <= 1; ++dx)
        for (std::int64_t dy = -1; dy <= 1; ++dy)
          for (std::int64_t dz = -1; dz <= 1; ++dz) {
            auto it = cells.find(key_of(c[0] + dx, c[1] + dy, c[2] + dz));
            if (it == cells.end()) continue;
            for (int k : it->second) test(k);
          }
      for (int k : far_atoms) test(k);
    } else {
      for (int k = n1; k < n; ++k) test(k);
    }
    std::sort(found.begin(), found.end(),
              [](const ContactPair& a, const ContactPair& b) { return a.k < b.k; });
    for (const ContactPair& p : found) visit(p);
  }
}

std::vector<ContactPair> find_short_contacts(const AtomTable& atoms, int n, int n1) {
  std::vector<ContactPair> pairs;
  for_each_short_contact(atoms, n, n1, kShortContact,
                         [&pairs](const ContactPair& p) { pairs.push_back(p); });
  return pairs;
}

void report_short_contact(Session& st, const ContactPair& p, const std::vector<Label>& isymbol) {
  const std::string line = fortran_a(2, label_text(isymbol[p.i])) + fortran_i(6, p.i + 1) + " .. " +
                           fortran_a(2, label_text(isymbol[p.k])) + fortran_i(6, p.k + 1) +
                           " dist:" + fortran_f(7, 3, p.d);
  st.log(free_line(" intermolecular distance "));
  st.log(free_line(" smaller than 1.9 Angstrons"));
  st.log(free_line(" CHECK THE SUPRAMOLECULAR SYSTEM  "));
  st.say(free_line(" CHECK THE SUPRAMOLECULAR SYSTEM  "));
  st.say(free_line(" intermolecular dist <1.9 Angstrons"));
  st.log(line);
  st.say(line);
  for (int j = 0; j < 3; ++j) st.say(free_line("  "));
  st.say(free_line(" >>>>   CHECK THE SUPRAMOLECULAR SYSTEM"));
  st.say(free_line(" found intermolecular dist <1.9 Angstrons"));
}

}  // namespace kavor
