// The core's crystals, molecules over periodic images and pairs, checked
// against facts that do not come from its own output: the bundled crystal's
// contents and symmetry, a chain bonded to its own image, refused input.
// (The Python tests compare every row with kavor-batch analyze and with a
// brute-force enumeration; these run under the sanitizers too.)
#include <gtest/gtest.h>

#include <cmath>

#include "core/crystal.hpp"
#include "core/errors.hpp"
#include "core/periodic.hpp"
#include "test_util.hpp"

namespace kavor {
namespace {

TEST(Periodic, CrystalHasTwoWholeMoleculesRelatedByInversion) {
  const std::vector<Crystal> crystals = read_cif(EXAMPLES_DIR "/crystals/ethylpentanoylurea-98K.cif");
  ASSERT_EQ(crystals.size(), 1u);
  const Crystal& crystal = crystals[0];
  EXPECT_EQ(crystal.block, "ethyl98K");
  Structure s;
  for (const CrystalAtom& a : crystal.atoms) {
    s.labels.push_back(make_label(a.symbol));
    s.atoms.push_back(Atom{a.x, a.y, a.z});
  }
  const auto& r = crystal.cell;
  s.cell = Cell{{r[0][0], r[0][1], r[0][2]}, {r[1][0], r[1][1], r[1][2]}, {r[2][0], r[2][1], r[2][2]}};
  EXPECT_EQ(s.atoms.size(), 62u);  // 31 sites in a general position, P-1
  const std::vector<Molecule> molecules = find_molecules(s);
  ASSERT_EQ(molecules.size(), 2u);
  for (const Molecule& m : molecules) {
    EXPECT_TRUE(m.molecular);
    EXPECT_EQ(m.formula, "C9H18N2O2");
  }
  const std::vector<MoleculePair> pairs = find_pairs(s, molecules, PairCriterion{});
  const std::vector<PairResult> results = analyse_molecule_pairs(s, molecules, pairs, 2);
  int translations = 0;
  for (size_t k = 0; k < pairs.size(); ++k) {
    const MoleculePair& p = pairs[k];
    EXPECT_EQ(results[k].status, Status::ok);
    if (p.mol1 != p.mol2) continue;
    // a molecule and its own copy: centres of mass one lattice vector apart
    const Vec3 t = translation(*s.cell, p.shift);
    EXPECT_NEAR(p.com_distance, std::sqrt(dot(t, t)), 1e-9);
    EXPECT_NEAR(results[k].returned.r, p.com_distance, 1e-9);
    // the inversion maps it onto the other molecule's copy at the same shift
    if (p.mol1 != 0) continue;
    ++translations;
    bool mirrored = false;
    for (const MoleculePair& q : pairs)
      mirrored |= q.mol1 == 1 && q.mol2 == 1 && q.shift == p.shift &&
                  std::fabs(q.contact - p.contact) < 1e-9 && std::fabs(q.com_distance - p.com_distance) < 1e-9;
    EXPECT_TRUE(mirrored) << p.shift[0] << p.shift[1] << p.shift[2];
  }
  EXPECT_GT(translations, 0);
  // the cell's lengths and angles as the file gives them
  const Cell& c = *s.cell;
  auto length = [](const Vec3& v) { return std::sqrt(dot(v, v)); };
  auto angle = [&](const Vec3& u, const Vec3& v) { return std::acos(dot(u, v) / (length(u) * length(v))) * 180 / M_PI; };
  EXPECT_NEAR(length(c.a), 8.7038, 1e-12);
  EXPECT_NEAR(length(c.b), 12.204, 1e-12);
  EXPECT_NEAR(length(c.c), 4.9747, 1e-12);
  EXPECT_NEAR(angle(c.b, c.c), 93.021, 1e-9);
  EXPECT_NEAR(angle(c.a, c.c), 90.616, 1e-9);
  EXPECT_NEAR(angle(c.a, c.b), 90.319, 1e-9);
}

TEST(Periodic, ChainBondedToItsOwnImageIsNotMolecular) {
  Structure s;
  const char* labels[] = {"C", "C", "H", "H", "H", "H", "O", "H", "H"};
  const double xyz[][3] = {{0, 2, 2},       {1.27, 2.87, 2}, {0, 1.37, 2.89}, {0, 1.37, 1.11},
                           {1.27, 3.5, 2.89}, {1.27, 3.5, 1.11}, {1, 7, 7},    {1, 7.59, 7.76},
                           {1, 7.59, 6.24}};
  for (int i = 0; i < 9; ++i) {
    s.labels.push_back(make_label(labels[i]));
    Atom a;
    a.x = xyz[i][0];
    a.y = xyz[i][1];
    a.z = xyz[i][2];
    s.atoms.push_back(a);
  }
  s.cell = Cell{{2.54, 0, 0}, {0, 10, 0}, {0, 0, 10}};
  const std::vector<Molecule> molecules = find_molecules(s);
  ASSERT_EQ(molecules.size(), 2u);
  EXPECT_FALSE(molecules[0].molecular);
  EXPECT_TRUE(molecules[1].molecular);
  for (const MoleculePair& p : find_pairs(s, molecules, PairCriterion{true, 6.0, true})) {
    const PairResult a = analyse_molecule_pair(s, molecules, p);
    EXPECT_EQ(a.status == Status::not_molecular, p.mol1 == 0 || p.mol2 == 0);
  }
  s.cell->a = {25.4, 0, 0};  // the same atoms in a wide cell: a chain piece, a molecule
  EXPECT_TRUE(find_molecules(s)[0].molecular);
}

TEST(Periodic, FlatCellsAndCifsWithoutOperationsAreRefused) {
  EXPECT_NE(cell_problem(Cell{{5, 0, 0}, {0, 5, 0}, {5, 5, 0}}), "");
  EXPECT_NE(cell_problem(Cell{{5, 0, 0}, {0, 5, 0}, {0, 0, NAN}}), "");
  EXPECT_EQ(cell_problem(Cell{{5, 0, 0}, {1, 5, 0}, {1, 1, 5}}), "");
  testing::ScratchDir dir;
  testing::write_file(dir / "x.cif",
                      "data_x\n_cell_length_a 5\n_cell_length_b 6\n_cell_length_c 7\n_cell_angle_alpha 90\n"
                      "_cell_angle_beta 90\n_cell_angle_gamma 90\nloop_\n_atom_site_label\n_atom_site_fract_x\n"
                      "_atom_site_fract_y\n_atom_site_fract_z\nC1 0.1 0.2(3) 0.3\n");
  try {
    read_cif((dir / "x.cif").string());
    ADD_FAILURE() << "read";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("no symmetry operations"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace kavor
