// Small-molecule crystals from CIF files (read with gemmi): the unit cell
// filled from the asymmetric unit by the symmetry operations, one crystal
// per data block that has atom sites.
//
// This header and crystal.cpp are C++17 with plain types: gemmi 0.5's CIF
// document does not compile as C++20 with clang, so the reader is a library
// of its own (crystal_reader) that the C++20 code calls through these types.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kavor {

struct CrystalAtom {
  std::string symbol;  // element symbol, "C", "Cl"
  double x = 0.0, y = 0.0, z = 0.0;  // Cartesian, Angstrom
};

struct Crystal {
  std::string block;                          // the data block's name
  std::array<std::array<double, 3>, 3> cell;  // rows a, b, c, Angstrom
  std::vector<CrystalAtom> atoms;             // the filled unit cell
};

// The cell from its lengths (Angstrom) and angles (degrees), rows a, b, c:
// a along x, b in the xy plane, the usual crystallographic setting.
std::array<std::array<double, 3>, 3> cell_from_parameters(double a, double b, double c, double alpha,
                                                          double beta, double gamma);

// Reads every data block of a CIF file that has fractional atom sites. Each
// site's element comes from _atom_site_type_symbol (or, without it, from the
// letters that start its label); a standard uncertainty, "5.9438(3)", is
// read as the value. The operations (_space_group_symop_operation_xyz or
// _symmetry_equiv_pos_as_xyz) are applied in the file's order, each to every
// site in turn, the fractional coordinates wrapped into [0, 1) after each;
// a position within 0.01 Angstrom (periodic distance) of an atom already
// placed is left out. Anything missing or unreadable, a cell without volume
// included, is an InputError naming the file and the block.
std::vector<Crystal> read_cif(const std::string& path);

}  // namespace kavor
