// AK_VisibleObject: display attributes, the render state of the drawing pass and contrast
// colours. The texture part is in AK_VisibleObject_Texture.cpp.
#include "AK_VisibleObject.h"

#include <cmath>

float AK_BackgroundColor[3] = {0, 0, 0};
int32_t AK_VisibleObject::EnabledDisplayLists = 0;

void AK_ContrastColor(const float color[3], float out[3])
{
  for (int i = 0; i < 3; ++i) {
    double c = color[i];
    // Defined for every float: a channel outside 0..1 (or no number) still gives a corner.
    double t = c >= 1 ? 1 : c > 0 ? std::trunc(1.999 * c) : 0;
    out[i] = static_cast<float>(1.0 - t);
  }
}

void SetContrastColor(const float color[3])
{
  float c[3];
  AK_ContrastColor(color, c);
  glColor3f(c[0], c[1], c[2]);
}

AK_VisibleObject::AK_VisibleObject(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

AK_VisibleObject::~AK_VisibleObject() { DestroyMembers(); }

void AK_VisibleObject::DestroyMembers()
{
  DeleteTexture();
  _boundingBoxText = "";
  TextureTiles = "";
  TextureFileName = "";
}

void AK_VisibleObject::DeclareAttributes(AK_AttributeTableOf<AK_VisibleObject>& t)
{
  using V = AK_VisibleObject;
  t.Switch("Visibility", &V::Visibility);
  t.Switch("AutoColored", &V::AutoColored);
  t.Vis("VisColor", [](V& o) { return o.AutoColored ? "-" : "w"; });
  t.Vector("Color", &V::Color).Range(0, 1);
  t.Float("PointSize", &V::PointSize).Range(0, HUGE_VAL);
  t.Float("LineWidth", &V::LineWidth).Range(0, HUGE_VAL);
  t.Switch("AntialiasPoints", &V::AntialiasPoints);
  t.Switch("AntialiasLines", &V::AntialiasLines);
  t.Switch("PolygonsFilled", &V::PolygonsFilled);
  t.Switch("Shaded", &V::Shaded);
  t.Switch("Blending", &V::Blending);
  t.Float("Opacity", &V::Opacity).Range(0, 1);
  t.Vis("VisOpacity", [](V& o) { return o.Blending ? "w" : "-"; });
  t.Switch("PolygonOffsetFill", &V::PolygonOffsetFill);
  t.Switch("PolygonOffsetLine", &V::PolygonOffsetLine);
  t.Vector("PolygonOffsetFactors", &V::PolygonOffsetFactors);
  t.Answer("BoundingBox", [](V& o) { return AK_String(o._boundingBoxText); });
  t.Attribute(
      "EnabledDisplayLists", [](V&) { return AK_String(EnabledDisplayLists); },
      [](V&, const char* v) { AK_ReadWholeNumber("EnabledDisplayLists", v, EnabledDisplayLists); });

  t.Attribute(
      "TextureFileName", [](V& o) { return AK_String(o.TextureFileName); },
      [](V& o, const char* v) { o.SetTextureFileName(v); });
  t.Switch("Textured", &V::Textured);
  t.Vector("TextureParametersS", &V::TextureParametersS);
  t.Vector("TextureParametersT", &V::TextureParametersT);
  t.Attribute(
      "TextureRepeat", [](V& o) { return AK_String(o.TextureRepeat); },
      [](V& o, const char* v) { o.SetTextureRepeat(v); });
  t.Int("TextureMaxSize", &V::TextureMaxSize);
  t.Vector("TexturePosX0", &V::TexturePosX0);
  t.Vector("TexturePosX1", &V::TexturePosX1);
  t.Vector("TexturePosX2", &V::TexturePosX2);
  t.Vector("TextureWorldPosX0", &V::TextureWorldPosX0);
  t.Vector("TextureWorldPosX1", &V::TextureWorldPosX1);
  t.Vector("TextureWorldPosX2", &V::TextureWorldPosX2);
  t.Text("TextureTiles", &V::TextureTiles);
  t.Int("JpgQuality", &V::JpgQuality);
  t.Command("TextureFit", &V::TextureFit);
  t.Command("SaveTexPar", &V::SaveTexPar);
  t.Command("ApplyTextureReference", &V::ApplyTextureReference);
  t.Command("TextureTileAdd", &V::AddTextureTile);
  t.Command("TextureTilesLoad", &V::LoadTextureTiles);
}

int AK_VisibleObject::GetBoundingBox(float*, float*) { return 0; }

void AK_VisibleObject::BoundingBoxText()
{
  float min[3], max[3];
  if (!GetBoundingBox(min, max)) return;
  _boundingBoxText = "min:" + AK_String(min, 3) + ", max:" + AK_String(max, 3);
}

void AK_VisibleObject::ApplyColor(int contrast)
{
  if (contrast) SetContrastColor(Color);
  else if (AutoColored) SetContrastColor(AK_BackgroundColor);
  else glColor3f(Color[0], Color[1], Color[2]);
}

// --- the drawing pass ---

void AK_VisibleObject::Update()
{
  if (BeginDrawing()) Draw();
}

bool AK_VisibleObject::BeginDrawing()
{
  if (!IsActive() || !Visibility) return false;
  AK_OperationScope scope;
  AK_Object::Update();
  // A script or a component may have deleted this object.
  if (IsDead()) return false;
  ApplyRenderState();
  return true;
}

namespace {
void Switch(GLenum capability, bool on)
{
  if (on) glEnable(capability);
  else glDisable(capability);
}
}  // namespace

void AK_VisibleObject::ApplyRenderState()
{
  float alpha = 1.0f;
  if (Blending) {
    glDepthMask(0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    alpha = Opacity;
  } else {
    glDepthMask(1);
    glDisable(GL_BLEND);
  }
  float rgb[3] = {Color[0], Color[1], Color[2]};
  if (AutoColored) AK_ContrastColor(AK_BackgroundColor, rgb);
  glColor4f(rgb[0], rgb[1], rgb[2], alpha);

  Switch(GL_POINT_SMOOTH, AntialiasPoints);
  Switch(GL_LINE_SMOOTH, AntialiasLines);
  glPointSize(PointSize);
  glLineWidth(LineWidth);
  glPolygonMode(GL_FRONT_AND_BACK, PolygonsFilled ? GL_FILL : GL_LINE);
  const float factor = static_cast<float>(PolygonOffsetFactors[0]);
  const float units = static_cast<float>(PolygonOffsetFactors[1]);
  Switch(GL_POLYGON_OFFSET_FILL, PolygonOffsetFill);
  if (PolygonOffsetFill) glPolygonOffset(factor, units);
  Switch(GL_POLYGON_OFFSET_LINE, PolygonOffsetLine);
  if (PolygonOffsetLine) glPolygonOffset(factor, units);
  Switch(GL_LIGHTING, Shaded);
  ApplyTextureState();
}
