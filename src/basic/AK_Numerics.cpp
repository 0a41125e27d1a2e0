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

// ---- boxes ------------------------------------------------------------------------------

int AK_PointInBox3(const AK_Vec3& p, const AK_Vec3& min, const AK_Vec3& max)
{
  return min.x <= p.x && p.x <= max.x && min.y <= p.y && p.y <= max.y && min.z <= p.z &&
                 p.z <= max.z
             ? 1
             : 0;
}

void AK_BoxCorners(AK_Vec3 corners[8], const AK_Vec3& min, const AK_Vec3& max)
{
  for (int i = 0; i < 8; ++i)
    corners[i] = AK_Vec3((i & 1) ? max.x : min.x, (i & 2) ? max.y : min.y, (i & 4) ? max.z : min.z);
}

int AK_PointInBoxCorners(const AK_Vec3 corners[8], const AK_Vec3& p)
{
  return AK_PointInBox3(p, corners[0], corners[7]);
}

int AK_PointArrayBox(const AK_Array<AK_Vec3>& points, AK_Vec3& min, AK_Vec3& max)
{
  if (points.Size() == 0) {
    min = max = AK_Vec3();
    return 0;
  }
  min = max = points[0];
  for (int32_t i = 1; i < points.Size(); ++i) {
    const AK_Vec3& p = points[i];
    if (p.x < min.x) min.x = p.x;
    if (p.y < min.y) min.y = p.y;
    if (p.z < min.z) min.z = p.z;
    if (p.x > max.x) max.x = p.x;
    if (p.y > max.y) max.y = p.y;
    if (p.z > max.z) max.z = p.z;
  }
  return 1;
}

// ---- 3x3 matrices and quadrics -------------------------------------------------------------

int AK_Invert3x3(const double m[9], double out[9])
{
  double c00 = m[4] * m[8] - m[5] * m[7];
  double c01 = m[5] * m[6] - m[3] * m[8];
  double c02 = m[3] * m[7] - m[4] * m[6];
  double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
  if (det == 0) {
    for (int i = 0; i < 9; ++i) out[i] = 0;
    return 0;
  }
  double inv = 1.0 / det;
  double r[9] = {c00,
                 m[2] * m[7] - m[1] * m[8],
                 m[1] * m[5] - m[2] * m[4],
                 c01,
                 m[0] * m[8] - m[2] * m[6],
                 m[2] * m[3] - m[0] * m[5],
                 c02,
                 m[1] * m[6] - m[0] * m[7],
                 m[0] * m[4] - m[1] * m[3]};
  for (int i = 0; i < 9; ++i) out[i] = r[i] * inv;
  return 1;
}

void AK_JacobiEigen3x3(const double a_in[9], double v[9])
{
  double a[9];
  for (int i = 0; i < 9; ++i) {
    a[i] = a_in[i];
    v[i] = (i % 4 == 0) ? 1.0 : 0.0;
  }
  static const int kPairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  for (int rot = 0; rot < 20; ++rot) {
    int p = 0, q = 1;
    double best = std::fabs(a[1]);
    for (int i = 1; i < 3; ++i) {
      double m = std::fabs(a[kPairs[i][0] * 3 + kPairs[i][1]]);
      if (m > best) {
        best = m;
        p = kPairs[i][0];
        q = kPairs[i][1];
      }
    }
    double scale = std::fabs(a[0]) + std::fabs(a[4]) + std::fabs(a[8]);
    if (best < 1e-10 * scale || best == 0 || !std::isfinite(best)) break;
    double apq = a[p * 3 + q];
    double theta = (a[p * 3 + p] - a[q * 3 + q]) / (2 * apq);
    double sign = theta >= 0 ? 1.0 : -1.0;
    double t = 1.0 / (theta + sign * std::sqrt(theta * theta + 1));
    double c = 1.0 / std::sqrt(t * t + 1);
    double s = t * c;
    double j[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    j[p * 3 + p] = c;
    j[q * 3 + q] = c;
    j[p * 3 + q] = -s;
    j[q * 3 + p] = s;
    double aj[9], na[9], nv[9];
    for (int r = 0; r < 3; ++r)
      for (int k = 0; k < 3; ++k) {
        aj[r * 3 + k] = a[r * 3] * j[k] + a[r * 3 + 1] * j[3 + k] + a[r * 3 + 2] * j[6 + k];
        nv[r * 3 + k] = v[r * 3] * j[k] + v[r * 3 + 1] * j[3 + k] + v[r * 3 + 2] * j[6 + k];
      }
    for (int r = 0; r < 3; ++r)
      for (int k = 0; k < 3; ++k)
        na[r * 3 + k] = j[r] * aj[k] + j[3 + r] * aj[3 + k] + j[6 + r] * aj[6 + k];
    for (int i = 0; i < 9; ++i) {
      a[i] = na[i];
      v[i] = nv[i];
    }
  }
}

void AK_FitQuadric(const AK_Array<AK_Vec3>& points, double q[13])
{
  for (int i = 0; i < 13; ++i) q[i] = 0;
  const int32_t n = points.Size();
  if (n < 1) return;
  AK_Vec3 mean;
  for (int32_t i = 0; i < n; ++i) mean += points[i];
  mean *= 1.0 / n;

  static const int kUnknown[9] = {0, 1, 2, 1, 3, 4, 2, 4, 5};
  double m[9 * 10] = {};
  for (int32_t i = 0; i < n; ++i) {
    AK_Vec3 d = points[i] - mean;
    const double dv[3] = {d.x, d.y, d.z};
    double phi[9] = {};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) phi[kUnknown[r * 3 + c]] += dv[r] * dv[c];
    phi[6] = d.x;
    phi[7] = d.y;
    phi[8] = d.z;
    for (int r = 0; r < 9; ++r) {
      for (int c = 0; c < 9; ++c) m[r * 10 + c] += phi[r] * phi[c];
      m[r * 10 + 9] += phi[r];
    }
  }
  double x[9];
  AK_SolveLinearSystem(9, m, x, 0.0);
  for (int r = 0; r < 9; ++r) q[r] = x[kUnknown[r]];
  double b[3] = {x[6], x[7], x[8]};
  double c = -1.0;
  const double mv[3] = {mean.x, mean.y, mean.z};
  double am[3];
  for (int r = 0; r < 3; ++r) am[r] = q[r * 3] * mv[0] + q[r * 3 + 1] * mv[1] + q[r * 3 + 2] * mv[2];
  c += mv[0] * am[0] + mv[1] * am[1] + mv[2] * am[2] - (b[0] * mv[0] + b[1] * mv[1] + b[2] * mv[2]);
  for (int r = 0; r < 3; ++r) q[9 + r] = b[r] - 2 * am[r];
  q[12] = c;
}

double AK_QuadricValue(const double q[13], const AK_Vec3& x)
{
  const double v[3] = {x.x, x.y, x.z};
  double s = q[12];
  for (int r = 0; r < 3; ++r) {
    s += q[9 + r] * v[r];
    for (int c = 0; c < 3; ++c) s += v[r] * q[r * 3 + c] * v[c];
  }
  return s;
}

AK_Vec3 AK_ClosestPointOnQuadric(const double q[13], const AK_Vec3& start)
{
  AK_Vec3 x = start;
  double previous = 1e50;
  for (int iter = 0; iter < 1000; ++iter) {
    const double v[3] = {x.x, x.y, x.z};
    double g[3];
    for (int r = 0; r < 3; ++r)
      g[r] = 2 * (q[r * 3] * v[0] + q[r * 3 + 1] * v[1] + q[r * 3 + 2] * v[2]) + q[9 + r];
    double gg = g[0] * g[0] + g[1] * g[1] + g[2] * g[2];
    if (!(gg >= 1e-50)) break;
    double lambda = -AK_QuadricValue(q, x) / gg;
    x += AK_Vec3(g[0], g[1], g[2]) * lambda;
    if (!(std::fabs(lambda) < 0.99 * std::fabs(previous))) break;
    previous = lambda;
  }
  return x;
}

void AK_QuadricPrincipalAxes(const double q[13], double axes[9], AK_Vec3* centre)
{
  double v[9];
  AK_JacobiEigen3x3(q, v);
  for (int k = 0; k < 3; ++k) {
    AK_Vec3 col(v[k], v[3 + k], v[6 + k]);
    double len = col.Length();
    if (len > 0) col *= 1.0 / len;
    axes[k * 3] = col.x;
    axes[k * 3 + 1] = col.y;
    axes[k * 3 + 2] = col.z;
  }
  if (!centre) return;
  AK_Vec3 result;
  for (int k = 0; k < 3; ++k) {
    AK_Vec3 vk(v[k], v[3 + k], v[6 + k]);
    // lambda_k = vk' A vk
    double avk[3];
    for (int r = 0; r < 3; ++r) avk[r] = q[r * 3] * vk.x + q[r * 3 + 1] * vk.y + q[r * 3 + 2] * vk.z;
    double lambda = vk.x * avk[0] + vk.y * avk[1] + vk.z * avk[2];
    if (lambda == 0) continue;
    double bv = q[9] * vk.x + q[10] * vk.y + q[11] * vk.z;
    result += vk * (bv / (-2 * lambda));
  }
  *centre = result;
}
