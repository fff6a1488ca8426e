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

// ENTRY(name, logical result, (arguments)); the parameter is not called X,
// which is an argument name of splkref.
#define VIDEVO_CURVEKIT_ENTRIES(ENTRY)                                                                \
    ENTRY(validknots, int, (int p, CVec U))                                                           \
    ENTRY(eqspaced, void, (CVec xp, int p, Vec U))                                                    \
    ENTRY(averaging, void, (CVec xp, int p, Vec U))                                                   \
    ENTRY(averaging2, void, (CVec xp, int p, Vec U))                                                  \
    ENTRY(averaging3, void, (CVec xp, int p, int k, int l, Vec U))                                    \
    ENTRY(distintknots, int, (CVec U, int p))                                                         \
    ENTRY(kevalappr, void, (CVec xp, int p, Vec U))                                                   \
    ENTRY(gcsplint, void, (CVec xp, CVec fp, int p, CVec U, Vec P))                                   \
    ENTRY(gdsplint, void, (CVec xp, CVec fp, int p, CVec U, Vec P, OptDy dy))                         \
    ENTRY(cdsplint, void, (CVec xp, CVec fp, Vec U, Vec P, OptDy dy))                                 \
    ENTRY(gcsplapp, void, (CVec xp, CVec fp, int p, CVec U, Vec P))                                   \
    ENTRY(gdsplapp, void, (CVec xp, CVec fp, int p, CVec U, Vec P, OptDy dy))                         \
    ENTRY(gadsplint, void, (CVec xp, CVec fp, int p, CVec Ds, CVec De, CVec U, Vec P))                \
    ENTRY(averagcpts, void, (CVec U, int p, Vec C))                                                   \
    ENTRY(findspan, int, (int p, double u, CVec U))                                                   \
    ENTRY(findspanmult, IntPair, (int p, double u, CVec U))                                           \
    ENTRY(bfunpev, double, (double u, int span, CVec U, int p))                                       \
    ENTRY(bfuncev, void, (Vec C, int span, CVec U, int p))                                            \
    ENTRY(bfunspev, void, (double u, int span, CVec U, int p, Vec N))                                 \
    ENTRY(dbfunspev, void, (double u, int span, CVec U, int p, int k, Mat nders))                     \
    ENTRY(splpev, double, (double u, CVec U, CVec P, int p))                                          \
    ENTRY(splcev, void, (Vec C, CVec U, CVec P, int p))                                               \
    ENTRY(dsplpev, void, (double u, CVec U, CVec P, int p, int d, Vec CK))                            \
    ENTRY(dsplcev, void, (CVec C, CVec U, CVec P, int p, int r1, int r2, Mat CK))                     \
    ENTRY(dsplcpts, void, (CVec U, CVec P, int p, int d, int r1, int r2, Mat PK))                     \
    ENTRY(splkins, void, (CVec UP, CVec P, int p, double u, int r, Vec UQ, Vec Q))                    \
    ENTRY(splkrem, int, (Vec U, Vec P, int p, double u, int num, OptTol tol))                         \
    ENTRY(splksrem, int, (Vec U, Vec P, int p, OptTol tol))                                           \
    ENTRY(splkrem_notol, int, (Vec U, Vec P, int p, double u, int num))                               \
    ENTRY(getbndrem, double, (CVec U, CVec P, int p, double u))                                       \
    ENTRY(degelevc, void, (CVec U, CVec P, int p, int t, Vec Uh, Vec Q))                              \
    ENTRY(asplcpts, void, (CVec U, CVec P, int p, int d, Vec UK, Vec PK))                             \
    ENTRY(dsplcpts2, int, (CVec U, CVec P, int p, int d, Vec UK, Vec PK))                             \
    ENTRY(splkref, void, (CVec U, CVec P, int p, CVec X, Vec Ubar, Vec Q))                            \
    ENTRY(splcjoin, void, (CVec Ul, CVec Pl, CVec Ur, CVec Pr, int p, Vec UK, Vec PK))                \
    ENTRY(splcsli, Object, (CVec U, CVec P, int p, double u, Vec UK, Vec PK))                         \
    ENTRY(knotuniondim, Object, (CVec U1, CVec U2, int p))                                            \
    ENTRY(splcsum, void, (CVec U1, CVec P1, CVec U2, CVec P2, int p, int mk, Vec UK, int nk, Vec PK)) \
    ENTRY(knotsdegelev, void, (CVec U, int p, Vec Uh))                                                \
    ENTRY(bezpev, double, (double u, CVec P))                                                         \
    ENTRY(bezcev, void, (Vec C, CVec P))                                                              \
    ENTRY(bezpev2, double, (double u, CVec P))                                                        \
    ENTRY(bezcev2, void, (Vec C, CVec P))                                                             \
    ENTRY(getbmtxelement, double, (int p, int r, int c))                                              \
    ENTRY(getbezmat, void, (int p, Vec M))

namespace curvekit_api {

inline constexpr const char* module_name = "videvo.curvekit";

VIDEVO_CURVEKIT_ENTRIES(VIDEVO_CAPI_DECLARE)

}  // namespace curvekit_api

// Binds curvekit entry `name` from `table` into `api.name` (api being any
// struct with a member of that name and type).
#define VIDEVO_BIND_CURVEKIT(table, api, name) VIDEVO_CAPI_BIND(::videvo::curvekit_api, table, api, name)

// Imports the curve module's table and binds into `ck` (the importer's
// struct of entries) every name of the importer's X-macro list LIST.
#define VIDEVO_CURVEKIT_BIND_ONE_(name) VIDEVO_BIND_CURVEKIT(videvo_curvekit_table_, ck, name);
#define VIDEVO_BIND_CURVEKIT_LIST(LIST)                                                          \
    do {                                                                                         \
        const ::nanobind::dict videvo_curvekit_table_ =                                          \
            ::videvo::capi::import_table(::videvo::curvekit_api::module_name);                   \
        LIST(VIDEVO_CURVEKIT_BIND_ONE_)                                                          \
    } while (false)

}  // namespace videvo
