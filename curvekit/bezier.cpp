// Bezier curves: evaluation at a point and on an array, and the Bezier matrix.
#include "curvekit.h"

#include <morvane.h>

namespace videvo::curvekit {
namespace {

using PointRoutine = void (*)(const double*, const int*, const double*, double*, int*);
using ArrayRoutine = void (*)(const double*, const int*, double*, const int*, int*);

// bezpev / bezpev2: the Bernstein form and de Casteljau's scheme.
template <PointRoutine Routine>
double bezier_point(double u, CVec P) {
    const int n = P.last();
    int info = 0;
    double C = 0.0;
    Routine(P.data, &n, &u, &C, &info);
    check_info(info);
    return C;
}

// bezcev / bezcev2: every C[j] replaced by the curve's value there.
template <ArrayRoutine Routine>
void bezier_array(Vec C, CVec P) {
    const int n = P.last();
    const int np = C.last();
    int info = 0;
    Routine(P.data, &n, C.data, &np, &info);
    check_info(info);
}

void getbezmat(int p, Vec M) {
    if (p >= 0) {
        const Py_ssize_t side = static_cast<Py_ssize_t>(p) + 1;
        require_size(M.size, side * side, "M");
    }
    GetBezierMatrix(&p, M.data);
}

double getbmtxelement(int p, int r, int c) {
    double el = 0.0;
    GetBezierMatrixElement(&p, &r, &c, &el);
    return el;
}

}  // namespace

void register_bezier(Exporter& ex) {
    VIDEVO_CURVEKIT_DEF(ex, bezier_point<PointOnBezierCurve>, bezpev,
        "Value at u in [0, 1] of the Bezier curve with control points P (degree\n"
        "len(P) - 1), by the Bernstein polynomials.\n"
        "Raises ValueError through the status code for an empty P (-2) and for u\n"
        "outside [0, 1] or NaN (-3).",
        "u", "P");
    VIDEVO_CURVEKIT_DEF(ex, bezier_array<BezierCurveEval>, bezcev,
        "Replace every C[j] (in [0, 1]) by the value of the Bezier curve with\n"
        "control points P at C[j], by the Bernstein polynomials.\n"
        "Raises ValueError through the status code for an empty P (-2), a parameter\n"
        "outside [0, 1] or NaN (-3, nothing written) and an empty C (-4).",
        "C", "P");
    VIDEVO_CURVEKIT_DEF(ex, bezier_point<deCasteljau1>, bezpev2,
        "Value at u of the Bezier curve with control points P, by de Casteljau's\n"
        "scheme.  Errors as bezpev.",
        "u", "P");
    VIDEVO_CURVEKIT_DEF(ex, bezier_array<BezierCurveEval2>, bezcev2,
        "Replace every C[j] by the value of the Bezier curve with control points P\n"
        "at C[j], by de Casteljau's scheme.  Errors as bezcev.",
        "C", "P");
    VIDEVO_CURVEKIT_EXPORT_ONLY(ex, getbmtxelement, getbmtxelement);
    VIDEVO_CURVEKIT_DEF(ex, getbezmat, getbezmat,
        "Write the lower triangle of the (p + 1) x (p + 1) matrix that maps the\n"
        "Bezier control points of degree p to power-basis coefficients into the\n"
        "flat array M, row by row: M[r * (p + 1) + c] = C(p, r) C(r, c) (-1)^(r - c)\n"
        "for c <= r.  Entries above the diagonal are not written (pass zeros).\n"
        "Nothing is done for p < 0.  Raises ValueError when M does not have\n"
        "(p + 1)**2 entries.",
        "p", "M");
}

}  // namespace videvo::curvekit
