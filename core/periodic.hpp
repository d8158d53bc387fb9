// Pairs of molecules in crystals, periodic boxes and finite clusters: the
// cell, molecules found from the bonds over every periodic image and made
// whole, and the pairs of molecules (with the lattice shift of molecule 2)
// that meet a distance criterion. kavor-batch pairs and the Python package
// share it; each pair's geometry then goes through the one analysis entry.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/analysis.hpp"
#include "core/atoms.hpp"
#include "core/geometry_input.hpp"

namespace kavor {

// Whole lattice vectors (na, nb, nc).
using Shift = std::array<int, 3>;

// A cell: the lattice vectors a, b, c in Angstrom (the rows of an extended
// XYZ Lattice, as ASE writes them) and which of them are periodic.
struct Cell {
  Vec3 a, b, c;
  std::array<bool, 3> pbc{true, true, true};
};

// Why a cell cannot be used (a non-finite number, a volume of zero or
// nearly so), or empty when it can.
std::string cell_problem(const Cell& cell);

// na a + nb b + nc c. Every translation of the module is this one sum, so
// that the same shift always moves an atom by the same doubles.
Vec3 translation(const Cell& cell, const Shift& n);

// Atoms (x, y, z read; mass and atomic number not used) and, when periodic,
// their cell.
struct Structure {
  std::vector<Label> labels;
  AtomTable atoms;
  std::optional<Cell> cell;
};

struct Molecule {
  std::vector<int> atoms;        // rows of the structure, ascending
  std::vector<Vec3> positions;   // the same atoms made whole
  Vec3 com;                      // centre of mass of `positions` (the programs' masses)
  bool molecular = true;         // false: bonded to its own periodic image
  std::string formula;           // "C2H4O2" (carbon, hydrogen, then alphabetical)
};

// The molecules of a structure, numbered by their first atom. Without
// `groups`, a molecule is a bonded fragment (the bond rule of --n1 auto,
// searched over every periodic image). With `groups` (one id per atom), a
// molecule is the atoms sharing an id and only bonds inside a group count.
// Each molecule is made whole breadth first along its bonds from its first
// atom, which stays where it is; neighbours are taken in atom order, each
// at the image nearest the atom it is reached from. A fragment some bond of
// which then joins two atoms not at that bond's image is not molecular.
std::vector<Molecule> find_molecules(const Structure& structure,
                                     const std::vector<long>* groups = nullptr);

struct PairCriterion {
  bool by_com = false;     // false: closest atom-atom distance; true: centres of mass
  double distance = 3.8;   // Angstrom, inclusive
  bool ordered = false;    // also every pair with the roles swapped
};

// Molecule mol1 with molecule mol2 moved by `shift` (0-based numbers).
struct MoleculePair {
  int mol1 = 0, mol2 = 0;
  Shift shift{0, 0, 0};
  double com_distance = 0.0;  // Angstrom
  double contact = 0.0;       // closest atom-atom distance, Angstrom
};

// Every pair meeting the criterion: mol1 < mol2, or mol1 == mol2 with a
// nonzero shift whose first nonzero component is positive (with `ordered`,
// both orders and both signs). Sorted by mol1, mol2, then the shift.
// Found with a cell list over the atoms (or the centres of mass), so the
// cost grows with the number of atoms, for any cell shape.
std::vector<MoleculePair> find_pairs(const Structure& structure, const std::vector<Molecule>& molecules,
                                     const PairCriterion& criterion);

// The pair's geometry as kavor reads it: molecule 1's atoms (whole, in input
// order), then molecule 2's (whole, shifted, in input order); n1 set.
GeometryBlock pair_geometry(const Structure& structure, const std::vector<Molecule>& molecules,
                            const MoleculePair& pair);

// The analysis of one pair (analyse_frame on pair_geometry), or the stop
// not_molecular when either molecule is not one.
PairResult analyse_molecule_pair(const Structure& structure, const std::vector<Molecule>& molecules,
                                 const MoleculePair& pair);

// analyse_molecule_pair for every pair, on `jobs` threads.
std::vector<PairResult> analyse_molecule_pairs(const Structure& structure,
                                               const std::vector<Molecule>& molecules,
                                               const std::vector<MoleculePair>& pairs, int jobs);

}  // namespace kavor
