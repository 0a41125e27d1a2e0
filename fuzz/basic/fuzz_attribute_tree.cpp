// Parses any text as an attribute tree and runs every lookup over it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "AK_Basic.h"

namespace {
void Quiet(const char*, const char*) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  AK_MessageHook = Quiet;
  if (size == 0) return 0;
  int depth = data[0] % 3;
  bool withBase = data[0] & 4;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  AK_AttributeNode base("obj.Object\n\tstring.Id:Id\n\t\tset:Id\n", nullptr, 0);
  AK_AttributeNode root(text.c_str(), withBase ? &base : nullptr, depth);

  // Identifiers taken from the tree itself, so the lookups find something.
  const AK_AttributeNode* probe = &root;
  while (probe->Count() && probe->LastChild() != &base) probe = probe->Child(probe->Count() - 1);
  const char* ids[] = {"Id", "set", "", probe->_value.c_str(), probe->_name.c_str()};
  for (const char* id : ids) {
    for (auto kind : {AK_AttributeNode::GetCommand, AK_AttributeNode::SetCommand,
                      AK_AttributeNode::OprCommand}) {
      AK_Array<AK_AttributeNode*> path;
      root.FindCommandPath(id, kind, path);
    }
    root.FindBySetValue(id);
    root.ResolveSetCommand(id);
    root.FindChild(id);
  }
  AK_Array<AK_AttributeNode*> chain;
  root.CollectObjChain(chain);
  AK_Array<AK_String> values;
  root.CollectValues("set", values);
  root.CollectValues("double", values);
  return 0;
}
