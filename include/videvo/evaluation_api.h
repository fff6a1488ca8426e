// The curve module's evaluation on a trajectory's own buffers, for
// videvo.trajdata only (not part of the published export table).
//
// The entries are splpev, dsplpev, splcev and dsplcev (r1 = r2 = nu, written
// straight into C) and splkins, with the same checks, order and errors, plus a flag:
// `validate` false skips the O(n) knot-vector validation because the caller
// knows U is valid for its (n, p).  `value` and `derivatives` also take the
// caller's PointMemory, or nullptr.
// `into` writes the derivative of order nu (0: the value) at the points X
// into C, another array of the same size, and returns 1 when the points lie
// inside the domain (with `strict`: and increase strictly; without, in any
// order: the caller has ruled out repeats) and the knots pass; otherwise it
// returns 0, C holds garbage and the caller takes the checked route, which
// reports the error (the entry itself raises nothing); `range`, when given
// for points in any order, is their smallest and largest, none of them NaN,
// which then need not be read again.  Its PointMemory
// (or nullptr), shared with the points alone, serves only arrays short
// enough to keep the interpreter lock.  They follow the calling convention of
// capi.h; the array entries release the interpreter lock for long arrays, so
// the caller must keep the buffers from being replaced or freed meanwhile.
// The table is a capsule in the curve module's attribute `table_attribute`,
// named by `signature`.
#pragma once

#include "capi.h"

#include <cstdint>

namespace videvo::evaluation_api {

// What a caller keeps for points evaluated alone, one after another: the
// span of the last one, tried first (any value: it is checked), and the curve
// module's span index for such points, built there once they land far from
// that span often enough (counted in `misses`) and released through
// `release`.  The index's lookup checks the knots it lands on all the same;
// whoever changes or replaces the knots calls drop(), so that no index
// outlives them.
struct PointMemory {
    std::int32_t span = -1;
    std::int32_t misses = 0;
    void* index = nullptr;
    void (*release)(void*) noexcept = nullptr;

    void drop() noexcept {
        if (index != nullptr) release(index);
        index = nullptr;
        misses = 0;
    }
};

struct Table {
    double (*value)(double u, CVec U, CVec P, int p, bool validate, PointMemory* memory) noexcept;
    int (*derivatives)(double u, CVec U, CVec P, int p, int d, Vec CK, bool validate, PointMemory* memory) noexcept;
    int (*values)(Vec C, CVec U, CVec P, int p, bool validate) noexcept;
    int (*derivative)(Vec C, CVec U, CVec P, int p, int nu, bool validate) noexcept;
    int (*insert)(CVec UP, CVec P, int p, double u, int r, Vec UQ, Vec Q, bool validate) noexcept;
    int (*into)(CVec X, Vec C, CVec U, CVec P, int p, int nu, bool strict, bool validate, PointMemory* memory,
                const double* range) noexcept;
};

inline constexpr const char* table_attribute = "_evaluation_capi";
inline constexpr const char signature[] =
    "value double (double u, CVec U, CVec P, int p, bool validate, PointMemory* memory); "
    "derivatives void (double u, CVec U, CVec P, int p, int d, Vec CK, bool validate, PointMemory* memory); "
    "values void (Vec C, CVec U, CVec P, int p, bool validate); "
    "derivative void (Vec C, CVec U, CVec P, int p, int nu, bool validate); "
    "insert void (CVec UP, CVec P, int p, double u, int r, Vec UQ, Vec Q, bool validate); "
    "into int (CVec X, Vec C, CVec U, CVec P, int p, int nu, bool strict, bool validate, PointMemory* memory, "
    "const double* range)";

}  // namespace videvo::evaluation_api
