// What the interpreter tests share: its messages captured, namespaces that clean up after
// themselves, and compiling the script files under the folder's data.
#pragma once

#include "TestSupport.h"
#include "ast_sci.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace script_test {

inline std::string& captured()
{
  static std::string text;
  return text;
}

inline int capture_print(const char* format, ...)
{
  char buffer[8192];
  va_list ap;
  va_start(ap, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, ap);
  va_end(ap);
  captured() += buffer;
  return n;
}

inline void capture_flush() {}

// Captures the interpreter's messages while it lives.
class Messages {
 public:
  Messages()
  {
    captured().clear();
    ast_sci_set_message_functions(capture_print, capture_flush);
  }
  ~Messages() { ast_sci_set_message_functions(nullptr, nullptr); }
  const std::string& text() const { return captured(); }
  void clear() { captured().clear(); }
  bool contains(const std::string& part) const { return captured().find(part) != std::string::npos; }
};

// Opens a namespace below the current one and closes it again.
class Scope {
 public:
  Scope() : _ns(ast_sci_open_namespace()) {}
  ~Scope()
  {
    if (ast_sci_get_namespace() == _ns) ast_sci_close_namespace();
  }
  ast_sci_namespace get() const { return _ns; }

 private:
  ast_sci_namespace _ns;
};

// Compiles a fixture file into the current namespace; the error count.
inline int parse_fixture(const std::string& name)
{
  FILE* f = std::fopen(TestData(name).c_str(), "r");
  if (!f) {
    ADD_FAILURE() << "missing fixture " << name;
    return -1;
  }
  int errors = ast_sci_parse_file(f, TestData(name).c_str());
  std::fclose(f);
  return errors;
}

inline ast_sci_value call0(const char* name)
{
  ast_sci_symbol* f = ast_sci_find_function(name);
  EXPECT_NE(f, nullptr) << name;
  if (!f) return ast_sci_value{};
  return ast_sci_call_function(f);
}

}  // namespace script_test
