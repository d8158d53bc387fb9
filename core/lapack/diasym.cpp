#include "core/lapack/diasym.hpp"

#include <cstddef>
#include <vector>

extern "C" void dsyev_(const char* jobz, const char* uplo, const int* n, double* a,
                       const int* lda, double* w, double* work, const int* lwork, int* info,
                       std::size_t jobz_len, std::size_t uplo_len);

namespace kavor {

void diasym(double* a, double* b, int n) {
  int lwork = n * (3 + n / 2);  // work space size rule of the original program
  std::vector<double> work(static_cast<std::size_t>(lwork));
  int info = 0;
  dsyev_("V", "U", &n, a, &n, b, work.data(), &lwork, &info, 1, 1);
  // info ignored: see the header.
}

}  // namespace kavor
