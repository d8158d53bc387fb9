// Transcriptions of reference LAPACK 3.11 routines (dsytd2 with dlarfg,
// dnrm2 and the BLAS dsymv, ddot, daxpy, dsyr2; dsteqr with the pieces it
// calls for COMPZ "V": dlanst "M", dlaev2, dlapy2, dlartg, dlasr "R" "V" "F"
// and "B", dswap; and dorg2l with dlarf and the BLAS dgemv, dger, dscal),
// specialised to the sizes diasym meets. They are exact, not merely close:
// each floating-point operation is the one the Fortran performs, on the same
// operands, in the same order (gfortran evaluates left to right and honours
// parentheses; the library is built for plain x86-64, without fused
// multiply-add, as this project is), and every test that chooses a path is the
// Fortran's, including those on exact zeros and ones. Fortran's x**2 is x*x,
// SIGN(a, b) is copysign, and ABS/MAX/MIN of finite numbers are fabs and
// plain comparisons. Indices below count from 1, as in the Fortran, so that
// each line can be read against its source.
#include "core/lapack/dsyev3.hpp"

#include <cmath>
#include <cstddef>

extern "C" {
void dsytd2_(const char* uplo, const int* n, double* a, const int* lda, double* d, double* e,
             double* tau, int* info, std::size_t uplo_len);
void dsteqr_(const char* compz, const int* n, double* d, double* e, double* z, const int* ldz,
             double* work, int* info, std::size_t compz_len);
}

namespace kavor {
namespace {

constexpr int kN = 3;
constexpr int kMaxIterations = 30 * kN;  // dsteqr's NMAXIT = N*MAXIT

// dsteqr's machine constants. dlamch("E") is the unit roundoff 2^-53
// (EPSILON * 0.5, rounding arithmetic) and dlamch("S") the smallest normal
// number 2^-1022 (TINY, as 1/HUGE is below it); the others are derived as
// dsteqr derives them, with the same operations.
constexpr double kEps = 0x1p-53;
constexpr double kEps2 = kEps * kEps;
constexpr double kSafmin = 0x1p-1022;
const double kSafmax = 1.0 / kSafmin;
const double kSsfmax = std::sqrt(kSafmax) / 3.0;
const double kSsfmin = std::sqrt(kSafmin) / kEps2;

// dlartg's own constants (module LA_CONSTANTS): safmin 2^-1022, safmax
// 2^1022, rtmin = sqrt(safmin), rtmax = sqrt(safmax / 2).
const double kRtmin = std::sqrt(kSafmin);
const double kRtmax = std::sqrt(kSafmax / 2.0);

// dlapy2 for finite arguments (its NaN and overflow branches are not
// reached: dsteqr_n3 hands non-finite input to dsteqr, and dsytd2_n3 is
// given finite matrices).
[[gnu::always_inline]] inline double dlapy2(double x, double y) {
  const double xabs = std::fabs(x), yabs = std::fabs(y);
  const double w = xabs > yabs ? xabs : yabs;
  const double z = xabs < yabs ? xabs : yabs;
  if (z == 0.0) return w;
  const double q = z / w;
  return w * std::sqrt(1.0 + q * q);
}

// dlartg, the algorithm of LAPACK 3.10 and later (not the older one with its
// iterative rescaling).
[[gnu::always_inline]] inline void dlartg(double f, double g, double& c, double& s, double& r) {
  const double f1 = std::fabs(f), g1 = std::fabs(g);
  if (g == 0.0) {
    c = 1.0;
    s = 0.0;
    r = f;
  } else if (f == 0.0) {
    c = 0.0;
    s = std::copysign(1.0, g);
    r = g1;
  } else if (f1 > kRtmin && f1 < kRtmax && g1 > kRtmin && g1 < kRtmax) {
    const double d = std::sqrt(f * f + g * g);
    c = f1 / d;
    r = std::copysign(d, f);
    s = g / r;
  } else {
    double u = kSafmin;  // min(safmax, max(safmin, f1, g1))
    if (f1 > u) u = f1;
    if (g1 > u) u = g1;
    if (kSafmax < u) u = kSafmax;
    const double fs = f / u, gs = g / u;
    const double d = std::sqrt(fs * fs + gs * gs);
    c = std::fabs(fs) / d;
    r = std::copysign(d, f);
    s = gs / r;
    r = r * u;
  }
}

// dlaev2: eigen-decomposition of [[a, b], [b, c]]; rt1 is the eigenvalue of
// larger magnitude and (cs1, sn1) its unit eigenvector.
[[gnu::always_inline]] inline void dlaev2(double a, double b, double c, double& rt1, double& rt2,
                                          double& cs1, double& sn1) {
  const double sm = a + c;
  const double df = a - c;
  const double adf = std::fabs(df);
  const double tb = b + b;
  const double ab = std::fabs(tb);
  double acmx, acmn;
  if (std::fabs(a) > std::fabs(c)) {
    acmx = a;
    acmn = c;
  } else {
    acmx = c;
    acmn = a;
  }
  double rt;
  if (adf > ab) {
    const double q = ab / adf;
    rt = adf * std::sqrt(1.0 + q * q);
  } else if (adf < ab) {
    const double q = adf / ab;
    rt = ab * std::sqrt(1.0 + q * q);
  } else {
    rt = ab * std::sqrt(2.0);  // gfortran folds SQRT(TWO), correctly rounded
  }
  int sgn1;
  if (sm < 0.0) {
    rt1 = 0.5 * (sm - rt);
    sgn1 = -1;
    rt2 = (acmx / rt1) * acmn - (b / rt1) * b;
  } else if (sm > 0.0) {
    rt1 = 0.5 * (sm + rt);
    sgn1 = 1;
    rt2 = (acmx / rt1) * acmn - (b / rt1) * b;
  } else {
    rt1 = 0.5 * rt;
    rt2 = -0.5 * rt;
    sgn1 = 1;
  }
  int sgn2;
  double cs;
  if (df >= 0.0) {
    cs = df + rt;
    sgn2 = 1;
  } else {
    cs = df - rt;
    sgn2 = -1;
  }
  const double acs = std::fabs(cs);
  if (acs > ab) {
    const double ct = -tb / cs;
    sn1 = 1.0 / std::sqrt(1.0 + ct * ct);
    cs1 = ct * sn1;
  } else if (ab == 0.0) {
    cs1 = 1.0;
    sn1 = 0.0;
  } else {
    const double tn = -cs / tb;
    cs1 = 1.0 / std::sqrt(1.0 + tn * tn);
    sn1 = tn * cs1;
  }
  if (sgn1 == sgn2) {
    const double tn = cs1;
    cs1 = -sn1;
    sn1 = tn;
  }
}

// One plane rotation of dlasr SIDE "R", PIVOT "V" on columns j and j+1 of
// the 3 x 3 z (1-based, LDZ 3), skipped, as dlasr skips it, when it is the
// identity (which also keeps the signs of zeros).
[[gnu::always_inline]] inline void rotate_columns(double* z, int j, double ctemp, double stemp) {
  if (ctemp != 1.0 || stemp != 0.0) {
    double* zj = z + (j - 1) * kN;
    double* zj1 = z + j * kN;
#pragma GCC unroll 3
    for (int i = 0; i < kN; ++i) {
      const double temp = zj1[i];
      zj1[i] = ctemp * temp - stemp * zj[i];
      zj[i] = stemp * temp + ctemp * zj[i];
    }
  }
}

// The helpers above are inlined: at this size their calls cost as much as
// their arithmetic. Inlining and unrolling change no result, as operations
// are neither contracted nor reordered.

// dsteqr's body on copies; false where it would scale a block or run out of
// iterations (the caller then runs dsteqr itself).
bool steqr(double* d0, double* e0, double* z) {
  // 1-based views: D(i) = d[i], E(i) = e[i].
  double d[kN + 1] = {0.0, d0[0], d0[1], d0[2]};
  double e[kN] = {0.0, e0[0], e0[1]};
  const int n = kN;
  const int nm1 = n - 1;
  int jtot = 0;
  int l1 = 1;
  while (l1 <= n) {  // label 10
    if (l1 > 1) e[l1 - 1] = 0.0;
    int m = l1;
    for (; m <= nm1; ++m) {
      const double tst = std::fabs(e[m]);
      if (tst == 0.0) break;
      if (tst <= (std::sqrt(std::fabs(d[m])) * std::sqrt(std::fabs(d[m + 1]))) * kEps) {
        e[m] = 0.0;
        break;
      }
    }
    // (a completed loop leaves m = n, as the Fortran sets it)
    int l = l1;
    const int lsv = l;
    int lend = m;
    const int lendsv = lend;
    l1 = m + 1;
    if (lend == l) continue;

    // dlanst "M" of rows and columns l..lend: only compared, so the order
    // of the maximum does not matter (no NaN gets here).
    double anorm = std::fabs(d[lend]);
    for (int i = l; i < lend; ++i) {
      if (anorm < std::fabs(d[i])) anorm = std::fabs(d[i]);
      if (anorm < std::fabs(e[i])) anorm = std::fabs(e[i]);
    }
    if (anorm == 0.0) continue;
    if (anorm > kSsfmax || anorm < kSsfmin) return false;  // dsteqr would scale

    if (std::fabs(d[lend]) < std::fabs(d[l])) {
      lend = lsv;
      l = lendsv;
    }

    if (lend > l) {
      // QL iteration.
      for (;;) {  // label 40
        if (l != lend) {
          for (m = l; m <= lend - 1; ++m) {
            const double tst = std::fabs(e[m]) * std::fabs(e[m]);
            if (tst <= (kEps2 * std::fabs(d[m])) * std::fabs(d[m + 1]) + kSafmin) break;
          }
        } else {
          m = lend;
        }
        if (m < lend) e[m] = 0.0;
        double p = d[l];
        if (m == l) {  // label 80: eigenvalue found
          d[l] = p;
          ++l;
          if (l <= lend) continue;
          break;
        }
        if (m == l + 1) {
          double rt1, rt2, c, s;
          dlaev2(d[l], e[l], d[l + 1], rt1, rt2, c, s);
          rotate_columns(z, l, c, s);  // dlasr "R" "V" "B" on 2 columns
          d[l] = rt1;
          d[l + 1] = rt2;
          e[l] = 0.0;
          l += 2;
          if (l <= lend) continue;
          break;
        }
        if (jtot == kMaxIterations) return false;
        ++jtot;
        // Form shift.
        double g = (d[l + 1] - p) / (2.0 * e[l]);
        double r = dlapy2(g, 1.0);
        g = d[m] - p + (e[l] / (g + std::copysign(r, g)));
        double s = 1.0, c = 1.0;
        p = 0.0;
        // Inner loop. dlasr "B" applies the saved rotations (cosine c, sine
        // -s) from column m-1 down to l, the order they are made in, so each
        // is applied at once.
        for (int i = m - 1; i >= l; --i) {
          const double f = s * e[i];
          const double b = c * e[i];
          dlartg(g, f, c, s, r);
          if (i != m - 1) e[i + 1] = r;
          g = d[i + 1] - p;
          r = (d[i] - g) * s + 2.0 * c * b;
          p = s * r;
          d[i + 1] = g + p;
          g = c * r - b;
          rotate_columns(z, i, c, -s);
        }
        d[l] = d[l] - p;
        e[l] = g;
      }
    } else {
      // QR iteration.
      for (;;) {  // label 90
        if (l != lend) {
          for (m = l; m >= lend + 1; --m) {
            const double tst = std::fabs(e[m - 1]) * std::fabs(e[m - 1]);
            if (tst <= (kEps2 * std::fabs(d[m])) * std::fabs(d[m - 1]) + kSafmin) break;
          }
        } else {
          m = lend;
        }
        if (m > lend) e[m - 1] = 0.0;
        double p = d[l];
        if (m == l) {  // label 130: eigenvalue found
          d[l] = p;
          --l;
          if (l >= lend) continue;
          break;
        }
        if (m == l - 1) {
          double rt1, rt2, c, s;
          dlaev2(d[l - 1], e[l - 1], d[l], rt1, rt2, c, s);
          rotate_columns(z, l - 1, c, s);  // dlasr "R" "V" "F" on 2 columns
          d[l - 1] = rt1;
          d[l] = rt2;
          e[l - 1] = 0.0;
          l -= 2;
          if (l >= lend) continue;
          break;
        }
        if (jtot == kMaxIterations) return false;
        ++jtot;
        // Form shift.
        double g = (d[l - 1] - p) / (2.0 * e[l - 1]);
        double r = dlapy2(g, 1.0);
        g = d[m] - p + (e[l - 1] / (g + std::copysign(r, g)));
        double s = 1.0, c = 1.0;
        p = 0.0;
        // Inner loop; dlasr "F" applies the rotations from column m up to
        // l-1, again the order they are made in.
        const int lm1 = l - 1;
        for (int i = m; i <= lm1; ++i) {
          const double f = s * e[i];
          const double b = c * e[i];
          dlartg(g, f, c, s, r);
          if (i != m) e[i - 1] = r;
          g = d[i] - p;
          r = (d[i + 1] - g) * s + 2.0 * c * b;
          p = s * r;
          d[i] = g + p;
          g = c * r - b;
          rotate_columns(z, i, c, s);
        }
        d[l] = d[l] - p;
        e[lm1] = g;
      }
    }
    // label 140: no scaling to undo; dsteqr returns unsorted once jtot has
    // reached its limit, which the iteration above has already declined.
    if (jtot >= kMaxIterations) return false;
  }

  // Selection sort, swapping eigenvectors (dswap) only where needed.
  for (int ii = 2; ii <= n; ++ii) {
    const int i = ii - 1;
    int k = i;
    double p = d[i];
    for (int j = ii; j <= n; ++j) {
      if (d[j] < p) {
        k = j;
        p = d[j];
      }
    }
    if (k != i) {
      d[k] = d[i];
      d[i] = p;
      for (int row = 0; row < n; ++row) {
        const double t = z[(i - 1) * n + row];
        z[(i - 1) * n + row] = z[(k - 1) * n + row];
        z[(k - 1) * n + row] = t;
      }
    }
  }
  for (int i = 0; i < n; ++i) d0[i] = d[i + 1];
  e0[0] = e[1];
  e0[1] = e[2];
  return true;
}

}  // namespace

void dsteqr_n3(double* d, double* e, double* z) {
  bool finite = true;
  for (int i = 0; i < kN; ++i) finite = finite && std::isfinite(d[i]);
  for (int i = 0; i < kN - 1; ++i) finite = finite && std::isfinite(e[i]);
  if (finite) {
    double zc[kN * kN];
    for (int i = 0; i < kN * kN; ++i) zc[i] = z[i];
    if (steqr(d, e, zc)) {
      for (int i = 0; i < kN * kN; ++i) z[i] = zc[i];
      return;
    }
  }
  const int n = kN;
  double work[2 * kN - 2];
  int info = 0;
  dsteqr_("V", &n, d, e, z, &n, work, &info, 1);
  // info ignored, as diasym ignores dsyev's.
}

void dsytd2_n3(double* a, double* d, double* e, double* tau) {
  auto at = [a](int i, int j) -> double& { return a[(i - 1) + (j - 1) * 3]; };
  // I = 2: dlarfg(2, A(2,3), A(1,3)) makes the reflector that clears A(1,3).
  // Its dnrm2 of the one element x is scl*sqrt(sumsq) with scl 1 and sumsq
  // 0 + x**2 while |x| is in the unscaled range [tsml, tbig] = [2^-511,
  // 2^486]; outside it, dsytd2 runs itself (nothing is changed yet).
  const double ax = std::fabs(at(1, 3));
  if (ax != 0.0 && !(ax >= 0x1p-511 && ax <= 0x1p486)) {
    const int n = kN;
    int info = 0;
    dsytd2_("U", &n, a, &n, d, e, tau, &info, 1);
    return;
  }
  double taui = 0.0;
  if (ax != 0.0) {  // xnorm 0 gives tau 0 and leaves alpha
    const double xnorm = 1.0 * std::sqrt(0.0 + ax * ax);
    const double alpha = at(2, 3);
    // beta is at least xnorm >= 2^-511, far above dlarfg's rescaling
    // threshold dlamch("S") / dlamch("E") = 2^-969.
    const double beta = -std::copysign(dlapy2(alpha, xnorm), alpha);
    taui = (beta - alpha) / beta;
    at(1, 3) = (1.0 / (alpha - beta)) * at(1, 3);  // dscal
    at(2, 3) = beta;
  }
  e[1] = at(2, 3);
  if (taui != 0.0) {
    at(2, 3) = 1.0;
    // v = A(1:2, 3). dsymv "U", N 2, ALPHA taui, BETA 0: y = 0, then
    // column by column y(j) = (y(j) + temp1*A(j,j)) + alpha*temp2.
    const double v1 = at(1, 3), v2 = at(2, 3);
    double y1 = 0.0, y2 = 0.0;
    {
      const double temp1 = taui * v1, temp2 = 0.0;
      y1 = y1 + temp1 * at(1, 1) + taui * temp2;
    }
    {
      const double temp1 = taui * v2;
      double temp2 = 0.0;
      y1 = y1 + temp1 * at(1, 2);
      temp2 = temp2 + at(1, 2) * v1;
      y2 = y2 + temp1 * at(2, 2) + taui * temp2;
    }
    // alpha = -HALF*taui*ddot(2, y, v), ddot summing from 0 in order.
    double dot = 0.0;
    dot = dot + y1 * v1;
    dot = dot + y2 * v2;
    const double alpha = -(0.5 * taui * dot);
    // daxpy y = y + alpha*v, which returns at once for a zero alpha.
    if (alpha != 0.0) {
      y1 = y1 + alpha * v1;
      y2 = y2 + alpha * v2;
    }
    // dsyr2 "U", N 2, ALPHA -1: A = A - v w**T - w v**T column by column,
    // a column skipped where both v(j) and w(j) are zero.
    if (v1 != 0.0 || y1 != 0.0) {
      const double temp1 = -1.0 * y1, temp2 = -1.0 * v1;
      at(1, 1) = at(1, 1) + v1 * temp1 + y1 * temp2;
    }
    if (v2 != 0.0 || y2 != 0.0) {
      const double temp1 = -1.0 * y2, temp2 = -1.0 * v2;
      at(1, 2) = at(1, 2) + v1 * temp1 + y1 * temp2;
      at(2, 2) = at(2, 2) + v2 * temp1 + y2 * temp2;
    }
    at(2, 3) = e[1];
  }
  d[2] = at(3, 3);
  tau[1] = taui;
  // I = 1: dlarfg of order 1 gives tau 0, so nothing is applied.
  e[0] = at(1, 2);
  d[1] = at(2, 2);
  tau[0] = 0.0;
  d[0] = at(1, 1);
}

void dorg2l_n2(double* a, const double* tau) {
  // A(i, j) with LDA 3.
  auto at = [a](int i, int j) -> double& { return a[(i - 1) + (j - 1) * 3]; };
  // i = 1, ii = 1: dlarf on no columns and dscal of no elements do nothing.
  at(1, 1) = 1.0 - tau[0];
  at(2, 1) = 0.0;
  // i = 2, ii = 2: H(2) = I - tau v v^T with v = (A(1,2), 1) applied to
  // column 1 from the left (dlarf), then column 2 scaled (dscal).
  at(2, 2) = 1.0;
  if (tau[1] != 0.0) {
    // dlarf: v(2) = 1 is nonzero, so lastv = 2; iladlc leaves lastc = 1 if
    // column 1 has a nonzero in rows 1..2, else 0 (no work).
    if (at(1, 1) != 0.0 || at(2, 1) != 0.0) {
      // dgemv "T" with BETA 0: y = 0, temp = (0 + A11 v1) + A21 v2,
      // y = y + ALPHA*temp with ALPHA 1.
      double temp = 0.0;
      temp = temp + at(1, 1) * at(1, 2);
      temp = temp + at(2, 1) * at(2, 2);
      const double w = 0.0 + 1.0 * temp;
      // dger with ALPHA -tau: skipped for a zero w.
      if (w != 0.0) {
        const double t = -tau[1] * w;
        at(1, 1) = at(1, 1) + at(1, 2) * t;
        at(2, 1) = at(2, 1) + at(2, 2) * t;
      }
    }
  }
  // dscal of A(1,2) by -tau (a factor of exactly one is skipped, which
  // changes nothing).
  at(1, 2) = -tau[1] * at(1, 2);
  at(2, 2) = 1.0 - tau[1];
}

}  // namespace kavor
