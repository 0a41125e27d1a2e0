#include "SW_SoftSphereSim2D.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "AK_NumberText.h"
#include "AK_Text2d.h"

SW_SoftSphereSim2D::SW_SoftSphereSim2D(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  AutoColored = 1;
  Shaded = 0;
  RunClassDefaults();
}

void SW_SoftSphereSim2D::DeclareAttributes(AK_AttributeTableOf<SW_SoftSphereSim2D>& t)
{
  using S = SW_SoftSphereSim2D;
  t.Double("ParticleDiameter", &S::ParticleDiameter).Range(DBL_MIN, HUGE_VAL);
  t.Double("ParticleDensity", &S::ParticleDensity);
  t.Double("SpringConstant", &S::SpringConstant);
  t.Double("DampingFactor", &S::DampingFactor);
  t.Double("Mue", &S::Mue);
  t.Attribute(
      "Acceleration", [](S& o) { return AK_String(o.Acceleration, 2); },
      [](S& o, const char* v) { ParseDoublePairList(AK_String(v), o.Acceleration); });
  t.Int("Nx", &S::Nx).Range(3, 100000);
  t.Int("Ny", &S::Ny).Range(2, 100000);
  t.Double("EndTime", &S::EndTime);
  t.Double("DeltaT", &S::DeltaT).Range(DBL_MIN, HUGE_VAL);
  t.Double("OutputDeltaT", &S::OutputDeltaT);
  t.Answer("CollTime", [](S& o) {
    return AK_FormatDouble(SW_SoftSphereCollisionTime(o.Parameters()));
  });
  t.Answer("RestCoeff", [](S& o) {
    const SW_SoftSphereParameters p = o.Parameters();
    // The time as its text reads; a time that is no number stays one, so an overdamped
    // contact reads no restitution rather than a perfect bounce.
    const double exact = SW_SoftSphereCollisionTime(p);
    const double tc = std::isfinite(exact) ? AK_ThroughText(exact, 15) : exact;
    return AK_FormatDouble(SW_SoftSphereRestitution(p, tc));
  });
  t.Command("Run", &S::Run);
  t.Command("Continue", &S::Continue);
}

SW_SoftSphereParameters SW_SoftSphereSim2D::Parameters() const
{
  SW_SoftSphereParameters p;
  p.diameter = ParticleDiameter;
  p.density = ParticleDensity;
  p.spring = SpringConstant;
  p.damping = DampingFactor;
  p.mue = Mue;
  p.gravity[0] = Acceleration[0];
  p.gravity[1] = Acceleration[1];
  p.nx = Nx;
  p.ny = Ny;
  p.deltaT = DeltaT;
  return p;
}

bool SW_SoftSphereSim2D::Prepare(bool place)
{
  const SW_SoftSphereParameters p = Parameters();
  if (p.Count() > kMaxParticles) {
    AK_ErrorText = AK_String::Format("too many particles: Nx x Ny is %lld, at most %lld",
                                     static_cast<long long>(p.Count()),
                                     static_cast<long long>(kMaxParticles));
    return false;
  }
  _chute.p = p;
  if (place || !_chute.Placed()) _chute.Reset();
  return true;
}

void SW_SoftSphereSim2D::Run()
{
  if (Prepare(true)) RunLoop();
}

void SW_SoftSphereSim2D::Continue()
{
  if (Prepare(false)) RunLoop();
}

void SW_SoftSphereSim2D::RunLoop()
{
  _running = true;
  _chute.BeginRun();
  SW_SoftSphereOutputs outputs(OutputDeltaT, DeltaT);
  bool stop = AK_PollInterrupt() != 0;
  for (int64_t step = 0; !stop && EndTime - DeltaT * 0.5 > step * DeltaT; ++step) {
    if (outputs.Due(step)) {
      AK_MESSAGE(AK_String::Format("%g", step * DeltaT));
      // Asks the viewer to redraw; what answers is up to the project.
      GetRoot()->Set("Draw", "");
      if (IsDead()) return;
    }
    _chute.Step();
    stop = AK_PollInterrupt() != 0;
  }
  _chute.EndRun();
  _running = false;
}

void SW_SoftSphereSim2D::Draw()
{
  // During a run the particles stay as the run has them, whatever the attributes say now.
  if (!_running && !Prepare(false)) return;
  const SW_SoftSphereParameters& p = _chute.p;
  const double d = p.diameter, width = p.Width();
  const double s = 1 / std::max(width, 1.5 * p.ny * d);
  const float top = static_cast<float>(1.5 * p.ny * d * s);
  glBegin(GL_LINE_STRIP);
  glVertex2f(0, 0);
  glVertex2f(static_cast<float>(width * s), 0);
  glVertex2f(static_cast<float>(width * s), top);
  glVertex2f(0, top);
  glVertex2f(0, 0);
  glEnd();

  const size_t n = _chute.position.size();
  for (size_t i = 0; i < n; ++i) {
    if (i % 10 == 0) glColor3f(1, 0, 0);
    else if (i % 10 == 1) glColor3f(0, 0, 0);
    const float cx = static_cast<float>(s * _chute.position[i].x);
    const float cy = static_cast<float>(s * _chute.position[i].y);
    glBegin(GL_POLYGON);
    glVertex2f(cx, cy);
    for (int j = 0; j <= 8; ++j) {
      const double angle = _chute.theta[i] + j * 0.7853981633974483;
      glVertex2f(static_cast<float>(cx + s * d / 2 * std::cos(angle)),
                 static_cast<float>(cy + s * d / 2 * std::sin(angle)));
    }
    glVertex2f(cx, cy);
    glEnd();
  }

  glBegin(GL_LINES);
  glVertex2f(0.5f, 0);
  glVertex2f(0.5f, 1);
  glVertex2f(0.75f, 0);
  glVertex2f(0.75f, 1);
  glEnd();
  DrawProfiles();
  DrawLabels();
}

namespace {
// The mean x velocity and the mean angular velocity of the moving particles.
void MovingMeans(const SW_SoftSphereChute& chute, double& u, double& omega)
{
  u = omega = 0;
  for (size_t i = static_cast<size_t>(chute.p.nx); i < chute.position.size(); ++i) {
    u += chute.velocity[i].x;
    omega += chute.omega[i];
  }
  const double moving = static_cast<double>(chute.position.size()) - chute.p.nx + 0.001;
  u /= moving;
  omega /= moving;
}

template <class X>
void ProfileStrip(int32_t first, int32_t bins, X xOfBin)
{
  glBegin(GL_LINE_STRIP);
  for (int32_t k = first; k < bins; ++k)
    glVertex2f(static_cast<float>(xOfBin(k)), static_cast<float>((k + 0.5) / (bins + 1)));
  glEnd();
}
}  // namespace

void SW_SoftSphereSim2D::DrawProfiles()
{
  const SW_SoftSphereChute& c = _chute;
  const SW_SoftSphereParameters& p = c.p;
  const double m = p.Mass(), n = static_cast<double>(c.position.size());
  const double steps = c.steps ? c.steps : 1;
  const int32_t nb = static_cast<int32_t>(c.binCount.size());
  double u, omega;
  MovingMeans(c, u, omega);
  const double packed = 2 * p.nx / std::sqrt(3.0);
  glColor3f(0, 0, 0);
  ProfileStrip(1, nb, [&](int32_t k) { return 0.5 + c.binCount[k] * 0.25 / packed / steps; });
  glColor3f(1, 0, 0);
  ProfileStrip(1, nb, [&](int32_t k) {
    return 0.5 + (c.binVelocity[k] / (c.binCount[k] + 0.001)) * 0.25 / (u + 0.001);
  });
  const double weight = std::fabs(p.gravity[1]) * m * n + 1e-30;
  glColor3f(0, 0, 1);
  ProfileStrip(0, nb, [&](int32_t k) { return 0.5 + c.binNormal[k] * 0.25 / weight / steps; });
  const double drive = std::fabs(p.gravity[0]) < 0.01 ? m * 0.01 * n : std::fabs(p.gravity[0]) * m * n;
  glColor3f(0, 1, 0);
  ProfileStrip(0, nb, [&](int32_t k) { return 0.5 - c.binShear[k] * 0.25 / drive / steps; });
}

void SW_SoftSphereSim2D::DrawLabels()
{
  const SW_SoftSphereChute& c = _chute;
  const SW_SoftSphereParameters& p = c.p;
  const double m = p.Mass(), d = p.diameter, n = static_cast<double>(c.position.size());
  double u, omega;
  MovingMeans(c, u, omega);
  const double bed = d * d * p.nx;
  const struct {
    const char* text;
    double value;
    const char* color;  // none: unchanged
    float y;
  } labels[] = {
      {"den = ", 2 * m / (std::sqrt(3.0) * d * d * d), "0 0 0", 0.05f},
      {"U = ", u, "1 0 0", 0.1f},
      {"Omega = ", omega, nullptr, 0.125f},
      {"p_b = ", std::fabs(p.gravity[1]) * m * n / bed, "0 0 1", 0.15f},
      {"tau_b = ", std::fabs(p.gravity[0]) * m * n / bed, "0 1 0", 0.2f},
      {"mue_eff = ", std::fabs(c.binShear[0] / c.binNormal[0]), "0 0.5 0", 0.25f},
  };
  AK_Text2d* label = new AK_Text2d("x", this);
  for (const auto& l : labels) {
    label->Text = AK_String(l.text) + AK_String::Format("%.15g", l.value);
    if (l.color) ParseFloatTripleList(AK_String(l.color), label->Color);
    label->Position[0] = 0.75f;
    label->Position[1] = l.y;
    label->Update();
  }
  AK_Object::Destroy(label);
}
