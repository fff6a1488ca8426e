// Global interpolation: banded systems solved by elimination in the band, with
// LAPACK's dgbsv for the doubtful ones (gcsplint, gdsplint, gadsplint), and the
// cubic tridiagonal solver of the kernel (cdsplint).  The NURBS Book, section 9.2.
//
// Argument checks run with the interpreter lock held and raise before
// anything is written.  The size checks are AssertionErrors, made in every
// interpreter mode: they are what keeps the numeric part inside the arrays.
// The numeric part (matrix, right-hand side, solution) runs with the lock
// released and touches no Python object; its work arrays are created first.
#include "curvekit.h"
#include "lapack.h"

#include <basis.h>
#include <lanes.h>
#include <videvo/buffers.h>
#include <morvane.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
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

// The basis functions N(s - P..s, P) at kLanes sites x[] with their spans s[],
// one site per vector lane: N[l][j] = N(s[l] - P + j, P)(x[l]).  The
// operations of basis_funs (The NURBS Book, A2.2) in every lane.  The
// divisions, which dominate, run four at a time where the processor has AVX2,
// and two such vectors are in flight at once.
using videvo::Lanes;
constexpr int kGroups = 2;
constexpr int kLanes = 4 * kGroups;

template <int P>
VIDEVO_WIDE_CLONES void basis_in_lanes(const int* s, const double* x, const double* U, double (*N)[P + 1]) {
    Lanes left[kGroups][P + 1], right[kGroups][P + 1], T[kGroups][P + 1];
    for (int g = 0; g < kGroups; ++g) {
        const int* t = s + 4 * g;
        const Lanes u = {x[4 * g], x[4 * g + 1], x[4 * g + 2], x[4 * g + 3]};
        for (int j = 1; j <= P; ++j) {
            left[g][j] = u - Lanes{U[t[0] + 1 - j], U[t[1] + 1 - j], U[t[2] + 1 - j], U[t[3] + 1 - j]};
            right[g][j] = Lanes{U[t[0] + j], U[t[1] + j], U[t[2] + j], U[t[3] + j]} - u;
        }
        T[g][0] = Lanes{1.0, 1.0, 1.0, 1.0};
    }
    for (int j = 1; j <= P; ++j) {
        Lanes saved[kGroups] = {};
        for (int r = 0; r < j; ++r)
            for (int g = 0; g < kGroups; ++g) {
                const Lanes temp = T[g][r] / (right[g][r + 1] + left[g][j - r]);
                T[g][r] = saved[g] + right[g][r + 1] * temp;
                saved[g] = left[g][j - r] * temp;
            }
        for (int g = 0; g < kGroups; ++g) T[g][j] = saved[g];
    }
    for (int g = 0; g < kGroups; ++g)
        for (int l = 0; l < 4; ++l)
            for (int j = 0; j <= P; ++j) N[4 * g + l][j] = T[g][j][l];
}

// The interpolation matrix A of order n + 1, whose nonzero entries lie within
// kl = p - 1 of the diagonal, and its solution.  The rows come from a row
// function: rows(i) places the entries of row i with put(j, value) or
// put_basis(x) and returns the right-hand side of the row.  An entry that the
// band cannot hold is dropped when it is exactly zero and recorded as a fault
// otherwise (the data do not suit the knot vector); the system is then not
// solved.
//
// B-spline collocation matrices are totally positive, and for those banded
// Gaussian elimination without pivoting is stable (C. de Boor, "A Practical
// Guide to Splines", chapter XIII).  The rows are taken in blocks: a block is
// placed (the basis rows kLanes at a time, see basis_in_lanes), then each of its
// rows is eliminated against the finished rows above it.  Only the upper
// factor is kept, kl numbers per row: a third of LAPACK's band storage for
// cubics, written once and read once by the back substitution.  Where a pivot
// is not clearly non-zero (a singular or nearly singular system) the rows are
// placed again in LAPACK's general band storage and solved by dgbsv, which
// then reports the system.
class BandSystem {
public:
    // Creates the work arrays of the elimination: call with the lock held.
    BandSystem(int n, int p, const double* U) : n_(n), p_(p), kl_(p - 1), width_(2 * (p - 1) + 1), U_(U) {
        const std::size_t kl = static_cast<std::size_t>(kl_);
        const std::size_t rows = static_cast<std::size_t>(n) + 1;
        if (kl != 0 && rows > SIZE_MAX / sizeof(double) / kl) raise_memory();
        factor_ = Buffer::allocate(static_cast<std::int64_t>(kl * rows));
        block_ = allocate<double>(kBlock * static_cast<std::size_t>(width_));
        rhs_ = allocate<double>(kBlock);
        pending_x_ = allocate<double>(kBlock + kLanes);
        pending_row_ = allocate<int>(kBlock + kLanes);
        pending_span_ = allocate<int>(kBlock + kLanes);
        const std::size_t M = static_cast<std::size_t>(p) + 1;
        left_ = allocate<double>(M);
        right_ = allocate<double>(M);
        N_ = allocate<double>(kLanes * M);
    }

    // ---- numeric part: no Python object is touched ----

    // The sites x[0..count-1] of the basis rows, in row order: sorted sites
    // find their spans by walking on from the previous one.
    void expect_sites(const double* x, std::size_t count) noexcept { sorted_ = std::is_sorted(x, x + count); }

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

    // A[i][j] = value for the current row i.
    void put(int j, double value) noexcept {
        const int offset = j - row_;
        if (j >= 0 && j <= n_ && offset >= -kl_ && offset <= kl_)
            cell(j) = value;
        else if (value != 0.0)
            record_fault(row_);
    }

    // The basis row of x: A[i][s - p + j] = N(s - p + j, p)(x).  Placed when
    // its block is complete (in LAPACK's storage: at once).
    void put_basis(double x) noexcept {
        if (lapack_) {
            const int s = span_of(x);
            videvo::basis_funs(s, x, p_, U_, left_.get(), right_.get(), N_.get());
            put_basis_values(s, N_.get());
            return;
        }
        pending_x_[pending_] = x;
        pending_row_[pending_] = row_;
        ++pending_;
    }

    // Solves A x = b, the solution replacing b[0..n].  Returns LAPACK's info,
    // or else the info of a repeated point; a matrix that left its band is not
    // solved: a repeated point, which also pushes rows out of the band, is then
    // reported as the cause.
    template <class Rows>
    int solve(double* b, Rows&& rows) noexcept {
        if (singular_info_ == 0) {
            bool solved;
            switch (kl_) {
                case 1: solved = eliminate<1>(b, rows); break;
                case 2: solved = eliminate<2>(b, rows); break;
                case 3: solved = eliminate<3>(b, rows); break;
                case 4: solved = eliminate<4>(b, rows); break;
                default: solved = eliminate<0>(b, rows); break;
            }
            if (solved || fault_row_ >= 0) return 0;
        }
        return solve_with_lapack(b, rows);
    }

    // ---- with the lock held again ----

    // Raises for a failed solve or a recorded fault.
    void report(int info) const {
        if (out_of_memory_) raise_memory();
        // The message names dgesv for the band solver too: callers match it.
        if (info != 0)
            raise(PyExc_Exception, "'dgesv' LAPACK function failed with 'info' value: " + std::to_string(info));
        if (fault_row_ >= 0)
            raise(PyExc_ValueError, "'xp' does not suit the knot vector 'U': row " + std::to_string(fault_row_) +
                                        " of the interpolation matrix leaves its band");
    }

private:
    static constexpr std::size_t kBlock = 64;

    // Row row_, column j: the row's line of the block (columns row_ - kl to
    // row_ + kl), or LAPACK's band storage (kl = ku, ldab = 3 kl + 1, the
    // first kl rows left for the fill-in of the factorisation):
    // A[i][j] = ab[(2 kl + i - j) + j * ldab], column-major.
    double& cell(int j) noexcept {
        if (!lapack_) return line_[j - row_];
        return ab_[static_cast<std::size_t>(2 * kl_ + row_ - j) + static_cast<std::size_t>(j) * ldab_];
    }

    void select_row(int i) noexcept {
        row_ = i;
        if (!lapack_) line_ = block_.get() + static_cast<std::size_t>(i - first_) * width_ + kl_;
    }

    // The first faulty row is reported.
    void record_fault(int row) noexcept {
        if (fault_row_ < 0 || row < fault_row_) fault_row_ = row;
    }

    // N[0..p] = N(s - p..s, p) into the current row.
    void put_basis_values(int s, const double* N) noexcept {
        // s lies in [p, n]: the columns s - p..s exist.
        if (s - p_ >= row_ - kl_ && s <= row_ + kl_) {
            // Consecutive columns of one row: next to each other in a block
            // line, ldab - 1 apart in LAPACK's storage.
            const std::ptrdiff_t step = lapack_ ? ldab_ - 1 : 1;
            double* a = &cell(s - p_);
            for (int j = 0; j <= p_; ++j) a[j * step] = N[j];
        } else {
            for (int j = 0; j <= p_; ++j) put(s - p_ + j, N[j]);
        }
    }

    // Places rows first_..first_ + count - 1 into the block: the row
    // function's entries, then the basis rows it asked for.
    template <class Rows>
    void place_block(int count, Rows& rows) noexcept {
        std::fill(block_.get(), block_.get() + static_cast<std::size_t>(count) * width_, 0.0);
        pending_ = 0;
        for (int k = 0; k < count; ++k) {
            select_row(first_ + k);
            rhs_[k] = rows(first_ + k);
        }
        if (pending_ == 0) return;
        for (int q = 0; q < pending_; ++q) pending_span_[q] = span_of(pending_x_[q]);
        switch (p_) {
            case 2: place_basis_rows<2>(); break;
            case 3: place_basis_rows<3>(); break;
            case 4: place_basis_rows<4>(); break;
            case 5: place_basis_rows<5>(); break;
            default: place_basis_rows<0>(); break;
        }
    }

    // P > 0: the degree as a constant, the sites kLanes at a time; 0: one by one.
    template <int P>
    void place_basis_rows() noexcept {
        if constexpr (P == 0) {
            for (int q = 0; q < pending_; ++q) {
                const int s = pending_span_[q];
                videvo::basis_funs(s, pending_x_[q], p_, U_, left_.get(), right_.get(), N_.get());
                select_row(pending_row_[q]);
                put_basis_values(s, N_.get());
            }
        } else {
            // The last group repeats its last site in the unused lanes.
            for (int q = pending_; q % kLanes != 0; ++q) {
                pending_x_[q] = pending_x_[pending_ - 1];
                pending_span_[q] = pending_span_[pending_ - 1];
            }
            auto* N = reinterpret_cast<double(*)[P + 1]>(N_.get());
            for (int q = 0; q < pending_; q += kLanes) {
                basis_in_lanes<P>(&pending_span_[q], &pending_x_[q], U_, N);
                for (int l = 0; l < kLanes && q + l < pending_; ++l) {
                    select_row(pending_row_[q + l]);
                    put_basis_values(pending_span_[q + l], N[l]);
                }
            }
        }
    }

    // Elimination of the blocks, then back substitution.  Row i, in its block
    // line w[-kl..kl] (columns i - kl..i + kl), loses its entries left of the
    // diagonal against the finished rows above it; what remains, divided by
    // the pivot, is row i of the upper factor: F[i kl + c - 1] = U(i, i + c) /
    // U(i, i), c = 1..kl (no fill-in beyond the band without row exchanges).
    // The right-hand side follows along in b.  False when a row leaves the
    // band or a pivot is not larger than 1e-12 times its row (NaN included); b
    // is changed then.  KL > 0: the band half-width as a constant (the loops
    // unroll, and the factor rows above stay in registers); 0: kl_.
    template <int KL, class Rows>
    bool eliminate(double* b, Rows& rows) noexcept {
        const int kl = KL > 0 ? KL : kl_;
        double* F = factor_.get();
        // above[t] and b_above[t]: the factor row and solution entry of row
        // i - 1 - t (zero above row 0, where the block lines hold zeros).
        double above[KL > 0 ? KL : 1][KL > 0 ? KL : 1] = {};
        double b_above[KL > 0 ? KL : 1] = {};
        span_ = p_;
        for (first_ = 0; first_ <= n_; first_ += static_cast<int>(kBlock)) {
            const int count = std::min(static_cast<int>(kBlock), n_ + 1 - first_);
            place_block(count, rows);
            if (fault_row_ >= 0) return false;
            for (int k = 0; k < count; ++k) {
                const int i = first_ + k;
                double* w = block_.get() + static_cast<std::size_t>(k) * width_ + kl;
                double rhs = rhs_[k];
                // Columns i - kl..i - 1, the leftmost first.
                for (int t = kl - 1; t >= 0; --t) {
                    const double f = w[-1 - t];
                    if constexpr (KL > 0) {
                        for (int c = 1; c <= KL; ++c) w[-1 - t + c] -= f * above[t][c - 1];
                        rhs -= f * b_above[t];
                    } else {
                        if (f == 0.0) continue;  // also every column left of 0
                        const double* u = F + static_cast<std::ptrdiff_t>(i - 1 - t) * kl;
                        for (int c = 1; c <= kl; ++c) w[-1 - t + c] -= f * u[c - 1];
                        rhs -= f * b[i - 1 - t];
                    }
                }
                double row = 0.0;
                for (int c = 0; c <= kl; ++c) row = std::max(row, std::fabs(w[c]));
                const double pivot = w[0];
                if (!(std::fabs(pivot) > 1e-12 * row)) return false;
                const double inverse = 1.0 / pivot;
                double* f = F + static_cast<std::ptrdiff_t>(i) * kl;
                for (int c = 1; c <= kl; ++c) f[c - 1] = w[c] * inverse;
                b[i] = rhs * inverse;
                if constexpr (KL > 0) {
                    for (int t = KL - 1; t > 0; --t) {
                        for (int c = 0; c < KL; ++c) above[t][c] = above[t - 1][c];
                        b_above[t] = b_above[t - 1];
                    }
                    for (int c = 0; c < KL; ++c) above[0][c] = f[c];
                    b_above[0] = b[i];
                }
            }
        }
        // Back substitution; the factor entries right of column n are zero.
        if constexpr (KL > 0) {
            double below[KL] = {};  // the solution at rows i + 1..i + KL
            for (int i = n_; i >= 0; --i) {
                const double* f = F + static_cast<std::ptrdiff_t>(i) * KL;
                double sum = b[i];
                for (int c = KL; c >= 1; --c) sum -= f[c - 1] * below[c - 1];
                for (int c = KL - 1; c > 0; --c) below[c] = below[c - 1];
                below[0] = b[i] = sum;
            }
        } else {
            for (int i = n_; i >= 0; --i) {
                const double* f = F + static_cast<std::ptrdiff_t>(i) * kl;
                const int width = std::min(kl, n_ - i);
                double sum = b[i];
                for (int c = width; c >= 1; --c) sum -= f[c - 1] * b[i + c];
                b[i] = sum;
            }
        }
        return true;
    }

    // The whole system in LAPACK's band storage, solved by dgbsv.  The
    // storage is taken here, without the lock: a failure to get it is
    // reported as a lack of memory.
    template <class Rows>
    int solve_with_lapack(double* b, Rows& rows) noexcept {
        const long long ldab = 3LL * kl_ + 1;
        const long long cells = ldab * (static_cast<long long>(n_) + 1);
        // LAPACK indexes with 32-bit ints.
        if (cells <= INT_MAX - 1024) {
            ab_.reset(static_cast<double*>(std::calloc(static_cast<std::size_t>(cells), sizeof(double))));
            ipiv_.reset(static_cast<int*>(std::malloc((static_cast<std::size_t>(n_) + 1) * sizeof(int))));
        }
        if (!ab_ || !ipiv_) {
            out_of_memory_ = true;
            return 0;
        }
        ldab_ = static_cast<int>(ldab);
        lapack_ = true;
        span_ = p_;
        fault_row_ = -1;
        for (int i = 0; i <= n_; ++i) {
            select_row(i);
            b[i] = rows(i);
        }
        if (fault_row_ >= 0) return singular_info_;
        const int info = lapack::dgbsv(n_ + 1, kl_, kl_, 1, ab_.get(), ldab_, ipiv_.get(), b, n_ + 1);
        return info != 0 ? info : singular_info_;
    }

    // The span s in [p, n] with U[s] <= x < U[s+1], exactly: the last s with
    // U[s] <= x (The NURBS Book, A2.1, end of the domain in span n).  Not
    // FindSpan's tolerant span: that gives a site lying just below a knot,
    // within the closeness tolerance, the span right of the knot, whose
    // polynomial piece differs from the true basis values at the site by
    // about (distance / knot spacing)^p.  The system amplifies that error for
    // data points closer together than the tolerance (legitimate here), and
    // the last entry of such a row does not fit into the band.
    //
    // Sorted sites usually move on by a knot or two: both steps are tested
    // at once, without a branch, while the third knot lies right of x.
    int span_of(double x) noexcept {
        if (sorted_) {
            while (span_ + 3 <= n_) {
                const int one = U_[span_ + 1] <= x, two = U_[span_ + 2] <= x;
                if (!(U_[span_ + 3] <= x)) return span_ += one + two;
                span_ += 3;
            }
            while (span_ < n_ && U_[span_ + 1] <= x) ++span_;
        } else {
            span_ = static_cast<int>(std::upper_bound(U_ + p_ + 1, U_ + n_ + 1, x) - U_) - 1;
        }
        return span_;
    }

    struct FreeDeleter {
        void operator()(void* p) const noexcept { std::free(p); }
    };

    int n_, p_, kl_, width_, ldab_ = 0;
    const double* U_;
    bool sorted_ = true;
    bool lapack_ = false;
    bool out_of_memory_ = false;
    int span_ = 0;
    int row_ = 0;
    int first_ = 0;      // the first row of the block
    double* line_ = nullptr;  // the current row's line in the block, at its diagonal
    int pending_ = 0;    // basis rows waiting in the block
    Buffer factor_;
    std::unique_ptr<double[]> block_, rhs_, pending_x_, left_, right_, N_;
    std::unique_ptr<int[]> pending_row_, pending_span_;
    std::unique_ptr<double[], FreeDeleter> ab_;
    std::unique_ptr<int[], FreeDeleter> ipiv_;
    int fault_row_ = -1;
    int singular_info_ = 0;
};

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
            A.expect_sites(xp.data, static_cast<std::size_t>(xp.size));
            A.find_repeated_point(xp.data, n, [](int k) { return k; });
        },
        [&](int i) -> double {
            // The end points are the end control points; row i of the others
            // is the basis row of xp[i].
            if (i == 0 || i == n)
                A.put(i, 1.0);
            else
                A.put_basis(xp[i]);
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
            A.expect_sites(xp.data, static_cast<std::size_t>(xp.size));
            A.find_repeated_point(xp.data, r, [r, n](int k) { return k < r ? k + 1 : n; });
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
            if (i == n) {
                A.put(n, 1.0);
                return fp[r];
            }
            A.put_basis(xp[i - 1]);
            return fp[i - 1];
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
            A.expect_sites(xp.data, static_cast<std::size_t>(xp.size));
            A.find_repeated_point(xp.data, r, [r, n, k](int j) { return j < r ? j + k : n; });
            ends.compute(U.data, xp[0], xp[r], n);
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
            if (i >= n - l) {
                ends.put_end(A, n, n - 1 - i);
                return De[n - 1 - i];
            }
            A.put_basis(xp[i - k]);
            return fp[i - k];
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
        SolveTridiagonalInPlace(&n, fp.data, U.data, P.data, &info);
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
