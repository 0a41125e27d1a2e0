// Helpers private to the mesh library.
#pragma once

#include <cstdint>

// The smallest prime >= n (2 for n <= 2), by trial division.
int32_t SW_NextPrime(int32_t n);

// Dense Gaussian elimination with partial pivoting on the augmented n x (n+1) matrix
// (row-major); a pivot whose magnitude does not exceed the threshold is replaced by 1.0.
// Answers the number of replaced pivots.
int SW_SolveLinearSystem(int n, double* augmented, double* solution, double pivotThreshold);
