// videvo.trajmake: the factories that build trajectories.
#include "trajmake.h"

#include <string>

namespace nb = nanobind;

namespace videvo::trajmake {
namespace {

// Export table order, which is also the documented order of the factories.
constexpr const char* publication_order[] = {VIDEVO_TRAJMAKE_ENTRIES(VIDEVO_CAPI_NAME)};

void bind_curvekit() {
    VIDEVO_BIND_CURVEKIT_LIST(VIDEVO_TRAJMAKE_CURVEKIT);
}

}  // namespace
}  // namespace videvo::trajmake

NB_MODULE(trajmake, m) {
    using namespace videvo;
    using namespace videvo::trajmake;
    classes = trajdata_api::bind_classes();
    bind_curvekit();
    try {
        m.attr("np") = nb::module_::import_("numpy");
        init_array_support();
    } catch (nb::python_error& e) {
        throw nb::import_error((std::string("cannot import numpy: ") + e.what()).c_str());
    }
    m.doc() =
        "Factories of trajectories: each returns a new videvo.trajdata.Trajectory1d\n"
        "that owns its knot vector and control points.";

    Exporter ex(m);
    register_bspline(ex);
    register_interpolating(ex);
    register_analytic(ex);
    ex.publish(publication_order);
    nb::list all;
    for (const char* name : publication_order)
        if (ex.has(name)) all.append(name);
    m.attr("__all__") = all;
}
