// The export table of videvo.curvekit: every machine-level entry with its
// function-pointer type and signature text, in publication order.  The curve
// module publishes from this list and the other modules bind from it, so both
// sides always compile against the same texts.
#pragma once

#include "capi.h"

namespace videvo {

using Object = nb::object;
using OptTol = Opt<double, 1e-11>;                // knot-removal tolerance
using OptDy = Opt<Pair, Pair{0.0, 0.0}>;          // end slopes (start, end)

// X(name, logical result, (arguments))
#define VIDEVO_CURVEKIT_ENTRIES(X)                                                              \
    X(validknots, int, (int p, CVec U))                                                         \
    X(eqspaced, void, (CVec xp, int p, Vec U))                                                  \
    X(averaging, void, (CVec xp, int p, Vec U))                                                 \
    X(averaging2, void, (CVec xp, int p, Vec U))                                                \
    X(averaging3, void, (CVec xp, int p, int k, int l, Vec U))                                  \
    X(distintknots, int, (CVec U, int p))                                                       \
    X(kevalappr, void, (CVec xp, int p, Vec U))                                                 \
    X(gcsplint, void, (CVec xp, CVec fp, int p, CVec U, Vec P))                                 \
    X(gdsplint, void, (CVec xp, CVec fp, int p, CVec U, Vec P, OptDy dy))                       \
    X(cdsplint, void, (CVec xp, CVec fp, Vec U, Vec P, OptDy dy))                               \
    X(gcsplapp, void, (CVec xp, CVec fp, int p, CVec U, Vec P))                                 \
    X(gdsplapp, void, (CVec xp, CVec fp, int p, CVec U, Vec P, OptDy dy))                       \
    X(gadsplint, void, (CVec xp, CVec fp, int p, CVec Ds, CVec De, CVec U, Vec P))              \
    X(averagcpts, void, (CVec U, int p, Vec C))                                                 \
    X(findspan, int, (int p, double u, CVec U))                                                 \
    X(findspanmult, IntPair, (int p, double u, CVec U))                                         \
    X(bfunpev, double, (double u, int span, CVec U, int p))                                     \
    X(bfuncev, void, (Vec C, int span, CVec U, int p))                                          \
    X(bfunspev, void, (double u, int span, CVec U, int p, Vec N))                               \
    X(dbfunspev, void, (double u, int span, CVec U, int p, int k, Mat nders))                   \
    X(splpev, double, (double u, CVec U, CVec P, int p))                                        \
    X(splcev, void, (Vec C, CVec U, CVec P, int p))                                             \
    X(dsplpev, void, (double u, CVec U, CVec P, int p, int d, Vec CK))                          \
    X(dsplcev, void, (CVec C, CVec U, CVec P, int p, int r1, int r2, Mat CK))                   \
    X(dsplcpts, void, (CVec U, CVec P, int p, int d, int r1, int r2, Mat PK))                   \
    X(splkins, void, (CVec UP, CVec P, int p, double u, int r, Vec UQ, Vec Q))                  \
    X(splkrem, int, (Vec U, Vec P, int p, double u, int num, OptTol tol))                       \
    X(splksrem, int, (Vec U, Vec P, int p, OptTol tol))                                         \
    X(splkrem_notol, int, (Vec U, Vec P, int p, double u, int num))                             \
    X(getbndrem, double, (CVec U, CVec P, int p, double u))                                     \
    X(degelevc, void, (CVec U, CVec P, int p, int t, Vec Uh, Vec Q))                            \
    X(asplcpts, void, (CVec U, CVec P, int p, int d, Vec UK, Vec PK))                           \
    X(dsplcpts2, int, (CVec U, CVec P, int p, int d, Vec UK, Vec PK))                           \
    X(splkref, void, (CVec U, CVec P, int p, CVec X, Vec Ubar, Vec Q))                          \
    X(splcjoin, void, (CVec Ul, CVec Pl, CVec Ur, CVec Pr, int p, Vec UK, Vec PK))              \
    X(splcsli, Object, (CVec U, CVec P, int p, double u, Vec UK, Vec PK))                       \
    X(knotuniondim, Object, (CVec U1, CVec U2, int p))                                          \
    X(splcsum, void, (CVec U1, CVec P1, CVec U2, CVec P2, int p, int mk, Vec UK, int nk, Vec PK)) \
    X(knotsdegelev, void, (CVec U, int p, Vec Uh))                                              \
    X(bezpev, double, (double u, CVec P))                                                       \
    X(bezcev, void, (Vec C, CVec P))                                                            \
    X(bezpev2, double, (double u, CVec P))                                                      \
    X(bezcev2, void, (Vec C, CVec P))                                                           \
    X(getbmtxelement, double, (int p, int r, int c))                                            \
    X(getbezmat, void, (int p, Vec M))

namespace curvekit_api {

inline constexpr const char* module_name = "videvo.curvekit";

VIDEVO_CURVEKIT_ENTRIES(VIDEVO_CAPI_DECLARE)

}  // namespace curvekit_api

// Binds curvekit entry `name` from `table` into `api.name` (api being any
// struct with a member of that name and type).
#define VIDEVO_BIND_CURVEKIT(table, api, name) VIDEVO_CAPI_BIND(::videvo::curvekit_api, table, api, name)

}  // namespace videvo
