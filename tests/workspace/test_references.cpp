// Every saved attribute that holds another object's path, as the class tables declare them:
// after a rename of that object, or its deletion, the project saved loads whole in a fresh
// torvu process, the path following the object or gone with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AK_AttributeTable.h"
#include "AK_ClassRegistry.h"
#include "AK_ClassTable.h"
#include "AK_Framework.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct PathAttribute {
  const AK_AttributeTable* table;
  std::string name, setId, objectType;  // objectType "": any object
  const AK_AttributeEntry* entry;
  std::string className;
};

// The value of the attribute that names the object at `path`: the path itself, or, for a value
// that names it by its identifier, what the entry makes of the path on an object of its class.
std::string Naming(const PathAttribute& a, const std::string& path)
{
  if (!a.entry->pathOf) return path;
  AK_Object* probe = AK_CreateObjectOfClass(a.className.c_str(), "probe", nullptr);
  a.entry->repath(*probe, path.c_str());
  const std::string value = a.entry->get(*probe).c_str();
  AK_Object::Destroy(probe);
  return value;
}

struct ClassChain {
  std::vector<const AK_AttributeTable*> tables;
  std::vector<std::string> types;  // the type name and those of the base classes
};

const char* SetIdOf(AK_AttributeNode* node, const char* name)
{
  if (!node) return nullptr;
  if (std::string(AK_NodeValue(node)) == name && AK_NodeSetId(node)) return AK_NodeSetId(node);
  for (int i = 0; i < AK_NodeChildCount(node); ++i)
    if (const char* found = SetIdOf(AK_NodeChild(node, i), name)) return found;
  return nullptr;
}

// Every registered class by type name; the saved path attributes of their tables.
std::map<std::string, ClassChain> Classes(std::vector<PathAttribute>& attributes)
{
  std::map<std::string, ClassChain> classes;
  std::set<std::pair<const AK_AttributeTable*, std::string>> seen;
  for (const AK_String& className : AK_RegisteredClassNames()) {
    AK_Object* probe = AK_CreateObjectOfClass(className, "probe", nullptr);
    if (!probe) continue;
    ClassChain& c = classes[probe->GetType().c_str()];
    AK_Array<AK_String> types;
    probe->GetTypeChain(types);
    for (const AK_String& t : types) c.types.push_back(t.c_str());
    for (const AK_AttributeTable* t = &probe->AttributeTable(); t; t = t->Base()) {
      c.tables.push_back(t);
      for (const AK_AttributeEntry& e : t->Entries())
        if (const char* setId = SetIdOf(probe->GetClassInfo(), e.name);
            e.holdsPath && setId && seen.insert({t, e.name}).second)
          attributes.push_back({t, e.name, setId, e.objectType ? e.objectType : "", &e, className.c_str()});
    }
    AK_Object::Destroy(probe);
  }
  return classes;
}

// The saved objects of a project directory: path from the top object's directory, type.
std::map<std::string, std::string> SavedObjects(const std::string& project)
{
  std::map<std::string, std::string> objects;
  for (const auto& entry : fs::recursive_directory_iterator(project)) {
    if (!entry.is_directory()) continue;
    std::vector<std::string> tables;
    for (const auto& file : fs::directory_iterator(entry.path()))
      if (file.path().extension() == ".atr") tables.push_back(file.path().stem().string());
    if (tables.size() == 1) objects[fs::relative(entry.path(), project).string()] = tables[0];
  }
  return objects;
}

// The path of `to` as seen from `from` (both from the top object).
std::string Relative(const std::string& to, const std::string& from)
{
  auto split = [](const std::string& p) {
    std::vector<std::string> parts(1);
    for (char c : p)
      if (c == '/') parts.emplace_back();
      else parts.back().push_back(c);
    return parts;
  };
  const std::vector<std::string> a = split(to), b = split(from);
  size_t k = 0;
  while (k < a.size() && k < b.size() && a[k] == b[k]) ++k;
  std::string path;
  for (size_t i = k; i < b.size(); ++i) path += "../";
  for (size_t i = k; i < a.size(); ++i) path += a[i] + (i + 1 < a.size() ? "/" : "");
  return path;
}

bool Within(const std::string& path, const std::string& top) { return path == top || path.rfind(top + "/", 0) == 0; }

std::string Set(const std::string& path, const std::string& attribute, const std::string& value)
{
  return "set(\"" + path + "\", \"" + attribute + "\", \"" + value + "\")\n";
}

std::string Torvu(const std::string& dir, const std::string& macro)
{
  WriteFile(dir + "/run.macro", macro);
  int status = -1;
  const std::string printed =
      RunProcess(TorvuOffscreen(dir, TORVU_PROGRAM, TORVU_TEST_ATTRIBUTES_DIR, "run.macro < /dev/null 2>&1"), &status);
  EXPECT_EQ(status, 0) << printed.substr(0, 4000);
  return printed;
}

const std::string kLoad = Set("", "ProjectDir", "proj") + Set("Project", "LoadProject", "");
const std::string kSave = Set("Project", "SaveProject", "");

// The value of a holder's set command in the dump of a whole project.
std::string Dumped(const std::string& dump, const std::string& holder, const std::string& setId)
{
  const std::string head = "set(\"" + holder + "\", \"" + setId + "\", \"";
  const size_t at = dump.find(head);
  return at == std::string::npos ? "<none>" : dump.substr(at + head.size(), dump.find("\")\n", at) - at - head.size());
}

// The project loaded in a fresh process, which must answer success: its dump.
std::string Reloaded(const std::string& dir, const std::string& context)
{
  const std::string printed = Torvu(dir, kLoad + Set("", "SaveAttributesRecursively", "dump.txt"));
  for (const char* failure : {"refused or malformed", "not found", "ERROR"})
    EXPECT_EQ(printed.find(failure), std::string::npos) << context << "\n" << printed.substr(0, 6000);
  return ReadFile(dir + "/dump.txt");
}

struct Link {
  PathAttribute attribute;
  std::string holder, target;
};

}  // namespace

TEST(References, RenamedOrDeletedObjectsLeaveEverySavedPathLoadable)
{
  std::vector<PathAttribute> attributes;
  const std::map<std::string, ClassChain> classes = Classes(attributes);
  ASSERT_FALSE(attributes.empty());
  auto hasTable = [&](const std::string& type, const AK_AttributeTable* table) {
    auto c = classes.find(type);
    return c != classes.end() && std::count(c->second.tables.begin(), c->second.tables.end(), table) > 0;
  };
  auto isA = [&](const std::string& type, const std::string& wanted) {
    auto c = classes.find(type);
    if (c == classes.end()) return false;
    const std::vector<std::string>& t = c->second.types;
    return wanted.empty() ? std::count(t.begin(), t.end(), "Container") == 0 : std::count(t.begin(), t.end(), wanted) > 0;
  };

  // The example project with its simulation, and a small flat terrain beside it (as release or
  // entrainment depths it releases nothing, and a simulation on it loads at once).
  ScratchDir base;
  for (const char* file : {"slope.asc", "slope.rel"})
    WriteFile(base / file, ReadFile(std::string(TORVU_EXAMPLES) + "/" + file));
  base.Write("flat.asc", "ncols 3\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 10\nNODATA_value -9999\n"
                         "0 0 0\n0 0 0\n0 0 0\n");
  Torvu(base.Path(), Set("Project/DHMs", "SimulationDefaultCellSize", "10") + Set("Project/DHMs", "Import", "slope.asc") +
                         Set("Project/ReleaseDHMs", "Import", "flat.asc") + Set("", "SaveProjectAs", "proj") +
                         Set("Project/Simulations", "CreateSimulation", "A") + kSave);
  const std::string project = base / "proj";
  // A holder of each class that the project lacks: an empty one in every saved object; those
  // that a container there makes stay.
  std::map<std::string, std::string> saved = SavedObjects(project);
  std::set<std::string> probed;
  std::vector<fs::path> notMade;
  for (const PathAttribute& a : attributes)
    if (std::none_of(saved.begin(), saved.end(), [&](const auto& o) { return hasTable(o.second, a.table); }))
      for (const auto& [type, chain] : classes)
        if (hasTable(type, a.table) && probed.insert(type).second)
          for (const auto& object : saved) {
            const std::string probe = project + "/" + object.first + "/probe" + type;
            fs::create_directories(probe);
            WriteFile(probe + "/" + type + ".atr", "");
          }
  if (!probed.empty()) Torvu(base.Path(), kLoad + kSave);
  for (const auto& entry : fs::recursive_directory_iterator(project))
    if (entry.is_directory() && entry.path().filename().string().rfind("probe", 0) == 0 &&
        !fs::exists(entry.path() / (entry.path().filename().string().substr(5) + ".dat")))
      notMade.push_back(entry.path());
  for (const fs::path& p : notMade) fs::remove_all(p);
  saved = SavedObjects(project);

  // Each attribute on its first holder in the project, naming an object of its type that is
  // neither the holder nor above or below it: the last of the shallowest such objects.
  std::vector<Link> links;
  for (const PathAttribute& a : attributes) {
    auto holder = std::find_if(saved.begin(), saved.end(), [&](const auto& o) { return hasTable(o.second, a.table); });
    if (holder == saved.end()) {
      std::printf("%s of %s: no container of the project makes a holder\n", a.name.c_str(), a.table->ClassName());
      continue;
    }
    std::string target;
    for (int depth : {2, 3, 4, 5})
      for (const auto& [path, type] : saved)
        if (std::count(path.begin(), path.end(), '/') == depth && isA(type, a.objectType) &&
            (target.empty() || std::count(target.begin(), target.end(), '/') == depth) &&
            !Within(path, holder->first) && !Within(holder->first, path))
          target = path;
    ASSERT_FALSE(target.empty()) << a.name << " of " << a.table->ClassName();
    links.push_back({a, holder->first, target});
    std::printf("%s: %s of %s names %s\n", a.table->ClassName(), a.name.c_str(), holder->first.c_str(), target.c_str());
  }
  ASSERT_FALSE(links.empty());
  std::string linking;
  for (const Link& l : links) linking += Set(l.holder, l.attribute.setId, Naming(l.attribute, Relative(l.target, l.holder)));

  // Renamed: every target once.
  {
    ScratchDir dir;
    fs::copy(project, dir / "proj", fs::copy_options::recursive);
    std::map<std::string, std::string> renamed;
    std::string renaming;
    for (const Link& l : links)
      if (renamed.emplace(l.target, l.target + "R").second) renaming += Set(l.target, "Id", l.target.substr(l.target.rfind('/') + 1) + "R");
    Torvu(dir.Path(), kLoad + linking + kSave + renaming + kSave);
    auto now = [&](const std::string& path) {
      for (const auto& [from, to] : renamed)
        if (Within(path, from)) return to + path.substr(from.size());
      return path;
    };
    const std::string dump = Reloaded(dir.Path(), "renamed");
    for (const Link& l : links) {
      const std::string value = Dumped(dump, now(l.holder), l.attribute.setId);
      const std::string expected = Naming(l.attribute, Relative(now(l.target), now(l.holder)));
      EXPECT_TRUE(value == expected || value.find(expected + "%AK_SEP%") != std::string::npos)
          << l.attribute.name << " of " << l.holder << ": " << value << " for " << expected;
    }
  }

  // Deleted: each target once, with every holder that names it.
  std::map<std::string, std::vector<Link>> byTarget;
  for (const Link& l : links) byTarget[l.target].push_back(l);
  for (const auto& [target, holders] : byTarget) {
    ScratchDir dir;
    fs::copy(project, dir / "proj", fs::copy_options::recursive);
    const size_t slash = target.rfind('/');
    const std::string id = target.substr(slash + 1);
    const std::string printed =
        Torvu(dir.Path(), kLoad + linking + kSave + Set(target.substr(0, slash), "DeleteComponent", id) + kSave);
    const std::string dump = Reloaded(dir.Path(), target + " deleted");
    for (const Link& l : holders) {
      // The save names what it dropped, and apart from it a value it keeps that names the object
      // by its identifier.
      const size_t warning =
          printed.find("/" + l.holder + (l.attribute.entry->pathOf ? " saved with values that name deleted objects, kept as they are: "
                                                                   : " saved without the deleted objects it named: "));
      const std::string line = warning == std::string::npos ? "" : printed.substr(warning, printed.find('\n', warning) - warning);
      const bool named = line.find(": " + l.attribute.name + " ") != std::string::npos ||
                         line.find(", " + l.attribute.name + " ") != std::string::npos;
      EXPECT_TRUE(named) << l.attribute.name << " of " << l.holder << ": " << line;
      const std::string value = Dumped(dump, l.holder, l.attribute.setId);
      EXPECT_NE(value, "<none>") << l.attribute.name << " of " << l.holder;
      // A path goes with its object; a choice that names it by its identifier stays, warned of.
      if (l.attribute.entry->pathOf)
        EXPECT_EQ(value, Naming(l.attribute, Relative(target, l.holder))) << l.attribute.name << " of " << l.holder;
      else
        EXPECT_EQ(value.find(id), std::string::npos) << l.attribute.name << " of " << l.holder << ": " << value;
    }
  }
}

namespace {

// The terrain of `asc` with every height scaled: another terrain under the same grid.
std::string ScaledTerrain(const std::string& asc, double factor)
{
  std::istringstream in(asc);
  std::ostringstream out;
  std::string line;
  for (int header = 0; header < 6 && std::getline(in, line); ++header) out << line << "\n";
  for (double z; in >> z;) out << z * factor << " ";
  out << "\n";
  return out.str();
}

// The path `value` names from the object at `holder` (both from the tree's root), "" when it
// leaves the tree.
std::string Resolved(const std::string& holder, const std::string& value)
{
  std::vector<std::string> parts;
  for (size_t at = 0; at <= holder.size();) {
    const size_t slash = std::min(holder.find('/', at), holder.size());
    parts.push_back(holder.substr(at, slash - at));
    at = slash + 1;
  }
  std::string rest = value;
  while (rest.rfind("../", 0) == 0) {
    if (parts.empty()) return "";
    parts.pop_back();
    rest = rest.substr(3);
  }
  std::string path;
  for (const std::string& p : parts) path += p + "/";
  return path + rest;
}

// Commands that run in one process whatever each answers: the runs of a case that begin so are
// written as a script, each command followed by a line "answered <0: success; 1: refused, and why;
// 2: the path names nothing>" in the output.
const std::string kSteps = "//steps\n";

std::string AsScript(const std::string& steps)
{
  std::string body = "int main()\n{\nchar text[4096];\nint answer;\n", line;
  for (std::istringstream lines(steps.substr(kSteps.size())); std::getline(lines, line);)
    body += "answer = " + line + ";\ntext[0] = 0;\nif (answer != 0) error(text);\n"
            "printf(\"answered %d %s\\n\", answer, text);\n";
  // The last answer's error text goes with the script: what follows it in the macro runs.
  return body + "get(\"\", \"Id\", text);\nreturn 0;\n}\n";
}

// The answers that the scripts of the runs printed, in order.
std::vector<std::string> Answers(const std::string& printed)
{
  std::vector<std::string> answers;
  for (size_t at = printed.find("answered "); at != std::string::npos; at = printed.find("answered ", at + 1))
    answers.push_back(printed.substr(at + 9, printed.find('\n', at) - at - 9));
  return answers;
}

}  // namespace

// Two meshes and two release areas, each with a colour of its own, each named by one of two
// simulations. Whatever was renamed, deleted or made under a name that another object bore, with
// no save, with a save of a part alone and with a SaveProject, a fresh load binds every holder to
// the object it named: the colour of what each path leads to is that object's, never another's.
TEST(References, EveryHolderLeadsToTheObjectItNamedWhateverBoreItsNameSince)
{
  ScratchDir base;
  const std::string slope = ReadFile(std::string(TORVU_EXAMPLES) + "/slope.asc");
  base.Write("slope.asc", slope);
  base.Write("hill.asc", slope);
  base.Write("slope.rel", ReadFile(std::string(TORVU_EXAMPLES) + "/slope.rel"));
  // A second area file whose area has another depth (0.7 m), as a user would import beside.
  std::string two = ReadFile(std::string(TORVU_EXAMPLES) + "/slope.rel");
  two.replace(0, two.find_first_of(" \t"), "0.7");
  base.Write("two.rel", two);
  base.Write("other/slope.asc", ScaledTerrain(slope, 1.05));
  const std::map<std::string, std::string> tags = {{"0.25 0 0", "M1"}, {"0 0.25 0", "M2"}, {"0 0 0.25", "A1"}, {"0.25 0.25 0", "A2"}};
  const std::string meshA = "Project/DHMs/slope_simulation", meshB = "Project/DHMs/hill";
  const std::string areaA = "Project/ReleaseAreas/slope_0001", areaB = "Project/ReleaseAreas/two_0001";
  Torvu(base.Path(), Set("Project/DHMs", "SimulationDefaultCellSize", "10") + Set("Project/DHMs", "Import", "slope.asc") +
                         Set("Project/DHMs", "SimulationDefaultCellSize", "12") + Set("Project/DHMs", "Import", "hill.asc") +
                         Set("Project/ReleaseAreas", "LoadRelFile", "two.rel") + Set("", "SaveProjectAs", "proj") +
                         Set("Project/Simulations", "CreateSimulation", "A") + Set("Project/Simulations", "CreateSimulation", "B") +
                         Set("Project/Simulations/A", "Mesh", "../../DHMs/slope_simulation") +
                         Set("Project/Simulations/B", "Mesh", "../../DHMs/hill") +
                         Set("Project/Simulations/A/ReleaseAreas", "RemoveAllObjects", "") +
                         Set("Project/Simulations/B/ReleaseAreas", "RemoveAllObjects", "") +
                         Set("Project/Simulations/A/ReleaseAreas", "AppendObject", areaA) +
                         Set("Project/Simulations/B/ReleaseAreas", "AppendObject", areaB) + Set(meshA, "Color", "0.25 0 0") +
                         Set(meshB, "Color", "0 0.25 0") + Set(areaA, "Color", "0 0 0.25") + Set(areaB, "Color", "0.25 0.25 0") +
                         kSave);

  // What the holders of A and B lead to: the tag of each object, "other" for one that has none.
  struct Held {
    std::string meshA, meshB, areasA, areasB;  // the areas sorted, " " between
  };
  const auto held = [&](const std::string& dump, const std::string& simA) {
    const auto tagOf = [&](const std::string& path) {
      const std::string colour = Dumped(dump, path, "Color");
      return colour == "<none>" ? "none" : tags.count(colour) ? tags.at(colour) : std::string("other");
    };
    const auto areas = [&](const std::string& group) {
      std::vector<std::string> found;
      const std::string list = Dumped(dump, group, "ContainedObjectsList");
      for (size_t at = 0; at < list.size();) {
        const size_t end = std::min(list.find("%AK_SEP%", at), list.size());
        if (end > at) found.push_back(tagOf(Resolved(group, list.substr(at, end - at))));
        at = end + 8;
      }
      std::sort(found.begin(), found.end());
      std::string joined;
      for (const std::string& f : found) joined += (joined.empty() ? "" : " ") + f;
      return joined;
    };
    const std::string a = "Project/Simulations/" + simA, b = "Project/Simulations/B";
    return Held{tagOf(Resolved(a, Dumped(dump, a, "Mesh"))), tagOf(Resolved(b, Dumped(dump, b, "Mesh"))),
                areas(a + "/ReleaseAreas"), areas(b + "/ReleaseAreas")};
  };
  ASSERT_EQ(held(Reloaded(base.Path(), "the project"), "A").meshA, "M1");

  struct Case {
    const char* name;
    std::vector<std::string> runs;  // each in a process of its own, after a load
    Held expected;
    bool refusedLast = false;  // the last command is refused: the macro ends there
    // After the runs, a load that cannot enter a directory of that name (an item of TORVU_FAIL).
    const char* blindLoad = nullptr;
    int markLines = -1;  // the lines of the renames' mark after the runs with no save; -1: any
    // What the scripts of the runs answered (kSteps), each the start of its line; and the name
    // that A bears after the runs.
    std::vector<std::string> answers = {};
    const char* simA = "A";
  };
  // Typed in a command, a path names what stands under it now, never what a pending rename or
  // deletion moved away; a name that one left is refused to what asks for it, saying why.
  const auto step = [](const std::string& path, const std::string& attribute, const std::string& value) {
    return "set(\"" + path + "\", \"" + attribute + "\", \"" + value + "\")\n";
  };
  const std::string savedName = "is the saved name of Viewer/Project/", deletedName = "is the saved name of a deleted object";
  const std::string untilSaved = " until the project is saved: SaveProject first";
  const std::string importOther = Set("Project/DHMs", "SimulationDefaultCellSize", "10") + Set("Project/DHMs", "Import", "other/slope.asc");
  const std::vector<Case> cases = {
      {"two meshes swap names", {Set(meshA, "Id", "T") + Set(meshB, "Id", "slope_simulation")}, {"M1", "M2", "A1", "A2"}, true},
      {"two areas swap names", {Set(areaA, "Id", "X") + Set(areaB, "Id", "slope_0001")}, {"M1", "M2", "A1", "A2"}, true},
      {"two meshes swap names with a save between",
       {Set(meshA, "Id", "T") + kSave + Set(meshB, "Id", "slope_simulation")},
       {"M1", "M2", "A1", "A2"}},
      {"a mesh renamed and another terrain imported under its name",
       {kSteps + step(meshA, "Id", "knoll") + step("Project/DHMs", "SimulationDefaultCellSize", "10") +
        step("Project/DHMs", "Import", "other/slope.asc")},
       {"M1", "M2", "A1", "A2"}, false, nullptr, -1,
       {"0", "0", "1 Viewer/" + meshA + " " + savedName + "DHMs/knoll" + untilSaved}},
      // Another process loads, is refused an area of the old name, and saves the areas and B alone.
      {"an area renamed, another imported under its name and saved with a holder alone",
       {Set(areaA, "Id", "R2"),
        kSteps + step("Project/ReleaseAreas", "LoadRelFile", "slope.rel") +
            step("Project/Simulations/B/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea") +
            step("Project/ReleaseAreas", "SaveProject", "") + step("Project/Simulations/B", "SaveProject", "")},
       {"M1", "M2", "A1", "A1 A2"}, false, nullptr, -1,
       {"1 Viewer/" + areaA + " " + savedName + "ReleaseAreas/R2" + untilSaved, "0", "0", "0"}},
      // A deletion leaves its name as a rename does: the links go with the deletion, and nothing
      // takes the name until the deletion is saved.
      {"an area deleted and another imported under its name",
       {kSteps + step("Project/ReleaseAreas", "DeleteComponent", "slope_0001") +
        step("Project/ReleaseAreas", "LoadRelFile", "slope.rel")},
       {"M1", "M2", "", "A2"}, false, nullptr, -1, {"0", "1 Viewer/" + areaA + " " + deletedName + untilSaved}},
      {"a mesh deleted and another terrain imported under its name",
       {kSteps + step("Project/DHMs", "DeleteComponent", "slope_simulation") +
        step("Project/DHMs", "SimulationDefaultCellSize", "10") + step("Project/DHMs", "Import", "other/slope.asc") +
        step("Project/DHMs", "SaveProject", "")},
       {"none", "M2", "A1", "A2"}, false, nullptr, -1,
       {"0", "0", "1 Viewer/" + meshA + " " + deletedName + untilSaved, "0"}},
      // Commands on the names a rename left, in the process that renamed: a new simulation, an
      // area's Id and a terrain's import asked under them are refused; a set, a mesh and a member
      // named by them reach nothing.
      {"a simulation renamed, then commands on its old name",
       {kSteps + step("Project/Simulations/A", "Id", "T") + step("Project/Simulations", "CreateSimulation", "A") +
        step("Project/Simulations/A", "Mesh", "../../DHMs/hill") +
        step("Project/Simulations/A/ReleaseAreas", "AppendObject", areaB)},
       {"M1", "M2", "A1", "A2"}, false, nullptr, -1,
       {"0", "1 Viewer/Project/Simulations/A " + savedName + "Simulations/T" + untilSaved, "2", "2"}, "T"},
      {"an area and a mesh renamed, then commands on their old names",
       {kSteps + step(areaA, "Id", "Q") + step("Project/ReleaseAreas", "LoadRelFile", "two.rel") +
        step("Project/ReleaseAreas/two_0002", "Id", "slope_0001") + step(areaA, "Color", "0.5 0.5 0.5") +
        step("Project/Simulations/B/ReleaseAreas", "AppendObject", areaA) + step(meshA, "Id", "R") +
        step("Project/DHMs", "SimulationDefaultCellSize", "10") + step("Project/DHMs", "Import", "other/slope.asc") +
        step("Project/Simulations/B", "Mesh", "../../DHMs/slope_simulation")},
       {"M1", "M2", "A1", "A2"}, false, nullptr, -1,
       {"0", "0", "1 Viewer/Project/ReleaseAreas/two_0002: not renamed: Viewer/" + areaA + " " + savedName +
                      "ReleaseAreas/Q" + untilSaved,
        "2", "0", "0", "0", "1 Viewer/" + meshA + " " + savedName + "DHMs/R" + untilSaved,
        "1 object '../../DHMs/slope_simulation' not found"}},
      // In a process that loaded after another's rename, the old name names nothing.
      {"a rename, then another process's commands on the old name",
       {Set(areaA, "Id", "R2"), kSteps + step(areaA, "Depth", "3") + step(areaA, "Color", "0.5 0.5 0.5") +
                                    step("Project/ReleaseAreas", "DeleteComponent", "slope_0001")},
       {"M1", "M2", "A1", "A2"}, false, nullptr, -1, {"2", "2", "0"}},
      // A deleted area's and mesh's names are refused to the objects renamed into them: A names
      // neither, B names its own.
      {"a deletion, and another object renamed into its name",
       {kSteps + step("Project/ReleaseAreas", "DeleteComponent", "slope_0001") + step(areaB, "Id", "slope_0001") +
        step("Project/DHMs", "DeleteComponent", "slope_simulation") + step(meshB, "Id", "slope_simulation")},
       {"none", "M2", "", "A2"}, false, nullptr, -1,
       {"0", "1 Viewer/" + areaB + ": not renamed: Viewer/" + areaA + " " + deletedName + untilSaved, "0",
        "1 Viewer/" + meshB + ": not renamed: Viewer/" + meshA + " " + deletedName + untilSaved}},
      {"a holder saved alone after a rename",
       {Set(areaA, "Id", "R2") + Set(meshB, "Id", "knoll") + Set("Project/Simulations/A", "SaveProject", "")},
       {"M1", "M2", "A1", "A2"}},
      // A's files name R2 and T, which the next renames leave.
      {"a holder saved alone in the middle of chains of renames",
       {Set(areaA, "Id", "R2") + Set(meshA, "Id", "T") + Set("Project/Simulations/A", "SaveProject", ""),
        Set("Project/ReleaseAreas/R2", "Id", "R3") + Set("Project/DHMs/T", "Id", "U")},
       {"M1", "M2", "A1", "A2"}},
      // A's files are not saved with the rest: the marks stay for the load that reads them.
      {"a rename while a holder is unloaded",
       {Set("Project/Simulations", "UnloadComponent", "A") + Set(areaA, "Id", "R2") + Set(meshA, "Id", "knoll") + kSave},
       {"M1", "M2", "A1", "A2"}},
      // One line for each object renamed, however often; none for one renamed back.
      {"chains of renames",
       {Set(areaA, "Id", "R2") + Set("Project/ReleaseAreas/R2", "Id", "R3") + Set(meshA, "Id", "T") + Set("Project/DHMs/T", "Id", "U")},
       {"M1", "M2", "A1", "A2"}, false, nullptr, 2},
      {"a rename and back", {Set(areaA, "Id", "R2") + Set("Project/ReleaseAreas/R2", "Id", "slope_0001")},
       {"M1", "M2", "A1", "A2"}, false, nullptr, 0},
      // A pending rename whose directories such a load cannot look at stays marked, as it was.
      {"a rename, then a load that cannot enter the areas", {Set(areaA, "Id", "R2")}, {"M1", "M2", "A1", "A2"}, false,
       "enter:ReleaseAreas"},
      {"a rename, then a load that cannot enter the meshes", {Set(meshA, "Id", "T")}, {"M1", "M2", "A1", "A2"}, false,
       "enter:DHMs"},
  };
  for (const Case& c : cases)
    for (const bool saved : {false, true}) {
      const std::string context = std::string(c.name) + (saved ? ", then a SaveProject" : ", with no save after");
      SCOPED_TRACE(context);
      ScratchDir dir;
      fs::copy(base / "other", dir / "other", fs::copy_options::recursive);
      fs::copy(base / "slope.rel", dir / "slope.rel");
      fs::copy(base / "two.rel", dir / "two.rel");
      fs::copy(base / "proj", dir / "proj", fs::copy_options::recursive);
      std::vector<std::string> runs = c.runs;
      if (saved && c.refusedLast) runs.push_back(kSave);
      else if (saved) runs.back() += kSave;
      std::vector<std::string> answered;
      for (size_t r = 0; r < runs.size(); ++r) {
        std::string run = runs[r];
        if (run.rfind(kSteps, 0) == 0) {
          const size_t saves = run.find(kSave);
          WriteFile(dir / "steps.cint", AsScript(run.substr(0, saves)));
          run = Set("", "ExecMacro", "steps.cint") + (saves == std::string::npos ? "" : run.substr(saves));
        }
        const std::string printed = Torvu(dir.Path(), kLoad + run);
        for (const std::string& a : Answers(printed)) answered.push_back(a);
        // A saved object is not renamed into a name a pending rename left: refused, with why.
        if (c.refusedLast && r + 1 == c.runs.size()) {
          EXPECT_NE(printed.find(" until the project is saved: SaveProject first"), std::string::npos) << printed.substr(0, 4000);
        }
      }
      EXPECT_EQ(answered.size(), c.answers.size());
      for (size_t k = 0; k < std::min(answered.size(), c.answers.size()); ++k)
        EXPECT_EQ(answered[k].rfind(c.answers[k], 0), 0u) << "command " << k + 1 << " answered " << answered[k];
      if (!saved && c.markLines >= 0) {
        const std::string mark = dir / ("proj/Project/" + std::string(kRenameMarkFile));
        const std::string lines = fs::exists(mark) ? ReadFile(mark) : "";
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), c.markLines) << lines;
      }
      if (c.blindLoad) {
        setenv("TORVU_FAIL", c.blindLoad, 1);
        const std::string printed = Torvu(dir.Path(), kLoad);
        unsetenv("TORVU_FAIL");
        if (!saved) {
          EXPECT_NE(printed.find("it stays marked"), std::string::npos) << printed.substr(0, 3000);
        }
      }
      // Loaded as it stands, and once more after a SaveProject of what that load made of it.
      for (const bool again : {false, true}) {
        if (again) Torvu(dir.Path(), kLoad + kSave);
        const Held got = held(Reloaded(dir.Path(), context), c.simA);
        const std::string when = again ? " after a load and a SaveProject" : "";
        EXPECT_EQ(got.meshA, c.expected.meshA) << "A's mesh" << when;
        EXPECT_EQ(got.meshB, c.expected.meshB) << "B's mesh" << when;
        EXPECT_EQ(got.areasA, c.expected.areasA) << "A's release areas" << when;
        EXPECT_EQ(got.areasB, c.expected.areasB) << "B's release areas" << when;
      }
    }

  // A deletion, a load in the same process and a save: the save names what A's group dropped once.
  {
    ScratchDir again;
    fs::copy(base / "proj", again / "proj", fs::copy_options::recursive);
    const std::string printed = Torvu(again.Path(), kLoad + Set("Project/ReleaseAreas", "DeleteComponent", "slope_0001") + kLoad + kSave);
    const size_t warning = printed.find("/Project/Simulations/A/ReleaseAreas saved without the deleted objects it named: ");
    ASSERT_NE(warning, std::string::npos) << printed.substr(0, 3000);
    const std::string line = printed.substr(warning, printed.find('\n', warning) - warning);
    size_t named = 0;
    for (size_t at = line.find("slope_0001"); at != std::string::npos; at = line.find("slope_0001", at + 1)) ++named;
    EXPECT_EQ(named, 1u) << line;
  }

  // A chain R -> R2 -> R3 that a kill cut between the mark of the second rename and its directory's
  // move: the mark names R -> R3, and the directory stands as R2.
  ScratchDir cut;
  fs::copy(base / "proj", cut / "proj", fs::copy_options::recursive);
  fs::rename(cut / "proj/Project/ReleaseAreas/slope_0001", cut / "proj/Project/ReleaseAreas/R2");
  WriteFile(cut / ("proj/Project/" + std::string(kRenameMarkFile)),
            "ReleaseAreas/slope_0001\tReleaseAreas/R3\nReleaseAreas/R2\tReleaseAreas/R3\tmoving\n");
  for (const bool again : {false, true}) {
    if (again) Torvu(cut.Path(), kLoad + kSave);
    const Held got = held(Reloaded(cut.Path(), "a chain cut before its directory moved"), "A");
    EXPECT_EQ(got.areasA, "A1") << (again ? "after a load and a SaveProject" : "");
    EXPECT_EQ(got.areasB, "A2") << (again ? "after a load and a SaveProject" : "");
  }
}
