#include "core/euler.hpp"

#include <cmath>
#include <vector>

#include "core/euler_scan.hpp"

namespace kavor {

Mat3 euler_matrix(double alpha, double beta, double gamma) {
  return euler_matrix_from(std::cos(alpha), std::sin(alpha), std::cos(beta), std::sin(beta),
                           std::cos(gamma), std::sin(gamma));
}

[[gnu::noinline]] void grid_cos_sin(double angle, double& c, double& s) {
  c = std::cos(angle);
  s = std::sin(angle);
}

int grid_fit_plain(const FitSetup& setup, BestAngles& best, FitObserver& observer) {
  FitRun run(setup, best);
  std::vector<double> ca, sa;
  for (int iteration = 1; iteration <= kFitIterations; ++iteration) {
    run.begin_iteration();
    // Alpha restarts at alpha0 for every gamma, so its values (built by
    // repeated addition) and their sines and cosines are the same each row.
    ca.resize(run.n);
    sa.resize(run.n);
    std::vector<double> alphas(run.n);
    double alpha = run.alpha0;
    for (long i = 0; i < run.n; ++i) {
      alphas[i] = alpha;
      grid_cos_sin(alpha, ca[i], sa[i]);
      alpha += run.step;
    }
    double gamma = run.gamma0;
    for (long g = 0; g < run.n; ++g) {
      double cg, sg;
      grid_cos_sin(gamma, cg, sg);
      for (long i = 0; i < run.n; ++i)
        run.evaluate(alphas[i], ca[i], sa[i], gamma, cg, sg, observer);
      gamma += run.step;
    }
    run.end_iteration(iteration, observer);
  }
  run.finish();
  return run.counter;
}

}  // namespace kavor
