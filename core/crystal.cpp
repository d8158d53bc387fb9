#include "core/crystal.hpp"

#include <gemmi/cif.hpp>
#include <gemmi/numb.hpp>
#include <gemmi/symmetry.hpp>

#include <cctype>
#include <cmath>
#include <exception>

#include "core/errors.hpp"

namespace kavor {

namespace {

// Cosine and sine of an angle in degrees, exact for the right angle and the
// angles of hexagonal cells, so that orthogonal cells get exact zeros.
void cos_sin(double degrees, double& c, double& s) {
  if (degrees == 90.0) {
    c = 0.0;
    s = 1.0;
  } else if (degrees == 120.0 || degrees == 60.0) {
    c = degrees == 60.0 ? 0.5 : -0.5;
    s = std::sqrt(3.0) / 2.0;
  } else {
    const double r = degrees * (M_PI / 180.0);
    c = std::cos(r);
    s = std::sin(r);
  }
}

// "O2-" -> "O", "CL" -> "Cl", "C12" -> "C".
std::string element_symbol_of(const std::string& text) {
  std::string symbol;
  for (char c : text) {
    if (!std::isalpha(static_cast<unsigned char>(c)) || symbol.size() == 2) break;
    symbol += symbol.empty() ? static_cast<char>(std::toupper(static_cast<unsigned char>(c)))
                             : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return symbol;
}

using Rows = std::array<std::array<double, 3>, 3>;

// f[0] a + f[1] b + f[2] c.
std::array<double, 3> cartesian(const Rows& cell, const std::array<double, 3>& f) {
  std::array<double, 3> x;
  for (int k = 0; k < 3; ++k) x[k] = f[0] * cell[0][k] + f[1] * cell[1][k] + f[2] * cell[2][k];
  return x;
}

double norm2(const std::array<double, 3>& v) { return v[0] * v[0] + v[1] * v[1] + v[2] * v[2]; }

Crystal crystal_of_block(gemmi::cif::Block& block, const std::string& where) {
  using gemmi::cif::as_number;
  auto fail = [&](const std::string& what) { throw InputError(where + ": " + what); };
  double p[6];
  const char* const kCell[6] = {"_cell_length_a", "_cell_length_b", "_cell_length_c",
                                "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};
  for (int k = 0; k < 6; ++k) {
    const std::string* value = block.find_value(kCell[k]);
    p[k] = value ? as_number(*value) : NAN;
    if (!std::isfinite(p[k])) fail(std::string("no number for ") + kCell[k]);
  }
  Crystal s;
  s.block = block.name;
  s.cell = cell_from_parameters(p[0], p[1], p[2], p[3], p[4], p[5]);
  for (int k = 0; k < 6; ++k)
    if (!(p[k] > 0.0) || (k >= 3 && !(p[k] < 180.0))) fail("the cell's lengths and angles make no cell");
  const Rows& r = s.cell;
  const double volume = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
                        r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                        r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
  if (!(volume > 1e-9 * p[0] * p[1] * p[2]) || !std::isfinite(r[2][2]))
    fail("the cell has no volume (its angles leave a, b, c in one plane)");

  std::vector<gemmi::Op> operations;
  for (const char* tag : {"_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz"}) {
    for (const std::string& value : block.find_values(tag)) {
      const std::string text = gemmi::cif::as_string(value);
      try {
        operations.push_back(gemmi::parse_triplet(text));
      } catch (const std::exception& e) {
        fail("cannot read the symmetry operation '" + text + "': " + e.what());
      }
    }
    if (!operations.empty()) break;
  }
  if (operations.empty())
    fail("no symmetry operations (_space_group_symop_operation_xyz or _symmetry_equiv_pos_as_xyz)");

  struct Site {
    std::string symbol;
    std::array<double, 3> fract;
  };
  std::vector<Site> sites;
  for (auto row : block.find("_atom_site_", {"label", "?type_symbol", "fract_x", "fract_y", "fract_z"})) {
    Site site;
    const std::string label = row.str(0);
    site.symbol = element_symbol_of(row.has2(1) ? row.str(1) : label);
    for (int k = 0; k < 3; ++k) {
      site.fract[k] = as_number(row[2 + k]);
      if (!std::isfinite(site.fract[k])) fail("site " + label + " has no fractional coordinates");
    }
    sites.push_back(site);
  }
  if (sites.empty()) fail("no atom sites (_atom_site_label, _atom_site_fract_x, _y, _z)");

  std::vector<std::array<double, 3>> kept;
  const double limit2 = 0.01 * 0.01;
  for (const gemmi::Op& op : operations)
    for (const Site& site : sites) {
      std::array<double, 3> f = op.apply_to_xyz(site.fract);
      for (double& v : f) {
        v -= std::floor(v);
        if (v >= 1.0) v = 0.0;  // a tiny negative value rounds up to 1
      }
      bool duplicate = false;
      for (const auto& g : kept) {
        std::array<double, 3> d;
        for (int k = 0; k < 3; ++k) d[k] = f[k] - g[k] - std::round(f[k] - g[k]);
        if (norm2(cartesian(s.cell, d)) <= limit2) {
          duplicate = true;
          break;
        }
      }
      if (duplicate) continue;
      kept.push_back(f);
      const std::array<double, 3> x = cartesian(s.cell, f);
      s.atoms.push_back(CrystalAtom{site.symbol, x[0], x[1], x[2]});
    }
  return s;
}

}  // namespace

Rows cell_from_parameters(double a, double b, double c, double alpha, double beta, double gamma) {
  double ca, sa, cb, sb, cg, sg;
  cos_sin(alpha, ca, sa);
  cos_sin(beta, cb, sb);
  cos_sin(gamma, cg, sg);
  const double cy = (ca - cb * cg) / sg;
  const double cz2 = 1.0 - cb * cb - cy * cy;
  return {{{a, 0.0, 0.0}, {b * cg, b * sg, 0.0}, {c * cb, c * cy, c * std::sqrt(cz2 > 0.0 ? cz2 : 0.0)}}};
}

std::vector<Crystal> read_cif(const std::string& path) {
  gemmi::cif::Document document;
  try {
    document = gemmi::cif::read_file(path);
  } catch (const std::exception& e) {
    throw InputError(path + ": cannot read the CIF file: " + e.what());
  }
  std::vector<Crystal> crystals;
  for (gemmi::cif::Block& block : document.blocks) {
    if (!block.find_values("_atom_site_fract_x")) continue;
    crystals.push_back(crystal_of_block(block, path + ": data_" + block.name));
  }
  if (crystals.empty()) throw InputError(path + ": no data block with atom sites (_atom_site_fract_x)");
  return crystals;
}

}  // namespace kavor
