// Knot vector validation and knot placement.
#include "closeness.h"
#include "lanes.h"
#include "morvane.h"

#include <algorithm>

using videvo::close;
using videvo::tol;

namespace {

// Whether some U[i] < U[i-1] (or a NaN) for i = from..to.  This plain scan
// decides the validity of nearly every knot vector and runs on every curve
// evaluation, so it is written with wide compares; x86-64 Linux builds carry
// an AVX2 clone chosen at load time.

#if defined(__GNUC__)
VIDEVO_WIDE_CLONES bool has_drop(const double* U, int from, int to) {
    videvo::LaneMask drop[4] = {};
    int i = from;
    for (; i + 15 <= to; i += 16) {
        for (int k = 0; k < 4; ++k) {
            videvo::Lanes a, b;
            __builtin_memcpy(&a, U + i + 4 * k, sizeof a);
            __builtin_memcpy(&b, U + i + 4 * k - 1, sizeof b);
            // a < b, or a NaN (a NaN at U[from - 1] fails the clamped test)
            drop[k] |= (a < b) | (a != a);
        }
    }
    const videvo::LaneMask any = drop[0] | drop[1] | drop[2] | drop[3];
    bool found = (any[0] | any[1] | any[2] | any[3]) != 0;
    for (; i <= to; ++i) found |= !(U[i] >= U[i - 1]);
    return found;
}
#else
bool has_drop(const double* U, int from, int to) {
    bool drop = false;
    for (int i = from; i <= to; ++i) drop |= !(U[i] >= U[i - 1]);
    return drop;
}
#endif

}  // namespace

extern "C" int ValidKnotVector(const int* n, const int* p, const double* U) {
    const int m = *n + *p + 1;
    for (int i = 1; i <= *p; ++i)
        if (!close(U[i], U[0])) return 1;
    // Interior: non-decreasing up to the tolerance.  Only a knot vector with
    // a drop (or a NaN) is looked at closely.
    if (has_drop(U, *p + 1, *n + 1))
        for (int i = *p + 1; i <= *n + 1; ++i)
            if (!(U[i] >= U[i - 1] - tol(U[i], U[i - 1]))) return 1;
    for (int i = *n + 1; i <= *n + *p; ++i)
        if (!close(U[i], U[m])) return 1;
    return 0;
}

namespace {

// First p + 1 knots x0, last p + 1 knots xl, in a vector of last index `last`.
void clamp_ends(double* U, int p, int last, double x0, double xl) {
    for (int j = 0; j <= p; ++j) {
        U[j] = x0;
        U[last - j] = xl;
    }
}

// Mean of x[from..to], summed in increasing index order.
double mean(const double* x, int from, int to) {
    double sum = 0.0;
    for (int i = from; i <= to; ++i) sum += x[i];
    return sum / (to - from + 1);
}

// out[j] = mean(x, j, j + p - 1), j = 0..count - 1: the same sums, in the same
// order, for a chunk of windows at once, so that the loops vectorise.
void window_means(const double* x, int p, int count, double* out) {
    constexpr int kChunk = 256;
    double sum[kChunk];
    for (int first = 0; first < count; first += kChunk) {
        const int m = std::min(kChunk, count - first);
        std::fill(sum, sum + m, 0.0);
        for (int i = 0; i < p; ++i)
            for (int k = 0; k < m; ++k) sum[k] += x[first + k + i];
        for (int k = 0; k < m; ++k) out[first + k] = sum[k] / p;
    }
}

}  // namespace

extern "C" void EquallySpaced(const int* n, const double* x, const int* p, double* U) {
    const int last = *n + *p + 1;
    clamp_ends(U, *p, last, x[0], x[*n]);
    for (int j = 1; j <= *n - *p; ++j)
        U[*p + j] = ((j * (x[*n] - x[0])) / (*n - *p + 1)) + x[0];
}

extern "C" void AveragingAlg1(const int* n, const double* x, const int* p, double* U) {
    clamp_ends(U, *p, *n + *p + 1, x[0], x[*n]);
    window_means(x + 1, *p, *n - *p, U + *p + 1);
}

extern "C" void AveragingAlg2(const int* n, const double* x, const int* p, double* U) {
    clamp_ends(U, *p, *n + *p + 3, x[0], x[*n]);
    window_means(x, *p, *n - *p + 2, U + *p + 1);
}

extern "C" void AveragingAlg3(const int* n, const double* x, const int* p, const int* k,
                              const int* l, double* U) {
    clamp_ends(U, *p, *n + *k + *l + *p + 1, x[0], x[*n]);
    for (int j = 1 - *k; j <= *n + *l - *p; ++j) {
        const int js = std::max(j, 0);
        const int je = std::min(j + *p - 1, *n);
        U[*p + *k + j] = mean(x, js, je);
    }
}

extern "C" void KnotsEvalL2Approx(const int* m, const double* x, const int* p, const int* n,
                                  double* U) {
    clamp_ends(U, *p, *n + *p + 1, x[0], x[*m]);
    const double d = static_cast<double>(*m + 1) / (*n - *p + 1);
    for (int j = 1; j <= *n - *p; ++j) {
        const double t = j * d;
        const int i = static_cast<int>(t);
        const double alpha = t - i;
        U[*p + j] = alpha * x[i] + (1.0 - alpha) * x[i - 1];
    }
}

extern "C" void AveragingCpts(const int* n, const int* p, const double* U, double* C, int* info) {
    *info = 0;
    if (*p < 0) { *info = -2; return; }
    if (*p > *n) { *info = -1; return; }
    if (ValidKnotVector(n, p, U) != 0) { *info = -3; return; }
    for (int i = 0; i <= *n; ++i) {
        double sum = 0.0;
        for (int j = i + 1; j <= i + *p; ++j) sum += U[j];
        C[i] = sum / *p;
    }
}
