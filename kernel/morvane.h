// morvane: the spline kernel of videvo.
//
// Plain B-spline and Bezier routines on caller-owned arrays of doubles.
// Conventions of the whole kernel:
//  - every scalar argument is passed by address (const for inputs); the
//    exceptions are Bin (ints by value) and FindSpan / ValidKnotVector, which
//    return their result;
//  - sizes are given as the index of the last element: n for control points
//    P[0..n], m for knots U[0..m] with m = n + p + 1, np for parameters;
//  - checking routines write a status code `info`: 0 success, -k when the k-th
//    argument is invalid, 1 when a temporary allocation failed, 2 for an
//    exactly zero denominator.  Checks run in the documented order, the first
//    failure stops the routine, and nothing is written after a failed check;
//  - temporaries are allocated and released inside a call; no state is kept,
//    every routine is re-entrant.
// Closeness of knots and parameters is the test of closeness.h.
// The algorithms follow "The NURBS Book" (Piegl & Tiller, 2nd ed.); the
// algorithm numbers are given with each routine.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------------------
// Knot vector validation and placement
// ---------------------------------------------------------------------------

// 0 when U[0..n+p+1] is a valid clamped knot vector for n + 1 control points of
// degree p (first and last p + 1 knots close to each other, non-decreasing in
// between up to the closeness tolerance), 1 otherwise.
int ValidKnotVector(const int* n, const int* p, const double* U);

// Clamped knots for interpolating x[0..n] with degree p; U has n + p + 2
// entries.  Interior knots equally spaced between x[0] and x[n].
void EquallySpaced(const int* n, const double* x, const int* p, double* U);

// Averaging technique (NURBS Book eq. 9.8); U has n + p + 2 entries.  p >= 1.
void AveragingAlg1(const int* n, const double* x, const int* p, double* U);

// Averaging with the first derivative given at both ends; U has n + p + 4
// entries.  p >= 1.
void AveragingAlg2(const int* n, const double* x, const int* p, double* U);

// Averaging with k derivative conditions at the start and l at the end; U has
// n + k + l + p + 2 entries.  p >= 1, 0 <= k, l <= p.
void AveragingAlg3(const int* n, const double* x, const int* p, const int* k, const int* l,
                   double* U);

// Knots for a least-squares fit of x[0..m] by n + 1 control points (NURBS Book
// eq. 9.68, 9.69); U has n + p + 2 entries.  n - p + 1 > 0, m >= n.
void KnotsEvalL2Approx(const int* m, const double* x, const int* p, const int* n, double* U);

// Abscissae of the control points, C[i] = (U[i+1] + ... + U[i+p]) / p, i = 0..n.
//  -1 p > n   -2 p < 0   -3 invalid knot vector
void AveragingCpts(const int* n, const int* p, const double* U, double* C, int* info);

// ---------------------------------------------------------------------------
// Spans, basis functions and curve evaluation
// ---------------------------------------------------------------------------

// Span of u (NURBS Book A2.1, with the closeness test): p <= span <= n.  A u
// close to a knot gets the span to its right, a u close to U[n+1] gets n.  A u
// outside the domain (or NaN) never loops: p below, n above.
int FindSpan(const int* n, const int* p, const double* u, const double* U);

// k = span of u, s = number of consecutive knots U[k], U[k-1], ... close to u.
void FindSpanMult(const int* n, const int* p, const double* u, const double* U, int* k, int* s);

// Non-vanishing basis functions N(i-p..i, p)(u) into N[0..p] (A2.2); left and
// right are work arrays of p + 1 doubles.  The span must be non-empty.
void BasisFuns(const int* i, const double* u, const int* p, const double* U, double* left,
               double* right, double* N);

// The single basis function N(i, p)(u) (A2.4); N is a work array of p + 1.
// m is the last knot index.
void OneBasisFun(const int* p, const int* m, const double* U, const int* i, const double* u,
                 double* N, double* Nip);

// Basis functions and their derivatives up to order n <= p (A2.3).  With
// M = p + 1: ndu (M x M), a (2 x M), left, right (M), ders ((n + 1) x M), all
// row-major; ders[k * M + j] is the k-th derivative of N(i-p+j, p) at u.
void DersBasisFuns(const int* i, const double* u, const int* p, const int* n, const double* U,
                   double* ndu, double* a, double* left, double* right, double* ders);

// Binomial coefficient C(n, k) in 32-bit int arithmetic (exact while it fits).
int Bin(int n, int k);

// C = curve value at u (A3.1).
//  -1 p > n   -2 p < 0   -3 invalid knot vector   -5 u outside [U[0], U[m]] (or NaN)
//   1 allocation failed
void CurvePoint(const int* n, const int* p, const double* U, const double* P, const double* u,
                double* C, int* info);

// C[0..np] holds parameters on entry and curve values on return.  Every
// parameter must lie in [U[0], U[m]]; non-decreasing parameters take a fast
// path that walks the spans, any order is evaluated correctly.
//  -1 p > n   -2 p < 0   -3 invalid knot vector   -5 a parameter outside the
//  domain (or NaN)   -6 np < 0   1 allocation failed
void CurveEval(const int* n, const int* p, const double* U, const double* P, double* C,
               const int* np, int* info);

// CK[k] = k-th derivative at u for k = 0..d (A3.2); zero above the degree.
//  -1 p > n   -2 p < 0   -3 invalid knot vector   -5 u outside the domain
//  -6 d < 0   1 allocation failed
void CurveDerivsAlg1(const int* n, const int* p, const double* U, const double* P,
                     const double* u, const int* d, double* CK, int* info);

// CK[k * (np + 1) + j] = derivative of order r1 + k at C[j], k = 0..r2 - r1.
//  -1 p > n   -2 p < 0   -3 invalid knot vector   -5 r1 < 0   -6 r2 < r1
//  -7 np < 0   -8 a parameter outside the domain (or NaN)   -9 cp != r2 - r1
//   1 allocation failed
void CurveDerivsEval(const int* n, const int* p, const double* U, const double* P, const int* r1,
                     const int* r2, const int* np, const double* C, const int* cp, double* CK,
                     int* info);

// ---------------------------------------------------------------------------
// Derivative and antiderivative curves
// ---------------------------------------------------------------------------

// Control points of the derivatives of orders 0..d for the range r1..r2 (A3.3);
// PK is (d + 1) x (n + 1), row-major.
//  -1 p > n   -2 p < 0   -3 invalid knot vector   -5 d < 0 or d > p
//  -6 r1 < 0 or r1 > n   -7 r2 > n or r2 < r1   2 zero knot difference
void CurveDerivCptsAlg1(const int* n, const int* p, const double* U, const double* P,
                        const int* d, const int* r1, const int* r2, double* PK, int* info);

// The d-th derivative curve: PK[0..n-d], UK[0..m-2d]; p becomes p - d and nk
// becomes n - d.  The passes run in place in PK, which needs n + 1 entries.
//  -1 p > n   -2 p < 0   -3 invalid knot vector   -5 d < 0 or d > p
//   2 zero knot difference
void CurveDerivCptsAlg2(const int* n, int* p, const double* U, const double* P, const int* d,
                        int* nk, double* UK, double* PK, int* info);

// The d-fold antiderivative vanishing at U[0]: PK[0..n+d], UK[0..n+p+2d+1];
// nk is the capacity of PK (last index) on entry and n + d on return; p
// becomes p + d.
//  -1 p > n   -2 p < 0   -3 invalid knot vector   -5 d < 0   -6 nk < n + d
void CurveAntiDerivCpts(const int* n, int* p, const double* U, const double* P, const int* d,
                        int* nk, double* UK, double* PK, int* info);

// ---------------------------------------------------------------------------
// Knot insertion, refinement and degree elevation
// ---------------------------------------------------------------------------

// Insert u r times (A5.1); k, s are the span and multiplicity of u as given by
// FindSpanMult.  UQ[0..mp+r], Q[0..np+r], nq = np + r.
//  -1 p > np   -2 p < 0   -3 invalid knot vector   -5 u outside the domain
//  (or NaN)   -6 k < p or k > np   -7 s < 0 or s > p   -8 r < 1 or r > p - s,
//  or u close to UP[mp] (the end knot has multiplicity p + 1 already)
//   1 allocation failed   2 zero knot difference
void CurveKnotIns(const int* np, const int* p, const double* UP, const double* P,
                  const double* u, const int* k, const int* s, const int* r, int* nq, double* UQ,
                  double* Q, int* info);

// Insert all of X[0..r] (non-decreasing, strictly inside the domain) in one
// sweep (A5.4).  Ubar[0..m+r+1], Q[0..n+r+1].
//  -1 p > n   -2 p < 0   -3 invalid knot vector   -5 X[0] <= U[0],
//  X[r] >= U[m], X not non-decreasing, or a NaN in X   -6 r < 0 (X is then
//  not read)
void RefineKnotVectCurve(const int* n, const int* p, const double* U, const double* P,
                         const double* X, const int* r, double* Ubar, double* Q, int* info);

// Raise the degree by t, by convex combinations of the control points only
// (the curve is kept to rounding at any degree).  With s distinct interior knot values:
// Uh[0..m+t(s+2)], Q[0..n+t(s+1)], nh = n + t(s + 1) (elevation.h counts them).
// End knots that are only close to U[0], U[m] are read as equal to them (U
// itself is not written).  Any degree from 0 works, and interior knots of
// multiplicity p + 1 (jumps) too.
//  -1 p > n   -2 p < 0   -3 invalid knot vector, or a knot value repeated
//  more than p + 1 times   -5 t < 1 or p + t > 1000   1 allocation failed
void DegreeElevateCurve(const int* n, const int* p, const double* U, const double* P,
                        const int* t, double* Uh, int* nh, double* Q, int* info);

// Knot vector with every knot value's multiplicity raised by one: Uh[0..mh],
// mh = m + s + 2 with s runs of close interior knots (elevation.h).  No checks.
void IncreaseMultByOne(const int* m, const int* p, const double* U, const int* mh, double* Uh);

// ---------------------------------------------------------------------------
// Knot removal
// ---------------------------------------------------------------------------

// Remove u (last copy at index r, multiplicity s) up to num times within TOL
// (A5.8); U and P are compacted in place, t = copies removed.  A removal whose
// deviation is not finite is not made.
//  -1 p > n   -2 p < 0   -3 invalid knot vector   -5 u outside the domain
//  (or NaN)   -7 s < 1 or s > p + 1 (u is no knot; at the end of the domain
//  the span search counts no copy)   -6 (checked after s) r < p + s or r > n
//  (u is the start of the domain)
//  -8 num < 1 or num > s   -9 TOL < 0   1 allocation failed
void RemoveCurveKnot(const int* n, const int* p, double* U, double* P, const double* u,
                     const int* r, const int* s, const int* num, const double* TOL, int* t,
                     int* info);

// RemoveCurveKnot with TOL = +infinity.
void RemoveCurveKnotWithoutTol(const int* n, const int* p, double* U, double* P, const double* u,
                               const int* r, const int* s, const int* num, int* t, int* info);

// Remove every removable interior knot within TOL in one pass; gap = knots
// removed in all.
//  -1 p > n   -2 p < 0   -3 invalid knot vector   -5 TOL < 0   1 allocation failed
void RemoveCurveKnots(const int* n, const int* p, double* U, double* P, const double* TOL,
                      int* gap, int* info);

// Br = deviation caused by removing u (last copy r, multiplicity s) once;
// temp has at least p - s + 3 doubles.  No checks: 1 <= s <= p + 1 and
// p + s <= r <= n are the caller's.
void GetRemovalBndCurve(const int* n, const int* p, const double* U, const double* P,
                        const double* u, const int* r, const int* s, double* temp, double* Br);

// ---------------------------------------------------------------------------
// Tridiagonal solver and Bezier routines
// ---------------------------------------------------------------------------

// Inner control points P[2..n] of the C2 cubic interpolating Q[0..n] at the
// knots U[3..n+3] (U[0..n+6] clamped for (n + 2, 3)); P[1], P[n+1] given,
// P[0] and P[n+2] neither read nor written (A9.2).  P is written only on
// success.
//  -1 n <= 2   -3 invalid knot vector   1 allocation failed
//   2 a zero or non-finite pivot (coincident interior knots)
void SolveTridiagonal(const int* n, const double* Q, const double* U, double* P, int* info);
// SolveTridiagonal for knots made of abscissae x[0..n] (U[0..3] = x[0],
// U[4..n+2] = x[1..n-1], U[n+3..n+6] = x[n]), without work arrays: P[2..n]
// takes the unknowns as they come, and U[2..n-1] the elimination factors
// until the back substitution puts the knots back from x.  P[2..n] is
// unspecified after a failure; U is whole again on return.  Same statuses,
// 1 excepted.
void SolveTridiagonalInPlace(const int* n, const double* x, const double* Q, double* U, double* P, int* info);

// B = Bernstein polynomial B(i, n) at u (A1.2).
//  -1 i < 0 or i > n   -3 u outside [0, 1] (or NaN)   1 allocation failed
void Bernstein(const int* i, const int* n, const double* u, double* B, int* info);

// B[k] = B(k, n)(u), k = 0..n (A1.3).  No checks.
void AllBernstein(const int* n, const double* u, double* B);

// C = point at u of the Bezier curve P[0..n] (A1.4).
//  -2 n < 0   -3 u outside [0, 1] (or NaN)   1 allocation failed
void PointOnBezierCurve(const double* P, const int* n, const double* u, double* C, int* info);

// The same point by de Casteljau's scheme (A1.5); same codes.
void deCasteljau1(const double* P, const int* n, const double* u, double* C, int* info);

// el = C(p, r) * C(r, c) * (-1)^(r - c), the binomials in 64-bit / double
// arithmetic (no int overflow); 0 for c > r or r > p.  No checks.
void GetBezierMatrixElement(const int* p, const int* r, const int* c, double* el);

// Lower triangle of the (p + 1) x (p + 1) Bezier-to-power-basis matrix,
// row-major: M[r * (p + 1) + c] for c <= r; the upper triangle is not written.
void GetBezierMatrix(const int* p, double* M);

// C[0..np] replaced by the Bezier curve P[0..n] at each C[j], by the
// Bernstein form (BezierCurveEval) or by de Casteljau (BezierCurveEval2).
// Every parameter is checked before C is written.
//  -2 n < 0   -4 np < 0   -3 some C[j] outside [0, 1] (or NaN)   1 allocation failed
void BezierCurveEval(const double* P, const int* n, double* C, const int* np, int* info);
void BezierCurveEval2(const double* P, const int* n, double* C, const int* np, int* info);

// Bezier control points of the product h = f g of the Bezier polynomials
// fb[0..p] and gb[0..q]: h has degree p + q and control points hb[0..p+q].
// hb holds M + 1 doubles; hb[k] is written for k = first..last, clipped to
// 0..min(M, p + q), and nothing else.  Nothing is written when p < 0 or q < 0.
// No status code.
void BezierProduct(const double* fb, const int* p, const double* gb, const int* q,
                   const int* M, const int* first, const int* last, double* hb);

// Exported entry point that does nothing.
void CurvesProduct(void);

#ifdef __cplusplus
}
#endif
