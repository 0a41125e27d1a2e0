#include "SW_Program.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "AK_Framework.h"
#include "SW_Workspace.h"
#include "SW_WorkspaceClasses.h"
#include "ast_sci.h"

SW_ProgramOptions SW_ReadProgramOptions(int argc, const char* const* argv)
{
  SW_ProgramOptions options;
  for (int i = 1; i < argc;) {
    bool hasValue = i + 1 < argc;
    if (hasValue && std::strcmp(argv[i], "-offscreen") == 0) {
      options.offscreen = 1;
      options.macroFileName = argv[i + 1];
    } else if (hasValue && std::strcmp(argv[i], "-macro") == 0) {
      options.macroFileName = argv[i + 1];
    } else if (hasValue && std::strcmp(argv[i], "-files") == 0) {
      options.attributesDirectory = argv[i + 1];
      options.attributesDirectoryGiven = true;
    } else {
      ++i;
      continue;
    }
    i += 2;
  }
  return options;
}

AK_String SW_WithTrailingSeparator(const char* directory)
{
  AK_String text(directory ? directory : "");
  if (text.IsEmpty() || (text[text.Length() - 1] != '/' && text[text.Length() - 1] != '\\'))
    text += AK_DIR_SEP;
  return text;
}

AK_String SW_Banner(const char* program)
{
  AK_String banner(program);
  banner += "\nCompiled ";
  banner += __DATE__;
  banner += " ";
  banner += __TIME__;
  banner += "\ntorvu: dense-flow snow avalanches on real terrain\nobject tree, commands and macros\n";
  return banner;
}

namespace {

// The directories that may hold the class files when no "-files" names one, in the order they
// are tried: the customary place beside the working directory, then beside the program (run
// from its build directory or installed), then where the build left them.
std::vector<std::string> AttributesDirectoryCandidates(const char* customary)
{
  std::vector<std::string> candidates{customary};
  AK_String program = AK_ProgramPath();
  if (!program.IsEmpty()) {
    std::string directory = std::filesystem::path(program.c_str()).parent_path().string();
    for (const char* relative : {"/files/AK_Attributes", "/../files/AK_Attributes",
                                 "/../share/torvu/AK_Attributes"})
      candidates.push_back(directory + relative);
  }
  candidates.push_back(TORVU_BUILD_ATTRIBUTES_DIR);
  return candidates;
}

// Every class's table stands on the table of AK_Object: where it is, the class files are.
bool HoldsClassFiles(const std::string& directory)
{
  return AK_FileExists(AK_JoinPath(directory.c_str(), "AK_Object.atr")) != 0;
}

// The attributes directory: the one "-files" names, or else the first candidate that holds
// the class files. "" when there is none, with the directories tried in `tried`.
std::string FindAttributesDirectory(const SW_ProgramOptions& options,
                                    const AK_String& userDirectory, std::string& tried)
{
  std::vector<std::string> candidates =
      options.attributesDirectoryGiven
          ? std::vector<std::string>{options.attributesDirectory.c_str()}
          : AttributesDirectoryCandidates(options.attributesDirectory.c_str());
  bool userHasThem = !userDirectory.IsEmpty() && HoldsClassFiles(userDirectory.c_str());
  for (const std::string& candidate : candidates) {
    if (userHasThem || HoldsClassFiles(candidate)) return candidate;
    tried += (tried.empty() ? "" : ", ") + candidate;
  }
  return "";
}

}  // namespace

int SW_Main(int argc, char** argv)
{
  // A run that reaches the file-size limit ends with the reason of its failed write and
  // leaves its files as after a full disk; the signal would kill it half-way through a write.
  AK_IgnoreFileSizeSignal();
  AK_SetProgramArguments(argc, argv);
  AK_String banner = SW_Banner(argc > 0 ? argv[0] : "torvu");
  SW_ProgramOptions options = SW_ReadProgramOptions(argc, argv);

  const char* user = std::getenv("TORVU_USER_ATTRIBUTES");
  AK_String userDirectory = user ? SW_WithTrailingSeparator(user) : AK_String();
  std::string tried;
  std::string attributesDirectory = FindAttributesDirectory(options, userDirectory, tried);
  if (attributesDirectory.empty()) {
    std::fprintf(stderr,
                 "ERROR:no class files (AK_Object.atr) in the attributes directory; tried: %s. "
                 "Name the directory with -files.\n",
                 tried.c_str());
    return 1;
  }
  AK_MESSAGE(AK_String("Setting config files directory: ") + attributesDirectory.c_str());
  AttributesDirectory = SW_WithTrailingSeparator(attributesDirectory.c_str());
  if (user) {
    UserAttributesDirectory = userDirectory;
    AK_MESSAGE(AK_String("set user attributes directory to:") + UserAttributesDirectory);
  }
  // A batch job must see that nothing ran.
  if (!options.macroFileName.IsEmpty() &&
      AK_Object::FindMacroFile(options.macroFileName).IsEmpty()) {
    std::fprintf(stderr, "ERROR:cannot open macro file '%s'\n", options.macroFileName.c_str());
    return 1;
  }

  ast_sci_run_namespace();
  SW_RegisterAllClasses();
  AK_TerminalController* viewer = new AK_TerminalController("Viewer", nullptr);
  AK_MESSAGE(AK_GetArglist());
  AK_String rule("=================================================================\n");
  AK_MESSAGE(rule + banner + "\n" + rule);

  // Made below the viewer, so that its class's default commands already see its parent.
  AK_Object* project = new SW_Workspace("Project", viewer);
  project->FixId();
  viewer->AddComponent(project);

  viewer->Run(1024, 768, options.macroFileName, "", options.offscreen);
  delete viewer;
  AK_DeleteDetachedObjects();
  return 0;
}
