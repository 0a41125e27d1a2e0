// Small numerics shared by the mesh, the triangulations and the tetrahedral code.
#pragma once

#include <cstdint>
#include <ostream>

#include "AK_Array.h"
#include "AK_Vec.h"

// The smallest prime >= n; 2 for n <= 2.
int32_t AK_NextPrime(int32_t n);

// Solves A x = b by Gaussian elimination with partial pivoting. `augmented` holds n rows of
// n + 1 doubles (A | b), row-major, and is changed. A pivot whose magnitude does not exceed
// `pivotThreshold` is replaced by 1.0. Returns the number of pivots so replaced.
int AK_SolveLinearSystem(int n, double* augmented, double* solution, double pivotThreshold);

// C = A * B for row-major 3 x 3 matrices; C may be A or B. Returns C.
double* AK_Matrix3Multiply(double* C, const double* A, const double* B);
double (*AK_Matrix3Multiply(double C[3][3], const double A[3][3], const double B[3][3]))[3];

// A line break, then each row's three numbers separated by " " in the stream's current number
// format, each row followed by a line break. Returns the stream.
std::ostream& AK_Matrix3Print(std::ostream& out, const double* matrix);
std::ostream& AK_Matrix3Print(std::ostream& out, const double matrix[3][3]);

// "v:", a TAB before each of the four node numbers, ", n:", a TAB before each of the four
// neighbour numbers; no line end. Returns the stream.
std::ostream& AK_TetPrint(std::ostream& out, const int32_t nodes[4], const int32_t neighbours[4]);

// ---- boxes ------------------------------------------------------------------------------

// 1 when min <= p <= max in all three coordinates.
int AK_PointInBox3(const AK_Vec3& p, const AK_Vec3& min, const AK_Vec3& max);
// The 8 corners of a box; bit 0 of the index selects max x, bit 1 max y, bit 2 max z.
void AK_BoxCorners(AK_Vec3 corners[8], const AK_Vec3& min, const AK_Vec3& max);
int AK_PointInBoxCorners(const AK_Vec3 corners[8], const AK_Vec3& p);
// Min and max over the points; an empty array answers 0 and sets both to (0, 0, 0).
int AK_PointArrayBox(const AK_Array<AK_Vec3>& points, AK_Vec3& min, AK_Vec3& max);

// ---- 3x3 matrices and quadrics -------------------------------------------------------------
// Matrices are 3x3, row-major. Quadrics are 13 coefficients: A (9, symmetric in use), b (3),
// c, with q(x) = x'Ax + b.x + c.

// The inverse adjugate(M) / det(M); answers 0 (out = 0) when det(M) = 0, else 1.
int AK_Invert3x3(const double m[9], double out[9]);
// Columns of V are the eigenvectors of the symmetric A (at most 20 Jacobi rotations);
// A is not changed.
void AK_JacobiEigen3x3(const double a[9], double v[9]);
// Least-squares quadric through the points (x'Ax + b.x = 1 around their mean, moved back
// to world coordinates). Fewer than one point gives the zero quadric.
void AK_FitQuadric(const AK_Array<AK_Vec3>& points, double q[13]);
double AK_QuadricValue(const double q[13], const AK_Vec3& x);
// A point on q(x) = 0 reached from the start along gradients.
AK_Vec3 AK_ClosestPointOnQuadric(const double q[13], const AK_Vec3& start);
// Unit principal axes of A as rows of `axes` and, when asked, the quadric's centre
// (directions with a zero eigenvalue add nothing to the centre).
void AK_QuadricPrincipalAxes(const double q[13], double axes[9], AK_Vec3* centre);
