// The geometry block shared by both programs' input files: N, N atom lines
// (label, x, y, z), one ignored line, N1.
#pragma once

#include <vector>

#include "core/atoms.hpp"
#include "core/reader.hpp"

namespace kavor {

struct GeometryBlock {
  int n = 0;   // atoms of both molecules
  int n1 = 0;  // atoms of molecule 1
  std::vector<Label> isymbol;
  AtomTable icoo_and_m;  // as read: x, y, z; mass and atomic number 0
};

// Reads the atom count. A negative count is an InputError; a count above the
// capacity is returned as it is, for the caller's own message.
int read_atom_count(FreeFormatReader& reader);
// Reads the n atom lines, the ignored line and N1.
void read_atoms_and_n1(FreeFormatReader& reader, GeometryBlock& block);

}  // namespace kavor
