// z-y-z Euler angles: the rotation matrix and the grid fit that finds alpha
// and gamma for a fixed beta.
//
// M(alpha, beta, gamma) is the transpose of Rz(alpha) Ry(beta) Rz(gamma)
// (ordinary right-handed rotations), applied to column vectors. For frames
// related by it, M.X = x, M.Y = y, M.Z = z. Angles in radians.
//
// The grid fit scans gamma (outer loop) and alpha (inner loop), both
// ascending, over ten iterations whose windows narrow around the best point.
// A grid point is a candidate when all nine components of M.Z, M.X, M.Y lie
// within the tolerance of the target axes; among candidates the smallest sum
// of the three axis angles (degrees) wins, the first in scan order on ties.
// Refined windows start 100 steps below the best value. Alpha and gamma
// are periodic, so that an answer just short of a full turn is refined like
// any other: trial values below 0 are taken as they are, except that gamma
// keeps a floor at 0 where beta rounds to 0 or 180 degrees, and alpha too
// at beta 0 in the alignment fit. The Euler search hands a best angle below
// 0 back one full turn up.
#pragma once

#include <cmath>

#include "core/atoms.hpp"
#include "core/pair_axes.hpp"

namespace kavor {

Mat3 euler_matrix(double alpha, double beta, double gamma);

// The same matrix from the cosines and sines of alpha, beta and gamma.
inline Mat3 euler_matrix_from(double ca, double sa, double cb, double sb, double cg, double sg) {
  Mat3 m;
  m.m[0][0] = ca * cb * cg - sa * sg;
  m.m[0][1] = sa * cb * cg + ca * sg;
  m.m[0][2] = -sb * cg;
  m.m[1][0] = -ca * cb * sg - sa * cg;
  m.m[1][1] = -sa * cb * sg + ca * cg;
  m.m[1][2] = sb * sg;
  m.m[2][0] = ca * sb;
  m.m[2][1] = sa * sb;
  m.m[2][2] = cb;
  return m;
}

struct FitAxes {
  Vec3 x, y, z;
};

// Euler search (molecule 2's frame onto molecule 1's) or axis alignment
// (molecule 2's frame onto the coordinate axes); they differ in the
// beta-zero gate, the counter and what they report.
enum class FitUse { euler, alignment };

struct FitCandidate {
  double alpha, beta, gamma;
  double cos_z, cos_x, cos_y;  // clamped cosines between rotated and target axes
  double dz, dx, dy;           // the same angles from atan2(sine, cosine), degrees
  double soma_diferencas;      // dz + dx + dy
  double parametro_before;     // best sum before this candidate is compared
  int verificador;             // always 90 for a candidate
};

struct FitWindow {
  int iteration;   // the iteration just finished, 1..10
  double alpha0;   // start of the next window, radians
  double gamma0;
  double beta;     // the fixed beta
  double step;     // next step, radians
  long n;          // next number of values per angle
};

// What a fit reports while it runs. on_scan_end comes after each iteration's
// scan and may end the run; on_window after the next window has been built.
class FitObserver {
 public:
  virtual ~FitObserver() = default;
  virtual void on_candidate(const FitCandidate&) {}
  // False when the observer keeps no candidate: the fit may then leave out
  // the angles of a candidate that cannot become the best.
  virtual bool wants_candidates() const { return true; }
  virtual void on_scan_end(int /*iteration*/, int /*counter*/) {}
  virtual void on_window(const FitWindow&, const BestAngles&) {}
};

struct FitSetup {
  FitAxes source;  // X, Y, Z (molecule 2)
  FitAxes target;  // x, y, z
  double beta = 0.0;
  FitUse use = FitUse::euler;
  Mode mode = Mode::analyzer;
};

// The reference scan: every grid point evaluated, exactly as written.
// Returns the final candidate counter.
int grid_fit_plain(const FitSetup& setup, BestAngles& best, FitObserver& observer);
// The scan the programs use: same results, candidates and reports, bit for
// bit, but skipping blocks of grid points that cannot hold a candidate.
int grid_fit(const FitSetup& setup, BestAngles& best, FitObserver& observer);
// Test and benchmark hook: when on, grid_fit runs the plain scan, so that a
// whole program run can be compared with (and timed against) the reference.
// Process-wide; off by default.
void use_plain_grid_fit(bool on);

// Grid constants: single-precision literals widened to double.
inline constexpr double kFitStartStep = 0.004999999888241291;  // 0.005 rad as float
inline constexpr double kFitRefineUnit = 0.0010000000474974513;  // 0.001 as float
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kDegPerRad = 57.29577951308232;
inline constexpr int kFitIterations = 10;

// Whole degrees as the searches compute them: lround(angle x 180 / pi).
inline long search_degrees(double angle_rad) { return std::lround(angle_rad * 180.0 / kPi); }

}  // namespace kavor
