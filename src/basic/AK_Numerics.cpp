#include "AK_Numerics.h"

#include <cmath>
#include <utility>
#include <vector>

int32_t AK_NextPrime(int32_t n)
{
  if (n <= 2) return 2;
  for (int64_t v = n;; ++v) {
    if (v % 2 == 0) continue;
    bool prime = true;
    for (int64_t d = 3; d * d <= v; d += 2)
      if (v % d == 0) { prime = false; break; }
    // 2147483647 is prime, so the search never leaves the 32-bit range.
    if (prime) return static_cast<int32_t>(v);
  }
}

int AK_SolveLinearSystem(int n, double* a, double* x, double pivotThreshold)
{
  if (n <= 0) return 0;
  const int w = n + 1;
  int replaced = 0;
  for (int col = 0; col < n; ++col) {
    int best = col;
    for (int r = col + 1; r < n; ++r)
      if (std::fabs(a[r * w + col]) > std::fabs(a[best * w + col])) best = r;
    if (best != col)
      for (int c = 0; c < w; ++c) std::swap(a[col * w + c], a[best * w + c]);
    if (!(std::fabs(a[col * w + col]) > pivotThreshold)) {
      a[col * w + col] = 1.0;
      ++replaced;
    }
    double pivot = a[col * w + col];
    for (int r = col + 1; r < n; ++r) {
      double f = a[r * w + col] / pivot;
      if (f == 0.0) continue;
      for (int c = col; c < w; ++c) a[r * w + c] -= f * a[col * w + c];
    }
  }
  for (int r = n - 1; r >= 0; --r) {
    double s = a[r * w + n];
    for (int c = r + 1; c < n; ++c) s -= a[r * w + c] * x[c];
    x[r] = s / a[r * w + r];
  }
  return replaced;
}

double* AK_Matrix3Multiply(double* C, const double* A, const double* B)
{
  double r[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r[3 * i + j] = A[3 * i] * B[j] + A[3 * i + 1] * B[3 + j] + A[3 * i + 2] * B[6 + j];
  for (int k = 0; k < 9; ++k) C[k] = r[k];
  return C;
}

double (*AK_Matrix3Multiply(double C[3][3], const double A[3][3], const double B[3][3]))[3]
{
  AK_Matrix3Multiply(&C[0][0], &A[0][0], &B[0][0]);
  return C;
}

std::ostream& AK_Matrix3Print(std::ostream& out, const double* m)
{
  out << "\n";
  for (int i = 0; i < 3; ++i) out << m[3 * i] << " " << m[3 * i + 1] << " " << m[3 * i + 2] << "\n";
  return out;
}

std::ostream& AK_Matrix3Print(std::ostream& out, const double matrix[3][3])
{
  return AK_Matrix3Print(out, &matrix[0][0]);
}

std::ostream& AK_TetPrint(std::ostream& out, const int32_t nodes[4], const int32_t neighbours[4])
{
  out << "v:";
  for (int i = 0; i < 4; ++i) out << "\t" << nodes[i];
  out << ", n:";
  for (int i = 0; i < 4; ++i) out << "\t" << neighbours[i];
  return out;
}
