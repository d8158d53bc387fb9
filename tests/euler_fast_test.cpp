// The fast grid fit against the plain scan: every observer event, the
// counters and the best angles must agree bit for bit, on random frames that
// stress the bound (beta at 0 and 180 degrees, angles at 0 and 2 pi, axes
// that are not exactly unit or orthogonal, frames with no candidate at all)
// and on whole program runs over the examples.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "core/euler.hpp"
#include "core/euler_scan.hpp"
#include "test_util.hpp"

namespace kavor {
namespace {

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// Every call the fit makes to its observer, in order.
struct Event {
  enum Kind { candidate, scan_end, window } kind;
  FitCandidate c{};
  int iteration = 0;
  int counter = 0;
  std::uint64_t hash = 0;  // candidates so far, in digest mode
  FitWindow w{};
  BestAngles best{};
};

std::vector<std::uint64_t> candidate_bits(const FitCandidate& c);

// Keeps every event; or, for fits with millions of candidates, folds the
// candidates of each iteration into a hash stored with its scan_end event.
// With `quiet` it asks for no candidate, as the programs' fits do without a
// report.
struct EventLog : FitObserver {
  explicit EventLog(bool fold = false) : digest_only(fold) {}
  bool digest_only;
  bool quiet = false;
  bool wants_candidates() const override { return !quiet; }
  std::vector<Event> events;
  long candidates = 0;
  std::uint64_t digest = 14695981039346656037ull;
  void on_candidate(const FitCandidate& c) override {
    ++candidates;
    if (digest_only) {
      for (std::uint64_t word : candidate_bits(c)) digest = (digest ^ word) * 1099511628211ull;
      return;
    }
    Event e{Event::candidate};
    e.c = c;
    events.push_back(e);
  }
  void on_scan_end(int iteration, int counter) override {
    Event e{Event::scan_end};
    e.iteration = iteration;
    e.counter = counter;
    e.hash = digest;
    events.push_back(e);
  }
  void on_window(const FitWindow& w, const BestAngles& best) override {
    Event e{Event::window};
    e.w = w;
    e.best = best;
    events.push_back(e);
  }
};

std::vector<std::uint64_t> candidate_bits(const FitCandidate& c) {
  return {bits(c.alpha), bits(c.beta), bits(c.gamma), bits(c.cos_z), bits(c.cos_x),
          bits(c.cos_y), bits(c.dz), bits(c.dx), bits(c.dy), bits(c.soma_diferencas),
          bits(c.parametro_before), static_cast<std::uint64_t>(c.verificador)};
}

std::vector<std::uint64_t> best_bits(const BestAngles& b) {
  return {bits(b.alpha), bits(b.beta), bits(b.gamma), bits(b.best_z1), bits(b.best_x1),
          bits(b.best_y1)};
}

std::vector<std::uint64_t> window_bits(const FitWindow& w) {
  return {static_cast<std::uint64_t>(w.iteration), bits(w.alpha0), bits(w.gamma0), bits(w.beta),
          bits(w.step), static_cast<std::uint64_t>(w.n)};
}

// Restores the fast scan however a test ends.
struct PlainScan {
  explicit PlainScan(bool on) { use_plain_grid_fit(on); }
  ~PlainScan() { use_plain_grid_fit(false); }
};

struct FitOutcome {
  int counter = 0;
  BestAngles best;
  EventLog log;
};

FitOutcome run_fit(const FitSetup& setup, bool plain, bool digest, bool quiet = false) {
  PlainScan scan(plain);
  FitOutcome out;
  out.log.digest_only = digest;
  out.log.quiet = quiet;
  // Leftover values from an earlier fit: the Euler search keeps them until
  // its first best, so they must come through unchanged too.
  out.best.alpha = 0.25;
  out.best.gamma = 0.5;
  out.best.best_z1 = 7.0;
  out.counter = grid_fit(setup, out.best, out.log);
  return out;
}

void compare_events(const std::vector<Event>& plain_events, const std::vector<Event>& fast_events);

// Runs both scans and compares everything; returns the number of candidates.
// `below_zero` counts the iterations that ended on a best alpha or gamma
// below 0 (the Euler search carries such angles until the end).
long expect_same_fit(const FitSetup& setup, const std::string& label, bool digest = false,
                     long* below_zero = nullptr) {
  SCOPED_TRACE(label);
  const FitOutcome plain = run_fit(setup, true, digest);
  const FitOutcome fast = run_fit(setup, false, digest);
  EXPECT_EQ(plain.log.candidates, fast.log.candidates);
  EXPECT_EQ(plain.counter, fast.counter);
  EXPECT_EQ(best_bits(plain.best), best_bits(fast.best));
  compare_events(plain.log.events, fast.log.events);
  // Without a report the same best, counters and windows.
  const FitOutcome quiet = run_fit(setup, false, digest, true);
  EXPECT_EQ(plain.counter, quiet.counter);
  EXPECT_EQ(best_bits(plain.best), best_bits(quiet.best));
  std::vector<Event> plain_windows;
  for (const Event& e : plain.log.events)
    if (e.kind == Event::window) plain_windows.push_back(e);
  std::vector<Event> quiet_windows;
  for (const Event& e : quiet.log.events)
    if (e.kind == Event::window) quiet_windows.push_back(e);
  compare_events(plain_windows, quiet_windows);
  if (below_zero != nullptr)
    for (const Event& e : plain.log.events)
      if (e.kind == Event::window && (e.best.alpha < 0.0 || e.best.gamma < 0.0)) ++*below_zero;
  return plain.log.candidates;
}

void compare_events(const std::vector<Event>& plain_events, const std::vector<Event>& fast_events) {
  EXPECT_EQ(plain_events.size(), fast_events.size());
  const size_t n = std::min(plain_events.size(), fast_events.size());
  for (size_t k = 0; k < n; ++k) {
    const Event& p = plain_events[k];
    const Event& f = fast_events[k];
    ASSERT_EQ(p.kind, f.kind) << "event " << k;
    switch (p.kind) {
      case Event::candidate:
        ASSERT_EQ(candidate_bits(p.c), candidate_bits(f.c)) << "event " << k;
        break;
      case Event::scan_end:
        ASSERT_EQ(p.iteration, f.iteration) << "event " << k;
        ASSERT_EQ(p.counter, f.counter) << "event " << k;
        ASSERT_EQ(p.hash, f.hash) << "event " << k;
        break;
      case Event::window:
        ASSERT_EQ(window_bits(p.w), window_bits(f.w)) << "event " << k;
        ASSERT_EQ(best_bits(p.best), best_bits(f.best)) << "event " << k;
        break;
    }
  }
}

constexpr double kPiTest = 3.14159265358979323846;
constexpr double kDeg = kPiTest / 180.0;

FitAxes apply(const Mat3& m, const FitAxes& f) { return {mul(m, f.x), mul(m, f.y), mul(m, f.z)}; }
FitAxes coordinate_axes() { return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; }

double axis_angle(const Vec3& a, const Vec3& b) {
  const Vec3 c = cross(a, b);
  const double la = std::sqrt(dot(a, a)), lb = std::sqrt(dot(b, b));
  return std::atan2(std::sqrt(dot(c, c)) / (la * lb), dot(a, b) / (la * lb));
}

// One fit as the programs set it up. Euler use: molecule 2's axes along the
// coordinate axes up to `residue` (what the alignment leaves), molecule 1's
// axes M(alpha, beta, gamma) applied to them, beta measured between z and Z.
// Alignment use: the frame whose M(alpha, beta, gamma) carries it onto the
// coordinate axes, beta measured between Z and e3.
FitSetup make_setup(FitUse use, Mode mode, double alpha, double beta, double gamma,
                  const Mat3& residue) {
  FitSetup setup;
  setup.use = use;
  setup.mode = mode;
  const Mat3 m = euler_matrix(alpha, beta, gamma);
  if (use == FitUse::euler) {
    setup.source = apply(residue, coordinate_axes());
    setup.target = apply(m, setup.source);
    setup.beta = axis_angle(setup.target.z, setup.source.z);
  } else {
    setup.source = apply(residue, apply(transpose(m), coordinate_axes()));
    setup.target = coordinate_axes();
    setup.beta = axis_angle(setup.source.z, setup.target.z);
  }
  return setup;
}

struct Cycle {
  FitUse use;
  Mode mode;
};
// Every pair goes through both uses and both modes in turn.
Cycle cycle(int k) {
  return {k % 2 == 0 ? FitUse::euler : FitUse::alignment,
          (k / 2) % 2 == 0 ? Mode::analyzer : Mode::builder};
}

Mat3 small_rotation(std::mt19937_64& rng, double size) {
  std::uniform_real_distribution<double> u(-size, size);
  return euler_matrix(u(rng), u(rng), u(rng));
}

std::string label(int k, double a, double b, double g) {
  return "pair " + std::to_string(k) + " alpha " + std::to_string(a / kDeg) + " beta " +
         std::to_string(b / kDeg) + " gamma " + std::to_string(g / kDeg);
}

constexpr int kPairs = 32;  // per test; about a second in a normal build

TEST(FastGridFit, MatchesPlainScanOnGenericFrames) {
  std::mt19937_64 rng(101);
  std::uniform_real_distribution<double> turn(0, 2 * kPiTest), half(0, kPiTest);
  long candidates = 0;
  for (int k = 0; k < kPairs; ++k) {
    const double a = turn(rng), b = half(rng), g = turn(rng);
    const Cycle c = cycle(k);
    const Mat3 residue = k % 3 == 0 ? euler_matrix(0, 0, 0) : small_rotation(rng, 1e-4);
    candidates += expect_same_fit(make_setup(c.use, c.mode, a, b, g, residue), label(k, a, b, g));
  }
  EXPECT_GT(candidates, kPairs);  // the comparison covered real candidates
}

TEST(FastGridFit, MatchesPlainScanWithBetaAtZero) {
  // Within half a degree the beta-zero gates apply; for beta = 0 exactly the
  // candidates lie on the whole diagonal alpha + gamma = const.
  std::mt19937_64 rng(202);
  std::uniform_real_distribution<double> turn(0, 2 * kPiTest), small(-0.5 * kDeg, 0.5 * kDeg);
  long candidates = 0;
  for (int k = 0; k < kPairs; ++k) {
    const double a = turn(rng), g = turn(rng);
    // Uses and modes in turn (k % 4), exact zero on every other round.
    const double b = (k / 4) % 2 == 0 ? 0.0 : std::fabs(small(rng));
    const Cycle c = cycle(k);
    const Mat3 residue = b == 0.0 ? euler_matrix(0, 0, 0) : small_rotation(rng, 1e-5);
    const FitSetup setup = make_setup(c.use, c.mode, a, b, g, residue);
    if (b == 0.0) {
      ASSERT_EQ(setup.beta, 0.0);
    }
    candidates += expect_same_fit(setup, label(k, a, b, g));
  }
  EXPECT_GT(candidates, 10 * kPairs);
}

TEST(FastGridFit, MatchesPlainScanWithBetaAt180Degrees) {
  // Near beta = pi only alpha - gamma matters: long bands of candidates.
  std::mt19937_64 rng(303);
  std::uniform_real_distribution<double> turn(0, 2 * kPiTest), small(0, 0.6 * kDeg);
  long candidates = 0;
  for (int k = 0; k < kPairs; ++k) {
    const double a = turn(rng), g = turn(rng);
    const double b = k % 5 == 0 ? kPiTest : kPiTest - small(rng);
    const Cycle c = cycle(k);
    candidates += expect_same_fit(make_setup(c.use, c.mode, a, b, g, small_rotation(rng, 1e-5)),
                                  label(k, a, b, g));
  }
  EXPECT_GT(candidates, 10 * kPairs);
}

TEST(FastGridFit, MatchesPlainScanWithAnglesAtZeroAndFullTurn) {
  // True alpha and gamma within a few first-iteration steps of 0 or 2 pi:
  // refined windows start below 0 or pass 2 pi. Below 0 the alignment fit
  // refuses every point, the Euler search takes the angles as they are
  // (gamma excepted at beta 0), and its best may stay there.
  std::mt19937_64 rng(404);
  std::uniform_real_distribution<double> near(-4 * kFitStartStep, 4 * kFitStartStep),
      half(0.02, kPiTest - 0.02), side(0, 1);
  long candidates = 0, below_zero = 0;
  for (int k = 0; k < kPairs; ++k) {
    double a = near(rng), g = near(rng);
    if (side(rng) < 0.5) a += 2 * kPiTest;
    if (side(rng) < 0.5) g += 2 * kPiTest;
    // Beta rounding to 0 in both uses and both modes of the Euler search.
    const bool flat = k % 8 == 3 || k % 8 == 4 || k % 8 == 6;
    const double b = flat ? 0.2 * kDeg : half(rng);
    const Cycle c = cycle(k);
    candidates += expect_same_fit(make_setup(c.use, c.mode, a, b, g, small_rotation(rng, 1e-5)),
                                  label(k, a, b, g), false, &below_zero);
  }
  EXPECT_GT(candidates, kPairs);
  EXPECT_GT(below_zero, kPairs / 4);  // the comparison covered bests below 0
}

TEST(FastGridFit, MatchesPlainScanOnImperfectAndLeftHandedAxes) {
  // Axes as eigenvector solvers return them: lengths and right angles off in
  // the last digits or (for the margin) by up to 1e-3; and every fourth pair
  // a left-handed target, which no rotation reaches.
  std::mt19937_64 rng(505);
  std::uniform_real_distribution<double> turn(0, 2 * kPiTest), half(0, kPiTest),
      jitter(-1.0, 1.0);
  long candidates = 0, left_handed_candidates = 0;
  for (int k = 0; k < kPairs; ++k) {
    const double a = turn(rng), b = half(rng), g = turn(rng);
    const Cycle c = cycle(k);
    FitSetup setup = make_setup(c.use, c.mode, a, b, g, small_rotation(rng, 1e-4));
    const double size = k % 2 == 0 ? 1e-15 : 1e-3;
    for (Vec3* v : {&setup.source.x, &setup.source.y, &setup.source.z, &setup.target.x,
                    &setup.target.y, &setup.target.z}) {
      v->x *= 1 + size * jitter(rng);
      v->y += size * jitter(rng);
      v->z -= size * jitter(rng);
    }
    const bool left = k % 4 == 3;
    if (left) setup.target.x = {-setup.target.x.x, -setup.target.x.y, -setup.target.x.z};
    const long found = expect_same_fit(setup, label(k, a, b, g));
    (left ? left_handed_candidates : candidates) += found;
  }
  EXPECT_GT(candidates, kPairs / 2);
  EXPECT_EQ(left_handed_candidates, 0);
}

// Molecule 2's X axis stretched to `size` along (1, 1, 0), Y and Z unit; the
// targets are these axes turned by the first-iteration grid point of index
// (157, 600) at beta 1 rad, computed as the fit computes it. That point is a
// candidate (whose differences overflow: it never becomes the best); every
// other point misses the stretched axis by far.
FitSetup stretched_setup(double size) {
  double alpha = 0.0, gamma = 0.0;
  for (int k = 0; k < 157; ++k) alpha += kFitStartStep;
  for (int k = 0; k < 600; ++k) gamma += kFitStartStep;
  FitSetup setup;
  setup.beta = 1.0;
  const double h = std::sqrt(0.5);
  setup.source = {{size, size, 0.0}, {-h, h, 0.0}, {0.0, 0.0, 1.0}};
  double ca, sa, cb, sb, cg, sg;
  grid_cos_sin(alpha, ca, sa);
  grid_cos_sin(setup.beta, cb, sb);
  grid_cos_sin(gamma, cg, sg);
  setup.target = apply(euler_matrix_from(ca, sa, cb, sb, cg, sg), setup.source);
  return setup;
}

TEST(FastGridFit, MatchesPlainScanForIdenticalAndDegenerateFrames) {
  // Identical frames (beta 0, best at the origin, window below 0 from the
  // second iteration on), zero axes (every point a candidate: the bound is
  // zero and nothing may be skipped), axes that are not finite and huge axes.
  const FitAxes axes = apply(euler_matrix(0.7, 1.2, 2.9), coordinate_axes());
  for (const Cycle c : {cycle(0), cycle(1), cycle(2), cycle(3)}) {
    FitSetup same;
    same.source = same.target = c.use == FitUse::euler ? axes : coordinate_axes();
    same.beta = 0.0;
    same.use = c.use;
    same.mode = c.mode;
    EXPECT_GT(expect_same_fit(same, "identical frames"), 0);
  }
  FitSetup zero;
  zero.beta = 1.0;
  // Beta of 57 degrees: no beta-zero gate, and every first-iteration value
  // is >= 0, so all 1257 x 1257 points are candidates there.
  EXPECT_GT(expect_same_fit(zero, "zero axes", true), 1257L * 1257L);
  FitSetup nan = make_setup(FitUse::euler, Mode::analyzer, 1.0, 1.0, 1.0, euler_matrix(0, 0, 0));
  nan.source.y.z = std::nan("");
  EXPECT_EQ(expect_same_fit(nan, "not a number"), 0);
  // Axes far longer than unit ones (reachable only through the fit's own
  // interface): from about 1e154 on the block bounds overflow, and near
  // 1e308 the differences at block centres do too.
  for (const double size : {1e300, 1e308}) {
    char name[32];
    std::snprintf(name, sizeof name, "axis of %g", size);
    EXPECT_GT(expect_same_fit(stretched_setup(size), name), 0);
  }
}

// Fits placed on the edges of the regions the fast scan narrows the grid
// to: true angles near the gates (beta near 0 and 180 degrees, alpha and gamma
// near 0 and a full turn, gamma near the half degree of the beta-zero gate),
// betas where the bounds on alpha and gamma are wide or give way to the band
// of alpha + gamma, axes too far from orthonormal for the bounds, and
// targets whose components sit exactly at, or one ulp inside, the tolerance
// of a first-iteration grid point.
struct EdgeCase {
  const char* name;
  FitUse use;
  Mode mode;
  double alpha_deg, beta_deg, gamma_deg;
  double residue;        // size of the alignment residue (radians)
  double stretch = 0.0;  // added to molecule 2's X axis along y: not orthonormal
  double beta_shift_deg = 0.0;  // the fit's beta off the rotation's, as passes leave it
};

// The grid point (i, g) of the first iteration at beta 1 rad, targets as the
// fit computes them, then target component `c` of axis z moved by `shift`.
FitSetup tolerance_edge_setup(int i, int g, int c, double shift) {
  double alpha = 0.0, gamma = 0.0;
  for (int k = 0; k < i; ++k) alpha += kFitStartStep;
  for (int k = 0; k < g; ++k) gamma += kFitStartStep;
  FitSetup setup;
  setup.beta = 1.0;
  setup.source = apply(euler_matrix(0.3, 0.2, 0.1), coordinate_axes());
  double ca, sa, cb, sb, cg, sg;
  grid_cos_sin(alpha, ca, sa);
  grid_cos_sin(setup.beta, cb, sb);
  grid_cos_sin(gamma, cg, sg);
  setup.target = apply(euler_matrix_from(ca, sa, cb, sb, cg, sg), setup.source);
  double* t[3] = {&setup.target.z.x, &setup.target.z.y, &setup.target.z.z};
  *t[c] += shift;
  return setup;
}

void PrintTo(const EdgeCase& e, std::ostream* os) { *os << e.name; }

class EdgeFit : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(EdgeFit, MatchesPlainScan) {
  const EdgeCase& e = GetParam();
  std::mt19937_64 rng(std::hash<std::string>{}(e.name));
  FitSetup setup = make_setup(e.use, e.mode, e.alpha_deg * kDeg, e.beta_deg * kDeg, e.gamma_deg * kDeg,
                              e.residue > 0.0 ? small_rotation(rng, e.residue) : euler_matrix(0, 0, 0));
  setup.source.x.y += e.stretch;
  setup.beta += e.beta_shift_deg * kDeg;
  expect_same_fit(setup, e.name);
}

const EdgeCase kEdgeCases[] = {
    {"beta_0_exactly_alpha_near_full_turn", FitUse::alignment, Mode::analyzer, 359.9, 0.0, 0.0,
     0.0},
    {"beta_1e_7_deg_euler", FitUse::euler, Mode::analyzer, 123.4, 1e-7, 0.01, 1e-9},
    {"beta_just_below_half_degree", FitUse::alignment, Mode::analyzer, 10.0, 0.4999, 0.2, 1e-6},
    {"beta_just_above_half_degree", FitUse::euler, Mode::analyzer, 10.0, 0.5001, 0.2, 1e-6},
    {"beta_2_deg_wide_box", FitUse::euler, Mode::analyzer, 200.0, 2.0, 100.0, 1e-5},
    {"beta_0_gamma_near_half_degree", FitUse::euler, Mode::analyzer, 40.0, 1e-4, 0.49, 1e-7},
    {"beta_0_builder_diagonal", FitUse::alignment, Mode::builder, 300.0, 0.0, 50.0, 0.0},
    {"beta_179_6", FitUse::euler, Mode::analyzer, 33.0, 179.6, 250.0, 1e-6},
    {"beta_180_exactly", FitUse::alignment, Mode::builder, 120.0, 180.0, 0.0, 0.0},
    {"beta_179_4", FitUse::euler, Mode::builder, 5.0, 179.4, 355.0, 1e-6},
    {"alpha_gamma_just_above_0", FitUse::euler, Mode::analyzer, 0.01, 70.0, 0.02, 1e-6},
    {"alpha_gamma_just_below_full_turn", FitUse::euler, Mode::analyzer, 359.99, 110.0, 359.98,
     1e-6},
    {"alpha_below_0_gamma_above_0", FitUse::alignment, Mode::analyzer, -0.2, 45.0, 0.2, 1e-6},
    {"alpha_half_step_below_full_turn", FitUse::euler, Mode::builder, 360.0 - 0.143, 90.0, 180.0,
     0.0},
    {"gamma_on_first_grid_value", FitUse::alignment, Mode::builder, 180.0, 135.0,
     0.2864788975654116, 0.0},
    {"axes_stretched_past_the_bounds", FitUse::euler, Mode::analyzer, 80.0, 60.0, 30.0, 1e-6, 0.8},
    {"axes_stretched_slightly", FitUse::alignment, Mode::analyzer, 80.0, 60.0, 30.0, 1e-6, 0.3},
    {"beta_off_by_3e_5_deg", FitUse::euler, Mode::analyzer, 80.0, 60.0, 30.0, 1e-6, 0.0, 3e-5},
    {"beta_off_by_1e_7_deg", FitUse::euler, Mode::analyzer, 300.0, 20.0, 200.0, 0.0, 0.0, -1e-7},
};

INSTANTIATE_TEST_SUITE_P(FastGridFit, EdgeFit, ::testing::ValuesIn(kEdgeCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(FastGridFit, MatchesPlainScanAtTheToleranceEdge) {
  // At the tolerance exactly the point is no candidate; one ulp inside it is.
  long candidates = 0;
  for (int c = 0; c < 3; ++c)
    for (const double shift : {kFitStartStep, std::nextafter(kFitStartStep, 0.0), -kFitStartStep,
                               -std::nextafter(kFitStartStep, 0.0)})
      candidates += expect_same_fit(tolerance_edge_setup(157, 600, c, shift),
                                    "component " + std::to_string(c) + " shift " + std::to_string(shift));
  EXPECT_GT(candidates, 0);
}

// Whole program runs with either scan: every file and every console line
// must be the same byte for byte.
struct ProgramRun {
  testing::RunResult result;
  std::vector<std::string> names;
  std::vector<std::string> contents;
};

ProgramRun run_program(bool builder, const std::string& example, bool plain) {
  const std::string input = builder ? "UD-input-GEOMETRY.xyz" : "input-GEOMETRY.xyz";
  testing::ScratchDir dir;
  std::filesystem::copy_file(testing::example(example, input), dir / input);
  PlainScan scan(plain);
  ProgramRun run;
  run.result = builder ? testing::run_ud_kavor(dir.path()) : testing::run_kavor(dir.path());
  run.names = dir.files();
  for (const std::string& name : run.names) run.contents.push_back(testing::read_file(dir / name));
  return run;
}

void expect_same_program_run(bool builder, const std::string& example) {
  const ProgramRun plain = run_program(builder, example, true);
  const ProgramRun fast = run_program(builder, example, false);
  EXPECT_EQ(plain.result.status, fast.result.status);
  EXPECT_EQ(plain.result.out, fast.result.out);
  EXPECT_EQ(plain.result.err, fast.result.err);
  ASSERT_EQ(plain.names, fast.names);
  EXPECT_GT(plain.names.size(), 1u);  // the input and at least the report
  for (size_t k = 0; k < plain.names.size(); ++k)
    EXPECT_TRUE(plain.contents[k] == fast.contents[k]) << plain.names[k] << " differs";
}

std::vector<std::string> examples_with(const std::string& input) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(EXAMPLES_DIR))
    if (std::filesystem::exists(entry.path() / input)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class AnalyzerExample : public ::testing::TestWithParam<std::string> {};
TEST_P(AnalyzerExample, SameFilesWithPlainAndFastScan) { expect_same_program_run(false, GetParam()); }
INSTANTIATE_TEST_SUITE_P(FastGridFit, AnalyzerExample,
                         ::testing::ValuesIn(examples_with("input-GEOMETRY.xyz")),
                         [](const auto& test) {
                           std::string name = test.param;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

class BuilderExample : public ::testing::TestWithParam<std::string> {};
TEST_P(BuilderExample, SameFilesWithPlainAndFastScan) { expect_same_program_run(true, GetParam()); }
INSTANTIATE_TEST_SUITE_P(FastGridFit, BuilderExample,
                         ::testing::ValuesIn(examples_with("UD-input-GEOMETRY.xyz")),
                         [](const auto& test) {
                           std::string name = test.param;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

TEST(FastGridFit, EveryExampleFolderIsCompared) {
  EXPECT_GE(examples_with("input-GEOMETRY.xyz").size(), 10u);
  EXPECT_GE(examples_with("UD-input-GEOMETRY.xyz").size(), 1u);
}

}  // namespace
}  // namespace kavor
