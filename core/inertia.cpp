#include "core/inertia.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/lapack/diasym.hpp"

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

void open_report(CoreState& st) {
  Session& s = st.session;
  if (s.logging()) return;
  bool analyzer = st.mode == Mode::analyzer;
  if (s.report_text != nullptr) s.report_text_open = true;
  else if (s.write_files) s.report.open(s.file(analyzer ? kAnalyzerReportName : kBuilderReportName));
  else return;
  auto put = [&](std::string_view text) { s.logf(text); };
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

static void group_distance(GroupTable& g, int z, const Vec3& c) {
  double dx = g.centre[z].x - c.x;
  double dy = g.centre[z].y - c.y;
  double dz = g.centre[z].z - c.z;
  g.distance[z] = std::pow(dx * dx + dy * dy + dz * dz, 0.5);
}

static void write_groups(CoreState& st, int k, const Vec3& c) {
  GroupTable& g = st.groups[k];
  if (!st.logging()) {
    // Without a report only the higher-Z group's distance is used.
    if (st.z_high[k] > 0) group_distance(g, st.z_high[k], c);
    return;
  }
  for (int z = 1; z <= 92; ++z) {
    if (!g.present[z]) continue;
    st.logf("atomic number", z, g.centre[z].x, g.centre[z].y, g.centre[z].z);
    st.logf("number of Z atoms=", std::lround(g.count[z]));
    group_distance(g, z, c);
    st.logf(" distance from CM ", g.distance[z]);
  }
}

Vec3 centre_of_mass(const AtomTable& atoms, int first, int last) {
  double mass = 0.0, sx = 0.0, sy = 0.0, sz = 0.0;
  for (int i = first; i < last; ++i) mass += atoms[i].mass;
  for (int i = first; i < last; ++i) sx += atoms[i].mass * atoms[i].x;
  for (int i = first; i < last; ++i) sy += atoms[i].mass * atoms[i].y;
  for (int i = first; i < last; ++i) sz += atoms[i].mass * atoms[i].z;
  return {sx / mass, sy / mass, sz / mass};
}

void analyse_molecule(CoreState& st, AtomTable& coo_and_m, int k) {
  // Part one: centre of mass and atomic-number groups.
  int n = st.n1;
  if (k == 1) {
    for (int i = 0; i < st.n2; ++i) coo_and_m[i] = coo_and_m[st.n1 + i];
    n = st.n2;
  }

  const Vec3 c = centre_of_mass(coo_and_m, 0, n);

  // One scan fills every group; each group's sums still run in row order.
  GroupTable& g = st.groups[k];
  std::array<double, 93> gmass{}, gx{}, gy{}, gz{}, count{};
  int z_high = 0;
  for (int i = 0; i < n; ++i) {
    const Atom& a = coo_and_m[i];
    long z = std::lround(a.znum);
    if (z < 1 || z > 92) continue;
    count[z] += 1.0;
    gmass[z] += a.mass;
    gx[z] += a.mass * a.x;
    gy[z] += a.mass * a.y;
    gz[z] += a.mass * a.z;
    g.present[z] = true;
    if (z > z_high) z_high = static_cast<int>(z);
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int z = 1; z <= 92; ++z) {
    g.count[z] = count[z];
    g.centre[z] = count[z] > 0.0 ? Vec3{gx[z] / gmass[z], gy[z] / gmass[z], gz[z] / gmass[z]}
                                 : Vec3{nan, nan, nan};
  }
  st.z_high[k] = z_high;

  open_report(st);
  st.cm[k] = c;
  for (int i = 0; i < n; ++i) {
    coo_and_m[i].x -= c.x;
    coo_and_m[i].y -= c.y;
    coo_and_m[i].z -= c.z;
  }

  st.logf(" ################################# ");
  st.logf("  ");
  st.logf(" center of mass data ");
  st.logf("  ");
  st.logf(k == 0 ? " molecule 1 " : " molecule 2 ");
  st.logf("  ");
  st.logf(" xcm ycm zcm ", c.x, c.y, c.z);
  st.logf("  ");
  st.logf(" center of mass table ");
  st.logf("  ");
  write_groups(st, k, c);
  for (int i = 0; i < 3; ++i) st.logf("  ");

  if (z_high > 0 && g.distance[z_high] > kHigherZMinDistance) g.usable[z_high] = true;

  // Part two: inertia tensor in g cm^2 about the centre of mass.
  for (int i = 0; i < n; ++i) {
    Atom& a = coo_and_m[i];
    a.mass *= kGramsPerAmu;
    a.x *= kCmPerAngstrom;
    a.y *= kCmPerAngstrom;
    a.z *= kCmPerAngstrom;
  }
  double txx = 0.0, tyy = 0.0, tzz = 0.0, txy = 0.0, txz = 0.0, tyz = 0.0;
  for (int i = 0; i < n; ++i) {
    const Atom& a = coo_and_m[i];
    txx = txx + a.y * a.y * a.mass;
    txx = txx + a.z * a.z * a.mass;
    tyy = tyy + a.x * a.x * a.mass;
    tyy = tyy + a.z * a.z * a.mass;
    tzz = tzz + a.x * a.x * a.mass;
    tzz = tzz + a.y * a.y * a.mass;
  }
  for (int i = 0; i < n; ++i) {
    const Atom& a = coo_and_m[i];
    txy = txy + a.x * (-a.mass) * a.y;
    txz = txz + a.x * (-a.mass) * a.z;
    tyz = tyz + (-a.mass) * a.y * a.z;
  }
  Mat3 t;
  t.m[0][0] = txx, t.m[0][1] = txy, t.m[0][2] = txz;
  t.m[1][0] = txy, t.m[1][1] = tyy, t.m[1][2] = tyz;
  t.m[2][0] = txz, t.m[2][1] = tyz, t.m[2][2] = tzz;

  const int mol = k + 1;
  st.logf("  ");
  st.logf(" TENSOR OF THE MOMENT OF INERTIA ");
  st.logf(" molecula ", mol);
  st.logf("  ");
  st.logf("  ");
  for (int r = 0; r < 3; ++r) st.logf(t.m[r][0], t.m[r][1], t.m[r][2]);
  st.tensor[k] = t;

  // Coordinates so large that the tensor overflows cannot be analysed; keep
  // the non-finite numbers away from the solver.
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col)
      if (!std::isfinite(t.m[row][col]))
        throw InputError("molecule " + std::to_string(mol) +
                         ": coordinates too large to analyse (the inertia tensor is not finite)");

  // dsyev takes the matrix column by column.
  double a[9] = {txx, txy, txz, txy, tyy, tyz, txz, tyz, tzz};
  double moments[3] = {0.0, 0.0, 0.0};
  diasym(a, moments, 3);
  for (int j = 0; j < 3; ++j) st.eigvec[k][j] = Vec3{a[3 * j], a[3 * j + 1], a[3 * j + 2]};

  st.logf("  ");
  st.logf(" EIGENVECTORS: A eigen1, B eigen 2, C eigen 3 ");
  st.logf(" for asymmetric top:                                  I_A (blue) < I_B (green) < I_C (red) ");
  st.logf(" I A  (eigenvector 1)  (blue)");
  st.logf(" I B  (eigenvector 2)  (green)");
  st.logf(" I C  (eigenvector 3)  (red)");
  st.logf("  ");
  st.logf("  EIGENVECTORS:  ");
  st.logf(" molecula ", mol);
  for (int i = 0; i < 3; ++i) st.logf("  ");
  static const char* const kAxisTitles[3] = {" x     y      z    eigenvector 1 (A)",
                                             " x     y      z    eigenvector 2 (B)",
                                             " x     y      z    eigenvector 3 (C)"};
  for (int j = 0; j < 3; ++j) {
    const Vec3& e = st.eigvec[k][j];
    st.logf(kAxisTitles[j]);
    if (st.logging()) st.log(fortran_f(7, 2, e.x) + fortran_f(7, 2, e.y) + fortran_f(7, 2, e.z));
  }
  st.logf(" ");

  static const char* const kEig[3] = {" eig 1  I_A", " eig 2  I_B", " eig 3  I_C"};
  st.logf("  ");
  st.logf("  ");
  st.logf(" EIGENVALUES: Moments of Inertia (g cm^2):");
  st.logf(" molecula ", mol);
  st.logf("  I_A <I_B <I_C");
  st.logf("  ");
  for (int j = 0; j < 3; ++j) st.logf(kEig[j], moments[j]);
  st.logf("  ");
  st.logf("  ");

  st.logf("  ");
  st.logf("  ");
  st.logf(" EIGENVALUES: Moments of Inertia (kg m^2):");
  st.logf(" molecula ", mol);
  st.logf("  I_A <I_B <I_C");
  st.logf("  ");
  for (int j = 0; j < 3; ++j) st.logf(kEig[j], moments[j] * kKgM2PerGCm2);
  st.logf("  ");
  st.logf("  ");

  for (int j = 0; j < 3; ++j) st.moments[k][j] = moments[j];

  st.logf("  ");
  st.logf("  ");
  st.logf(" Rot Constant = h/(8*Pi**2*c*I) ");
  st.logf("fator ", kRotationalFactor);
  for (int i = 0; i < 4; ++i) st.logf("  ");
  st.logf("ROTATIONAL CONSTANTS (GHz): ");
  st.logf(" molecula ", mol);
  st.logf("  ");
  st.logf("  ");
  for (int j = 0; j < 3; ++j) st.logf((1.0 / moments[j]) * kRotationalFactor);
  st.logf("  ");
  st.logf("  ");
  st.logf("ROTATIONAL CONSTANTS (cm-1): ");
  st.logf(" molecula ", mol);
  st.logf("  ");
  st.logf("  ");
  for (int j = 0; j < 3; ++j) st.logf((1.0 / moments[j]) * kRotationalFactor / 30.0);
  st.logf("  ");
  st.logf("  ");

  for (int j = 0; j < 3; ++j) {
    const Vec3& e = st.eigvec[k][j];
    st.endpoints[3 * k + j] = Vec3{c.x + e.x, c.y + e.y, c.z + e.z};
  }
}

static const std::string kHyphens35(35, '-');

void write_endpoint_table(CoreState& st) {
  for (int k = 0; k < 2; ++k) {
    for (int j = 0; j < 3; ++j) {
      const Vec3& p = st.endpoints[3 * k + j];
      st.logf(k == 0 ? " molecula 1 " : " molecula 2 ", p.x, p.y, p.z);
    }
    const Vec3& c = st.cm[k];
    st.logf(k == 0 ? "   cm 1" : "   cm 2", c.x, c.y, c.z);
  }
}

void write_initial_data(CoreState& st) {
  if (!st.logging()) return;
  auto blank = [&](int times) {
    for (int i = 0; i < times; ++i) st.logf("  ");
  };
  auto hyphens = [&] {
    st.logf(kHyphens35);
    st.logf(kHyphens35);
  };
  blank(3);
  hyphens();
  blank(3);
  hyphens();
  st.logf("   dados coletados inicialmente  ");
  blank(1);
  write_endpoint_table(st);
  blank(3);
  hyphens();
  blank(3);
  hyphens();
}

void write_verification(CoreState& st) {
  if (!st.logging()) return;  // the check only documents the eigenproblem
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
      st.logf(kHashes);
      st.logf(" EIGENVALUE PROBLEM TEST - OPOSITE DIRECTION ");
    }
    const int m = block.molecule;
    Vec3 v = sub(st.endpoints[3 * m + block.axis], st.cm[m]);
    if (block.opposite) v = neg(v);
    const Vec3 w = mul(st.tensor[m], v);
    const double lambda = st.moments[m][block.axis];
    for (std::string_view line : block.separator) st.logf(line);
    st.logf(m == 0 ? " eigenvalue problem verification - molecule 1 "
                            : " eigenvalue problem verification - molecule 2 ");
    st.logf("  ");
    st.logf(block.heading);
    st.logf(" vector coord. through eigenproblem: ");
    st.logf(w.x / lambda, w.y / lambda, w.z / lambda);
    st.logf(" eigenvector previously evaluated: ");
    st.logf(v.x, v.y, v.z);
    st.logf("  ");
  }
  for (int i = 0; i < 3; ++i) st.logf(kHashes);
}

}  // namespace kavor
