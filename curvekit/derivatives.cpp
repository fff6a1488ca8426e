// Derivative and antiderivative curves.
#include "curvekit.h"

#include <morvane.h>

namespace videvo::curvekit {
namespace {

void dsplcpts(CVec U, CVec P, int p, int d, int r1, int r2, Mat PK) {
    const int n = P.last();
    require_curve(n, p, U);
    // Rows 0..d of stride n + 1 are written; another d is refused by the kernel.
    if (d >= 0 && d <= p) require_shape(PK, static_cast<Py_ssize_t>(d) + 1, P.size, "PK");
    int info = 0;
    CurveDerivCptsAlg1(&n, &p, U.data, P.data, &d, &r1, &r2, PK.data, &info);
    check_info(info);
}

int dsplcpts2(CVec U, CVec P, int p, int d, Vec UK, Vec PK) {
    const int n = P.last();
    require_curve(n, p, U);
    if (d >= 0 && d <= p) {
        require_at_least(UK.size, U.size - 2 * static_cast<Py_ssize_t>(d), "UK");
        // The differences are formed in place over all n + 1 entries.
        require_at_least(PK.size, P.size, "PK");
    }
    int q = p;
    int nk = 0;
    int info = 0;
    CurveDerivCptsAlg2(&n, &q, U.data, P.data, &d, &nk, UK.data, PK.data, &info);
    check_info(info);
    return nk;
}

void asplcpts(CVec U, CVec P, int p, int d, Vec UK, Vec PK) {
    const int n = P.last();
    require_curve(n, p, U);
    // The capacity of PK is the kernel's check (-6); that of UK is ours.
    if (d >= 0) require_at_least(UK.size, U.size + 2 * static_cast<Py_ssize_t>(d), "UK");
    int q = p;
    int nk = PK.last();
    int info = 0;
    CurveAntiDerivCpts(&n, &q, U.data, P.data, &d, &nk, UK.data, PK.data, &info);
    check_info(info);
}

}  // namespace

void register_derivatives(Exporter& ex) {
    VIDEVO_CURVEKIT_DEF(ex, dsplcpts, dsplcpts,
        "Control points of the derivatives of orders 0..d of the B-spline (U, P, p)\n"
        "for the control points r1..r2.\n\n"
        "PK is a (d + 1) x len(P) array: row k receives the r2 - r1 - k + 1 control\n"
        "points of the k-th derivative that belong to the range; the rest of the row\n"
        "is not written.\n"
        "Raises ValueError for PK of another shape, and through the status code for\n"
        "p > len(P) - 1 (-1), p < 0 (-2), an invalid knot vector (-3), d outside\n"
        "[0, p] (-5), r1 outside [0, n] (-6), r2 outside [r1, n] (-7);\n"
        "ZeroDivisionError where p + 2 - k equal knots leave no span (the rows\n"
        "before stay written).",
        "U", "P", "p", "d", "r1", "r2", "PK");
    VIDEVO_CURVEKIT_DEF(ex, dsplcpts2, dsplcpts2,
        "The d-th derivative of the B-spline (U, P, p): a curve of degree p - d with\n"
        "knots UK[:len(U) - 2d] (d knots fewer at each end) and control points\n"
        "PK[:len(P) - d].  Returns nk = len(P) - 1 - d, its last control-point index.\n\n"
        "PK needs at least len(P) entries (the differences are formed in place; the\n"
        "last d are scratch), UK at least len(U) - 2d.\n"
        "Raises ValueError for shorter arrays, and through the status code for\n"
        "p > n (-1), p < 0 (-2), an invalid knot vector (-3), d outside [0, p] (-5);\n"
        "ZeroDivisionError where p + 2 - k equal knots leave no span.",
        "U", "P", "p", "d", "UK", "PK");
    VIDEVO_CURVEKIT_DEF(ex, asplcpts, asplcpts,
        "The d-fold antiderivative of the B-spline (U, P, p) that vanishes, with all\n"
        "its lower antiderivatives, at U[0]: degree p + d, knots UK (len(U) + 2d\n"
        "entries: d more copies of each end) and control points PK[:len(P) + d].\n\n"
        "Raises ValueError for UK shorter than len(U) + 2d, and through the status\n"
        "code for p > n (-1), p < 0 (-2), an invalid knot vector (-3), d < 0 (-5)\n"
        "or PK shorter than len(P) + d (-6).",
        "U", "P", "p", "d", "UK", "PK");
}

}  // namespace videvo::curvekit
