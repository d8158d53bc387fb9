// LAPACK's implicit QL/QR step for a 3 x 3 symmetric tridiagonal matrix,
// written out in C++ so that diasym's 3 x 3 path need not pay for the
// reference routines' generality (argument letters, machine constants and
// loop set-up dominate at this size).
#pragma once

namespace kavor {

// What dsteqr (reference LAPACK 3.11) does with COMPZ "V", N 3, LDZ 3: on
// entry d[0..2] is the diagonal, e[0..1] the off-diagonal and z (column by
// column) the orthogonal matrix that reduced the full matrix to tridiagonal
// form; on return d holds the eigenvalues in ascending order and column j of
// z the eigenvector of d[j], bit for bit what dsteqr returns. e is destroyed.
// Paths the C++ does not take (a block to be scaled, non-finite numbers, the
// 90-iteration limit) call dsteqr itself on the unchanged arguments.
void dsteqr3(double* d, double* e, double* z);

// dorg2l (reference LAPACK 3.11) for M = N = K = 2, LDA 3: from the two
// reflectors dsytd2 leaves in a (upper, column by column, LDA 3) and tau,
// forms the leading 2 x 2 block of the orthogonal matrix, with the
// operations of dorg2l, dlarf and the reference BLAS in their order.
void dorg2l2(double* a, const double* tau);

}  // namespace kavor
