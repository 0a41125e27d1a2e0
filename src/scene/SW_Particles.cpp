#include "SW_Particles.h"

#include <sstream>
#include <utility>

#include "AK_Random.h"
#include "AK_Record.h"
#include "SW_FieldMath.h"
#include "SW_FieldSupport.h"
#include "SW_Mesh.h"
#include "SW_ScalarField.h"
#include "SW_VectorField.h"

SW_Particles::SW_Particles(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  _position = new SW_Mesh("Position", nullptr);
  _mass = new SW_ScalarField("Mass", nullptr);
  _velocity = new SW_VectorField("Velocity", nullptr);
  _enthalpy = new SW_ScalarField("TotalEnthalpy", nullptr);
  _position->Set("AutoColored", "1");
  _mass->_onVertices = _velocity->_onVertices = _enthalpy->_onVertices = 1;
  _mass->SetActive(0);
  for (AK_Object* field : {static_cast<AK_Object*>(_mass), static_cast<AK_Object*>(_enthalpy)}) {
    field->Set("Blending", "0");
    field->Set("Shaded", "0");
  }
  _enthalpy->Set("MinDisplayedValue", "-1e8");
  AddComponent(_position);
  AddComponent(_mass);
  AddComponent(_velocity);
  AddComponent(_enthalpy);
  RunClassDefaults();
}

void SW_Particles::DeclareAttributes(AK_AttributeTableOf<SW_Particles>& t)
{
  using P = SW_Particles;
  t.Answer("NumberOfParticles", [](P& p) { return AK_String(p._position->NumVertices()); });
  t.Answer("TotalParticlesMass", [](P& p) { return AK_FormatDouble(p.TotalMass()); });
  t.Answer("TotalParticlesKineticEnergy",
           [](P& p) { return AK_FormatDouble(p.TotalKineticEnergy()); });
}

AK_Array<AK_Vec3>& SW_Particles::Positions() const { return _position->Vertices(); }
AK_Array<float>& SW_Particles::Masses() const { return _mass->_values; }
AK_Array<AK_Vec3>& SW_Particles::Velocities() const { return _velocity->_vectors; }
AK_Array<float>& SW_Particles::Enthalpies() const { return _enthalpy->_values; }

void SW_Particles::BindFields()
{
  _mass->SetMesh(_position);
  _velocity->SetMesh(_position);
  _enthalpy->SetMesh(_position);
}

AK_String SW_Particles::Generate(const AK_Array<float>& depth, const AK_Array<AK_Vec3>& velocity,
                                 const AK_Array<float>& enthalpy, const AK_Array<unsigned char>& flags,
                                 float density, float massPerParticle)
{
  if (!_mesh || !(massPerParticle > 0)) return "";
  const int32_t nc = _mesh->NumCells();
  if (depth.Size() != nc || velocity.Size() != nc || enthalpy.Size() != nc ||
      (flags.Size() != 0 && flags.Size() != nc))
    return "";
  AK_Array<int32_t> counts;
  AK_SeedRandom(942);
  const int64_t total = SW_CountParticles(_mesh->Core(), depth._elems, density, massPerParticle, counts);
  if (total < 0) {
    AK_MESSAGE("WARNING:too many particles: the mass per particle is too small for the release");
    return "";
  }
  if (total == 0) return "";
  const int32_t n = static_cast<int32_t>(total);
  AK_MESSAGE(("generating " + AK_String(n) + " particles...").c_str());

  // Made apart and taken over whole: a release too large for the memory leaves the set as
  // it was.
  SW_ParticleStore made;
  if (!made.Reserve(n) || (flags.Size() && !made.flags.TryReserve(n)))
    return AK_String::Format("not enough memory for %d particles", n);

  AK_SeedRandom(1);
  int32_t flagged = 0;
  double totalMass = 0;
  for (int32_t c = 0; c < nc; ++c) {
    const int32_t k = counts[c];
    if (k <= 0) continue;
    const double a = _mesh->CellAreaVector(c).Length();
    const double cellMass = static_cast<double>(depth[c]) * a * density;
    const double internal = enthalpy[c];
    const float mass = static_cast<float>(cellMass / k);
    for (int32_t i = 0; i < k; ++i) {
      const AK_Vec3 x = _mesh->RandomPointInCell(c);
      made.x.Append(x);
      made.cell.Append(c);
      made.m.Append(mass);
      made.v.Append(velocity[c]);
      made.H.Append(static_cast<float>(x.z * SW_GravityAcceleration + internal));
      if (flags.Size()) {
        made.flags.Append(flags[c]);
        flagged += flags[c] != 0;
      }
      totalMass += mass;
    }
  }
  _position->SetNumVertices(0);
  _cells.Clear();
  _flags.Clear();
  SwapStore(made);
  BindFields();
  AK_MESSAGE((AK_String(n) + " particles generated").c_str());
  std::ostringstream text;
  text << "total mass:" << totalMass << " kg";
  AK_MESSAGE(text.str().c_str());
  if (flags.Size()) AK_MESSAGE((AK_String(flagged) + " particles in secondary release areas").c_str());
  return "";
}

void SW_Particles::LendColumns()
{
  std::swap(Positions(), _store.x);
  std::swap(Velocities(), _store.v);
  std::swap(Masses(), _store.m);
  std::swap(Enthalpies(), _store.H);
}

void SW_Particles::SwapStore(SW_ParticleStore& other)
{
  LendColumns();
  _store.Swap(other);
  LendColumns();
}

int SW_Particles::Add(const AK_Vec3& p, float mass, const AK_Vec3& velocity, float enthalpy,
                      unsigned char flag, int32_t hint)
{
  if (!_mesh) return 0;
  return WithStore([&](SW_ParticleStore& s) {
    return s.Add(_mesh->Core(), p, mass, velocity, enthalpy, flag, hint);
  });
}

int SW_Particles::Split(int32_t i, int n)
{
  if (!_mesh) return 0;
  return WithStore([&](SW_ParticleStore& s) { return s.Split(_mesh->Core(), i, n); });
}

void SW_Particles::RemoveBelow(double threshold)
{
  const int32_t removed = WithStore([&](SW_ParticleStore& s) { return s.RemoveBelow(threshold); });
  _position->MarkModified("touch");
  _mass->MarkModified("touch");
  _velocity->MarkModified("touch");
  if (removed) AK_MESSAGE((AK_String(removed) + " particles removed").c_str());
}

double SW_Particles::TotalMass() const { return SW_TotalMass(Masses()); }

double SW_Particles::TotalKineticEnergy() const
{
  const AK_Array<float>& m = Masses();
  const AK_Array<AK_Vec3>& v = Velocities();
  double sum = 0;
  for (int32_t i = 0; i < m.Size() && i < v.Size(); ++i) sum += v[i].Dot(v[i]) * (m[i] * 0.5);
  return sum;
}

void SW_Particles::Clear()
{
  _position->SetNumVertices(0);
  BindFields();
  _cells.Clear();
  _flags.Clear();
  _position->MarkModified("touch");
  _mass->MarkModified("touch");
  _velocity->MarkModified("touch");
}

void SW_Particles::Rebind()
{
  BindFields();
  const int32_t n = _position->NumVertices();
  _cells.Clear();
  _cells.Reserve(n);
  _cells.SetCount(n);
  for (int32_t& c : _cells) c = -1;
  // Flags that do not belong to these particles cannot be told apart any more.
  if (_flags.Size() != 0 && _flags.Size() != n) _flags.Clear();
  if (_mesh) {
    for (int32_t i = 0; i < n; ++i) _cells[i] = _mesh->FindCell(Positions()[i].x, Positions()[i].y, -1);
    RemoveBelow(0.0);
  }
  _position->MarkModified("touch");
  MarkModified("touch");
}

int SW_Particles::WriteRecord(AK_STREAM& stream)
{
  AK_RecordWriter w(stream, this, "SW_Particles", 0);
  w.Array(_flags);
  return w.Finish(__FILE__, __LINE__);
}

int SW_Particles::ReadRecord(AK_STREAM& stream)
{
  AK_RecordReader r(stream, this, "SW_Particles");
  if (r.Version(0) < 0) return r.Finish(__FILE__, __LINE__);
  AK_Array<unsigned char> flags;
  r.Array(flags, _position->NumVertices());
  // A set carries one flag per particle or none.
  if (flags.Size() != 0 && flags.Size() != _position->NumVertices()) stream.MarkFailed();
  return r.Finish(__FILE__, __LINE__, [&] { _flags = std::move(flags); });
}
