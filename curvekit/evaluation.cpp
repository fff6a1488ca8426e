// Spans, basis functions and curve evaluation.
#include "curvekit.h"

#include <closeness.h>
#include <evaluation.h>
#include <videvo/evaluation_api.h>
#include <morvane.h>
#include <span_search.h>
#include <work.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace videvo::curvekit {
namespace {

// The knot vector U of a function that takes only U and p: n = len(U) - p - 2.
// findspan's codes: p < 0 is -1, a knot vector that is not valid -3.
int checked_knots(int p, CVec U) {
    if (p < 0) check_info(-1);
    if (U.size - p - 2 < p) check_info(-3);  // in 64 bits: p may be INT_MAX
    const int n = static_cast<int>(U.size - p - 2);
    if (ValidKnotVector(&n, &p, U.data) != 0) check_info(-3);
    return n;
}

// The span search is defined for u in [U[p], U[n+1]] widened by its
// tolerance; anything else (NaN and infinities included) is status -2.
void require_span_domain(int n, int p, double u, CVec U) {
    const SpanTolerance t = span_tolerance(p, U.data);
    if (!(std::isfinite(u) && u >= U[p] - t(u, U[p]) && u <= U[n + 1] + t(u, U[n + 1]))) check_info(-2);
}

int findspan(int p, double u, CVec U) {
    const int n = checked_knots(p, U);
    require_span_domain(n, p, u, U);
    return FindSpan(&n, &p, &u, U.data);
}

IntPair findspanmult(int p, double u, CVec U) {
    const int n = checked_knots(p, U);
    require_span_domain(n, p, u, U);
    IntPair ks{};
    FindSpanMult(&n, &p, &u, U.data, &ks.first, &ks.second);
    return ks;
}

// Checks of the basis-function helpers, which read U around the span.
void require_basis_degree(int p, CVec U) {
    require_degree_at_least(p, 0);
    if (U.size < 2 * static_cast<Py_ssize_t>(p) + 2)
        bad_argument("U", "must have at least " + std::to_string(2 * static_cast<long long>(p) + 2) + " knots for degree " + std::to_string(p));
}

void require_index(const char* name, int value, int lo, int hi) {
    if (value < lo || value > hi)
        bad_argument(name, "must lie in [" + std::to_string(lo) + ", " + std::to_string(hi) + "], not " +
                               std::to_string(value));
}

void require_in_knots(double u, CVec U) {
    if (!(u >= U[0] && u <= U[U.size - 1])) bad_argument("u", "out of the knot vector: " + repr_double(u));
}

double bfunpev(double u, int span, CVec U, int p) {
    require_basis_degree(p, U);
    const int m = U.last();
    require_index("span", span, 0, m - p - 1);
    require_in_knots(u, U);
    WorkArray<> N(static_cast<std::size_t>(p) + 1);
    if (!N.ok()) raise_memory();
    double Nip = 0.0;
    OneBasisFun(&p, &m, U.data, &span, &u, N.get(), &Nip);
    return Nip;
}

void bfuncev(Vec C, int span, CVec U, int p) {
    require_basis_degree(p, U);
    const int m = U.last();
    require_index("span", span, 0, m - p - 1);
    for (Py_ssize_t j = 0; j < C.size; ++j) require_in_knots(C[j], U);
    WorkArray<> N(static_cast<std::size_t>(p) + 1);
    if (!N.ok()) raise_memory();
    for (Py_ssize_t j = 0; j < C.size; ++j) {
        const double u = C[j];
        OneBasisFun(&p, &m, U.data, &span, &u, N.get(), &C[j]);
    }
}

void bfunspev(double u, int span, CVec U, int p, Vec N) {
    require_basis_degree(p, U);
    require_size(N.size, static_cast<Py_ssize_t>(p) + 1, "N");
    require_index("span", span, p, U.last() - p - 1);
    require_in_knots(u, U);
    const std::size_t M = static_cast<std::size_t>(p) + 1;
    WorkArray<> left(M), right(M);
    if (!left.ok() || !right.ok()) raise_memory();
    BasisFuns(&span, &u, &p, U.data, left.get(), right.get(), N.data);
}

void dbfunspev(double u, int span, CVec U, int p, int k, Mat nders) {
    require_basis_degree(p, U);
    require_index("k", k, 0, p);
    require_shape(nders, static_cast<Py_ssize_t>(k) + 1, static_cast<Py_ssize_t>(p) + 1, "nders");
    require_index("span", span, p, U.last() - p - 1);
    require_in_knots(u, U);
    const std::size_t M = static_cast<std::size_t>(p) + 1;
    WorkArray<> ndu(M * M), a(2 * M), left(M), right(M);
    if (!ndu.ok() || !a.ok() || !left.ok() || !right.ok()) raise_memory();
    DersBasisFuns(&span, &u, &p, &k, U.data, ndu.get(), a.get(), left.get(), right.get(), nders.data);
}

using kernel::Knots;

Knots knots_mode(bool validate) { return validate ? Knots::validate : Knots::trusted; }

using evaluation_api::PointMemory;

// The span index of a caller's points alone, with the knots it was built on.
struct PointIndex {
    const double* U;
    int n, p;
    SpanIndex spans;
};

void release_index(void* index) noexcept { delete static_cast<PointIndex*>(index); }

// The span index that `memory` keeps for points of its caller (alone, or a
// few in any order), when it is one of these knots and they are trusted (not
// validated by the call); an index of other knots is dropped.
const SpanIndex* kept_index(PointMemory* memory, CVec U, int n, int p, bool validate) {
    const auto* index = static_cast<const PointIndex*>(memory->index);
    if (index == nullptr) return nullptr;
    if (validate || index->U != U.data || index->n != n || index->p != p) {
        memory->drop();
        return nullptr;
    }
    return &index->spans;
}

// Counts `far` more points of the caller that landed more than a few spans
// from the last one, and builds the index of trusted knots once they are
// enough to pay for it: at least 64, and one per 32 spans (it costs a few
// nanoseconds per span, a search on a long knot vector ten times that per
// point; a few spans on, the search from the last span costs no more than
// the index).  The index built, or nullptr.
const SpanIndex* count_misses(PointMemory* memory, CVec U, int n, int p, Py_ssize_t far) {
    memory->misses = static_cast<std::int32_t>(std::min<Py_ssize_t>(memory->misses + far, INT32_MAX));
    if (memory->misses < std::max(64, (n - p + 1) / 32)) return nullptr;
    auto* built = new (std::nothrow) PointIndex{U.data, n, p, SpanIndex(n, p, U.data, n - p + 1)};
    if (built == nullptr) return nullptr;
    memory->index = built;
    memory->release = &release_index;
    return &built->spans;
}

// A point alone of a caller with `memory` (or none): run(hint, index) calls
// the kernel with the last point's span to try first and, once it is built,
// the span index to search from otherwise.
template <class Run>
int with_memory(PointMemory* memory, CVec U, int n, int p, bool validate, Run&& run) {
    if (memory == nullptr) return run(nullptr, nullptr);
    const SpanIndex* index = kept_index(memory, U, n, p, validate);
    const int before = memory->span;
    const int info = run(&memory->span, index);
    if (index == nullptr && !validate && info == 0 && std::abs(memory->span - before) > 4)
        count_misses(memory, U, n, p, 1);
    return info;
}

double point_value(double u, CVec U, CVec P, int p, bool validate, PointMemory* memory) {
    const int n = P.last();
    require_curve(n, p, U);
    double C = 0.0;
    check_info(with_memory(memory, U, n, p, validate, [&](int* hint, const SpanIndex* index) {
        return kernel::curve_point(n, p, U.data, P.data, u, &C, knots_mode(validate), hint, index);
    }));
    return C;
}

void point_derivatives(double u, CVec U, CVec P, int p, int d, Vec CK, bool validate, PointMemory* memory) {
    const int n = P.last();
    require_curve(n, p, U);
    if (d >= 0) require_size(CK.size, static_cast<Py_ssize_t>(d) + 1, "CK");
    check_info(with_memory(memory, U, n, p, validate, [&](int* hint, const SpanIndex* index) {
        return kernel::curve_derivs(n, p, U.data, P.data, u, d, CK.data, knots_mode(validate), hint, index);
    }));
}

void values_in_place(Vec C, CVec U, CVec P, int p, bool validate) {
    const int n = P.last();
    require_curve(n, p, U);
    int info = 0;
    {
        ReleaseForLongWork unlocked(C.size);
        info = kernel::curve_eval(n, p, U.data, P.data, C.data, C.last(), knots_mode(validate));
    }
    check_info(info);
}

void derivatives_into(CVec C, CVec U, CVec P, int p, int r1, int r2, Mat CK, bool validate) {
    const int n = P.last();
    require_curve(n, p, U);
    if (CK.cols != C.size)
        raise(PyExc_ValueError, "'CK' must have " + std::to_string(C.size) + " columns (one per parameter), not " +
                                    std::to_string(CK.cols));
    const int cp = static_cast<int>(CK.rows) - 1;
    int info = 0;
    {
        ReleaseForLongWork unlocked(C.size);
        info = kernel::curve_derivs_eval(n, p, U.data, P.data, r1, r2, C.last(), C.data, cp, CK.data,
                                         knots_mode(validate));
    }
    check_info(info);
}

double splpev(double u, CVec U, CVec P, int p) { return point_value(u, U, P, p, true, nullptr); }

void splcev(Vec C, CVec U, CVec P, int p) { values_in_place(C, U, P, p, true); }

void dsplpev(double u, CVec U, CVec P, int p, int d, Vec CK) { point_derivatives(u, U, P, p, d, CK, true, nullptr); }

void dsplcev(CVec C, CVec U, CVec P, int p, int r1, int r2, Mat CK) { derivatives_into(C, U, P, p, r1, r2, CK, true); }

int points_into(CVec X, Vec C, CVec U, CVec P, int p, int nu, bool strict, bool validate, PointMemory* memory,
                const double* range) {
    const int n = P.last();
    if (X.size == 0 || X.size != C.size || X.size > INT_MAX || U.size != P.size + p + 1) return 0;
    // Points in any order count as points alone that land far from each
    // other, and so do sorted points more than four spans apart on average
    // (once they have turned out to increase); they share their index: a
    // caller that evaluates a few at a time builds it once instead of each
    // call building its own or searching.  (Only while the lock is held:
    // another thread may drop the index.)
    const bool shared = memory != nullptr && X.size < long_array && p >= 0 && p <= n;
    const SpanIndex* index = shared ? kept_index(memory, U, n, p, validate) : nullptr;
    const bool count = shared && index == nullptr && !validate && (!strict || 4 * X.size < Py_ssize_t{n} - p + 1);
    if (count && !strict) index = count_misses(memory, U, n, p, X.size);
    bool done;
    {
        ReleaseForLongWork unlocked(X.size);
        done = kernel::curve_eval_into(n, p, U.data, P.data, nu, X.data, C.data, C.last(), strict, knots_mode(validate),
                                       index, range);
    }
    if (count && strict && done) count_misses(memory, U, n, p, X.size);
    return done ? 1 : 0;
}

// dsplcev of the single order nu, written over the parameters.
void derivative_in_place(Vec C, CVec U, CVec P, int p, int nu, bool validate) {
    derivatives_into(C, U, P, p, nu, nu, Mat{C.data, 1, C.size}, validate);
}

const evaluation_api::Table trajectory_evaluation = {
    &faces::Face<&point_value>::machine,
    &faces::Face<&point_derivatives>::machine,
    &faces::Face<&values_in_place>::machine,
    &faces::Face<&derivative_in_place>::machine,
    &faces::Face<&insert_knot>::machine,
    &faces::Face<&points_into>::machine,
};

}  // namespace

void register_evaluation(Exporter& ex) {
    VIDEVO_CURVEKIT_DEF(ex, findspan, findspan,
        "Index of the knot span that holds u: the i in [p, n] with U[i] <= u < U[i+1]\n"
        "up to the closeness tolerance (a u close to a knot gets the span to its\n"
        "right, a u close to the end of the domain gets n).  n = len(U) - p - 2.\n"
        "Raises ValueError through the status code for p < 0 (-1), an invalid knot\n"
        "vector (-3) or a u outside the domain or NaN (-2).",
        "p", "u", "U");
    VIDEVO_CURVEKIT_DEF(ex, findspanmult, findspanmult,
        "The span k of u (as findspan) and the multiplicity s of u at that span:\n"
        "the number of consecutive knots U[k], U[k-1], ... close to u.  Returns (k, s).\n"
        "Errors as findspan.",
        "p", "u", "U");
    VIDEVO_CURVEKIT_DEF(ex, bfunpev, bfunpev,
        "Value at u of the single basis function N(span, p) on the knot vector U.\n"
        "Raises ValueError for p < 0, a U of fewer than 2p + 2 knots, span outside\n"
        "[0, len(U) - p - 2] or u outside [U[0], U[-1]] (or NaN).",
        "u", "span", "U", "p");
    VIDEVO_CURVEKIT_DEF(ex, bfuncev, bfuncev,
        "Replace every C[j] by N(span, p)(C[j]).  Errors as bfunpev; nothing is\n"
        "written when one of them applies.",
        "C", "span", "U", "p");
    VIDEVO_CURVEKIT_DEF(ex, bfunspev, bfunspev,
        "Fill N (p + 1 entries) with the basis functions N(span - p, p) ... N(span, p)\n"
        "at u, span being the knot span of u.\n"
        "Raises ValueError for p < 0, a U of fewer than 2p + 2 knots, N of another\n"
        "size, span outside [p, len(U) - p - 2] or u outside [U[0], U[-1]] (or NaN).",
        "u", "span", "U", "p", "N");
    VIDEVO_CURVEKIT_DEF(ex, dbfunspev, dbfunspev,
        "Fill the (k + 1) x (p + 1) array nders with the basis functions of span and\n"
        "their derivatives up to order k at u: nders[i, j] is the i-th derivative of\n"
        "N(span - p + j, p).\n"
        "Raises ValueError as bfunspev, and for k outside [0, p] or nders of another\n"
        "shape.",
        "u", "span", "U", "p", "k", "nders");
    VIDEVO_CURVEKIT_DEF(ex, splpev, splpev,
        "Value at u of the B-spline of degree p with knots U and control points P.\n"
        "Raises ValueError through the status code for p > len(P) - 1 (-1), p < 0\n"
        "(-2), an invalid knot vector or one whose length is not len(P) + p + 1 (-3)\n"
        "or u outside [U[0], U[-1]] or NaN (-5).",
        "u", "U", "P", "p");
    VIDEVO_CURVEKIT_DEF(ex, splcev, splcev,
        "Replace every C[j] by the value of the B-spline at C[j].  Non-decreasing\n"
        "parameters are evaluated fastest; any order is evaluated correctly.\n"
        "Raises as splpev (-5 for any parameter outside the domain, nothing written)\n"
        "and -6 for an empty C.",
        "C", "U", "P", "p");
    VIDEVO_CURVEKIT_DEF(ex, dsplpev, dsplpev,
        "Fill CK (d + 1 entries) with the derivatives of orders 0..d of the B-spline\n"
        "at u; orders above p are 0.\n"
        "Raises as splpev, -6 for d < 0, and ValueError for CK of another size.",
        "u", "U", "P", "p", "d", "CK");
    VIDEVO_CURVEKIT_DEF(ex, dsplcev, dsplcev,
        "Fill the (r2 - r1 + 1) x len(C) array CK with the derivatives of orders\n"
        "r1..r2 at the parameters C: CK[k, j] is the derivative of order r1 + k at\n"
        "C[j]; orders above p give rows of zeros.  C is not changed.\n"
        "Raises ValueError for CK without len(C) columns, and through the status\n"
        "code for p > n (-1), p < 0 (-2), an invalid knot vector (-3), r1 < 0 (-5),\n"
        "r2 < r1 (-6), an empty C (-7), a parameter outside the domain or NaN (-8),\n"
        "CK without r2 - r1 + 1 rows (-9).",
        "C", "U", "P", "p", "r1", "r2", "CK");
    PyObject* table = PyCapsule_New(const_cast<evaluation_api::Table*>(&trajectory_evaluation),
                                    evaluation_api::signature, nullptr);
    if (table == nullptr) throw nb::python_error();
    ex.module().attr(evaluation_api::table_attribute) = nb::steal(table);
}

}  // namespace videvo::curvekit
