// The command language: set and get command lines, their escapes, execution with the
// report and explanation modes, and the lists of get and set identifiers of a class table.
#include <cstring>

#include "AK_ClassTable.h"
#include "AK_Object.h"

// --- escapes ---
//
// A value travels between double quotes with newline, TAB and double quote written as
// "%%n", "%%t" and "%%q". Three more escapes make every text survive the round trip: a
// backslash is doubled, a "%" that would otherwise start one of the three escapes is
// written "\%", and a value that is a "$" name (trailing blanks aside) starts with "\$" (a quoted "$" name
// stands for the variable's value). Values that need none of the three keep the plain form.

namespace {

bool StartsEscape(const char* p)
{
  return p[0] == '%' && p[1] == '%' && (p[2] == 'n' || p[2] == 't' || p[2] == 'q');
}

AK_String EscapeValue(const char* value)
{
  AK_String out;
  // The reader takes a quoted "$" name, trailing blanks aside, as the variable's value.
  if (value[0] == '$') {
    const char* end = value + std::strlen(value);
    while (end > value && end[-1] == ' ') --end;
    if (AK_IsVariableName(AK_String(value, end))) out += "\\";
  }
  for (const char* p = value; *p; ++p) {
    switch (*p) {
      case '\n': out += "%%n"; break;
      case '\t': out += "%%t"; break;
      case '"': out += "%%q"; break;
      case '\\': out += "\\\\"; break;
      case '%':
        if (StartsEscape(p)) out += "\\";
        out += '%';
        break;
      default: out += *p;
    }
  }
  return out;
}

// Undoes the escapes in one pass from the left: "%%n", "%%t", "%%q"; "\\" is one
// backslash; a backslash before a newline, a TAB or a double quote goes (hand-written
// macros put one before quotes); "\%" and "\$" are "%" and "$"; any other backslash stays
// (Windows paths typed by hand).
AK_String UnescapeValue(const char* text)
{
  AK_String out;
  const char* p = text;
  while (*p) {
    if (StartsEscape(p)) {
      out += p[2] == 'n' ? '\n' : p[2] == 't' ? '\t' : '"';
      p += 3;
      continue;
    }
    if (*p == '\\') {
      char next = p[1];
      if (next == '\\' || next == '%' || next == '$') {
        out += next;
        p += 2;
        continue;
      }
      if (next == '\n' || next == '\t' || next == '"') {
        ++p;
        continue;
      }
    }
    out += *p++;
  }
  return out;
}

const char* FindFrom(const char* from, char c) { return from ? std::strchr(from, c) : nullptr; }

AK_String TrimTrailingBlanks(const char* first, const char* last)
{
  while (last > first && (last[-1] == ' ' || last[-1] == '\t')) --last;
  return AK_String(first, last);
}

// One of the first two arguments (path or attribute), starting after `open`, which is the
// "(" or the comma before it. `comma` is the comma that ends it; on success it is moved to
// the comma after a quoted argument. Returns false when the argument is malformed.
bool ParseNameArgument(AK_Object* self, const char* open, const char*& comma, AK_String& out)
{
  const char* d = FindFrom(open + 1, '$');
  const char* q = FindFrom(open + 1, '"');
  if (d && d < comma && (!q || q > comma)) {
    out = self->GetVariable(TrimTrailingBlanks(d, comma));
    return true;
  }
  if (!q) return false;
  const char* close = FindFrom(q + 1, '"');
  if (!close) return false;
  out = AK_String(q + 1, close);
  comma = FindFrom(close + 1, ',');
  return comma != nullptr;
}

const char* FindLast(const char* from, char c)
{
  const char* last = std::strrchr(from, c);
  return last;
}

}  // namespace

AK_String AK_FormatSetCommand(const char* path, const char* attribute, const char* value)
{
  AK_String command("set(\"");
  command += path ? path : "";
  command += "\", \"";
  command += attribute ? attribute : "";
  command += "\", \"";
  command += EscapeValue(value ? value : "");
  command += "\")";
  return command;
}

AK_String AK_FormatSetCommandFor(AK_Object* reference, AK_Object* object, const char* attribute,
                                 const char* value)
{
  return AK_FormatSetCommand(object ? object->GetAbsolutePath(reference) : AK_String(),
                             attribute, value);
}

int AK_Object::ParseCommand(const char* command, AK_String& kind, AK_String& path,
                            AK_String& attribute, AK_String& value)
{
  if (!command) return 1;
  if (command[0] == '#') {
    kind = "";
    return 0;
  }
  bool isSet = std::strncmp(command, "set(", 4) == 0;
  bool isGet = std::strncmp(command, "get(", 4) == 0;
  if (!isSet && !isGet) return 1;

  const char* open = std::strchr(command, '(');
  const char* c1 = FindFrom(open, ',');
  if (!c1) return 1;
  AK_String parsedPath;
  if (!ParseNameArgument(this, open, c1, parsedPath)) return 1;

  const char* c2 = FindFrom(c1 + 1, ',');
  if (!c2) return 2;
  AK_String parsedAttribute;
  if (!ParseNameArgument(this, c1, c2, parsedAttribute)) return 2;

  const char* p = FindLast(c2 + 1, ')');
  if (!p) return 3;
  const char* q1 = FindFrom(c2 + 1, '"');
  const char* q2 = q1 ? FindLast(q1 + 1, '"') : nullptr;
  const char* d = FindFrom(c2 + 1, '$');

  // A "$" name as the value: unquoted before the closing parenthesis, or quoted as the
  // whole of the quoted text (a "$" further inside a quoted text is taken literally).
  AK_String variable;
  if (d && (!q1 || q1 > p))
    variable = TrimTrailingBlanks(d, p);
  else if (d && q1 < p && q2 && d == q1 + 1 && d < q2)
    variable = TrimTrailingBlanks(d, q2);

  AK_String parsedValue;
  if (AK_IsVariableName(variable)) {
    parsedValue = isSet ? GetVariable(variable) : variable;
  } else {
    if (!q1 || !q2 || q2 <= q1) return 3;
    parsedValue = UnescapeValue(AK_String(q1 + 1, q2));
    if (isGet && parsedValue[0] != '$') {
      AK_MESSAGE("third argument of get() must be variable name!");
      return 4;
    }
  }
  kind = isSet ? "set" : "get";
  path = parsedPath;
  attribute = parsedAttribute;
  value = parsedValue;
  return 0;
}

// --- explanations ---

namespace {

AK_String ExplanationText(AK_Object* target, const char* command, const AK_String& attribute,
                          const AK_String& value)
{
  AK_String e;
  if (!AK_PendingExplanation.IsEmpty()) {
    e += AK_PendingExplanation;
    e += "\n\n";
    AK_PendingExplanation = "";
  }
  AK_AttributeNode* table = target->GetClassInfo();
  AK_AttributeNode* entry = table ? AK_FindSetEntry(table, attribute) : nullptr;
  bool pick = entry && (AK_NodeFindChild(entry, "pick world") ||
                        AK_NodeFindChild(entry, "pick world multiple"));
  AK_String type = entry ? AK_NodeNamePart(entry, 0) : AK_String();
  AK_String className = table ? AK_NodeNamePart(table, 1) : AK_String();

  if (!target->Parent() && attribute == "Transformation") {
    e += AK_Text("Rotate/zoom/shift to obtain some desired view...",
                 "Drehen/zoomen/verschieben Sie bis Sie eine gewuenschte Ansicht erhalten...");
    e += " (->";
    e += className;
    e += ".)";
    return e;
  }
  e += AK_Text("\nSelect the object '", "\nWaehlen Sie das Objekt '");
  e += target->GetAbsolutePath();
  e += "' (->";
  e += className;
  e += ".)";

  AK_String group;
  AK_Array<AK_AttributeNode*> path;
  if (table && AK_FindCommandPath(table, attribute, 's', path)) {
    for (int i = 0; i < path.Size(); ++i)
      if (AK_NodeIsClass(path[i])) group = AK_NodeNamePart(path[i], 1);
  }
  AK_String reference = AK_String("->") + group + "." + attribute;

  if (!value.IsEmpty()) {
    e += AK_Text(",\nselect ", ",\nwaehlen Sie ");
    e += reference;
    if (entry && AK_NodeFindChild(entry, "options")) {
      e += AK_Text(" and select option '", "' und waehlen Sie '");
      e += value;
      e += AK_Text("'.", "' aus.");
    } else if (type == "bool") {
      e += AK_Text(" and switch to '", "' und schalten Sie auf '");
      e += value;
      e += value == "0" ? AK_Text("' (off).", "' (aus).") : AK_Text("' (on).", "' (ein).");
    } else if (type == "filename") {
      e += AK_Text(" and select file '", "' und waehlen Sie die Datei '");
      e += value;
      e += AK_Text("'.", "' aus.");
      e += AK_Text(" (Adjust the file name if necessary.)", " (Dateinamen ggf. anpassen.)");
    } else if (type == "directory") {
      e += AK_Text(" and select directory '", "' und waehlen Sie das Verzeichnis '");
      e += value;
      e += AK_Text("'.", "' aus.");
      e += AK_Text(" (Adjust the directory name or create the directory first if necessary.)",
                   " (Verzeichnisnamen ggf. anpassen bzw. Verzeichnis erst anlegen.)");
    } else if (pick) {
      e += AK_Text(
          " and mouse-click (:pick world or :pick world multiple) or enter the coordinates '",
          " und klicken Sie mit der Maus (:pick world or :pick world multiple) oder geben die "
          "Koordinaten '");
      e += value;
      e += AK_Text("'.", "' ein.");
    } else {
      e += AK_Text(" and enter '", "' und geben Sie '");
      e += value;
      e += AK_Text("'.", "' ein.");
    }
  } else {
    e += AK_Text("\nand apply ", "\nund wenden Sie ");
    e += reference;
    e += AK_Text(".", " an.");
  }
  e += AK_Text(" \n(The corresponding macro command is '", " \n(Der entsprechende Makrobefehl ist '");
  e += command;
  e += "'.)";
  return e;
}

bool IsPointerValue(const AK_String& value)
{
  return value.ToPointer() != nullptr;
}

}  // namespace

void AK_Object::ExecuteCommand(const char* command, int quiet)
{
  if (!command) return;
  // Each command starts clean: an old failure must not end a later macro line.
  AK_ErrorText = "";
  AK_String line(command);
  if (AK_ReportCommandsFlag)
    AK_MESSAGE(GetAbsolutePath() + " executing command '" + line + "'");

  AK_String kind, path, attribute, value;
  if (ParseCommand(line, kind, path, attribute, value) != 0) {
    AK_MESSAGE(AK_String("invalid command string:") + line + " ignored!");
    return;
  }
  if (kind.IsEmpty()) return;
  if (IsPointerValue(value)) return;

  // The command may delete its target or this object; both stay readable until it returns.
  AK_OperationScope scope;
  AK_Object* target = nullptr;
  if (path.IsEmpty())
    target = this;
  else if (path == "root")
    target = GetRoot();
  else
    target = FindObject(path);

  bool handled = false;
  if (!target) {
    AK_ErrorText = AK_String("object '") + path + "' not found";
  } else {
    bool isSet = kind == "set";
    if (isSet && attribute == "ExplainCommands" && value != AK_String(AK_ExplainCommandsFlag)) {
      AK_MESSAGE(AK_String("INFO:") +
                 (value == "1"
                      ? AK_Text("Explanation-mode is switched on. All commands in the running "
                                "macro will be explained before execution.",
                                "Erklaerungsmodus wird eingeschaltet. Alle Befehle im laufenden "
                                "Makro werden vor ihrer Ausfuehrung erklaert.")
                      : AK_Text("Explanation-mode is terminated.", "Erklaerungsmodus wird beendet.")));
    } else if (AK_ExplainCommandsFlag && !quiet && isSet) {
      AK_MESSAGE(AK_String("CMD-INFO:") + ExplanationText(target, line, attribute, value));
      if (!AK_ErrorText.IsEmpty()) return;
    }
    if (isSet) {
      handled = target->Set(attribute, value) != 0;
    } else {
      AK_String answer = target->Get(attribute);
      if (!IsDead()) SetVariable(value, answer);
      handled = true;
    }
  }
  if (!handled) AK_MESSAGE(AK_String("could not execute command ") + line + ", ignored!");
  if (!AK_ErrorText.IsEmpty())
    AK_MESSAGE(AK_String("error when executing '") + line + "':" + AK_ErrorText);
}

// --- command and label lists ---

void AK_CollectCommands(AK_Object* object, AK_Array<AK_String>& list, AK_AttributeNode* entry,
                        char kind, int visibleOnly, int labels)
{
  if (!entry) return;
  if (visibleOnly) {
    AK_AttributeNode* vis = AK_NodeFindChild(entry, "vis");
    if (vis && object && object->Get(AK_NodeValue(vis)) == "-") return;
    if (AK_NodeFindChild(entry, "volatile")) return;
  }
  if (!AK_NodeHasKind(entry)) return;
  const char* setId = AK_NodeSetId(entry);
  const char* value = AK_NodeValue(entry);
  if (kind == 's' && setId) list.Append(labels ? AK_GetNodeLabel(entry) : AK_String(setId));
  if (kind == 'g' && *value) list.Append(labels ? AK_GetNodeLabel(entry) : AK_String(value));
  if (!setId && !*value)
    for (int i = 0; i < AK_NodeChildCount(entry); ++i)
      AK_CollectCommands(object, list, AK_NodeChild(entry, i), kind, visibleOnly, labels);
}

void AK_Object::GetCommandsList(AK_String& out, char kind, int visibleOnly, int labels)
{
  AK_Array<AK_String> list;
  AK_CollectCommands(this, list, GetClassInfo(), kind, visibleOnly, labels);
  out = AK_String(list, AK_SEP);
}
