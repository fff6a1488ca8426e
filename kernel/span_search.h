// The knot-span search shared by the kernel's routines (not part of the
// kernel's public interface; FindSpan and FindSpanMult publish it).
#pragma once

#include "closeness.h"

#include <algorithm>
#include <cmath>

namespace videvo {

// The span search compares u with x - tol(u, x): u lies below x when it is
// smaller, at or above x when it is larger.
inline double span_threshold(double u, double x) { return x - tol(u, x); }

// Whether the span search takes u for the knot value x (at the end of the
// domain, and when it counts the copies of a knot at u).
inline bool at_knot(double u, double x) { return close(u, x); }

// The span of u: the index i in [p, n] with U[i] <= u < U[i+1] up to the
// closeness tolerance (NURBS Book A2.1, binary search).
//  - u close to U[n+1] gives n, the last non-empty span;
//  - u close to an interior knot gives the span that starts at the last copy
//    of that knot.  The thresholds x - tol(u, x) are monotone in x, so the
//    spans that satisfy the search's stopping rule form a run; where u ties a
//    threshold exactly the run has several members, possibly empty spans, and
//    the last of them is taken: it is non-empty and right of the knot;
//  - outside its precondition (u farther than the tolerance outside
//    [U[p], U[n+1]], or NaN) it returns p or n instead of looping.
inline int find_span(int n, int p, double u, const double* U) {
    if (at_knot(u, U[n + 1])) return n;
    if (u < span_threshold(u, U[p])) return p;
    if (u > span_threshold(u, U[n + 1])) return n;
    // Invariant: u >= threshold(U[low]) and u <= threshold(U[high]), so the
    // search ends, also in floating point.
    int low = p;
    int high = n + 1;
    int mid;
    for (;;) {
        mid = (low + high) / 2;
        if (u < span_threshold(u, U[mid]))
            high = mid;
        else if (u > span_threshold(u, U[mid + 1]))
            low = mid;
        else
            break;
    }
    while (mid < n && u >= span_threshold(u, U[mid + 1])) ++mid;
    return mid;
}

// Parameters in (clear_low(s), clear_high(s)) lie strictly between the
// thresholds of U[s] and U[s+1] and are not close to U[n+1] (for any n >= s):
// the upper bound keeps twice the largest tolerance of the span away from
// U[s+1], far more than any rounding of the threshold, and a u above U[s]
// is above its threshold.  There the span is s without further tests.
inline double clear_high(int s, const double* U) {
    const double lo = U[s], hi = U[s + 1];
    return hi - 2.0 * std::max(1e-9 * std::max(std::fabs(lo), std::fabs(hi)), 1e-13);
}

// The span of u found by walking from the span s of a nearby parameter.  When
// u lies strictly between the thresholds of U[s] and U[s+1], s is the only
// span that the binary search can return; otherwise (ties, NaN, u outside the
// domain) the binary search decides.  The result always equals find_span.
inline int find_span_from(int s, int n, int p, double u, const double* U) {
    if (U[s] < u && u < clear_high(s, U)) return s;
    if (at_knot(u, U[n + 1])) return n;
    while (s < n && u > span_threshold(u, U[s + 1])) ++s;
    while (s > p && u < span_threshold(u, U[s])) --s;
    if (span_threshold(u, U[s]) < u && u < span_threshold(u, U[s + 1])) return s;
    return find_span(n, p, u, U);
}

// find_span for a parameter without a nearby one: a branch-free search by
// plain comparisons for the last i in [p, n] with U[i] <= u, then the
// tolerant walk from there.
inline int find_span_searched(int n, int p, double u, const double* U) {
    const double* base = U + p;
    int len = n - p + 1;
    while (len > 1) {
        const int half = len / 2;
        base = base[half] <= u ? base + half : base;
        len -= half;
    }
    return find_span_from(static_cast<int>(base - U), n, p, u, U);
}

// Spans of a sequence of parameters: walked from the previous one when the
// parameters are non-decreasing, searched otherwise.  The clear interior of
// the current span is kept, so that a parameter in the same span as the
// previous one costs two comparisons.
class SpanCursor {
public:
    SpanCursor(int n, int p, const double* U, bool sorted) : n_(n), p_(p), U_(U), sorted_(sorted) {}

    inline int operator()(double u) {
        if (low_ < u && u < high_) return s_;
        s_ = sorted_ ? find_span_from(s_, n_, p_, u, U_) : find_span_searched(n_, p_, u, U_);
        low_ = U_[s_];
        high_ = clear_high(s_, U_);
        return s_;
    }

private:
    int n_, p_;
    const double* U_;
    bool sorted_;
    int s_ = p_;
    double low_ = 0.0, high_ = 0.0;  // empty until the first span is known
};

}  // namespace videvo
