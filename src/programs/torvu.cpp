// The program entry: reads the options, sets the class-file directories, builds the
// console controller "Viewer" with the project below it, and hands control to the
// controller until it returns.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "AK_Framework.h"
#include "SW_WorkspaceClasses.h"

namespace {

struct Options {
  int offscreen = 0;
  std::string macroFileName;
  std::string attributesDirectory;
  bool attributesDirectoryGiven = false;
};

Options ReadOptions(int argc, char** argv)
{
  Options options;
  for (int i = 1; i < argc;) {
    if (std::strcmp(argv[i], "-offscreen") == 0 && i + 1 < argc) {
      options.offscreen = 1;
      options.macroFileName = argv[i + 1];
      i += 2;
    } else if (std::strcmp(argv[i], "-macro") == 0 && i + 1 < argc) {
      options.macroFileName = argv[i + 1];
      i += 2;
    } else if (std::strcmp(argv[i], "-files") == 0 && i + 1 < argc) {
      options.attributesDirectory = argv[i + 1];
      options.attributesDirectoryGiven = true;
      i += 2;
    } else {
      ++i;  // unknown arguments and options without their value are passed over
    }
  }
  return options;
}

// The directories that may hold the class files when no "-files" names one, in the order they
// are tried: the customary place beside the working directory, then beside the program (run
// from its build directory or installed), then where the build left them.
std::vector<std::string> AttributesDirectoryCandidates()
{
  std::vector<std::string> candidates{"../files/AK_Attributes"};
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
std::string FindAttributesDirectory(const Options& options, const AK_String& userDirectory,
                                    std::string& tried)
{
  std::vector<std::string> candidates = options.attributesDirectoryGiven
                                            ? std::vector<std::string>{options.attributesDirectory}
                                            : AttributesDirectoryCandidates();
  bool userHasThem = !userDirectory.IsEmpty() && HoldsClassFiles(userDirectory.c_str());
  for (const std::string& candidate : candidates) {
    if (userHasThem || HoldsClassFiles(candidate)) return candidate;
    tried += (tried.empty() ? "" : ", ") + candidate;
  }
  return "";
}

AK_String WithTrailingSeparator(const std::string& directory)
{
  AK_String text(directory.c_str());
  if (text.IsEmpty() || (text[text.Length() - 1] != '/' && text[text.Length() - 1] != '\\'))
    text += AK_DIR_SEP;
  return text;
}

// Until the project workspace exists, the project is a plain container that, like the
// workspace to come, creates a user object of the given identifier on "CreateUserObject".
class InterimProject : public AK_Container {
public:
  using AK_Container::AK_Container;
  int Set(const char* name, const char* value) override
  {
    if (!name || std::strcmp(name, "CreateUserObject") != 0) return AK_Container::Set(name, value);
    AK_ErrorText = "";
    AddComponent(new AK_UserObj(value ? value : "", this));
    MarkModified(name);
    return 1;
  }
};

AK_String Banner(const char* program)
{
  AK_String banner(program);
  banner += "\nCompiled ";
  banner += __DATE__;
  banner += " ";
  banner += __TIME__;
  banner += "\ntorvu: dense-flow snow avalanches on real terrain\nobject tree, commands and macros\n";
  return banner;
}

}  // namespace

int main(int argc, char** argv)
{
  AK_SetProgramArguments(argc, argv);
  AK_String banner = Banner(argc > 0 ? argv[0] : "torvu");
  Options options = ReadOptions(argc, argv);

  const char* user = std::getenv("TORVU_USER_ATTRIBUTES");
  AK_String userDirectory = user ? WithTrailingSeparator(user) : AK_String();
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
  AttributesDirectory = WithTrailingSeparator(attributesDirectory);
  if (user) {
    UserAttributesDirectory = userDirectory;
    AK_MESSAGE(AK_String("set user attributes directory to:") + UserAttributesDirectory);
  }
  // A batch job must see that nothing ran.
  if (!options.macroFileName.empty() &&
      AK_Object::FindMacroFile(options.macroFileName.c_str()).IsEmpty()) {
    std::fprintf(stderr, "ERROR:cannot open macro file '%s'\n", options.macroFileName.c_str());
    return 1;
  }

  SW_RegisterAllClasses();
  AK_TerminalController* viewer = new AK_TerminalController("Viewer", nullptr);
  AK_MESSAGE(AK_GetArglist());
  AK_String rule("=================================================================\n");
  AK_MESSAGE(rule + banner + "\n" + rule);

  AK_Object* project = new InterimProject("Project", viewer);
  viewer->AddComponent(project);

  viewer->Run(1024, 768, options.macroFileName.c_str(), "", options.offscreen);
  delete viewer;
  AK_DeleteDetachedObjects();
  return 0;
}
