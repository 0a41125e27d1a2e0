// Lateral forces of the flow model: the pressure of the flow around a particle, from the
// mesh fields with earth-pressure coefficients, or by the smoothed-particle method.
#include <algorithm>
#include <cmath>

#include "SW_Flow.h"

namespace {

const double kPi = std::acos(-1.0);

}  // namespace

namespace {

// The directions along and across the motion of particle i, and its width.
struct Frame {
  AK_Vec3 e1, e2;
  float width;
};

Frame FrameOf(const SW_FlowParameters& par, const SW_ParticleStore& p, int32_t i, double dt)
{
  const double rho = par.density;
  const double m = p.m[i];
  const AK_Vec3& n = p.normal[i];
  AK_Vec3 d = p.v[i];
  if (d.Dot(d) <= 1e-12) d = p.v[i] + SW_Over(p.force[i] * dt, m);
  if (d.Dot(d) <= 1e-12) {
    AK_Vec3 axis(1, 0, 0);
    double smallest = std::fabs(n.x);
    if (std::fabs(n.y) < smallest) {
      axis = AK_Vec3(0, 1, 0);
      smallest = std::fabs(n.y);
    }
    if (std::fabs(n.z) < smallest) axis = AK_Vec3(0, 0, 1);
    d = n.Cross(axis);
  }
  Frame f;
  f.e1 = SW_Unit(d);
  f.e2 = SW_Unit(n.Cross(f.e1));
  const float h = p.depth[i];
  f.width = static_cast<float>(std::sqrt((m / rho) / h));
  return f;
}

// The bottom pressure and flow depth at the particle's four side points, and the field
// velocity's changes across the particle along and across its motion.
struct Sides {
  float pressure[4], depth[4];
  double a1 = 0, a2 = 0;
};

void SampleSides(const SW_MeshCore& mesh, const SW_FlowParameters& par, const SW_FlowFields& fields,
                 const SW_ParticleStore& p, int32_t i, const Frame& frame, Sides& sides)
{
  const int32_t c = p.cell[i];
  const AK_Vec3& x = p.x[i];
  const AK_Vec3 e1 = frame.e1, e2 = frame.e2;
  const float width = frame.width;

  double ws[4][4];
  const AK_Vec3 dirs[4] = {e1 * -1.0, e1, e2 * -1.0, e2};
  double px[4], py[4];
  for (int k = 0; k < 4; ++k) {
    px[k] = x.x + dirs[k].x * width / 2;
    py[k] = x.y + dirs[k].y * width / 2;
  }
  mesh.CellWeightsOfPoints(c, 4, px, py, ws);

  // The field velocity, bottom pressure and flow depth at the four points, from one pass
  // over the cell's corners (each sum in the order of the mesh's interpolation).
  AK_Vec3 vs[4];
  float* pressure = sides.pressure;
  float* depth = sides.depth;
  for (int j = 0; j < 4; ++j) pressure[j] = depth[j] = 0;
  const bool earthPressure = par.internalFrictionAngle > 0.1;
  const AK_Index4& corners = mesh._lcv[c];
  for (int k = mesh.LastCorner(c); k >= 0; --k) {
    const int32_t v = corners[k];
    const AK_Vec3& fv = fields.velocity[v];
    const double bp = fields.bottomPressure[v], fd = fields.flowDepth[v];
    for (int j = 0; j < 4; ++j) {
      const double w = ws[j][k];
      if (earthPressure) {
        vs[j].x += w * fv.x;
        vs[j].y += w * fv.y;
        vs[j].z += w * fv.z;
      }
      pressure[j] = static_cast<float>(pressure[j] + w * bp);
      depth[j] = static_cast<float>(depth[j] + w * fd);
    }
  }
  if (earthPressure) {
    sides.a1 = (vs[1] - vs[0]).Dot(e1);
    sides.a2 = (vs[3] - vs[2]).Dot(e2);
  }
}

// The pressure of the flow around the particle, with the earth-pressure coefficients.
void ApplySides(const SW_FlowParameters& par, SW_ParticleStore& p, int32_t i, const Frame& frame,
                const Sides& sides, double cos2, double tan2)
{
  float kx = 1, ky = 1;
  if (par.internalFrictionAngle > 0.1)
    SW_EarthPressure(sides.a1, sides.a2, 0.01 * p.v[i].Length(), p.frictionRatio[i], cos2, tan2, kx, ky);
  double f[4];
  for (int k = 0; k < 4; ++k) {
    const float pk = sides.pressure[k] * (k < 2 ? kx : ky);
    f[k] = pk * 0.5 * sides.depth[k] * frame.width;
  }
  const AK_Vec3 e1 = frame.e1, e2 = frame.e2;
  p.force[i] += e1 * f[0] - e1 * f[1] + e2 * f[2] - e2 * f[3];
}

struct SphKernel {
  double r, k1, k2;
  // A squared distance from which the distance is surely at least r: candidates beyond it
  // are passed over without a square root (those nearer take the exact test).
  double beyond;
};

// Answers G, the negative flow-depth gradient at the particle.
AK_Vec3 SphForce(const SW_FlowParameters& par, const SW_FlowGrid& grid, const SphKernel& kernel,
                 SW_ParticleStore& p, int32_t i)
{
  const double rho = par.density;
  const double diffusion = par.sphDiffusion;
  const AK_Vec3& xi = p.x[i];
  const AK_Vec3& vi = p.v[i];
  const double speedI = vi.Length();
  const double ei = diffusion > 0 ? SW_InternalEnthalpy(p.H[i], xi.z, vi) : 0;
  const int32_t ix = grid.Column(xi.x), iy = grid.Row(xi.y);
  AK_Vec3 gradient, s;
  double weight = 0, se = 0, we = 0;
  const int32_t c0 = std::max(ix - 1, 0), c1 = std::min(ix + 1, grid.nx - 1);
  // The neighbours in the grid's order: the candidates near enough (and not i itself) are
  // first listed without a branch, a batch at a time, then summed in that order.
  const auto sum = [&](const int32_t* near, int n) {
    for (int l = 0; l < n; ++l) {
      const int32_t k = near[l];
      const SW_GridPoint& pj = grid.points[k];
      const double dx = pj.x - xi.x, dy = pj.y - xi.y;
      const double squared = dy * dy + dx * dx;
      const double dist = std::sqrt(squared);
      const double dd = std::max(dist, kernel.r * 0.001);
      if (dd >= kernel.r) continue;
      const double q = kernel.r - dd;
      const double mj = pj.m;
      const double wk = mj * q * kernel.k1 * q;
      gradient += AK_Vec3(dx * wk / dd, dy * wk / dd, 0);
      if (diffusion > 0) {
        const int32_t j = grid.sorted[k];
        const AK_Vec3& vj = p.v[j];
        const double ej = SW_InternalEnthalpy(p.H[j], p.x[j].z, vj);
        const double omega = mj * (vj.Length() + speedI) * 0.5 *
                             static_cast<double>(p.depth[j] + p.depth[i]) * 0.5 * q * kernel.k2;
        if (par.sphDiffusionImplicit) {
          s += vj * omega;
          weight += omega;
          se += ej * omega;
          we += omega;
        } else {
          s += (vj - vi) * omega;
          se += (ej - ei) * omega;
        }
      }
    }
  };
  constexpr int kBatch = 128;
  int32_t near[kBatch];
  int n = 0;
  const SW_GridPoint* points = grid.points._elems;
  const int32_t* sorted = grid.sorted._elems;
  for (int32_t row = std::max(iy - 1, 0); row <= std::min(iy + 1, grid.ny - 1); ++row) {
    const int32_t from = grid.start[row * grid.nx + c0], to = grid.start[row * grid.nx + c1 + 1];
    for (int32_t k = from; k < to; ++k) {
      const double dx = points[k].x - xi.x, dy = points[k].y - xi.y;
      const double squared = dy * dy + dx * dx;
      near[n] = k;
      // Not surely beyond the radius (a number that compares with nothing stays in).
      n += static_cast<int>(!(squared >= kernel.beyond)) & static_cast<int>(sorted[k] != i);
      if (n == kBatch) {
        sum(near, n);
        n = 0;
      }
    }
  }
  sum(near, n);
  gradient = AK_Vec3(gradient.x / rho, gradient.y / rho, gradient.z / rho);
  const double m = p.m[i];
  p.force[i] -= AK_Vec3(m * gradient.x * SW_Gravity.z, m * gradient.y * SW_Gravity.z,
                        m * gradient.z * SW_Gravity.z);
  const double area = m / (p.depth[i] * rho);
  if (par.cohesion > 0) p.force[i] += gradient * par.cohesion * area;
  if (diffusion > 0) {
    p.force[i] += s * area * diffusion;
    p.frictionCoefficient[i] = static_cast<float>(p.frictionCoefficient[i] + weight * area * diffusion);
    p.enthalpySource[i] = static_cast<float>(se * area * diffusion);
    p.enthalpyRelaxation[i] = static_cast<float>(we * area * diffusion);
  }
  return gradient;
}

}  // namespace

void SW_EarthPressure(double a1, double a2, double threshold, float ratio, double cos2,
                      double tan2, float& kx, float& ky)
{
  const float mu2 = ratio * ratio;
  const double c2 = (static_cast<double>(mu2) + 1) * cos2;
  double s = 0, t2 = tan2;
  if (c2 < 1) {
    s = std::sqrt(1 - c2);
    t2 = mu2;
  }
  kx = 1;
  if (std::fabs(a1) >= threshold)
    kx = static_cast<float>(a1 <= 0 ? 2 * (1 + s) / cos2 - 1 : 2 * (1 - s) / cos2 - 1);
  ky = 1;
  if (std::fabs(a2) >= threshold) {
    const double k = kx;
    const double root = std::sqrt((1 - k) * (1 - k) + 4 * t2);
    ky = static_cast<float>(a2 <= 0 ? ((k + 1) + root) * 0.5 : ((k + 1) - root) * 0.5);
  }
}

void SW_ComputeLateralForces(SW_FlowRun& run, int32_t first, int32_t end, double dt)
{
  const SW_FlowParameters& par = run.par;
  SW_ParticleStore& p = run.particles;
  const bool held = !p.flags.IsEmpty();
  if (par.sphMode == 0) {
    const double phi = kPi * par.internalFrictionAngle / 180.0;
    const double cos2 = std::cos(phi) * std::cos(phi), tan2 = std::tan(phi) * std::tan(phi);
    // A block of particles at a time: first each one's directions and width, then the
    // fields at its sides, then the force, so the processor overlaps the particles' chains
    // of square roots and divisions.
    constexpr int32_t kBlock = 16;
    Frame frames[kBlock];
    Sides sides[kBlock];
    for (int32_t b = first; b < end; b += kBlock) {
      const int32_t blockEnd = std::min(end, b + kBlock);
      for (int32_t i = b; i < blockEnd; ++i)
        if (!held || p.flags[i] == 0) frames[i - b] = FrameOf(par, p, i, dt);
      for (int32_t i = b; i < blockEnd; ++i)
        if (!held || p.flags[i] == 0) SampleSides(*run.mesh, par, run.fields, p, i, frames[i - b], sides[i - b]);
      for (int32_t i = b; i < blockEnd; ++i)
        if (!held || p.flags[i] == 0) ApplySides(par, p, i, frames[i - b], sides[i - b], cos2, tan2);
    }
    return;
  }
  const double r = SW_KernelRadius(par);
  const double k1 = 10 / (r * r * r * r * r * kPi) * -3;
  const SphKernel kernel{r, k1, k1 * -2, r * r * (1 + 1e-12)};
  // The samples are kept by particle, each in its own entry (the step makes one for every
  // 1000th particle), so any split over threads reports the same.
  const bool sample = par.verbose > 1;
  for (int32_t i = first; i < end; ++i) {
    if (held && p.flags[i] != 0) continue;
    const AK_Vec3 gradient = SphForce(par, run.grid, kernel, p, i);
    if (sample && i % 1000 == 0 && i / 1000 < run.report.sph.Size()) {
      const AK_Vec3& x = p.x[i];
      run.report.sph[i / 1000] = {i, x, run.grid.Column(x.x), run.grid.Row(x.y), gradient};
    }
  }
}
