// The z-y-z Euler matrix and its grid fit, checked against mathematics the
// test writes out itself: rotation matrices built from ordinary Rz, Ry and a
// closed-form decomposition of M = x X^T + y Y^T + z Z^T.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/euler.hpp"

namespace kavor {
namespace {

constexpr double kPiTest = 3.14159265358979323846;

Mat3 multiply(const Mat3& a, const Mat3& b) {
  Mat3 c;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) c.m[i][j] += a.m[i][k] * b.m[k][j];
  return c;
}

Mat3 rot_z(double t) {
  Mat3 r;
  r.m[0][0] = std::cos(t);
  r.m[0][1] = -std::sin(t);
  r.m[1][0] = std::sin(t);
  r.m[1][1] = std::cos(t);
  r.m[2][2] = 1.0;
  return r;
}

Mat3 rot_y(double t) {
  Mat3 r;
  r.m[0][0] = std::cos(t);
  r.m[0][2] = std::sin(t);
  r.m[1][1] = 1.0;
  r.m[2][0] = -std::sin(t);
  r.m[2][2] = std::cos(t);
  return r;
}

// Independent construction: transpose of Rz(a) Ry(b) Rz(g).
Mat3 reference_matrix(double a, double b, double g) {
  const Mat3 r = multiply(multiply(rot_z(a), rot_y(b)), rot_z(g));
  Mat3 t;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) t.m[i][j] = r.m[j][i];
  return t;
}

Vec3 apply(const Mat3& m, const Vec3& v) {
  return {m.m[0][0] * v.x + m.m[0][1] * v.y + m.m[0][2] * v.z,
          m.m[1][0] * v.x + m.m[1][1] * v.y + m.m[1][2] * v.z,
          m.m[2][0] * v.x + m.m[2][1] * v.y + m.m[2][2] * v.z};
}

double norm(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
double distance(const Vec3& a, const Vec3& b) { return norm({a.x - b.x, a.y - b.y, a.z - b.z}); }

double wrap(double angle) {
  double a = std::fmod(angle, 2 * kPiTest);
  if (a < 0) a += 2 * kPiTest;
  return a;
}

// Angular distance between two angles on the circle.
double circle_gap(double a, double b) {
  const double d = std::fabs(wrap(a) - wrap(b));
  return std::min(d, 2 * kPiTest - d);
}

struct Angles {
  double alpha, beta, gamma;
};

// Closed-form z-y-z decomposition of the M that carries X, Y, Z onto x, y, z.
// Row 3 of M is (ca sb, sa sb, cb); column 3 is (-sb cg, sb sg, cb). When
// beta rounds to 0 degrees the analyzer's convention puts everything into
// alpha (gamma = 0).
Angles decompose(const FitAxes& src, const FitAxes& dst) {
  Mat3 m;
  const Vec3 s[3] = {src.x, src.y, src.z};
  const Vec3 d[3] = {dst.x, dst.y, dst.z};
  for (int k = 0; k < 3; ++k) {
    const double dv[3] = {d[k].x, d[k].y, d[k].z};
    const double sv[3] = {s[k].x, s[k].y, s[k].z};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) m.m[i][j] += dv[i] * sv[j];
  }
  Angles out;
  out.beta = std::acos(std::clamp(m.m[2][2], -1.0, 1.0));
  if (std::lround(out.beta * 180.0 / kPiTest) == 0) {
    // M = Rz(-(alpha + gamma)) transposed: m[0][1] = sin(alpha + gamma).
    out.alpha = wrap(std::atan2(m.m[0][1], m.m[0][0]));
    out.gamma = 0.0;
  } else {
    out.alpha = wrap(std::atan2(m.m[2][1], m.m[2][0]));
    out.gamma = wrap(std::atan2(m.m[1][2], -m.m[0][2]));
  }
  return out;
}

FitAxes coordinate_axes() { return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; }

FitAxes rotate(const Mat3& m, const FitAxes& f) { return {apply(m, f.x), apply(m, f.y), apply(m, f.z)}; }

double axis_angle(const Vec3& a, const Vec3& b) {
  const Vec3 c{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  const double la = norm(a), lb = norm(b);
  return std::atan2(norm(c) / (la * lb), (a.x * b.x + a.y * b.y + a.z * b.z) / (la * lb));
}

FitSetup euler_setup(const FitAxes& src, const FitAxes& dst, Mode mode = Mode::analyzer) {
  FitSetup setup;
  setup.source = src;
  setup.target = dst;
  setup.beta = axis_angle(dst.z, src.z);
  setup.use = FitUse::euler;
  setup.mode = mode;
  return setup;
}

struct Recorder : FitObserver {
  std::vector<FitCandidate> candidates;
  std::vector<FitWindow> windows;
  std::vector<int> scan_counters;
  bool keep_candidates = true;
  void on_candidate(const FitCandidate& c) override {
    if (keep_candidates) candidates.push_back(c);
  }
  void on_scan_end(int, int counter) override { scan_counters.push_back(counter); }
  void on_window(const FitWindow& w, const BestAngles&) override { windows.push_back(w); }
};

// Random angle in degrees away from the ends of its range, in radians.
double random_angle(std::mt19937_64& rng, double lo_deg, double hi_deg) {
  std::uniform_real_distribution<double> u(lo_deg, hi_deg);
  return u(rng) * kPiTest / 180.0;
}

TEST(EulerMatrix, EqualsTransposeOfZyzRotationProduct) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 50; ++i) {
    const double a = random_angle(rng, 0, 360), b = random_angle(rng, 0, 180),
                 g = random_angle(rng, 0, 360);
    const Mat3 m = euler_matrix(a, b, g);
    const Mat3 ref = reference_matrix(a, b, g);
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(m.m[r][c], ref.m[r][c], 1e-14);
  }
}

TEST(EulerMatrix, ColumnsAreTheRotatedFrameWhenSourceIsCoordinateAxes) {
  // With X, Y, Z the coordinate axes, M.X is column 1 etc.; the third row
  // (ca sb, sa sb, cb) is the image of nothing special but z's components.
  const Mat3 m = euler_matrix(0.3, 1.1, 2.0);
  const Vec3 z = apply(m, {0, 0, 1});
  EXPECT_NEAR(z.x, -std::sin(1.1) * std::cos(2.0), 1e-15);
  EXPECT_NEAR(z.y, std::sin(1.1) * std::sin(2.0), 1e-15);
  EXPECT_NEAR(z.z, std::cos(1.1), 1e-15);
}

// The fit refines alpha and gamma down to the step of iteration 4 (5e-6 rad):
// from iteration 5 on each window ends below the previous best, so later
// iterations only move the result when a lower point fits better.
constexpr double kFitAngleTol = 2e-5;     // radians
constexpr double kFitVectorTol = 4e-5;    // components of unit vectors

void expect_fit_reproduces(const FitAxes& src, const FitAxes& dst, const BestAngles& best) {
  const Mat3 m = euler_matrix(best.alpha, best.beta, best.gamma);
  EXPECT_LT(distance(apply(m, src.x), dst.x), kFitVectorTol);
  EXPECT_LT(distance(apply(m, src.y), dst.y), kFitVectorTol);
  EXPECT_LT(distance(apply(m, src.z), dst.z), kFitVectorTol);
  const Angles ref = decompose(src, dst);
  EXPECT_LT(circle_gap(best.alpha, ref.alpha), kFitAngleTol);
  EXPECT_NEAR(best.beta, ref.beta, 1e-9);
  EXPECT_LT(circle_gap(best.gamma, ref.gamma), kFitAngleTol);
}

TEST(GridFit, RecoversRandomRotationsOfCoordinateAxes) {
  std::mt19937_64 rng(20261207);
  for (int i = 0; i < 6; ++i) {
    const double a = random_angle(rng, 1.5, 358.5), b = random_angle(rng, 2, 178),
                 g = random_angle(rng, 1.5, 358.5);
    const FitAxes src = coordinate_axes();
    const FitAxes dst = rotate(reference_matrix(a, b, g), src);
    BestAngles best;
    Recorder rec;
    rec.keep_candidates = false;
    grid_fit(euler_setup(src, dst), best, rec);
    SCOPED_TRACE(::testing::Message() << "case " << i << " a=" << a << " b=" << b << " g=" << g);
    expect_fit_reproduces(src, dst, best);
    EXPECT_LT(circle_gap(best.alpha, a), kFitAngleTol);
    EXPECT_LT(circle_gap(best.gamma, g), kFitAngleTol);
    EXPECT_GE(best.alpha, 0.0);
    EXPECT_GE(best.gamma, 0.0);
  }
}

TEST(GridFit, RecoversRotationBetweenTwoRandomFrames) {
  std::mt19937_64 rng(99);
  for (int i = 0; i < 4; ++i) {
    const Mat3 frame = reference_matrix(random_angle(rng, 0, 360), random_angle(rng, 5, 175),
                                        random_angle(rng, 0, 360));
    const FitAxes src = rotate(frame, coordinate_axes());
    // Choose the relative rotation's own z-y-z angles away from the ends,
    // then build the target frame x = R.X with R = reference rotation
    // expressed in the source frame: R = M_rel composed so that M.X = x.
    const double a = random_angle(rng, 1.5, 358.5), b = random_angle(rng, 2, 178),
                 g = random_angle(rng, 1.5, 358.5);
    const Mat3 rel = reference_matrix(a, b, g);
    const FitAxes dst = rotate(rel, src);
    const Angles ref = decompose(src, dst);
    if (ref.beta < 2 * kPiTest / 180 || ref.beta > 178 * kPiTest / 180 ||
        circle_gap(ref.alpha, 0) < kPiTest / 180 || circle_gap(ref.gamma, 0) < kPiTest / 180)
      continue;  // an edge case by chance; the generic property is tested elsewhere
    // The fixed beta is that of M itself (equal to the angle between z and
    // Z only when X, Y, Z are the coordinate axes, as in the programs).
    FitSetup setup = euler_setup(src, dst);
    setup.beta = b;
    BestAngles best;
    Recorder rec;
    rec.keep_candidates = false;
    grid_fit(setup, best, rec);
    SCOPED_TRACE(::testing::Message() << "case " << i);
    EXPECT_LT(circle_gap(best.alpha, a), kFitAngleTol);
    EXPECT_LT(circle_gap(best.gamma, g), kFitAngleTol);
    expect_fit_reproduces(src, dst, best);
  }
}

TEST(GridFit, FastScanMatchesPlainScanBitForBit) {
  std::mt19937_64 rng(5);
  for (int i = 0; i < 2; ++i) {
    const FitAxes src = rotate(reference_matrix(random_angle(rng, 0, 360), random_angle(rng, 5, 175),
                                                random_angle(rng, 0, 360)),
                               coordinate_axes());
    const FitAxes dst = rotate(reference_matrix(random_angle(rng, 2, 358), random_angle(rng, 5, 175),
                                                random_angle(rng, 2, 358)),
                               src);
    for (FitUse use : {FitUse::euler, FitUse::alignment}) {
      FitSetup setup = euler_setup(src, dst);
      setup.use = use;
      BestAngles plain, fast;
      Recorder rp, rf;
      const int cp = grid_fit_plain(setup, plain, rp);
      const int cf = grid_fit(setup, fast, rf);
      EXPECT_EQ(cp, cf);
      EXPECT_EQ(plain.alpha, fast.alpha);
      EXPECT_EQ(plain.gamma, fast.gamma);
      EXPECT_EQ(plain.best_z1, fast.best_z1);
      ASSERT_EQ(rp.candidates.size(), rf.candidates.size());
      for (size_t k = 0; k < rp.candidates.size(); ++k) {
        EXPECT_EQ(rp.candidates[k].alpha, rf.candidates[k].alpha);
        EXPECT_EQ(rp.candidates[k].gamma, rf.candidates[k].gamma);
      }
    }
  }
}

TEST(GridFit, IdenticalFramesGiveBetaZeroAndGammaRoundingToZero) {
  const FitAxes src = rotate(reference_matrix(0.7, 1.2, 2.9), coordinate_axes());
  BestAngles best;
  Recorder rec;
  grid_fit(euler_setup(src, src), best, rec);
  EXPECT_NEAR(best.beta, 0.0, 1e-7);
  // At beta 0 gamma stays at or above 0; alpha may end just below a full
  // turn, which is the same orientation.
  EXPECT_EQ(search_degrees(best.gamma), 0);
  EXPECT_GE(best.gamma, 0.0);
  EXPECT_LT(best.gamma, 1e-3);
  EXPECT_LT(circle_gap(best.alpha, 0.0), 1e-3);
  EXPECT_GE(best.alpha, 0.0);
  EXPECT_LT(best.alpha, kTwoPi);
  // The first accepted point of the first scan is alpha = gamma = 0 itself.
  ASSERT_FALSE(rec.candidates.empty());
  EXPECT_EQ(rec.candidates.front().alpha, 0.0);
  EXPECT_EQ(rec.candidates.front().gamma, 0.0);
}

// A rotation about Z by 40 degrees, seen with beta = 0: the analyzer's gate
// forces gamma to 0 degrees and the whole turn lands in alpha; the builder's
// gate only refuses alpha + gamma >= 360 and may share it out.
TEST(GridFit, BetaNearZeroPutsWholeRotationIntoAlphaInAnalyzer) {
  const double turn = 40.0 * kPiTest / 180.0;
  const double tilt = 0.3 * kPiTest / 180.0;  // beta well inside half a degree
  const FitAxes src = coordinate_axes();
  const FitAxes dst = rotate(reference_matrix(turn, tilt, 0.0), src);
  BestAngles best;
  Recorder rec;
  grid_fit(euler_setup(src, dst), best, rec);
  EXPECT_EQ(search_degrees(best.gamma), 0);
  EXPECT_NEAR(best.alpha * 180.0 / kPiTest, 40.0, 0.01);
  for (const FitCandidate& c : rec.candidates) EXPECT_EQ(search_degrees(c.gamma), 0);
}

TEST(GridFit, BuilderGateAcceptsSplitRotationWhenBetaIsZero) {
  const double turn = 40.0 * kPiTest / 180.0;
  const FitAxes src = coordinate_axes();
  const FitAxes dst = rotate(reference_matrix(turn, 0.0, 0.0), src);
  Recorder rec;
  rec.keep_candidates = true;
  BestAngles best;
  grid_fit_plain(euler_setup(src, dst, Mode::builder), best, rec);
  // Candidates with gamma of whole degrees > 0 exist in builder mode, and
  // every candidate keeps alpha + gamma below 360 whole degrees.
  bool split_seen = false;
  for (const FitCandidate& c : rec.candidates) {
    EXPECT_LT(search_degrees(c.alpha) + search_degrees(c.gamma), 360);
    if (search_degrees(c.gamma) > 0) split_seen = true;
  }
  EXPECT_TRUE(split_seen);
  // Whatever the split, the sum is the 40 degree turn.
  EXPECT_NEAR((best.alpha + best.gamma) * 180.0 / kPiTest, 40.0, 0.01);

  // The analyzer gate with the same input never lets gamma through.
  Recorder rec_a;
  BestAngles best_a;
  grid_fit_plain(euler_setup(src, dst, Mode::analyzer), best_a, rec_a);
  for (const FitCandidate& c : rec_a.candidates) EXPECT_EQ(search_degrees(c.gamma), 0);
}

// Zero axes make every grid point a candidate with differences
// atan2(0, 0) = 0: all sums tie exactly. The best must be the first point
// met in the scan (gamma outer, alpha inner, ascending). In the refined
// windows, which start 100 steps below the last best, that is the window's
// first point where alpha and gamma are periodic, and the first value >= 0
// of an angle that keeps its floor at 0: gamma at beta 0 (whole degrees),
// and alpha there too in the alignment fit. Only the Euler search hands a
// best below 0 back one full turn up.
TEST(GridFit, EqualSumsKeepTheFirstCandidateInScanOrder) {
  struct Case {
    FitUse use;
    double beta;
    bool alpha_floor, gamma_floor;
  };
  for (const Case& c : {Case{FitUse::euler, 1.0, false, false}, Case{FitUse::alignment, 1.0, false, false},
                        Case{FitUse::euler, 0.0, false, true}, Case{FitUse::alignment, 0.0, true, true}}) {
    SCOPED_TRACE(::testing::Message() << (c.use == FitUse::euler ? "euler" : "alignment") << " beta "
                                      << c.beta);
    FitSetup setup;
    setup.source = FitAxes{};
    setup.target = FitAxes{};
    setup.beta = c.beta;
    setup.use = c.use;
    struct Windows : FitObserver {
      std::vector<BestAngles> bests;
      std::vector<FitWindow> windows;
      std::vector<int> counters;
      void on_scan_end(int, int counter) override { counters.push_back(counter); }
      void on_window(const FitWindow& w, const BestAngles& b) override {
        windows.push_back(w);
        bests.push_back(b);
      }
    } rec;
    BestAngles best;
    best.alpha = 5.0;  // left over from an earlier fit; replaced by the first candidate
    grid_fit(setup, best, rec);
    ASSERT_EQ(rec.bests.size(), 10u);
    if (c.use == FitUse::euler && c.beta != 0.0) {
      EXPECT_EQ(rec.counters.front(), 1257 * 1257);
    }
    EXPECT_EQ(rec.bests[0].alpha, 0.0);
    EXPECT_EQ(rec.bests[0].gamma, 0.0);
    // The first value of a window that is accepted; the previous best when
    // the whole window lies below a floor.
    auto first = [](const FitWindow& w, double start, bool floor, double previous) {
      if (!floor) return start;
      double v = start;
      for (long i = 0; i < w.n; ++i, v += w.step)
        if (v >= 0.0) return v;
      return previous;
    };
    for (int k = 1; k < 10; ++k) {
      const FitWindow& w = rec.windows[k - 1];
      const bool any_alpha = first(w, w.alpha0, c.alpha_floor, -1.0) != -1.0;
      const bool any_gamma = first(w, w.gamma0, c.gamma_floor, -1.0) != -1.0;
      const bool kept = !any_alpha || !any_gamma;
      EXPECT_EQ(rec.bests[k].alpha, kept ? rec.bests[k - 1].alpha : first(w, w.alpha0, c.alpha_floor, 0.0))
          << "iteration " << k + 1;
      EXPECT_EQ(rec.bests[k].gamma, kept ? rec.bests[k - 1].gamma : first(w, w.gamma0, c.gamma_floor, 0.0))
          << "iteration " << k + 1;
    }
    const double wrap_alpha = c.use == FitUse::euler && rec.bests[9].alpha < 0.0 ? kTwoPi : 0.0;
    const double wrap_gamma = c.use == FitUse::euler && rec.bests[9].gamma < 0.0 ? kTwoPi : 0.0;
    EXPECT_EQ(best.alpha, rec.bests[9].alpha + wrap_alpha);
    EXPECT_EQ(best.gamma, rec.bests[9].gamma + wrap_gamma);
    // Without a floor each window's first point wins: about -0.0556 rad
    // after ten iterations.
    if (!c.alpha_floor) {
      EXPECT_LT(rec.bests[9].alpha, -0.0555);
    } else {
      EXPECT_GE(rec.bests[9].alpha, 0.0);
    }
  }
}

TEST(GridFit, TenIterationsWithTheRefinedGridSizes) {
  const FitAxes src = coordinate_axes();
  const FitAxes dst = rotate(reference_matrix(1.0, 0.8, 2.0), src);
  BestAngles best;
  Recorder rec;
  rec.keep_candidates = false;
  grid_fit(euler_setup(src, dst), best, rec);
  // n after each iteration k = lround((pi / (10 k)) / 0.001): iteration 2 to
  // 10 use 314, 157, 105, 79, 63, 52, 45, 39, 35; the window after 10 is
  // also built (35 again would be pi/100/0.001 = 31.4 -> 31).
  const long expected[10] = {314, 157, 105, 79, 63, 52, 45, 39, 35, 31};
  ASSERT_EQ(rec.windows.size(), 10u);
  double step = kFitStartStep;
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(rec.windows[k].iteration, k + 1);
    EXPECT_EQ(rec.windows[k].n, expected[k]) << "after iteration " << k + 1;
    step /= 10.0;
    EXPECT_EQ(rec.windows[k].step, step);
  }
  // Iteration 1 covers the whole turn: 1257 points of 0.005 rad.
  EXPECT_EQ(std::lround(kTwoPi / kFitStartStep), 1257);
  EXPECT_EQ(rec.scan_counters.size(), 10u);
}

TEST(GridFit, FirstIterationVisitsTheWholeTurnInScanOrder) {
  // With identical frames and beta = 0 only gamma = 0 is allowed, so the
  // first iteration's candidates run over alpha in ascending order from 0.
  // Record every candidate of iteration 1 of a generic fit instead: their
  // (gamma, alpha) pairs must be ascending, gamma outer.
  const FitAxes src = coordinate_axes();
  const FitAxes dst = rotate(reference_matrix(3.0, 1.3, 5.0), src);
  struct Order : FitObserver {
    int iteration = 1;
    std::vector<std::pair<double, double>> points;
    void on_candidate(const FitCandidate& c) override {
      if (iteration == 1) points.emplace_back(c.gamma, c.alpha);
    }
    void on_scan_end(int it, int) override { iteration = it + 1; }
  } rec;
  BestAngles best;
  grid_fit_plain(euler_setup(src, dst), best, rec);
  ASSERT_GE(rec.points.size(), 1u);
  for (size_t i = 1; i < rec.points.size(); ++i) EXPECT_LT(rec.points[i - 1], rec.points[i]);
  // Every candidate is a grid point: close to a multiple of 0.005 rad.
  for (auto [g, a] : rec.points) {
    EXPECT_NEAR(a / kFitStartStep, std::round(a / kFitStartStep), 1e-6);
    EXPECT_NEAR(g / kFitStartStep, std::round(g / kFitStartStep), 1e-6);
    EXPECT_LE(std::lround(a / kFitStartStep), 1256);
  }
}

TEST(GridFit, LeftHandedTargetHasNoCandidate) {
  const FitAxes src = coordinate_axes();
  FitAxes dst = rotate(reference_matrix(1.0, 0.8, 2.0), src);
  dst.z = {-dst.z.x, -dst.z.y, -dst.z.z};  // x, y, -z: a reflection, no rotation
  BestAngles best;
  Recorder rec;
  rec.keep_candidates = false;
  grid_fit(euler_setup(src, dst), best, rec);
  ASSERT_FALSE(rec.scan_counters.empty());
  EXPECT_EQ(rec.scan_counters.front(), 0);
}

TEST(GridFit, AlignmentFitBringsFrameOntoCoordinateAxes) {
  std::mt19937_64 rng(31);
  const FitAxes src = rotate(reference_matrix(random_angle(rng, 5, 355), random_angle(rng, 5, 175),
                                              random_angle(rng, 5, 355)),
                             coordinate_axes());
  FitSetup setup = euler_setup(src, coordinate_axes());
  setup.use = FitUse::alignment;
  BestAngles best;
  best.alpha = 9.0;  // the alignment fit starts from zero, not from old values
  Recorder rec;
  rec.keep_candidates = false;
  const int counter = grid_fit(setup, best, rec);
  EXPECT_GT(counter, 0);
  expect_fit_reproduces(src, coordinate_axes(), best);
}

}  // namespace
}  // namespace kavor
