// Least-squares trajectories from logged data.
#include "motion.h"

#include <cmath>
#include <cstdint>

namespace videvo::motion {
namespace {

Vec view_of(const Buffer& b) { return {b.get(), static_cast<Py_ssize_t>(b.size())}; }

// The data as a float64 vector (converted when it is not one already).
struct Data {
    nb::object array;
    ArrayArg arg;
    Data(nb::handle obj, const char* name)
        : array(np.ascontiguousarray(obj, nb::arg("dtype") = np.float64)), arg(array, name, 1, Access::read) {}
    CVec view() const { return arg.cvec(); }
};

// End slopes: None (only the end points are kept) or a pair of floats.
OptDy slopes_of(nb::handle slopes) {
    if (slopes.is_none()) return {0, {0.0, 0.0}};
    nb::object seq = nb::steal(PySequence_Fast(slopes.ptr(), "'slopes' must be None or a pair of floats"));
    if (!seq.is_valid()) throw nb::python_error();
    if (PySequence_Fast_GET_SIZE(seq.ptr()) != 2) fail("'slopes' must be None or a pair of floats");
    PyObject** item = PySequence_Fast_ITEMS(seq.ptr());
    const Pair dy{PyFloat_AsDouble(item[0]), PyFloat_AsDouble(item[1])};
    throw_if_error();
    return {1, dy};
}

// The checks of the least-squares routines (which the knot placement before
// them relies on), as ValueErrors that also hold under python -O, then those
// of the data.
void require_fit(CVec x, CVec y, int p, std::int64_t n) {
    if (y.size != x.size) fail("xp and fp must have same dimension");
    if (p < 1) fail("p must be greater than or equal to 1");
    if (n < p) fail("n must be greater than or equal to p");
    if (n >= x.size - 1) fail("the number of points to be approximated must be greater than the number of control points");
    bool increasing = true;
    for (Py_ssize_t i = 1; i < x.size && increasing; ++i) increasing = x[i - 1] < x[i];
    if (!increasing) fail("'x' must be increasing");
    if (!(std::isfinite(x[0]) && std::isfinite(x[x.size - 1]))) fail("'x' must be finite");
}

nb::object approximate(nb::handle xs, nb::handle ys, int p, int ncpts, int order, nb::handle slopes) {
    const Data xd(xs, "x"), yd(ys, "y");
    const CVec x = xd.view(), y = yd.view();
    const std::int64_t n = std::int64_t(ncpts) - 1;
    require_fit(x, y, p, n);
    require_non_negative(order, "order");
    const OptDy dy = slopes_of(slopes);
    Buffer U = Buffer::allocate(n + p + 2);
    Buffer P = Buffer::allocate(n + 1);
    check_entry(ck.kevalappr(x, p, view_of(U)));
    if (dy.given) check_entry(ck.gdsplapp(x, y, p, view_of(U), view_of(P), dy));
    else check_entry(ck.gcsplapp(x, y, p, view_of(U), view_of(P)));
    nb::object t = entry_result(
        classes.trajectory1d->from_ptrs(U.get(), P.get(), p, static_cast<int>(n), static_cast<unsigned>(order), {1, true}));
    U.release();
    P.release();
    return t;
}

}  // namespace

void register_approximation(nb::module_& m) {
    m.def("approximate", &approximate, nb::arg("x"), nb::arg("y"), nb::arg("p"), nb::arg("ncpts"),
        nb::arg("order") = 0, nb::arg("slopes").none() = nb::none(),
        nb::sig("def approximate(x: numpy.typing.ArrayLike, y: numpy.typing.ArrayLike, p: int, ncpts: int, order: int = 0, "
                "slopes: tuple[float, float] | None = None) -> videvo.trajdata.Trajectory1d"),
        "A least-squares trajectory of degree p with ncpts control points through\n"
        "logged data (x[i], y[i]).\n\n"
        "The knots are placed by curvekit.kevalappr; the control points by\n"
        "curvekit.gcsplapp (the first and last data points are met exactly) or,\n"
        "with `slopes`, by curvekit.gdsplapp (the end slopes are met as well).\n\n"
        "Parameters\n"
        "----------\n"
        "x, y : array-like of floats\n"
        "    Increasing times and the values there.\n"
        "p : int\n"
        "    Degree, at least 1.\n"
        "ncpts : int\n"
        "    Number of control points: more than p, fewer than len(x).\n"
        "order : int, default 0\n"
        "    Derivative order of the quantity (0 displacement, 1 velocity, ...).\n"
        "slopes : pair of floats, optional\n"
        "    First derivatives at x[0] and x[-1].\n\n"
        "Returns\n"
        "-------\n"
        "Trajectory1d\n"
        "    On [x[0], x[-1]].\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    In this order: \"xp and fp must have same dimension\"; \"p must be\n"
        "    greater than or equal to 1\"; \"n must be greater than or equal to p\"\n"
        "    (n = ncpts - 1); \"the number of points to be approximated must be\n"
        "    greater than the number of control points\"; \"'x' must be increasing\"\n"
        "    (also for NaN); \"'x' must be finite\"; \"'order' must be non-negative\n"
        "    number\"; \"'slopes' must be None or a pair of floats\"; for x or y of\n"
        "    more than one dimension.\n"
        "Exception\n"
        "    The LAPACK failure message of the least-squares routines for a\n"
        "    singular system (a basis function without data in its support).");
}

}  // namespace videvo::motion
