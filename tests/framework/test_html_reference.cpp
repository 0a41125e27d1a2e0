// The HTML reference: the formula conversion, cross references, reference texts, a golden
// document of two small class tables, and the reference of every shipped class table checked
// by xmllint with every internal link resolved.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "TestClasses.h"

namespace {

std::string Str(const AK_String& s) { return s.c_str(); }

// Points the attributes directory at a directory of class tables while it lives, with a
// fresh list of reference tables.
class AttributesDirectoryScope {
public:
  explicit AttributesDirectoryScope(const std::string& directory) : _saved(AttributesDirectory)
  {
    AttributesDirectory = directory.c_str();
    AK_ResetReferenceClassTables();
  }
  ~AttributesDirectoryScope()
  {
    AttributesDirectory = _saved;
    AK_ResetReferenceClassTables();
    AK_SetLanguage("default");
  }

private:
  AK_String _saved;
};

const std::string kTables = TORVU_TEST_HTML_DIR "/";

// Runs xmllint on the file; its complaints, or "" when it has none.
std::string XmllintComplaints(const std::string& file)
{
  int status = 0;
  std::string output = RunProcess("xmllint --html --noout " + ShellQuote(file), &status);
  return status != 0 && output.empty() ? "xmllint failed" : output;
}

bool HaveXmllint()
{
  int status = 0;
  RunProcess("xmllint --version", &status);
  return status == 0;
}

// The texts that follow each occurrence of `prefix` up to the next double quote.
std::vector<std::string> ValuesAfter(const std::string& html, const std::string& prefix)
{
  std::vector<std::string> values;
  for (size_t at = html.find(prefix); at != std::string::npos; at = html.find(prefix, at + 1)) {
    size_t begin = at + prefix.size();
    values.push_back(html.substr(begin, html.find('"', begin) - begin));
  }
  return values;
}

// Every anchor name once; every link to "#x" has an anchor x.
void ExpectLinksResolve(const std::string& html)
{
  std::multiset<std::string> names;
  for (const std::string& n : ValuesAfter(html, "NAME=\"")) names.insert(n);
  for (const std::string& n : names) EXPECT_EQ(names.count(n), 1u) << "anchor " << n;
  std::vector<std::string> links = ValuesAfter(html, "HREF=\"#");
  for (const std::string& link : links) EXPECT_EQ(names.count(link), 1u) << "link to #" << link;
  EXPECT_FALSE(links.empty());
}

}  // namespace

// --- formulas ---

TEST(HtmlReference, FormulaConversion)
{
  struct Case { const char* input; int converted; const char* output; };
  const Case cases[] = {
      {"no formula", 0, "no formula"},
      {"@@ without an end", 0, "@@ without an end"},
      {"x @@a_1 + b^2/@ y", 1, "x <I>a<SUB>1</SUB> + b<SUP>2</SUP></I> y"},
      {"@@a_b_c/@", 1, "<I>a<SUB>b<SUB>c</SUB></SUB></I>"},
      {"@@x_/@", 1, "<I>x<SUB></SUB></I>"},
      {"@@_alfa/@", 1, "<I><SUB></SUB>&#945;</I>"},
      {"@@theta eta Beta Zeta Theta zeta/@", 1, "<I>&#952; &#951; &#914; &#918; &#920; &#950;</I>"},
      {"@@Epsilon psi epsilon Psi/@", 1, "<I>&#917; &#968; &#949; &#936;</I>"},
      {"@@sqrt(x) != y*z - 1/@", 1, "<I>&#8730;(x) &#8800; y&#183;z &#8722; 1</I>"},
      {"@@a/@ and @@b/@", 1, "<I>a</I> and @@b/@"},
      {"/@ @@x/@", 1, "/@ <I>x</I>"},
      {"@@/@", 1, "<I></I>"},
      {"@@v_max^2/@", 1, "<I>v<SUB>max</SUB><SUP>2</SUP></I>"},
  };
  for (const Case& c : cases) {
    AK_String text(c.input);
    EXPECT_EQ(AK_HtmlEntities(text), c.converted) << c.input;
    EXPECT_EQ(Str(text), c.output) << c.input;
  }
  AK_String stripped("a @@x/@ b /@@@");
  AK_StripFormulaMarkers(stripped);
  EXPECT_EQ(Str(stripped), "a x b ");
}

// --- references ---

TEST(HtmlReference, ReferenceTextsAndLinks)
{
  AttributesDirectoryScope scope(kTables);
  EXPECT_EQ(Str(AK_GetReferenceText("Alpha", "Alpha")), "Alpha");
  EXPECT_EQ(Str(AK_GetReferenceText("Alpha", "Count")), "Alpha:Count");
  EXPECT_EQ(Str(AK_GetReferenceText("Alpha", "Rename")), "Alpha:Actions:Rename");
  EXPECT_EQ(Str(AK_GetReferenceText("Alpha", "Actions")), "Alpha:Actions");
  EXPECT_EQ(Str(AK_GetReferenceText("Alpha", "Nothing")), "Alpha:Nothing");
  EXPECT_EQ(Str(AK_GetReferenceText("Beta", "Size")), "Beta:Size&Shape");
  EXPECT_EQ(Str(AK_GetReferenceText("Missing", "Missing")), "Missing:Missing");
  AK_SetLanguage("german");
  EXPECT_EQ(Str(AK_GetReferenceText("Alpha", "Count")), "Alfa:Anzahl");
  AK_SetLanguage("default");

  struct Case { const char* input; const char* output; };
  const Case cases[] = {
      {"see ->Alpha.Count.", "see <A HREF=\"#Alpha_Count\">Alpha:Count</A>."},
      {"->Alpha.", "<A HREF=\"#Alpha_Alpha\">Alpha</A>"},
      {"->Alpha..", "<A HREF=\"#Alpha_Alpha\">Alpha</A>."},
      {"an ->image.png here", "an ->image.png here"},
      {"no dot ->Alpha", "no dot ->Alpha"},
      {"->Missing.Thing", "<A HREF=\"#Missing_Thing\">Missing:Thing</A>"},
      {"->Beta.Size", "<A HREF=\"#Beta_Size\">Beta:Size&#38;Shape</A>"},
      {"->Alpha.Count and ->Alpha.Rename",
       "<A HREF=\"#Alpha_Count\">Alpha:Count</A> and <A HREF=\"#Alpha_Rename\">Alpha:Actions:Rename</A>"},
  };
  for (const Case& c : cases) {
    AK_String text(c.input);
    AK_HtmlLink(text, "");
    EXPECT_EQ(Str(text), c.output) << c.input;
  }
  AK_String prefixed("->Alpha.Count");
  AK_HtmlLink(prefixed, "other.html");
  EXPECT_EQ(Str(prefixed), "<A HREF=\"other.html#Alpha_Count\">Alpha:Count</A>");
}

TEST(HtmlReference, SortOrders)
{
  AK_String a("<A HREF=\"#x\">alpha</A>"), b("<A HREF=\"#y\">Beta</A>"), c("<A HREF=\"#z\">BETA</A>");
  EXPECT_LT(AK_CompareLinkTexts(a, b), 0);
  EXPECT_GT(AK_CompareLinkTexts(b, a), 0);
  EXPECT_EQ(AK_CompareLinkTexts(b, c), 0);
}

// --- whole documents ---

TEST(HtmlReference, EntireReferenceOfTwoTables)
{
  AttributesDirectoryScope scope(kTables);
  ScratchDir out;
  AK_Object top("top", nullptr);
  top.ExecuteCommand(("set(\"\", \"WriteEntireHtmlReference\", \"" + (out / "entire.html") + "\")").c_str(), 1);
  EXPECT_EQ(Str(AK_ErrorText), "");
  std::string html = ReadFile(out / "entire.html");
  // After a deliberate change of the format: TORVU_WRITE_GOLDEN=1, then review the diff.
  if (std::getenv("TORVU_WRITE_GOLDEN")) WriteFile(kTables + "expected/entire.html", html);
  EXPECT_EQ(html, ReadFile(kTables + "expected/entire.html"));
  ExpectLinksResolve(html);
  EXPECT_EQ(HaveXmllint() ? XmllintComplaints(out / "entire.html") : "", "");
}

TEST(HtmlReference, EntireReferenceInGerman)
{
  AttributesDirectoryScope scope(kTables);
  ScratchDir out;
  AK_Object top("top", nullptr);
  top.Set("SetLanguage", "german");
  top.Set("WriteEntireHtmlReference", (out / "de.html").c_str());
  std::string html = ReadFile(out / "de.html");
  for (const char* text : {"<TITLE>de</TITLE>", ": Beschreibung aller Objekte", "<A NAME=\"Alpha_Alpha\">Alfa</A>",
                           "Die erste Klasse, <A HREF=\"#Beta_SetSize\">Beta:Size&#38;Shape</A>.",
                           "Keine Dokumentation verfuegbar.", "Liste der Attribute"})
    EXPECT_NE(html.find(text), std::string::npos) << text;
  ExpectLinksResolve(html);
}

TEST(HtmlReference, ADirectoryWithoutTablesOrAFileThatCannotBeWritten)
{
  ScratchDir empty;
  AttributesDirectoryScope scope(empty.Path() + "/");
  ScratchDir out;
  AK_Object top("top", nullptr);
  top.Set("WriteEntireHtmlReference", (out / "none.html").c_str());
  std::string html = ReadFile(out / "none.html");
  EXPECT_NE(html.find("unknown: Description of all objects"), std::string::npos);
  EXPECT_EQ(html.find("<H1"), std::string::npos);
  ExpectLinksResolve(html);

  // A file that cannot be written.
  EXPECT_EQ(top.Set("WriteEntireHtmlReference", "/nonexistent-torvu-dir/x.html"), 1);
  EXPECT_EQ(Str(AK_ErrorText), "cannot open file '/nonexistent-torvu-dir/x.html' for writing references!");
  EXPECT_EQ(top.Set("WriteHtmlReferenceRecursive", "/nonexistent-torvu-dir/y.html"), 1);
  EXPECT_EQ(Str(AK_ErrorText), "cannot open file '/nonexistent-torvu-dir/y.html' for writing references!");
  // One that does not reach the disk whole leaves the document it would replace.
  {
    FileSizeLimit limit(64);
    top.Set("WriteEntireHtmlReference", (out / "none.html").c_str());
  }
  EXPECT_EQ(Str(AK_ErrorText), "cannot write file '" + (out / "none.html") + "' for writing references!");
  EXPECT_EQ(ReadFile(out / "none.html"), html);
}

// The reference of one object and its subtree: each class once, base classes after the
// class, groups with their members' common class.
TEST(HtmlReference, RecursiveReferenceOfATree)
{
  ScratchDir out;
  TST_Holder top("top", nullptr);
  AK_Object* a = new TST_Level2("a", &top);
  top.AddComponent(a);
  AK_Object* b = new TST_Level1("b", &top);
  top.AddComponent(b);
  AK_Group* group = new AK_Group("g", &top);
  top.AddComponent(group);
  group->AddLink(a);
  top.Set("WriteHtmlReferenceRecursive", (out / "tree.html").c_str());
  std::string html = ReadFile(out / "tree.html");
  std::vector<std::string> classes = ValuesAfter(html, "<H1 CLASS=\"intended1\"><A NAME=\"");
  EXPECT_EQ(classes, (std::vector<std::string>{"Holder_Holder", "Container_Container", "Object_Object",
                                               "Level2_Level2", "Level1_Level1", "Group_Group"}));
  EXPECT_NE(html.find("Is a specialization of <A HREF=\"#Level1_Level1\">Level1:Level1</A>."),
            std::string::npos);
  EXPECT_NE(html.find("Description of unknown:Holder and all related objects"), std::string::npos);
  ExpectLinksResolve(html);
  EXPECT_EQ(HaveXmllint() ? XmllintComplaints(out / "tree.html") : "", "");
}

namespace {

// The index text of every entry below the node that carries an attribute identifier (its set
// identifier, else its get identifier) not carried by an earlier entry of the table: its
// label, then the labels above it up to the class, joined by ", ". Entries are the nodes
// named "kind.Label"; the keys of an entry ("vis:...", "options:...") are not.
void IndexTextsOfEntries(AK_AttributeNode* node, const std::string& above, std::set<std::string>& identifiers,
                         std::set<std::string>& texts)
{
  std::string kind = Str(AK_NodeNamePart(node, 0));
  if (!AK_NodeHasKind(node) || kind == "doc") return;
  std::string label = Str(AK_NodeNamePart(node, 1));
  std::string text = above.empty() ? label : label + ", " + above;
  std::string identifier = AK_NodeSetId(node) ? AK_NodeSetId(node) : AK_NodeValue(node);
  if (kind != "obj" && kind != "opr" && !identifier.empty() && identifiers.insert(identifier).second)
    texts.insert(text);
  for (int i = 0; i < AK_NodeChildCount(node); ++i)
    IndexTextsOfEntries(AK_NodeChild(node, i), text, identifiers, texts);
}

}  // namespace

// Every shipped class table, in one document and as the reference of a tree that holds an
// object of every registered class that has one. The attribute index of the document names
// every attribute of every table by its own label, within its group and class.
TEST(HtmlReference, ShippedTablesMakeValidDocuments)
{
  AttributesDirectoryScope scope(TORVU_TEST_ATTRIBUTES_DIR "/");
  ScratchDir out;
  AK_Container top("top", nullptr);
  top.Set("WriteEntireHtmlReference", (out / "entire.html").c_str());
  std::string html = ReadFile(out / "entire.html");
  std::set<std::string> indexed;
  for (size_t at = html.find("\">", html.find("<A NAME=\"attributes\">")); at != std::string::npos;
       at = html.find("\">", at + 1))
    indexed.insert(html.substr(at + 2, html.find('<', at) - at - 2));
  std::set<std::string> expected;
  for (AK_AttributeNode* table : AK_ReferenceClassTables()) {
    std::set<std::string> identifiers;
    IndexTextsOfEntries(table, "", identifiers, expected);
  }
  EXPECT_GT(expected.size(), 50u);
  for (const std::string& text : expected) EXPECT_EQ(indexed.count(text), 1u) << text;

  if (!HaveXmllint()) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
  EXPECT_NE(html.find("<HEAD><TITLE>entire</TITLE>\n<STYLE TYPE=\"text/css\">"), std::string::npos);
  EXPECT_EQ(XmllintComplaints(out / "entire.html"), "");
  ExpectLinksResolve(html);
  for (const AK_String& file : AK_ListDirectory(TORVU_TEST_ATTRIBUTES_DIR, "atr")) {
    std::string className = Str(file).substr(0, Str(file).size() - 4);
    AK_String type = AK_RegisteredTypeName(className.c_str());
    if (type.IsEmpty()) continue;
    EXPECT_NE(html.find("NAME=\"" + Str(type) + "_" + Str(type) + "\""), std::string::npos) << className;
    AK_Object* object = AK_CreateObjectOfClass(className.c_str(), "", &top);
    if (object) top.AddComponent(object);
  }
  AK_Group* group = new AK_Group("members", &top);
  top.AddComponent(group);
  group->Set("AppendAllMatchingObjects", "");
  top.Set("WriteHtmlReferenceRecursive", (out / "tree.html").c_str());
  EXPECT_EQ(XmllintComplaints(out / "tree.html"), "");
  ExpectLinksResolve(ReadFile(out / "tree.html"));
}
