// The two result files: the geometry of the pair and a UCSF Chimera BILD file
// drawing frame XYZ of molecule 2 (at the origin, arrows 10 Angstrom long)
// and frame xyz of molecule 1 (at its centre, arrows 5 x the unit axes).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/atoms.hpp"
#include "core/outfile.hpp"

namespace kavor {

// Geometry file: N (free-format), a blank line, then one line per atom:
// "(A2,3F15.8)" with the label (analyzer) or "(I2,3F15.8)" with the atomic
// number (builder). Here and in the BILD lines a coordinate that fills or
// overflows its field is widened to one blank and the whole number
// (fortran_f_separated), so that every line reads back into its values.
void write_geometry(OutputFile& file, int n, const AtomTable& atoms, const std::vector<Label>& labels,
                    Mode label_style);

// One "(I2,3F15.8)" line: atomic number, then x, y, z.
std::string atomic_number_line(const Atom& atom);

// BILD file, 23 lines. `centre` is molecule 1's centre as its end points
// were built on: the sphere and the arrows start there. Tips are
// tip_base + 5 (E_k - centre) for the end points E1 (z), E2 (y), E3 (x);
// the analyzer passes the centre rebuilt from r, theta, phi as tip_base.
void write_bild(OutputFile& file, const Vec3& centre, const Vec3& tip_base,
                const std::array<Vec3, 3>& endpoints);

// Molecule 1's centre rebuilt from its spherical position in frame XYZ.
Vec3 centre_from_spherical(double r, double theta, double phi);

// Lines 17..23 formats: ".sphere" + 3 x F8.3 + "  0.2"; ".arrow" + 6 x F8.3
// (widened like the geometry fields).
std::string bild_sphere_line(const Vec3& c);
std::string bild_arrow_line(const Vec3& from, const Vec3& to);

}  // namespace kavor
