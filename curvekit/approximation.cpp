// Least-squares approximation with fixed ends (The NURBS Book, section 9.4.1):
// gcsplapp keeps the first and the last data point, gdsplapp also the slopes
// there.  The normal matrix of the unknown control points is banded with
// half-width p, and each data point adds only the products of its p + 1
// non-zero basis values: the equations are summed straight into LAPACK's band
// storage and solved by dgbsv.  Work O(m (log n + p^2) + n p^2), memory
// O(n p), whatever the number of data points.
//
// The checks run with the interpreter lock held, before anything is written;
// the size checks are AssertionErrors in every interpreter mode.  The data
// scan, the assembly and the solve run with the lock released.
#include "curvekit.h"
#include "lapack.h"

#include <basis.h>
#include <closeness.h>
#include <morvane.h>
#include <span_search.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <string>

namespace videvo::curvekit {
namespace {

// The fit of P[0..n] to the points (xp[k], fp[k]), k = 0..m, whose outer
// `fixed` control points at each end are given: P[0..f-1] = ends[0..f-1],
// P[n-f+1..n] = ends[f..2f-1].  The unknowns are P[f..n-f].
class NormalEquations {
public:
    // Creates the band storage: call with the lock held.
    NormalEquations(int n, int p, int fixed, const double* U) : n_(n), p_(p), f_(fixed), U_(U) {
        unknowns_ = n - 2 * fixed + 1;
        ldab_ = 3 * p + 1;
        // LAPACK indexes its storage with 32-bit ints.
        const long long cells = static_cast<long long>(ldab_) * unknowns_;
        if (cells > INT_MAX - 1024) raise_memory();
        if (unknowns_ > 0) {
            ab_ = allocate<double>(static_cast<std::size_t>(cells));
            ipiv_ = allocate<int>(static_cast<std::size_t>(unknowns_));
            basis_work_ = allocate<double>(3 * (static_cast<std::size_t>(p) + 1));
        }
    }

    void set_end(int i, double value) noexcept { ends_[i] = value; }

    // ---- numeric part: no Python object is touched ----

    // Whether every xp[k] is finite and inside [U[0], U[last]] (up to the
    // closeness tolerance); notes whether the interior points are sorted.
    bool scan(const double* xp, int m) noexcept {
        const double lo = U_[0], hi = U_[n_ + p_ + 1];
        bool inside = true, sorted = true;
        for (int k = 0; k <= m; ++k) {
            const double x = xp[k];
            inside &= (x >= lo || close(x, lo)) & (x <= hi || close(x, hi));
            if (k >= 2) sorted &= xp[k - 1] <= x;
        }
        sorted_ = sorted;
        return inside;
    }

    // Sums the equations of the interior points k = 1..m - 1 (the end points
    // are interpolated) and solves them into P[f..n-f]; writes the fixed
    // control points.  Returns LAPACK's info.
    int solve(const double* xp, const double* fp, int m, double* P) noexcept {
        for (int i = 0; i < f_; ++i) {
            P[i] = ends_[i];
            P[n_ - f_ + 1 + i] = ends_[f_ + i];
        }
        if (unknowns_ <= 0) return 0;
        double* b = P + f_;
        std::fill(b, b + unknowns_, 0.0);
        std::fill(ab_.get(), ab_.get() + static_cast<std::size_t>(ldab_) * unknowns_, 0.0);
        switch (p_) {
            case 1: assemble<1>(xp, fp, m, b); break;
            case 2: assemble<2>(xp, fp, m, b); break;
            case 3: assemble<3>(xp, fp, m, b); break;
            case 4: assemble<4>(xp, fp, m, b); break;
            case 5: assemble<5>(xp, fp, m, b); break;
            default: assemble<0>(xp, fp, m, b); break;
        }
        mirror();
        return lapack::dgbsv(unknowns_, p_, p_, 1, ab_.get(), ldab_, ipiv_.get(), b, unknowns_);
    }

private:
    // A[i][j] of the unknowns i, j (kl = ku = p, the first p rows of each
    // column left for the fill-in of the factorisation), column-major.
    double& cell(int i, int j) noexcept {
        return ab_[static_cast<std::size_t>(2 * p_ + i - j) + static_cast<std::size_t>(j) * ldab_];
    }

    // The value of fixed control point c.
    double end_value(int c) const noexcept { return c < f_ ? ends_[c] : ends_[f_ + c - (n_ - f_ + 1)]; }

    // D > 0: the degree as a constant (the short loops unroll); 0: p_.  Only
    // the upper triangle of the band is summed; mirror() fills the lower.
    template <int D>
    void assemble(const double* xp, const double* fp, int m, double* b) noexcept {
        const int p = D > 0 ? D : p_;
        constexpr int kStack = D > 0 ? D + 1 : 1;
        double left_s[kStack], right_s[kStack], N_s[kStack];
        double *left = left_s, *right = right_s, *N = N_s;
        if constexpr (D == 0) {
            left = basis_work_.get();
            right = left + p + 1;
            N = right + p + 1;
        }
        const double lo = U_[0], hi = U_[n_ + p_ + 1];
        SpanCursor span_of(n_, p_, U_, sorted_);
        for (int k = 1; k < m; ++k) {
            const double x = std::clamp(xp[k], lo, hi);
            const int s = span_of(x);
            basis_funs(s, x, p, U_, left, right, N);
            const int first = s - p;  // column of N[0]
            double y = fp[k];
            if (first < f_ || s > n_ - f_) {
                // Next to the ends: the fixed control points move to the
                // right-hand side.
                for (int j = 0; j <= p; ++j)
                    if (!is_unknown(first + j)) y -= N[j] * end_value(first + j);
            }
            for (int j = 0; j <= p; ++j) {
                const int i = first + j - f_;
                if (i < 0 || i >= unknowns_) continue;
                b[i] += N[j] * y;
                for (int d = 0; d <= p - j && i + d < unknowns_; ++d) cell(i, i + d) += N[j] * N[j + d];
            }
        }
    }

    bool is_unknown(int c) const noexcept { return c >= f_ && c <= n_ - f_; }

    void mirror() noexcept {
        for (int i = 0; i < unknowns_; ++i)
            for (int d = 1; d <= p_ && i + d < unknowns_; ++d) cell(i + d, i) = cell(i, i + d);
    }

    int n_, p_, f_;
    const double* U_;
    int unknowns_ = 0;
    int ldab_ = 0;
    bool sorted_ = true;
    double ends_[4] = {};
    std::unique_ptr<double[]> ab_, basis_work_;
    std::unique_ptr<int[]> ipiv_;
};

// The checks shared by both fits, in order; returns n.
int check_fit(CVec xp, CVec fp, int p, CVec U, Vec P) {
    require(fp.size == xp.size, "xp and fp must have same dimension");
    require(p >= 1, "p must be greater than or equal to 1");
    const int n = P.last();
    require(p <= n, "n must be greater than or equal to p");
    require(n < xp.last(), "the number of points to be approximated must be greater than the number of control points");
    require(U.size == P.size + p + 1, "U dimension must be: len(P) + p + 1");
    if (ValidKnotVector(&n, &p, U.data) != 0)
        bad_argument("U", "must be a clamped knot vector of degree " + std::to_string(p));
    // On a domain of one point every basis function is 0/0.
    if (!(U[U.size - 1] > U[0])) bad_argument("U", "must span a domain of positive length");
    // The ends are interpolated at U[0] and U[last]: data of another extent
    // would be fitted by a curve that does not pass through its end points.
    const int m = xp.last();
    if (!close(xp[0], U[0]) || !close(xp[m], U[U.size - 1]))
        bad_argument("U", "must start at xp[0] and end at xp[-1]");
    return n;
}

// Scans, assembles and solves with the lock released; raises afterwards.
void fit(NormalEquations& eq, CVec xp, CVec fp, Vec P) {
    const int m = xp.last();
    bool inside = false;
    int info = 0;
    {
        nb::gil_scoped_release unlocked;
        inside = eq.scan(xp.data, m);
        if (inside) info = eq.solve(xp.data, fp.data, m, P.data);
    }
    if (!inside) bad_argument("xp", "must be finite and lie inside [U[0], U[-1]]");
    // The message names dgesv for the band solver too: callers match it.
    if (info != 0) raise(PyExc_Exception, "'dgesv' LAPACK function failed with 'info' value: " + std::to_string(info));
}

void gcsplapp(CVec xp, CVec fp, int p, CVec U, Vec P) {
    const int n = check_fit(xp, fp, p, U, P);
    NormalEquations eq(n, p, 1, U.data);
    eq.set_end(0, fp[0]);
    eq.set_end(1, fp[xp.last()]);
    fit(eq, xp, fp, P);
}

void gdsplapp(CVec xp, CVec fp, int p, CVec U, Vec P, OptDy dy_arg) {
    const int n = check_fit(xp, fp, p, U, P);
    if (n < 3) bad_argument("P", "must have at least 4 entries when the end slopes are given, not " + std::to_string(P.size));
    const int m = xp.last();
    const Pair dy = dy_arg.get();
    NormalEquations eq(n, p, 2, U.data);
    // The end slopes of a clamped B-spline: P1 - P0 = (u_{p+1} - u_0) / p * D0
    // and Pn - P(n-1) = (u_{n+p+1} - u_n) / p * D1, with u_0 = xp[0] and
    // u_{n+p+1} = xp[m].  The interior is fitted against these P1 and P(n-1).
    eq.set_end(0, fp[0]);
    eq.set_end(1, fp[0] + (U[p + 1] - xp[0]) * dy.first / p);
    eq.set_end(2, fp[m] - (xp[m] - U[n]) * dy.second / p);
    eq.set_end(3, fp[m]);
    fit(eq, xp, fp, P);
}

}  // namespace

void register_approximation(Exporter& ex) {
    VIDEVO_CURVEKIT_DEF(ex, gcsplapp, gcsplapp,
        "Least-squares approximation: fill P with the control points of the B-spline\n"
        "of degree p on the knot vector U that passes through the first and the last\n"
        "point (xp[0], fp[0]), (xp[-1], fp[-1]) and fits the others in the\n"
        "least-squares sense.\n\n"
        "U has len(P) + p + 1 knots, usually placed with kevalappr(xp, p, U); its ends\n"
        "are xp[0] and xp[-1].  The points need not be sorted.  The banded normal\n"
        "equations are solved by LAPACK's dgbsv with the interpreter lock released.\n\n"
        "Raises AssertionError (in every interpreter mode) for len(fp) != len(xp),\n"
        "p < 1, p > len(P) - 1, len(P) >= len(xp) or len(U) != len(P) + p + 1;\n"
        "ValueError for an invalid knot vector or one of a single point, ends of U\n"
        "other than xp[0], xp[-1], or an xp that is not finite or lies outside\n"
        "[U[0], U[-1]]; Exception with LAPACK's info for a singular normal matrix (a\n"
        "control point with no data point in the support of its basis function);\n"
        "MemoryError.  P is unspecified after a failure of the solve.",
        "xp", "fp", "p", "U", "P");
    VIDEVO_CURVEKIT_DEF(ex, gdsplapp, gdsplapp,
        "Least-squares approximation with the first derivatives dy = (start, end)\n"
        "given at both ends: as gcsplapp, and P[1], P[-2] are set from the slopes\n"
        "(the interior control points are fitted with these values).\n\n"
        "Raises as gcsplapp, and ValueError for fewer than 4 control points.",
        "xp", "fp", "p", "U", "P", "dy");
}

}  // namespace videvo::curvekit
