#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace {

// The tree as one line per node: TABs for the depth, then name "=" value.
std::string Dump(const AK_AttributeNode& node, int depth = 0)
{
  std::string out(static_cast<size_t>(depth), '\t');
  out += std::string(node._name.c_str()) + "=" + node._value.c_str() + "\n";
  for (int i = 0; i < node.Count(); ++i) out += Dump(*node.Child(i), depth + 1);
  return out;
}

const char* kTable =
    "obj.Mesh\n"
    "\topr.Import:\n"
    "\t\tset:Import\n"
    "\t\tdoc:Reads a file.\n"
    "\t\t\tgerman:Liest eine Datei.\n"
    "\tdouble.Scale:GetScale\n"
    "\t\tset:SetScale\n"
    "\t\tvolatile:\n"
    "\tobj.Inner\n"
    "\t\tint.Count:GetCount\n"
    "\t\t\tset:SetCount\n";

}  // namespace

TEST(AttributeNode, ParsesTheTextForms)
{
  struct Case { const char* name; const char* text; int depth; const char* expected; };
  const Case cases[] = {
      {"one line, no line end", "obj.Object", 0, "obj.Object=\n"},
      {"one line with value, no line end", "double.X:GetX", 0, "double.X=GetX\n"},
      {"leading line feed skipped once", "\nobj.A\n\tb:1\n", 0, "obj.A=\n\tb=1\n"},
      {"value split at the first colon", "a.b:c:d\n", 0, "a.b=c:d\n"},
      {"depth and siblings",
       "r\n\ta:1\n\t\taa:2\n\t\t\taaa:3\n\t\tab:4\n\tb:5\n", 0,
       "r=\n\ta=1\n\t\taa=2\n\t\t\taaa=3\n\t\tab=4\n\tb=5\n"},
      {"last line without line end", "r\n\ta:1\n\tb:2", 0, "r=\n\ta=1\n\tb=2\n"},
      {"CRLF line ends", "r\r\n\ta:1\r\n\t\tset:S\r\n\tb:2\r\n", 0,
       "r=\n\ta=1\n\t\tset=S\n\tb=2\n"},
      {"continuation keeps backslash and line end, drops TABs",
       "r\n\tdoc:first \\\n\t\t\tsecond \\\n\tthird\n\tnext:x\n", 0,
       "r=\n\tdoc=first \\\nsecond \\\nthird\n\tnext=x\n"},
      {"continuation with CRLF", "r\r\n\tdoc:a\\\r\n\tb\r\n", 0, "r=\n\tdoc=a\\\nb\n"},
      {"line at the root's depth ends the tree", "r\n\ta:1\nother\n\tb:2\n", 0, "r=\n\ta=1\n"},
      {"line too deep for its place is passed over", "r\n\t\tdeep:1\n\ta:2\n", 0,
       "r=\n\ta=2\n"},
      {"blank lines carry no node", "r\n\n\ta:1\n\t\n\tb:2\n", 0, "r=\n\ta=1\n\tb=2\n"},
      {"parsing a sub-tree at depth 1", "\tnode:v\n\t\tset:S\n\tsibling:x\n", 1,
       "node=v\n\tset=S\n"},
      {"empty text", "", 0, "=\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AK_AttributeNode root(c.text, nullptr, c.depth);
    EXPECT_EQ(Dump(root), c.expected);
  }
}

TEST(AttributeNode, ExtraNodeBecomesTheLinkedLastChild)
{
  auto* base = new AK_AttributeNode("obj.Object\n\tstring.Id:Id\n\t\tset:Id\n", nullptr, 0);
  {
    AK_AttributeNode derived("obj.Mesh\n\tdouble.Scale:GetScale\n", base, 0);
    ASSERT_EQ(derived.Count(), 2);
    EXPECT_EQ(derived.LastChild(), base);
    EXPECT_TRUE(derived.IsLinked(base));
    AK_AttributeNode other("obj.Other", base, 0);  // a second class sharing the same base
    EXPECT_EQ(other.LastChild(), base);
    AK_AttributeNode nested("\tx\n", base, 1);  // only the root takes the extra node
    EXPECT_EQ(nested.Count(), 0);
  }
  // The derived tables are gone; the shared base is intact.
  EXPECT_STREQ(base->Child(0)->_name, "string.Id");
  delete base;
}

TEST(AttributeNode, Lookups)
{
  AK_AttributeNode base("obj.Object\n\tstring.Id:Id\n\t\tset:Id\n\topr.Save:\n\t\tset:Save\n",
                        nullptr, 0);
  AK_AttributeNode table(kTable, &base, 0);

  EXPECT_EQ(table.FindChild("double.Scale"), table.Child(1));
  EXPECT_EQ(table.FindChild("double"), nullptr);
  EXPECT_EQ(AK_AttributeNode::FindChild(nullptr, "x"), nullptr);

  AK_AttributeNode* scale = table.FindBySetValue("SetScale");
  ASSERT_NE(scale, nullptr);
  EXPECT_STREQ(scale->_name, "double.Scale");
  EXPECT_EQ(table.FindBySetValue("GetScale"), nullptr);
  EXPECT_STREQ(table.FindBySetValue("SetCount")->_name, "int.Count");
  EXPECT_STREQ(table.FindBySetValue("Save")->_name, "opr.Save");

  struct PathCase {
    const char* id;
    AK_AttributeNode::CommandKind kind;
    const char* path;  // names joined by "|"
    const char* handler;
  };
  const PathCase paths[] = {
      {"SetScale", AK_AttributeNode::SetCommand, "obj.Mesh|double.Scale", "Mesh"},
      {"SetCount", AK_AttributeNode::SetCommand, "obj.Mesh|obj.Inner|int.Count", "Inner"},
      {"Id", AK_AttributeNode::SetCommand, "obj.Mesh|obj.Object|string.Id", "Object"},
      {"GetCount", AK_AttributeNode::GetCommand, "obj.Mesh|obj.Inner|int.Count", ""},
      {"Import", AK_AttributeNode::OprCommand, "obj.Mesh|opr.Import", ""},
      {"Nothing", AK_AttributeNode::SetCommand, "", ""},
  };
  for (const PathCase& c : paths) {
    SCOPED_TRACE(c.id);
    AK_Array<AK_AttributeNode*> path;
    bool found = table.FindCommandPath(c.id, c.kind, path);
    std::string joined;
    for (int i = 0; i < path.Count(); ++i) joined += std::string(i ? "|" : "") + path[i]->_name.c_str();
    EXPECT_EQ(found, *c.path != '\0');
    EXPECT_EQ(joined, c.path);
    if (c.kind == AK_AttributeNode::SetCommand) {
      EXPECT_STREQ(table.ResolveSetCommand(c.id), c.handler);
    }
  }

  AK_Array<AK_AttributeNode*> chain;
  table.CollectObjChain(chain);
  ASSERT_EQ(chain.Count(), 2);
  EXPECT_EQ(chain[0], &table);
  EXPECT_EQ(chain[1], &base);

  // Values of a kind, not below the "Object" table.
  AK_Array<AK_String> values;
  table.CollectValues("set", values);
  AK_String joined(values, ",");
  EXPECT_STREQ(joined, "Import,SetScale,SetCount,");
  AK_Array<AK_String> doubles;
  table.CollectValues("double", doubles);
  ASSERT_EQ(doubles.Count(), 1);
  EXPECT_STREQ(doubles[0], "GetScale");
}

TEST(AttributeNode, HeldByValueWithSharedChildren)
{
  AK_AttributeNode shared("a.b:c\n\tset:d\n", nullptr, 0);
  AK_AttributeNode own("obj.Group", "");
  own.AppendLink(&shared);
  own.AppendChild(new AK_AttributeNode("x.y", "z"));
  EXPECT_EQ(own.FindBySetValue("d"), &shared);
  own.ClearChildren();  // frees the owned child only
  EXPECT_EQ(own.Count(), 0);
  EXPECT_STREQ(shared.Child(0)->_value, "d");
}

TEST(AttributeNode, VeryDeepTreeIsHandled)
{
  std::string text = "root\n";
  for (int depth = 1; depth <= 3000; ++depth) text += std::string(static_cast<size_t>(depth), '\t') + "n:v\n";
  AK_AttributeNode root(text.c_str(), nullptr, 0);
  const AK_AttributeNode* n = &root;
  int depth = 0;
  while (n->Count()) { n = n->Child(0); ++depth; }
  EXPECT_EQ(depth, 3000);
  AK_Array<AK_String> values;
  root.CollectValues("n", values);
  EXPECT_EQ(values.Count(), 3000);
}
