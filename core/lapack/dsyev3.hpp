// The reference LAPACK routines dsyev runs for a 3 x 3 matrix, written out
// in C++ for that size so that diasym need not pay for their generality
// (argument letters, machine constants and loop set-up dominate there).
#pragma once

namespace kavor {

// dsytd2 (reference LAPACK 3.11 with the reference BLAS) for UPLO "U", N 3,
// LDA 3: reduces the finite symmetric a (upper triangle, column by column) to
// tridiagonal form, d[0..2] its diagonal and e[0..1] its off-diagonal, and
// leaves the reflectors in a and tau as dsytd2 does, bit for bit. A column
// whose norm dnrm2 would scale (outside 2^-511 .. 2^486) is left to dsytd2.
void dsytd2_n3(double* a, double* d, double* e, double* tau);

// What dsteqr (reference LAPACK 3.11) does with COMPZ "V", N 3, LDZ 3: on
// entry d[0..2] is the diagonal, e[0..1] the off-diagonal and z (column by
// column) the orthogonal matrix that reduced the full matrix to tridiagonal
// form; on return d holds the eigenvalues in ascending order and column j of
// z the eigenvector of d[j], bit for bit what dsteqr returns. e is destroyed.
// Paths the C++ does not take (a block to be scaled, non-finite numbers, the
// 90-iteration limit) call dsteqr itself on the unchanged arguments.
void dsteqr_n3(double* d, double* e, double* z);

// dorg2l (reference LAPACK 3.11) for M = N = K = 2, LDA 3: from the two
// reflectors dsytd2 leaves in a (upper, column by column, LDA 3) and tau,
// forms the leading 2 x 2 block of the orthogonal matrix, with the
// operations of dorg2l, dlarf and the reference BLAS in their order.
void dorg2l_n2(double* a, const double* tau);

}  // namespace kavor
