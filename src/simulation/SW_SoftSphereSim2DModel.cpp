#include "SW_SoftSphereSim2DModel.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kPi = 3.141592653589793;
}

double SW_SoftSphereParameters::Mass() const
{
  return diameter * diameter * diameter * kPi / 6 * density;
}

double SW_SoftSphereParameters::Inertia() const
{
  return Mass() * 0.4 * 0.25 * diameter * diameter;
}

double SW_SoftSphereCollisionTime(const SW_SoftSphereParameters& p)
{
  const double m = p.Mass();
  const double decay = p.damping * 0.5 / m;
  return kPi / std::sqrt(p.spring / m - decay * decay);
}

double SW_SoftSphereRestitution(const SW_SoftSphereParameters& p, double collisionTime)
{
  return std::exp(-p.damping * 0.5 * collisionTime / p.Mass());
}

SW_SoftSphereOutputs::SW_SoftSphereOutputs(double outputDeltaT, double deltaT)
    : _stepsPerOutput(std::fabs(outputDeltaT) / deltaT)
{
}

int64_t SW_SoftSphereOutputs::StepOf(int64_t output) const
{
  if (output == 0) return 0;
  const double step = std::nearbyint(static_cast<double>(output) * _stepsPerOutput);
  return step < 9e18 ? static_cast<int64_t>(step) : INT64_MAX;
}

bool SW_SoftSphereOutputs::Due(int64_t step)
{
  if (!(_stepsPerOutput > 0) || step < StepOf(_output)) return false;
  // Several multiples within one step give one output.
  while (_output < INT64_MAX && StepOf(_output) <= step) ++_output;
  return true;
}

void SW_SoftSphereChute::ClearProfiles()
{
  steps = 0;
  const size_t nb = static_cast<size_t>(p.BinCount());
  binCount.assign(nb, 0);
  binVelocity.assign(nb, 0.0);
  binNormal.assign(nb, 0.0);
  binShear.assign(nb, 0.0);
}

void SW_SoftSphereChute::Reset()
{
  const size_t n = static_cast<size_t>(p.Count());
  const double d = p.diameter;
  position.resize(n);
  velocity.assign(n, AK_Vec2{});
  omega.assign(n, 0.0);
  theta.assign(n, 0.0);
  for (size_t i = 0; i < n; ++i) {
    const int32_t row = static_cast<int32_t>(i / p.nx), column = static_cast<int32_t>(i % p.nx);
    position[i].x = (column + 0.5) * d + (row % 2 ? d / 2 : 0);
    position[i].y = (row + 0.5) * d * (std::sqrt(3.0) * 0.5);
  }
  ClearProfiles();
}

bool SW_SoftSphereChute::CellOf(const AK_Vec2& at, int32_t& column, int32_t& row) const
{
  // Checked as doubles first: a position beyond the grid or not a number has no cell.
  const double c = 2 * at.x / p.diameter, r = 2 * at.y / p.diameter;
  if (!(c > -1 && c < 2.0 * p.nx && r > -1 && r < 3.0 * p.ny + 1)) return false;
  column = static_cast<int32_t>(c);
  row = static_cast<int32_t>(r);
  return true;
}

void SW_SoftSphereChute::Enter(int32_t i)
{
  int32_t column, row;
  if (CellOf(position[i], column, row))
    _buckets[static_cast<size_t>(column) + 2 * static_cast<size_t>(p.nx) * row] = i;
}

int32_t SW_SoftSphereChute::BinOf(double y) const
{
  const double b = y / p.diameter;
  return b > -1 && b < p.BinCount() ? static_cast<int32_t>(b) : -1;
}

void SW_SoftSphereChute::BeginRun()
{
  _buckets.assign((6 * static_cast<size_t>(p.ny) + 2) * p.nx, -1);
  force.assign(position.size(), AK_Vec2{});
  torque.assign(position.size(), 0.0);
  for (int32_t i = 0; i < static_cast<int32_t>(position.size()); ++i) Enter(i);
  ClearProfiles();
}

void SW_SoftSphereChute::EndRun()
{
  std::vector<int32_t>().swap(_buckets);
  std::vector<AK_Vec2>().swap(force);
  std::vector<double>().swap(torque);
}

void SW_SoftSphereChute::Step()
{
  ContactForces();
  Integrate();
  ++steps;
}

void SW_SoftSphereChute::AddToPlane(int32_t bin, double fx, double fy)
{
  if (bin < 0 || bin >= p.BinCount()) return;
  binNormal[bin] += fy;
  binShear[bin] += fx;
}

void SW_SoftSphereChute::ContactForces()
{
  const double d = p.diameter, m = p.Mass(), width = p.Width();
  const int32_t n = static_cast<int32_t>(position.size()), columns = 2 * p.nx;
  for (int32_t i = 0; i < n; ++i) {
    force[i] = {m * p.gravity[0], m * p.gravity[1]};
    torque[i] = 0;
  }
  for (int32_t i = 0; i < n; ++i) {
    int32_t ci, ri;
    if (!CellOf(position[i], ci, ri)) continue;
    const int32_t bi = ri / 2;
    for (int32_t c = ci - 2; c <= ci + 2; ++c) {
      // Periodic sides: a neighbour column across the border sees i shifted by a period.
      int32_t column = c;
      double xi = position[i].x;
      if (c < 0) {
        column += columns;
        xi += width;
      } else if (c >= columns) {
        column -= columns;
        xi -= width;
      }
      for (int32_t r = std::max(ri - 2, 0); r <= std::min(ri + 2, 3 * p.ny - 1); ++r) {
        const int32_t j = _buckets[static_cast<size_t>(column) + static_cast<size_t>(columns) * r];
        if (j <= i) continue;  // each pair once
        const double dx = position[j].x - xi, dy = position[j].y - position[i].y;
        const double dist = std::sqrt(dx * dx + dy * dy);
        // Coinciding centres have no direction to push along.
        if (!(dist < d) || dist == 0) continue;
        const AK_Vec2 nrm{dx / dist, dy / dist}, tan{nrm.y, -nrm.x};
        const AK_Vec2 dv{velocity[j].x - velocity[i].x, velocity[j].y - velocity[i].y};
        const double fn = p.spring * (d - dist) - p.damping * (nrm.x * dv.x + nrm.y * dv.y);
        const double slip = (omega[i] + omega[j]) * d / 2 + dv.x * tan.x + dv.y * tan.y;
        const double ft = slip < 0 ? p.mue * std::fabs(fn) : -p.mue * std::fabs(fn);
        const AK_Vec2 onJ{fn * nrm.x + ft * tan.x, fn * nrm.y + ft * tan.y};
        force[j].x += onJ.x;
        force[j].y += onJ.y;
        force[i].x -= onJ.x;
        force[i].y -= onJ.y;
        torque[i] -= ft * d / 2;
        torque[j] += ft * d / 2;
        // A contact across a bin plane: the force on the upper particle, at the lower bin.
        const int32_t bj = r / 2;
        if (bj > bi) AddToPlane(bi, onJ.x, onJ.y);
        else if (bj < bi) AddToPlane(bj, -onJ.x, -onJ.y);
      }
    }
  }
}

void SW_SoftSphereChute::Integrate()
{
  const double d = p.diameter, m = p.Mass(), inertia = p.Inertia(), dt = p.deltaT;
  const double width = p.Width(), lid = p.LidHeight();
  const int32_t n = static_cast<int32_t>(position.size());
  std::fill(_buckets.begin(), _buckets.end(), -1);
  for (int32_t i = 0; i < std::min(p.nx, n); ++i) Enter(i);
  for (int32_t i = p.nx; i < n; ++i) {
    AK_Vec2& x = position[i];
    AK_Vec2& v = velocity[i];
    const int32_t oldBin = BinOf(x.y);
    const AK_Vec2 oldV = v;
    v.x += dt * force[i].x / m;
    v.y += dt * force[i].y / m;
    x.x += dt * (oldV.x + v.x) / 2;
    x.y += dt * (oldV.y + v.y) / 2;
    if (x.x < 0) x.x += width;
    else if (x.x >= width) x.x -= width;
    if (x.y > lid) {
      x.y = lid;
      v.y = -v.y;
    } else if (x.y < d / 2) {
      x.y = d / 2;
      v.y = -v.y;
    }
    const double oldOmega = omega[i];
    omega[i] += dt * torque[i] / inertia;
    theta[i] += dt * (oldOmega + omega[i]) / 2;
    Enter(i);
    const int32_t bin = BinOf(x.y);
    if (bin < 0) continue;
    ++binCount[bin];
    binVelocity[bin] += v.x;
    // Momentum carried through a plane by the particle crossing it.
    if (oldBin < 0) continue;
    if (bin > oldBin) AddToPlane(oldBin, m * v.x / dt, m * v.y / dt);
    else if (bin < oldBin) AddToPlane(bin, -m * v.x / dt, -m * v.y / dt);
  }
}
