#include "builder/contacts.hpp"

#include <algorithm>
#include <cmath>

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

CellGrid contact_grid(const AtomTable& atoms, int n, int n1, double threshold) {
  // Cells at least 2 Angstrom wide and a little wider than the threshold, so
  // that every short pair lies in neighbouring cells whatever the rounding of
  // the cell coordinates.
  constexpr double kMinCell = 2.0;
  constexpr double kCellMargin = 1.05;
  return CellGrid(atoms, n1, n, std::max(kMinCell, threshold * kCellMargin));
}

void for_each_short_contact(const AtomTable& atoms, int n1, const CellGrid& grid, double threshold,
                            const std::function<void(const ContactPair&)>& visit) {
  std::vector<ContactPair> found;  // the pairs of molecule 1 atom i
  for (int i = 0; i < n1; ++i) {
    found.clear();
    grid.for_each_candidate(atoms[i], [&](int k) {
      const double d = distance(atoms[i], atoms[k]);
      if (d <= threshold) found.push_back({i, k, d});
    });
    std::sort(found.begin(), found.end(),
              [](const ContactPair& a, const ContactPair& b) { return a.k < b.k; });
    for (const ContactPair& p : found) visit(p);
  }
}

void for_each_short_contact(const AtomTable& atoms, int n, int n1, double threshold,
                            const std::function<void(const ContactPair&)>& visit) {
  for_each_short_contact(atoms, n1, contact_grid(atoms, n, n1, threshold), threshold, visit);
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
