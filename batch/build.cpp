// kavor-batch build: one index row per placement point.
#include <ostream>

#include "batch/batch.hpp"

namespace kavor::batch {

int run_build(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
  err << "kavor-batch: build is not available yet\n";
  return 2;
}

}  // namespace kavor::batch
