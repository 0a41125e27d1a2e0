// Compiles arbitrary text; when it compiles, runs its initialisers and its "main" under a step
// limit, with zeroed arguments if main takes any.
#include "ast_sci_execute.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

int quiet_print(const char*, ...) { return 0; }
void quiet_flush() {}
void no_sleep(double*) {}

bool set_up()
{
  ast_sci_set_message_functions(quiet_print, quiet_flush);
  ast_sci_set_step_limit(20000);
  ast_sci_get_namespace();
  ast_sci_bind_extern("sleep", no_sleep);  // a script must not stall the fuzzer
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static bool ready = set_up();
  (void)ready;
  std::string text(reinterpret_cast<const char*>(data), size);
  ast_sci_open_namespace();
  if (ast_sci_parse_string(text.c_str()) == 0) {
    ast_sci_run_namespace();
    if (ast_sci_symbol* main_function = ast_sci_find_function("main")) {
      // One zeroed 4 KiB block per formal: large enough for any scalar, declared for arrays.
      std::vector<std::vector<char>> blocks(main_function->formals.size(), std::vector<char>(4096, 0));
      std::vector<void*> args(8, nullptr);
      for (size_t i = 0; i < blocks.size() && i < args.size(); ++i) {
        args[i] = blocks[i].data();
        ast_sci_register_array(args[i], blocks[i].size());
      }
      if (main_function->formals.size() <= args.size())
        ast_sci_call_function(main_function, args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7]);
      for (size_t i = 0; i < blocks.size() && i < args.size(); ++i) ast_sci_unregister_array(args[i]);
    }
  }
  ast_sci_close_namespace();
  return 0;
}
