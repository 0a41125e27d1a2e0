// The HTML reference: reference texts, the documentation markup, the class pages and the
// index lists.
#include "AK_HtmlReference.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "AK_ClassFiles.h"
#include "AK_ClassTable.h"
#include "AK_DocText.h"
#include "AK_FrameworkState.h"
#include "AK_Object.h"

namespace {

// The document being written. Its anchors are gathered by a first pass over the same pages
// that writes nothing, so that links can be checked against them; the second pass writes
// each anchor once.
struct ReferenceDocument {
  bool gathering = true;
  std::set<std::string> anchors;  // every anchor of the document
  std::set<std::string> written;  // anchors written so far
};

ReferenceDocument* g_document = nullptr;

// Makes a document current while it lives.
class DocumentScope {
public:
  DocumentScope() : _previous(g_document) { g_document = &_document; }
  ~DocumentScope() { g_document = _previous; }
  DocumentScope(const DocumentScope&) = delete;
  DocumentScope& operator=(const DocumentScope&) = delete;
  ReferenceDocument& Document() { return _document; }

private:
  ReferenceDocument _document;
  ReferenceDocument* _previous;
};

bool IsRunChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

void ReplaceUntilNone(AK_String& text, const char* from, const char* to)
{
  while (text.ReplaceAll(from, to) > 0) {
  }
}

void Write(std::FILE* file, const AK_String& text)
{
  if (file) std::fputs(text.c_str(), file);
}

AK_String ClassNameOf(AK_AttributeNode* table) { return AK_NodeNamePart(table, 1); }

// The text for an HTML attribute value (anchors).
AK_String EscapeAttributeValue(const char* text)
{
  AK_String escaped = AK_HtmlEscape(text);
  escaped.ReplaceAll("\"", "&#34;");
  return escaped;
}

// A "&" that does not begin a numeric character reference becomes one itself.
AK_String EscapeBareAmpersands(const AK_String& text)
{
  std::string out;
  const char* s = text.c_str();
  for (size_t i = 0; s[i]; ++i) {
    if (s[i] != '&') {
      out += s[i];
      continue;
    }
    size_t j = i + 1;
    bool reference = false;
    if (s[j] == '#') {
      ++j;
      bool hex = s[j] == 'x' || s[j] == 'X';
      if (hex) ++j;
      size_t digits = j;
      while (hex ? std::isxdigit(static_cast<unsigned char>(s[j])) : std::isdigit(static_cast<unsigned char>(s[j])))
        ++j;
      reference = j > digits && s[j] == ';';
    }
    out += reference ? "&" : "&#38;";
  }
  return AK_String(out.c_str());
}

// Closes bold text where a paragraph or the text ends, and turns a closing tag that closes
// nothing back into the quote it was made of (an apostrophe: "the users' files"), so that
// the document is never badly nested.
AK_String BalanceBold(const AK_String& text)
{
  std::string s = text.c_str(), out;
  int open = 0;
  for (size_t i = 0; i < s.size();) {
    if (s.compare(i, 3, "<B>") == 0) {
      ++open;
      out += "<B>";
      i += 3;
    } else if (s.compare(i, 4, "</B>") == 0) {
      if (open > 0) {
        --open;
        out += "</B>";
      } else {
        out += "'";
      }
      i += 4;
    } else if (s.compare(i, 4, "</P>") == 0) {
      for (; open > 0; --open) out += "</B>";
      out += "</P>";
      i += 4;
    } else {
      out += s[i++];
    }
  }
  for (; open > 0; --open) out += "</B>";
  return AK_String(out.c_str());
}

// The anchor a class page gives to the node of a table found for an identifier.
AK_String OwnAnchorIdentifier(AK_AttributeNode* node)
{
  if (AK_NodeNamePart(node, 0) == "opr") return AK_NodeNamePart(node, 1);
  const char* setId = AK_NodeSetId(node);
  return AK_String(setId ? setId : AK_NodeValue(node));
}

AK_AttributeNode* FindReferenceTable(const char* className)
{
  if (!className || !*className) return nullptr;
  for (AK_AttributeNode* table : AK_ReferenceClassTables())
    if (ClassNameOf(table) == className) return table;
  return nullptr;
}

bool IsKeyKind(const AK_String& kind);

bool CarriesIdentifier(AK_AttributeNode* node, const char* identifier, char kind)
{
  if (kind == 's') {
    const char* setId = AK_NodeSetId(node);
    return setId && std::strcmp(setId, identifier) == 0;
  }
  if (kind == 'g') return *AK_NodeValue(node) && std::strcmp(AK_NodeValue(node), identifier) == 0;
  return AK_NodeNamePart(node, 0) == "opr" && AK_NodeNamePart(node, 1) == identifier;
}

// The path from the node down to the first entry, depth first, that carries the identifier.
// The keys of an entry ("vis", "options", ...) hold identifiers too, but of other attributes
// (what shows the entry, where its choices come from), so they are passed over.
bool FindEntryPath(AK_AttributeNode* node, const char* identifier, char kind,
                   AK_Array<AK_AttributeNode*>& path, int depth = 0)
{
  if (IsKeyKind(AK_NodeNamePart(node, 0)) || depth > 1000) return false;
  path.Append(node);
  if (CarriesIdentifier(node, identifier, kind)) return true;
  for (int i = 0; i < AK_NodeChildCount(node); ++i)
    if (FindEntryPath(AK_NodeChild(node, i), identifier, kind, path, depth + 1)) return true;
  path.Remove(path.Size() - 1);
  return false;
}

bool FindIdentifierPath(AK_AttributeNode* table, const char* identifier,
                        AK_Array<AK_AttributeNode*>& path)
{
  if (!table || !identifier) return false;
  return FindEntryPath(table, identifier, 's', path) || FindEntryPath(table, identifier, 'g', path) ||
         FindEntryPath(table, identifier, 'o', path);
}

// The link for a reference: to the anchor Class_identifier, or, inside a document that has
// no such anchor, to the anchor the page gives the attribute, to the class, or no link.
AK_String ReferenceLink(const std::string& className, const std::string& identifier,
                        const char* prefix)
{
  AK_String text = AK_HtmlEscape(AK_GetReferenceText(className.c_str(), identifier.c_str()));
  std::string anchor = className + "_" + identifier;
  if (g_document) {
    std::vector<std::string> candidates{anchor};
    AK_Array<AK_AttributeNode*> path;
    AK_AttributeNode* table = FindReferenceTable(className.c_str());
    if (table && FindIdentifierPath(table, identifier.c_str(), path))
      candidates.push_back(className + "_" + OwnAnchorIdentifier(path.Last()).c_str());
    candidates.push_back(className + "_" + className);
    anchor.clear();
    for (const std::string& candidate : candidates) {
      if (g_document->anchors.count(candidate)) {
        anchor = candidate;
        break;
      }
    }
    if (anchor.empty()) return text;
  }
  return AK_String("<A HREF=\"") + (prefix ? prefix : "") + "#" +
         EscapeAttributeValue(anchor.c_str()) + "\">" + text + "</A>";
}

// The program's name as started: its base name cut at the last "."; "unknown" without one.
AK_String ProgramName()
{
  if (AK_ProgramArgumentCount() < 1) return AK_String("unknown");
  AK_String name = AK_String(AK_ProgramArgument(0)).BaseName();
  name.CutExtension();
  return name;
}

// The file's base name cut at its last ".".
AK_String DocumentName(const char* fileName)
{
  AK_String name = AK_String(fileName ? fileName : "").BaseName();
  name.CutExtension();
  return name;
}

AK_String LinkText(const AK_String& link, bool toLast)
{
  const char* s = link.c_str();
  const char* ts = std::strchr(s, '>');
  AK_FATAL_ASSERT_NAMED(ts, "ts");
  const char* te = toLast ? std::strrchr(s, '<') : std::strchr(ts, '<');
  AK_FATAL_ASSERT_NAMED(te && te > ts, "te");
  return AK_String(ts + 1, te);
}

bool LinkLess(const AK_String& a, const AK_String& b) { return AK_CompareLinkTexts(a, b) < 0; }

// The heading of an index list nests like the headings at the top of the document.
void WriteIndexList(std::FILE* file, const char* anchor, const char* heading,
                    const std::vector<AK_String>& links)
{
  Write(file, AK_String("<HR><P ALIGN=\"CENTER\"><B><FONT SIZE=\"150%\"><A NAME=\"") + anchor +
                  "\">" + heading + "</A></FONT></B></P>\n");
  Write(file, "<P>\n");
  char previous = '-';
  for (const AK_String& link : links) {
    char first = LinkText(link, false)[0];
    if (first != previous) Write(file, "</P><P>\n");
    previous = first;
    Write(file, link + "<BR>\n");
  }
  Write(file, "</P>\n");
}

const char* kNoDocumentation[] = {"No documentation available.", "Keine Dokumentation verfuegbar."};

// The documentation of a node as HTML, in a paragraph style of the given level.
AK_String DocumentationHtml(AK_AttributeNode* node, const AK_String& style)
{
  AK_String doc = AK_GetAttributeDocText(node);
  ReplaceUntilNone(doc, "->", "%ref%");
  doc = EscapeBareAmpersands(doc);
  ReplaceUntilNone(doc, "<", "&#60;");
  ReplaceUntilNone(doc, ">", "&#62;");
  while (AK_HtmlEntities(doc)) {
  }
  ReplaceUntilNone(doc, "%ref%", "->");
  AK_HtmlLink(doc, "");
  ReplaceUntilNone(doc, " \n", "<BR>");
  static const char* const kBold[][2] = {{" '", " <B>"},  {"' ", "</B> "}, {"'.", "</B>."},
                                         {"',", "</B>,"}, {"';", "</B>;"}, {"':", "</B>:"},
                                         {"')", "</B>)"}};
  for (const auto& pair : kBold) ReplaceUntilNone(doc, pair[0], pair[1]);
  ReplaceUntilNone(doc, "\n\n", (AK_String("</P>\n<P ") + style + ">").c_str());
  doc = BalanceBold(doc);
  if (doc.IsEmpty()) doc = AK_Text(kNoDocumentation[0], kNoDocumentation[1]);
  return doc;
}

// Keys of an entry (not entries themselves): they have no section of their own.
bool IsKeyKind(const AK_String& kind)
{
  static const char* const kKeys[] = {"vis",     "doc",        "german",
                                      "set",     "volatile",   "options",
                                      "pick world", "pick world multiple"};
  for (const char* key : kKeys)
    if (kind == key) return true;
  return false;
}

// Greek letter names with their character numbers, in the order of replacement: a name that
// holds another name is replaced first.
struct GreekLetter {
  const char* name;
  int number;
};

const GreekLetter kGreek[] = {
    {"alfa", 945},    {"beta", 946},    {"chi", 967},     {"delta", 948},   {"epsilon", 949},
    {"phi", 966},     {"gamma", 947},   {"theta", 952},   {"zeta", 950},    {"Beta", 914},
    {"Theta", 920},   {"Zeta", 918},    {"eta", 951},     {"iota", 953},    {"greekj", 954},
    {"kappa", 954},   {"lambda", 955},  {"mue", 956},     {"nue", 957},     {"greeko", 959},
    {"pi", 960},      {"rho", 961},     {"sigma", 963},   {"tau", 964},     {"greeku", 962},
    {"greekv", 965},  {"omega", 969},   {"xsi", 958},     {"Epsilon", 917}, {"psi", 968},
    {"Alfa", 913},    {"Chi", 935},     {"Delta", 916},   {"Phi", 934},     {"Gamma", 915},
    {"Eta", 919},     {"Iota", 921},    {"greekJ", 919},  {"Kappa", 922},   {"Lambda", 923},
    {"Mue", 924},     {"Nue", 925},     {"greekO", 927},  {"Pi", 928},      {"Rho", 929},
    {"Sigma", 931},   {"Tau", 932},     {"greekU", 933},  {"greekV", 934},  {"Omega", 937},
    {"Xsi", 926},     {"Psi", 936},
};

// Every marker followed by a run of letters, digits and "_" becomes open + run + close, one
// occurrence at a time from the left.
void MarkRuns(std::string& text, char marker, const char* open, const char* close)
{
  for (size_t pos; (pos = text.find(marker)) != std::string::npos;) {
    size_t end = pos + 1;
    while (end < text.size() && IsRunChar(text[end])) ++end;
    std::string run = text.substr(pos + 1, end - pos - 1);
    text.replace(pos, end - pos, open + run + close);
  }
}

AK_String ConvertFormula(const AK_String& inside)
{
  AK_String text(inside);
  for (const GreekLetter& letter : kGreek)
    ReplaceUntilNone(text, letter.name, (AK_String("&#") + AK_String(letter.number) + ";").c_str());
  std::string s = text.c_str();
  MarkRuns(s, '_', "<SUB>", "</SUB>");
  MarkRuns(s, '^', "<SUP>", "</SUP>");
  text = s.c_str();
  ReplaceUntilNone(text, "sqrt", "&#8730;");
  ReplaceUntilNone(text, "!=", "&#8800;");
  ReplaceUntilNone(text, "*", "&#183;");
  ReplaceUntilNone(text, "-", "&#8722;");
  return text;
}

}  // namespace

AK_String AK_HtmlEscape(const char* text)
{
  std::string out;
  for (const char* p = text ? text : ""; *p; ++p) {
    switch (*p) {
      case '<': out += "&#60;"; break;
      case '>': out += "&#62;"; break;
      case '&': out += "&#38;"; break;
      default: out += *p;
    }
  }
  return AK_String(out.c_str());
}

// --- the class tables of the attributes directory ---

namespace {

// The list owns its tables, which live until the end of the program.
struct ReferenceTables {
  AK_Array<AK_AttributeNode*> tables;
  ~ReferenceTables()
  {
    for (AK_AttributeNode* table : tables) delete table;
  }
};

}  // namespace

AK_Array<AK_AttributeNode*>& AK_ReferenceClassTables()
{
  static ReferenceTables list;
  return list.tables;
}

void AK_FillReferenceClassTables()
{
  AK_Array<AK_AttributeNode*>& tables = AK_ReferenceClassTables();
  if (tables.Size() > 0) return;
  AK_String directory = AttributesDirectory.IsEmpty() ? AK_String(".") : AttributesDirectory;
  AK_Array<AK_String> files = AK_ListDirectory(directory, "atr");
  for (AK_String& file : files) {
    file.CutExtension();
    AK_AttributeNode* table = AK_LoadClassAttributeTable(file, nullptr);
    if (table) tables.Append(table);
  }
}

void AK_ResetReferenceClassTables()
{
  AK_Array<AK_AttributeNode*>& tables = AK_ReferenceClassTables();
  for (AK_AttributeNode* table : tables) delete table;
  tables.Clear();
}

// --- texts ---

AK_String AK_GetReferenceText(const char* className, const char* identifier)
{
  AK_String c(className ? className : ""), id(identifier ? identifier : "");
  AK_FillReferenceClassTables();
  AK_String answer = c + ":" + id;
  AK_AttributeNode* table = FindReferenceTable(c);
  if (!table) return answer;
  AK_Array<AK_AttributeNode*> path;
  if (!FindIdentifierPath(table, id, path)) {
    answer = AK_GetNodeLabel(table);
    if (!(id == c)) answer += ":" + id;
    return answer;
  }
  answer = "";
  for (int i = 0; i < path.Size(); ++i) {
    if (i > 0) answer += ":";
    answer += AK_GetNodeLabel(path[i]);
  }
  return answer;
}

void AK_HtmlLink(AK_String& text, const char* filePrefix)
{
  std::string s = text.c_str();
  size_t pos = 0;
  while ((pos = s.find("->", pos)) != std::string::npos) {
    size_t dot = s.find('.', pos + 2);
    if (dot == std::string::npos) {
      pos += 2;
      continue;
    }
    std::string className = s.substr(pos + 2, dot - pos - 2);
    size_t end = dot + 1;
    while (end < s.size() && IsRunChar(s[end])) ++end;
    std::string identifier = s.substr(dot + 1, end - dot - 1);
    if (identifier.empty()) identifier = className;
    if (identifier == "png") {
      pos += 2;
      continue;
    }
    AK_String link = ReferenceLink(className, identifier, filePrefix);
    s.replace(pos, end - pos, link.c_str());
    pos += static_cast<size_t>(link.Length());
  }
  text = s.c_str();
}

int AK_HtmlEntities(AK_String& text)
{
  const char* s = text.c_str();
  const char* open = std::strstr(s, "@@");
  if (!open) return 0;
  const char* close = std::strstr(open + 2, "/@");
  if (!close) return 0;
  AK_String converted = AK_String(s, open) + "<I>" + ConvertFormula(AK_String(open + 2, close)) +
                        "</I>" + (close + 2);
  text = converted;
  return 1;
}

void AK_StripFormulaMarkers(AK_String& text)
{
  ReplaceUntilNone(text, "@@", "");
  ReplaceUntilNone(text, "/@", "");
}

// --- the document ---

AK_File AK_OpenHtmlReference(const char* fileName, const char* title)
{
  AK_String name(fileName ? fileName : "");
  AK_File file = AK_File::Replacing(name, "w");
  if (!file) {
    AK_ErrorText = AK_String("cannot open file '") + name + "' for writing references!";
    return file;
  }
  Write(file, "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n");
  Write(file, AK_String("<HTML>\n<HEAD><TITLE>") + AK_HtmlEscape(DocumentName(name)) + "</TITLE>\n");

  AK_String styleSheet = AK_JoinPath(AttributesDirectory, "styleSheetFile.txt");
  if (AK_File style{styleSheet, "r"}) {
    char piece[256];
    size_t n;
    while ((n = std::fread(piece, 1, 255, style)) > 0) std::fwrite(piece, 1, n, file);
  }

  Write(file, "</HEAD>\n<BODY>\n");
  // Centred headings are paragraphs holding bold and font, closed in the order they were
  // opened and with quoted sizes, so that HTML checkers accept the document.
  Write(file, AK_String("<P ALIGN=\"CENTER\"><B><FONT SIZE=\"150%\">") + AK_HtmlEscape(title) +
                  "</FONT></B></P>\n");
  Write(file, AK_String("<P ALIGN=\"CENTER\"><B>") +
                  AK_Text("Every object type with its attributes and operations; the two lists "
                          "at the end lead to each of them.",
                          "Alle Objekttypen mit ihren Attributen und Operationen; die beiden "
                          "Listen am Ende fuehren zu jedem davon.") +
                  "</B></P>\n");
  const char* types = AK_Text("List of Object Types", "Liste der Objekttypen");
  const char* attributes = AK_Text("List of Attributes", "Liste der Attribute");
  Write(file, AK_String("<HR><P ALIGN=\"CENTER\"><B><FONT SIZE=\"120%\"><A HREF=\"#classes\">") +
                  types + "</A></FONT></B></P>\n");
  Write(file, AK_String("<HR><P ALIGN=\"CENTER\"><B><FONT SIZE=\"120%\"><A HREF=\"#attributes\">") +
                  attributes + "</A></FONT></B></P>\n");
  return file;
}

void AK_WriteHtmlClassPage(AK_AttributeNode* node, AK_Array<AK_String>& written,
                           AK_Array<AK_String>& links, std::FILE* file, int level)
{
  if (!node) return;
  AK_String kind = AK_NodeNamePart(node, 0);
  if (IsKeyKind(kind)) return;
  bool isClass = kind == "obj";
  bool isGroup = kind == "opr";

  AK_String anchorClass, identifier, base;
  if (isClass) {
    AK_String className = AK_NodeNamePart(node, 1);
    if (AK_StringListContains(written, className)) return;
    written.Append(className);
    anchorClass = identifier = className;
    level = 0;
    if (!(className == "Group")) {
      AK_Array<AK_AttributeNode*> chain;
      node->CollectObjChain(chain);
      if (chain.Size() > 1) base = ClassNameOf(chain[1]);
    }
  } else {
    anchorClass = written.Size() > 0 ? written.Last() : AK_String();
    if (isGroup) {
      identifier = AK_NodeNamePart(node, 1);
    } else {
      const char* setId = AK_NodeSetId(node);
      identifier = setId ? setId : AK_NodeValue(node);
      if (!setId && identifier.IsEmpty()) return;
    }
  }
  AK_String heading = AK_GetNodeLabel(node);
  if (heading.IsEmpty()) return;

  ++level;
  AK_String anchor = anchorClass + "_" + identifier;
  if (g_document && g_document->gathering) {
    g_document->anchors.insert(anchor.c_str());
  } else {
    AK_String style = AK_String("CLASS=\"intended") + AK_String(level) + "\"";
    AK_String doc = DocumentationHtml(node, style);
    // HTML knows six heading levels; deeper entries keep their own paragraph style.
    AK_String h = AK_String("H") + AK_String(std::min(level, 6));
    bool fresh = !g_document || g_document->written.insert(anchor.c_str()).second;
    if (isClass) Write(file, "<HR>\n");
    AK_String text = AK_HtmlEscape(heading);
    if (fresh) {
      AK_String name = EscapeAttributeValue(anchor);
      Write(file, "<" + h + " " + style + "><A NAME=\"" + name + "\">" + text + "</A></" + h + ">\n");
      links.Append("<A HREF=\"#" + name + "\">" +
                   AK_HtmlEscape(AK_GetReferenceText(anchorClass, identifier)) + "</A>");
    } else {
      Write(file, "<" + h + " " + style + ">" + text + "</" + h + ">\n");
    }
    if (!base.IsEmpty()) {
      AK_String specialization =
          AK_String(AK_Text("Is a specialization of ", "Ist eine Spezialisierung von ")) + "->" +
          base + "..";
      AK_HtmlLink(specialization, "");
      Write(file, "<P " + style + ">" + specialization + "</P>\n");
    }
    Write(file, "<P " + style + ">" + doc + "</P>\n");
  }

  if (isClass || isGroup)
    for (int i = 0; i < AK_NodeChildCount(node); ++i)
      AK_WriteHtmlClassPage(AK_NodeChild(node, i), written, links, file, level);
}

void AK_WriteHtmlIndexLists(std::FILE* file, AK_Array<AK_String>& links)
{
  std::vector<AK_String> types, attributes;
  for (const AK_String& link : links) {
    AK_String text = LinkText(link, true);
    if (!std::strchr(text, ':')) {
      types.push_back(link);
      continue;
    }
    AK_Array<AK_String> parts;
    text.Split(':', parts);
    AK_String reversed;
    for (int i = parts.Size() - 1; i >= 0; --i) {
      reversed += parts[i];
      if (i > 0) reversed += ", ";
    }
    const char* s = link.c_str();
    const char* ts = std::strchr(s, '>');
    const char* te = std::strrchr(s, '<');
    attributes.push_back(AK_String(s, ts + 1) + reversed + te);
  }
  std::stable_sort(types.begin(), types.end(), LinkLess);
  std::stable_sort(attributes.begin(), attributes.end(), LinkLess);
  WriteIndexList(file, "classes", AK_Text("List of Object Types", "Liste der Objekttypen"), types);
  WriteIndexList(file, "attributes", AK_Text("List of Attributes", "Liste der Attribute"), attributes);
  Write(file, "</BODY>\n</HTML>\n");
}

void AK_CloseHtmlReference(AK_File& file, const char* fileName)
{
  if (!file.Close())
    AK_ErrorText = AK_String("cannot write file '") + (fileName ? fileName : "") + "' for writing references!";
}

int AK_CompareLinkTexts(const AK_String& a, const AK_String& b)
{
  AK_String x = LinkText(a, false), y = LinkText(b, false);
  for (int i = 0;; ++i) {
    unsigned char p = static_cast<unsigned char>(x[i]), q = static_cast<unsigned char>(y[i]);
    if (p >= 'A' && p <= 'Z') p = static_cast<unsigned char>(p - 'A' + 'a');
    if (q >= 'A' && q <= 'Z') q = static_cast<unsigned char>(q - 'A' + 'a');
    if (p != q) return p < q ? -1 : 1;
    if (p == 0) return 0;
  }
}

int AK_CompareClassTables(AK_AttributeNode* a, AK_AttributeNode* b)
{
  return std::strcmp(AK_GetNodeLabel(a), AK_GetNodeLabel(b));
}

// --- the two reference writers ---

void AK_Object::WriteHtmlClassPagesRecursive(AK_Array<AK_String>& written, AK_Array<AK_String>& links,
                                             std::FILE* file)
{
  AK_WriteHtmlClassPage(GetClassInfo(), written, links, file, 0);
  for (int i = 0; i < ComponentCount(); ++i)
    if (Owns(i)) _components[i]->WriteHtmlClassPagesRecursive(written, links, file);
}

void AK_Object::WriteHtmlReferenceRecursive(const char* fileName)
{
  AK_String title = AK_String(AK_Text("Description of ", "Beschreibung von ")) + ProgramName() +
                    ":" + GetClassLabel() +
                    AK_Text(" and all related objects", " und aller untergeordneten Objekte");
  AK_File file = AK_OpenHtmlReference(fileName, title);
  if (!file) return;
  DocumentScope scope;
  for (bool gathering : {true, false}) {
    scope.Document().gathering = gathering;
    AK_Array<AK_String> written, links;
    WriteHtmlClassPagesRecursive(written, links, gathering ? nullptr : file.get());
    if (!gathering) AK_WriteHtmlIndexLists(file, links);
  }
  AK_CloseHtmlReference(file, fileName);
}

void AK_Object::WriteEntireHtmlReference(const char* fileName)
{
  AK_String title =
      ProgramName() + AK_Text(": Description of all objects", ": Beschreibung aller Objekte");
  AK_File file = AK_OpenHtmlReference(fileName, title);
  if (!file) return;
  AK_FillReferenceClassTables();
  AK_Array<AK_AttributeNode*>& tables = AK_ReferenceClassTables();
  std::stable_sort(tables.begin(), tables.end(), [](AK_AttributeNode* a, AK_AttributeNode* b) {
    return AK_CompareClassTables(a, b) < 0;
  });
  DocumentScope scope;
  for (bool gathering : {true, false}) {
    scope.Document().gathering = gathering;
    AK_Array<AK_String> links;
    for (AK_AttributeNode* table : tables) {
      AK_Array<AK_String> written;
      AK_WriteHtmlClassPage(table, written, links, gathering ? nullptr : file.get(), 0);
    }
    if (!gathering) AK_WriteHtmlIndexLists(file, links);
  }
  AK_CloseHtmlReference(file, fileName);
}
