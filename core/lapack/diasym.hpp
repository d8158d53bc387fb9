// Symmetric eigen-solver: the only door to LAPACK.
#pragma once

namespace kavor {

// Eigen-decomposition of the symmetric n x n matrix a (column by column,
// upper triangle used) with LAPACK dsyev, JOBZ "V", UPLO "U" (for n = 3 the
// steps dsyev takes are run as exact C++ transcriptions, with dsyev's
// results to the last bit). On return b
// holds the eigenvalues in ascending order and column j of a (a[j*n + 0..n-1])
// the unit eigenvector of b[j]; each eigenvector's sign is whatever dsyev
// gives. dsyev's INFO is not acted on: a finite 3 x 3 symmetric matrix always
// converges, and callers keep non-finite numbers away from it.
void diasym(double* a, double* b, int n);
// The same through one dsyev call, always (what diasym must equal bit for bit).
void diasym_dsyev(double* a, double* b, int n);

}  // namespace kavor
