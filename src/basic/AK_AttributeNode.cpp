#include "AK_AttributeNode.h"

#include <cstring>
#include <vector>

namespace {

struct Line {
  int tabs;
  AK_String content;
};

bool IsBlank(const char* first, const char* last)
{
  for (const char* p = first; p < last; ++p)
    if (*p != ' ' && *p != '\t') return false;
  return true;
}

// Physical line [first, last) without a trailing CR.
const char* LineEnd(const char* first, const char** next)
{
  const char* nl = std::strchr(first, '\n');
  const char* last = nl ? nl : first + std::strlen(first);
  *next = nl ? nl + 1 : last;
  if (last > first && last[-1] == '\r') --last;
  return last;
}

// Splits the text into logical lines: a line whose content ends with a backslash takes the next
// physical line with it, keeping the backslash and a line feed, dropping the continuation's
// leading TABs.
std::vector<Line> LogicalLines(const char* text)
{
  std::vector<Line> lines;
  const char* p = text;
  while (*p) {
    const char* next;
    const char* last = LineEnd(p, &next);
    int tabs = 0;
    const char* c = p;
    while (c < last && *c == '\t') { ++c; ++tabs; }
    bool blank = IsBlank(p, last);
    AK_String content(c, last);
    while (last > c && last[-1] == '\\' && *next) {
      content += '\n';
      p = next;
      last = LineEnd(p, &next);
      const char* cont = p;
      while (cont < last && *cont == '\t') ++cont;
      content += AK_String(cont, last);
      c = cont;
      blank = false;
    }
    if (!blank || lines.empty()) lines.push_back({tabs, std::move(content)});
    p = next;
  }
  return lines;
}

void SetNameAndValue(AK_AttributeNode& node, const AK_String& content)
{
  const char* colon = std::strchr(content.c_str(), ':');
  if (!colon) {
    node._name = content;
    node._value = "";
  } else {
    node._name = AK_String(content.c_str(), colon);
    node._value = AK_String(colon + 1);
  }
}

AK_String Component(const AK_String& name, int n) { return name.DotComponent(n); }

}  // namespace

AK_AttributeNode::AK_AttributeNode(const char* text, AK_AttributeNode* extra, int depth)
{
  if (!text) text = "";
  if (text[0] == '\n') ++text;
  else if (text[0] == '\r' && text[1] == '\n') text += 2;
  std::vector<Line> lines = LogicalLines(text);
  if (!lines.empty()) {
    SetNameAndValue(*this, lines[0].content);
    // Open nodes by indentation: a line with t TABs closes every open node at t or deeper and
    // becomes a child of the node at t - 1; a line deeper than that has no parent and is
    // passed over; a line at this node's depth or less ends the tree.
    struct Open {
      AK_AttributeNode* node;
      int level;
    };
    std::vector<Open> open{{this, depth}};
    for (size_t i = 1; i < lines.size(); ++i) {
      const Line& line = lines[i];
      while (!open.empty() && open.back().level >= line.tabs) open.pop_back();
      if (open.empty()) break;
      if (line.tabs != open.back().level + 1) continue;
      AK_AttributeNode* child = new AK_AttributeNode();
      SetNameAndValue(*child, line.content);
      open.back().node->AppendChild(child);
      open.push_back({child, line.tabs});
    }
  }
  if (depth == 0 && extra) AppendLink(extra);
}

AK_AttributeNode::~AK_AttributeNode() { ClearChildren(); }

void AK_AttributeNode::AppendChild(AK_AttributeNode* child) { _children.Append(child); }

void AK_AttributeNode::AppendLink(AK_AttributeNode* child)
{
  _children.Append(child);
  _links.Append(child);
}

bool AK_AttributeNode::IsLinked(const AK_AttributeNode* child) const
{
  for (int32_t i = 0; i < _links.Count(); ++i)
    if (_links[i] == child) return true;
  return false;
}

void AK_AttributeNode::ClearChildren()
{
  // Deleting iteratively keeps a very deep tree from exhausting the call stack.
  std::vector<AK_AttributeNode*> doomed;
  for (int32_t i = 0; i < _children.Count(); ++i)
    if (!IsLinked(_children[i])) doomed.push_back(_children[i]);
  _children.Clear();
  _links.Clear();
  while (!doomed.empty()) {
    AK_AttributeNode* n = doomed.back();
    doomed.pop_back();
    for (int32_t i = 0; i < n->_children.Count(); ++i)
      if (!n->IsLinked(n->_children[i])) doomed.push_back(n->_children[i]);
    n->_children.Clear();
    n->_links.Clear();
    delete n;
  }
}

AK_AttributeNode* AK_AttributeNode::FindChild(const char* name) const
{
  if (!name) return nullptr;
  for (int32_t i = 0; i < _children.Count(); ++i)
    if (_children[i]->_name == name) return _children[i];
  return nullptr;
}

AK_AttributeNode* AK_AttributeNode::FindChild(const AK_AttributeNode* node, const char* name)
{
  return node ? node->FindChild(name) : nullptr;
}

const AK_String* AK_AttributeNode::SetId() const
{
  AK_AttributeNode* set = FindChild("set");
  return set ? &set->_value : nullptr;
}

namespace {

bool Carries(const AK_AttributeNode& n, const char* id, AK_AttributeNode::CommandKind kind)
{
  switch (kind) {
    case AK_AttributeNode::GetCommand:
      return !n._value.IsEmpty() && n._value == id;
    case AK_AttributeNode::SetCommand: {
      const AK_String* set = n.SetId();
      return set && *set == id;
    }
    case AK_AttributeNode::OprCommand:
      return std::strncmp(n._name.c_str(), "opr.", 4) == 0 && std::strcmp(n._name.c_str() + 4, id) == 0;
  }
  return false;
}

}  // namespace

bool AK_AttributeNode::FindCommandPath(const char* identifier, CommandKind kind,
                                       AK_Array<AK_AttributeNode*>& path)
{
  if (!identifier) return false;
  // Depth-first, pre-order, with an explicit stack of (node, next child index).
  std::vector<std::pair<AK_AttributeNode*, int32_t>> stack{{this, 0}};
  if (Carries(*this, identifier, kind)) {
    path.Append(this);
    return true;
  }
  while (!stack.empty()) {
    auto& top = stack.back();
    if (top.second >= top.first->_children.Count()) {
      stack.pop_back();
      continue;
    }
    AK_AttributeNode* child = top.first->_children[top.second++];
    stack.push_back({child, 0});
    if (Carries(*child, identifier, kind)) {
      for (auto& entry : stack) path.Append(entry.first);
      return true;
    }
    if (stack.size() > 100000) return false;  // a linked cycle; no table is this deep
  }
  return false;
}

AK_AttributeNode* AK_AttributeNode::FindBySetValue(const char* setId)
{
  AK_Array<AK_AttributeNode*> path;
  if (!FindCommandPath(setId, SetCommand, path)) return nullptr;
  return path.Last();
}

AK_String AK_AttributeNode::ResolveSetCommand(const char* setId)
{
  AK_Array<AK_AttributeNode*> path;
  if (!FindCommandPath(setId, SetCommand, path)) return AK_String();
  for (int32_t i = path.Count() - 1; i >= 0; --i)
    if (Component(path[i]->_name, 0) == "obj") return Component(path[i]->_name, 1);
  return AK_String();
}

void AK_AttributeNode::CollectObjChain(AK_Array<AK_AttributeNode*>& chain)
{
  chain.Append(this);
  int32_t guard = 0;
  for (AK_AttributeNode* n = LastChild(); n && guard < 100000; n = n->LastChild(), ++guard) {
    if (std::strncmp(n->_name.c_str(), "obj.", 4) != 0) break;
    chain.Append(n);
  }
}

void AK_AttributeNode::CollectValues(const char* kind, AK_Array<AK_String>& values) const
{
  if (!kind) return;
  std::vector<const AK_AttributeNode*> stack{this};
  size_t visited = 0;
  while (!stack.empty() && visited++ < 10000000) {
    const AK_AttributeNode* n = stack.back();
    stack.pop_back();
    if (Component(n->_name, 0) == kind && !n->_value.IsEmpty()) values.Append(n->_value);
    if (Component(n->_name, 1) == "Object") continue;
    for (int32_t i = n->_children.Count() - 1; i >= 0; --i) stack.push_back(n->_children[i]);
  }
}
