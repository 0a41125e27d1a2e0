// AK_Object: project directories. Each owned object has a directory named by its Id below
// its parent's, holding its attribute file (set commands, "<type>.atr") and its data file
// ("<type>.dat"). This file holds what the tree needs to find, load, unload and describe
// saved objects; writing whole projects builds on it.
#include <cstdio>
#include <cstring>
#include <vector>

#include "AK_ClassTable.h"
#include "AK_Object.h"

void AK_Object::SetProjectDirRecursive(const char* directory)
{
  AK_String dir(directory ? directory : "");
  _projectDir = dir;
  for (int i = 0; i < _components.Size(); ++i)
    if (Owns(i)) _components[i]->SetProjectDirRecursive(AK_JoinPath(dir, _components[i]->_id));
}

AK_String AK_Object::GetSaveVis()
{
  return (!_projectDir.IsEmpty() && AK_FileExists(_projectDir)) ? AK_String("w") : AK_String("r");
}

int AK_Object::DeleteProjectDir()
{
  if (_projectDir.IsEmpty() || !AK_FileExists(_projectDir)) return 0;
  // Never the file-system root or the working directory itself.
  AK_String normal = AK_NormalizePath(_projectDir);
  while (normal.Length() > 1 && normal[normal.Length() - 1] == '/')
    normal = AK_String(normal.c_str(), normal.c_str() + normal.Length() - 1);
  if (normal == "/" || normal == "." || normal == "..") return 0;
  return AK_DeleteDirectoryTree(_projectDir);
}

void AK_Object::WriteAttributeCommands(AK_Object* reference, AK_AttributeNode* node, AK_String& out)
{
  if (!node || AK_NodeFindChild(node, "volatile") || AK_String(AK_NodeValue(node)) == "Id") return;
  const char* setId = AK_NodeSetId(node);
  if (*AK_NodeValue(node) && setId) {
    out += AK_FormatSetCommand(GetAbsolutePath(reference), setId, Get(AK_NodeValue(node)));
    out += "\n";
  }
  for (int i = 0; i < AK_NodeChildCount(node); ++i)
    WriteAttributeCommands(reference, AK_NodeChild(node, i), out);
}

void AK_Object::SaveAttributes(const char* fileName)
{
  AK_String name(fileName && *fileName ? fileName : _macroFileName.c_str());
  std::FILE* file = AK_FileOpen(name, "w");
  if (!file) {
    AK_ErrorText = AK_String("cannot open file ") + name + " for saving attributes!";
    return;
  }
  AK_String commands;
  WriteAttributeCommands(this, GetClassInfo(), commands);
  std::fputs(commands, file);
  if (std::fclose(file) != 0)
    AK_ErrorText = AK_String("cannot open file ") + name + " for saving attributes!";
}

void AK_Object::Load(const char* directory)
{
  AK_String dir(directory ? directory : "");
  AK_MESSAGE(AK_String("loading '") + _id + "' from " + dir);
  SetProjectDirRecursive(dir);

  AK_String data = AK_JoinPath(dir, GetType()) + ".dat";
  AK_STREAM stream;
  if (AK_StreamOpen(stream, data, "rb")) {
    if (LoadData(stream) != 0) {
      AK_ErrorText = AK_String("cannot load data for ") + GetAbsolutePath() + " from file " + data;
      return;
    }
    AK_StreamClose(stream);
  }

  AK_String attributes(data);
  attributes.CutExtension();
  attributes += ".atr";
  // The attribute file restores each attribute once, whatever the repetitions say.
  int repetitions = _macroRepetitions;
  _macroRepetitions = 1;
  ExecMacro(attributes, 1);
  if (!IsAlive(this)) return;
  if (_macroRepetitions == 1) _macroRepetitions = repetitions;
  if (AK_ErrorText.IsEmpty()) MarkModified("Load");
}

void AK_Object::LoadProject(const char* directory)
{
  AK_String dir(directory && *directory ? directory : _projectDir.c_str());

  // Owned components only: a link is loaded by its owner, and may lead back up the tree.
  std::vector<AK_Object*> owned;
  for (int i = 0; i < _components.Size(); ++i)
    if (Owns(i)) owned.push_back(_components[i]);
  for (AK_Object* c : owned) {
    if (!IsAlive(c)) continue;
    c->LoadProject(AK_JoinPath(dir, c->_id));
    if (AK_ErrorText == "interrupted") return;
  }

  if (!_suppressCreatingComponents) {
    AK_Array<AK_String> entries = AK_ListDirectory(dir, "");
    for (const AK_String& entry : entries) {
      // Saved components are named by their Ids, which are plain identifiers.
      if (!AK_IsPlainIdentifier(entry)) continue;
      if (GetComponent(entry)) continue;
      AK_String sub = AK_JoinPath(dir, entry);
      AK_Array<AK_String> tables = AK_ListDirectory(sub, "atr");
      if (tables.Size() != 1) continue;
      AK_String typeName(tables[0]);
      typeName.CutExtension();
      AK_Object* created = CreateComponent(entry, typeName);
      if (!created) continue;
      AddComponent(created);
      created->LoadProject(sub);
      if (AK_ErrorText == "interrupted") return;
    }
  }
  Load(dir);
  if (IsAlive(this)) AfterLoad();
}

void AK_Object::UnloadComponent(const char* id)
{
  AK_String name(id ? id : "");
  AK_MESSAGE(AK_String("unloading ") + name + "...");
  int index = -1;
  for (int i = 0; i < _components.Size() && index < 0; ++i)
    if (Owns(i) && _components[i]->_id == name) index = i;
  if (index < 0) {
    // A link of that name is only dropped: its object belongs to another parent.
    for (int i = 0; i < _components.Size(); ++i) {
      if (_linkFlags[i] && _components[i]->_id == name) {
        RemoveEntry(i);
        break;
      }
    }
    return;
  }
  AK_Object* doomed = _components[index];
  RemoveEntry(index);
  AK_Array<AK_Object*> subtree;
  subtree.Append(doomed);
  doomed->CollectOwnedDescendants(subtree);
  UnlinkSet(subtree);
  delete doomed;
}

void AK_Object::LoadComponent(const char* id)
{
  AK_String name(id ? id : "");
  AK_String sub = AK_JoinPath(_projectDir, name);
  if (!GetComponent(name) && AK_IsPlainIdentifier(name)) {
    AK_Array<AK_String> tables = AK_ListDirectory(sub, "atr");
    if (tables.Size() == 1) {
      AK_String typeName(tables[0]);
      typeName.CutExtension();
      AK_Object* created = CreateComponent(name, typeName);
      if (created) AddComponent(created);
    }
  }
  // A link of that name belongs to another parent, which loads it.
  for (int i = 0; i < _components.Size(); ++i) {
    if (Owns(i) && _components[i]->_id == name) {
      _components[i]->LoadProject(sub);
      return;
    }
  }
}

AK_String AK_Object::GetUnloadedComponentsList()
{
  AK_String list;
  if (_projectDir.IsEmpty()) return list;
  AK_Array<AK_String> entries = AK_ListDirectory(_projectDir, "");
  for (const AK_String& entry : entries) {
    if (!AK_IsPlainIdentifier(entry) || GetComponent(entry)) continue;
    list += entry;
    list += AK_SEP;
  }
  return list;
}
