// AK_Object: the root class of every object of the tree.
//
// An object has an identifier unique among its siblings, a parent, an ordered list of
// components (owned children and links to objects owned elsewhere), "$" variables,
// modification stamps per attribute, a macro file name and a project directory. All access
// by name goes through the virtual Get and Set; each class offers a name first to its class
// script, then to its own names, then to its base class.
//
// How a class is defined: see AK_ClassHelper.h (the class record, the construction protocol,
// Get and Set) and AK_AttributeTable.h (one line per attribute):
//
//   class SW_Foo : public AK_Class<SW_Foo> {
//   public:
//     static constexpr const char* kClassName = "SW_Foo";
//     SW_Foo(const char* id, AK_Object* parent) : AK_Class(id, parent)
//     {
//       SetUpClassLevel();
//       RunClassDefaults();
//     }
//     static void DeclareAttributes(AK_AttributeTableOf<SW_Foo>& t)
//     {
//       t.Int("Steps", &SW_Foo::_steps).Range(1, 1000);
//       t.Vis("StepsVis", [](SW_Foo& o) { return o._steps > 1 ? "w" : "r"; });
//     }
//     int32_t _steps = 10;
//   };
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "AK_Basic.h"
#include "AK_ClassFiles.h"
#include "AK_FrameworkState.h"
#include "AK_ProjectMarks.h"
#include "AK_SmallFile.h"
#include "AK_WeakRef.h"

class AK_AttributeNode;
class AK_AttributeTable;
struct AK_AttributeEntry;
class AK_STREAM;
class AK_Object;

// What objects hold while their project directories change as a whole (their locks and the work
// of their own that goes with it), given back when the holds go.
using AK_DirectoryHolds = std::vector<std::shared_ptr<void>>;
enum class AK_DirectoryChange {
  Read,      // a load reads it
  SaveInto,  // a save writes the object into it
  Remove,    // the object is deleted with it
  Move,      // the object is renamed, and it with it
};

using AK_ComponentFactory = AK_Object* (*)(const char* text);

// What a tree holds of those marks while it runs (AK_Object_Renames.cpp).
class AK_RenameState;
enum class AK_PathNamingNothing;

// While one lives, a new component takes the name its saved directory bears (a load makes it so),
// whatever a pending rename left of that name.
class AK_SavedNames {
public:
  AK_SavedNames() { ++Depth(); }
  ~AK_SavedNames() { --Depth(); }
  AK_SavedNames(const AK_SavedNames&) = delete;
  AK_SavedNames& operator=(const AK_SavedNames&) = delete;
  static bool Active() { return Depth() > 0; }

private:
  static int& Depth()
  {
    static int depth = 0;
    return depth;
  }
};

// While one lives, the paths looked up are read as the files saved before the pending renames and
// deletions of the project hold them: an old name leads to the renamed object. Outside one (a
// path typed in a command, a macro or a script), a path names what stands under it now.
class AK_SavedPaths {
public:
  AK_SavedPaths() { ++Depth(); }
  ~AK_SavedPaths() { --Depth(); }
  AK_SavedPaths(const AK_SavedPaths&) = delete;
  AK_SavedPaths& operator=(const AK_SavedPaths&) = delete;
  static bool Active() { return Depth() > 0; }

private:
  static int& Depth()
  {
    static int depth = 0;
    return depth;
  }
};

class AK_Object {
public:
  AK_Object(const char* id, AK_Object* parent);
  AK_Object(const AK_Object&) = delete;
  AK_Object& operator=(const AK_Object&) = delete;

  // --- the virtual operations, in their slot order ---
  virtual ~AK_Object();
  virtual AK_AttributeNode* GetClassInfo();
  virtual AK_String Get(const char* name);
  virtual int Set(const char* name, const char* value);
  virtual int AppendDefaultAttribute(const char* attribute, const char* value);
  virtual void Update();
  [[nodiscard]] virtual int DeleteProjectDir();
  virtual int IsA(const char* typeName);
  virtual void SaveAttributes(const char* fileName);
  virtual int SaveData(AK_STREAM& stream);
  virtual int LoadData(AK_STREAM& stream);
  virtual void AfterLoad();
  virtual AK_Object* CreateComponent(const char* id, const char* typeName);
  virtual void Unload(const char* text);
  virtual int32_t ModificationTime(const char* attribute);
  virtual int WriteClassValues();
  // Takes what the object must hold before `directory`, its project directory, changes as a
  // whole or is read by a load, adding it to `holds`: false, with the error text saying why,
  // when another writer has it now; nothing of the directory has changed then. Every object of
  // a project is asked before a save or a deletion touches any file, so that a refused one
  // changes nothing. Nothing to hold by default.
  virtual bool HoldDirectory(const char* directory, AK_DirectoryChange change, AK_DirectoryHolds& holds);
  // The locks a save of the object into the directory holds while it writes its files there: the
  // directory's own; an object whose save reads another directory as well holds that one's too.
  virtual void LockForSave(const char* directory, AK_DirectoryHolds& holds);
  // What a load removes of what writers killed in the object's directory left: the temporaries of
  // writers that held the directory's lock by default; an object whose directory holds more of its
  // own (a run lock set aside) names that too.
  virtual AK_Leftovers LeftoversOfKilledWriters();
  // Ends what writers that are gone left in `directory`, a directory below the object's own that
  // a load finds no component for yet, before the load looks for a saved object there: a save of
  // a new component killed before its files were in place left only that. "" when done or when
  // nothing was left, else why not (the load fails with it). Nothing by default.
  virtual AK_String EndWhatIsGoneInNewComponentDirectory(const char* directory);
  // True when a save of the object into the directory carries there, beside its own files, a
  // state of the directory it came from (a run directory's series), which goes only with a
  // whole save: the files of such an object that did not load whole are never copied there as
  // they are. False by default.
  virtual bool CopiesInto(const char* directory);
  // Why a save of the object into the directory could not be made whole, found before any file
  // of the save changes (SaveProjectAs asks every object of the project first): what the save
  // must read cannot be read. "" when nothing is known against it, by default.
  virtual AK_String SaveRefusal(const char* directory);
  // What a save of the object into another directory than its own changes of it beside its
  // directory and what it knows of its last save (a simulation binds its series to the run
  // directory it copied into): a call that puts that back, for a save that failed and leaves the
  // object where it was. Nothing by default.
  virtual std::function<void()> StateBeforeSaveElsewhere();

  // --- class level ---
  static AK_ClassRecord& ClassRecord();
  // The names every object reads and writes (AK_AttributeTable.h).
  static const AK_AttributeTable& Attributes();
  // The table of the object's own class (its base tables hang below it).
  virtual const AK_AttributeTable& AttributeTable();
  // Runs elements 1 .. count-1 of a class's default-command list on this object, quietly.
  void RunClassDefaults(const AK_ClassRecord& record);
  AK_String GetType();
  void GetTypeChain(AK_Array<AK_String>& list);
  void CollectTypeNames(AK_Array<AK_String>& list);
  AK_String GetIdAndType();
  AK_String GetClassLabel();

  // --- identifier ---
  const AK_String& Id() const { return _id; }
  void SetUniqueId(const char* wanted);

  // The component that bears now the name `head` had before a rename that the objects naming it
  // have not all saved yet (see AK_Object_Renames.cpp); none when there is no such rename, and
  // none outside a read of saved paths (AK_SavedPaths, a load's replay of saved attributes). A
  // saved path asks it before the components by name: until that save nothing else takes the
  // name, so a path that bears it was written before the rename and means the renamed object.
  AK_Object* FindRenamedComponent(const char* head);
  // True when a rename or a deletion of one of this object's components that is not saved yet
  // left the name `id`, and `bearer` is not the object it renamed: nothing else takes that name
  // until then. `renamedTo`, when given, receives the name the object bears now ("" when deleted).
  bool NameVacatedByRename(const char* id, const AK_Object* bearer, AK_String* renamedTo = nullptr);
  // Why a component of this object may not take the name `id` (made a plain identifier) now: a
  // rename or a deletion not saved yet left it, and no object bears it now; "" when it may. Saved
  // paths name the object it left by it until the project is saved whole, so a command that asks
  // for it is refused with this, which says what to do.
  AK_String VacatedNameRefusal(const char* id, const AK_Object* bearer = nullptr);
  // After a new object was made, or renamed, under a name asked for: says the name it was given
  // when another object bore the one asked (made a plain identifier), which the numbering left.
  void SayNameGiven(const char* asked);
  // Where the saved files of `dir`, a directory of the project that a file saved before stands for
  // (a path there joined to the directory that file lies in), are now when a rename pending in the
  // project moved them: the directory under the new name, as the next load would follow the path
  // there; `dir` itself when no pending rename moved it. The marks as they stand on disk (another
  // process may have renamed); unreadable when they cannot be read.
  AK_Read<AK_String> MovedByPendingRename(const AK_String& dir);
  // True when the path, from this object, names an object whose deletion the objects that named
  // it have not all saved yet (see AK_Object_Renames.cpp).
  bool NamesDeletedObject(const char* path);
  // The object a path names from this one among the objects in memory, an old name of a renamed
  // one read as its new name; it never loads a saved component that the path happens to name.
  // None when the path leaves the objects in memory: `stoppedAt` is then the last object reached
  // and `missing` the name not found below it (when given).
  AK_Object* FindLoaded(const char* path, AK_Object** stoppedAt = nullptr, AK_String* missing = nullptr);
  // Refuses every later rename, with a message that names the object: the project makes it
  // under its name and finds it by that name.
  void FixId() { _fixedId = true; }

  // --- lifetime (see AK_WeakRef.h) ---
  // True once the object was deleted; its memory lasts until the outermost operation ends.
  bool IsDead() const { return _life->dead; }
  // Deletes the object: unlinks it from its parent's list, marks it and its owned subtree
  // dead and frees them now, or, while an operation runs, when the outermost one ends.
  static void Destroy(AK_Object* object);
  // Taken out of its parent's list by Detach, and not added anywhere since.
  bool IsDetached() const { return _detached; }

  // --- tree ---
  // The component list; a link whose object has died is dropped before the list is read.
  AK_Object* Parent() const { return _parent; }
  int ComponentCount();
  AK_Object* Component(int i);
  bool IsLink(int i);
  bool Owns(int i);

  AK_Object* GetRoot();
  AK_Object* GetComponent(const char* id);
  void AddComponent(AK_Object* component);
  void AddLink(AK_Object* object);
  void AddNewComponent(const char* text);
  int DeleteComponent(const char* id);
  int RemoveComponent(const char* id);
  void Detach();
  void SortComponents();
  // The owned components as they are now, for walks whose steps may change the list.
  std::vector<AK_Object*> OwnedComponents();
  void CollectOwnedDescendants(AK_Array<AK_Object*>& list);
  void CollectDescendantsOfType(const char* typeName, AK_Array<AK_Object*>& list);
  AK_Object* GetComponentByIndexPath(int n, const int* indices);
  void SetOnTypeRecursive(const char* typeName, const char* attribute, const char* value);
  // HoldDirectory of this object and of every owned object below it, each for its directory
  // below `directory` (joined with its Id); false at the first refusal.
  bool HoldSubtreeDirectories(const char* directory, AK_DirectoryChange change, AK_DirectoryHolds& holds);
  void SetComponentFactory(AK_ComponentFactory factory) { _componentFactory = factory; }
  // Each component's Id followed by "%AK_SEP%".
  AK_String GetComponentIdList();

  // --- variables and stamps ---
  AK_String GetVariable(const char* name);
  void SetVariable(const char* name, const char* value);
  void SetVariableValue(const char* assignment);
  AK_String GetVariableValues();
  void SetVariableValues(const char* text);
  // The names of the variables, in order of creation (the values need not survive the
  // separators of GetVariableValues).
  const AK_Array<AK_String>& VariableNames() const { return _variableNames; }
  void MarkModified(const char* attribute);
  int32_t ModificationTimeRecursive(const char* attribute);
  int32_t LastModificationTime();
  int32_t LastModificationTimeRecursive();
  int32_t UpdateStamp() const { return _updateStamp; }

  // --- walks ---
  void PrintTree(int depth);
  int CountObjects();
  AK_String GetOwnedPathList();

  // --- paths ---
  void GetAbsolutePath(AK_String& out, AK_Object* reference = nullptr);
  AK_String GetAbsolutePath(AK_Object* reference = nullptr);
  AK_Object* FindObject(const char* path);
  void ListObjectsOfType(AK_String& out, const char* typeName, AK_Object* reference,
                         const char* idPart);
  void ListAttributeAddresses(AK_String& out, const char* kind, AK_Object* reference);
  void FormatSetCommandForAttribute(AK_String& out, AK_Object* object, AK_AttributeNode* entry,
                                    const char* value, int typeForm);
  // The live object at a pointer text, when it is part of this object's tree; else none.
  AK_Object* ResolvePointerText(const char* text);

  // --- commands and macros ---
  int ParseCommand(const char* command, AK_String& kind, AK_String& path, AK_String& attribute,
                   AK_String& value);
  void ExecuteCommand(const char* command, int quiet);
  void GetCommandsList(AK_String& out, char kind, int visibleOnly, int labels);
  // Quiet runs are loads of saved attribute files: a refused or malformed line is reported
  // with its file and line number and the run goes on. Answers the number of such lines.
  // With `digest`, the file is read whole before any line runs and its lines run from those
  // bytes (a file replaced meanwhile changes nothing); `digest` receives their
  // AK_ContentDigest, "" when the file could not be read.
  int ExecMacro(const char* fileName, int quiet, AK_String* digest = nullptr);
  void RunScriptFile(const char* fileName);
  // The file that ExecMacro runs for a name (the name itself, else the file of that name in
  // the attributes directories), or "" when there is none.
  static AK_String FindMacroFile(const char* name);
  // True when the file is one of the macros running now, under whatever name.
  static bool IsMacroRunning(const char* file);

  // --- class scripts (answer 0 while the class has no script) ---
  int ScriptGet(ast_sci_namespace scriptNamespace, const char* attribute, AK_String& value);
  int ScriptSet(ast_sci_namespace scriptNamespace, const char* attribute, const char* value);

  // --- project directories ---
  const AK_String& ProjectDir() const { return _projectDir; }
  void SetProjectDirRecursive(const char* directory);
  AK_String GetSaveVis();
  void WriteAttributeCommands(AK_Object* reference, AK_AttributeNode* node, AK_String& out);
  // Writes "<type>.atr" and "<type>.dat" into the directory, unless the object is unchanged
  // since it was last saved to or loaded from that same directory and both files exist.
  void SaveAs(const char* directory);
  void Save();
  // The next save writes the object whatever its stamps say (its saved files differ from it,
  // written by another process since).
  void ForgetSaved() { _savedStamp = 0; }
  // The value that the object's saved attribute file in the directory ("<type>.atr") sets the
  // attribute to (a line set("", attribute, value)); missing without the file or the line.
  AK_Read<AK_String> SavedAttribute(const char* directory, const char* attribute);
  // True when the saved attribute file in the directory holds other commands than
  // AK_Object::SaveAttributes would write now, the lines that set one of `leftOut` on the object
  // itself aside; missing when there is no such file.
  AK_Read<bool> SavedAttributesDiffer(const char* directory, const std::vector<const char*>& leftOut);
  // The attributes of the object itself that the saved attribute file in the directory sets
  // otherwise than AK_Object::SaveAttributes would now, in the file's order (the order a load
  // replays them in), each with the value saved; those of `leftOut` aside.
  AK_Read<std::vector<std::pair<AK_String, AK_String>>> SavedAttributesNotNow(const char* directory,
                                                                              const std::vector<const char*>& leftOut);
  // The digest of those commands of the saved attribute file, the same lines left out; missing
  // without the file.
  AK_Read<AK_String> SavedAttributesDigest(const char* directory, const std::vector<const char*>& leftOut);
  // The same of the text of such a file.
  AK_String AttributesDigestOf(const AK_String& saved, const std::vector<const char*>& leftOut);
  // The saved attribute file of the object in the directory.
  AK_String SavedAttributesPath(const char* directory);
  // Rewrites that one line of the saved attribute file with the value (appended when the
  // file has none), every other line left as it is, so that one attribute is recorded
  // without saving the others. Nothing without the file, nor when the line says so already.
  // False, with AK_ErrorText saying why ("cannot read <path>: <reason>" for a file that stands
  // but cannot be read), when the file could not be read or written.
  [[nodiscard]] bool RewriteSavedAttribute(const char* directory, const char* attribute, const char* value);
  // SaveAs, then each owned component into the directory joined with its Id.
  void SaveProjectAs(const char* directory);
  // SaveProjectAs of the directory; "" (the command, a run before it starts) means ProjectDir.
  void SaveProject(const char* directory = "");
  // One file with the saved attributes of the object and of everything below it (owned and
  // linked components, each object once), paths relative to this object.
  void SaveAttributesRecursively(const char* fileName);
  // Copies the saved attributes of the source along this object's class table, leaving out
  // the set identifiers of the list.
  void AssignAttributesOf(AK_Object* source, const AK_Array<AK_String>& leaveOut);
  void AssignAttributesFromTable(AK_Object* source, AK_AttributeNode* node,
                                 const AK_Array<AK_String>& leaveOut);
  void Load(const char* directory);
  // Why the last load did not restore the object whole ("" when it did, and after a whole save
  // of what it holds since). Its files stay as they are until it changes: a damaged project is
  // never saved over with what little of it could be read.
  const AK_String& LoadDamage() const { return _loadDamage; }
  // True when the last load could not read the object's files (one could not be opened or read,
  // or its data could not be read back, and its attribute file then never ran): the object
  // holds defaults in place of what they hold. It carries that damage until it is loaded again
  // whole, however it changes: nothing saves it over those files, copies it or runs on it.
  bool FilesNotRead() const { return !_loadDamage.IsEmpty() && _filesNotRead; }
  // The digest (AK_ContentDigest) of the bytes of the attribute file that the last load of the
  // object ran, "" when it ran none: what the object was loaded from, whatever has been saved
  // over that file since.
  const AK_String& LoadedAttributesDigest() const { return _loadedAttributesDigest; }
  // The digest (AK_FileDigest) of the object's data file as this process last read it whole or
  // wrote it: "none" when its directory held none at the load, "" when this process has neither
  // loaded nor saved it. What another process saves over the file since leaves it as it is: it
  // tells the object held here from the one that stands on the disk now.
  const AK_String& DataIdentity() const { return _dataIdentity; }
  // True while a load runs an object's saved attribute file: a set command then restores what
  // was saved, rather than being given by a user or a macro.
  static bool ReplayingSavedAttributes();
  // Loads the subtree; when objects did not load whole (a data file, refused or malformed
  // lines of an attribute file), the error text names every one of them.
  void LoadProject(const char* directory);
  void UnloadComponent(const char* id);
  void LoadComponent(const char* id);
  AK_String GetUnloadedComponentsList();
  int WriteClassValuesRecursive();

  // --- attributes ---
  AK_String GetIdVisibility();
  int IsActive() const { return _active; }
  void SetActive(int active) { _active = active; }
  const AK_String& MacroFileName() const { return _macroFileName; }
  void SetMacroFileName(const char* name) { _macroFileName = name ? name : ""; }
  int MacroRepetitions() const { return _macroRepetitions; }
  void SetMacroRepetitions(int n) { _macroRepetitions = n; }
  int SuppressCreatingComponents() const { return _suppressCreatingComponents; }
  void SetSuppressCreatingComponents(int on) { _suppressCreatingComponents = on; }

  // --- parameter sets and the background start ---
  void ApplyParameterSet(const char* name);
  // The name of the set in force, or "none" (for good once one of its attributes changed).
  AK_String GetParameterSet();
  int IsParameterSetInForce(int index);
  // Starts the program once more, detached, with these arguments (blanks separate them,
  // double quotes group them; no other character is special).
  void StartInBackground(const char* arguments);

  // --- the HTML reference ---
  // The section of this object's class table, then those of its owned components.
  void WriteHtmlClassPagesRecursive(AK_Array<AK_String>& written, AK_Array<AK_String>& links,
                                    std::FILE* file);
  void WriteHtmlReferenceRecursive(const char* fileName);
  void WriteEntireHtmlReference(const char* fileName);

protected:
  int32_t _active = 1;
  AK_ComponentFactory _componentFactory = nullptr;
  int32_t _suppressCreatingComponents = 0;
  int32_t _updateStamp = 0;
  AK_String _id;
  AK_Object* _parent = nullptr;
  // Every entry answers null once its object is dead, so a link never dangles.
  AK_Array<AK_ObjectRef> _components;
  AK_Array<unsigned char> _linkFlags;
  AK_Array<AK_String> _stampNames;
  AK_Array<int32_t> _stamps;
  AK_Array<AK_String> _variableNames;
  AK_Array<AK_String> _variableValues;
  AK_String _macroFileName;
  int32_t _macroRepetitions = 1;
  AK_String _projectDir;
  int32_t _parameterSetInForce = -1;
  // The directory of the last successful save or load and the stamp it was given there:
  // an object unchanged since then is not written into that directory again.
  AK_String _savedDir;
  int32_t _savedStamp = 0;
  // The name the object had before a rename moved its directory to `_renamedDir`, for as long as
  // the files there are still those written under that name (until a save writes its attribute
  // file there, or a load reads them): a save that cannot write that file gives the object its
  // name back, so the project on disk stays as it was before the rename, never the new name over
  // the old files. Empty when no such rename is pending.
  AK_String _idBeforeRename;
  AK_String _renamedDir;
  // Why the last load did not restore the object whole ("" when it did), and the stamp that
  // load ended with: until the object changes after it, a save leaves its files alone, so a
  // damaged project is never saved over with what little of it could be read. An object whose
  // files could not be read (FilesNotRead) is left alone whether it changed or not.
  AK_String _loadDamage;
  AK_String _loadDamageDir;  // where those files lie
  int32_t _loadDamageStamp = 0;
  bool _filesNotRead = false;
  // What a deletion took from the saved attributes, named by the next save: the path entry (none
  // for a link) and its name with the deleted object's path.
  struct LostReference {
    const AK_AttributeEntry* entry;
    AK_String what;
  };
  std::vector<LostReference> _lostReferences;
  AK_String _loadedAttributesDigest;
  AK_String _dataIdentity;
  // An attribute that decides which attributes the object has (a user object's attribute
  // set): saved and copied before every other, and the reason why the object's type name
  // can differ from the one its saved files carry.
  const char* _leadingAttribute = nullptr;

  // Removes entry i and its flag; later entries move down.
  void RemoveEntry(int i);
  // Drops the entries whose objects have died since the list was last looked at.
  void PruneDeadEntries();
  // The index of the entry that refers to the object, or -1.
  int IndexOf(const AK_Object* object);

private:
  // The components by identifier, beside the list, so that a lookup and the making of a
  // unique identifier take constant time however many siblings there are
  // (AK_Object_Ids.cpp). Built on first use, kept up as entries come and go, built anew after
  // a listed object changed its identifier.
  struct IdIndex;
  struct IdIndexDeleter {
    void operator()(IdIndex* index) const;
  };
  IdIndex& Ids();
  // The first entry in list order whose object is alive and bears the identifier, or null.
  AK_Object* FirstHolder(const char* id);
  // True when an entry other than `except` bears the identifier.
  bool HeldByOther(const char* id, const AK_Object* except);
  void IndexEntry(AK_Object* object);
  void UnindexEntry(AK_Object* object);
  // After this object's identifier changed from `old`: the indexes of the lists it stands in
  // follow.
  void ReindexAfterRename(const AK_String& old);
  AK_String FreeNameFrom(AK_String candidate, const AK_String& old);
  // The first free name of the chain base_%04d from `number` on (at most 9999), with what
  // the chains before it found; 0 when every name up to 9999 is held.
  int FirstFreeNumber(const AK_String& base, int number);
  // The name with the fewest "x" appended that no entry bears, with what the searches before
  // found.
  AK_String FirstFreeWithX(const AK_String& name);
  std::unique_ptr<IdIndex, IdIndexDeleter> _idIndex;
  // Entries of component lists that refer to this object.
  int32_t _listings = 0;

  friend class AK_ObjectRef;
  AK_Object* CreateSavedComponent(const char* id);
  void LoadSubtree(const char* directory);
  void KeepFreshlyLoaded(int32_t loadStart);
  void RecordLoadDamage(const AK_String& damage, const AK_String& directory, bool filesNotRead);
  // Leaves the files of an object that did not load whole as they are; a save into another
  // directory gets copies of them. A change to an object whose files could not be read is
  // dropped there, and the save fails, naming it. False for any other object.
  bool KeepDamagedFiles(const AK_String& directory, int32_t lastChange);
  // The objects whose saved attributes name `target` or an object below it (see
  // AK_Object_References.cpp).
  struct PathHolder {
    AK_ObjectRef holder;
    const AK_AttributeEntry* entry;  // none for a link in the holder's component list
    AK_ObjectRef referent;
  };
  static std::vector<PathHolder> PathHoldersOf(AK_Object* target);
  static void FollowMovedObjects(const std::vector<PathHolder>& holders);
  static void ForgetDeletedObjects(const std::vector<PathHolder>& holders, const AK_String& deleted);
  // Before a save: the paths that still name a deleted object are cleared, so that the save
  // writes none that a load refuses.
  void DropPathsOfDeletedObjects();
  // The save of an object whose only change is the path of an object it names: each line of its
  // saved attribute file in `directory` that holds such a path is written anew, every other line
  // left as it is; false when one could not be, the failure added to the save's.
  [[nodiscard]] bool SavePathsOnly(const AK_String& directory);
  // The attribute and the data file of a save into `dir`, written anew: true when both are whole,
  // else the failure is in the save's list (or the object went while it was saved).
  [[nodiscard]] bool WriteSavedFiles(const AK_String& dir, const AK_String& attributes, const AK_String& data);
  void WarnOfLostReferences();
  // Why a save into `directory` of an object whose damaged files are kept (see KeepDamagedFiles)
  // is refused: into another directory than its own, such files go only as they are, so only when
  // every one of them can be read and none carries a state of its own directory (CopiesInto); into
  // any, a change to an object whose files could not be read is refused. "" when it is not
  // refused. A save of a project asks every object before its first file.
  AK_String DamagedCopyRefusal(const AK_String& directory, int32_t lastChange);
  // What a save of the object and everything it owns into `directory` would be refused for, each
  // object's refusal ("; " between), read before anything is written: damage kept (above), the
  // object's own SaveRefusal, a directory that cannot be looked at. "" when none is.
  AK_String SubtreeSaveRefusals(const AK_String& directory);
  // Why an object with no directory of its own is not saved: its files would go into whatever
  // directory the program runs in.
  AK_String NoProjectDirectory();
  // The directory a save was given, resolved into the one that will hold the object
  // (AK_ResolvedDirectory) before the save looks at anything there; false, with AK_ErrorText
  // naming the object and why, when where it leads cannot be told.
  [[nodiscard]] bool ResolveSaveDirectory(AK_String& directory);
  // What each live object of the subtree (or the object alone) knows of where it is saved: its
  // directory, its last save, its damage, a pending rename's directory, and what its class keeps
  // of its directory (StateBeforeSaveElsewhere). A save into another directory that failed gives
  // each object that it moved there all of it back, so that the next save goes where the project
  // stands, as if the failed one had never been; an object saved where it stood keeps its save.
  struct SavePlace {
    const AK_Object* object;  // compared, never followed
    AK_String projectDir, savedDir, loadDamage, idBeforeRename, renamedDir;
    int32_t savedStamp;
    std::function<void()> giveBackOwnState;
  };
  using SavePlaces = std::vector<SavePlace>;
  void TakeSavePlaces(SavePlaces& held, bool subtree);
  void GiveBackSavePlaces(const SavePlaces& held);
  class SavePlacesKept;
  // The save of SaveProjectAs, after its refusals; `outermost` when no save of a project above it
  // goes on.
  void SaveProjectAsInto(const AK_String& directory, bool outermost);
  // After the object's directory moved whole from `from` to `to` (a rename): the damaged files
  // below it lie there now.
  void MoveLoadDamage(const AK_String& from, const AK_String& to);
  // After the attribute file of a save into `directory` could not be written (its failure in
  // AK_ErrorText): when a rename moved the object's directory there and nothing was written
  // there since, the object takes its name from before the rename back, its directory moving
  // back with it, and AK_ErrorText says so after the failure. True when it did; false leaves the
  // object, its directory and AK_ErrorText's failure as they were (with why it stays, if it tried).
  [[nodiscard]] bool TakeNameBeforeRenameBack(const AK_String& directory);
  void MarkDead();
  void FreeDyingComponents();
  // The mark of a rename of this object from `oldId` to `newId`, written before its directory
  // moves (AK_Object_Renames.cpp): false, with AK_ErrorText saying why, when it cannot be written;
  // the rename is then refused. UnmarkRename puts the marks back as they were before it, for a
  // rename that failed after it; false, with AK_ErrorText, when that failed.
  [[nodiscard]] bool MarkRename(const AK_String& oldId, const AK_String& newId);
  [[nodiscard]] bool UnmarkRename();
  // After the directory moved: a rename of a renamed object is marked, until its directory moved,
  // by a line of that move beside the one line from the first name to the last, which goes now;
  // false, with AK_ErrorText, when it could not (the next load drops it).
  [[nodiscard]] bool MarkRenameMoved();
  // Before a save of this object writes a file in its project's directory while renames are
  // pending there: each new name is marked as one a saved file may hold, so that a later rename of
  // the renamed object leads that name on too. False, with AK_ErrorText, when that cannot be
  // written; the save then writes nothing.
  [[nodiscard]] bool MarkNamesSavedFilesMayHold();
  // Whether the object's attributes name other objects by their paths.
  bool HoldsPaths();
  // Why a save of this object and its components in their project's own directory is refused:
  // one of them stands under a name that a rename pending there left (another process renamed the
  // object it loaded under that name, after this one loaded), or the marks cannot be read. "" when
  // it is not.
  AK_String VacatedNameSaveRefusal();
  // The marks that this object's tree holds (its root's).
  AK_RenameState& RenameState();
  // After this object's component `id` was unloaded (or loaded again): its files were not saved
  // with the rest, so the marks stay until it is loaded again.
  void NoteUnloadedComponent(const AK_String& id, bool unloaded);
  friend AK_PathNamingNothing AK_TakePathNamingNothing(AK_Object& holder, const char* attribute, const char* path);
  std::shared_ptr<AK_RenameState> _renameState;
  // Before a load of the project of this object from `directory`: the renames marked there that
  // were cut short before their directories moved are finished; "" when all went, else why not.
  [[nodiscard]] AK_String FinishRenameMarks(const AK_String& directory);
  // After that load: every object that names a renamed one is due for its next save.
  void FollowRenameMarks();
  // After a whole save of the project in its own directory: the marks go, last; false, with
  // AK_ErrorText saying why, when they could not.
  [[nodiscard]] bool EndRenameMarks();
  // Why the renames pending in the project directory of this top object cannot be read now, the
  // mark's path and the reason; "" when they can (or none are).
  AK_String UnreadRenameMarks();
  // Why a save of the object's project into `directory`, another directory than its own, is
  // refused for the renames pending in its own: their mark cannot be read, so the copy could
  // carry neither them nor the paths that follow them. "" when it is not.
  AK_String CopyOfRenameMarksRefusal(const AK_String& directory);
  bool _fixedId = false;

  std::shared_ptr<AK_LifeToken> _life;
  // Deaths counted when the list was last pruned (see PruneDeadEntries).
  uint64_t _prunedAt = 0;
  // Detached from its parent's list by "Detach" (its parent field still names the parent).
  bool _detached = false;
  // Components detached from this object: their parent field is cleared when it dies.
  AK_Array<AK_ObjectRef> _detachedComponents;
};

// The failures of the objects of one recursive load or save, so that the outermost call can
// name every object that failed and not only the last (the later objects' set lines clear the
// error text of an earlier one). Loads and saves keep lists of their own (the Tag), so a save
// that a load sets off never mixes the two.
template <class Tag>
class AK_FailureList {
public:
  AK_FailureList() { ++Depth(); }
  ~AK_FailureList()
  {
    if (--Depth() == 0) Text() = "";
  }
  AK_FailureList(const AK_FailureList&) = delete;
  AK_FailureList& operator=(const AK_FailureList&) = delete;

  bool Outermost() const { return Depth() == 1; }
  // Everything added while the outermost list lives, "; " between.
  const AK_String& Failures() const { return Text(); }
  static void Add(const AK_String& failure)
  {
    if (Depth() == 0 || failure.IsEmpty()) return;
    if (!Text().IsEmpty()) Text() += "; ";
    Text() += failure;
  }

private:
  static int& Depth()
  {
    static int depth = 0;
    return depth;
  }
  static AK_String& Text()
  {
    static AK_String text;
    return text;
  }
};

// Frees what the "Detach" command took out of the tree (kept alive until now, since links to
// it stay valid) and every deleted object still waiting; the program's end calls it.
void AK_DeleteDetachedObjects();
// Detaches the object and keeps it in that pool (the "Detach" command).
void AK_DetachToPool(AK_Object* object);

// Splits "path:attr" at its first ":" unless a second ":" follows it.
int AK_SplitAttributeAddress(const char* text, AK_String& path, AK_String& attribute);

// set("path", "attr", "value") with the value escaped.
AK_String AK_FormatSetCommand(const char* path, const char* attribute, const char* value);
// Writes a file of attribute commands. A previous file of that name is replaced only once the
// new one is complete; AK_ErrorText says whether the file could not be created or not be
// written.
void AK_WriteAttributeFile(const char* name, const AK_String& commands);
// The staging directory of a save into `directory`, the same for every spelling of it.
AK_String AK_SaveStagingOf(const char* directory);
// What a save that is gone left in its staging directory ("<directory>.~saving", which it marks
// as its own before anything else) is removed. `stays` empty when it went or none stands, else why
// it stays: a live save's, one this program did not make, or one that cannot be removed or looked
// at; `failed` for the last two, which a cleaner answers.
struct AK_StagingDrop {
  AK_String stays;
  bool failed = false;
};
[[nodiscard]] AK_StagingDrop AK_DropSaveLeftBehind(const char* staging);
AK_String AK_FormatSetCommandFor(AK_Object* reference, AK_Object* object, const char* attribute,
                                 const char* value);

// The command collector behind GetCommandsList.
void AK_CollectCommands(AK_Object* object, AK_Array<AK_String>& list, AK_AttributeNode* entry,
                        char kind, int visibleOnly, int labels);
