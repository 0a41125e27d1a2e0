// The built-in library in the global namespace: mathematics, the constants M_PI and M_E, string
// functions bounded by the array sizes, sleep, and the checked printf, sprintf and sscanf.
#include "ast_sci_aux.h"
#include "ast_sci_internal.h"
#include "ast_sci_nodes.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <thread>

namespace {

// Readable length of a script text: up to the first NUL or the end of its array.
size_t text_length(const char* s)
{
  size_t size = ast_sci_array_size(s);
  return size ? ast_sci_internal::bounded_length(s, size) : std::strlen(s);
}

const char* const kBuiltinDeclarations =
    "double sqrt(double x); double pow(double x, double y); double exp(double x);"
    "double log(double x); double log10(double x);"
    "double sin(double x); double cos(double x); double tan(double x);"
    "double asin(double x); double acos(double x); double atan(double x); double atan2(double y, double x);"
    "double sinh(double x); double cosh(double x); double tanh(double x);"
    "double fabs(double x); double floor(double x); double ceil(double x); double fmod(double x, double y);"
    "double fmin(double x, double y); double fmax(double x, double y); int abs(int x);"
    "int strlen(char s[]); void strcpy(char dst[], char src[]); void strncpy(char dst[], char src[], int n);"
    "void strcat(char dst[], char src[]); int strcmp(char a[], char b[]); int strncmp(char a[], char b[], int n);"
    "int strstr(char s[], char t[]); int atoi(char s[]); double atof(char s[]);"
    "void sleep(double seconds);";

}  // namespace

double ast_sci_sqrt(double* x) { return std::sqrt(*x); }
double ast_sci_pow(double* x, double* y) { return std::pow(*x, *y); }
double ast_sci_exp(double* x) { return std::exp(*x); }
double ast_sci_log(double* x) { return std::log(*x); }
double ast_sci_log10(double* x) { return std::log10(*x); }
double ast_sci_sin(double* x) { return std::sin(*x); }
double ast_sci_cos(double* x) { return std::cos(*x); }
double ast_sci_tan(double* x) { return std::tan(*x); }
double ast_sci_asin(double* x) { return std::asin(*x); }
double ast_sci_acos(double* x) { return std::acos(*x); }
double ast_sci_atan(double* x) { return std::atan(*x); }
double ast_sci_atan2(double* y, double* x) { return std::atan2(*y, *x); }
double ast_sci_sinh(double* x) { return std::sinh(*x); }
double ast_sci_cosh(double* x) { return std::cosh(*x); }
double ast_sci_tanh(double* x) { return std::tanh(*x); }
double ast_sci_fabs(double* x) { return std::fabs(*x); }
double ast_sci_floor(double* x) { return std::floor(*x); }
double ast_sci_ceil(double* x) { return std::ceil(*x); }
double ast_sci_fmod(double* x, double* y) { return std::fmod(*x, *y); }
double ast_sci_fmin(double* x, double* y) { return std::fmin(*x, *y); }
double ast_sci_fmax(double* x, double* y) { return std::fmax(*x, *y); }

int ast_sci_abs(int* x)
{
  // |INT_MIN| does not exist; like the integer arithmetic of scripts it wraps to INT_MIN.
  return *x < 0 ? static_cast<int>(0u - static_cast<unsigned>(*x)) : *x;
}

int ast_sci_strlen(char* s) { return static_cast<int>(text_length(s)); }

void ast_sci_strcpy(char* destination, char* source)
{
  size_t size = ast_sci_array_size(destination);
  if (size == 0) return;
  size_t n = std::min(text_length(source), size - 1);
  std::memmove(destination, source, n);
  destination[n] = 0;
}

void ast_sci_strncpy(char* destination, char* source, int* n)
{
  size_t size = ast_sci_array_size(destination);
  size_t limit = *n > 0 ? std::min(static_cast<size_t>(*n), size) : 0;
  size_t copy = std::min(text_length(source), limit);
  std::memmove(destination, source, copy);
  if (limit > copy) std::memset(destination + copy, 0, limit - copy);
}

void ast_sci_strcat(char* destination, char* source)
{
  size_t size = ast_sci_array_size(destination);
  size_t used = ast_sci_internal::bounded_length(destination, size);
  if (size == 0 || used >= size) return;
  size_t n = std::min(text_length(source), size - 1 - used);
  std::memmove(destination + used, source, n);
  destination[used + n] = 0;
}

int ast_sci_strncmp(char* a, char* b, int* n)
{
  size_t la = text_length(a), lb = text_length(b);
  size_t limit = *n > 0 ? static_cast<size_t>(*n) : 0;
  for (size_t i = 0; i < limit; ++i) {
    int ca = i < la ? static_cast<unsigned char>(a[i]) : 0;
    int cb = i < lb ? static_cast<unsigned char>(b[i]) : 0;
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
  return 0;
}

int ast_sci_strcmp(char* a, char* b)
{
  int n = INT_MAX;
  return ast_sci_strncmp(a, b, &n);
}

int ast_sci_strstr(char* s, char* t)
{
  std::string_view hay(s, text_length(s));
  std::string_view needle(t, text_length(t));
  size_t at = hay.find(needle);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

int ast_sci_atoi(char* s)
{
  size_t n = text_length(s);
  size_t i = 0;
  while (i < n && ast_sci_internal::is_space(s[i])) ++i;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int64_t value = 0;
  while (i < n && s[i] >= '0' && s[i] <= '9') {
    value = value * 10 + (s[i++] - '0');
    if (value > int64_t(INT_MAX) + 1) value = int64_t(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

size_t ast_sci_parse_double(const char* begin, const char* end, double& value)
{
  const char* p = begin;
  while (p < end && ast_sci_internal::is_space(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p < end && (*p == '+' || *p == '-')) return 0;
  double v = 0;
  auto result = std::from_chars(p, end, v);
  if (result.ptr == p) return 0;
  if (result.ec == std::errc::result_out_of_range) {
    // Too large gives an infinity, too small zero, as strtod does.
    const char* e = std::find_if(p, result.ptr, [](char c) { return c == 'e' || c == 'E'; });
    bool tiny = (e != result.ptr && e + 1 < result.ptr && e[1] == '-') || (result.ptr - p > 1 && p[0] == '0');
    v = tiny ? 0.0 : HUGE_VAL;
  }
  value = negative ? -v : v;
  return static_cast<size_t>(result.ptr - begin);
}

double ast_sci_atof(char* s)
{
  double value = 0;
  if (ast_sci_parse_double(s, s + text_length(s), value) == 0) return 0;
  return value;
}

void ast_sci_sleep(double* seconds)
{
  double s = *seconds;
  if (!(s > 0)) return;
  if (s > 1e7) s = 1e7;
  std::this_thread::sleep_for(std::chrono::duration<double>(s));
}

namespace ast_sci_internal {

namespace {

void add_symbol(Generation* g, std::unique_ptr<ast_sci_symbol> s)
{
  s->owner = g;
  s->builtin = true;
  s->file = "<built-in>";
  g->table[s->name] = s.get();
  g->symbols.push_back(std::move(s));
}

void add_constant(Generation* g, const char* name, double value)
{
  auto s = std::make_unique<ast_sci_symbol>();
  s->name = name;
  s->kind = AST_SCI_SYM_CONSTANT;
  s->type = AST_SCI_DOUBLE;
  s->constant.d = value;
  add_symbol(g, std::move(s));
}

void add_intrinsic(Generation* g, const char* name, int id)
{
  auto s = std::make_unique<ast_sci_symbol>();
  s->name = name;
  s->kind = AST_SCI_SYM_INTRINSIC;
  s->type = AST_SCI_INT;
  s->intrinsic = id;
  add_symbol(g, std::move(s));
}

}  // namespace

void install_builtins()
{
  ast_sci_namespace_rec* global = global_namespace();
  if (compile_text(kBuiltinDeclarations, "<built-in>") != 0) return;
  ast_sci_bind_extern("sqrt", ast_sci_sqrt);
  ast_sci_bind_extern("pow", ast_sci_pow);
  ast_sci_bind_extern("exp", ast_sci_exp);
  ast_sci_bind_extern("log", ast_sci_log);
  ast_sci_bind_extern("log10", ast_sci_log10);
  ast_sci_bind_extern("sin", ast_sci_sin);
  ast_sci_bind_extern("cos", ast_sci_cos);
  ast_sci_bind_extern("tan", ast_sci_tan);
  ast_sci_bind_extern("asin", ast_sci_asin);
  ast_sci_bind_extern("acos", ast_sci_acos);
  ast_sci_bind_extern("atan", ast_sci_atan);
  ast_sci_bind_extern("atan2", ast_sci_atan2);
  ast_sci_bind_extern("sinh", ast_sci_sinh);
  ast_sci_bind_extern("cosh", ast_sci_cosh);
  ast_sci_bind_extern("tanh", ast_sci_tanh);
  ast_sci_bind_extern("fabs", ast_sci_fabs);
  ast_sci_bind_extern("floor", ast_sci_floor);
  ast_sci_bind_extern("ceil", ast_sci_ceil);
  ast_sci_bind_extern("fmod", ast_sci_fmod);
  ast_sci_bind_extern("fmin", ast_sci_fmin);
  ast_sci_bind_extern("fmax", ast_sci_fmax);
  ast_sci_bind_extern("abs", ast_sci_abs);
  ast_sci_bind_extern("strlen", ast_sci_strlen);
  ast_sci_bind_extern("strcpy", ast_sci_strcpy);
  ast_sci_bind_extern("strncpy", ast_sci_strncpy);
  ast_sci_bind_extern("strcat", ast_sci_strcat);
  ast_sci_bind_extern("strcmp", ast_sci_strcmp);
  ast_sci_bind_extern("strncmp", ast_sci_strncmp);
  ast_sci_bind_extern("strstr", ast_sci_strstr);
  ast_sci_bind_extern("atoi", ast_sci_atoi);
  ast_sci_bind_extern("atof", ast_sci_atof);
  ast_sci_bind_extern("sleep", ast_sci_sleep);
  Generation* g = global->gen;
  for (auto& s : g->symbols) s->builtin = true;
  add_constant(g, "M_PI", 3.14159265358979323846);
  add_constant(g, "M_E", 2.71828182845904523536);
  add_intrinsic(g, "printf", INTRINSIC_PRINTF);
  add_intrinsic(g, "sprintf", INTRINSIC_SPRINTF);
  add_intrinsic(g, "sscanf", INTRINSIC_SSCANF);
}

}  // namespace ast_sci_internal
