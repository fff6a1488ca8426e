// Spans and basis functions.
#include "basis.h"
#include "morvane.h"
#include "span_search.h"

#include <algorithm>
#include <utility>
#include <vector>

using videvo::close;

extern "C" int FindSpan(const int* n, const int* p, const double* u, const double* U) {
    return videvo::find_span(*n, *p, *u, U);
}

extern "C" void FindSpanMult(const int* n, const int* p, const double* u, const double* U, int* k,
                             int* s) {
    *k = videvo::find_span(*n, *p, *u, U);
    *s = videvo::multiplicity_at(*k, *p, *u, U);
}

extern "C" void BasisFuns(const int* i, const double* u, const int* p, const double* U,
                          double* left, double* right, double* N) {
    videvo::basis_funs(*i, *u, *p, U, left, right, N);
}

extern "C" void OneBasisFun(const int* p, const int* m, const double* U, const int* i,
                            const double* u, double* N, double* Nip) {
    const int P = *p, I = *i;
    const double x = *u;
    if ((I == 0 && close(x, U[0])) || (I == *m - P - 1 && close(x, U[*m]))) {
        *Nip = 1.0;
        return;
    }
    if (U[I] > x || videvo::lies_at_or_above(x, U[I + P + 1])) {
        *Nip = 0.0;
        return;
    }
    for (int j = 0; j <= P; ++j)
        N[j] = (videvo::lies_at_or_above(x, U[I + j]) && x < U[I + j + 1]) ? 1.0 : 0.0;
    for (int k = 1; k <= P; ++k) {
        double saved = close(N[0], 0.0) ? 0.0 : ((x - U[I]) * N[0]) / (U[I + k] - U[I]);
        for (int j = 0; j <= P - k; ++j) {
            const double Uleft = U[I + j + 1];
            const double Uright = U[I + j + k + 1];
            if (close(N[j + 1], 0.0)) {
                N[j] = saved;
                saved = 0.0;
            } else {
                const double temp = N[j + 1] / (Uright - Uleft);
                N[j] = saved + (Uright - x) * temp;
                saved = (x - Uleft) * temp;
            }
        }
    }
    *Nip = N[0];
}

extern "C" void DersBasisFuns(const int* i, const double* u, const int* p, const int* n,
                              const double* U, double* ndu, double* a, double* left, double* right,
                              double* ders) {
    const int I = *i, P = *p, M = P + 1;
    const double x = *u;
    auto NDU = [&](int row, int col) -> double& { return ndu[row * M + col]; };
    auto A = [&](int row, int col) -> double& { return a[row * M + col]; };
    auto D = [&](int row, int col) -> double& { return ders[row * M + col]; };

    NDU(0, 0) = 1.0;
    for (int j = 1; j <= P; ++j) {
        left[j] = x - U[I + 1 - j];
        right[j] = U[I + j] - x;
        double saved = 0.0;
        for (int r = 0; r < j; ++r) {
            NDU(j, r) = right[r + 1] + left[j - r];  // knot differences, lower triangle
            const double temp = NDU(r, j - 1) / NDU(j, r);
            NDU(r, j) = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        NDU(j, j) = saved;
    }
    for (int j = 0; j <= P; ++j) D(0, j) = NDU(j, P);
    for (int r = 0; r <= P; ++r) {
        int s1 = 0, s2 = 1;
        A(0, 0) = 1.0;
        for (int k = 1; k <= *n; ++k) {
            double d = 0.0;
            const int rk = r - k, pk = P - k;
            if (r >= k) {
                A(s2, 0) = A(s1, 0) / NDU(pk + 1, rk);
                d = A(s2, 0) * NDU(rk, pk);
            }
            const int j1 = rk >= -1 ? 1 : -rk;
            const int j2 = r - 1 <= pk ? k - 1 : P - r;
            for (int j = j1; j <= j2; ++j) {
                A(s2, j) = (A(s1, j) - A(s1, j - 1)) / NDU(pk + 1, rk + j);
                d += A(s2, j) * NDU(rk + j, pk);
            }
            if (r <= pk) {
                A(s2, k) = -A(s1, k - 1) / NDU(pk + 1, r);
                d += A(s2, k) * NDU(r, pk);
            }
            D(k, r) = d;
            std::swap(s1, s2);
        }
    }
    // The factors p! / (p - k)! exceed 32-bit ints from degree 13 on; they are
    // exact in a double far beyond any usable degree.
    double f = P;
    for (int k = 1; k <= *n; ++k) {
        for (int j = 0; j <= P; ++j) D(k, j) *= f;
        f *= P - k;
    }
}

extern "C" int Bin(int n, int k) {
    if (k > n) return 0;
    // Unsigned arithmetic wraps where a signed int would overflow; the result
    // is exact whenever it fits in 32 bits.
    std::vector<unsigned> C(static_cast<std::size_t>(k) + 1, 0u);
    C[0] = 1u;
    for (int i = 1; i <= n; ++i)
        for (int j = std::min(i, k); j >= 1; --j) C[j] += C[j - 1];
    return static_cast<int>(C[k]);
}

