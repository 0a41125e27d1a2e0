// Body forces, friction laws, entrainment, resistance drag and lateral forces of the flow
// model.
#include <cmath>
#include <cstring>

#include "SW_Flow.h"

namespace {

const AK_Vec3 kGravity(0, 0, -9.81);
const double kPi = std::acos(-1.0);

AK_Vec3 Unit(const AK_Vec3& a) { return a * (1.0 / a.Length()); }
// Component by component, as a division by a scalar reads.
AK_Vec3 Over(const AK_Vec3& a, double s) { return AK_Vec3(a.x / s, a.y / s, a.z / s); }

double BuiltInShear(int law, double p, double gn, double u, double h, double rho, double mu,
                    double cd, double internalEnthalpy)
{
  const double s = cd * u * u / h;
  switch (law) {
    case SW_FrictionChezy: return h * rho * s;
    case SW_FrictionChezyCoulomb: return (gn * mu + s) * (h * rho);
    case SW_FrictionClassic: return std::max(s, gn) * (h * rho) * mu;
    case SW_FrictionTorvuAT: {
      const double rhou2 = u * rho * u;
      const double k = std::log(std::max(1.0, h / 0.05)) / 0.43 + 4.13;
      return (0.222 / (rhou2 / (p + 0.001) + 0.222) + 1.0) * (p * 0.155) + rhou2 / (k * k);
    }
    case SW_FrictionWetSnow:
      return (std::exp(internalEnthalpy / -20000.0) * mu * gn + s) * (h * rho);
  }
  return 0;
}

}  // namespace

int SW_FrictionLawIndex(const char* text)
{
  static const char* const kLaws[] = {
      "Chezy", "Chezy + Mohr-Coulomb",
      "Mohr-Coulomb with max of dynamic and granular pressure (TORVU classic)", "torvuAT",
      "Nassschnee"};
  for (int i = 0; i < 5; ++i)
    if (std::strcmp(text, kLaws[i]) == 0) return i;
  return SW_FrictionUser;
}

double SW_ParticleInternalEnthalpy(const SW_FlowParticles& p, int32_t i)
{
  const AK_Vec3& v = p.v[i];
  return p.H[i] - 9.81 * p.x[i].z - (0.5 * v.y * v.y + 0.5 * v.x * v.x + 0.5 * v.z * v.z);
}

int SW_ComputeBodyForces(const SW_MeshCore& mesh, const SW_FlowParameters& par,
                         const SW_FlowCells& cells, SW_FlowFields& fields, SW_FlowParticles& p,
                         int32_t first, int32_t end, double t, double dt, AK_String& error)
{
  const double rho = par.density;
  const double mu = std::tan(kPi * par.bedFrictionAngle / 180.0);
  const bool held = !p.flags.IsEmpty();
  const bool resistance = !cells.resistance.IsEmpty();
  for (int32_t i = first; i < end; ++i) {
    const int32_t c = p.cell[i];
    double w[4];
    mesh.CellWeights(c, p.x[i], w);
    const AK_Vec3 n = Unit(mesh.InterpolateVertexVector(c, w, mesh._vertexNormals));
    float hf = mesh.InterpolateVertexValue(c, w, fields.flowDepth);
    if (hf < 1e-6f) hf = 1e-6f;
    p.depth[i] = hf;
    p.entrainedMass[i] = 0;
    p.enthalpySource[i] = 0;
    p.enthalpyRelaxation[i] = 0;
    p.normalForce[i] = 0;
    if (held && p.flags[i] != 0) continue;
    const double h = hf;
    double m = p.m[i];
    const AK_Vec3& x = p.x[i];

    // Subgrid mixing with the flow velocity of the field (its tangential part).
    AK_Vec3 v = p.v[i];
    AK_Vec3 vf = mesh.InterpolateVertexVector(c, w, fields.velocity);
    vf -= n * vf.Dot(n);
    const double k = (vf - v).Length() * (par.subgridMixing * 0.5 * rho) *
                     (2 * std::sqrt(m * h / rho)) * dt / m;
    v += vf * k;
    v *= 1 / (k + 1);
    p.v[i] = v;

    // Normal at the predicted position: the path's curvature over the surface.
    AK_Vec3 xs = x + v * dt;
    int32_t cs = mesh.ProjectToSurface(xs, c, nullptr);
    if (cs < 0) cs = c;
    double ws[4];
    mesh.CellWeights(cs, xs, ws);
    const AK_Vec3 ns = Unit(mesh.InterpolateVertexVector(cs, ws, mesh._vertexNormals));
    const AK_Vec3 nb = Unit(n + ns);
    const double gn = -kGravity.Dot(nb) - par.curvatureReduction * (ns - n).Dot(v) / dt;
    if (gn > 0) p.normalForce[i] = static_cast<float>(m * gn);
    const AK_Vec3 gt = kGravity + nb * (-kGravity.Dot(nb));
    p.force[i] = gt * m;

    double u = v.Length();
    if (par.averagedSpeed) u = std::max((u + (v + gt * dt).Length()) * 0.5, 1e-6);

    double pressure = 0, tau = 0;
    if (gn < 0) {
      p.frictionCoefficient[i] = 0;
      p.frictionRatio[i] = 0;
    } else {
      pressure = gn * rho * h;
      if (par.frictionLaw == SW_FrictionUser) {
        if (par.userLaw.tau) {
          SW_FrictionArgs a{pressure, u, h, rho, t, x, nb, p.H[i] + (-9.81) * x.z - u * 0.5 * u};
          tau = par.userLaw.tau(par.userLaw.context, a);
          if (!std::isfinite(tau)) {
            error = AK_String::Format("friction law \"%s\" answered %g (pressure %g, speed %g, "
                                      "depth %g); the run stops",
                                      par.userLaw.name.c_str(), tau, pressure, u, h);
            return 1;
          }
        }
      } else {
        const double e = par.frictionLaw == SW_FrictionWetSnow ? SW_ParticleInternalEnthalpy(p, i)
                                                                : 0;
        tau = BuiltInShear(par.frictionLaw, pressure, gn, u, h, rho, mu, par.dynamicFriction, e);
      }
      p.frictionCoefficient[i] = static_cast<float>((m / (h * rho)) * tau / std::max(u, 1e-6));
      p.frictionRatio[i] = static_cast<float>(tau / pressure);
    }

    // Entrainment from the cell the particle stands in at the start of the step.
    const float available = fields.entrainmentMass.IsEmpty() ? 0.f : fields.entrainmentMass[c];
    if (available > 0) {
      const double area = m / (h * rho);
      const double swept = std::sqrt(area) * u * dt;
      const double dm = par.entrainmentErosion > 0
                            ? area * tau * u * dt / par.entrainmentErosion
                            : available * swept;
      double loss;
      if (par.entrainmentLoss.loss) {
        SW_EntrainmentLossArgs a;
        a.f = SW_FrictionArgs{pressure, u, h, rho, t, x, nb, 0};
        a.tau = tau;
        a.q = swept > 0 ? dm / swept : 0;
        a.es = par.entrainmentShear;
        a.ed = par.entrainmentDeformation;
        loss = par.entrainmentLoss.loss(par.entrainmentLoss.context, a) * swept;
      } else {
        loss = dm * par.entrainmentDeformation + swept * par.entrainmentShear;
      }
      const double q = (fields.entrainmentEnthalpy[c] - (-9.81) * x.z) * dm +
                       static_cast<double>(p.H[i] * p.m[i]);
      v = Over(v * m, m + dm);
      p.m[i] = static_cast<float>(m + dm);
      m = p.m[i];
      if (loss > 0) v *= std::sqrt(std::max(0.0, 1 - loss / ((v.Dot(v) + 1e-6) * m * 0.5)));
      p.v[i] = v;
      p.entrainedMass[i] = static_cast<float>(dm);
      p.H[i] = static_cast<float>(q / m);
    }

    if (resistance && cells.resistance[c] >= 0) {
      const SW_FlowResistance& r = cells.resistances[cells.resistance[c]];
      const float hr = static_cast<float>(std::min(r.height, h));
      const double area = m / rho / h;
      p.frictionCoefficient[i] = static_cast<float>(
          p.frictionCoefficient[i] +
          v.Length() * ((r.coefficient * r.width / (r.spacing * r.spacing)) * hr * area) * rho * 0.5);
    }
  }
  return 0;
}

namespace {

// Earth-pressure coefficients from the stretching along e1 and e2.
void EarthPressure(double a1, double a2, double threshold, float ratio, double cos2, double tan2,
                   float& kx, float& ky)
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

void MeshFieldForce(const SW_MeshCore& mesh, const SW_FlowParameters& par,
                    const SW_FlowFields& fields, SW_FlowParticles& p, int32_t i, double dt,
                    double cos2, double tan2)
{
  const double rho = par.density;
  const int32_t c = p.cell[i];
  const AK_Vec3& x = p.x[i];
  const double m = p.m[i];
  double w[4];
  mesh.CellWeights(c, x, w);
  const AK_Vec3 n = Unit(mesh.InterpolateVertexVector(c, w, mesh._vertexNormals));
  AK_Vec3 d = p.v[i];
  if (d.Dot(d) <= 1e-12) d = p.v[i] + Over(p.force[i] * dt, m);
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
  const AK_Vec3 e1 = Unit(d);
  const AK_Vec3 e2 = Unit(n.Cross(e1));
  float h = mesh.InterpolateVertexValue(c, w, fields.flowDepth);
  if (h < 1e-6f) h = 1e-6f;
  const float width = static_cast<float>(std::sqrt((m / rho) / h));

  double ws[4][4];
  const AK_Vec3 dirs[4] = {e1 * -1.0, e1, e2 * -1.0, e2};
  for (int k = 0; k < 4; ++k)
    mesh.CellWeights(c, x.x + dirs[k].x * width / 2, x.y + dirs[k].y * width / 2, ws[k]);

  float kx = 1, ky = 1;
  if (par.internalFrictionAngle > 0.1) {
    const AK_Vec3 vs[4] = {mesh.InterpolateVertexVector(c, ws[0], fields.velocity),
                           mesh.InterpolateVertexVector(c, ws[1], fields.velocity),
                           mesh.InterpolateVertexVector(c, ws[2], fields.velocity),
                           mesh.InterpolateVertexVector(c, ws[3], fields.velocity)};
    const double a1 = (vs[1] - vs[0]).Dot(e1);
    const double a2 = (vs[3] - vs[2]).Dot(e2);
    EarthPressure(a1, a2, 0.01 * p.v[i].Length(), p.frictionRatio[i], cos2, tan2, kx, ky);
  }
  double f[4];
  for (int k = 0; k < 4; ++k) {
    const float pk = mesh.InterpolateVertexValue(c, ws[k], fields.bottomPressure) * (k < 2 ? kx : ky);
    f[k] = pk * 0.5 * mesh.InterpolateVertexValue(c, ws[k], fields.flowDepth) * width;
  }
  p.force[i] += e1 * f[0] - e1 * f[1] + e2 * f[2] - e2 * f[3];
}

struct SphKernel {
  double r, k1, k2;
};

double InternalEnthalpy(const SW_FlowParticles& p, int32_t i) { return SW_ParticleInternalEnthalpy(p, i); }

void SphForce(const SW_FlowParameters& par, const SW_FlowGrid& grid, const SphKernel& kernel,
              SW_FlowParticles& p, int32_t i)
{
  const double rho = par.density;
  const double diffusion = par.sphDiffusion;
  const AK_Vec3& xi = p.x[i];
  const AK_Vec3& vi = p.v[i];
  const double speedI = vi.Length();
  const double ei = diffusion > 0 ? InternalEnthalpy(p, i) : 0;
  const int32_t ix = grid.Column(xi.x), iy = grid.Row(xi.y);
  AK_Vec3 gradient, s;
  double weight = 0, se = 0, we = 0;
  const int32_t c0 = std::max(ix - 1, 0), c1 = std::min(ix + 1, grid.nx - 1);
  for (int32_t row = std::max(iy - 1, 0); row <= std::min(iy + 1, grid.ny - 1); ++row) {
    const int32_t from = grid.start[row * grid.nx + c0], to = grid.start[row * grid.nx + c1 + 1];
    for (int32_t k = from; k < to; ++k) {
      const int32_t j = grid.sorted[k];
      if (j == i) continue;
      const double dx = p.x[j].x - xi.x, dy = p.x[j].y - xi.y;
      const double dist = std::sqrt(dy * dy + dx * dx);
      const double dd = std::max(dist, kernel.r * 0.001);
      if (dd >= kernel.r) continue;
      const double q = kernel.r - dd;
      const double mj = p.m[j];
      const double wk = mj * q * kernel.k1 * q;
      gradient += AK_Vec3(dx * wk / dd, dy * wk / dd, 0);
      if (diffusion > 0) {
        const AK_Vec3& vj = p.v[j];
        const double ej = p.H[j] - 9.81 * p.x[j].z -
                          (0.5 * vj.y * vj.y + 0.5 * vj.x * vj.x + 0.5 * vj.z * vj.z);
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
  }
  gradient = AK_Vec3(gradient.x / rho, gradient.y / rho, gradient.z / rho);
  const double m = p.m[i];
  p.force[i] -= AK_Vec3(m * gradient.x * kGravity.z, m * gradient.y * kGravity.z,
                        m * gradient.z * kGravity.z);
  const double area = m / (p.depth[i] * rho);
  if (par.cohesion > 0) p.force[i] += gradient * par.cohesion * area;
  if (diffusion > 0) {
    p.force[i] += s * area * diffusion;
    p.frictionCoefficient[i] = static_cast<float>(p.frictionCoefficient[i] + weight * area * diffusion);
    p.enthalpySource[i] = static_cast<float>(se * area * diffusion);
    p.enthalpyRelaxation[i] = static_cast<float>(we * area * diffusion);
  }
}

}  // namespace

void SW_ComputeLateralForces(const SW_MeshCore& mesh, const SW_FlowParameters& par,
                             const SW_FlowFields& fields, const SW_FlowGrid& grid,
                             SW_FlowParticles& p, int32_t first, int32_t end, double dt)
{
  const bool held = !p.flags.IsEmpty();
  if (par.sphMode == 0) {
    const double phi = kPi * par.internalFrictionAngle / 180.0;
    const double cos2 = std::cos(phi) * std::cos(phi), tan2 = std::tan(phi) * std::tan(phi);
    for (int32_t i = first; i < end; ++i)
      if (!held || p.flags[i] == 0) MeshFieldForce(mesh, par, fields, p, i, dt, cos2, tan2);
    return;
  }
  const double r = SW_KernelRadius(par);
  const double k1 = 10 / (r * r * r * r * r * kPi) * -3;
  const SphKernel kernel{r, k1, k1 * -2};
  for (int32_t i = first; i < end; ++i)
    if (!held || p.flags[i] == 0) SphForce(par, grid, kernel, p, i);
}
