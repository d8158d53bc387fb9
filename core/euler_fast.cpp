// The grid fit the programs use: the same scan as grid_fit_plain, restricted
// to the grid points that can still score 90.
//
// Why the result is the plain scan's, bit for bit
// -----------------------------------------------
// Both scans drive one FitRun (euler_scan.hpp): begin_iteration, evaluate and
// end_iteration hold all state changes and observer calls. In each iteration
// this scan
//   * takes alphas[i] and gammas[g] to be the doubles the plain loops' repeated
//     addition of `step` from alpha0 and gamma0 gives (GridAxis: computed run
//     by run, equal to the additions), so index (g, i) names exactly the
//     doubles the plain scan would use, and takes their sines and cosines
//     from grid_cos_sin, as the plain scan does;
//   * evaluates every point it keeps through FitRun::evaluate, in ascending
//     (g, i) order, i.e. in the plain scan order (gamma outer, alpha inner);
//   * leaves out only points for which evaluate provably has no effect: one
//     that cannot reach a score of 90 (outside the regions around the seed
//     below, in a block the bound below rules out, or with a component
//     out of reach by more than the rounding margin), or one refused by a
//     gate. For such a point evaluate returns before touching any state or
//     the observer.
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
// Where to look. Before bisecting, each scan narrows the grid to where a
// candidate can be at all, from one rotation M0 = M(alpha_s, gamma_s) close to
// the answer (a closed form from the axes, once per fit). With V the source
// axes as columns, T the targets and E = M V - T at a grid point (M from the
// exact sines and cosines, with the run's cb, sb), a candidate has
// |E_ij| < K_ij = tolerance + margin_ij (the rounding of evaluate, as above).
// Since M - M0 = (E - E0) V^-1 and ||V^-1||_2 = 1 / sigma_min(V):
//   * row 3 of M is (ca sb, sa sb, cb), so
//     2 |sb| |sin((alpha - alpha_s) / 2)| <= |row 3 of (E - E0)| / sigma_min;
//   * column 3 is (-sb cg, sb sg, cb), so
//     2 |sb| |sin((gamma - gamma_s) / 2)| <= ||rows 1, 2 of (E - E0)||_F / sigma_min;
//   * M = Rz(-gamma) B Rz(-alpha), B the turn by beta about y, and
//     ||B - I||_2 = hypot(1 - cb, sb) =: b, so with s = alpha + gamma
//     2 |sin((s - s_s) / 2)| <= ||E - E0||_F / sigma_min + 2 b.
// Each |E| part is at most the root sum of squares of its K_ij, each |E0|
// part is bounded from its computed value plus the margins, and sigma_min
// from below by sqrt(1 - ||V^T V - I||_F). The first two give an interval of
// alpha and one of gamma (modulo a full turn) when beta is away from 0 and
// 180 degrees; the third a band of alpha + gamma near beta 0, used row by
// row where the gates leave few rows of gamma. Points outside are not
// candidates; the regions inside are bisected as above. Every quantity is
// rounded up by relative and absolute allowances far larger than its
// rounding error; where the axes are far from orthonormal, or a bound leaves
// no angle out, the whole grid is bisected.
//
// Non-finite axes or beta fall back to the plain scan (no bound is needed),
// and so do axes so long that some bound is not finite (FastScan::bounded).
#include <algorithm>
#include <bit>
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

// The values of one angle in one scan: the plain scan's repeated addition
// of `step` from the first value. Within one binade every sum lands on the
// same grid of multiples of the binade's ulp u, so with step = (q + f) u
// (q whole, 0 <= f < 1, f != 1/2) each addition adds exactly round(f) + q
// ulps: a run of values is start + m inc, any of which can be had without
// the ones before it. A run ends where a sum would leave the binade (the grid
// changes there); ties (f = 1/2), zero and values so small that the step
// leaves their binade at once are added one by one. Most scans read a few
// rows near index 100 of 314: value() finds any value from the runs, and
// fill() writes into `values` only the indices a scan reads, together with
// their sines, cosines and whole degrees (trig).
class GridAxis {
 public:
  std::vector<double> values;  // valid in [filled_lo, filled_hi) only
  TrigTable trig;
  double first = 0.0;
  double step = 0.0;
  double inverse_step = 0.0;  // only for guesses
  // Not below the last value: each addition is off by at most half an ulp
  // of a value below 8.
  double last_bound = 0.0;

  void start(double first_value, double step_value, long n) {
    if (static_cast<long>(values.size()) < n) values.resize(n);
    first = first_value;
    step = step_value;
    inverse_step = 1.0 / step_value;
    last_bound = first_value + static_cast<double>(n - 1) * step_value +
                 static_cast<double>(n) * 1e-15 + 1e-13;
    runs_.clear();
    runs_.push_back(Run{0, first_value, 0.0, 1});
    last_run_ = 0;
    filled_lo_ = filled_hi_ = 0;
    trig.reset(values, n);
  }

  double value(long k) {
    if (k >= filled_lo_ && k < filled_hi_) return values[k];
    const Run& run = run_of(k);
    return run.start + static_cast<double>(k - run.begin) * run.inc;
  }

  // Makes values [lo, hi) valid (and everything between them and the
  // indices already valid: the reads of one scan lie close together).
  void fill(long lo, long hi) {
    if (lo >= hi) return;
    if (filled_lo_ >= filled_hi_) filled_lo_ = filled_hi_ = lo;
    if (lo < filled_lo_) {
      fill_from_runs(lo, filled_lo_);
      filled_lo_ = lo;
    }
    if (hi > filled_hi_) {
      fill_from_runs(filled_hi_, hi);
      filled_hi_ = hi;
    }
  }

 private:
  // values[begin + m] = start + m inc for begin <= begin + m < end.
  struct Run {
    long begin;
    double start, inc;
    long end;
  };

  // The last run that begins at or before k.
  const Run& run_of(long k) {
    while (runs_.back().end <= k) extend();
    size_t r = std::min(last_run_, runs_.size() - 1);
    while (r + 1 < runs_.size() && runs_[r + 1].begin <= k) ++r;
    while (runs_[r].begin > k) --r;
    last_run_ = r;
    return runs_[r];
  }
  void fill_from_runs(long lo, long hi) {
    for (long k = lo; k < hi;) {
      const Run& run = run_of(k);
      const long stop = std::min(hi, run.end);
      for (; k < stop; ++k) values[k] = run.start + static_cast<double>(k - run.begin) * run.inc;
    }
  }

  // The run from the last known value, or a single addition.
  void extend() {
    const Run& last = runs_.back();
    const long k = last.end - 1;
    const double x = last.start + static_cast<double>(k - last.begin) * last.inc;
    Run run{k, x, 0.0, k + 2};
    if (!start_run(run)) runs_.push_back(Run{k + 1, x + step, 0.0, k + 2});
    else runs_.push_back(run);
  }

  bool start_run(Run& run) const {
    const double x = run.start;
    if (!(step > 0.0)) return false;
    // |x| in [2^(e-1), 2^e): the biased exponent field is e - 1 + 1023.
    const int field = static_cast<int>((std::bit_cast<std::uint64_t>(x) >> 52) & 0x7ff);
    if (field < 64 || field > 2000) return false;  // zero, tiny, huge or not finite
    const int e = field - 1022;
    const double u = power_of_two(e - 53);
    const bool negative = x < 0.0;
    const double edge = power_of_two(negative ? e - 1 : e);  // |sum| must stay on this side
    // Whether y + step (exact) stays within the binade (its upper end 2^e
    // for positive y, on the same grid; its lower end -2^(e-1) for negative
    // y). The differences are exact (Sterbenz).
    auto in_run = [&](double y) { return negative ? step <= -y - edge : step <= edge - y; };
    if (!in_run(x)) return false;
    const double d = step / u;  // exact: u is a power of two
    const double q = static_cast<double>(static_cast<std::int64_t>(d));  // d < 2^53 (in_run)
    const double f = d - q;
    if (f == 0.5) return false;
    run.inc = (f > 0.5 ? q + 1.0 : q) * u;
    // The last m with in_run(x + m inc): x + m inc is exact while the sums
    // stay in the binade, and in_run fails at the first computed value
    // past it (rounding is monotonic and the edge is a double), so the
    // test is monotonic in m. Values up to index begin + m + 1 follow.
    const long cap = static_cast<long>(values.size());
    const double room = negative ? -x - edge - step : edge - x - step;
    long m = static_cast<long>(std::min(room / run.inc, static_cast<double>(cap)));
    if (m < 0) m = 0;
    while (m > 0 && !in_run(x + static_cast<double>(m) * run.inc)) --m;
    while (m < cap && in_run(x + static_cast<double>(m + 1) * run.inc)) ++m;
    run.end = run.begin + m + 2;
    return true;
  }
  static double power_of_two(int e) {
    return std::bit_cast<double>(static_cast<std::uint64_t>(e + 1023) << 52);
  }

  std::vector<Run> runs_;  // ascending; each begins at the previous one's last index or after it
  long filled_lo_ = 0, filled_hi_ = 0;
  size_t last_run_ = 0;  // where run_of last found its run
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
  std::vector<long> strips;  // (gamma index, first alpha, end alpha) near the seed
  std::vector<signed char> row3;    // per alpha of the strips: whether row 3 passes
  std::vector<double> row3_values;  // and its components, three per alpha

  // Refined grids met more than once, with their values, runs, sines and
  // cosines as far as they were built: the same first value, step and size
  // give the same grid. Fits whose answer does not move (the alignment
  // passes after the first, at alpha = gamma = 0) scan the same windows frame
  // after frame; a grid seen once (most windows of the first pass and of the
  // Euler search, which follow the frame) is built in a spare and only noted,
  // so that it does not push a recurring grid out.
  struct CachedGrid {
    std::uint64_t first_bits = 0, step_bits = 0;
    long n = -1;
    std::uint64_t seen = 0;  // key of the last grid that missed this slot
    GridAxis axis;
  };
  static constexpr std::size_t kCachedGrids = 64;
  std::vector<CachedGrid> cache = std::vector<CachedGrid>(kCachedGrids);

  // The grid from `first` in steps of `step`, n values: from the cache, or
  // started afresh, in its slot when met before, else in `spare`. `avoid`:
  // a grid in use that must not be replaced (then `spare` is started).
  GridAxis& grid(double first_value, double step, long n, const GridAxis* avoid, GridAxis& spare) {
    const std::uint64_t a = std::bit_cast<std::uint64_t>(first_value), b = std::bit_cast<std::uint64_t>(step);
    const std::uint64_t h =
        a * 0x9E3779B97F4A7C15ull ^ (b + static_cast<std::uint64_t>(n)) * 0xC2B2AE3D27D4EB4Full;
    CachedGrid& slot = cache[(h >> 32) % kCachedGrids];
    if (slot.n == n && slot.first_bits == a && slot.step_bits == b) return slot.axis;
    if (&slot.axis == avoid || slot.seen != h) {
      slot.seen = h;
      spare.start(first_value, step, n);
      return spare;
    }
    slot.first_bits = a;
    slot.step_bits = b;
    slot.n = n;
    slot.axis.start(first_value, step, n);
    // Its values all built once, so that later scans read them instead of
    // finding their runs.
    slot.axis.fill(0, n);
    return slot.axis;
  }
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
    make_seed();
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
        scratch_.first.start(0.0, kFitStartStep, n_);
        scratch_.first.fill(0, n_);
        scratch_.first_n = n_;
      }
      alpha_axis = gamma_axis = &scratch_.first;
    } else {
      alpha_axis = &scratch_.grid(run_.alpha0, run_.step, n_, nullptr, scratch_.alpha);
      gamma_axis = &scratch_.grid(run_.gamma0, run_.step, n_, alpha_axis, scratch_.gamma);
    }
    alpha_axis_ = alpha_axis;
    gamma_axis_ = gamma_axis;
    alphas_ = &alpha_axis->values;
    gammas_ = &gamma_axis->values;
    alpha_trig_ = &alpha_axis->trig;
    gamma_trig_ = &gamma_axis->trig;
    for (AxisBound& a : axes_)
      for (int c = 0; c < 3; ++c) a.base[c] = run_.tolerance + a.margin[c];

    points_.clear();
    observer_ = &observer;
    if (!visit_near_seed()) visit_region(0, n_, 0, n_);
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
  // Rounding allowances of the seed bounds: relative and absolute, far above
  // the rounding of the few operations behind each bound (all values there
  // are below 16 in magnitude once the axes pass the orthonormality check).
  static constexpr double kRelUp = 1.0 + 1e-10;
  static constexpr double kAbsUp = 1e-13;

  static double up(double x) { return x * kRelUp + kAbsUp; }

  // Half-width of the angle interval from 2 |sin(d / 2)| <= chord, or a
  // negative value when the bound leaves (nearly) the whole turn; with
  // asin(s) <= s / sqrt(1 - s^2) for 0 <= s < 1.
  static double half_width(double chord) {
    const double s = up(chord) * 0.5;
    if (!(s < 0.7)) return -1.0;
    return up(2.0 * s / std::sqrt(1.0 - s * s));
  }

  void make_seed() {
    seed_ok_ = false;
    row3_gap_ = -1.0;
    // sigma_min(V) >= sqrt(1 - ||V^T V - I||_F) (Weyl).
    double gram = 0.0;
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) {
        const double d = dot(axes_[j].v, axes_[k].v) - (j == k ? 1.0 : 0.0);
        gram += d * d;
      }
    const double off = up(std::sqrt(gram));
    if (!(off <= 0.5)) return;
    inv_sigma_ = up(1.0 / std::sqrt(1.0 - off));

    // Closed form: M ~ T V^T.
    double est[3][3] = {};
    for (const AxisBound& a : axes_) {
      const double t[3] = {a.t.x, a.t.y, a.t.z}, v[3] = {a.v.x, a.v.y, a.v.z};
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) est[r][c] += t[r] * v[c];
    }
    const double cb = run_.cb, sb = run_.sb;
    // Row 3 of M ends in cb whatever alpha and gamma are. The row that would
    // fit the targets exactly is w = t3 V^-1 (t3: the targets' z components),
    // and est[2][2] = t3 V^T gives w_z within ||t3|| ||V^-1|| ||I - V^T V||
    // and its own rounding. A candidate has |cb - w_z| <= ||E row 3|| ||V^-1||,
    // so where cb lies further from w_z than that can reach, no point is one.
    double t3 = 0.0;
    for (const AxisBound& a : axes_) t3 += a.t.z * a.t.z;
    row3_gap_ = std::fabs(cb - est[2][2]) * (1.0 - 1e-10) -
                up(up(std::sqrt(t3)) * inv_sigma_ * off) - kAbsUp;
    if (std::fabs(sb) > 1e-3) {
      const double sgn = sb < 0.0 ? -1.0 : 1.0;
      alpha_s_ = std::atan2(sgn * est[2][1], sgn * est[2][0]);
      gamma_s_ = std::atan2(sgn * est[1][2], -sgn * est[0][2]);
    } else {
      alpha_s_ = std::atan2(est[0][1] - est[1][0], est[0][0] + est[1][1]);
      gamma_s_ = 0.0;
    }
    double ca, sa, cg, sg;
    grid_cos_sin(alpha_s_, ca, sa);
    grid_cos_sin(gamma_s_, cg, sg);
    const Mat3 m0 = euler_matrix_from(ca, sa, cb, sb, cg, sg);
    double row3 = 0.0, rows12 = 0.0;
    for (const AxisBound& a : axes_) {
      const Vec3 p = mul(m0, a.v);
      const double e[3] = {std::fabs(p.x - a.t.x) + a.margin[0], std::fabs(p.y - a.t.y) + a.margin[1],
                           std::fabs(p.z - a.t.z) + a.margin[2]};
      rows12 += e[0] * e[0] + e[1] * e[1];
      row3 += e[2] * e[2];
    }
    e0_row3_ = up(std::sqrt(row3));
    e0_rows12_ = up(std::sqrt(rows12));
    e0_all_ = up(std::sqrt(row3 + rows12));
    beta_dev_ = up(std::hypot(1.0 - cb, sb));
    sum_s_ = alpha_s_ + gamma_s_;
    seed_ok_ = std::isfinite(inv_sigma_ * (e0_all_ + 1.0)) && std::isfinite(sum_s_);
  }

  // Index ranges [lo, hi) of grid values within `half` of `centre` modulo
  // a full turn, disjoint and in ascending order; at most 4. The last value is only
  // bounded from above (it may not be built): each addition is off by at
  // most half an ulp of a value below 8.
  int turn_ranges(GridAxis& axis, double centre, double half, long (*out)[2]) const {
    const double first = axis.first;
    const double last = last_bound(axis);
    // Whole turns that can bring the interval onto the grid: from ceil of
    // the lower quotient to floor of the upper one, each widened by 1e-6,
    // far more than their rounding (all far below 2^31 in magnitude); every
    // m is checked against the grid's ends below.
    const long m0 = static_cast<long>(std::ceil((first - centre - half) * (1.0 / kTwoPi) - 1e-6));
    const long m1 = static_cast<long>(std::floor((last - centre + half) * (1.0 / kTwoPi) + 1e-6));
    int count = 0;
    for (long m = m0; m <= m1; ++m) {
      const double lo_value = centre - half + static_cast<double>(m) * kTwoPi;
      const double hi_value = centre + half + static_cast<double>(m) * kTwoPi;
      if (hi_value < first || lo_value > last) continue;
      const long lo = first_at_least(axis, lo_value);
      const long hi = first_above(axis, hi_value);
      if (lo < hi && (count == 4 || (count > 0 && lo < out[count - 1][1]))) {
        // More pieces than expected, or overlapping ones (half a turn or
        // more): the whole grid.
        out[0][0] = 0;
        out[0][1] = n_;
        return 1;
      }
      if (lo < hi) {
        out[count][0] = lo;
        out[count][1] = hi;
        ++count;
      }
    }
    return count;
  }

  static double last_bound(const GridAxis& axis) { return axis.last_bound; }

  // First index whose value is >= x (n if none), or > x: a guess from the
  // step, corrected against the values themselves.
  long first_at_least(GridAxis& axis, double x) const {
    if (x > last_bound(axis)) return n_;
    long k = guess(axis, x);
    while (k > 0 && axis.value(k - 1) >= x) --k;
    while (k < n_ && axis.value(k) < x) ++k;
    return k;
  }
  long first_above(GridAxis& axis, double x) const {
    if (x >= last_bound(axis)) return n_;
    long k = guess(axis, x);
    while (k > 0 && axis.value(k - 1) > x) --k;
    while (k < n_ && axis.value(k) <= x) ++k;
    return k;
  }
  long guess(const GridAxis& axis, double x) const {
    const double k = (x - axis.first) * axis.inverse_step;
    if (!(k > 0.0)) return 0;
    if (!(k < static_cast<double>(n_))) return n_;
    return static_cast<long>(k);
  }

  // Bisects a region after building the values it reads.
  void visit_region(long i0, long i1, long g0, long g1) {
    alpha_axis_->fill(i0, i1);
    gamma_axis_->fill(g0, g1);
    visit(i0, i1, g0, g1);
  }

  // Bisects only where a candidate can be (see the top of this file). False
  // when the seed bounds leave too much of the grid, so the caller bisects
  // all of it.
  bool visit_near_seed() {
    if (!seed_ok_) return false;
    double k_row3 = 0.0, k_rows12 = 0.0;
    for (const AxisBound& a : axes_) {
      k_rows12 += a.base[0] * a.base[0] + a.base[1] * a.base[1];
      k_row3 += a.base[2] * a.base[2];
    }
    // No candidate anywhere in this iteration (see make_seed): nothing to visit.
    if (row3_gap_ > up(up(std::sqrt(k_row3)) * inv_sigma_)) return true;
    const double sb = std::fabs(run_.sb);
    const double chord_a = up((up(std::sqrt(k_row3)) + e0_row3_) * inv_sigma_);
    const double chord_g = up((up(std::sqrt(k_rows12)) + e0_rows12_) * inv_sigma_);
    const double chord_s = up((up(std::sqrt(k_row3 + k_rows12)) + e0_all_) * inv_sigma_ + 2.0 * beta_dev_);
    const double half_a = sb > 0.0 ? half_width(up(chord_a / sb)) : -1.0;
    const double half_g = sb > 0.0 ? half_width(up(chord_g / sb)) : -1.0;
    const double half_s = half_width(chord_s);
    if (half_a < 0.0 && half_g < 0.0 && half_s < 0.0) return false;

    long a_ranges[4][2], g_ranges[4][2];
    int na = 1, ng = 1;
    a_ranges[0][0] = g_ranges[0][0] = 0;
    a_ranges[0][1] = g_ranges[0][1] = n_;
    if (half_a >= 0.0) na = turn_ranges(*alpha_axis_, alpha_s_, half_a, a_ranges);
    if (na == 0) return true;
    if (half_g >= 0.0) ng = turn_ranges(*gamma_axis_, gamma_s_, half_g, g_ranges);
    if (ng == 0) return true;

    // Rows of gamma the gates can let through: none below 0 with a floor,
    // none above 0 whole degrees in the analyzer at beta 0.
    const long g_first = run_.gamma_floor ? first_at_least(*gamma_axis_, 0.0) : 0;
    if (g_first >= n_) return true;  // every value of gamma below its floor
    long g_end = n_;
    if (run_.beta_deg == 0 && run_.setup.mode == Mode::analyzer) {
      // Whole degrees ascend with gamma: from a guess near half a degree,
      // the first row above 0 degrees.
      g_end = std::max(g_first, first_at_least(*gamma_axis_, 0.5 / kDegPerRad));
      auto above_zero = [&](long g) {
        gamma_axis_->fill(g, g + 1);
        return gamma_trig_->degrees(g) > 0;
      };
      while (g_end > g_first && above_zero(g_end - 1)) --g_end;
      while (g_end < n_ && !above_zero(g_end)) ++g_end;
    }
    long rows = 0;
    for (int r = 0; r < ng; ++r)
      rows += std::max(0L, std::min(g_ranges[r][1], g_end) - std::max(g_ranges[r][0], g_first));
    // Strips of one row of gamma, in scan order.
    std::vector<long>& strips = scratch_.strips;
    strips.clear();
    long points = 0;
    auto add_strip = [&](long g, long lo, long hi) {
      strips.insert(strips.end(), {g, lo, hi});
      points += hi - lo;
    };
    if (half_s >= 0.0 && rows <= kBandRows) {
      const long a_floor = run_.alpha_floor ? first_at_least(*alpha_axis_, 0.0) : 0;
      if (a_floor >= n_) return true;
      // Rows that meet the band at all: gamma within half of sum_s - alpha
      // for some alpha from the first allowed value to the last (bounded),
      // modulo a full turn; merged in ascending order.
      const double a_lo = alpha_axis_->value(a_floor), a_hi = last_bound(*alpha_axis_);
      long s_rows[4][2];
      const int nr = turn_ranges(*gamma_axis_, sum_s_ - 0.5 * (a_lo + a_hi), up(half_s + 0.5 * (a_hi - a_lo) + 4e-14),
                                 s_rows);
      int merged = 0;
      for (int k = 0; k < nr; ++k) {
        if (merged > 0 && s_rows[k][0] <= s_rows[merged - 1][1]) {
          s_rows[merged - 1][1] = std::max(s_rows[merged - 1][1], s_rows[k][1]);
        } else {
          s_rows[merged][0] = s_rows[k][0];
          s_rows[merged][1] = s_rows[k][1];
          ++merged;
        }
      }
      for (int r = 0; r < ng; ++r)
        for (int q = 0; q < merged; ++q)
        for (long g = std::max({g_ranges[r][0], g_first, s_rows[q][0]}); g < std::min({g_ranges[r][1], g_end, s_rows[q][1]}); ++g) {
          long s_ranges[4][2];
          const double centre = sum_s_ - gamma_axis_->value(g);
          const int ns = turn_ranges(*alpha_axis_, centre, up(half_s + 4e-14), s_ranges);
          for (int k = 0; k < ns; ++k)
            for (int j = 0; j < na; ++j) {
              const long lo = std::max({s_ranges[k][0], a_ranges[j][0], a_floor});
              const long hi = std::min(s_ranges[k][1], a_ranges[j][1]);
              if (lo < hi) add_strip(g, lo, hi);
            }
        }
    } else {
      if (half_a < 0.0 && half_g < 0.0) return false;
      long width = 0;
      for (int j = 0; j < na; ++j) width += a_ranges[j][1] - a_ranges[j][0];
      if (rows * width > kDirectPoints) {
        for (int r = 0; r < ng; ++r)
          for (int j = 0; j < na; ++j)
            visit_region(a_ranges[j][0], a_ranges[j][1], g_ranges[r][0], g_ranges[r][1]);
        return true;
      }
      for (int r = 0; r < ng; ++r)
        for (long g = std::max(g_ranges[r][0], g_first); g < std::min(g_ranges[r][1], g_end); ++g)
          for (int j = 0; j < na; ++j) add_strip(g, a_ranges[j][0], a_ranges[j][1]);
    }
    if (points > kDirectPoints) {
      for (size_t k = 0; k < strips.size(); k += 3) visit_region(strips[k + 1], strips[k + 2], strips[k], strips[k] + 1);
      return true;
    }
    // Few points: each is tried as it is, in scan order, with row 3 (alpha
    // only) tested first and then rows 1 and 2. The components are computed
    // exactly as evaluate computes them (the same products and sums of the
    // same sines and cosines, in the same order) and held to the same
    // tolerance, so a point that passes all nine is one evaluate would score
    // 90, and it goes on with the rotated axes at hand.
    long a_begin = n_, a_end = 0, g_end_built = 0;
    for (size_t k = 0; k < strips.size(); k += 3) {
      a_begin = std::min(a_begin, strips[k + 1]);
      a_end = std::max(a_end, strips[k + 2]);
      g_end_built = std::max(g_end_built, strips[k] + 1);
    }
    if (a_begin >= a_end) return true;
    long g_begin = n_;
    for (size_t k = 0; k < strips.size(); k += 3) g_begin = std::min(g_begin, strips[k]);
    alpha_axis_->fill(a_begin, a_end);
    gamma_axis_->fill(g_begin, g_end_built);
    // Row 3 of each alpha, once: 1 when it passes, 0 when not, -1 not yet
    // known; with its three components (p, q, s) when it passes.
    std::vector<signed char>& row3 = scratch_.row3;
    row3.assign(static_cast<size_t>(a_end - a_begin), -1);
    std::vector<double>& row3_values = scratch_.row3_values;
    if (row3_values.size() < 3 * row3.size()) row3_values.resize(3 * row3.size());
    const double cb = run_.cb, sb_run = run_.sb, tolerance = run_.tolerance;
    const std::vector<double>& alphas = alpha_axis_->values;
    const std::vector<double>& gammas = gamma_axis_->values;
    for (size_t k = 0; k < strips.size(); k += 3) {
      const long g = strips[k];
      double cg = 0.0, sg = 0.0;
      bool have_gamma = false;
      for (long i = strips[k + 1]; i < strips[k + 2]; ++i) {
        signed char& known = row3[static_cast<size_t>(i - a_begin)];
        if (known == 0) continue;
        double* z3 = &row3_values[3 * static_cast<size_t>(i - a_begin)];
        double ca, sa;
        alpha_trig_->get(i, ca, sa);
        if (known < 0) {
          const double m20 = ca * sb_run, m21 = sa * sb_run;
          known = 1;
          for (int c = 0; c < 3; ++c) {
            const AxisBound& a = axes_[c];
            z3[c] = m20 * a.v.x + m21 * a.v.y + cb * a.v.z;
            if (!(std::fabs(z3[c] - a.t.z) < tolerance)) known = 0;
          }
          if (known == 0) continue;
        }
        if (!have_gamma) {
          gamma_trig_->get(g, cg, sg);
          have_gamma = true;
        }
        // Rows 1 and 2, axis by axis, stopping at the first component out
        // of the tolerance.
        const Mat3 m = euler_matrix_from(ca, sa, cb, sb_run, cg, sg);
        Vec3 turned[3];
        bool rows12 = true;
        for (int c = 0; c < 3 && rows12; ++c) {
          const AxisBound& a = axes_[c];
          const double r1 = m.m[0][0] * a.v.x + m.m[0][1] * a.v.y + m.m[0][2] * a.v.z;
          const double r2 = m.m[1][0] * a.v.x + m.m[1][1] * a.v.y + m.m[1][2] * a.v.z;
          rows12 = std::fabs(r1 - a.t.x) < tolerance && std::fabs(r2 - a.t.y) < tolerance;
          turned[c] = Vec3{r1, r2, z3[c]};
        }
        if (!rows12) continue;
        run_.scored_90(alphas[i], gammas[g], turned[0], turned[1], turned[2], *observer_);
      }
    }
    return true;
  }

  // Above this many points the regions near the seed are bisected rather
  // than tried point by point.
  static constexpr long kDirectPoints = 256;

  // Rows of gamma above which the band of alpha + gamma is not walked row by row.
  static constexpr long kBandRows = 64;

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
  FitObserver* observer_ = nullptr;
  // The seed rotation and the bounds of make_seed (valid when seed_ok_).
  bool seed_ok_ = false;
  double alpha_s_ = 0.0, gamma_s_ = 0.0, sum_s_ = 0.0;
  double inv_sigma_ = 0.0;  // >= 1 / sigma_min(V)
  double row3_gap_ = -1.0;  // <= |cb - w_z| (see make_seed); negative: unknown
  double e0_row3_ = 0.0, e0_rows12_ = 0.0, e0_all_ = 0.0;  // >= the parts of |E0|
  double beta_dev_ = 0.0;  // >= ||B - I||_2
  long n_ = 0;
  ScanScratch& scratch_;
  // This scan's grid values and their trig tables.
  GridAxis* alpha_axis_ = nullptr;
  GridAxis* gamma_axis_ = nullptr;
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
