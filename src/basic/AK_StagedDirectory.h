// A directory built under another name than the one it is for (AK_Files.cpp implements it).
#pragma once

// While it lives, the path of the directory `target` and every path below it, spelled as the
// caller gives them, name the same files under `staging` for every file function of this process
// (all of them pass their paths through AK_NormalizePath): a save builds a new directory under a
// name that no load takes for a project, while every path it writes, keeps and says is the one
// that stands once the built directory is renamed to `target`. Paths are matched as spelled
// (backslashes and a leading "./" aside): the save builds all of them from the one it was given.
// One at a time; End (or the destructor) makes every path name its own files again, which must
// happen before the rename.
class AK_StagedDirectory {
public:
  AK_StagedDirectory(const char* target, const char* staging);
  ~AK_StagedDirectory() { End(); }
  AK_StagedDirectory(const AK_StagedDirectory&) = delete;
  AK_StagedDirectory& operator=(const AK_StagedDirectory&) = delete;
  void End();
  // True while one lives and has not ended: a save below it builds into it, never a build of its own.
  static bool Active();

private:
  bool _active = false;
};
