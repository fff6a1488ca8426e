// Global interpolation: banded systems solved by LAPACK's dgbsv (gcsplint,
// gdsplint, gadsplint) and the cubic tridiagonal solver of the kernel
// (cdsplint).  The NURBS Book, section 9.2.
//
// Argument checks run with the interpreter lock held and raise before
// anything is written.  The size checks are AssertionErrors, made in every
// interpreter mode: they are what keeps the numeric part inside the arrays.
// The numeric part (matrix, right-hand side, solution) runs with the lock
// released and touches no Python object; its work arrays are created first.
#include "curvekit.h"
#include "lapack.h"

#include <basis.h>
#include <morvane.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstddef>
#include <memory>
#include <new>
#include <optional>
#include <string>

namespace videvo::curvekit {
namespace {

void require(bool ok, const char* message) {
    if (!ok) raise(PyExc_AssertionError, message);
}

// The basis functions of degree p on n + 1 control points need p <= n (a
// clamped knot vector has at least 2p + 2 knots); only then do spans and
// basis values stay inside U.
void require_degree_fits(int n, int p) {
    require(p <= n, "degree inconsistent with the number of data points");
}

template <class T>
std::unique_ptr<T[]> allocate(std::size_t count) {
    std::unique_ptr<T[]> a(new (std::nothrow) T[count]);
    if (!a) raise_memory();
    return a;
}

// Zeroed doubles for the band storage.  Large blocks are NumPy arrays: NumPy's
// allocator asks the system for huge pages there, which saves most of the page
// faults of a fresh block (about 15% of a million-point interpolation).  Small
// ones come from calloc, without a Python call.  Create with the lock held.
class ZeroedDoubles {
public:
    explicit ZeroedDoubles(std::size_t count) {
        if (count * sizeof(double) < (std::size_t{4} << 20)) {
            small_.reset(static_cast<double*>(std::calloc(count == 0 ? 1 : count, sizeof(double))));
            if (!small_) raise_memory();
            data_ = small_.get();
            return;
        }
        try {
            large_ = nb::module_::import_("numpy").attr("zeros")(count);
        } catch (nb::python_error& e) {
            if (e.matches(PyExc_MemoryError)) raise_memory();
            throw;
        }
        view_.emplace(large_, "AB", 1, Access::write);
        data_ = view_->vec().data;
    }

    double& operator[](std::size_t i) noexcept { return data_[i]; }
    double* get() noexcept { return data_; }

private:
    struct FreeDeleter {
        void operator()(double* p) const noexcept { std::free(p); }
    };
    std::unique_ptr<double[], FreeDeleter> small_;
    nb::object large_;
    std::optional<ArrayArg> view_;
    double* data_ = nullptr;
};

// The interpolation matrix A of order n + 1 in LAPACK's general band storage,
// kl = ku = p - 1: A[i][j] is ab[(kl + ku + i - j) + j * ldab], ldab = 3p - 2,
// column-major; the first kl rows stay zero for the fill-in of the
// factorisation.  An entry that the band cannot hold is dropped when it is
// exactly zero and recorded as a fault otherwise (the data do not suit the
// knot vector); the solver then does not run.
class BandSystem {
public:
    // Creates the work arrays: call with the lock held.
    BandSystem(int n, int p, const double* U) : n_(n), p_(p), kl_(p - 1), U_(U) {
        const long long ldab = 3LL * p - 2;
        const long long cells = ldab * (static_cast<long long>(n) + 1);
        // LAPACK indexes with 32-bit ints.
        if (ldab > INT_MAX || cells > INT_MAX - 1024) raise_memory();
        ldab_ = static_cast<int>(ldab);
        ab_.emplace(static_cast<std::size_t>(cells));
        ipiv_ = allocate<int>(static_cast<std::size_t>(n) + 1);
        const std::size_t M = static_cast<std::size_t>(p) + 1;
        left_ = allocate<double>(M);
        right_ = allocate<double>(M);
        N_ = allocate<double>(M);
    }

    // ---- numeric part: no Python object is touched ----

    // The sites x[0..count-1] whose rows follow: sorted sites find their
    // spans by walking on from the previous one.
    void expect_sites(const double* x, std::size_t count) noexcept {
        sorted_ = std::is_sorted(x, x + count);
        span_ = p_;
    }

    void put(int i, int j, double value) noexcept {
        const int offset = i - j;  // kl = ku
        if (j >= 0 && j <= n_ && offset >= -kl_ && offset <= kl_)
            (*ab_)[static_cast<std::size_t>(2 * kl_ + offset) + static_cast<std::size_t>(j) * ldab_] = value;
        else if (value != 0.0 && fault_row_ < 0)
            fault_row_ = i;
    }

    // The basis row of x into row i: A[i][s - p + j] = N(s - p + j, p)(x).
    void put_basis_row(int i, double x) noexcept {
        const int s = span_of(x);
        // The common degrees with the scheme unrolled.
        switch (p_) {
            case 2: videvo::basis_funs(s, x, 2, U_, left_.get(), right_.get(), N_.get()); break;
            case 3: videvo::basis_funs(s, x, 3, U_, left_.get(), right_.get(), N_.get()); break;
            case 4: videvo::basis_funs(s, x, 4, U_, left_.get(), right_.get(), N_.get()); break;
            case 5: videvo::basis_funs(s, x, 5, U_, left_.get(), right_.get(), N_.get()); break;
            default: videvo::basis_funs(s, x, p_, U_, left_.get(), right_.get(), N_.get()); break;
        }
        if (s - p_ >= i - kl_ && s <= i + kl_) {
            // The whole row lies in the band: consecutive columns of one row
            // are ldab - 1 apart.
            double* a = &at(i, s - p_);
            for (int j = 0; j <= p_; ++j) a[static_cast<std::ptrdiff_t>(j) * (ldab_ - 1)] = N_[j];
        } else {
            for (int j = 0; j <= p_; ++j) put(i, s - p_ + j, N_[j]);
        }
    }

    // Two equal consecutive abscissae xp[k - 1] = xp[k] (k = 1..r) ask for two
    // values at one parameter: the system is singular.  Exact elimination
    // meets a zero pivot at the row of xp[k], but rounding in the pivoted
    // band factorisation can hide it from dgbsv, which then returns a
    // meaningless solution.  When dgbsv finds no zero pivot, the row is
    // reported as dgbsv reports one: info = row + 1.  row_of(k) is the row of
    // xp[k].
    template <class RowOf>
    void find_repeated_point(const double* xp, int r, RowOf row_of) noexcept {
        for (int k = 1; k <= r; ++k)
            if (xp[k] == xp[k - 1]) {
                singular_info_ = row_of(k) + 1;
                return;
            }
    }

    // Solves A x = b, the solution replacing b[0..n]; `assemble` puts every
    // row of A and the right-hand side into b (the band starts zeroed).
    // B-spline collocation matrices are totally positive, and for those
    // banded Gaussian elimination without pivoting is stable (C. de Boor, "A
    // Practical Guide to Splines", chapter XIII); it costs a few operations
    // per row where LAPACK's pivoting band solver spends a function call per
    // column.  Where a pivot is not clearly non-zero (a singular or nearly
    // singular system) the system is assembled again and solved by dgbsv,
    // which then reports it.  Returns LAPACK's info, or else the info of a
    // repeated point; a matrix that left its band is not solved: a repeated
    // point, which also pushes rows out of the band, is then reported as the
    // cause.
    template <class Assemble>
    int solve(double* b, Assemble&& assemble) noexcept {
        assemble();
        if (fault_row_ >= 0) return singular_info_;
        if (singular_info_ == 0) {
            if (eliminate_without_pivoting(b)) return 0;
            std::fill(ab_->get(), ab_->get() + static_cast<std::size_t>(ldab_) * (n_ + 1), 0.0);
            assemble();
        }
        const int info = lapack::dgbsv(n_ + 1, kl_, kl_, 1, ab_->get(), ldab_, ipiv_.get(), b, n_ + 1);
        return info != 0 ? info : singular_info_;
    }

    // ---- with the lock held again ----

    // Raises for a failed solve or a recorded fault.
    void report(int info) const {
        // The message names dgesv for the band solver too: callers match it.
        if (info != 0)
            raise(PyExc_Exception, "'dgesv' LAPACK function failed with 'info' value: " + std::to_string(info));
        if (fault_row_ >= 0)
            raise(PyExc_ValueError, "'xp' does not suit the knot vector 'U': row " + std::to_string(fault_row_) +
                                        " of the interpolation matrix leaves its band");
    }

private:
    double& at(int i, int j) noexcept {
        return (*ab_)[static_cast<std::size_t>(2 * kl_ + i - j) + static_cast<std::size_t>(j) * ldab_];
    }

    // Forward elimination and back substitution in the band (kl = ku, no
    // fill-in without row exchanges).  False, with A and b changed, when a
    // pivot is not larger than 1e-12 times its row (NaN included).
    // With d the address of A[j][j], A[j + r][j + c] is d[r + c * (ldab - 1)]:
    // a column runs down in consecutive entries, a row steps by ldab - 1.
    bool eliminate_without_pivoting(double* b) noexcept {
        switch (kl_) {
            case 1: return eliminate<1>(b);
            case 2: return eliminate<2>(b);
            case 3: return eliminate<3>(b);
            case 4: return eliminate<4>(b);
            default: return eliminate<0>(b);
        }
    }

    // KL > 0: the band half-width as a constant (the loops unroll); 0: kl_.
    template <int KL>
    bool eliminate(double* b) noexcept {
        const int kl = KL > 0 ? KL : kl_;
        const std::ptrdiff_t step = 3 * kl;  // ldab - 1
        for (int j = 0; j <= n_; ++j) {
            double* d = &at(j, j);
            const int width = std::min(kl, n_ - j);
            double row = 0.0;
            for (int c = 0; c <= width; ++c) row = std::max(row, std::fabs(d[c * step]));
            const double pivot = d[0];
            if (!(std::fabs(pivot) > 1e-12 * row)) return false;
            for (int r = 1; r <= width; ++r) {
                const double factor = d[r] / pivot;
                if (factor == 0.0) continue;
                for (int c = 1; c <= width; ++c) d[r + c * step] -= factor * d[c * step];
                b[j + r] -= factor * b[j];
            }
        }
        for (int j = n_; j >= 0; --j) {
            const double* d = &at(j, j);
            const int width = std::min(kl, n_ - j);
            double sum = b[j];
            for (int c = 1; c <= width; ++c) sum -= d[c * step] * b[j + c];
            b[j] = sum / d[0];
        }
        return true;
    }

    // The span s in [p, n] with U[s] <= x < U[s+1], exactly: the last s with
    // U[s] <= x (The NURBS Book, A2.1, end of the domain in span n).  Not
    // FindSpan's tolerant span: that gives a site lying just below a knot,
    // within the closeness tolerance, the span right of the knot, whose
    // polynomial piece differs from the true basis values at the site by
    // about (distance / knot spacing)^p.  The system amplifies that error for
    // data points closer together than the tolerance (legitimate here), and
    // the last entry of such a row does not fit into the band.
    int span_of(double x) noexcept {
        if (sorted_) {
            while (span_ < n_ && U_[span_ + 1] <= x) ++span_;
        } else {
            span_ = static_cast<int>(std::upper_bound(U_ + p_ + 1, U_ + n_ + 1, x) - U_) - 1;
        }
        return span_;
    }

    int n_, p_, kl_, ldab_ = 0;
    const double* U_;
    bool sorted_ = true;
    int span_ = 0;
    std::optional<ZeroedDoubles> ab_;
    std::unique_ptr<double[]> left_, right_, N_;
    std::unique_ptr<int[]> ipiv_;
    int fault_row_ = -1;
    int singular_info_ = 0;
};

// Assembles and solves A with the interpreter lock released, then raises
// for a failure with the lock held again.
template <class Assemble>
void solve_released(BandSystem& A, double* b, Assemble&& assemble) {
    int info = 0;
    {
        nb::gil_scoped_release unlocked;
        info = A.solve(b, assemble);
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
    solve_released(A, P.data, [&] {
        A.expect_sites(xp.data, static_cast<std::size_t>(xp.size));
        A.put(0, 0, 1.0);
        A.put(n, n, 1.0);
        for (int k = 1; k < n; ++k) A.put_basis_row(k, xp[k]);
        A.find_repeated_point(xp.data, n, [](int k) { return k; });
        std::copy(fp.data, fp.data + fp.size, P.data);
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
    BandSystem A(n, p, U.data);
    solve_released(A, P.data, [&] {
        A.expect_sites(xp.data, static_cast<std::size_t>(xp.size));
        A.put(0, 0, 1.0);
        A.put(1, 0, -1.0);
        A.put(1, 1, 1.0);
        A.put(n - 1, n - 1, -1.0);
        A.put(n - 1, n, 1.0);
        A.put(n, n, 1.0);
        for (int k = 1; k < r; ++k) A.put_basis_row(k + 1, xp[k]);
        A.find_repeated_point(xp.data, r, [r, n](int k) { return k < r ? k + 1 : n; });
        // Rows 1 and n - 1: the end slopes of a clamped B-spline,
        // P1 - P0 = (u_{p+1} - u_0) / p * D0 and Pn - P(n-1) = (u_m - u_{m-p-1}) / p * D1.
        P[0] = fp[0];
        P[1] = (U[p + 1] - xp[0]) * dy.first / p;
        std::copy(fp.data + 1, fp.data + r, P.data + 2);
        P[n - 1] = (xp[r] - U[U.size - p - 2]) * dy.second / p;
        P[n] = fp[r];
    });
}

// Rows of the derivatives at the ends, from DersBasisFuns at the first and the
// last span.  Work arrays for derivative orders up to `orders`.
class EndDerivatives {
public:
    EndDerivatives(int p, int orders) : p_(p), M_(static_cast<std::size_t>(p) + 1) {
        ndu_ = allocate<double>(M_ * M_);
        a_ = allocate<double>(2 * M_);
        left_ = allocate<double>(M_);
        right_ = allocate<double>(M_);
        ders_ = allocate<double>((static_cast<std::size_t>(orders) + 1) * M_);
    }

    // Derivatives of orders 1..k at the start: A[1 + i][j] = N(j, p)^(i+1)(u),
    // j = 0..i + 1 (the others vanish there).
    void put_start(BandSystem& A, const double* U, double u, int k) noexcept {
        if (k == 0) return;
        derivatives(U, p_, u, k);
        for (int i = 0; i < k; ++i)
            for (int j = 0; j <= i + 1; ++j) A.put(1 + i, j, ders(i + 1, j));
    }

    // Derivatives of orders 1..l at the end, in rows n - 1 down to n - l:
    // A[n - 1 - i][n - t] = N(n - t, p)^(i+1)(u), t = 0..i + 1.
    void put_end(BandSystem& A, const double* U, double u, int n, int l) noexcept {
        if (l == 0) return;
        derivatives(U, n, u, l);
        for (int i = 0; i < l; ++i)
            for (int t = 0; t <= i + 1; ++t) A.put(n - 1 - i, n - t, ders(i + 1, p_ - t));
    }

private:
    void derivatives(const double* U, int span, double u, int order) noexcept {
        DersBasisFuns(&span, &u, &p_, &order, U, ndu_.get(), a_.get(), left_.get(), right_.get(), ders_.get());
    }
    double ders(int k, int j) const noexcept { return ders_[static_cast<std::size_t>(k) * M_ + j]; }

    int p_;
    std::size_t M_;
    std::unique_ptr<double[]> ndu_, a_, left_, right_, ders_;
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
    BandSystem A(n, p, U.data);
    EndDerivatives ends(p, std::max(k, l));
    solve_released(A, P.data, [&] {
        A.expect_sites(xp.data, static_cast<std::size_t>(xp.size));
        A.put(0, 0, 1.0);
        A.put(n, n, 1.0);
        ends.put_start(A, U.data, xp[0], k);
        for (int j = 1; j < r; ++j) A.put_basis_row(j + k, xp[j]);
        ends.put_end(A, U.data, xp[r], n, l);
        A.find_repeated_point(xp.data, r, [r, n, k](int j) { return j < r ? j + k : n; });
        // Row order: first point, derivatives 1..k at the start, interior
        // points, derivatives l..1 at the end, last point.
        P[0] = fp[0];
        std::copy(Ds.data, Ds.data + k, P.data + 1);
        std::copy(fp.data + 1, fp.data + r, P.data + k + 1);
        for (int i = 0; i < l; ++i) P[n - 1 - i] = De[i];
        P[n] = fp[r];
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
        SolveTridiagonal(&n, fp.data, U.data, P.data, &info);
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
        "does not increase; ZeroDivisionError when two interior abscissae coincide.",
        "xp", "fp", "U", "P", "dy");
}

}  // namespace videvo::curvekit
