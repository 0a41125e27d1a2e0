// AK_VisibleObject: the base class of everything that can be drawn.
//
// It adds to AK_Object the display attributes (visibility, colour, point size, line width,
// smoothing, polygon fill, shading, blending, polygon offset), the texture attributes and
// commands, a bounding box that derived classes fill in, and a drawing pass that puts the
// object's render state into force through the graphics operation table.
//
// How a derived class draws: it overrides Draw(), never Update(). The drawing pass is
//
//   Update()   stops at once for an inactive or invisible object; draws the owned
//              components (AK_Object::Update); sets the render state of this object;
//              places the object (AK_VisObj2d: screen units; AK_VisObj3d: the model
//              transformation, once per copy and once for the object itself); and calls
//   Draw()     which emits the object's own primitives under the matrices and the state in
//              force. AK_VisObj3d calls it once per rotated copy or clone (DrawingCopy()
//              tells which) and then for the object itself.
//
// A derived class with geometry overrides GetBoundingBox (and, when it derives from
// AK_VisObj3d, widens its own box with ExtendBoundingBox).
//
// Texture: an image file (PPM) draped over the geometry by two object-linear planes;
// loading is lazy (the first drawing pass with "Textured" on loads it). See
// AK_VisibleObject_Texture.cpp.
#pragma once

#include <cstdint>

#include "AK_ClassHelper.h"
#include "AK_GLFunctionTable.h"

// The background colour of the drawing (red, green, blue); automatic colours contrast with
// it. Black at start.
extern float AK_BackgroundColor[3];

// Sets the current colour (glColor3f) to the contrast of the given colour: per channel 1
// below about one half, else 0, so always one of the eight corners of the colour cube.
void SetContrastColor(const float color[3]);
// The contrast colour itself.
void AK_ContrastColor(const float color[3], float out[3]);

class AK_VisibleObject : public AK_Class<AK_VisibleObject> {
public:
  static constexpr const char* kClassName = "AK_VisibleObject";
  AK_VisibleObject(const char* id, AK_Object* parent);
  ~AK_VisibleObject() override;
  static void DeclareAttributes(AK_AttributeTableOf<AK_VisibleObject>& t);

  // The drawing pass (see the head of this file). Derived classes override Draw instead.
  void Update() override;
  // Emits the object's own primitives; the default draws nothing.
  virtual void Draw() {}

  // The box of the object's geometry: 1 with both corners written, 0 (nothing written) when
  // the object has no box. The default has none.
  virtual int GetBoundingBox(float min[3], float max[3]);

  // Colour for outlines and markers: with contrast nonzero the contrast of the own colour;
  // otherwise, with "AutoColored", the contrast of the background; else the own colour.
  void ApplyColor(int contrast);
  // Composes the "BoundingBox" text from GetBoundingBox; unchanged when there is no box.
  void BoundingBoxText();
  const AK_String& BoundingBoxString() const { return _boundingBoxText; }

  // --- texture ---
  // Stores the name and drops a loaded texture; a name that is not empty turns texturing on.
  void SetTextureFileName(const char* name);
  void SetTextureRepeat(const char* value);
  // 0 when the texture was loaded, else nonzero (texturing is then off, the name stays).
  int LoadTexture();
  bool TextureLoaded() const { return _textureName != 0; }
  // The planes from the bounding box (the box maps onto the unit square of the texture).
  void TextureFit();
  // The planes re-solved so that the texture content at the texture reference points comes
  // to lie at the world reference points.
  void ApplyTextureReference();
  // Writes the planes into the texture parameter file beside the image.
  void SaveTexPar();
  void AddTextureTile(const char* name);
  // Composes the geo-referenced tiles of "TextureTiles" into one image at the path, with
  // its world file, and makes it the texture. Failures leave AK_ErrorText.
  void LoadTextureTiles(const char* path);
  // The path of the texture parameter file ("TextureFileName" with the extension "texpar").
  AK_String TextureParameterPath() const;

  // Releases what the visible-object part holds (a loaded texture, the texts). The
  // destructor runs it; running it again is harmless.
  void DestroyMembers();

  // Display lists for all visible objects: when 0, drawing code makes none and deletes the
  // ones it has.
  static int32_t EnabledDisplayLists;

  // --- display attributes, read by the drawing code of derived classes ---
  int32_t Visibility = 1;
  int32_t AutoColored = 0;
  float Color[3] = {0.5f, 0.5f, 0.5f};
  float PointSize = 1.0f;
  float LineWidth = 1.0f;
  int32_t AntialiasPoints = 0;
  int32_t AntialiasLines = 0;
  int32_t PolygonsFilled = 0;
  int32_t Shaded = 0;
  int32_t Blending = 0;
  float Opacity = 0.5f;
  int32_t Textured = 0;
  AK_String TextureFileName;
  float TextureParametersS[4] = {1, 0, 0, 0};
  float TextureParametersT[4] = {0, 1, 0, 0};
  int32_t TextureRepeat = 0;
  int32_t JpgQuality = 25;
  AK_String TextureTiles;
  double TexturePosX0[2] = {0, 0};
  double TexturePosX1[2] = {0, 1};
  double TexturePosX2[2] = {1, 0};
  double TextureWorldPosX0[2] = {0, 0};
  double TextureWorldPosX1[2] = {0, 1};
  double TextureWorldPosX2[2] = {1, 0};
  int32_t TextureMaxSize = 8192;
  int32_t PolygonOffsetFill = 0;
  int32_t PolygonOffsetLine = 0;
  double PolygonOffsetFactors[2] = {1.0, 1.0};

protected:
  // The first steps of every drawing pass: false for an inactive or invisible object (or
  // one that its components' update deleted); otherwise the components are drawn and this
  // object's render state is in force.
  bool BeginDrawing();
  void ApplyRenderState();
  void ApplyTextureState();
  void DeleteTexture();

private:
  GLuint _textureName = 0;
  AK_String _boundingBoxText;
};
