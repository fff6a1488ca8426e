// The knot-span search shared by the kernel's routines and the curve module
// (not part of the kernel's public interface; FindSpan and FindSpanMult
// publish it).
#pragma once

#include "closeness.h"
#include "lanes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>

namespace videvo {

// How close a parameter must come to a knot to count as that knot.  The
// closeness test is applied to the offsets from the start of the domain
// (U[p]), not to the values themselves: the tolerance then follows the domain
// length instead of the magnitude of the knots, so a curve shifted by any
// amount picks the same spans (on a domain that starts at 0 it is the
// closeness test itself).  Every span decision (the search, the multiplicity
// of a parameter, the domain widening of findspan) uses this one rule.
struct SpanTolerance {
    double origin;

    double operator()(double u, double x) const { return tol(u - origin, x - origin); }
    bool close(double u, double x) const { return std::fabs(u - x) <= (*this)(u, x); }
    // u lies below knot x when u < threshold(u, x), at or above it otherwise.
    // The thresholds are non-decreasing in x for a fixed u.
    double threshold(double u, double x) const { return x - (*this)(u, x); }
    // The largest tolerance of any parameter of the span [lo, hi] with a knot
    // of that span.
    double span_max(double lo, double hi) const {
        return std::max(1e-9 * std::max(std::fabs(lo - origin), std::fabs(hi - origin)), 1e-13);
    }
};

inline SpanTolerance span_tolerance(int p, const double* U) { return {U[p]}; }

// The last index i in [lo, n] whose knot u does not lie below, given that
// u does not lie below U[lo] (or lo = p, where nothing lies below): the walk
// to the right doubles its stride while the knots are still passed
// (galloping) and halves back in the last bracket, so a short step costs a
// few comparisons and a long one O(log distance).
inline int last_passed(int lo, int n, double u, const double* U, SpanTolerance t) {
    int hi = n + 1;  // U[hi] not passed, or hi = n + 1
    for (int step = 1; step <= n - lo; step *= 2) {
        if (t.threshold(u, U[lo + step]) <= u) {
            lo += step;
        } else {
            hi = lo + step;
            break;
        }
    }
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        if (t.threshold(u, U[mid]) <= u)
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

// The last index i in [lo, hi) with U[i] <= u, given U[lo] <= u (or lo where
// none is): a bisection without branches.
inline int last_not_above(const double* U, int lo, int hi, double u) {
    const double* base = U + lo;
    for (int len = hi - lo; len > 1;) {
        const int half = len / 2;
        base = base[half] <= u ? base + half : base;
        len -= half;
    }
    return static_cast<int>(base - U);
}

// The span of u: the last index i in [p, n] whose knot u does not lie below,
// except that u close to U[n+1] gives n (NURBS Book A2.1 with a tolerance).
// A parameter close to an interior knot thus gets the span that starts at the
// last copy of that knot, which is non-empty and right of the knot.  Outside
// the domain it returns p or n (NaN gives p) instead of looping.  A branch-free
// search by plain comparisons finds the last knot not above u; the thresholds
// lie below the knots, so the tolerant answer is there or a few knots right.
inline int find_span(int n, int p, double u, const double* U) {
    const SpanTolerance t = span_tolerance(p, U);
    if (t.close(u, U[n + 1])) return n;
    return last_passed(last_not_above(U, p, n + 1, u), n, u, U, t);
}

// find_span from a guess g of the span (any value): the plain comparisons
// gallop from there to either side before they bisect, so a guess a few knots
// off costs a few comparisons.  The same span as find_span's wherever the
// knots do not decrease.
inline int find_span_from(int g, int n, int p, double u, const double* U) {
    const SpanTolerance t = span_tolerance(p, U);
    if (t.close(u, U[n + 1])) return n;
    // The last knot not above u lies in [lo, hi): U[lo] <= u or lo = p.
    int lo = std::clamp(g, p, n), hi = n + 1;
    if (U[lo] <= u) {
        for (int step = 1; step <= n - lo; step *= 2) {
            if (!(U[lo + step] <= u)) {
                hi = lo + step;
                break;
            }
            lo += step;
        }
    } else {
        hi = lo;
        lo = p;
        for (int step = 1; hi - step > p; step *= 2) {
            if (U[hi - step] <= u) {
                lo = hi - step;
                break;
            }
            hi -= step;
        }
    }
    return last_passed(last_not_above(U, lo, hi, u), n, u, U, t);
}

// The multiplicity of u at span k: the number of knots U[k], U[k-1], ...
// close to u.
inline int multiplicity_at(int k, int p, double u, const double* U) {
    const SpanTolerance t = span_tolerance(p, U);
    int s = 0;
    while (k - s >= 0 && t.close(u, U[k - s])) ++s;
    return s;
}

// The span search of parameters in any order in O(1): the domain is cut into
// equal cells, and each cell remembers the last span whose knot lies at or
// below the cell's left edge.  With a few cells per span a parameter usually
// passes none or one more knot: the next ones are counted without branches,
// and only a parameter that passes all of them gallops on.  Building it costs
// O(cells + n).
class SpanIndex {
public:
    SpanIndex(int n, int p, const double* U, int cells) : n_(n), p_(p), U_(U), cells_(cells) {
        const double a = U[p], b = U[n + 1];
        if (!(cells > 0 && a < b && std::isfinite(b - a))) return;
        first_.reset(new (std::nothrow) int[static_cast<std::size_t>(cells) + 2]);
        if (!first_) return;
        origin_ = a;
        scale_ = cells / (b - a);
        // No tolerance of the domain exceeds span_max over it, and 8 times
        // that keeps the comparisons clear of rounding (see operator()).
        margin_ = 8.0 * span_tolerance(p, U).span_max(U[0], U[n + p + 1]);
        end_clear_ = b - margin_;
        // Each knot is placed in the first cell whose left edge it does not
        // exceed, and a running maximum carries it over the cells that
        // follow: no branch per cell or knot.  Rounding may put a knot one
        // cell off; the lookups check the knots they start from.  (A knot
        // that is not a number lands in cell 0 and a knot past the end in
        // the unused last slot: in any order the spans stay within [p, n].)
        int* const first = first_.get();
        std::fill(first, first + cells + 1, p);
        for (int j = p + 1; j <= n; ++j) {
            double c = std::ceil((U[j] - a) * scale_);
            c = c >= 0.0 ? c : 0.0;
            c = c <= cells ? c : cells + 1.0;
            first[static_cast<int>(c)] = j;
        }
        int last = p;
        for (int i = 0; i <= cells; ++i) first[i] = last = std::max(last, first[i]);
    }

    // The spans of four parameters (as one at a time would give them).  The
    // tolerant tests become plain comparisons where u lies clearly on one side
    // of a knot: at or above it, or below it by more than any tolerance of the
    // domain (then below its threshold too, and far from U[n+1]).  Only a
    // parameter within a tolerance of a knot takes the scalar search.
    [[gnu::always_inline]] void operator()(Lanes u, int* s) const {
        if (!first_) {
            for (int l = 0; l < 4; ++l) s[l] = find_span(n_, p_, u[l], U_);
            return;
        }
        Lanes c = (u - origin_) * scale_;
        c = c >= 0.0 ? c : Lanes{};  // (NaN too)
        c = c < cells_ ? c : Lanes{} + cells_;
        int s0[4];
        for (int l = 0; l < 4; ++l) s0[l] = first_[static_cast<int>(c[l])];
        // k[i] = U[s0 + i], read as one row per lane where U[s0 + 3] exists
        // (p >= 2, as s0 <= n); below that the indices stop at the last
        // knot, U[n+1] or beyond, which no clear parameter passes.
        Lanes k[4];
        if (p_ >= 2) {
            gather_rows<4>(U_, s0, k);
        } else {
            for (int i = 0; i < 4; ++i) {
                int at[4];
                for (int l = 0; l < 4; ++l) at[l] = std::min(s0[l] + i, n_ + p_ + 1);
                k[i] = gather_lanes(U_, at);
            }
        }
        const LaneMask pass_a = u >= k[1], pass_b = u >= k[2];
        const LaneMask clear = (u >= k[0]) & (u < end_clear_) & (pass_a | (u < k[1] - margin_)) &
                               (pass_b | (u < k[2] - margin_)) & (u < k[3] - margin_);
        // (a true mask lane is -1) On valid knots a knot that a clear u
        // passes lies below U[n+1], at an index of at most n; knots not yet
        // validated may be in any order, and the span still stays in range.
        // The spans are formed side by side; nearly always all four are clear.
        LaneMask span = LaneMask{s0[0], s0[1], s0[2], s0[3]} - pass_a - pass_b;
        span = span < n_ ? span : LaneMask{} + n_;
        if (clear[0] & clear[1] & clear[2] & clear[3]) {
            for (int l = 0; l < 4; ++l) s[l] = static_cast<int>(span[l]);
            return;
        }
        for (int l = 0; l < 4; ++l) s[l] = clear[l] ? static_cast<int>(span[l]) : (*this)(u[l]);
    }

    int cells() const { return cells_; }

    // Asks for the memory that the search of u starts with: its cell, and
    // once the cell has arrived, the knots U[s - before .. s + after] around
    // the span s that the cell holds.
    void prefetch(double u) const {
        if (first_) __builtin_prefetch(&first_[cell(u)]);
    }
    void prefetch_knots(double u, int before, int after) const {
        if (!first_) return;
        const double* k = U_ + first_[cell(u)];
        __builtin_prefetch(k - before);
        __builtin_prefetch(k + after);
    }

    int operator()(double u) const {
        if (!first_) return find_span(n_, p_, u, U_);
        const SpanTolerance t = span_tolerance(p_, U_);
        if (t.close(u, U_[n_ + 1])) return n_;
        const int s = first_[cell(u)];
        // The cell's edge may round above u: then the plain search decides.
        if (!(t.threshold(u, U_[s]) <= u)) return find_span(n_, p_, u, U_);
        return last_passed(s, n_, u, U_, t);
    }

private:
    int cell(double u) const {
        const double c = (u - origin_) * scale_;
        return c >= 0.0 ? (c < cells_ ? static_cast<int>(c) : cells_) : 0;
    }

    int n_, p_;
    const double* U_;
    int cells_;
    double origin_ = 0.0, scale_ = 0.0, margin_ = 0.0, end_clear_ = 0.0;
    std::unique_ptr<int[]> first_;
};

// The upper end of the clear interior (U[s], clear_high) of span s: a
// parameter strictly inside it has span s by the tolerant rule, for above U[s]
// it is above its threshold, and below U[s+1] minus twice the span's largest
// tolerance it lies below U[s+1]'s threshold (and far from U[n+1]).
inline double clear_high(int s, const double* U, SpanTolerance t) {
    return U[s + 1] - 2.0 * t.span_max(U[s], U[s + 1]);
}

// The span of u given the span `hint` of an earlier parameter (any value):
// kept when u lies in its clear interior, searched otherwise, from `index`
// when given (an index of these knots) or else from the hint; `hint`
// receives the span.  The knots must not decrease.
inline int find_span_hinted(int n, int p, double u, const double* U, int& hint, const SpanIndex* index = nullptr) {
    const int s = hint;
    if (s >= p && s <= n && U[s] < u && u < clear_high(s, U, span_tolerance(p, U))) return s;
    return hint = index != nullptr ? (*index)(u) : find_span_from(s, n, p, u, U);
}

// Spans of a sequence of parameters: galloping from the previous span while
// the parameters do not decrease, searched otherwise.  Parameters strictly
// inside the clear interior of the current span cost two comparisons.
class SpanCursor {
public:
    // `index`, when given, starts the search of parameters in any order.
    SpanCursor(int n, int p, const double* U, bool sorted, const SpanIndex* index = nullptr)
        : n_(n), p_(p), U_(U), sorted_(sorted), index_(index) {}

    int operator()(double u) {
        if (low_ < u && u < high_) return s_;
        const int s = sorted_ && s_ >= 0 ? find_span_from(s_, n_, p_, u, U_)
                      : index_ != nullptr ? (*index_)(u)
                                          : find_span(n_, p_, u, U_);
        move_to(s);
        return s_;
    }

    int span() const { return s_; }
    // The clear interior (low, high) of the current span.
    double low() const { return low_; }
    double high() const { return high_; }

private:
    void move_to(int s) {
        s_ = s;
        low_ = U_[s];
        high_ = clear_high(s, U_, span_tolerance(p_, U_));
    }

    int n_, p_;
    const double* U_;
    bool sorted_;
    const SpanIndex* index_;
    int s_ = -1;
    double low_ = 0.0, high_ = 0.0;  // empty until the first span is known
};

}  // namespace videvo
