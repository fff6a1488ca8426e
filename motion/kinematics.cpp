// One-pass kinematics: a trajectory and its derivatives at many points, and
// setpoints at a fixed rate.
#include "motion.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace videvo::motion {

NewArray new_array(Py_ssize_t rows, Py_ssize_t cols) {
    nb::object a = np.empty(nb::make_tuple(rows, cols), np.float64);
    return {a, static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(a.ptr())))};
}

NewArray new_array(Py_ssize_t size) {
    nb::object a = np.empty(size, np.float64);
    return {a, static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(a.ptr())))};
}

// The curve module evaluates orders 0..upto in one run of the basis scheme per
// point (one span search, sorted points walking the spans).
nb::object kinematics_at(const Traj& t, CVec x, int upto) {
    NewArray K = new_array(Py_ssize_t{upto} + 1, x.size);
    // (the curve module evaluates long arrays without the interpreter lock)
    const Pinned pin(t.rec);
    if (x.size > 0) check_entry(ck.dsplcev(x, t.U(), t.P(), t.p(), 0, upto, Mat{K.data, Py_ssize_t{upto} + 1, x.size}));
    return K.array;
}

namespace {

nb::object kinematics(nb::handle traj, nb::handle x, int upto) {
    const Traj t = Traj::from(traj);
    require_non_negative(upto, "upto");
    nb::object xs = np.ascontiguousarray(x, nb::arg("dtype") = np.float64);
    const ArrayArg points(xs, "x", 1, Access::read);
    const CVec v = points.cvec();
    try {
        return kinematics_at(t, v, upto);
    } catch (nb::python_error&) {
        // The curve module checks the domain in its own pass; the point it
        // refused is looked for only then.
        const double start = t.start(), stop = t.stop();
        for (Py_ssize_t i = 0; i < v.size; ++i)
            if (!(v[i] >= start && v[i] <= stop)) fail("'x' out of domain: " + repr_double(v[i]));
        throw;
    }
}

// A step given either as a rate or as a time: positive and finite.
double step_of(nb::handle rate, nb::handle dt) {
    if (rate.is_none() == dt.is_none()) fail("give exactly one of 'rate' and 'dt'");
    const char* name = rate.is_none() ? "dt" : "rate";
    const double value = PyFloat_AsDouble((rate.is_none() ? dt : rate).ptr());
    if (value == -1.0 && PyErr_Occurred()) throw nb::python_error();
    if (!(value > 0.0 && std::isfinite(value))) fail(std::string("'") + name + "' must be positive: " + repr_double(value));
    const double step = rate.is_none() ? value : 1.0 / value;
    if (!(step > 0.0)) fail(std::string("'") + name + "' is too large: " + repr_double(value));
    return step;
}

nb::tuple sample(nb::handle traj, nb::handle rate, nb::handle dt, int upto) {
    const Traj t = Traj::from(traj);
    const double step = step_of(rate, dt);
    require_non_negative(upto, "upto");
    const double start = t.start(), stop = t.stop();
    // Whole steps from the start; a last step shorter than the others ends at
    // stop, unless it would be a rounding remnant of a whole one.
    const double steps = (stop - start) / step;
    if (!(steps < double(INT_MAX - 2048))) fail("too many samples: " + repr_double(std::floor(steps) + 2.0));
    // (a domain shorter than the rounding allowance still gets its start)
    Py_ssize_t whole = std::max<Py_ssize_t>(stop > start, static_cast<Py_ssize_t>(std::ceil(steps - 1e-9)));
    // (past some millions of steps the allowance is below the rounding of
    // `steps`: the last whole step must still lie before the stop)
    while (whole > 1 && start + static_cast<double>(whole - 1) * step >= stop) --whole;
    NewArray tt = new_array(whole + 1);
    for (Py_ssize_t k = 0; k < whole; ++k) tt.data[k] = start + static_cast<double>(k) * step;
    tt.data[whole] = stop;
    return nb::make_tuple(tt.array, kinematics_at(t, CVec(tt.data, whole + 1), upto));
}

}  // namespace

void register_kinematics(nb::module_& m) {
    m.def("kinematics", &kinematics, nb::arg("t"), nb::arg("x"), nb::arg("upto") = 3,
        nb::sig("def kinematics(t: videvo.trajdata.Trajectory1d, x: numpy.typing.ArrayLike, upto: int = 3) -> "
                "numpy.ndarray"),
        "The trajectory and its derivatives 1..upto at the points x, in one pass.\n\n"
        "Parameters\n"
        "----------\n"
        "t : Trajectory1d\n"
        "x : array-like of floats\n"
        "    Points inside [t.start, t.stop], in any order (sorted points are\n"
        "    fastest: each span is found from the previous one).\n"
        "upto : int, default 3\n"
        "    Highest derivative order.\n\n"
        "Returns\n"
        "-------\n"
        "numpy.ndarray\n"
        "    Shape (upto + 1, len(x)), float64: row k holds the k-th derivative\n"
        "    (for a displacement: position, velocity, acceleration, jerk, ...).\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    \"'t' is an empty trajectory\"; \"'upto' must be non-negative number\";\n"
        "    \"'x' out of domain: <x>\" (also for NaN); for x of more than one\n"
        "    dimension.\n"
        "TypeError\n"
        "    t not a Trajectory1d.");
    m.def("sample", &sample, nb::arg("t"), nb::arg("rate").none() = nb::none(), nb::arg("dt").none() = nb::none(),
        nb::arg("upto") = 3,
        nb::sig("def sample(t: videvo.trajdata.Trajectory1d, rate: float | None = None, dt: float | None = None, "
                "upto: int = 3) -> tuple[numpy.ndarray, numpy.ndarray]"),
        "Setpoints of a trajectory at a fixed rate: the sample times and the\n"
        "kinematics there.\n\n"
        "Parameters\n"
        "----------\n"
        "t : Trajectory1d\n"
        "rate : float, optional\n"
        "    Samples per unit of time; give either this or `dt`.\n"
        "dt : float, optional\n"
        "    Time between samples.\n"
        "upto : int, default 3\n"
        "    Highest derivative order.\n\n"
        "Returns\n"
        "-------\n"
        "(tt, K)\n"
        "    tt = start, start + dt, ... (each start + k * dt), the last one at\n"
        "    stop: the final step is shorter when the duration is not a whole\n"
        "    number of steps (within 1e-9 of a step it is taken as whole); K is\n"
        "    kinematics(t, tt, upto).\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    \"'t' is an empty trajectory\"; \"give exactly one of 'rate' and 'dt'\";\n"
        "    \"'rate' must be positive: <rate>\" (or 'dt'; also for infinities and\n"
        "    NaN); \"'upto' must be non-negative number\"; \"too many samples: <N>\".");
}

}  // namespace videvo::motion
