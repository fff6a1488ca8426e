// videvo.motion: kinematics, exact extrema, limit-driven time scaling and
// least-squares trajectories.
#include "motion.h"

#include <string>

namespace nb = nanobind;

namespace videvo::motion {
namespace {

void bind_curvekit() {
    VIDEVO_BIND_CURVEKIT_LIST(VIDEVO_MOTION_CURVEKIT);
}

}  // namespace
}  // namespace videvo::motion

NB_MODULE(motion, m) {
    using namespace videvo;
    using namespace videvo::motion;
    classes = trajdata_api::bind_classes();
    bind_curvekit();
    try {
        nb::object numpy = nb::module_::import_("numpy");
        init_array_support();
        np = {numpy.attr("empty"), numpy.attr("ascontiguousarray"), numpy.attr("float64")};
    } catch (nb::python_error& e) {
        throw nb::import_error((std::string("cannot import numpy: ") + e.what()).c_str());
    }
    m.doc() =
        "Motion analysis of trajectories: one-pass kinematics, exact extrema and\n"
        "peaks, time scaling to velocity, acceleration and jerk limits, fixed-rate\n"
        "sampling and least-squares trajectories from logged data.";
    register_kinematics(m);
    register_extrema(m);
    register_scaling(m);
    register_approximation(m);
    nb::list all;
    for (const char* name : {"kinematics", "extrema", "peaks", "fit_limits", "sample", "approximate"}) all.append(name);
    m.attr("__all__") = all;
}
