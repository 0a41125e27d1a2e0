#include "FuzzSupport.h"

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
