// Curve evaluation at one parameter and at arrays of parameters.
#include "basis.h"
#include "evaluation.h"
#include "lanes.h"
#include "morvane.h"
#include "span_search.h"
#include "work.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>

using videvo::WorkArray;

namespace {

// Degree as a compile-time constant for the common small degrees, so that the
// short inner loops unroll; Runtime stands for any other degree.
using Runtime = std::integral_constant<int, -1>;

template <class F>
void with_degree(int p, F&& f) {
    switch (p) {
        case 0: f(std::integral_constant<int, 0>{}); break;
        case 1: f(std::integral_constant<int, 1>{}); break;
        case 2: f(std::integral_constant<int, 2>{}); break;
        case 3: f(std::integral_constant<int, 3>{}); break;
        case 4: f(std::integral_constant<int, 4>{}); break;
        case 5: f(std::integral_constant<int, 5>{}); break;
        case 6: f(std::integral_constant<int, 6>{}); break;
        case 7: f(std::integral_constant<int, 7>{}); break;
        default: f(Runtime{}); break;  // (top_fixed_degree)
    }
}

template <class Deg>
constexpr int degree_of(Deg, int p) {
    return Deg::value >= 0 ? Deg::value : p;
}

constexpr int top_fixed_degree = 7;

// Doubles of work memory that a SpanBasis of degree p needs (none for the
// degrees that with_degree fixes: their tables live on the stack).
std::size_t span_basis_work(int p) {
    if (p <= top_fixed_degree) return 0;
    const std::size_t M = static_cast<std::size_t>(p) + 1;
    return M * M + 3 * M;
}

// The triangular scheme of NURBS Book A2.2 at u up to degree `top`, with the
// knots knot(i) = U[s + i] of u's span s and the inverted knot differences
// inv(j, r) = 1 / (knot(r + 1) - knot(r + 1 - j)); harvest(j, N) after degree j.
// Each step splits N[r] into right[r+1] / d and left[j-r] / d of it, d the
// difference, which is their sum.  OnKnot is for u equal to U[s] or U[s+1]
// (any lane of it), the only parameters where one of the two vanishes: the
// other is then d itself, and N[r] passes whole instead of as
// d * (1 / d), which may miss 1 by an ulp.  So the basis is exact there: at
// the ends of a clamped curve its value is the end control point.
template <bool OnKnot = false, class V, class Knot, class Inv, class Harvest>
[[gnu::always_inline]] inline void triangle_scheme(V u, int top, V* left, V* right, V* N, Knot&& knot, Inv&& inv,
                                                   Harvest&& harvest) {
    N[0] = V{} + 1.0;
    harvest(0, static_cast<const V*>(N));
    for (int j = 1; j <= top; ++j) {
        left[j] = u - knot(1 - j);
        right[j] = knot(j) - u;
        V saved{};
        for (int r = 0; r < j; ++r) {
            const V temp = N[r] * inv(j, r);
            V to_left = right[r + 1] * temp, to_right = left[j - r] * temp;
            if constexpr (OnKnot) {
                to_left = left[j - r] == 0.0 ? N[r] : to_left;
                to_right = right[r + 1] == 0.0 ? N[r] : to_right;
            }
            N[r] = saved + to_left;
            saved = to_right;
        }
        N[j] = saved;
        harvest(j, static_cast<const V*>(N));
    }
}

// Whether u is the first or the last knot of its span (in which lanes, for
// Lanes): where the scheme takes its exact steps.
template <class V, class K>
[[gnu::always_inline]] inline auto on_span_knot(V u, K first, K last) {
    return (u == first) | (u == last);
}

// Basis functions at parameters of one span.  The denominators of the
// triangular scheme (NURBS Book A2.2) are knot differences U[s+r+1] - U[s+1-j+r]
// of the span alone, so they are inverted once per span; sorted parameters
// share a span for many points in a row.  All of them cover [U[s], U[s+1]]
// and so never vanish on a non-empty span.  For the fixed degrees every
// table lives in registers or on the stack, and the scheme also runs on Lanes
// of four parameters of the span with the very operations of one.
template <class Deg>
class SpanBasis {
    static constexpr int D = Deg::value;
    static constexpr bool fixed = D >= 0;
    static constexpr int table_size = fixed ? (D + 1) * (D + 1) : 1;

public:
    SpanBasis(Deg tag, int p, const double* U, double* work) : deg_(degree_of(tag, p)), U_(U), work_(work) {
        if constexpr (!fixed) inv_ = work;
    }

    int span() const { return span_; }
    int deg() const { return fixed ? D : deg_; }

    void set_span(int s) {
        span_ = s;
        const int M = deg() + 1;
        for (int j = 1; j <= deg(); ++j)
            for (int r = 0; r < j; ++r) inv_[j * M + r] = 1.0 / (U_[s + r + 1] - U_[s + 1 - j + r]);
    }

    // Runs the scheme at u up to degree `top`; harvest(j, N) after degree j.
    template <class V, class Harvest>
    [[gnu::always_inline]] void run(V u, int top, Harvest&& harvest) const {
        top = std::min(top, deg());
        if constexpr (fixed) {
            // (one spare entry: degree 0 keeps the arrays non-trivial for the
            // loop bounds the compiler cannot see)
            V left[D + 2], right[D + 2], N[D + 2];
            triangle(u, top, left, right, N, harvest);
        } else {
            const int M = deg_ + 1;
            triangle(u, top, work_ + M * M, work_ + M * M + M, work_ + M * M + 2 * M, harvest);
        }
    }

    // Curve value at u from the control points P.
    template <class V>
    [[gnu::always_inline]] V value(V u, const double* P) const {
        const double* Ps = P + span_ - deg();
        V c{};
        run(u, deg(), [&](int j, const V* N) {
            if (j != deg()) return;
            for (int i = 0; i <= j; ++i) c += N[i] * Ps[i];
        });
        return c;
    }

private:
    template <class V, class Harvest>
    [[gnu::always_inline]] void triangle(V u, int top, V* left, V* right, V* N, Harvest&& harvest) const {
        const int s = span_;
        const int M = deg() + 1;
        auto knot = [&](int i) { return U_[s + i]; };
        auto inverse = [&](int j, int r) { return inv_[j * M + r]; };
        // The exact steps where u is the first or the last knot of the span,
        // out of line, so that the walk's loops keep their shape (Lanes here
        // lie strictly inside the span: walk_points).
        if constexpr (std::is_same_v<V, double>)
            if (on_span_knot(u, U_[s], U_[s + 1])) [[unlikely]]
                return exact_triangle(u, top, left, right, N, knot, inverse, harvest);
        triangle_scheme(u, top, left, right, N, knot, inverse, harvest);
    }

    template <class Knot, class Inv, class Harvest>
    [[gnu::noinline, gnu::cold]] static void exact_triangle(double u, int top, double* left, double* right, double* N,
                                                            Knot& knot, Inv& inverse, Harvest& harvest) {
        triangle_scheme<true>(u, top, left, right, N, knot, inverse, harvest);
    }

    int deg_;
    const double* U_;
    double* work_;
    // (left uninitialised: set_span writes every entry that is read, and a
    // point evaluated alone should not pay for clearing the table)
    std::conditional_t<fixed, std::array<double, table_size>, double*> inv_;
    int span_ = -1;
};

// Every parameter in [lo, hi] (NaN is not), and whether they are non-decreasing.
struct DomainScan {
    bool inside = true;
    bool sorted = true;
};

VIDEVO_WIDE_CLONES DomainScan scan_parameters(const double* C, int np, double lo, double hi) {
    DomainScan scan;
    scan.inside = (C[0] >= lo) & (C[0] <= hi);
    scan.sorted = C[0] >= lo;
    int j = 1;
    const videvo::Lanes low = videvo::Lanes{} + lo, high = videvo::Lanes{} + hi;
    videvo::LaneMask inside = ~videvo::LaneMask{}, sorted = ~videvo::LaneMask{};
    for (; j + 3 <= np; j += 4) {
        const videvo::Lanes u = videvo::load_lanes(C + j);
        inside &= (u >= low) & (u <= high);
        sorted &= u >= videvo::load_lanes(C + j - 1);
    }
    for (int l = 0; l < 4; ++l) {
        scan.inside &= inside[l] != 0;
        scan.sorted &= sorted[l] != 0;
    }
    for (; j <= np; ++j) {
        scan.inside &= (C[j] >= lo) & (C[j] <= hi);
        scan.sorted &= C[j] >= C[j - 1];
    }
    return scan;
}

// A domain of one point (all knots equal) has only 0/0 basis functions: the
// curve is taken as the constant P[n] there, its derivatives as zero.
bool single_point(const double* U, int m) { return U[0] == U[m]; }

// Value (order 0) or derivative of the constant P[n] on a one-point domain.
double single_point_value(const double* P, int n, int order) { return order == 0 ? P[n] : 0.0; }

// Common checks of the evaluation routines: -2, -1, -3.
int check_curve(int n, int p, const double* U, videvo::kernel::Knots knots) {
    if (p < 0) return -2;
    if (p > n) return -1;
    if (knots == videvo::kernel::Knots::validate && ValidKnotVector(&n, &p, U) != 0) return -3;
    return 0;
}

// Whether the knots, control points and span index (one cell of 4 bytes per
// span) of a curve are more than the cache holds for reads in any order
// (about the size of one core's second-level cache): such reads are then
// asked for ahead.
constexpr bool scattered_reads_miss(int n, int p) { return 8.0 * (2.0 * n + p + 3) + 4.0 * (n - p + 1) > (1 << 20); }

// Whether `points` sorted points on `spans` spans are few enough, at most
// four per span on average, to be evaluated in lanes from spans found one
// by one rather than walked span by span.
constexpr bool sparse(long points, long spans) { return points <= 4 * spans; }

// Whether X[0..last] increase strictly (NaNs do not).
[[gnu::always_inline]] inline bool increase(const double* X, long last) {
    bool up = true;
    for (long j = 1; j <= last; ++j) up &= X[j] > X[j - 1];
    return up;
}

// A span index for parameters in any order, and for sorted ones of one to
// four per span (where following them span by span would branch at nearly
// every step), when there are enough of them to pay for it: building it costs a
// few nanoseconds per span, a binary search on a long knot vector ten times
// that per parameter.  Two cells per span, or two per parameter when there
// are fewer (its memory stays within that of the results; each cell then
// covers a few spans, which the lookup gallops over).  For points in any
// order on a curve larger than the cache one cell per span: the index then
// takes less of the cache than it saves in galloping.
std::optional<videvo::SpanIndex> index_for(int n, int p, const double* U, int np, bool sorted) {
    const long spans = long(n) - p + 1;
    if (16L * np < spans || spans > (1 << 29)) return std::nullopt;
    if (sorted && (np + 1L < spans || !sparse(np + 1L, spans))) return std::nullopt;
    const long per_span = !sorted && scattered_reads_miss(n, p) ? 1 : 2;
    return std::optional<videvo::SpanIndex>(std::in_place, n, p, U, static_cast<int>(per_span * std::min<long>(spans, np)));
}

// The span index that an evaluation searches from: for points in any order
// and sparse sorted ones the caller's `kept` when given (an index of these
// knots that outlives the call), else index_for's, held in `built`.
const videvo::SpanIndex* search_index(int n, int p, const double* U, int np, bool sorted, const videvo::SpanIndex* kept,
                                      std::optional<videvo::SpanIndex>& built) {
    if (kept != nullptr && (!sorted || sparse(long(np) + 1, long(n) - p + 1))) return kept;
    built = index_for(n, p, U, np, sorted);
    return built ? &*built : nullptr;
}

// The inverted knot differences of the triangular scheme of degree D, per
// span: 1 / (U[s+r+1] - U[s+r+1-j]) for j = 1..D, r = 0..j-1, at inverse_at(j, r).
constexpr int inverses_per_span(int D) { return D * (D + 1) / 2; }
constexpr int inverse_at(int j, int r) { return j * (j - 1) / 2 + r; }

// The inverted knot differences of every span (row s - D for span s), for
// points in any order on a curve that stays in the cache, at least four of
// them per span: a cubic's six divisions per point took a tenth of its time,
// and the table costs as many per span, no more than half a megabyte of
// memory and row reads of the cache.  The very quotients that the points
// would form, so nothing changes but the time.  None where it does not pay
// or memory is short.  (Knots not yet validated may make entries of
// spans that no point reaches infinite: they are never read.)
template <int D>
std::unique_ptr<double[]> span_inverses(int n, const double* U, int np) {
    constexpr long K = inverses_per_span(D);
    const long spans = long(n) - D + 1;
    if (K == 0 || scattered_reads_miss(n, D) || np + 1L < 4 * spans || spans * K > (1L << 16)) return nullptr;
    std::unique_ptr<double[]> table(new (std::nothrow) double[static_cast<std::size_t>(spans * K)]);
    if (!table) return nullptr;
    for (long s = D; s <= n; ++s) {
        double* const row = table.get() + (s - D) * K;
        for (int j = 1; j <= D; ++j)
            for (int r = 0; r < j; ++r) row[inverse_at(j, r)] = 1.0 / (U[s + r + 1] - U[s + r + 1 - j]);
    }
    return table;
}

void put(double* to, double c) { *to = c; }
[[gnu::always_inline]] inline void put(double* to, videvo::Lanes c) { videvo::store_lanes(to, c); }

// Visits the parameters X[0..last] in order with the span of each:
// enter(s) when the span changes, at(u, j) for the point j.  Sorted
// parameters go four at a time (u as Lanes) where four in a row share a span.
// With Strict the parameters must increase strictly (X is then not the
// output): the walk stops at the first one that does not and returns false.
// (Inlined so that it takes the instruction set of its caller's clone.)
template <bool Strict, class Deg, class Enter, class At>
[[gnu::always_inline]] inline bool walk_points(Deg, videvo::SpanCursor& span_of, int current, const double* X, long last,
                                               bool sorted, Enter&& enter, At&& at) {
    auto one = [&](long j, int span) {
        if (span != current) enter(current = span);
        at(X[j], j);
    };
    long j = 0;
    if constexpr (Strict) {
        one(0, span_of(X[0]));
        j = 1;
    }
    if constexpr (Deg::value >= 0)
        for (; sorted && j + 3 <= last; j += 4) {
            if constexpr (Strict) {
                const videvo::LaneMask up = videvo::load_lanes(X + j) > videvo::load_lanes(X + j - 1);
                if (!(up[0] & up[1] & up[2] & up[3])) return false;
            }
            // The four share the span of the first when the last lies in its
            // clear interior (the spans of sorted parameters do not decrease);
            // they go together when the first lies above the span's first
            // knot too, so that no lane of them is a knot (SpanBasis).
            const int s = span_of(X[j]);
            if (X[j + 3] < span_of.high() && span_of.low() < X[j]) {
                if (s != current) enter(current = s);
                at(videvo::load_lanes(X + j), j);
            } else {
                one(j, s);
                for (int l = 1; l < 4; ++l) one(j + l, span_of(X[j + l]));
            }
        }
    for (; j <= last; ++j) {
        if constexpr (Strict)
            if (!(X[j] > X[j - 1])) return false;
        one(j, span_of(X[j]));
    }
    return true;
}

// Four parameters from x, of which `available` exist: the missing ones repeat
// the last.
[[gnu::always_inline]] inline videvo::Lanes load_padded(const double* x, long available) {
    if (available >= 4) return videvo::load_lanes(x);
    return videvo::Lanes{x[0], x[std::min(1L, available - 1)], x[std::min(2L, available - 1)], x[available - 1]};
}

[[gnu::always_inline]] inline void store_part(double* x, videvo::Lanes v, long available) {
    if (available >= 4) return videvo::store_lanes(x, v);
    for (long l = 0; l < available; ++l) x[l] = v[l];
}

// The derivatives of orders r1..r2 (0 <= r1 <= r2 <= D; 0: the value) at
// four parameters in any order, one lane each, from their spans s, into
// out[0..r2-r1]: every lane's knots and control points are read from its
// own span, the derivatives' control points formed (NURBS Book A3.3) and
// the knot differences inverted per point (or read from `inverses`, the
// table of span_inverses), by the very operations of the walk
// (local_derivative_points and SpanBasis::set_span), so the values are those
// of the sorted walk.
// With One (r1 = r2) the control points are formed in place, one row.
template <int D, bool One>
[[gnu::always_inline]] inline void scattered_derivatives(videvo::Lanes u, const int* s, const double* U,
                                                         const double* P, int r1, int r2, videvo::Lanes* out,
                                                         const double* inverses) {
    using videvo::Lanes;
    Lanes knots[2 * D + 2]{};  // knots[D + i] = U[s + i] for i = 1 - D .. D (the ends unused)
    videvo::gather_rows<2 * D>(U + 1 - D, s, knots + 1);
    auto knot = [&](int i) __attribute__((always_inline)) { return knots[D + i]; };
    // T[k][i]: the control points of order k, T[0][i] = P[s - D + i] (all in
    // T[0] with One)
    constexpr int rows = One ? 1 : D + 1;
    Lanes T[rows][D + 1];
    videvo::gather_rows<D + 1>(P - D, s, T[0]);
    for (int k = 1; k <= std::min(r2, D); ++k) {
        const double f = D - k + 1;
        for (int i = 0; i <= D - k; ++i)
            T[One ? 0 : k][i] = f * (T[One ? 0 : k - 1][i + 1] - T[One ? 0 : k - 1][i]) / (knot(i + 1) - knot(i + k - D));
    }
    // The order q = D - d from the basis of degree d: after the scheme for
    // the one order, as each degree is reached for several.
    auto harvest = [&](int d, const Lanes* basis) __attribute__((always_inline)) {
        const int q = D - d;
        if (q < 0 || q > r2) return;  // (q < 0 never: r1 >= 0)
        Lanes c{};
        for (int i = 0; i <= d; ++i) c += basis[i] * T[One ? 0 : q][i];
        out[q - r1] = c;
    };
    constexpr int K = inverses_per_span(D);
    Lanes inverted[K > 0 ? K : 1];
    if (K > 0 && inverses != nullptr) {
        int rows[4];
        for (int l = 0; l < 4; ++l) rows[l] = (s[l] - D) * K;
        videvo::gather_rows<K>(inverses, rows, inverted);
    }
    auto inv = [&](int j, int r) __attribute__((always_inline)) {
        return inverses != nullptr ? inverted[inverse_at(j, r)] : 1.0 / (knot(r + 1) - knot(r + 1 - j));
    };
    Lanes left[D + 2], right[D + 2], N[D + 2];
    auto scheme = [&](auto exact) __attribute__((always_inline)) {
        if constexpr (One) {
            triangle_scheme<exact()>(u, D - r1, left, right, N, knot, inv, [](int, const Lanes*) {});
            harvest(D - r1, N);
        } else {
            triangle_scheme<exact()>(u, D - r1, left, right, N, knot, inv, harvest);
        }
    };
    // (the exact steps change nothing in lanes off the knots)
    const auto at = on_span_knot(u, knot(0), knot(1));
    if (at[0] | at[1] | at[2] | at[3]) [[unlikely]]
        scheme(std::true_type{});
    else
        scheme(std::false_type{});
}

// What eval_scattered and eval_sparse compute at four parameters from their
// spans and write from `to` on, lane l `stride` places after lane l - 1 when
// given (else next to it), of which the first `available` exist: the
// derivatives of orders r1..r2, order q in the row q - r1 of `cols` doubles
// (member functions, so that they are inlined into their caller's
// instruction set).
template <int D, bool One = true>
struct DerivativeAt {
    const double *U, *P;
    int r1, r2;
    long cols = 0;
    const double* inverses = nullptr;  // span_inverses' table, or none
    [[gnu::always_inline]] void put(double* to, videvo::Lanes u, const int* s, long available,
                                    long stride = 1) const {
        videvo::Lanes out[D + 1]{};
        scattered_derivatives<D, One>(u, s, U, P, r1, r2, out, inverses);
        for (int q = r1; q <= r2; ++q) {
            double* const row = to + (q - r1) * cols;
            if (stride == 1)
                store_part(row, out[q - r1], available);
            else
                for (long l = 0; l < available; ++l) row[l * stride] = out[q - r1][l];
        }
    }
};

// C[j] = the value at X[j] for j = 0..last, parameters in any order (X may
// be C).  A chunk's spans are all found first: their searches are
// independent, so their memory reads overlap.  With Fetch, for a curve too
// large for the cache, memory is asked for in three stages that overlap:
// the index cells of the chunk after next, the knots around the spans that
// the next chunk's searches start from (the searches read them, and so does
// the evaluation: the span found is nearly always at most two knots on), and
// this chunk's control points once its spans are known.  A curve that stays
// in the cache would only pay for the asking.
template <int D, bool Fetch, class At>
[[gnu::always_inline]] inline void eval_scattered(const videvo::SpanIndex& span_of, const double* P, const At& at,
                                                  const double* X, double* C, long last) {
    constexpr long chunk = 64;
    int spans[chunk];
    auto ask = [&](long from, auto&& each) __attribute__((always_inline)) {
        for (long k = from; k <= std::min(from + chunk - 1, last); ++k) each(X[k]);
    };
    auto cell = [&](double u) __attribute__((always_inline)) { span_of.prefetch(u); };
    auto knots = [&](double u) __attribute__((always_inline)) { span_of.prefetch_knots(u, D - 1, D + 2); };
    if constexpr (Fetch) {
        ask(0, cell);
        ask(chunk, cell);
        ask(0, knots);
    }
    for (long j = 0; j <= last; j += chunk) {
        const long count = std::min(chunk, last - j + 1);
        if constexpr (Fetch) {
            ask(j + 2 * chunk, cell);
            ask(j + chunk, knots);
        }
        for (long k = 0; k < count; k += 4) span_of(load_padded(X + j + k, count - k), spans + k);
        if constexpr (Fetch)
            for (long k = 0; k < count; ++k) {
                __builtin_prefetch(P + spans[k] - D);
                __builtin_prefetch(P + spans[k]);
            }
        for (long k = 0; k < count; k += 4)
            at.put(C + j + k, load_padded(X + j + k, count - k), spans + k, count - k);
    }
}

// Sorted points sparser than the spans: most points have a span of their
// own, which the walk would set up point by point.  Instead the points are
// cut into four runs, one per lane, each followed by a cursor of its own,
// and evaluated four at a time as points in any order are (the same
// values).  One cursor would wait for each point's knots before it could
// search for the next; the four searches are independent, so their memory
// reads overlap.  (Each point is read before its result is written: X may
// be C.)
template <class At>
[[gnu::always_inline]] inline void eval_sparse(int n, int p, const double* U, const At& at, const double* X, double* C,
                                               long last) {
    const long run = last / 4 + 1;  // (the last runs may be shorter, or empty)
    videvo::SpanCursor cursor[4] = {{n, p, U, true}, {n, p, U, true}, {n, p, U, true}, {n, p, U, true}};
    for (long j = 0; j < run; ++j) {
        // lanes 0..count-1 have a point, the others repeat the first lane's
        long count = 0;
        while (count < 4 && count * run + j <= last) ++count;
        videvo::Lanes u{};
        int s[4];
        for (long l = 0; l < 4; ++l) {
            u[l] = X[(l < count ? l : 0) * run + j];
            s[l] = l < count ? cursor[l](u[l]) : s[0];
        }
        at.put(C + j, u, s, count, run);
    }
}

// Points in any order and sparse sorted points, evaluated four at a time in
// lanes by `at`, their spans from the index when there is one; nothing when
// the points are for the walk, else what the walk would return (with Strict,
// false when the points do not increase strictly: X is then not C).
template <bool Strict, int D, class At>
[[gnu::always_inline]] inline std::optional<bool> eval_in_lanes(int n, int p, const double* U, const double* P,
                                                                const At& at,
                                                                const videvo::SpanIndex* index,
                                                                const double* X, double* C, int np, bool sorted) {
    const bool lanes = index || (sorted && sparse(long(np) + 1, long(n) - p + 1));
    if (!lanes) return std::nullopt;
    if constexpr (Strict)
        if (!increase(X, np)) return false;
    if (index) {
        // (sorted points read the curve in order, which the processor
        // foresees itself)
        if (!sorted && scattered_reads_miss(n, p))
            eval_scattered<D, true>(*index, P, at, X, C, np);
        else
            eval_scattered<D, false>(*index, P, at, X, C, np);
        return true;
    }
    eval_sparse(n, p, U, at, X, C, np);
    return true;
}

template <bool Strict, class Deg>
VIDEVO_WIDE_CLONES bool eval_points(Deg tag, int n, int p, const double* U, const double* P, const double* X, double* C,
                                    int np, bool sorted, double* work, const videvo::SpanIndex* kept) {
    SpanBasis<Deg> basis(tag, p, U, work);
    std::optional<videvo::SpanIndex> built;
    const videvo::SpanIndex* const index = search_index(n, p, U, np, sorted, kept, built);
    if constexpr (Deg::value >= 0) {
        const auto inverses = index && !sorted ? span_inverses<Deg::value>(n, U, np) : nullptr;
        if (std::optional<bool> done = eval_in_lanes<Strict, Deg::value>(
                n, p, U, P, DerivativeAt<Deg::value>{U, P, 0, 0, 0, inverses.get()}, index, X, C, np, sorted))
            return *done;
    }
    videvo::SpanCursor span_of(n, p, U, sorted, index);
    return walk_points<Strict>(
        tag, span_of, basis.span(), X, np, sorted, [&](int span) { basis.set_span(span); },
        [&](auto u, long j) __attribute__((always_inline)) { put(C + j, basis.value(u, P)); });
}

// Control points of the derivatives of orders 0..kmax that act on span s
// (NURBS Book A3.3 with r1 = s - p, r2 = s): T[k * (p + 1) + i] for
// i = 0..p - k.  The denominators cover [U[s], U[s+1]] and so never vanish.
void local_derivative_points(int s, int p, int kmax, const double* U, const double* P, double* T) {
    const int M = p + 1;
    for (int i = 0; i <= p; ++i) T[i] = P[s - p + i];
    for (int k = 1; k <= kmax; ++k) {
        const double f = p - k + 1;
        const double* prev = T + (k - 1) * M;
        double* row = T + k * M;
        for (int i = 0; i <= p - k; ++i) row[i] = f * (prev[i + 1] - prev[i]) / (U[s + i + 1] - U[s - p + i + k]);
    }
}

// The derivatives of orders r1..kmax at u (one parameter or Lanes of them) on
// the span that `basis` and the control points T (local_derivative_points)
// were set to, order q handed to out(q, c).  The derivative of order q at u
// is the degree p - q basis of the same span applied to the order-q control
// points of that span (NURBS Book A3.4), so one run of the triangular scheme
// up to degree p - r1 yields orders kmax..r1.
template <class Deg, class V, class Out>
[[gnu::always_inline]] inline void orders_at(const SpanBasis<Deg>& basis, const double* T, int deg, int r1, int kmax,
                                             V u, Out&& out) {
    basis.run(u, deg - r1, [&](int d, const V* N) {
        const int q = deg - d;
        if (q > kmax) return;
        const double* row = T + q * (deg + 1);
        V c{};
        for (int i = 0; i <= d; ++i) c += N[i] * row[i];
        out(q, c);
    });
}

template <bool Strict, class Deg>
VIDEVO_WIDE_CLONES bool eval_derivatives(Deg tag, int n, int p, const double* U, const double* P, int r1, int r2, int np,
                      const double* C, double* CK, bool sorted, double* work, double* T,
                      const videvo::SpanIndex* kept) {
    const int deg = degree_of(tag, p);
    const long cols = np + 1;
    const int kmax = std::min(r2, deg);
    for (long long q = std::max(r1, deg + 1); q <= r2; ++q) std::fill(CK + (q - r1) * cols, CK + (q - r1 + 1) * cols, 0.0);
    if (r1 > deg) return true;
    SpanBasis<Deg> basis(tag, p, U, work);
    std::optional<videvo::SpanIndex> built;
    const videvo::SpanIndex* const index = search_index(n, p, U, np, sorted, kept, built);
    // (one order may be written over the points, CK being C: each four are
    // read before their results are written)
    if constexpr (Deg::value >= 0) {
        // (from the first derivative on, half the table or less would be
        // read, and its rows cost more than the divisions they save)
        const auto inverses = index && !sorted && r1 == 0 ? span_inverses<Deg::value>(n, U, np) : nullptr;
        std::optional<bool> done;
        if (r1 == r2)
            done = eval_in_lanes<Strict, Deg::value>(n, p, U, P, DerivativeAt<Deg::value>{U, P, r1, r1, 0, inverses.get()},
                                                     index, C, CK, np, sorted);
        else
            done = eval_in_lanes<Strict, Deg::value>(
                n, p, U, P, DerivativeAt<Deg::value, false>{U, P, r1, kmax, cols, inverses.get()}, index, C, CK, np,
                sorted);
        if (done) return *done;
    }
    videvo::SpanCursor span_of(n, p, U, sorted, index);
    auto enter = [&](int span) {
        basis.set_span(span);
        local_derivative_points(span, deg, kmax, U, P, T);
    };
    return walk_points<Strict>(tag, span_of, basis.span(), C, cols - 1, sorted, enter,
                               [&](auto u, long j) __attribute__((always_inline)) {
        orders_at(basis, T, deg, r1, kmax, u,
                  [&](int q, auto c) __attribute__((always_inline)) { put(CK + (q - r1) * cols + j, c); });
    });
}

// The derivatives of orders 0..d at u of span `span` into CK[0..d], as the
// walk gives them.
template <class Deg>
void point_derivatives(Deg tag, int p, const double* U, const double* P, int span, double u, int d, double* CK,
                       double* work, double* T) {
    const int deg = degree_of(tag, p);
    const int kmax = std::min(d, deg);
    for (long long q = deg + 1; q <= d; ++q) CK[q] = 0.0;
    SpanBasis<Deg> basis(tag, p, U, work);
    basis.set_span(span);
    local_derivative_points(span, deg, kmax, U, P, T);
    orders_at(basis, T, deg, 0, kmax, u, [&](int q, double c) { CK[q] = c; });
}

// The span of a point evaluated alone: from the caller's hint of the last
// point's span (and its index of U) when given, else searched.
int point_span(int n, int p, double u, const double* U, int* hint, const videvo::SpanIndex* index) {
    return hint != nullptr ? videvo::find_span_hinted(n, p, u, U, *hint, index) : videvo::find_span(n, p, u, U);
}

// The outcome of an array evaluation with its work memory.
enum class Run { done, broken, no_memory };  // broken: a Strict walk stopped

// eval_points of any degree, with its work memory.
template <bool Strict>
Run run_values(int n, int p, const double* U, const double* P, const double* X, double* C, int np, bool sorted,
               const videvo::SpanIndex* kept = nullptr) {
    WorkArray<> work(span_basis_work(p));
    if (!work.ok()) return Run::no_memory;
    bool walked = true;
    with_degree(p, [&](auto deg) { walked = eval_points<Strict>(deg, n, p, U, P, X, C, np, sorted, work.get(), kept); });
    return walked ? Run::done : Run::broken;
}

// eval_derivatives of any degree, with its work memory.
template <bool Strict>
Run run_derivatives(int n, int p, const double* U, const double* P, int r1, int r2, int np, const double* X, double* CK,
                    bool sorted, const videvo::SpanIndex* kept = nullptr) {
    const std::size_t M = static_cast<std::size_t>(p) + 1;
    WorkArray<> work(span_basis_work(p)), T(M * M);
    if (!work.ok() || !T.ok()) return Run::no_memory;
    bool walked = true;
    with_degree(p, [&](auto deg) {
        walked = eval_derivatives<Strict>(deg, n, p, U, P, r1, r2, np, X, CK, sorted, work.get(), T.get(), kept);
    });
    return walked ? Run::done : Run::broken;
}

}  // namespace

namespace videvo::kernel {

int curve_point(int n, int p, const double* U, const double* P, double u, double* C, Knots knots, int* hint,
                const videvo::SpanIndex* index) {
    if (const int info = check_curve(n, p, U, knots); info != 0) return info;
    const int m = n + p + 1;
    if (!(u >= U[0] && u <= U[m])) return -5;
    if (single_point(U, m)) {
        *C = single_point_value(P, n, 0);
        return 0;
    }
    const int span = point_span(n, p, u, U, hint, index);
    // The scheme of the array evaluation, so that a point gives the same
    // value alone as within an array.
    WorkArray<> work(span_basis_work(p));
    if (!work.ok()) return 1;
    with_degree(p, [&](auto deg) {
        SpanBasis basis(deg, p, U, work.get());
        basis.set_span(span);
        *C = basis.value(u, P);
    });
    return 0;
}

int curve_eval(int n, int p, const double* U, const double* P, double* C, int np, Knots knots) {
    if (const int info = check_curve(n, p, U, knots); info != 0) return info;
    if (np < 0) return -6;
    const DomainScan scan = scan_parameters(C, np, U[0], U[n + p + 1]);
    if (!scan.inside) return -5;
    if (single_point(U, n + p + 1)) {
        std::fill(C, C + np + 1, single_point_value(P, n, 0));
        return 0;
    }
    return run_values<false>(n, p, U, P, C, C, np, scan.sorted) == Run::no_memory ? 1 : 0;
}

bool curve_eval_into(int n, int p, const double* U, const double* P, int nu, const double* X, double* C, int np,
                     bool strict, Knots knots, const videvo::SpanIndex* index, const double* range) {
    if (p < 0 || p > n || nu < 0 || np < 0 || X == C) return false;
    const int m = n + p + 1;
    if (!(X[0] >= U[0] && X[np] <= U[m]) || single_point(U, m)) return false;
    bool done = true;
    if (!strict) {
        const DomainScan scan = range != nullptr ? DomainScan{range[0] >= U[0] && range[1] <= U[m], false}
                                                 : scan_parameters(X, np, U[0], U[m]);
        if (!scan.inside) return false;
        if (nu > p)
            std::fill(C, C + np + 1, 0.0);
        else
            done = (nu == 0 ? run_values<false>(n, p, U, P, X, C, np, scan.sorted, index)
                            : run_derivatives<false>(n, p, U, P, nu, nu, np, X, C, scan.sorted, index)) == Run::done;
    } else if (nu > p) {
        done = increase(X, np);
        std::fill(C, C + np + 1, 0.0);
    } else {
        done = (nu == 0 ? run_values<true>(n, p, U, P, X, C, np, true, index)
                        : run_derivatives<true>(n, p, U, P, nu, nu, np, X, C, true, index)) == Run::done;
    }
    // The knots are checked last: until then nothing depends on them but
    // values that are thrown away, and the points' errors come first.
    return done && (knots == Knots::trusted || ValidKnotVector(&n, &p, U) == 0);
}

int curve_derivs(int n, int p, const double* U, const double* P, double u, int d, double* CK, Knots knots,
                 int* hint, const videvo::SpanIndex* index) {
    if (const int info = check_curve(n, p, U, knots); info != 0) return info;
    const int m = n + p + 1;
    if (!(u >= U[0] && u <= U[m])) return -5;
    if (d < 0) return -6;
    if (single_point(U, m)) {
        for (long long k = 0; k <= d; ++k) CK[k] = single_point_value(P, n, static_cast<int>(k));
        return 0;
    }
    // The scheme of the array evaluation, so that a point gives the same
    // derivatives alone as within an array.
    const int span = point_span(n, p, u, U, hint, index);
    const std::size_t M = static_cast<std::size_t>(p) + 1;
    WorkArray<> work(span_basis_work(p)), T(M * M);
    if (!work.ok() || !T.ok()) return 1;
    with_degree(p, [&](auto deg) { point_derivatives(deg, p, U, P, span, u, d, CK, work.get(), T.get()); });
    return 0;
}

int curve_derivs_eval(int n, int p, const double* U, const double* P, int r1, int r2, int np, const double* C,
                      int cp, double* CK, Knots knots) {
    if (const int info = check_curve(n, p, U, knots); info != 0) return info;
    if (r1 < 0) return -5;
    if (r2 < r1) return -6;
    if (np < 0) return -7;
    const DomainScan scan = scan_parameters(C, np, U[0], U[n + p + 1]);
    if (!scan.inside) return -8;
    if (cp != r2 - r1) return -9;
    if (single_point(U, n + p + 1)) {
        for (long long q = r1; q <= r2; ++q)  // 64 bits: r2 may be INT_MAX
            std::fill(CK + (q - r1) * (np + 1), CK + (q - r1 + 1) * (np + 1), single_point_value(P, n, static_cast<int>(q)));
        return 0;
    }
    return run_derivatives<false>(n, p, U, P, r1, r2, np, C, CK, scan.sorted) == Run::no_memory ? 1 : 0;
}

}  // namespace videvo::kernel

using videvo::kernel::Knots;

extern "C" void CurvePoint(const int* n, const int* p, const double* U, const double* P, const double* u,
                           double* C, int* info) {
    *info = videvo::kernel::curve_point(*n, *p, U, P, *u, C, Knots::validate);
}

extern "C" void CurveEval(const int* n, const int* p, const double* U, const double* P, double* C, const int* np,
                          int* info) {
    *info = videvo::kernel::curve_eval(*n, *p, U, P, C, *np, Knots::validate);
}

extern "C" void CurveDerivsAlg1(const int* n, const int* p, const double* U, const double* P, const double* u,
                                const int* d, double* CK, int* info) {
    *info = videvo::kernel::curve_derivs(*n, *p, U, P, *u, *d, CK, Knots::validate);
}

extern "C" void CurveDerivsEval(const int* n, const int* p, const double* U, const double* P, const int* r1,
                                const int* r2, const int* np, const double* C, const int* cp, double* CK,
                                int* info) {
    *info = videvo::kernel::curve_derivs_eval(*n, *p, U, P, *r1, *r2, *np, C, *cp, CK, Knots::validate);
}
