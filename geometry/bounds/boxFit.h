#pragma once

#include <cstdint>

#include "geometry/bounds/boundingVolumes.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector2.h"
#include "math/qmtVector3.h"

// Box, line and capsule fits to point sets, oriented-box tests and planar frames.
// A count of 0 gives the zeroed result without reading the arrays.

// Oriented box: axes are the covariance eigenvectors as columns in ascending order of
// spread (handedness not fixed), centre and half extents from the projections.
ZYLbox fitOrientedBox(std::uint32_t n, const Qmt::QmtVector3* points);
ZYLbox fitOrientedBoxIndexed(std::uint32_t n, const std::uint32_t* indices,
                             const Qmt::QmtVector3* points);

// Centre = mean, axes = covariance eigenvectors (ascending), half extents = the
// eigenvalues (callers replace them).
void fitBoxAxes(std::uint32_t n, const Qmt::QmtVector3* points, ZYLbox& out);
void fitBoxAxesIndexed(std::uint32_t n, const std::uint32_t* indices,
                       const Qmt::QmtVector3* points, ZYLbox& out);

// Least-squares line: origin = mean, direction = unit direction of largest spread.
void fitLine(std::int32_t n, const Qmt::QmtVector3* points, Qmt::QmtVector3& origin,
             Qmt::QmtVector3& direction);
void fitLineIndexed(std::uint32_t n, const std::uint32_t* indices, const Qmt::QmtVector3* points,
                    Qmt::QmtVector3& origin, Qmt::QmtVector3& direction);

// Capsule around the points: core segment end0-end1 on the fitted line, radius the
// largest distance from it. A sphere gives end0 == end1.
void fitCapsule(std::uint32_t n, const Qmt::QmtVector3* points, Qmt::QmtVector3& end0,
                Qmt::QmtVector3& end1, double& radius);
void fitCapsuleIndexed(std::uint32_t n, const std::uint32_t* indices,
                       const Qmt::QmtVector3* points, Qmt::QmtVector3& end0,
                       Qmt::QmtVector3& end1, double& radius);

// Symmetric 3x3 eigen solver. tridiagonalize3 reduces the symmetric M in place to
// diag/subd and leaves the orthogonal transform in M; solveQL diagonalises the
// tridiagonal form by implicit-shift QL, accumulating into Q's columns (false when an
// eigenvalue needs more than 32 iterations); sortEigenIncreasing sorts diag ascending
// and swaps Q's columns along. n must lie in 1..3 (anything else is ignored / false).
void tridiagonalize3(Qmt::QmtMatrix3& M, double diag[3], double subd[3]);
bool solveQL(std::int32_t n, double* diag, double* subd, Qmt::QmtMatrix3& Q);
void sortEigenIncreasing(std::int32_t n, double* diag, Qmt::QmtMatrix3& Q);
// M in: symmetric; out: eigenvectors as columns; eigenvalues ascending.
void eigenSolveSymmetric3(Qmt::QmtMatrix3& M, double eigenvalues[3]);

// Inside the box grown by margin on every side, boundary included.
bool pointInOrientedBox(const Qmt::QmtVector3& p, const ZYLbox& box, double margin);
// True when some part of the box lies below the plane through Q with normal n
// (a box wholly below it included).
bool orientedBoxCrossesPlane(const ZYLbox& box, const Qmt::QmtVector3& Q,
                             const Qmt::QmtVector3& n);
// Separating-axis test over the 15 axes, no tolerance; true when none separates.
bool orientedBoxesOverlap(const ZYLbox& A, const ZYLbox& B);

// u and v = w x u complete the unit vector w to an orthonormal frame.
void generateOrthonormalBasis(const Qmt::QmtVector3& w, Qmt::QmtVector3& u, Qmt::QmtVector3& v);
// R with rows u, v, n' (n' = n normalised only when |n|^2 > 1.00001), so R * p gives
// the frame coordinates of p, the third along the normal.
void frameFromNormal(const Qmt::QmtVector3& n, Qmt::QmtMatrix3& R);
// UV differences (u, v) at the in-plane offset p of a face with normal n whose edge
// vectors a and b from a common corner carry the UV differences U = (du_a, du_b) and
// V = (dv_a, dv_b). A singular system or a zero normal gives u = v = 0.
void interpolateUVOnPlane(const Qmt::QmtVector3& p, const Qmt::QmtVector3& n,
                          const Qmt::QmtVector3& a, const Qmt::QmtVector3& b,
                          const Qmt::QmtVector2& U, const Qmt::QmtVector2& V, float& u, float& v);
