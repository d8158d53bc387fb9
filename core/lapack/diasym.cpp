#include "core/lapack/diasym.hpp"

#include <cmath>
#include <cstddef>
#include <vector>

#include "core/lapack/dsyev3.hpp"

extern "C" {
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
            double* work, const int* lwork, int* info, std::size_t jobz_len, std::size_t uplo_len);
}

namespace kavor {

void diasym_dsyev(double* a, double* b, int n) {
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

// For a 3 x 3 matrix dsyev runs, after its argument checks, work-space
// queries and a look at the norm: dsytrd, which for n below its block size
// is dsytd2; dorgtr, which shifts the reflectors one column left, sets the
// last row and column to the identity's and calls dorgql, which for so few
// reflectors is dorg2l; then dsteqr. The same steps here, with the same
// arrays in the same places, give the same bits without dsyev's overhead:
// dsytd2, dorg2l and dsteqr are C++ transcriptions for this size
// (dsyev3.hpp) that repeat the Fortran's operations exactly. Only where dsyev
// would scale the matrix (its largest element outside about 1e-146 .. 1e146),
// for non-finite elements or other sizes is dsyev called.
void diasym(double* a, double* b, int n) {
  bool in_range = n == 3;
  double largest = 0.0;
  for (int j = 0; j < n && in_range; ++j)
    for (int i = 0; i <= j; ++i) {
      const double v = std::fabs(a[i + j * n]);
      in_range = in_range && v < 1e140;  // false for NaN as well
      largest = std::fmax(largest, v);
    }
  if (!in_range || !(largest > 1e-140)) {
    diasym_dsyev(a, b, n);
    return;
  }
  double e[2], tau[2];
  dsytd2_n3(a, b, e, tau);
  // dorgtr, UPLO "U" (column-major, lda 3).
  auto at = [&](int row, int col) -> double& { return a[(row - 1) + (col - 1) * 3]; };
  for (int j = 1; j <= n - 1; ++j) {
    for (int i = 1; i <= j - 1; ++i) at(i, j) = at(i, j + 1);
    at(n, j) = 0.0;
  }
  for (int i = 1; i <= n - 1; ++i) at(i, n) = 0.0;
  at(n, n) = 1.0;
  dorg2l_n2(a, tau);
  dsteqr_n3(b, e, a);
  // info ignored: see the header.
}

}  // namespace kavor
