#include "AK_ClassTable.h"

#include <cstring>

#include "AK_Basic.h"

const char* AK_NodeName(const AK_AttributeNode* node) { return node ? node->_name.c_str() : ""; }

const char* AK_NodeValue(const AK_AttributeNode* node) { return node ? node->_value.c_str() : ""; }

int AK_NodeChildCount(const AK_AttributeNode* node) { return node ? node->Count() : 0; }

AK_AttributeNode* AK_NodeChild(const AK_AttributeNode* node, int i)
{
  return node && i >= 0 && i < node->Count() ? node->Child(i) : nullptr;
}

AK_AttributeNode* AK_NodeLastChild(const AK_AttributeNode* node)
{
  return node ? node->LastChild() : nullptr;
}

AK_AttributeNode* AK_NodeFindChild(const AK_AttributeNode* node, const char* name)
{
  return node && name ? node->FindChild(name) : nullptr;
}

AK_String AK_NodeNamePart(const AK_AttributeNode* node, int n)
{
  return node ? node->_name.DotComponent(n) : AK_String();
}

bool AK_NodeHasKind(const AK_AttributeNode* node)
{
  return node && std::strchr(node->_name.c_str(), '.') != nullptr;
}

bool AK_NodeIsClass(const AK_AttributeNode* node) { return AK_NodeNamePart(node, 0) == "obj"; }

const char* AK_NodeSetId(const AK_AttributeNode* node)
{
  const AK_String* id = node ? node->SetId() : nullptr;
  return id ? id->c_str() : nullptr;
}

AK_AttributeNode* AK_ParseClassTable(const char* text, AK_AttributeNode* baseTable)
{
  return new AK_AttributeNode(text, baseTable, 0);
}

AK_AttributeNode* AK_FindSetEntry(AK_AttributeNode* root, const char* setId)
{
  return root && setId ? root->FindBySetValue(setId) : nullptr;
}

bool AK_FindCommandPath(AK_AttributeNode* root, const char* id, char kind,
                        AK_Array<AK_AttributeNode*>& path)
{
  if (!root || !id) return false;
  AK_AttributeNode::CommandKind k = kind == 's'   ? AK_AttributeNode::SetCommand
                                    : kind == 'g' ? AK_AttributeNode::GetCommand
                                                  : AK_AttributeNode::OprCommand;
  return root->FindCommandPath(id, k, path);
}

void AK_CollectValues(const AK_AttributeNode* node, const char* kind, AK_Array<AK_String>& values)
{
  if (node && kind) node->CollectValues(kind, values);
}
