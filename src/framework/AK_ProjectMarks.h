// The names of what the program leaves in a project's directories while it changes them: the
// marks by which the next load or save tells its own unfinished work from a user's files. Stored
// projects hold these names, so they never change; this header alone spells them.
#pragma once

// The file in the directory of a project's top object that names the renames and deletions the
// objects naming them have not all saved yet (AK_Object_Renames.cpp).
inline constexpr const char* kRenameMarkFile = ".objects_renamed";

// A project saved into a directory that does not stand is built beside it under this suffix, a
// name that no load takes for a project (the ".~" of temporaries), and renamed to its name as the
// last step: a kill before leaves no project there at all, and what it left goes with the next
// save into that name or the next load of the directory beside it. Of several missing levels, the
// topmost is built so. A new object of a project that stands is built so too: its directory stands
// whole or not at all.
inline constexpr const char* kSaveStagingSuffix = ".~saving";
// The staging directory (kSaveStagingSuffix) holds this file, made before anything else there, and
// the build itself under the target's own name beside it: a directory of that name without it is no
// build of this program, and is never removed (a user's, or another program's). The target's
// directory never holds the mark: it is renamed out of the staging directory, which goes after it.
inline constexpr const char* kStagingMark = "made_by_torvu_save";

// A deletion moves an object's directory into a directory of this name beside it, made for it and
// marked as this program's (kRemovalMark) before the move, then removes the whole.
inline constexpr const char* kRemovedAside = ".~removing";
// The mark, the first file made in such a directory: one without it is no deletion's of this
// program (a user's own "x.~removing"), and stays as it is.
inline constexpr const char* kRemovalMark = "made_by_torvu_removal";
