// Basis-function kernels shared by the kernel's routines.
#pragma once

namespace videvo {

// Triangular scheme of NURBS Book A2.2 for degrees 1..deg at span i;
// `harvest(j, N)` is called after each degree j (N[0..j] = N(i-j..i, j)(u)).
// left and right are work arrays of deg + 1 doubles.
template <class Harvest>
inline void basis_triangle(int i, double u, int deg, const double* U, double* left, double* right,
                           double* N, Harvest&& harvest) {
    N[0] = 1.0;
    harvest(0, N);
    for (int j = 1; j <= deg; ++j) {
        left[j] = u - U[i + 1 - j];
        right[j] = U[i + j] - u;
        double saved = 0.0;
        for (int r = 0; r < j; ++r) {
            const double temp = N[r] / (right[r + 1] + left[j - r]);
            N[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        N[j] = saved;
        harvest(j, N);
    }
}

inline void basis_funs(int i, double u, int p, const double* U, double* left, double* right, double* N) {
    basis_triangle(i, u, p, U, left, right, N, [](int, const double*) {});
}

}  // namespace videvo
