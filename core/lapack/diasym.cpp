#include "core/lapack/diasym.hpp"

#include <cstddef>
#include <vector>

extern "C" void dsyev_(const char* jobz, const char* uplo, const int* n, double* a,
                       const int* lda, double* w, double* work, const int* lwork, int* info,
                       std::size_t jobz_len, std::size_t uplo_len);

namespace kavor {

void diasym(double* a, double* b, int n) {
  int lwork = n * (3 + n / 2);  // work space size rule of the original program
  // The programs' 3 x 3 tensors take their work space from the stack.
  double small[16];
  std::vector<double> large;
  double* work = small;
  if (lwork > 16) {
    large.resize(static_cast<std::size_t>(lwork));
    work = large.data();
  }
  int info = 0;
  dsyev_("V", "U", &n, a, &n, b, work, &lwork, &info, 1, 1);
  // info ignored: see the header.
}

}  // namespace kavor
