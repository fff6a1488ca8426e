// The banded interpolation system of the global interpolations (The NURBS
// Book, section 9.2), solved by elimination in the band; LAPACK's dgbsv takes
// the doubtful ones.  Included by interpolation.cpp only.
#pragma once

#include "curvekit.h"
#include "lapack.h"

#include <basis.h>
#include <lanes.h>
#include <videvo/buffers.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace videvo::curvekit::band {

// The basis functions N(s - P..s, P) at kLanes sites x[] with their spans s[],
// one site per vector lane: N[l * (3P - 3) + j] = N(s[l] - P + j, P)(x[l]), so
// that each site's values have room for P - 2 zeros on either side.
// The operations of basis_funs (The NURBS Book, A2.2) in every lane.  The
// divisions, which dominate, run four at a time where the processor has AVX2,
// and two such vectors are in flight at once.
using videvo::Lanes;
constexpr int kGroups = 2;
constexpr int kLanes = 4 * kGroups;

template <int P>
VIDEVO_WIDE_CLONES void basis_in_lanes(const int* s, const double* x, const double* U, double* N) {
    constexpr int stride = 3 * P - 3;
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
            for (int j = 0; j <= P; ++j) N[(4 * g + l) * stride + j] = T[g][j][l];
}

// The interpolation matrix A of order n + 1, whose nonzero entries lie within
// kl = p - 1 of the diagonal, and its solution.  Most rows are basis rows,
// given as one run: row i of rows first..last is the basis row of site
// x[i - first], A[i][s - p + j] = N(s - p + j, p)(x[i - first]), with the
// right-hand side f[i - first].  The other rows come from a row function:
// rows(i) places the entries of row i with put(j, value) and returns its
// right-hand side.  An entry that the band cannot hold is dropped when it is
// exactly zero and recorded as a fault otherwise (the data do not suit the
// knot vector); the system is then not solved.
//
// B-spline collocation matrices are totally positive, and for those banded
// Gaussian elimination without pivoting is stable (C. de Boor, "A Practical
// Guide to Splines", chapter XIII).  The rows are taken in blocks of kBlock,
// and the elimination of a block places the next one meanwhile, a basis row
// per row eliminated: the span walk and the basis values (kLanes sites at a
// time, see basis_in_lanes) fill the time that the chain of dependent
// divisions of the elimination leaves idle.  Each line of a block is written
// whole by its placement, so the blocks are never cleared.  Only the upper
// factor is kept, kl numbers per row: a third of LAPACK's band storage for
// cubics, written once and read once by the back substitution.  Where a pivot
// is not clearly non-zero (a singular or nearly singular system) the rows are
// placed again in LAPACK's general band storage and solved by dgbsv, which
// then reports the system.
class BandSystem {
public:
    // Creates the work arrays of the elimination: call with the lock held.
    BandSystem(int n, int p, const double* U)
        : n_(n), p_(p), kl_(p - 1), width_(2 * (p - 1) + 1), pad_(p - 2), U_(U) {
        const std::size_t kl = static_cast<std::size_t>(kl_);
        const std::size_t rows = static_cast<std::size_t>(n) + 1;
        if (kl != 0 && rows > SIZE_MAX / sizeof(double) / kl) raise_memory();
        factor_ = Buffer::allocate(static_cast<std::int64_t>(kl * rows));
        lines_ = allocate<double>(2 * kBlock * static_cast<std::size_t>(width_));
        rhs_ = allocate<double>(2 * kBlock);
        for (int k = 0; k < 2; ++k)
            stages_[k] = Stage{lines_.get() + static_cast<std::size_t>(k) * kBlock * width_, rhs_.get() + k * kBlock};
        const std::size_t M = static_cast<std::size_t>(p) + 1;
        left_ = allocate<double>(M);
        right_ = allocate<double>(M);
        // Room for p - 2 zeros on either side of the values (see write_line).
        const std::size_t padded = M + 2 * static_cast<std::size_t>(pad_);
        N_ = allocate<double>(padded);
        std::fill(N_.get(), N_.get() + padded, 0.0);
    }

    // ---- numeric part: no Python object is touched ----

    // Rows first..last are the basis rows of x[0..last - first], with the
    // right-hand sides f[0..last - first] (none when last < first).
    void basis_rows(int first, int last, const double* x, const double* f) noexcept {
        run_first_ = first;
        run_end_ = std::max(first, last + 1);
        sites_ = x;
        values_ = f;
    }

    // The abscissae xp[0..r], in row order, looked through once.  Sorted ones
    // let the basis rows find their spans by walking on from the previous one.
    // Two equal consecutive abscissae xp[k - 1] = xp[k] ask for two values at
    // one parameter: the system is singular.  Exact elimination meets a zero
    // pivot at the row of xp[k], but rounding in the pivoted band
    // factorisation can hide it from dgbsv, which then returns a meaningless
    // solution.  When dgbsv finds no zero pivot, the row is reported as dgbsv
    // reports one: info = row + 1.  row_of(k) is the row of xp[k].
    template <class RowOf>
    void scan_sites(const double* xp, int r, RowOf row_of) noexcept {
        bool sorted = true;
        int repeated = 0;
        for (int k = 1; k <= r; ++k) {
            sorted &= !(xp[k] < xp[k - 1]);
            if (xp[k] == xp[k - 1] && repeated == 0) repeated = k;
        }
        sorted_ = sorted;
        if (repeated > 0) singular_info_ = row_of(repeated) + 1;
    }

    // A[i][j] = value for the current row i.
    void put(int j, double value) noexcept {
        if (!lapack_ && !row_cleared_) clear_line();
        const int offset = j - row_;
        if (j >= 0 && j <= n_ && offset >= -kl_ && offset <= kl_)
            cell(j) = value;
        else if (value != 0.0)
            record_fault(row_);
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
    static constexpr int kBlock = 64;

    // A block of rows first..first + count - 1: its lines (width_ numbers
    // each, the diagonal at kl_) and right-hand sides.
    struct Stage {
        double* lines = nullptr;
        double* rhs = nullptr;
        int first = 0, count = 0;
    };

    // Row row_, column j: the row's line in the block being placed, or
    // LAPACK's band storage (kl = ku, ldab = 3 kl + 1, the first kl rows left
    // for the fill-in of the factorisation): A[i][j] = ab[(2 kl + i - j) + j *
    // ldab], column-major.
    double& cell(int j) noexcept {
        if (!lapack_) return line_[j - row_];
        return ab_[static_cast<std::size_t>(2 * kl_ + row_ - j) + static_cast<std::size_t>(j) * ldab_];
    }

    void select_row(int i) noexcept {
        row_ = i;
        row_cleared_ = false;
        if (!lapack_) line_ = line_of(*placing_, i) + kl_;
    }

    double* line_of(const Stage& st, int i) const noexcept {
        return st.lines + static_cast<std::size_t>(i - st.first) * width_;
    }

    void clear_line() noexcept {
        std::fill(line_ - kl_, line_ + kl_ + 1, 0.0);
        row_cleared_ = true;
    }

    // The first faulty row is reported.
    void record_fault(int row) noexcept {
        if (fault_row_ < 0 || row < fault_row_) fault_row_ = row;
    }

    // N[0..p] = N(s - p..s, p) into the current row, entry by entry (LAPACK's
    // storage, or a row that leaves the band).
    void put_basis_values(int s, const double* N) noexcept {
        // s lies in [p, n]: the columns s - p..s exist.
        if (lapack_ && s - p_ >= row_ - kl_ && s <= row_ + kl_) {
            // Consecutive columns of one row lie ldab - 1 apart.
            double* a = &cell(s - p_);
            for (int j = 0; j <= p_; ++j) a[j * static_cast<std::ptrdiff_t>(ldab_ - 1)] = N[j];
        } else {
            for (int j = 0; j <= p_; ++j) put(s - p_ + j, N[j]);
        }
    }

    // The line of basis row i, whose values N[0..p] have p - 2 zeros on
    // either side in memory: the line is the window of width_ numbers that
    // puts N[0] at column s - p.  W: width_ as a constant, or 0.
    template <int W>
    [[gnu::always_inline]] void write_line(int i, int s, const double* N) noexcept {
        const int offset = s - p_ - i + kl_;  // where N[0] goes in the line
        if (offset >= 0 && offset <= pad_) {
            std::memcpy(line_of(*placing_, i), N - offset, static_cast<std::size_t>(W > 0 ? W : width_) * sizeof(double));
        } else {
            select_row(i);
            put_basis_values(s, N);
        }
    }

    // Makes st the block of rows from `first` on (none past row n) and places
    // its rows outside the basis run, from the row function.
    template <class Rows>
    void begin_stage(Stage& st, int first, Rows& rows) noexcept {
        st.first = first;
        st.count = std::clamp(n_ + 1 - first, 0, kBlock);
        placing_ = &st;
        const int end = first + st.count;
        auto place = [&](int from, int to) {
            for (int i = from; i < to; ++i) {
                select_row(i);
                st.rhs[i - first] = rows(i);
                if (!row_cleared_) clear_line();  // a row without entries
            }
        };
        place(first, std::min(end, run_first_));
        place(std::max(first, run_end_), end);
    }

    // Elimination of the blocks, then back substitution.  Row i, in its block
    // line w[-kl..kl] (columns i - kl..i + kl), loses its entries left of the
    // diagonal against the finished rows above it; what remains, divided by
    // the pivot, is row i of the upper factor: F[i kl + c - 1] = U(i, i + c) /
    // U(i, i), c = 1..kl (no fill-in beyond the band without row exchanges).
    // The right-hand side follows along in b.  False when a row leaves the
    // band or a pivot is not larger than 1e-12 times its row (NaN included); b
    // is changed then.  KL > 0: the band half-width as a constant (the loops
    // unroll, the lines and the factor rows above stay in registers, and the
    // basis rows are computed kLanes at a time); 0: kl_.
    template <int KL, class Rows>
    bool eliminate(double* b, Rows& rows) noexcept {
        constexpr int P = KL > 0 ? KL + 1 : 0;
        constexpr int kStride = 3 * P - 3;  // a site's values with their padding
        const int kl = KL > 0 ? KL : kl_;
        const std::size_t line_width = static_cast<std::size_t>(2 * kl + 1);
        double* F = factor_.get();
        // above[t] and b_above[t]: the factor row and solution entry of row
        // i - 1 - t (zero above row 0, where the block lines hold zeros).
        double above[KL > 0 ? KL : 1][KL > 0 ? KL : 1] = {};
        double b_above[KL > 0 ? KL : 1] = {};

        // The basis rows of the block being placed: `next` is the next one,
        // `end` one past its last, `group` the first whose line waits for
        // its basis values; spans[] holds the spans from `group` on.
        double N[P > 0 ? kLanes * kStride : 1] = {};  // the padding stays zero
        double x_pad[kLanes];
        int spans[kLanes];
        int span = p_, next = 0, end = 0, group = 0;
        auto write_group = [&] {
            if constexpr (P > 0) {
                const int count = next - group;
                const double* x = sites_ + (group - run_first_);
                if (count < kLanes) {
                    // The unused lanes repeat the last site.
                    for (int l = 0; l < kLanes; ++l) {
                        x_pad[l] = x[std::min(l, count - 1)];
                        spans[l] = spans[std::min(l, count - 1)];
                    }
                    x = x_pad;
                }
                basis_in_lanes<P>(spans, x, U_, N + (P - 2));
                for (int l = 0; l < count; ++l) write_line<2 * P - 1>(group + l, spans[l], N + (P - 2) + l * kStride);
            }
            group = next;
        };
        auto place_next = [&] {
            const double x = sites_[next - run_first_];
            span = span_after(span, x);
            placing_->rhs[next - placing_->first] = values_[next - run_first_];
            if constexpr (P > 0) {
                spans[next - group] = span;
                if (++next - group == kLanes) write_group();
            } else {
                double* values = N_.get() + pad_;
                videvo::basis_funs(span, x, p_, U_, left_.get(), right_.get(), values);
                write_line<0>(next, span, values);
                group = ++next;
            }
        };
        auto begin = [&](Stage& st, int first) {
            begin_stage(st, first, rows);
            next = group = std::max(first, run_first_);
            end = std::max(next, std::min(first + st.count, run_end_));
        };
        auto finish = [&] {
            while (next < end) place_next();
            if (next > group) write_group();
        };

        Stage* now = &stages_[0];
        Stage* following = &stages_[1];
        begin(*now, 0);
        finish();
        for (; now->count > 0; std::swap(now, following)) {
            if (fault_row_ >= 0) return false;
            begin(*following, now->first + now->count);
            for (int k = 0; k < now->count; ++k) {
                const int i = now->first + k;
                double* line = now->lines + static_cast<std::size_t>(k) * line_width + kl;
                double* f = F + static_cast<std::ptrdiff_t>(i) * kl;
                double rhs = now->rhs[k];
                if constexpr (KL > 0) {
                    double w[2 * KL + 1];
                    for (int c = 0; c <= 2 * KL; ++c) w[c] = line[c - KL];
                    // Columns i - kl..i - 1, the leftmost first.
                    for (int t = KL - 1; t >= 0; --t) {
                        const double m = w[KL - 1 - t];
                        for (int c = 1; c <= KL; ++c) w[KL - 1 - t + c] -= m * above[t][c - 1];
                        rhs -= m * b_above[t];
                    }
                    double row = 0.0;
                    for (int c = KL; c <= 2 * KL; ++c) row = std::max(row, std::fabs(w[c]));
                    const double pivot = w[KL];
                    if (!(std::fabs(pivot) > 1e-12 * row)) return false;
                    const double inverse = 1.0 / pivot;
                    for (int t = KL - 1; t > 0; --t) {
                        for (int c = 0; c < KL; ++c) above[t][c] = above[t - 1][c];
                        b_above[t] = b_above[t - 1];
                    }
                    for (int c = 1; c <= KL; ++c) f[c - 1] = above[0][c - 1] = w[KL + c] * inverse;
                    b[i] = b_above[0] = rhs * inverse;
                } else {
                    double* w = line;
                    for (int t = kl - 1; t >= 0; --t) {
                        const double m = w[-1 - t];
                        if (m == 0.0) continue;  // also every column left of 0
                        const double* u = F + static_cast<std::ptrdiff_t>(i - 1 - t) * kl;
                        for (int c = 1; c <= kl; ++c) w[-1 - t + c] -= m * u[c - 1];
                        rhs -= m * b[i - 1 - t];
                    }
                    double row = 0.0;
                    for (int c = 0; c <= kl; ++c) row = std::max(row, std::fabs(w[c]));
                    const double pivot = w[0];
                    if (!(std::fabs(pivot) > 1e-12 * row)) return false;
                    const double inverse = 1.0 / pivot;
                    for (int c = 1; c <= kl; ++c) f[c - 1] = w[c] * inverse;
                    b[i] = rhs * inverse;
                }
                // A basis row of the next block while this row's division runs.
                if (next < end) place_next();
            }
            finish();
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
        fault_row_ = -1;
        int span = p_;
        for (int i = 0; i <= n_; ++i) {
            select_row(i);
            if (i < run_first_ || i >= run_end_) {
                b[i] = rows(i);
                continue;
            }
            const double x = sites_[i - run_first_];
            span = span_after(span, x);
            double* values = N_.get() + pad_;
            videvo::basis_funs(span, x, p_, U_, left_.get(), right_.get(), values);
            put_basis_values(span, values);
            b[i] = values_[i - run_first_];
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
    // Sorted sites usually move on by a knot or two from the previous span:
    // both steps are tested at once, without a branch, while the third knot
    // lies right of x.
    [[gnu::always_inline]] int span_after(int span, double x) const noexcept {
        if (!sorted_) return static_cast<int>(std::upper_bound(U_ + p_ + 1, U_ + n_ + 1, x) - U_) - 1;
        while (span + 3 <= n_) {
            const int one = U_[span + 1] <= x, two = U_[span + 2] <= x;
            if (!(U_[span + 3] <= x)) return span + one + two;
            span += 3;
        }
        while (span < n_ && U_[span + 1] <= x) ++span;
        return span;
    }

    struct FreeDeleter {
        void operator()(void* p) const noexcept { std::free(p); }
    };

    int n_, p_, kl_, width_, pad_, ldab_ = 0;
    const double* U_;
    int run_first_ = 0, run_end_ = 0;  // the basis rows run_first_..run_end_ - 1
    const double* sites_ = nullptr;
    const double* values_ = nullptr;
    bool sorted_ = true;
    bool lapack_ = false;
    bool out_of_memory_ = false;
    bool row_cleared_ = false;  // the current line holds zeros but where put() wrote
    int row_ = 0;
    double* line_ = nullptr;   // the current row's line in its block, at its diagonal
    Stage stages_[2];
    Stage* placing_ = &stages_[0];  // the block whose rows are being placed
    Buffer factor_;
    std::unique_ptr<double[]> lines_, rhs_, left_, right_, N_;
    std::unique_ptr<double[], FreeDeleter> ab_;
    std::unique_ptr<int[], FreeDeleter> ipiv_;
    int fault_row_ = -1;
    int singular_info_ = 0;
};

}  // namespace videvo::curvekit::band
