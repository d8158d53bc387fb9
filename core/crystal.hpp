// Small-molecule crystals from CIF files (read with gemmi): the unit cell
// filled from the asymmetric unit by the symmetry operations, one periodic
// structure per data block that has atom sites.
#pragma once

#include <string>
#include <vector>

#include "core/periodic.hpp"

namespace kavor {

// The cell from its lengths (Angstrom) and angles (degrees): a along x, b in
// the xy plane, the usual crystallographic setting.
Cell cell_from_parameters(double a, double b, double c, double alpha, double beta, double gamma);

// Reads every data block of a CIF file that has fractional atom sites. Each
// site's element comes from _atom_site_type_symbol (or, without it, from the
// letters that start its label); a standard uncertainty, "5.9438(3)", is
// read as the value. The operations (_space_group_symop_operation_xyz or
// _symmetry_equiv_pos_as_xyz) are applied in the file's order, each to every
// site in turn, the fractional coordinates wrapped into [0, 1) after each;
// a position within 0.01 Angstrom (periodic distance) of an atom already
// placed is left out. Anything missing or unreadable is an InputError
// naming the file and the block.
std::vector<Structure> read_cif(const std::string& path);

}  // namespace kavor
