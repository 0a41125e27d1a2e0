// The attribute tree: the text form of class tables and similar keyed configuration.
//
//   obj.Mesh
//   <TAB>double.Scale:GetScale
//   <TAB><TAB>set:SetScale
//   <TAB><TAB>doc:A long text that goes on <backslash>
//   <TAB><TAB>   on the next line
//
// Each line is a node: a name, a colon and a value (split at the first ":"; a line without
// ":" is all name). A node's children follow it on lines indented with one more TAB. A
// backslash before the line end continues the value on the next line: the backslash and the
// line end stay in the value and the TABs that begin the continued line are dropped.
// LF and CRLF line ends are both accepted; a text without a final line end is read as if it
// had one; blank lines carry no node.
#pragma once

#include <cstdint>

#include "AK_Array.h"
#include "AK_String.h"

class AK_AttributeNode {
public:
  enum CommandKind { GetCommand, SetCommand, OprCommand };

  AK_String _name;
  AK_String _value;
  AK_Array<AK_AttributeNode*> _children;  // in text order

  AK_AttributeNode() = default;
  AK_AttributeNode(const char* name, const char* value) : _name(name), _value(value) {}
  // Parses a tree from text. One leading line end is skipped; the first line is this node,
  // the lines indented with depth + 1 TABs below it are its children. At depth 0 a given
  // extra node (a base class's table) becomes the last child; it is linked, not owned.
  AK_AttributeNode(const char* text, AK_AttributeNode* extra, int depth);
  AK_AttributeNode(const AK_AttributeNode&) = delete;
  AK_AttributeNode& operator=(const AK_AttributeNode&) = delete;
  // Deletes the owned children (not the linked ones).
  ~AK_AttributeNode();

  // Appends a child that this node owns and deletes.
  void AppendChild(AK_AttributeNode* child);
  // Appends a child owned elsewhere (a shared table); this node never deletes it.
  void AppendLink(AK_AttributeNode* child);
  // Removes every child, deleting the owned ones.
  void ClearChildren();
  bool IsLinked(const AK_AttributeNode* child) const;

  int32_t Count() const { return _children.Count(); }
  AK_AttributeNode* Child(int32_t i) const { return _children[i]; }
  AK_AttributeNode* LastChild() const { return _children.Count() ? _children.Last() : nullptr; }

  // The first direct child named exactly `name`, or null.
  AK_AttributeNode* FindChild(const char* name) const;
  static AK_AttributeNode* FindChild(const AK_AttributeNode* node, const char* name);

  // Value of the child "set", or null when there is no such child.
  const AK_String* SetId() const;

  // The first node, depth first from this one, with a child "set" whose value is `setId`.
  AK_AttributeNode* FindBySetValue(const char* setId);

  // The nodes from this one down to the first node, depth first, that carries the identifier:
  // as its value (GetCommand), as the value of its "set" child (SetCommand), or as the label
  // of an "opr." name (OprCommand). Appends them to `path`; false (nothing appended) when
  // no node carries it.
  bool FindCommandPath(const char* identifier, CommandKind kind,
                       AK_Array<AK_AttributeNode*>& path);

  // For the path to a set identifier: the second dotted component of the last node on the path
  // whose first dotted component is "obj" (the class that handles the command); "" when none.
  AK_String ResolveSetCommand(const char* setId);

  // Appends this node and, following the last child while its name begins with "obj.", every
  // base class table below it.
  void CollectObjChain(AK_Array<AK_AttributeNode*>& chain);

  // Walks this node and its descendants, not below a node whose type name (second dotted
  // component) is "Object"; every node whose kind (first dotted component) equals `kind` and
  // whose value is not "" adds its value.
  void CollectValues(const char* kind, AK_Array<AK_String>& values) const;

private:
  AK_Array<AK_AttributeNode*> _links;  // children owned elsewhere
};
