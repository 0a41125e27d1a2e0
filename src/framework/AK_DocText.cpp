#include "AK_DocText.h"

#include "AK_ClassTable.h"
#include "AK_FrameworkState.h"
#include "AK_Object.h"

namespace {

void ReplaceEverywhere(AK_String& text, const char* from, const char* to)
{
  while (text.ReplaceFirst(from, to)) {
  }
}

AK_String Documentation(AK_AttributeNode* node)
{
  AK_AttributeNode* doc = AK_NodeFindChild(node, "doc");
  if (!doc) return AK_String(AK_Text("No documentation available.", "Keine Dokumentation verfuegbar."));
  AK_String text(AK_NodeValue(doc));
  if (!(AK_Language.text == "default")) {
    AK_AttributeNode* translated = AK_NodeFindChild(doc, AK_Language.text);
    if (translated) text = AK_NodeValue(translated);
  }
  text.ReplaceAll("\\", "");
  ReplaceEverywhere(text, "  ", " ");
  ReplaceEverywhere(text, "\n ", "\n");
  return text;
}

}  // namespace

AK_String AK_GetAttributeDocText(AK_AttributeNode* node)
{
  if (!node) return AK_String();
  AK_String text = Documentation(node);
  const char* setId = AK_NodeSetId(node);
  AK_String value(AK_NodeValue(node));
  AK_String setNote = setId ? AK_String(" \n(set-ID:") + setId + ")" : AK_String();
  AK_String getNote = AK_String(" \n(get-ID:") + value + ")";
  if (!setId && !value.IsEmpty()) {
    text += AK_Text(" \nThis attribute cannot be edited.", " \nDieses Attribut kann nicht editiert werden.");
    text += getNote;
  } else if (!setId) {
    if (AK_NodeNamePart(node, 0) == "opr")
      text += AK_Text(" \n(This label comprises of a group of attributes or opertions.)",
                      " \n(Dieser Titel fasst eine Gruppe von Attributen oder Operationen zusammen.)");
  } else if (value.IsEmpty()) {
    text += AK_Text(" \nThis is an operation on the object.", " \nDies ist eine Operation auf dem Objekt.");
    text += setNote;
  } else {
    text += AK_NodeFindChild(node, "volatile")
                ? AK_Text(" \nThis attribute is NOT saved with the object.",
                          " \nDieses Attribut wird NICHT mit dem Objekt gespeichert.")
                : AK_Text(" \nThis attribute is saved with the object.",
                          " \nDieses Attribut wird mit dem Objekt gespeichert.");
    text += setNote;
    text += getNote;
  }
  return text;
}

AK_String AK_GetClassDocText(AK_Object* object)
{
  return object ? AK_GetAttributeDocText(object->GetClassInfo()) : AK_String();
}
