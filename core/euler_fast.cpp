// The grid fit the programs use: the same scan as grid_fit_plain, restricted
// to the grid points that can still score 90.
//
// Why the result is the plain scan's, bit for bit
// -----------------------------------------------
// Both scans drive one FitRun (euler_scan.hpp): begin_iteration, evaluate and
// end_iteration hold all state changes and observer calls. In each iteration
// this scan
//   * builds alphas[i] and gammas[g] by the same repeated addition of `step`
//     from alpha0 and gamma0 as the plain loops, so index (g, i) names exactly
//     the doubles the plain scan would use, and takes their sines and cosines
//     from grid_cos_sin, as the plain scan does;
//   * evaluates every point it keeps through FitRun::evaluate, in ascending
//     (g, i) order, i.e. in the plain scan order (gamma outer, alpha inner);
//   * leaves out only points for which evaluate provably has no effect: one
//     that cannot reach a score of 90, or one refused by a gate. For such a
//     point evaluate returns before touching any state or the observer.
// So the observer sees the same candidates in the same order, every candidate
// is computed by the same arithmetic from the same inputs, and the running
// best, the counters and the windows follow. Points are never reordered
// relative to each other, which keeps the first-wins tie-break.
//
// Which blocks can be left out. For a source axis v and a grid point, let F be
// M.v computed exactly from the exact cos/sin of alpha and gamma (and the
// double values cb, sb that the run uses). With u = ca v1 + sa v2,
// w = -sa v1 + ca v2 and A = cb u - sb v3:
//   row 1: cg A + sg w,   row 2: -sg A + cg w,   row 3: sb u + cb v3.
// Their partial derivatives are bounded (Cauchy-Schwarz, u^2 + w^2 = rho^2
// with rho^2 = v1^2 + v2^2, cb^2 + sb^2 <= 1 + 2 eps):
//   rows 1, 2: |d/dalpha| <= rho (1 + eps),  |d/dgamma| <= |v| (1 + 2 eps);
//   row 3:     |d/dalpha| <= |sb| rho,       d/dgamma = 0.
// Over a block whose grid values lie within h_a of alpha_c and h_g of
// gamma_c, every component therefore differs from its value at the centre
// grid point by at most L_a h_a + L_g h_g.
// Rounding: the double value evaluate computes differs from F by at most
// about 16 u S (u = 2^-53, S = |v1| + |v2| + |v3|; sines and cosines within
// one ulp, each matrix entry within 12 u, the dot product adds 3 u S); the
// centre value computed here differs from F by as much again; the
// subtraction of the target and the bound itself add a few u (S + |t| + 1).
// The margin 512 u (S + |t| + 1) covers all of that several times over, even
// for a sine or cosine a few ulps off, and is still far below the smallest
// tolerance (5e-12; the margin is about 1e-13 for unit axes).
// If at the centre |component - t| >= tolerance + L_a h_a + L_g h_g + margin,
// the exact difference |f - t| at every point of the block is >= tolerance;
// rounding is monotonic and the tolerance is a double, so evaluate's
// fabs(f - t) < tolerance is false there and the score stays below 90.
//
// Gates: gated(alpha, gamma) is "N(alpha, gamma) or G(alpha, gamma)", where
// N refuses a negative alpha or gamma where that angle has a floor at 0
// (FitRun: decided per fit from beta's whole degrees) and G (the
// beta-zero gates on whole degrees) is monotonic: true at a point, it is
// true at every point with larger alpha and gamma (lround, x 180.0 and / pi
// are monotonic, negative values included). The alpha and gamma arrays
// ascend. So a block is wholly refused when the largest value of an angle
// with a floor is negative, or when G holds at the block's smallest values,
// each raised to 0 where a floor refuses it.
//
// Non-finite axes or beta fall back to the plain scan (no bound is needed),
// and so do axes so long that some bound is not finite (FastScan::bounded).
#include <algorithm>
#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/euler.hpp"
#include "core/euler_scan.hpp"

namespace kavor {
namespace {

std::atomic<bool> g_plain_grid_fit{false};

// One pair (source axis v, target axis t) in evaluate's order: p = M.Z with
// z, q = M.X with x, s = M.Y with y.
struct AxisBound {
  Vec3 v, t;
  double la12 = 0.0;  // bound on |d/dalpha| of rows 1 and 2
  double lg12 = 0.0;  // bound on |d/dgamma| of rows 1 and 2
  double la3 = 0.0;   // bound on |d/dalpha| of row 3
  double margin[3] = {0.0, 0.0, 0.0};  // rounding allowance per component
  double base[3] = {0.0, 0.0, 0.0};    // tolerance + margin, per iteration
};

// The sines and cosines and the whole degrees of one angle's grid values,
// each computed on first use. An entry belongs to the current grid when its
// stamp is the table's generation, so a new grid clears nothing.
class TrigTable {
 public:
  void reset(const std::vector<double>& values, long n) {
    values_ = &values;
    if (static_cast<long>(cos_.size()) < n) {
      cos_.resize(n);
      sin_.resize(n);
      trig_stamp_.resize(n, 0);
      degrees_.resize(n);
      degrees_stamp_.resize(n, 0);
    }
    ++generation_;
  }
  void get(long k, double& c, double& s) {
    if (trig_stamp_[k] != generation_) {
      grid_cos_sin((*values_)[k], cos_[k], sin_[k]);
      trig_stamp_[k] = generation_;
    }
    c = cos_[k];
    s = sin_[k];
  }
  long degrees(long k) {
    if (degrees_stamp_[k] != generation_) {
      degrees_[k] = search_degrees((*values_)[k]);
      degrees_stamp_[k] = generation_;
    }
    return degrees_[k];
  }

 private:
  const std::vector<double>* values_ = nullptr;
  std::vector<double> cos_, sin_;
  std::vector<long> degrees_;
  std::vector<std::uint64_t> trig_stamp_, degrees_stamp_;
  std::uint64_t generation_ = 0;
};

// The values of one angle in one scan, built by the plain scan's repeated
// addition, with their sines, cosines and whole degrees.
struct GridAxis {
  std::vector<double> values;  // grown, never shrunk: the first n belong to the grid
  TrigTable trig;
  void build(double start, double step, long n) {
    if (static_cast<long>(values.size()) < n) values.resize(n);
    double value = start;
    for (long k = 0; k < n; ++k) {
      values[k] = value;
      value += step;
    }
    trig.reset(values, n);
  }
  // Both angles' grids: the same additions, the two chains interleaved so
  // that each waits less on the previous sum.
  static void build_pair(GridAxis& a, double a_start, GridAxis& b, double b_start, double step, long n) {
    if (static_cast<long>(a.values.size()) < n) a.values.resize(n);
    if (static_cast<long>(b.values.size()) < n) b.values.resize(n);
    double* va = a.values.data();
    double* vb = b.values.data();
    double x = a_start, y = b_start;
    for (long k = 0; k < n; ++k) {
      va[k] = x;
      vb[k] = y;
      x += step;
      y += step;
    }
    a.trig.reset(a.values, n);
    b.trig.reset(b.values, n);
  }
};

// Work space of the fast scan, kept by each thread from one fit to the next
// so that a batch of frames does not allocate it four times a frame.
struct ScanScratch {
  GridAxis alpha, gamma;
  // Every fit's first iteration scans the same grid for both angles (from 0
  // in steps of kFitStartStep): built once per thread, sines and cosines
  // kept from fit to fit.
  GridAxis first;
  long first_n = 0;
  std::vector<std::uint64_t> points;  // g * n + i of the points to evaluate
};

class FastScan {
 public:
  FastScan(const FitSetup& setup, FitRun& run, ScanScratch& scratch)
      : run_(run), scratch_(scratch), points_(scratch.points) {
    const Vec3 src[3] = {setup.source.z, setup.source.x, setup.source.y};
    const Vec3 dst[3] = {setup.target.z, setup.target.x, setup.target.y};
    const double sb_abs = std::fabs(run.sb);
    // A relative 1e-12 on top of the derivative bounds absorbs their own
    // rounding and the 1 + 2 eps of the non-unit (cb, sb).
    constexpr double kUp = 1.0 + 1e-12;
    for (int k = 0; k < 3; ++k) {
      AxisBound& a = axes_[k];
      a.v = src[k];
      a.t = dst[k];
      const Vec3& v = a.v;
      const double rho = std::sqrt(v.x * v.x + v.y * v.y);
      const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
      a.la12 = rho * kUp;
      a.lg12 = len * kUp;
      a.la3 = sb_abs * rho * kUp;
      const double s = std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z);
      const double t[3] = {a.t.x, a.t.y, a.t.z};
      for (int c = 0; c < 3; ++c) a.margin[c] = 256.0 * DBL_EPSILON * (s + std::fabs(t[c]) + 1.0);
    }
  }

  // False when some bound is not a finite number: from axis components of
  // about 1e154 on, rho and |v| overflow, and a skip test against an infinite
  // bound can drop a block that holds a candidate. The fit then runs the
  // plain scan. Half a block's width never exceeds half the first window
  // (about pi) and the tolerance never exceeds its starting value, so the sum
  // below bounds every base + spread of every iteration; its terms are all
  // >= 0 (or NaN), so it is finite only when every one of them is.
  bool bounded() const {
    for (const AxisBound& a : axes_) {
      const double spread = (a.la12 + a.lg12 + a.la3) * kTwoPi;
      for (const double m : a.margin)
        if (!std::isfinite(kFitStartStep + m + spread)) return false;
    }
    return true;
  }

  void scan(FitObserver& observer) {
    n_ = run_.n;
    if (n_ <= 0) return;
    GridAxis* alpha_axis = &scratch_.alpha;
    GridAxis* gamma_axis = &scratch_.gamma;
    const bool from_zero = run_.alpha0 == 0.0 && !std::signbit(run_.alpha0) && run_.gamma0 == 0.0 &&
                           !std::signbit(run_.gamma0);
    if (from_zero && run_.step == kFitStartStep) {
      if (scratch_.first_n != n_) {
        scratch_.first.build(0.0, kFitStartStep, n_);
        scratch_.first_n = n_;
      }
      alpha_axis = gamma_axis = &scratch_.first;
    } else {
      GridAxis::build_pair(scratch_.alpha, run_.alpha0, scratch_.gamma, run_.gamma0, run_.step, n_);
    }
    alphas_ = &alpha_axis->values;
    gammas_ = &gamma_axis->values;
    alpha_trig_ = &alpha_axis->trig;
    gamma_trig_ = &gamma_axis->trig;
    for (AxisBound& a : axes_)
      for (int c = 0; c < 3; ++c) a.base[c] = run_.tolerance + a.margin[c];

    points_.clear();
    visit(0, n_, 0, n_);
    std::sort(points_.begin(), points_.end());
    for (const std::uint64_t key : points_) {
      const long g = static_cast<long>(key / static_cast<std::uint64_t>(n_));
      const long i = static_cast<long>(key % static_cast<std::uint64_t>(n_));
      double ca, sa, cg, sg;
      alpha_trig_->get(i, ca, sa);
      gamma_trig_->get(g, cg, sg);
      run_.evaluate((*alphas_)[i], ca, sa, (*gammas_)[g], cg, sg, observer);
    }
  }

 private:
  // Blocks of at most this many points are kept without a further bound.
  static constexpr long kLeafPoints = 2;

  // Alpha indices [i0, i1), gamma indices [g0, g1), both non-empty.
  // `row3_passed`: the parent block had the same alpha range and passed the
  // row-3 test, which depends on alpha only, so this block passes it too.
  void visit(long i0, long i1, long g0, long g1, bool row3_passed = false) {
    if (all_gated(i0, i1, g0, g1)) return;
    if (!may_score(i0, i1, g0, g1, row3_passed)) return;
    if ((i1 - i0) * (g1 - g0) <= kLeafPoints) {
      for (long g = g0; g < g1; ++g)
        for (long i = i0; i < i1; ++i)
          if (!gated_at(i, g))
            points_.push_back(static_cast<std::uint64_t>(g) * static_cast<std::uint64_t>(n_) +
                              static_cast<std::uint64_t>(i));
      return;
    }
    if (i1 - i0 >= g1 - g0) {
      const long im = i0 + (i1 - i0) / 2;
      visit(i0, im, g0, g1);
      visit(im, i1, g0, g1);
    } else {
      const long gm = g0 + (g1 - g0) / 2;
      visit(i0, i1, g0, gm, true);
      visit(i0, i1, gm, g1, true);
    }
  }

  bool all_gated(long i0, long i1, long g0, long g1) {
    const bool alpha_floor = run_.alpha_floor, gamma_floor = run_.gamma_floor;
    if ((alpha_floor && (*alphas_)[i1 - 1] < 0.0) || (gamma_floor && (*gammas_)[g1 - 1] < 0.0)) return true;
    if (run_.beta_deg != 0) return false;
    // The smallest values of the block a gate may let through: a refused
    // negative grid value stands in as 0.0, whose whole degrees are 0.
    const bool alpha_up = alpha_floor && (*alphas_)[i0] < 0.0;
    const bool gamma_up = gamma_floor && (*gammas_)[g0] < 0.0;
    return run_.gated_whole(alpha_up ? 0.0 : (*alphas_)[i0], gamma_up ? 0.0 : (*gammas_)[g0],
                            alpha_up ? 0 : alpha_trig_->degrees(i0), gamma_up ? 0 : gamma_trig_->degrees(g0));
  }

  bool gated_at(long i, long g) {
    if (run_.beta_deg != 0) return run_.gated_whole((*alphas_)[i], (*gammas_)[g], 0, 0);
    return run_.gated_whole((*alphas_)[i], (*gammas_)[g], alpha_trig_->degrees(i), gamma_trig_->degrees(g));
  }

  // False only when no point of the block can pass all nine component tests.
  bool may_score(long i0, long i1, long g0, long g1, bool row3_passed) {
    const long im = i0 + (i1 - i0 - 1) / 2;
    const long gm = g0 + (g1 - g0 - 1) / 2;
    const double ha = std::max((*alphas_)[im] - (*alphas_)[i0], (*alphas_)[i1 - 1] - (*alphas_)[im]);
    const double hg = std::max((*gammas_)[gm] - (*gammas_)[g0], (*gammas_)[g1 - 1] - (*gammas_)[gm]);
    double ca, sa, cg, sg;
    alpha_trig_->get(im, ca, sa);
    const double cb = run_.cb, sb = run_.sb;
    // Row 3 does not depend on gamma: test it before computing gamma's sines.
    for (const AxisBound& a : axes_) {
      if (row3_passed) break;
      const double u = ca * a.v.x + sa * a.v.y;
      const double r3 = sb * u + cb * a.v.z;
      if (std::fabs(r3 - a.t.z) >= a.base[2] + a.la3 * ha) return false;
    }
    gamma_trig_->get(gm, cg, sg);
    for (const AxisBound& a : axes_) {
      const double u = ca * a.v.x + sa * a.v.y;
      const double w = ca * a.v.y - sa * a.v.x;
      const double big_a = cb * u - sb * a.v.z;
      const double spread = a.la12 * ha + a.lg12 * hg;
      const double r1 = cg * big_a + sg * w;
      if (std::fabs(r1 - a.t.x) >= a.base[0] + spread) return false;
      const double r2 = cg * w - sg * big_a;
      if (std::fabs(r2 - a.t.y) >= a.base[1] + spread) return false;
    }
    return true;
  }

  FitRun& run_;
  AxisBound axes_[3];
  long n_ = 0;
  ScanScratch& scratch_;
  // This scan's grid values and their trig tables.
  const std::vector<double>* alphas_ = nullptr;
  const std::vector<double>* gammas_ = nullptr;
  TrigTable* alpha_trig_ = nullptr;
  TrigTable* gamma_trig_ = nullptr;
  std::vector<std::uint64_t>& points_;
};

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool all_finite(const FitSetup& setup) {
  return finite(setup.source.x) && finite(setup.source.y) && finite(setup.source.z) &&
         finite(setup.target.x) && finite(setup.target.y) && finite(setup.target.z) &&
         std::isfinite(setup.beta);
}

}  // namespace

void use_plain_grid_fit(bool on) { g_plain_grid_fit.store(on); }

int grid_fit(const FitSetup& setup, BestAngles& best, FitObserver& observer) {
  if (g_plain_grid_fit.load() || !all_finite(setup)) return grid_fit_plain(setup, best, observer);
  FitRun run(setup, best);
  thread_local ScanScratch scratch;
  FastScan scan(setup, run, scratch);
  // Nothing has been scanned or reported yet: the plain scan starts afresh.
  if (!scan.bounded()) return grid_fit_plain(setup, best, observer);
  for (int iteration = 1; iteration <= kFitIterations; ++iteration) {
    run.begin_iteration();
    scan.scan(observer);
    run.end_iteration(iteration, observer);
  }
  run.finish();
  return run.counter;
}

}  // namespace kavor
