// Joining, splitting and summing whole curves.
//
// The size and domain checks are AssertionErrors made in every interpreter
// mode, and the knot vectors of a sum are checked while they are merged: these
// checks are what keeps the numeric parts inside the arrays.  The numeric parts
// run with the interpreter lock released and report failures as status codes,
// raised once the lock is held again.
#include "curvekit.h"

#include <morvane.h>
#include <span_search.h>
#include <videvo/buffers.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

namespace videvo::curvekit {
namespace {

void require(bool ok) {
    if (!ok) raise(PyExc_AssertionError);
}

void require_not_empty(CVec a, const char* name) {
    if (a.size == 0) bad_argument(name, "must not be empty");
}

// A curve (U, P) of degree p >= 0: neither array empty, and len(U) =
// len(P) + p + 1, whose mismatch is the caller's choice of error: an
// AssertionError where the curve routines have always asserted it, a
// ValueError elsewhere.
void require_curve_arrays(CVec U, CVec P, int p, const char* U_name, const char* P_name, bool as_assertion) {
    require_degree_at_least(p, 0);
    require_not_empty(U, U_name);
    require_not_empty(P, P_name);
    if (U.size == P.size + p + 1) return;
    if (as_assertion) raise(PyExc_AssertionError);
    bad_argument(U_name, "must have len(P) + p + 1 = " + std::to_string(P.size + std::int64_t{p} + 1) +
                             " entries, not " + std::to_string(U.size));
}

// ---- the union of two knot vectors ------------------------------------------------

// Knot vectors of one union: each clamped with at least 2p + 2 knots, the
// same first and last knot (exactly), and interior knots non-decreasing and
// strictly inside the domain.
void require_same_extremes(CVec U1, CVec U2) {
    if (U1[0] != U2[0] || U1[U1.size - 1] != U2[U2.size - 1])
        raise(PyExc_AssertionError, "same extremes of the knot vector is required");
}

void require_clamped(CVec U, int p, const char* name) {
    const std::int64_t least = 2 * std::int64_t{p} + 2;
    if (U.size < least)
        bad_argument(name, "must have at least 2p + 2 = " + std::to_string(least) + " knots, not " +
                               std::to_string(U.size));
    const Py_ssize_t m = U.size - 1;
    for (Py_ssize_t i = 1; i <= p; ++i)
        if (!close(U[i], U[0]) || !close(U[m - i], U[m]))
            bad_argument(name, "must be clamped: its first p + 1 and its last p + 1 knots equal");
}

// Where the merge stopped: nothing wrong, or a bad interior knot of U1 or U2
// (NaN, out of order, or not strictly inside the domain).
enum class MergeStatus { ok, bad_U1, bad_U2 };

// The interior knots of U1 and U2 merged by exact comparison: every value
// once per copy in the knot vector that holds more copies of it.  Returns the
// number of interior knots of the union; with `Write`, X1 receives the knots
// that U1 lacks and X2 those that U2 lacks, in order (each needs one slot
// beyond what it receives).  Both walks advance on every step, so it ends
// after at most len(U1) + len(U2) steps whatever the values.
template <bool Write>
std::int64_t merge_interiors(CVec U1, CVec U2, int p, double* X1, double* X2, std::int64_t& n1,
                             std::int64_t& n2, MergeStatus& status) {
    const double lo = U1[0], hi = U1[U1.size - 1];
    const double* a = U1.data + p + 1;
    const double* b = U2.data + p + 1;
    const double* const a_end = U1.data + U1.size - p - 1;
    const double* const b_end = U2.data + U2.size - p - 1;
    double prev_a = lo, prev_b = lo;
    bool good_a = true, good_b = true;
    std::int64_t count = 0;
    n1 = n2 = 0;
    // Branch-free: random knots would defeat the branch predictor.  A NaN
    // makes both walks advance and fails its own check.
    while (a < a_end && b < b_end) {
        const double x = *a, y = *b;
        const bool take_a = !(y < x), take_b = !(x < y);
        good_a &= !take_a || (x >= prev_a && x > lo && x < hi);
        good_b &= !take_b || (y >= prev_b && y > lo && y < hi);
        prev_a = take_a ? x : prev_a;
        prev_b = take_b ? y : prev_b;
        if constexpr (Write) {
            X2[n2] = x;
            n2 += !take_b;
            X1[n1] = y;
            n1 += !take_a;
        }
        a += take_a;
        b += take_b;
        ++count;
    }
    for (; a < a_end; ++a, ++count) {
        good_a &= *a >= prev_a && *a > lo && *a < hi;
        prev_a = *a;
        if constexpr (Write) X2[n2++] = *a;
    }
    for (; b < b_end; ++b, ++count) {
        good_b &= *b >= prev_b && *b > lo && *b < hi;
        prev_b = *b;
        if constexpr (Write) X1[n1++] = *b;
    }
    status = !good_a ? MergeStatus::bad_U1 : !good_b ? MergeStatus::bad_U2 : MergeStatus::ok;
    return count;
}

void check_merge(MergeStatus status) {
    if (status == MergeStatus::ok) return;
    bad_argument(status == MergeStatus::bad_U1 ? "U1" : "U2",
                 "must have non-decreasing interior knots strictly inside its end knots");
}

// Checks two knot vectors of degree p for a union and returns the last index
// of the union, mk (in 64 bits: it may exceed an int).
std::int64_t union_last_index(CVec U1, CVec U2, int p) {
    require_degree_at_least(p, 0);
    require_not_empty(U1, "U1");
    require_not_empty(U2, "U2");
    require_same_extremes(U1, U2);
    require_clamped(U1, p, "U1");
    require_clamped(U2, p, "U2");
    std::int64_t n1, n2;
    MergeStatus status;
    std::int64_t interior;
    {
        ReleaseForLongWork unlocked(U1.size + U2.size);
        interior = merge_interiors<false>(U1, U2, p, nullptr, nullptr, n1, n2, status);
    }
    check_merge(status);
    return interior + 2 * std::int64_t{p} + 1;
}

nb::object knotuniondim(CVec U1, CVec U2, int p) {
    const std::int64_t mk = union_last_index(U1, U2, p);
    return nb::make_tuple(mk, mk - p - 1);
}

// A temporary array of doubles, allocated with the interpreter lock held.
std::unique_ptr<double[]> temporary(std::int64_t count) {
    std::unique_ptr<double[]> a(new (std::nothrow) double[static_cast<std::size_t>(count)]);
    if (!a) raise_memory();
    return a;
}

void splcsum(CVec U1, CVec P1, CVec U2, CVec P2, int p, int mk, Vec UK, int nk, Vec PK) {
    require_curve_arrays(U1, P1, p, "U1", "P1", false);
    require_curve_arrays(U2, P2, p, "U2", "P2", false);
    require_same_extremes(U1, U2);
    require_clamped(U1, p, "U1");
    require_clamped(U2, p, "U2");

    // The union is merged once more, into the knots each curve lacks; its
    // size must be the one the caller allocated for.
    const std::int64_t interior1 = U1.size - 2 * std::int64_t{p} - 2;
    const std::int64_t interior2 = U2.size - 2 * std::int64_t{p} - 2;
    std::unique_ptr<double[]> X1 = temporary(interior2 + 1), X2 = temporary(interior1 + 1);
    std::int64_t n1, n2;
    MergeStatus status;
    std::int64_t interior;
    {
        ReleaseForLongWork unlocked(U1.size + U2.size);
        interior = merge_interiors<true>(U1, U2, p, X1.get(), X2.get(), n1, n2, status);
    }
    check_merge(status);
    const std::int64_t union_mk = interior + 2 * std::int64_t{p} + 1;
    if (mk != union_mk)
        bad_argument("mk", "must be " + std::to_string(union_mk) + ", the last index of the union of the knot vectors, not " +
                               std::to_string(mk));
    if (nk != union_mk - p - 1)
        bad_argument("nk", "must be " + std::to_string(union_mk - p - 1) + ", mk - p - 1, not " + std::to_string(nk));
    require_size(UK.size, union_mk + 1, "UK");
    require_size(PK.size, union_mk - p, "PK");

    // Curve 2 refined to the union, when it lacks knots.
    Buffer PK2;
    if (n2 > 0) PK2 = Buffer::allocate(PK.size);

    int info = 0;
    {
        ReleaseForLongWork unlocked(PK.size);
        const int p_ = p;
        if (n1 > 0) {
            const int n = P1.last(), r = static_cast<int>(n1 - 1);
            RefineKnotVectCurve(&n, &p_, U1.data, P1.data, X1.get(), &r, UK.data, PK.data, &info);
        } else {
            std::copy(U1.data, U1.data + U1.size, UK.data);
            std::copy(P1.data, P1.data + P1.size, PK.data);
        }
        if (info == 0 && n2 > 0) {
            const int n = P2.last(), r = static_cast<int>(n2 - 1);
            RefineKnotVectCurve(&n, &p_, U2.data, P2.data, X2.get(), &r, UK.data, PK2.get(), &info);
        }
        if (info == 0) {
            const double* Q2 = n2 > 0 ? PK2.get() : P2.data;
            for (Py_ssize_t i = 0; i < PK.size; ++i) PK[i] += Q2[i];
            // Clamped ends of exactly the common end values.
            std::fill(UK.data, UK.data + p + 1, U1[0]);
            std::fill(UK.data + UK.size - p - 1, UK.data + UK.size, U1[U1.size - 1]);
        }
    }
    check_info(info);
}

// ---- joining and splitting ---------------------------------------------------------

void splcjoin(CVec Ul, CVec Pl, CVec Ur, CVec Pr, int p, Vec UK, Vec PK) {
    require_curve_arrays(Ul, Pl, p, "Ul", "Pl", true);
    require_curve_arrays(Ur, Pr, p, "Ur", "Pr", true);
    require(PK.size == Pl.size + Pr.size);
    require(UK.size == p + Pl.size + Pr.size + 1);

    const double delta = Ul[Ul.size - 1] - Ur[0];
    std::copy(Ul.data, Ul.data + Ul.size, UK.data);
    {
        ReleaseForLongWork unlocked(Pr.size);
        for (Py_ssize_t i = 0; i < Pr.size; ++i) UK[Ul.size + i] = Ur[p + 1 + i] + delta;
    }
    std::copy(Pl.data, Pl.data + Pl.size, PK.data);
    std::copy(Pr.data, Pr.data + Pr.size, PK.data + Pl.size);
}

nb::object splcsli(CVec U, CVec P, int p, double u, Vec UK, Vec PK) {
    require_curve_arrays(U, P, p, "U", "P", true);
    const int n = P.last(), m = U.last();
    if (p > n) check_info(-1);
    // A u that the span search takes for an end of the domain is that end.
    const SpanTolerance knot_tol = span_tolerance(p, U.data);
    require(U[0] < u && u < U[m] && !knot_tol.close(u, U[0]) && !knot_tol.close(u, U[m]));

    int k = 0, s = 0;
    FindSpanMult(&n, &p, &u, U.data, &k, &s);
    const int r = p - s;
    require(r >= -1);
    require_at_least(UK.size, U.size + r + 1, "UK");
    require_at_least(PK.size, P.size + r + 1, "PK");
    if (r == -1) {
        std::copy(U.data, U.data + U.size, UK.data);
        std::copy(P.data, P.data + P.size, PK.data);
        return nb::make_tuple(k - s, s + n - k - 1);
    }
    // Copies of u are copies of the knot the span search matched it with.
    if (s > 0) u = U[k];
    if (r > 0) {
        int nq = 0, info = 0;
        CurveKnotIns(&n, &p, U.data, P.data, &u, &k, &s, &r, &nq, UK.data, PK.data, &info);
        check_info(info);
    } else {
        std::copy(U.data, U.data + U.size, UK.data);
        std::copy(P.data, P.data + P.size, PK.data);
    }
    const int nl = k - s, nr = r + s + n - k;
    // u's last copy, and the control point at u shared by both pieces.
    const int end = m + r;
    std::copy_backward(UK.data + nl + p, UK.data + end + 1, UK.data + end + 2);
    std::copy_backward(PK.data + nl, PK.data + nl + nr + 1, PK.data + nl + nr + 2);
    // (for degree 0 a u inside a span is no knot yet: its one copy goes
    // here; for higher degrees these places hold u already)
    std::fill(UK.data + nl + 1, UK.data + nl + p + 2, u);
    return nb::make_tuple(nl, nr);
}

}  // namespace

void register_joining(Exporter& ex) {
    VIDEVO_CURVEKIT_DEF(ex, splcjoin, splcjoin,
        "Join the curve (Ul, Pl) and the curve (Ur, Pr), both of degree p, end to\n"
        "end: the right curve is shifted to start where the left one ends.  UK\n"
        "receives Ul followed by Ur[p+1:] shifted (len(Ul) + len(Pr) knots) and PK\n"
        "receives Pl followed by Pr.  The junction is a knot of multiplicity p + 1;\n"
        "the joined curve is continuous there when Pl[-1] == Pr[0].\n\n"
        "Raises ValueError for p < 0 or an empty array, and AssertionError (in every\n"
        "interpreter mode) when len(Ul) != len(Pl) + p + 1, len(Ur) != len(Pr) + p + 1,\n"
        "len(PK) != len(Pl) + len(Pr) or len(UK) != len(Pl) + len(Pr) + p + 1.",
        "Ul", "Pl", "Ur", "Pr", "p", "UK", "PK");
    VIDEVO_CURVEKIT_DEF(ex, splcsli, splcsli,
        "Split the curve (U, P) of degree p at u into a left and a right piece.\n"
        "Returns (nl, nr): the left piece has control points PK[0:nl+1] and knots\n"
        "UK[0:nl+p+2], the right piece PK[nl+1:nl+nr+2] and UK[nl+1:nl+nr+p+3];\n"
        "PK[nl] == PK[nl+1] is the curve's value at u.  With s copies of u in U, UK\n"
        "needs len(U) + p + 1 - s entries and PK len(P) + p + 1 - s (longer arrays\n"
        "are fine: allocate len(U) + p + 1 and len(P) + p + 1 when s is unknown).\n"
        "A u close to an interior knot splits at that knot.\n\n"
        "Raises ValueError for p < 0, an empty array, p > len(P) - 1 (-1) or UK or PK\n"
        "too short, and AssertionError (in every interpreter mode) when\n"
        "len(U) != len(P) + p + 1, when u is not strictly inside (U[0], U[-1]) or is\n"
        "close to an end, or when u has more than p + 1 copies in U.",
        "U", "P", "p", "u", "UK", "PK");
    VIDEVO_CURVEKIT_DEF(ex, knotuniondim, knotuniondim,
        "The size of the union of the knot vectors U1 and U2 of degree p, in which\n"
        "every knot value occurs with the larger of its two multiplicities (values\n"
        "compared exactly).  Returns (mk, nk): the last index of the union and the\n"
        "last control-point index of a degree-p curve on it, nk = mk - p - 1.\n\n"
        "Raises AssertionError (in every interpreter mode) with \"same extremes of the\n"
        "knot vector is required\" when the first or the last knots differ, and\n"
        "ValueError for p < 0, an empty array, fewer than 2p + 2 knots, or interior\n"
        "knots that are NaN, decreasing or not strictly inside the end knots.",
        "U1", "U2", "p");
    VIDEVO_CURVEKIT_DEF(ex, splcsum, splcsum,
        "The sum of the curves (U1, P1) and (U2, P2) of degree p on the same domain,\n"
        "exactly: both curves are refined to the union of their knot vectors, which\n"
        "UK receives, and PK receives the sums of their control points.  mk and nk\n"
        "are what knotuniondim(U1, U2, p) returns; UK has mk + 1 entries, PK nk + 1.\n\n"
        "Raises as knotuniondim, and ValueError when len(U1) != len(P1) + p + 1 or\n"
        "len(U2) != len(P2) + p + 1, when mk, nk, UK or PK do not fit the union, and\n"
        "through the status code of the refinement.",
        "U1", "P1", "U2", "P2", "p", "mk", "UK", "nk", "PK");
}

}  // namespace videvo::curvekit
