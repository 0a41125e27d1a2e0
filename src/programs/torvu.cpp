// The program entry: reads the options, sets the class-file directories, builds the
// console controller "Viewer" with the project below it, and hands control to the
// controller until it returns.
#include <cstdlib>
#include <cstring>
#include <string>

#include "AK_Framework.h"

namespace {

struct Options {
  int offscreen = 0;
  std::string macroFileName;
  std::string attributesDirectory = "../files/AK_Attributes";
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
      i += 2;
    } else {
      ++i;  // unknown arguments and options without their value are passed over
    }
  }
  return options;
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

  AK_MESSAGE(AK_String("Setting config files directory: ") + options.attributesDirectory.c_str());
  AttributesDirectory = WithTrailingSeparator(options.attributesDirectory);
  if (const char* user = std::getenv("TORVU_USER_ATTRIBUTES")) {
    UserAttributesDirectory = WithTrailingSeparator(user);
    AK_MESSAGE(AK_String("set user attributes directory to:") + UserAttributesDirectory);
  }

  AK_RegisterFrameworkClasses();
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
