#include "core/inertia.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/lapack/diasym.hpp"
#include "core/pow_half.hpp"

namespace kavor {

static const std::string kStars53(53, '*');

// A text framed by asterisks to 53 characters.
static std::string framed(std::string_view text) {
  std::string line = "***" + std::string(text);
  while (line.size() < 50) line += ' ';
  line += "***";
  while (line.size() < 53) line += '*';
  return line;
}

void open_report(Session& s) {
  if (s.logging()) return;
  bool analyzer = s.mode == Mode::analyzer;
  if (s.write_files)
    s.report.send_to_file(s.file(analyzer ? kAnalyzerReportName : kBuilderReportName));
  if (!s.report.open()) return;
  auto put = [&](std::string_view text) { s.report.free(text); };
  if (analyzer) {
    put("  ");
    put("  ");
    put(kStars53);
    put(kAnalyzerSourceLine);
    put(kBuildIdentifier);
    put(framed(" written 1990s-2026 - KAVOR developers "));
    put("****************************Diagonalization: LAPACK *");
    put(kStars53);
    put(framed(" molecular modelling laboratory "));
    put(framed(" university chemistry department "));
    put(kStars53);
    put(" maintained by: the KAVOR developers ");
    put(" web: see README.md in the source distribution ");
    for (int i = 0; i < 3; ++i) put("  ");
    put(kAnalyzerVersionLine);
    for (int i = 0; i < 3; ++i) put("  ");
    put(kCreditLine);
    put(kCitationLine);
    put("  ");
    put("  ");
  } else {
    put("  ");
    put(kBuilderSourceLine);
    put(kBuildIdentifier);
    put("  ");
    put(kBuilderVersionLine);
    put("  ");
    put(kCreditLine);
    put(kCitationLine);
    for (int i = 0; i < 5; ++i) put("  ");
  }
}

Vec3 centre_of_mass(const AtomTable& atoms, int first, int last) {
  double mass = 0.0, sx = 0.0, sy = 0.0, sz = 0.0;
  for (int i = first; i < last; ++i) {
    const Atom& a = atoms[i];
    mass += a.mass;
    sx += a.mass * a.x;
    sy += a.mass * a.y;
    sz += a.mass * a.z;
  }
  return {sx / mass, sy / mass, sz / mass};
}

// An atom moved to the molecule's centre, then in grams and centimetres:
// first the shift in Angstrom, then each factor, as the tensor needs them.
static Atom in_cgs(const Atom& a, const Vec3& c) {
  return Atom{(a.x - c.x) * kCmPerAngstrom, (a.y - c.y) * kCmPerAngstrom,
              (a.z - c.z) * kCmPerAngstrom, a.mass * kGramsPerAmu, a.znum};
}

// The group of an atomic number held in a double: std::lround(znum) when
// that is 1..92, else 0. Half away from zero, as lround rounds, without the
// library call.
static int group_of(double znum) {
  if (!(znum >= 0.5 && znum < 92.5)) return 0;
  const int whole = static_cast<int>(znum);  // truncated; znum - whole is exact
  return znum - whole >= 0.5 ? whole + 1 : whole;
}

MoleculeInertia principal_axes(const AtomTable& atoms, int first, int last) {
  MoleculeInertia m;
  const Vec3 c = centre_of_mass(atoms, first, last);
  m.cm = c;

  // One scan fills every group; each group's sums still run in row order.
  // A group's sums start at zero when its first atom comes.
  GroupTable& g = m.groups;
  std::array<double, 93> gmass, gx, gy, gz;
  std::array<int, 92> seen;  // the groups present, in order of first appearance
  int seen_count = 0;
  int z_high = 0;
  for (int i = first; i < last; ++i) {
    const Atom& a = atoms[i];
    const int z = group_of(a.znum);
    if (z == 0) continue;
    if (!g.present[z]) {
      g.present[z] = true;
      seen[seen_count++] = z;
      g.count[z] = gmass[z] = gx[z] = gy[z] = gz[z] = 0.0;
    }
    g.count[z] += 1.0;
    gmass[z] += a.mass;
    gx[z] += a.mass * a.x;
    gy[z] += a.mass * a.y;
    gz[z] += a.mass * a.z;
    if (z > z_high) z_high = z;
  }
  for (int k = 0; k < seen_count; ++k) {
    const int z = seen[k];
    g.centre[z] = Vec3{gx[z] / gmass[z], gy[z] / gmass[z], gz[z] / gmass[z]};
    const double dx = g.centre[z].x - c.x, dy = g.centre[z].y - c.y, dz = g.centre[z].z - c.z;
    g.distance[z] = pow_half(dx * dx + dy * dy + dz * dz);
  }
  m.z_high = z_high;
  if (z_high > 0 && g.distance[z_high] > kHigherZMinDistance) g.usable[z_high] = true;

  // Inertia tensor in g cm^2 about the centre of mass; each sum in row order.
  double txx = 0.0, tyy = 0.0, tzz = 0.0, txy = 0.0, txz = 0.0, tyz = 0.0;
  for (int i = first; i < last; ++i) {
    const Atom a = in_cgs(atoms[i], c);
    txx = txx + a.y * a.y * a.mass;
    txx = txx + a.z * a.z * a.mass;
    tyy = tyy + a.x * a.x * a.mass;
    tyy = tyy + a.z * a.z * a.mass;
    tzz = tzz + a.x * a.x * a.mass;
    tzz = tzz + a.y * a.y * a.mass;
    txy = txy + a.x * (-a.mass) * a.y;
    txz = txz + a.x * (-a.mass) * a.z;
    tyz = tyz + (-a.mass) * a.y * a.z;
  }
  Mat3& t = m.tensor;
  t.m[0][0] = txx, t.m[0][1] = txy, t.m[0][2] = txz;
  t.m[1][0] = txy, t.m[1][1] = tyy, t.m[1][2] = tyz;
  t.m[2][0] = txz, t.m[2][1] = tyz, t.m[2][2] = tzz;

  // Coordinates so large that the tensor overflows cannot be analysed; keep
  // the non-finite numbers away from the solver.
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col)
      if (!std::isfinite(t.m[row][col])) m.finite = false;
  if (!m.finite) return m;

  // dsyev takes the matrix column by column.
  double a[9] = {txx, txy, txz, txy, tyy, tyz, txz, tyz, tzz};
  double moments[3] = {0.0, 0.0, 0.0};
  diasym(a, moments, 3);
  for (int j = 0; j < 3; ++j) m.eigvec[j] = Vec3{a[3 * j], a[3 * j + 1], a[3 * j + 2]};
  for (int j = 0; j < 3; ++j) m.moments[j] = moments[j];
  return m;
}

PairAxes end_point_table(const std::array<MoleculeInertia, 2>& molecules) {
  PairAxes axes;
  for (int k = 0; k < 2; ++k) {
    const Vec3& c = molecules[k].cm;
    axes.cm[k] = c;
    for (int j = 0; j < 3; ++j) {
      const Vec3& e = molecules[k].eigvec[j];
      axes.endpoints[3 * k + j] = Vec3{c.x + e.x, c.y + e.y, c.z + e.z};
    }
  }
  return axes;
}

void write_centre_and_tensor(Report& report, const MoleculeInertia& m, int k) {
  if (!report.on()) return;
  const Vec3& c = m.cm;
  report.free(" ################################# ");
  report.free("  ");
  report.free(" center of mass data ");
  report.free("  ");
  report.free(k == 0 ? " molecule 1 " : " molecule 2 ");
  report.free("  ");
  report.free(" xcm ycm zcm ", c.x, c.y, c.z);
  report.free("  ");
  report.free(" center of mass table ");
  report.free("  ");
  const GroupTable& g = m.groups;
  for (int z = 1; z <= 92; ++z) {
    if (!g.present[z]) continue;
    report.free("atomic number", z, g.centre[z].x, g.centre[z].y, g.centre[z].z);
    report.free("number of Z atoms=", std::lround(g.count[z]));
    report.free(" distance from CM ", g.distance[z]);
  }
  for (int i = 0; i < 3; ++i) report.free("  ");

  const Mat3& t = m.tensor;
  report.free("  ");
  report.free(" TENSOR OF THE MOMENT OF INERTIA ");
  report.free(" molecula ", k + 1);
  report.free("  ");
  report.free("  ");
  for (int r = 0; r < 3; ++r) report.free(t.m[r][0], t.m[r][1], t.m[r][2]);
}

void write_principal_moments(Report& report, const MoleculeInertia& m, int k) {
  if (!report.on()) return;
  const int mol = k + 1;
  report.free("  ");
  report.free(" EIGENVECTORS: A eigen1, B eigen 2, C eigen 3 ");
  report.free(
      " for asymmetric top:                                  I_A (blue) < I_B (green) < I_C (red) ");
  report.free(" I A  (eigenvector 1)  (blue)");
  report.free(" I B  (eigenvector 2)  (green)");
  report.free(" I C  (eigenvector 3)  (red)");
  report.free("  ");
  report.free("  EIGENVECTORS:  ");
  report.free(" molecula ", mol);
  for (int i = 0; i < 3; ++i) report.free("  ");
  static const char* const kAxisTitles[3] = {" x     y      z    eigenvector 1 (A)",
                                             " x     y      z    eigenvector 2 (B)",
                                             " x     y      z    eigenvector 3 (C)"};
  for (int j = 0; j < 3; ++j) {
    const Vec3& e = m.eigvec[j];
    report.free(kAxisTitles[j]);
    report.line(fortran_f(7, 2, e.x) + fortran_f(7, 2, e.y) + fortran_f(7, 2, e.z));
  }
  report.free(" ");

  const std::array<double, 3>& moments = m.moments;
  static const char* const kEig[3] = {" eig 1  I_A", " eig 2  I_B", " eig 3  I_C"};
  // The moments in g cm^2, then converted to kg m^2.
  for (const bool si : {false, true}) {
    report.free("  ");
    report.free("  ");
    report.free(si ? " EIGENVALUES: Moments of Inertia (kg m^2):"
                   : " EIGENVALUES: Moments of Inertia (g cm^2):");
    report.free(" molecula ", mol);
    report.free("  I_A <I_B <I_C");
    report.free("  ");
    for (int j = 0; j < 3; ++j) report.free(kEig[j], si ? moments[j] * kKgM2PerGCm2 : moments[j]);
    report.free("  ");
    report.free("  ");
  }

  report.free("  ");
  report.free("  ");
  report.free(" Rot Constant = h/(8*Pi**2*c*I) ");
  report.free("fator ", kRotationalFactor);
  for (int i = 0; i < 4; ++i) report.free("  ");
  report.free("ROTATIONAL CONSTANTS (GHz): ");
  report.free(" molecula ", mol);
  report.free("  ");
  report.free("  ");
  for (int j = 0; j < 3; ++j) report.free((1.0 / moments[j]) * kRotationalFactor);
  report.free("  ");
  report.free("  ");
  report.free("ROTATIONAL CONSTANTS (cm-1): ");
  report.free(" molecula ", mol);
  report.free("  ");
  report.free("  ");
  for (int j = 0; j < 3; ++j) report.free((1.0 / moments[j]) * kRotationalFactor / 30.0);
  report.free("  ");
  report.free("  ");
}

static const std::string kHyphens35(35, '-');

void write_endpoint_table(Report& report, const PairAxes& axes) {
  for (int k = 0; k < 2; ++k) {
    for (int j = 0; j < 3; ++j) {
      const Vec3& p = axes.endpoints[3 * k + j];
      report.free(k == 0 ? " molecula 1 " : " molecula 2 ", p.x, p.y, p.z);
    }
    const Vec3& c = axes.cm[k];
    report.free(k == 0 ? "   cm 1" : "   cm 2", c.x, c.y, c.z);
  }
}

void write_endpoint_section(Report& report, const PairAxes& axes, std::string_view title,
                            int first_blanks, bool blank_before_title) {
  if (!report.on()) return;
  // Blank lines, then a double rule of hyphens.
  auto ruled = [&](int blanks) {
    for (int i = 0; i < blanks; ++i) report.free("  ");
    report.free(kHyphens35);
    report.free(kHyphens35);
  };
  ruled(first_blanks);
  ruled(3);
  if (blank_before_title) report.free("  ");
  report.free(title);
  report.free("  ");
  write_endpoint_table(report, axes);
  ruled(3);
  ruled(3);
}

void write_initial_data(Report& report, const PairAxes& axes) {
  write_endpoint_section(report, axes, "   dados coletados inicialmente  ", 3, false);
}

void write_verification(Report& report, const std::array<MoleculeInertia, 2>& molecules,
                        const PairAxes& axes) {
  if (!report.on()) return;  // the check only documents the eigenproblem
  static const std::string kHashes = " " + std::string(51, '#') + " ";
  struct Block {
    int molecule;  // 0 or 1
    int axis;      // j = 0, 1, 2
    bool opposite;
    std::vector<std::string_view> separator;
    std::string_view heading;
  };
  const Block blocks[12] = {
      {0, 0, false, {"  "}, "(tensor) \\times (vector C)=IC \\times (vector C)"},
      {0, 1, false, {"  "}, "(tensor) \\times (vector B)=IB \\times (vector B)"},
      {0, 2, false, {"  "}, "(tensor) \\times (vector A)=IA \\times (vector A)"},
      {1, 0, false, {kHashes, "  "}, " (tensor) \\times (vector C)=IC \\times (vector C)"},
      {1, 1, false, {"  "}, " (tensor) \\times (vector B)=IB \\times (vector B)"},
      {1, 2, false, {"  "}, "(tensor) \\times (vector A)=IA \\times (vector A)"},
      {0, 0, true, {"  OPOSITE DIRECTION "}, "(tensor) \\times (-vector C)=IC \\times (-vector C)"},
      {0, 1, true, {" OPOSITE DIRECTION  "}, "(tensor) \\times (-vector B)=IB \\times (-vector B)"},
      {0, 2, true, {" OPOSITE DIRECTION  "}, "(tensor) \\times (-vector A)=IA \\times (vector A)"},
      {1, 0, true, {kHashes, " OPOSITE DIRECTION  "}, "(tensor) \\times (-vector C)=IC \\times (-vector C)"},
      {1, 1, true, {"OPOSITE DIRECTION   "}, "(tensor) \\times (-vector B)=IB \\times (-vector B)"},
      {1, 2, true, {" OPOSITE DIRECTION  "}, "(tensor) \\times (-vector A)=IA \\times (vector A)"},
  };
  for (int b = 0; b < 12; ++b) {
    const Block& block = blocks[b];
    if (b == 6) {
      report.free(kHashes);
      report.free(" EIGENVALUE PROBLEM TEST - OPOSITE DIRECTION ");
    }
    const int m = block.molecule;
    Vec3 v = sub(axes.endpoints[3 * m + block.axis], axes.cm[m]);
    if (block.opposite) v = neg(v);
    const Vec3 w = mul(molecules[m].tensor, v);
    const double lambda = molecules[m].moments[block.axis];
    for (std::string_view line : block.separator) report.free(line);
    report.free(m == 0 ? " eigenvalue problem verification - molecule 1 "
                       : " eigenvalue problem verification - molecule 2 ");
    report.free("  ");
    report.free(block.heading);
    report.free(" vector coord. through eigenproblem: ");
    report.free(w.x / lambda, w.y / lambda, w.z / lambda);
    report.free(" eigenvector previously evaluated: ");
    report.free(v.x, v.y, v.z);
    report.free("  ");
  }
  for (int i = 0; i < 3; ++i) report.free(kHashes);
}

}  // namespace kavor
