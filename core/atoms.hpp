// The atom table and the program's basic geometric types.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kavor {

// Largest number of atoms a run accepts (both molecules together).
inline constexpr int kCapacity = 150000;

// One row of the atom table `coo_and_m`: x, y, z in Angstrom (grams and
// centimetres while the inertia step works on a molecule), mass in atomic
// mass units (0 until identified), atomic number as a whole number held in a
// double (0 until identified or for a label that names no element).
// Rows count from 0 here and from 1 in every message and file.
struct Atom {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  double mass = 0.0;
  double znum = 0.0;
};

using AtomTable = std::vector<Atom>;

// Element label `isymbol`: exactly two characters, blank-padded on the right.
using Label = std::array<char, 2>;

Label make_label(std::string_view token);
inline std::string label_text(const Label& label) { return std::string(label.data(), 2); }

// Which program runs the shared core: the analyzer (mode flag "n") or the
// builder (mode flag "y").
enum class Mode { analyzer, builder };

struct Vec3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// 3 x 3 matrix, m[row][column].
struct Mat3 {
  double m[3][3] = {};
};

// Dot and cross products in the order of their written formulas, so that the
// bits agree wherever the same formula is used.
inline double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline Vec3 sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 neg(const Vec3& a) { return {-a.x, -a.y, -a.z}; }
// Each component of M.v is a row of M times v, summed left to right.
inline Vec3 mul(const Mat3& a, const Vec3& v) {
  return {a.m[0][0] * v.x + a.m[0][1] * v.y + a.m[0][2] * v.z,
          a.m[1][0] * v.x + a.m[1][1] * v.y + a.m[1][2] * v.z,
          a.m[2][0] * v.x + a.m[2][1] * v.y + a.m[2][2] * v.z};
}
inline Mat3 transpose(const Mat3& a) {
  Mat3 t;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) t.m[i][j] = a.m[j][i];
  return t;
}

}  // namespace kavor
