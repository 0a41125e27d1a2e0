// Reading class tables: small accessors over the attribute-tree nodes of a class table,
// so the framework's walks read the same way everywhere.
#pragma once

#include "AK_Basic.h"

class AK_AttributeNode;

const char* AK_NodeName(const AK_AttributeNode* node);
const char* AK_NodeValue(const AK_AttributeNode* node);
int AK_NodeChildCount(const AK_AttributeNode* node);
AK_AttributeNode* AK_NodeChild(const AK_AttributeNode* node, int i);
AK_AttributeNode* AK_NodeLastChild(const AK_AttributeNode* node);
// The first direct child of exactly that name, or none.
AK_AttributeNode* AK_NodeFindChild(const AK_AttributeNode* node, const char* name);
// The n-th "."-separated component of the node's name (0: the kind, 1: the label part).
AK_String AK_NodeNamePart(const AK_AttributeNode* node, int n);
// True when the node's name has a "." (a kind and a label).
bool AK_NodeHasKind(const AK_AttributeNode* node);
// True for a class node: first component "obj".
bool AK_NodeIsClass(const AK_AttributeNode* node);
// The value of the child "set", or none when the node has no such child.
const char* AK_NodeSetId(const AK_AttributeNode* node);

// Parses table text at depth 0 with the base table as the root's last child.
AK_AttributeNode* AK_ParseClassTable(const char* text, AK_AttributeNode* baseTable);

// The first node, depth first from the root, whose child "set" has the value.
AK_AttributeNode* AK_FindSetEntry(AK_AttributeNode* root, const char* setId);
// The path of nodes from the root to the first node (depth first) that carries the get
// (kind 'g': the node's value) or set (kind 's': the "set" child's value) identifier.
bool AK_FindCommandPath(AK_AttributeNode* root, const char* id, char kind,
                        AK_Array<AK_AttributeNode*>& path);
// Appends the non-empty values of the nodes of that kind below the node; a node whose type
// part is "Object" is not descended into.
void AK_CollectValues(const AK_AttributeNode* node, const char* kind, AK_Array<AK_String>& values);
