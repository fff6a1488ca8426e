// The curve module's evaluation on a trajectory's own buffers, for
// videvo.trajdata only (not part of the published export table).
//
// The entries are splpev, dsplpev, splcev and dsplcev (r1 = r2 = nu, written
// straight into C) and splkins, with the same checks, order and errors, plus a flag:
// `validate` false skips the O(n) knot-vector validation because the caller
// knows U is valid for its (n, p).  `value` and `derivatives` also take a
// span to try first and keep the span they found there (a hint owned by the
// caller).
// `into` writes the derivative of order nu (0: the value) at the points X
// into C, another array of the same size, and returns 1 when the points lie
// inside the domain (with `strict`: and increase strictly; without, in any
// order: the caller has ruled out repeats) and the knots pass; otherwise it
// returns 0, C holds garbage and the caller takes the checked route, which
// reports the error (the entry itself raises nothing).  They follow the calling convention of
// capi.h; the array entries release the interpreter lock for long arrays, so
// the caller must keep the buffers from being replaced or freed meanwhile.
// The table is a capsule in the curve module's attribute `table_attribute`,
// named by `signature`.
#pragma once

#include "capi.h"

namespace videvo::evaluation_api {

struct Table {
    double (*value)(double u, CVec U, CVec P, int p, bool validate, int* hint) noexcept;
    int (*derivatives)(double u, CVec U, CVec P, int p, int d, Vec CK, bool validate, int* hint) noexcept;
    int (*values)(Vec C, CVec U, CVec P, int p, bool validate) noexcept;
    int (*derivative)(Vec C, CVec U, CVec P, int p, int nu, bool validate) noexcept;
    int (*insert)(CVec UP, CVec P, int p, double u, int r, Vec UQ, Vec Q, bool validate) noexcept;
    int (*into)(CVec X, Vec C, CVec U, CVec P, int p, int nu, bool strict, bool validate) noexcept;
};

inline constexpr const char* table_attribute = "_evaluation_capi";
inline constexpr const char signature[] =
    "value double (double u, CVec U, CVec P, int p, bool validate, int* hint); "
    "derivatives void (double u, CVec U, CVec P, int p, int d, Vec CK, bool validate, int* hint); "
    "values void (Vec C, CVec U, CVec P, int p, bool validate); "
    "derivative void (Vec C, CVec U, CVec P, int p, int nu, bool validate); "
    "insert void (CVec UP, CVec P, int p, double u, int r, Vec UQ, Vec Q, bool validate); "
    "into int (CVec X, Vec C, CVec U, CVec P, int p, int nu, bool strict, bool validate)";

}  // namespace videvo::evaluation_api
