#include "core/writers.hpp"

#include <cmath>

#include "core/format.hpp"

namespace kavor {

// x, y, z as 3F15.8 (Angstrom).
static std::string xyz_fields(const Atom& a) {
  return fortran_f_separated(15, 8, a.x) + fortran_f_separated(15, 8, a.y) +
         fortran_f_separated(15, 8, a.z);
}

// A point of a BILD line as 3F8.3 (Angstrom).
static std::string bild_point(const Vec3& p) {
  return fortran_f_separated(8, 3, p.x) + fortran_f_separated(8, 3, p.y) +
         fortran_f_separated(8, 3, p.z);
}

std::string atomic_number_line(const Atom& atom) {
  return fortran_i(2, std::lround(atom.znum)) + xyz_fields(atom);
}

void write_geometry(OutputFile& file, int n, const AtomTable& atoms, const std::vector<Label>& labels,
                    Mode label_style) {
  file.line(free_line(n));
  file.line(free_line("  "));
  for (int i = 0; i < n; ++i) {
    const Atom& a = atoms[i];
    if (label_style == Mode::builder) {
      file.line(atomic_number_line(a));
      continue;
    }
    file.line(fortran_a(2, label_text(labels[i])) + xyz_fields(a));
  }
}

Vec3 centre_from_spherical(double r, double theta, double phi) {
  return {r * std::sin(theta) * std::cos(phi), r * std::sin(theta) * std::sin(phi),
          r * std::cos(theta)};
}

std::string bild_sphere_line(const Vec3& c) {
  return ".sphere" + bild_point(c) + "  0.2";
}

std::string bild_arrow_line(const Vec3& from, const Vec3& to) {
  return ".arrow" + bild_point(from) + bild_point(to);
}

void write_bild(OutputFile& file, const Vec3& centre, const Vec3& tip_base,
                const std::array<Vec3, 3>& endpoints) {
  static const char* const kFixed[16] = {
      ".comment - This file shows X,Y,Z ref.  and xyz der.",
      ".comment - axes mounted over principal axes of inertia",
      ".comment - of the molecules in the supramol. system ",
      ".comment - molecule 2 Reference system XYZ ",
      ".comment - Y Blue -IA, X Green -IB), Z Red -IC",
      ".comment -      IA<IB<IC",
      ".sphere 0 0 0 0.2",
      ".color green",
      ".arrow 0 0 0 10.0 0 0 ",
      ".color blue",
      ".arrow 0 0 0 0 10.0 0",
      ".color red ",
      ".arrow 0 0 0 0 0 10.0",
      ".comment - molecule 1 (Derived system xyz: ",
      ".comment - z blue (IA), y green (IB), x red (IC):",
      ".comment - IA<IB<IC ",
  };
  for (const char* line : kFixed) file.line(line);
  file.line(bild_sphere_line(centre));
  static const char* const kColours[3] = {".color blue", ".color green", ".color red "};
  for (int k = 0; k < 3; ++k) {
    const Vec3& e = endpoints[k];
    const Vec3 tip{tip_base.x + 5 * (e.x - centre.x), tip_base.y + 5 * (e.y - centre.y),
                   tip_base.z + 5 * (e.z - centre.z)};
    file.line(kColours[k]);
    file.line(bild_arrow_line(centre, tip));
  }
}

}  // namespace kavor
