// Curve evaluation for callers that have already validated the knot vector
// (not part of the kernel's public interface; CurvePoint, CurveEval,
// CurveDerivsAlg1 and CurveDerivsEval publish it).
//
// Each returns the status code of its public routine and runs the same checks
// in the same order, except that with Knots::trusted the O(n) validation of
// U (status -3) is skipped: the caller guarantees that U is valid for (n, p).
#pragma once

namespace videvo {
class SpanIndex;
}

namespace videvo::kernel {

enum class Knots { validate, trusted };

// `hint`, when given, holds a span to try first (any int) and receives the
// span of u; `index`, when given with it, is an index of U that the search
// starts from when u lies outside the hint's span.
int curve_point(int n, int p, const double* U, const double* P, double u, double* C, Knots knots,
                int* hint = nullptr, const SpanIndex* index = nullptr);
int curve_eval(int n, int p, const double* U, const double* P, double* C, int np, Knots knots);
// The derivative of order nu (0: the value) at the points X[0..np], written
// to C[0..np] (another array), when the knots are valid and the points lie
// inside the domain: with `strict`, when they increase strictly from a first
// one inside the domain to a last one inside it; without, in any order (the
// caller has ruled out what it must, such as repeats).  False when any of
// that fails or p, nu or np are out of range: C is then garbage and the
// caller takes the checked route, which reports the error.  `index`, when
// given, is an index of U that points in any order and sparse sorted points
// are searched from.  `range`, when given without `strict`, is the smallest
// and the largest of the points, none of them NaN, as the caller has found
// them: they are then not read again to check the domain (nor taken as
// sorted).
bool curve_eval_into(int n, int p, const double* U, const double* P, int nu, const double* X, double* C, int np,
                     bool strict, Knots knots, const SpanIndex* index = nullptr, const double* range = nullptr);
// `hint` and `index` as for curve_point.
int curve_derivs(int n, int p, const double* U, const double* P, double u, int d, double* CK, Knots knots,
                 int* hint = nullptr, const SpanIndex* index = nullptr);
// CK may be C itself when r1 = r2: each parameter is read before its column
// is written.
int curve_derivs_eval(int n, int p, const double* U, const double* P, int r1, int r2, int np, const double* C,
                      int cp, double* CK, Knots knots);

}  // namespace videvo::kernel
