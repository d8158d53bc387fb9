// Internal to the grid fits: the state of one fit and the evaluation of one
// grid point, shared by the plain and the fast scan so that both run exactly
// the same arithmetic on every point they evaluate.
#pragma once

#include <cmath>

#include "core/euler.hpp"

namespace kavor {

// Cosine and sine of a grid angle (radians). Both scans take every grid value's
// sine and cosine, and beta's, from this one out-of-line function, so their
// bits cannot depend on whether the compiler turns a cos/sin pair into one
// sincos call at some call site and not at another.
void grid_cos_sin(double angle, double& c, double& s);

struct FitRun {
  FitRun(const FitSetup& fit_setup, BestAngles& best_angles) : setup(fit_setup), best(best_angles) {
    grid_cos_sin(setup.beta, cb, sb);
    beta_deg = search_degrees(setup.beta);
    // Near beta 0 only alpha + gamma matters, near beta 180 only alpha -
    // gamma: there alpha alone can take the whole turn, and gamma keeps its
    // floor at 0 (at beta 0 the analyzer's gate holds it within half a
    // degree of 0). The alignment fit keeps alpha's floor at beta 0 as well:
    // its passes after the first run there and stay as they were.
    alpha_floor = beta_deg == 0 && setup.use == FitUse::alignment;
    gamma_floor = beta_deg == 0 || beta_deg == 180;
    if (setup.use == FitUse::alignment) {
      counter = 0;
      best.alpha = best.beta = best.gamma = 0.0;
    }
  }

  const FitSetup& setup;
  BestAngles& best;
  double cb = 0.0, sb = 0.0;  // of the fixed beta
  long beta_deg = 0;
  // Whether trial values of alpha, gamma below 0 are refused (gated()),
  // from whole degrees of beta.
  bool alpha_floor = false, gamma_floor = false;

  double step = kFitStartStep;
  double tolerance = kFitStartStep;
  long n = std::lround(kTwoPi / kFitStartStep);  // 1257
  double alpha0 = 0.0;
  double gamma0 = 0.0;
  int counter = 0;
  double parametro_diferencas = 1.0;

  void begin_iteration() {
    parametro_diferencas = 1.0;
    if (setup.use == FitUse::euler) counter = 0;
  }

  // Clamped cosine and sine of the angle between a rotated axis and its target.
  static void pair_angle(const Vec3& v, const Vec3& t, double& c, double& s) {
    c = dot(v, t);
    if (c > 1.0) c = 1.0;
    if (c < -1.0) c = -1.0;
    const Vec3 k = cross(v, t);
    s = std::sqrt(k.x * k.x + k.y * k.y + k.z * k.z);
    if (s > 1.0) s = 1.0;
  }

  // True when a grid point with score 90 is still refused by a gate.
  bool gated(double alpha, double gamma) const {
    if (beta_deg != 0) return refused_below_zero(alpha, gamma);
    return gated_whole(alpha, gamma, search_degrees(alpha), search_degrees(gamma));
  }
  // The same, with the whole degrees of alpha and gamma already at hand
  // (they matter only when beta rounds to 0 degrees).
  bool gated_whole(double alpha, double gamma, long alpha_deg, long gamma_deg) const {
    if (beta_deg == 0) {
      if (setup.mode == Mode::builder) {
        if (alpha_deg + gamma_deg >= 360) return true;
      } else {
        if (gamma_deg > 0) return true;
        if (setup.use == FitUse::alignment && alpha_deg + gamma_deg >= 360) return true;
      }
    }
    return refused_below_zero(alpha, gamma);
  }
  // Alpha and gamma are periodic: a trial value below 0 is the rotation it
  // is, so that a refined window reaching below 0 can follow an answer just
  // short of a full turn. Only an angle with a floor (constructor) refuses
  // values below 0.
  bool refused_below_zero(double alpha, double gamma) const {
    return (alpha < 0.0 && alpha_floor) || (gamma < 0.0 && gamma_floor);
  }

  // The Euler search hands back alpha and gamma in [0, 2 pi) (or slightly
  // above a full turn, see the final values): a best angle below 0 is
  // carried through the iterations as it is and moved up one full turn
  // here. The alignment fit's angles only build its rotation matrix.
  void finish() {
    if (setup.use != FitUse::euler) return;
    if (best.alpha < 0.0) best.alpha += kTwoPi;
    if (best.gamma < 0.0) best.gamma += kTwoPi;
  }

  void evaluate(double alpha, double ca, double sa, double gamma, double cg, double sg,
                FitObserver& observer) {
    const Mat3 m = euler_matrix_from(ca, sa, cb, sb, cg, sg);
    const Vec3 p = mul(m, setup.source.z);
    const Vec3 q = mul(m, setup.source.x);
    const Vec3 s = mul(m, setup.source.y);
    const Vec3& tz = setup.target.z;
    const Vec3& tx = setup.target.x;
    const Vec3& ty = setup.target.y;
    int verificador = 0;
    if (std::fabs(p.x - tz.x) < tolerance) verificador += 10;
    if (std::fabs(p.y - tz.y) < tolerance) verificador += 10;
    if (std::fabs(p.z - tz.z) < tolerance) verificador += 10;
    if (std::fabs(q.x - tx.x) < tolerance) verificador += 10;
    if (std::fabs(q.y - tx.y) < tolerance) verificador += 10;
    if (std::fabs(q.z - tx.z) < tolerance) verificador += 10;
    if (std::fabs(s.x - ty.x) < tolerance) verificador += 10;
    if (std::fabs(s.y - ty.y) < tolerance) verificador += 10;
    if (std::fabs(s.z - ty.z) < tolerance) verificador += 10;
    if (verificador != 90) return;
    scored_90(alpha, gamma, p, q, s, observer);
  }

  // The rest of evaluate for a point whose nine components (p = M.Z,
  // q = M.X, s = M.Y, computed as above) all lie within the tolerance.
  void scored_90(double alpha, double gamma, const Vec3& p, const Vec3& q, const Vec3& s,
                 FitObserver& observer) {
    if (gated(alpha, gamma)) return;
    candidate(alpha, gamma, p, q, s, observer);
  }

  void candidate(double alpha, double gamma, const Vec3& p, const Vec3& q, const Vec3& s,
                 FitObserver& observer) {
    if (setup.use == FitUse::euler) ++counter;
    if (!observer.wants_candidates()) {
      quiet_candidate(alpha, gamma, p, q, s);
      return;
    }
    FitCandidate c{};
    double sin_z, sin_x, sin_y;
    pair_angle(p, setup.target.z, c.cos_z, sin_z);
    pair_angle(q, setup.target.x, c.cos_x, sin_x);
    pair_angle(s, setup.target.y, c.cos_y, sin_y);
    c.alpha = alpha;
    c.beta = setup.beta;
    c.gamma = gamma;
    c.dz = std::atan2(sin_z, c.cos_z) * 180.0 / kPi;
    c.dx = std::atan2(sin_x, c.cos_x) * 180.0 / kPi;
    c.dy = std::atan2(sin_y, c.cos_y) * 180.0 / kPi;
    c.soma_diferencas = c.dz + c.dx + c.dy;
    c.parametro_before = parametro_diferencas;
    c.verificador = 90;
    observer.on_candidate(c);
    if (parametro_diferencas > c.soma_diferencas)
      improve(alpha, gamma, c.dz, c.dx, c.dy, c.soma_diferencas);
  }

  // The same decision for an observer that keeps no candidate. Each axis
  // angle lies in [0, 180] (its sine is not negative), or is NaN, and adding
  // a value that is not negative never lowers a sum: once the angles so far
  // reach the best sum, the whole sum does too and the point cannot win. The
  // sum is formed in the same order, (dz + dx) + dy, so a point that wins
  // wins with the same bits. Before any atan2, the sum of the three angles'
  // floors (angle_floor) is held against the best sum: rounding is
  // monotonic, so that sum formed in the same order is not above the real
  // one, and a point whose floors already reach the best sum cannot win.
  void quiet_candidate(double alpha, double gamma, const Vec3& p, const Vec3& q, const Vec3& s) {
    double cos_z, sin_z, cos_x, sin_x, cos_y, sin_y;
    pair_angle(p, setup.target.z, cos_z, sin_z);
    pair_angle(q, setup.target.x, cos_x, sin_x);
    pair_angle(s, setup.target.y, cos_y, sin_y);
    if (angle_floor(sin_z) + angle_floor(sin_x) + angle_floor(sin_y) >= parametro_diferencas)
      return;
    const double dz = std::atan2(sin_z, cos_z) * 180.0 / kPi;
    if (dz >= parametro_diferencas) return;
    const double dx = std::atan2(sin_x, cos_x) * 180.0 / kPi;
    const double dz_dx = dz + dx;
    if (dz_dx >= parametro_diferencas) return;
    const double dy = std::atan2(sin_y, cos_y) * 180.0 / kPi;
    const double soma = dz_dx + dy;
    if (parametro_diferencas > soma) improve(alpha, gamma, dz, dx, dy, soma);
  }

  // A value not above atan2(sine, cosine) x 180.0 / pi as computed, for a
  // sine in [0, 1] (pair_angle's) and any cosine in [-1, 1]: the angle is at
  // least atan(sine) (the cosine is at most 1, or the angle is at least 90
  // degrees), and atan(x) >= x - x^3 / 3 for x in [0, 1]. The factor
  // 1 - 1e-13 covers the rounding of this expression and of the angle's own
  // (atan2 within a few ulps, the product and the quotient) hundreds of
  // times over. NaN stays NaN, and a NaN sum never ends a point early.
  static double angle_floor(double sine) {
    return sine * (1.0 - sine * sine / 3.0) * (kDegPerRad * (1.0 - 1e-13));
  }

  void improve(double alpha, double gamma, double dz, double dx, double dy, double soma) {
    best.alpha = alpha;
    best.beta = setup.beta;
    best.gamma = gamma;
    parametro_diferencas = soma;
    best.best_z1 = dz;
    best.best_x1 = dx;
    best.best_y1 = dy;
    if (setup.use == FitUse::alignment) ++counter;
  }

  void end_iteration(int iteration, FitObserver& observer) {
    observer.on_scan_end(iteration, counter);
    const double step_k = step;
    alpha0 = best.alpha - 10 * step_k;
    gamma0 = best.gamma - 10 * step_k;
    step = step_k / 10.0;
    tolerance = tolerance / 10.0;
    n = std::lround((kPi / (10 * iteration)) / kFitRefineUnit);
    observer.on_window(FitWindow{iteration, alpha0, gamma0, setup.beta, step, n}, best);
  }
};

}  // namespace kavor
