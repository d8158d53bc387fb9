// Intermolecular short contacts of a placed pair: every pair (atom of
// molecule 1, atom of molecule 2) at or below 1.9 Angstrom (single-precision
// value 1.899999976158142), reported in the order of the double loop over
// molecule 1, then molecule 2.
#pragma once

#include <functional>
#include <vector>

#include "core/atoms.hpp"
#include "core/cells.hpp"
#include "core/session.hpp"

namespace kavor {

inline constexpr double kShortContact = 1.899999976158142;  // 1.9 Angstrom as float

struct ContactPair {
  int i;     // row of the molecule 1 atom (0-based)
  int k;     // row of the molecule 2 atom (0-based, after the n1 rows of molecule 1)
  double d;  // distance, Angstrom
};

// The reference: the plain double loop over all n1 x (n - n1) pairs.
std::vector<ContactPair> find_short_contacts_plain(const AtomTable& atoms, int n, int n1);

// Calls `visit` for every pair at or below `threshold` (Angstrom), in the
// order of the plain double loop (molecule 1 row ascending, then molecule 2
// row ascending), from a cell list of molecule 2's atoms. Holds the pairs of
// one molecule 1 atom at a time, so memory does not grow with their number.
void for_each_short_contact(const AtomTable& atoms, int n, int n1, double threshold,
                            const std::function<void(const ContactPair&)>& visit);
// The same with molecule 2 already indexed (contact_grid), for a molecule 2
// that several searches share.
CellGrid contact_grid(const AtomTable& atoms, int n, int n1, double threshold);
void for_each_short_contact(const AtomTable& atoms, int n1, const CellGrid& grid, double threshold,
                            const std::function<void(const ContactPair&)>& visit);
// All pairs at or below kShortContact, as for_each_short_contact finds them.
std::vector<ContactPair> find_short_contacts(const AtomTable& atoms, int n, int n1);

// Writes the ten-line block of one pair to the console and the report.
void report_short_contact(Session& s, const ContactPair& pair, const std::vector<Label>& isymbol);

}  // namespace kavor
