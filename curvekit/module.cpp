// videvo.curvekit: the spline kernel for Python and for the other modules.
#include "curvekit.h"
#include "lapack.h"

#include <string>
#include <utility>

namespace nb = nanobind;

namespace videvo::curvekit {
namespace {

// Export table order.
constexpr const char* publication_order[] = {
#define VIDEVO_CURVEKIT_NAME(name, result, args) #name,
    VIDEVO_CURVEKIT_ENTRIES(VIDEVO_CURVEKIT_NAME)
#undef VIDEVO_CURVEKIT_NAME
};

// The public functions in their documented order, with the kernel routine
// each wraps ("-" for the composite algorithms).  getbmtxelement is listed for
// the record but has no Python function.
constexpr std::pair<const char*, const char*> functions[] = {
    {"validknots", "ValidKnotVector"},      {"eqspaced", "EquallySpaced"},
    {"averaging", "AveragingAlg1"},         {"averaging2", "AveragingAlg2"},
    {"averaging3", "AveragingAlg3"},        {"averagcpts", "AveragingCpts"},
    {"findspan", "FindSpan"},               {"findspanmult", "FindSpanMult"},
    {"bfunpev", "OneBasisFun"},             {"bfuncev", "OneBasisFun"},
    {"bfunspev", "BasisFuns"},              {"dbfunspev", "DersBasisFuns"},
    {"splpev", "CurvePoint"},               {"splcev", "CurveEval"},
    {"dsplpev", "CurveDerivsAlg1"},         {"dsplcev", "CurveDerivsEval"},
    {"dsplcpts", "CurveDerivCptsAlg1"},     {"dsplcpts2", "CurveDerivCptsAlg2"},
    {"asplcpts", "CurveAntiDerivCpts"},     {"splkins", "CurveKnotIns"},
    {"splkref", "RefineKnotVectCurve"},     {"splkrem", "RemoveCurveKnot"},
    {"splksrem", "RemoveCurveKnots"},       {"splkrem_notol", "RemoveCurveKnotWithoutTol"},
    {"getbndrem", "GetRemovalBndCurve"},    {"degelevc", "DegreeElevateCurve"},
    {"gcsplint", "-"},                      {"gdsplint", "-"},
    {"gadsplint", "-"},                     {"cdsplint", "SolveTridiagonal"},
    {"splcjoin", "-"},                      {"splcsli", "-"},
    {"knotuniondim", "-"},                  {"splcsum", "-"},
    {"kevalappr", "KnotsEvalL2Approx"},     {"gcsplapp", "-"},
    {"gdsplapp", "-"},                      {"knotsdegelev", "IncreaseMultByOne"},
    {"bezpev", "PointOnBezierCurve"},       {"bezcev", "BezierCurveEval"},
    {"bezpev2", "deCasteljau1"},            {"bezcev2", "BezierCurveEval2"},
    {"getbmtxelement", "GetBezierMatrixElement"}, {"getbezmat", "GetBezierMatrix"},
};

constexpr const char* machine_only[] = {"getbmtxelement"};

bool is_machine_only(const char* name) {
    for (const char* m : machine_only)
        if (std::string(m) == name) return true;
    return false;
}

std::string module_doc(const Exporter& ex) {
    std::string doc =
        "B-spline and Bezier routines on float64 arrays.\n\n"
        "Arrays are one-dimensional contiguous float64 NumPy arrays (two-dimensional\n"
        "row-major where stated); results are written into arrays that the caller\n"
        "passes.  Kernel status codes are raised as exceptions.\n\n";
    constexpr int width = 20;
    doc += std::string("All functions") + std::string(width - 13, ' ') + "Wrapper for\n";
    doc += std::string(width - 1, '-') + " " + std::string(26, '-') + "\n";
    for (const auto& [name, routine] : functions) {
        if (!ex.has(name)) continue;
        std::string row = name;
        row.resize(width, ' ');
        doc += row + routine + "\n";
    }
    return doc;
}

}  // namespace
}  // namespace videvo::curvekit

NB_MODULE(curvekit, m) {
    using namespace videvo::curvekit;
    videvo::init_array_support();
    m.attr("NP") = nb::module_::import_("numpy");
    videvo::lapack::bind();

    Exporter ex(m);
    register_knots(ex);
    register_evaluation(ex);
    register_derivatives(ex);
    register_insertion(ex);
    register_removal(ex);
    register_interpolation(ex);
    register_approximation(ex);
    register_joining(ex);
    register_bezier(ex);

    ex.publish(publication_order);
    nb::list all;
    for (const auto& [name, routine] : functions)
        if (ex.has(name) && !is_machine_only(name)) all.append(name);
    m.attr("__all__") = all;
    m.doc() = module_doc(ex).c_str();
}
