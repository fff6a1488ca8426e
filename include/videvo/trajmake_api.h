// The export table of videvo.trajmake: the factories at machine level, with
// their function-pointer types and signature texts, in publication order.
// The factory module publishes from this list (the factories built so far)
// and other compiled modules bind from it.
#pragma once

#include "trajdata_api.h"

namespace videvo {

// Optional trailing values of fromdata: `given` counts the values supplied,
// from the first (clamp, then dy); the others keep their defaults.
struct FromdataOpt {
    int given = 0;
    int clamp = 0;
    Pair dy{0.0, 0.0};
};

// Optional trailing values of sintraj and costraj, in the order amp, ph, k, nu.
struct SinOpt {
    int given = 0;
    double amp = 1.0;
    double ph = 0.0;
    double k = 1.0;
    int nu = -1;
};

using OptDimless = Opt<int, 0>;  // polytraj: coefficients on the normalised domain

// X(name, logical result, (arguments))
#define VIDEVO_TRAJMAKE_ENTRIES(X)                                                                      \
    X(bspltraj, TrajectoryObject, (CVec knots, CVec cpts, int p, int order))                            \
    X(fromdata, TrajectoryObject, (CVec xp, CVec fp, int p, int order, FromdataOpt opt))                \
    X(fromdatatdma, TrajectoryObject, (CVec xp, CVec fp, int order, OptDy dy))                          \
    X(fromdatawaed, TrajectoryObject, (CVec xp, CVec fp, int p, int order, CVec Ds, CVec De))           \
    X(constant, TrajectoryObject, (double start, double stop, int p, int order, double k))              \
    X(zeros, TrajectoryObject, (double start, double stop, int p, int order))                           \
    X(ones, TrajectoryObject, (double start, double stop, int p, int order))                            \
    X(lin1p, TrajectoryObject, (double start, double stop, int p, int order, Pair pt, double m))        \
    X(lin2p, TrajectoryObject, (double start, double stop, int p, int order, Pair pt1, Pair pt2))       \
    X(sintraj, TrajectoryObject, (CVec xp, int p, int order, SinOpt opt))                               \
    X(costraj, TrajectoryObject, (CVec xp, int p, int order, SinOpt opt))                               \
    X(polytraj, TrajectoryObject, (double start, double stop, int p, int order, CVec c, OptDimless dimless))

namespace trajmake_api {

inline constexpr const char* module_name = "videvo.trajmake";

VIDEVO_TRAJMAKE_ENTRIES(VIDEVO_CAPI_DECLARE)

}  // namespace trajmake_api

// Binds trajmake entry `name` from `table` into `api.name`.
#define VIDEVO_BIND_TRAJMAKE(table, api, name) VIDEVO_CAPI_BIND(::videvo::trajmake_api, table, api, name)

}  // namespace videvo
