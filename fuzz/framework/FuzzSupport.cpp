#include "FuzzSupport.h"

#include <cstdio>
#include <filesystem>

namespace {
void Silent(const char*, const char*) {}
}  // namespace

void FuzzSetUpOnce()
{
  static bool done = false;
  if (done) return;
  done = true;
  AK_MessageHook = Silent;
  AttributesDirectory = TORVU_FUZZ_ATTRIBUTES_DIR "/";
  UserAttributesDirectory = TORVU_FUZZ_ATTRIBUTES_DIR "/";
  AK_RegisterFrameworkClasses();
}

FuzzTree::FuzzTree()
{
  viewer = new AK_TerminalController("Viewer", nullptr);
  project = new AK_Container("Project", nullptr);
  viewer->AddComponent(project);
  AK_Object* a = new AK_Container("a", project);
  project->AddComponent(a);
  AK_Object* b = new AK_Object("b", a);
  a->AddComponent(b);
  project->AddLink(b);
}

FuzzTree::~FuzzTree()
{
  delete viewer;
  AK_DeleteDetachedObjects();
  AK_ReportCommandsFlag = 0;
  AK_ExplainCommandsFlag = 0;
  AK_SetLanguage("default");
  AK_ErrorText = "";
  AK_PendingExplanation = "";
  AK_InterruptCallback = nullptr;
}

bool FuzzHasAnyOf(const std::string& text, std::initializer_list<const char*> words)
{
  for (const char* word : words)
    if (text.find(word) != std::string::npos) return true;
  return false;
}

std::string FuzzScratchDirectory(const char* name)
{
  auto dir = std::filesystem::temp_directory_path() / name;
  std::filesystem::create_directories(dir);
  return dir.string();
}

void FuzzWriteFile(const std::string& path, const std::string& text)
{
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}
