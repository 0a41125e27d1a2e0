// Source lines and their container.
#include "SW_SourceLine.h"

#include <cstring>

#include "AK_NumberText.h"

SW_SourceLine::SW_SourceLine(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  ParseFloatTripleList("0 1 0", Color);
  LineWidth = 2.0f;
  RunClassDefaults();
}

void SW_SourceLine::DeclareAttributes(AK_AttributeTableOf<SW_SourceLine>& t)
{
  // A point text with fewer than two numbers warns and keeps what did convert.
  t.Attribute(
      "StartPoint", [](SW_SourceLine& s) { return AK_String(s._start, 2); },
      [](SW_SourceLine& s, const char* v) { ParseDoublePairList(AK_String(v), s._start); });
  t.Attribute(
      "EndPoint", [](SW_SourceLine& s) { return AK_String(s._end, 2); },
      [](SW_SourceLine& s, const char* v) { ParseDoublePairList(AK_String(v), s._end); });
  t.Double("MassFlow", &SW_SourceLine::_massFlow);
}

void SW_SourceLine::Draw()
{
  const AK_Vec3& a = _mapping.start;
  const AK_Vec3& b = _mapping.end;
  glBegin(GL_LINES);
  glVertex3f(static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(a.z));
  glVertex3f(static_cast<float>(b.x), static_cast<float>(b.y), static_cast<float>(b.z));
  glEnd();
}

void SW_SourceLine::SetUpOnMesh(const SW_MeshCore& mesh)
{
  _mapping.SetUp(mesh, AK_Vec2{_start[0], _start[1]}, AK_Vec2{_end[0], _end[1]});
}

SW_SourceLines::SW_SourceLines(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void SW_SourceLines::DeclareAttributes(AK_AttributeTableOf<SW_SourceLines>& t)
{
  // The new line is made without a parent, so its class's default commands run before it
  // has one.
  t.Command("AddSourceLine", [](SW_SourceLines& c, const char* id) {
    c.AddComponent(new SW_SourceLine(id, nullptr));
  });
}

AK_Object* SW_SourceLines::CreateComponent(const char* id, const char* typeName)
{
  if (typeName && std::strcmp(typeName, "SourceLine") == 0) return new SW_SourceLine(id, this);
  return nullptr;
}

void SW_SourceLines::SetUpAllOnMesh(const SW_MeshCore& mesh)
{
  for (AK_Object* c : OwnedComponents())
    if (auto* line = dynamic_cast<SW_SourceLine*>(c)) line->SetUpOnMesh(mesh);
}
