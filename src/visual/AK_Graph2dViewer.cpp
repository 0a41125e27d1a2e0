#include "AK_Graph2dViewer.h"

#include "AK_Colorbar.h"
#include "AK_Graph2d.h"
#include "AK_GraphTable.h"
#include "AK_NumberText.h"

AK_Graph2dViewer::AK_Graph2dViewer(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void AK_Graph2dViewer::DeclareAttributes(AK_AttributeTableOf<AK_Graph2dViewer>& t)
{
  using C = AK_Graph2dViewer;
  t.Vector("X0", &C::X0);
  t.Vector("Size", &C::Size);
  t.Int("NumRasterLines", &C::NumRasterLines);
  t.Command("Import", &C::Import);
}

AK_Object* AK_Graph2dViewer::CreateComponent(const char* id, const char* typeName)
{
  AK_String type(typeName ? typeName : "");
  return type == "Graph2d" ? new AK_Graph2d(id, this) : nullptr;
}

void AK_Graph2dViewer::Import(const char* path)
{
  AK_File file;
  AK_GraphTable table;
  if (!AK_OpenTextInput(file, path) || !AK_ReadGraphTable(file, table)) return;
  AK_String base = AK_String(path).BaseName();
  base.CutExtension();
  const AK_Array<AK_String>& names = table.names;
  const AK_Array<AK_String>& units = table.units;
  AK_String xLabel = names.IsEmpty() ? AK_String() : names[0];
  if (!units.IsEmpty()) xLabel += "[" + units[0] + "]";
  const int32_t n = table.columns;
  for (int32_t i = 1; i < n; ++i) {
    AK_String label = i < names.Count() ? names[i] : AK_String(i);
    if (i < units.Count()) label += "[" + units[i] + "]";
    AK_Graph2d* curve = new AK_Graph2d(base + "_" + label, this);
    AddComponent(curve);
    curve->SetNames(base, xLabel, label);
    ValueToColor(static_cast<float>(i) / static_cast<float>(n), curve->Color[0], curve->Color[1],
                 curve->Color[2]);
    curve->SetPoints(static_cast<AK_Array<AK_Vec2>&&>(table.curves[static_cast<size_t>(i - 1)]));
  }
}

void AK_Graph2dViewer::Update()
{
  if (!IsActive()) return;
  // The placement of a screen object, for the frame and the grid.
  AK_VisObj2d* screen = new AK_VisObj2d("dummy", this);
  screen->Update();
  AK_Object::Destroy(screen);

  const double x0 = X0[0], y0 = X0[1], x1 = X0[0] + Size[0], y1 = X0[1] + Size[1];
  auto frame = [&] {
    glBegin(GL_QUADS);
    glVertex2f(static_cast<float>(x0), static_cast<float>(y0));
    glVertex2f(static_cast<float>(x1), static_cast<float>(y0));
    glVertex2f(static_cast<float>(x1), static_cast<float>(y1));
    glVertex2f(static_cast<float>(x0), static_cast<float>(y1));
    glEnd();
  };
  glDisable(GL_DEPTH_TEST);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glColor3f(1, 1, 1);
  frame();
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glColor3f(0, 0, 0);
  frame();
  glBegin(GL_LINES);
  // More grid lines than the screen has pixels would show nothing more.
  const int32_t lines = NumRasterLines < AK_ScreenPixelWidth ? NumRasterLines : AK_ScreenPixelWidth;
  for (int32_t i = 1; i < lines; ++i) {
    const double y = y0 + i * Size[1] / lines, x = x0 + i * Size[0] / lines;
    glVertex2f(static_cast<float>(x0), static_cast<float>(y));
    glVertex2f(static_cast<float>(x1), static_cast<float>(y));
    glVertex2f(static_cast<float>(x), static_cast<float>(y0));
    glVertex2f(static_cast<float>(x), static_cast<float>(y1));
  }
  glEnd();

  // The labels stack down from the frame's top edge, 1.1 font heights each.
  double y = y1;
  for (int i = 0; i < ComponentCount(); ++i) {
    auto* curve = dynamic_cast<AK_Graph2d*>(Component(i));
    AK_Text2d* label = curve && curve->IsActive() ? curve->Label() : nullptr;
    if (!label) continue;
    y -= AK_Text2d::FontHeight(label->Font) * 1.1 / AK_ScreenPixelHeight;
    ParseFloatPairList(AK_String::Format("%.15g %.15g", x0, y), label->Position);
  }
  AK_Container::Update();
}
