// The script host functions on arbitrary script arrays: every array has the size the input
// gives it and holds the input's bytes, terminated or not. A host function must neither read
// nor write past an array. Attribute names are made "$" variables, so that no command with an
// effect outside the tree (background starts, files) can run.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AK_CurrentObject.h"
#include "FuzzSupport.h"
#include "ast_sci.h"

namespace {

struct ScriptArray {
  std::vector<char> bytes;
  std::unique_ptr<ast_sci_array_scope> scope;
  char* data() { return bytes.data(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  if (size < 4) return 0;
  int function = data[0] % 16;
  std::vector<ScriptArray> arrays(3);
  size_t at = 4;
  for (int k = 0; k < 3; ++k) {
    size_t n = 1 + data[1 + k] % 48;
    arrays[k].bytes.assign(n, '\0');
    for (size_t i = 0; i < n && at < size; ++i) arrays[k].bytes[i] = static_cast<char>(data[at++]);
    arrays[k].scope = std::make_unique<ast_sci_array_scope>(arrays[k].data(), n);
  }
  char* a = arrays[0].data();
  char* b = arrays[1].data();
  char* c = arrays[2].data();

  FuzzTree tree;
  AK_CurrentObjectScope current(tree.project);
  std::string variable = "$" + std::string(b, strnlen(b, arrays[1].bytes.size()));
  std::vector<char> name(variable.begin(), variable.end());
  name.push_back('\0');
  ast_sci_array_scope nameSize(name.data(), name.size());
  int index = static_cast<signed char>(data[1]);
  switch (function) {
    case 0: AK_sci_set(a, name.data(), c); break;
    case 1: AK_sci_get(a, name.data(), c); break;
    case 2: AK_sci_get(a, b, c); break;
    case 3: AK_sci_set_error(a); AK_sci_error(b); break;
    case 4: AK_sci_list_size(a); break;
    case 5: AK_sci_get_list_element(a, &index, b); break;
    case 6: AK_sci_add_id(a, b); break;
    case 7: AK_sci_cut_id(a, b); break;
    case 8: AK_sci_add_name(a, b); break;
    case 9: AK_sci_cut_name(a, b); break;
    case 10: AK_sci_add_extension(a, b); break;
    case 11: AK_sci_cut_extension(a, b); break;
    case 12: AK_sci_get_attribute_file(a, b, c); break;
    case 13: AK_sci_exec_time(a, b); break;
    case 14: AK_sci_modification_time(a); break;
    default: AK_sci_modification_time_recursive(a); break;
  }
  AK_ErrorText = "";
  return 0;
}
