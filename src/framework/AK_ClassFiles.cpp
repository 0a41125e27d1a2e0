// Class files: finding them, reading class tables, default commands and class values.
#include "AK_ClassFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "AK_ClassTable.h"
#include "AK_FrameworkState.h"
#include "AK_Object.h"

namespace {

AK_String ClassFilePath(const AK_String& directory, const char* name, const char* extension,
                        const char* subDirectory)
{
  AK_String path(directory);
  if (subDirectory && *subDirectory) path = AK_JoinPath(path, subDirectory);
  path = AK_JoinPath(path, name ? name : "");
  if (extension) {
    path += ".";
    path += extension;
  }
  return path;
}

// Reads the lines of a text file while each is shorter than `limit` characters; the first
// line that does not fit ends the reading and is not taken.
void AppendLinesWhileShort(std::FILE* file, int limit, AK_Array<AK_String>& list)
{
  AK_String line;
  while (AK_ReadLine(file, line)) {
    if (line.Length() >= limit) break;
    list.Append(line);
  }
}

}  // namespace

AK_String AK_ResolveAttributeFile(const char* name, const char* extension, const char* subDirectory)
{
  AK_String user = ClassFilePath(UserAttributesDirectory, name, extension, subDirectory);
  if (AK_FileExists(user)) {
    AK_MESSAGE(AK_String("user-specific ") + user);
    return user;
  }
  return ClassFilePath(AttributesDirectory, name, extension, subDirectory);
}

AK_Array<AK_String> AK_ListAttributeFiles(const char* extension, const char* subDirectory)
{
  AK_String shared(AttributesDirectory), user(UserAttributesDirectory);
  if (subDirectory && *subDirectory) {
    shared = AK_JoinPath(shared, subDirectory);
    user = AK_JoinPath(user, subDirectory);
  }
  AK_Array<AK_String> names = AK_ListDirectory(shared, extension ? extension : "");
  names.AppendAll(AK_ListDirectory(user, extension ? extension : ""));
  return names;
}

AK_AttributeNode* AK_LoadClassAttributeTable(const char* classNameOrText, AK_AttributeNode* baseTable)
{
  if (!classNameOrText) return nullptr;
  if (std::strncmp(classNameOrText, "obj.", 4) == 0)
    return AK_ParseClassTable(classNameOrText, baseTable);
  AK_String path = AK_ResolveAttributeFile(classNameOrText, "atr", nullptr);
  AK_String text;
  if (!AK_ReadTextFile(path, text)) {
    AK_MESSAGE(AK_String("cannot open attribute file ") + path + "!");
    return nullptr;
  }
  return AK_ParseClassTable(text, baseTable);
}

void AK_LoadClassDefaults(AK_Object*, const char* className, AK_Array<AK_String>& list)
{
  if (list.Size() > 0) return;
  AK_String path = AK_ResolveAttributeFile(className, "def", nullptr);
  if (!AK_FileExists(path)) return;
  AK_File file(path, "r");
  if (!file) {
    list.Append(AK_String("none"));
    return;
  }
  list.Append(AK_String("follow"));
  AppendLinesWhileShort(file, 255, list);
}

int AK_AppendDefaultAttribute(const char* className, const char* attribute, const char* value)
{
  AK_String path = AK_ResolveAttributeFile(className, "def", nullptr);
  AK_File file(path, "a");
  if (!file) {
    AK_MESSAGE(AK_String("W:cannot open default-attributes-file ") + path +
               "! (Missing permissions?)");
    return 1;
  }
  AK_String line = AK_FormatSetCommand("", attribute, value) + "\n";
  const bool written = std::fputs(line, file) >= 0;
  if (!file.Close() || !written) {
    AK_MESSAGE(AK_String("W:cannot write default-attributes-file ") + path + "! " + std::strerror(errno));
    return 1;
  }
  return 0;
}

namespace {

// Without a user application directory there is nowhere to keep class values.
AK_String ClassValuesPath(const char* className)
{
  if (UserApplicationDirectory.IsEmpty()) return AK_String();
  return UserApplicationDirectory + className + ".clv";
}

}  // namespace

void AK_LoadClassValues(const char* className, AK_Array<AK_String>& list)
{
  if (list.Size() > 0) return;
  list.Append(AK_String("status=read"));
  AK_String path = ClassValuesPath(className);
  if (path.IsEmpty() || !AK_FileExists(path)) return;
  AK_File file(path, "r");
  if (!file) return;
  AppendLinesWhileShort(file, 4095, list);
}

int AK_WriteClassValues(const char* className, AK_Array<AK_String>& list)
{
  if (list.Size() < 2 || list[0] == "status=written") return 0;
  list[0] = "status=written";
  AK_String path = ClassValuesPath(className);
  AK_File file = path.IsEmpty() ? AK_File() : AK_File::Replacing(path, "w");
  if (!file) return 1;
  for (int i = 1; i < list.Size(); ++i) {
    std::fputs(list[i], file);
    std::fputc('\n', file);
  }
  return file.Close() ? 0 : 1;
}

namespace {

int FindKeyIndex(const AK_Array<AK_String>& list, const char* key)
{
  if (!key) return -1;
  size_t n = std::strlen(key);
  for (int i = 0; i < list.Size(); ++i)
    if (std::strncmp(list[i], key, n) == 0 && list[i][static_cast<int>(n)] == '=') return i;
  return -1;
}

}  // namespace

const char* AK_FindKeyValue(const AK_Array<AK_String>& list, const char* key)
{
  int i = FindKeyIndex(list, key);
  return i < 0 ? nullptr : list[i].c_str() + std::strlen(key) + 1;
}

void AK_SetKeyValue(AK_Array<AK_String>& list, const char* key, const char* value)
{
  if (!key) return;
  AK_String element = AK_String(key) + "=" + (value ? value : "");
  int i = FindKeyIndex(list, key);
  if (i < 0)
    list.Append(element);
  else
    list[i] = element;
}

AK_String AK_GetNodeLabel(AK_AttributeNode* node)
{
  if (!node) return AK_String();
  AK_String label = AK_NodeHasKind(node) ? AK_NodeNamePart(node, 1) : AK_String(AK_NodeName(node));
  if (!(AK_Language.text == "default")) {
    AK_AttributeNode* translated = AK_NodeFindChild(node, AK_Language.text);
    if (translated) label = AK_NodeValue(translated);
  }
  return label;
}

void AK_SetUpUserApplicationDirectory()
{
  UserApplicationDirectory = "";
  if (AK_ProgramArgumentCount() > 0) {
    AK_String program = AK_String(AK_ProgramArgument(0)).BaseName();
    if (!program.GetExtension().IsEmpty()) program.CutExtension();
    AK_String directory = AK_JoinPath(AK_HomeDirectory(), (AK_String(".") + program).c_str());
    if (AK_MakeDirectory(directory) == 0) UserApplicationDirectory = directory + AK_DIR_SEP_TEXT;
  }
  if (UserAttributesDirectory.IsEmpty()) UserAttributesDirectory = UserApplicationDirectory;
}
