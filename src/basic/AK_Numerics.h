// Small numerics shared by the mesh, the triangulations and the tetrahedral code.
#pragma once

#include <cstdint>
#include <ostream>

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
