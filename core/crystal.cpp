#include "core/crystal.hpp"

#include <gemmi/cif.hpp>
#include <gemmi/numb.hpp>
#include <gemmi/symmetry.hpp>

#include <cctype>
#include <cmath>

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

Vec3 cartesian(const Cell& cell, const std::array<double, 3>& f) {
  return {f[0] * cell.a.x + f[1] * cell.b.x + f[2] * cell.c.x, f[0] * cell.a.y + f[1] * cell.b.y + f[2] * cell.c.y,
          f[0] * cell.a.z + f[1] * cell.b.z + f[2] * cell.c.z};
}

Structure structure_of_block(gemmi::cif::Block& block, const std::string& where) {
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
  Structure s;
  s.cell = cell_from_parameters(p[0], p[1], p[2], p[3], p[4], p[5]);
  if (const std::string problem = cell_problem(*s.cell); !problem.empty()) fail(problem);

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
        const Vec3 e = cartesian(*s.cell, d);
        if (e.x * e.x + e.y * e.y + e.z * e.z <= limit2) {
          duplicate = true;
          break;
        }
      }
      if (duplicate) continue;
      kept.push_back(f);
      s.labels.push_back(make_label(site.symbol));
      const Vec3 x = cartesian(*s.cell, f);
      Atom atom;
      atom.x = x.x;
      atom.y = x.y;
      atom.z = x.z;
      s.atoms.push_back(atom);
    }
  return s;
}

}  // namespace

Cell cell_from_parameters(double a, double b, double c, double alpha, double beta, double gamma) {
  double ca, sa, cb, sb, cg, sg;
  cos_sin(alpha, ca, sa);
  cos_sin(beta, cb, sb);
  cos_sin(gamma, cg, sg);
  Cell cell;
  cell.a = {a, 0.0, 0.0};
  cell.b = {b * cg, b * sg, 0.0};
  const double cy = (ca - cb * cg) / sg;
  cell.c = {c * cb, c * cy, c * std::sqrt(std::max(0.0, 1.0 - cb * cb - cy * cy))};
  return cell;
}

std::vector<Structure> read_cif(const std::string& path) {
  gemmi::cif::Document document;
  try {
    document = gemmi::cif::read_file(path);
  } catch (const std::exception& e) {
    throw InputError(path + ": cannot read the CIF file: " + e.what());
  }
  std::vector<Structure> structures;
  for (gemmi::cif::Block& block : document.blocks) {
    if (!block.find_values("_atom_site_fract_x")) continue;
    structures.push_back(structure_of_block(block, path + ": data_" + block.name));
  }
  if (structures.empty()) throw InputError(path + ": no data block with atom sites (_atom_site_fract_x)");
  return structures;
}

}  // namespace kavor
