// SW_PolylineSet: many polylines in one object, the lines of a whole line file (break
// lines, contour lines, digitised edges) shown, picked from, projected onto a mesh and
// written out together without one object per line.
//
// Each member has a name, points, an attribute text and a selection flag; only selected
// members are drawn and exported. Members can be turned into ordinary polylines of the
// parent "Polylines" container. The record "SW_PolylineSet:v0" keeps the members' points,
// names and flags (not their attribute texts).
#pragma once

#include <cstdint>

#include "AK_VisObj3d.h"

class SW_PolylineSet : public AK_Class<SW_PolylineSet, AK_VisObj3d> {
public:
  static constexpr const char* kClassName = "SW_PolylineSet";
  SW_PolylineSet(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_PolylineSet>& t);

  void Draw() override;
  int SaveData(AK_STREAM& stream) override;
  // A record that fails leaves the set as it was.
  int LoadData(AK_STREAM& stream) override;
  int GetBoundingBox(float min[3], float max[3]) override;

  int32_t Count() const { return _members.Count(); }
  const AK_NamedPolyline& Member(int32_t i) const { return _members[i]; }
  const AK_String& Name(int32_t i) const { return _names[i]; }
  bool IsSelected(int32_t i) const { return _selected[i] != 0; }
  // Appends a selected member.
  void AddMember(const AK_NamedPolyline& line, const char* name);

  // Reads the lines of a "nxyz", DXF or "ano" file into new selected members, then asks
  // the top object to "Autofit".
  void Import(const char* fileName);
  // Writes the selected members as "nxyz" or DXF; another extension writes nothing.
  void Export(const char* fileName);
  // Drapes every member onto the mesh at the path.
  void ProjectOnto(const char* meshPath);
  // A member name or "all".
  void Select(const char* name);
  void DeSelect(const char* name);
  // Removes the selected members and selects the rest.
  void DeleteSelected();
  // Each selected member becomes a polyline of the parent "Polylines" container.
  void ExtractSelected();
  // The points and Annotations of the polyline at the path become a new member named after
  // it ("x" appended while the name is taken).
  void Add(const char* path);
  // The box over all points of all members; unchanged while there are none.
  void UpdateBoundingBox();

  AK_String MemberList(bool selected) const;

private:
  // The new member's name: `wanted`, or prefix and the new member count when it is empty;
  // "_" and that count appended once when another member bears it.
  AK_String UniqueName(const AK_String& wanted, const char* prefix) const;
  int32_t IndexOf(const char* name) const;
  void SetSelection(const char* name, unsigned char flag);
  void ImportAno(const char* fileName);

  int32_t _displayLabels = 0;
  AK_String _labelFont = "TIMES_ROMAN_10";
  AK_String _baseMeshName;
  AK_Array<AK_NamedPolyline> _members;
  AK_Array<AK_String> _names;
  AK_Array<unsigned char> _selected;
  double _boxMin[3] = {0, 0, 0};
  double _boxMax[3] = {0, 0, 0};
};
