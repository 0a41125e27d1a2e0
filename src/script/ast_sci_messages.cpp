// The interpreter's message output: a replaceable formatted-print function and its flush
// function; the defaults write to the message stream (standard output unless set).
#include "ast_sci_execute.h"

#include <cstdarg>
#include <cstdio>

namespace {

FILE* message_stream = nullptr;

FILE* stream() { return message_stream ? message_stream : stdout; }

void flush_stream() { std::fflush(stream()); }

ast_sci_flush_function flush_function = flush_stream;

}  // namespace

ast_sci_print_function ast_sci_print = ast_sci_message_to_stream;

int ast_sci_message_to_stream(const char* format, ...)
{
  va_list ap;
  va_start(ap, format);
  int n = std::vfprintf(stream(), format, ap);
  va_end(ap);
  return n;
}

void ast_sci_flush() { flush_function(); }

void ast_sci_set_message_stream(FILE* file) { message_stream = file; }

void ast_sci_set_message_functions(ast_sci_print_function print, ast_sci_flush_function flush)
{
  ast_sci_print = print ? print : ast_sci_message_to_stream;
  flush_function = flush ? flush : flush_stream;
}
