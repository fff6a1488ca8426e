// LAPACK and BLAS for the curve module, taken at import from the entry points
// that SciPy publishes for compiled extensions (scipy.linalg.cython_lapack and
// scipy.linalg.cython_blas); nothing is linked at build time.  The wrappers
// take their scalars by value and touch no Python object, so they may run with
// the interpreter lock released.  Matrices are column-major, as in LAPACK.
#pragma once

namespace videvo::lapack {

// Binds every routine below; throws nb::import_error when SciPy or one of the
// entries is missing.  Called once, from the module's initialisation.
void bind();

// Band LU solve of A X = B (A of order n with kl sub- and ku super-diagonals in
// band storage ab, ldab >= 2 kl + ku + 1; b is n x nrhs); LAPACK's info.
int dgbsv(int n, int kl, int ku, int nrhs, double* ab, int ldab, int* ipiv, double* b,
          int ldb) noexcept;

// Dense LU solve of A X = B (a is n x n); LAPACK's info.
int dgesv(int n, int nrhs, double* a, int lda, int* ipiv, double* b, int ldb) noexcept;

// C = alpha op(A) op(B) + beta C, op given by transa / transb ('N' or 'T').
void dgemm(char transa, char transb, int m, int n, int k, double alpha, const double* a, int lda,
           const double* b, int ldb, double beta, double* c, int ldc) noexcept;

}  // namespace videvo::lapack
