// Global interpolation: banded systems solved by elimination in the band, with
// LAPACK's dgbsv for the doubtful ones (gcsplint, gdsplint, gadsplint), and the
// cubic tridiagonal solver of the kernel (cdsplint).  The NURBS Book, section 9.2.
//
// Argument checks run with the interpreter lock held and raise before
// anything is written.  The size checks are AssertionErrors, made in every
// interpreter mode: they are what keeps the numeric part inside the arrays.
// The numeric part (matrix, right-hand side, solution) runs with the lock
// released and touches no Python object; its work arrays are created first.
#include "band_system.h"
#include "curvekit.h"

#include <morvane.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <string>

namespace videvo::curvekit {
namespace {

// The basis functions of degree p on n + 1 control points need p <= n (a
// clamped knot vector has at least 2p + 2 knots); only then do spans and
// basis values stay inside U.
void require_degree_fits(int n, int p) {
    require(p <= n, "degree inconsistent with the number of data points");
}

// Prescribed end derivatives: a NaN or an infinity would spread through the
// whole solve and come back as a curve of NaN.
void require_finite(CVec values, const char* name) {
    for (Py_ssize_t i = 0; i < values.size; ++i)
        if (!std::isfinite(values[i])) bad_argument(name, "must hold finite numbers");
}

void require_finite(Pair dy) {
    const double both[2] = {dy.first, dy.second};
    require_finite(CVec(both, 2), "dy");
}

using band::BandSystem;

// Solves A with the interpreter lock released (`prepare` runs first, then
// the rows come from `rows`), then raises for a failure with the lock held
// again.
template <class Prepare, class Rows>
void solve_released(BandSystem& A, double* b, Prepare&& prepare, Rows&& rows) {
    int info = 0;
    {
        nb::gil_scoped_release unlocked;
        prepare();
        info = A.solve(b, rows);
    }
    A.report(info);
}

void gcsplint(CVec xp, CVec fp, int p, CVec U, Vec P) {
    require(fp.size == xp.size, "xp and fp must have same dimension");
    require(P.size == fp.size, "P dimension must be: len(xp)");
    require(p > 1, "p must be greater than 1");
    require(U.size == xp.size + p + 1, "U dimension must be: len(xp) + p + 1");
    require(xp.size > 0, "xp must not be empty");
    const int n = xp.last();
    if (n >= 2) require_degree_fits(n, p);
    BandSystem A(n, p, U.data);
    solve_released(
        A, P.data,
        [&] {
            A.scan_sites(xp.data, n, [](int k) { return k; });
            // Row i of the inner points is the basis row of xp[i].
            A.basis_rows(1, n - 1, xp.data + 1, fp.data + 1);
        },
        [&](int i) -> double {
            // The end points are the end control points.
            A.put(i, 1.0);
            return fp[i];
        });
}

void gdsplint(CVec xp, CVec fp, int p, CVec U, Vec P, OptDy dy_arg) {
    require(fp.size == xp.size, "xp and fp must have same dimension");
    require(P.size == xp.size + 2, "P dimension must be: len(xp) + 2");
    require(p > 1, "p must be greater than 1");
    require(U.size == xp.size + p + 3, "U dimension must be: len(xp) + p + 3");
    require(xp.size >= 2, "xp must have at least 2 points");
    const int r = xp.last();
    const int n = r + 2;
    if (r >= 2) require_degree_fits(n, p);
    const Pair dy = dy_arg.get();
    require_finite(dy);
    BandSystem A(n, p, U.data);
    solve_released(
        A, P.data,
        [&] {
            A.scan_sites(xp.data, r, [r, n](int k) { return k < r ? k + 1 : n; });
            // Rows 2..n - 2: the basis rows of the inner points xp[1..r - 1].
            A.basis_rows(2, n - 2, xp.data + 1, fp.data + 1);
        },
        [&](int i) -> double {
            // Rows 1 and n - 1: the end slopes of a clamped B-spline,
            // P1 - P0 = (u_{p+1} - u_0) / p * D0 and Pn - P(n-1) = (u_m - u_{m-p-1}) / p * D1.
            if (i == 0) {
                A.put(0, 1.0);
                return fp[0];
            }
            if (i == 1) {
                A.put(0, -1.0);
                A.put(1, 1.0);
                return (U[p + 1] - xp[0]) * dy.first / p;
            }
            if (i == n - 1) {
                A.put(n - 1, -1.0);
                A.put(n, 1.0);
                return (xp[r] - U[U.size - p - 2]) * dy.second / p;
            }
            A.put(n, 1.0);
            return fp[r];
        });
}

// Rows of the derivatives at the ends, from DersBasisFuns at the first and the
// last span: k orders at the start, l at the end.
class EndDerivatives {
public:
    // Creates the work arrays: call with the lock held.
    EndDerivatives(int p, int k, int l) : p_(p), k_(k), l_(l), M_(static_cast<std::size_t>(p) + 1) {
        ndu_ = allocate<double>(M_ * M_);
        a_ = allocate<double>(2 * M_);
        left_ = allocate<double>(M_);
        right_ = allocate<double>(M_);
        start_ = allocate<double>((static_cast<std::size_t>(k) + 1) * M_);
        end_ = allocate<double>((static_cast<std::size_t>(l) + 1) * M_);
    }

    // The basis derivatives at u0 (span p) and at u1 (span n).
    void compute(const double* U, double u0, double u1, int n) noexcept {
        if (k_ > 0) derivatives(U, p_, u0, k_, start_.get());
        if (l_ > 0) derivatives(U, n, u1, l_, end_.get());
    }

    // Row of the derivative of order i + 1 at the start (row 1 + i):
    // A[1 + i][j] = N(j, p)^(i+1)(u0), j = 0..i + 1 (the others vanish there).
    void put_start(BandSystem& A, int i) const noexcept {
        for (int j = 0; j <= i + 1; ++j) A.put(j, at(start_, i + 1, j));
    }

    // Row of the derivative of order i + 1 at the end (row n - 1 - i):
    // A[n - 1 - i][n - t] = N(n - t, p)^(i+1)(u1), t = 0..i + 1.
    void put_end(BandSystem& A, int n, int i) const noexcept {
        for (int t = 0; t <= i + 1; ++t) A.put(n - t, at(end_, i + 1, p_ - t));
    }

private:
    void derivatives(const double* U, int span, double u, int order, double* ders) noexcept {
        DersBasisFuns(&span, &u, &p_, &order, U, ndu_.get(), a_.get(), left_.get(), right_.get(), ders);
    }
    double at(const std::unique_ptr<double[]>& ders, int order, int j) const noexcept {
        return ders[static_cast<std::size_t>(order) * M_ + j];
    }

    int p_, k_, l_;
    std::size_t M_;
    std::unique_ptr<double[]> ndu_, a_, left_, right_, start_, end_;
};

void gadsplint(CVec xp, CVec fp, int p, CVec Ds, CVec De, CVec U, Vec P) {
    require(fp.size == xp.size, "xp and fp must have same dimension");
    require(P.size == xp.size + Ds.size + De.size, "P dimension must be: len(xp) + len(Ds) + len(De)");
    require(p > 1, "p must be greater than 1");
    require(std::max(Ds.size, De.size) < p, "the maximum constrained derivative must be less than 'p'");
    require(U.size == P.size + p + 1, "U dimension must be: len(P) + p + 1");
    require(xp.size > 0, "xp must not be empty");
    const int k = static_cast<int>(Ds.size);
    const int l = static_cast<int>(De.size);
    // With one data point the start and end conditions would share rows.
    if (k + l > 0) require(xp.size >= 2, "xp must have at least 2 points");
    const int r = xp.last();
    const int n = r + k + l;
    if (r >= 2 || k + l > 0) require_degree_fits(n, p);
    require_finite(Ds, "Ds");
    require_finite(De, "De");
    BandSystem A(n, p, U.data);
    EndDerivatives ends(p, k, l);
    solve_released(
        A, P.data,
        [&] {
            A.scan_sites(xp.data, r, [r, n, k](int j) { return j < r ? j + k : n; });
            ends.compute(U.data, xp[0], xp[r], n);
            // Rows k + 1..n - l - 1: the basis rows of the inner points xp[1..r - 1].
            A.basis_rows(k + 1, n - l - 1, xp.data + 1, fp.data + 1);
        },
        [&](int i) -> double {
            // Row order: first point, derivatives 1..k at the start, interior
            // points, derivatives l..1 at the end, last point.
            if (i == 0 || i == n) {
                A.put(i, 1.0);
                return i == 0 ? fp[0] : fp[r];
            }
            if (i <= k) {
                ends.put_start(A, i - 1);
                return Ds[i - 1];
            }
            ends.put_end(A, n, n - 1 - i);
            return De[n - 1 - i];
        });
}

void cdsplint(CVec xp, CVec fp, Vec U, Vec P, OptDy dy_arg) {
    require(fp.size == xp.size, "xp and fp must have same dimension");
    require(P.size == xp.size + 2, "P dimension must be: len(xp) + 2");
    require(U.size == xp.size + 6, "U dimension must be: len(xp) + 6");
    const int n = xp.last();
    // The tridiagonal solver's own first check (fewer than 4 points), made
    // before U and P are written.
    if (n <= 2) check_info(-1);
    const Pair dy = dy_arg.get();
    require_finite(dy);
    int info = 0;
    {
        nb::gil_scoped_release unlocked;
        // The interior knots are the interior abscissae: U[4..n+2] = xp[1..n-1].
        std::fill(U.data, U.data + 4, xp[0]);
        std::copy(xp.data + 1, xp.data + n + 1, U.data + 4);
        std::fill(U.data + n + 3, U.data + n + 7, xp[n]);
        P[0] = fp[0];
        P[n + 2] = fp[n];
        P[1] = P[0] + (U[4] - xp[0]) * dy.first / 3;
        P[n + 1] = P[n + 2] - (xp[n] - U[n + 2]) * dy.second / 3;
        SolveTridiagonalInPlace(&n, xp.data, fp.data, U.data, P.data, &info);
    }
    check_info(info);
}

}  // namespace

void register_interpolation(Exporter& ex) {
    VIDEVO_CURVEKIT_DEF(ex, gcsplint, gcsplint,
        "Global interpolation: fill P with the control points of the B-spline of\n"
        "degree p on the knot vector U that passes through (xp[k], fp[k]).\n\n"
        "U is placed beforehand, usually with averaging(xp, p, U), and has\n"
        "len(xp) + p + 1 knots; P has len(xp) entries.  The banded system is solved\n"
        "by elimination in the band (LAPACK's dgbsv where a pivot is not clearly\n"
        "non-zero) with the interpreter lock released.\n\n"
        "Raises AssertionError (in every interpreter mode) for arrays of the wrong\n"
        "sizes, p < 2, an empty xp, or more than 2 points with p > len(xp) - 1;\n"
        "ValueError when xp does not suit U (a row leaves the band of the system);\n"
        "Exception with LAPACK's info for a singular system: always for two equal\n"
        "consecutive abscissae (info = 1 + the row of the second one when rounding\n"
        "hides the zero pivot from the factorisation); MemoryError when the band\n"
        "storage cannot be allocated.  P is unspecified after a failure.",
        "xp", "fp", "p", "U", "P");
    VIDEVO_CURVEKIT_DEF(ex, gdsplint, gdsplint,
        "Global interpolation with the first derivatives dy = (start, end) given at\n"
        "both ends: fill P (len(xp) + 2 entries) for the knot vector U of\n"
        "len(xp) + p + 3 knots, usually placed with averaging2(xp, p, U).\n\n"
        "Raises as gcsplint; xp needs at least 2 points.",
        "xp", "fp", "p", "U", "P", "dy");
    VIDEVO_CURVEKIT_DEF(ex, gadsplint, gadsplint,
        "Global interpolation with derivatives given at the ends: Ds[i] is the\n"
        "derivative of order i + 1 at xp[0], De[i] the one at xp[-1].  Fills P\n"
        "(len(xp) + len(Ds) + len(De) entries) for the knot vector U of len(P) + p + 1\n"
        "knots, usually placed with averaging3(xp, p, len(Ds), len(De), U).\n\n"
        "Raises as gcsplint, and AssertionError when max(len(Ds), len(De)) >= p or\n"
        "when derivatives are given with fewer than 2 points.",
        "xp", "fp", "p", "Ds", "De", "U", "P");
    VIDEVO_CURVEKIT_DEF(ex, cdsplint, cdsplint,
        "Cubic interpolation with the first derivatives dy = (start, end) given at\n"
        "both ends, by the tridiagonal algorithm.  Writes the knot vector U\n"
        "(len(xp) + 6 knots: the interior abscissae are the interior knots) and the\n"
        "control points P (len(xp) + 2 entries).\n\n"
        "Raises AssertionError (in every interpreter mode) for arrays of the wrong\n"
        "sizes; ValueError with status -1 for fewer than 4 points and -3 when xp\n"
        "does not increase; ZeroDivisionError when two interior abscissae coincide.\n"
        "P is unspecified after a failure.",
        "xp", "fp", "U", "P", "dy");
}

}  // namespace videvo::curvekit
