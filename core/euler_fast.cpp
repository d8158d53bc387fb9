#include "core/euler.hpp"

namespace kavor {

int grid_fit(const FitSpec& spec, BestAngles& best, FitObserver& observer) {
  return grid_fit_plain(spec, best, observer);
}

}  // namespace kavor
