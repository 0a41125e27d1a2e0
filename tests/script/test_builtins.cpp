// The built-in library: mathematics, bounded strings, checked printf, sprintf and sscanf.
#include "ScriptTest.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

using script_test::Messages;
using script_test::Scope;

namespace {

struct MathCase { const char* expression; double expected; };

const MathCase kMath[] = {
    {"sqrt(2)", std::sqrt(2.0)},
    {"pow(2, 10)", 1024},
    {"exp(1)", std::exp(1.0)},
    {"log(M_E)", 1},
    {"log10(1000)", 3},
    {"sin(M_PI / 2)", 1},
    {"cos(0)", 1},
    {"tan(M_PI / 4)", std::tan(3.14159265358979323846 / 4)},
    {"asin(1)", 3.14159265358979323846 / 2},
    {"acos(1)", 0},
    {"atan(1)", 3.14159265358979323846 / 4},
    {"atan2(1, -1)", 3 * 3.14159265358979323846 / 4},
    {"sinh(1)", std::sinh(1.0)},
    {"cosh(1)", std::cosh(1.0)},
    {"tanh(0.5)", std::tanh(0.5)},
    {"fabs(-2.5)", 2.5},
    {"floor(-1.5)", -2},
    {"ceil(-1.5)", -1},
    {"fmod(7.5, 2)", 1.5},
    {"fmin(3, -1)", -1},
    {"fmax(3, -1)", 3},
    {"abs(-5)", 5},
    {"abs(-2147483647 - 1)", -2147483648.0},
    {"atoi(\"  -42abc\")", -42},
    {"atoi(\"99999999999\")", 2147483647},
    {"atof(\"3.5e2\")", 350},
    {"atof(\"  -0.25\")", -0.25},
    {"atof(\"+7\")", 7},
    {"atof(\"x1\")", 0},
};

struct IntCase {
  const char* name;
  const char* body;  // body of int main()
  int expected;
};

const IntCase kStrings[] = {
    {"strlen", "return strlen(\"hello\");", 5},
    {"strlen_unterminated", "char s[3]; s[0] = 'a'; s[1] = 'b'; s[2] = 'c'; return strlen(s);", 3},
    {"strcpy_truncates", "char d[4]; strcpy(d, \"overflowing\"); return strlen(d) * 1000 + d[2] + (d[3] == 0) * 100;", 3000 + 'e' + 100},
    {"strcpy_fits", "char d[8] = \"zzzzzzz\"; strcpy(d, \"ab\"); return strlen(d) * 100 + d[3];", 200 + 'z'},
    {"strncpy_pads", "char d[8] = \"zzzzzzz\"; strncpy(d, \"abc\", 6); return (d[3] == 0) + (d[5] == 0) * 10 + (d[6] == 'z') * 100;", 111},
    {"strncpy_bounded", "char d[4]; char e[4] = \"xyz\"; strncpy(d, \"abcdef\", 100); return d[3] * 1000 + e[0];", 'd' * 1000 + 'x'},
    {"strcat_truncates", "char d[8] = \"abc\"; strcat(d, \"defghij\"); return strlen(d) * 1000 + d[6];", 7000 + 'g'},
    {"strcat_full", "char d[3]; d[0] = 'a'; d[1] = 'b'; d[2] = 'c'; strcat(d, \"x\"); return d[2];", 'c'},
    {"strcmp", "return (strcmp(\"abc\", \"abd\") < 0) + (strcmp(\"abc\", \"abc\") == 0) * 10 + (strcmp(\"b\", \"a\") > 0) * 100 + (strcmp(\"ab\", \"abc\") < 0) * 1000;", 1111},
    {"strcmp_unterminated", "char a[2]; char b[3] = \"ab\"; a[0] = 'a'; a[1] = 'b'; return strcmp(a, b);", 0},
    {"strncmp", "return (strncmp(\"abcdef\", \"abcxyz\", 3) == 0) + (strncmp(\"abcdef\", \"abcxyz\", 4) < 0) * 10 + (strncmp(\"a\", \"b\", 0) == 0) * 100;", 111},
    {"strstr", "return strstr(\"hello world\", \"world\") * 100 + (strstr(\"abc\", \"x\") == -1) * 10 + strstr(\"abc\", \"\");", 610},
};

struct FormatCase {
  const char* call;  // statements in int main(); the last printf output is compared
  const char* output;
};

const FormatCase kPrintf[] = {
    {"char s[4] = \"abc\"; printf(\"%d %5.2f %s %c %x %%\\n\", 42, 3.14159, s, 'A', 255);", "42  3.14 abc A ff %\n"},
    {"float f = 0.5; char c = 'z'; printf(\"%f|%d|%c\", f, c, c);", "0.500000|122|z"},
    {"printf(\"%e|%g|%G\", 12345.678, 0.0001, 1e-10);", "1.234568e+04|0.0001|1E-10"},
    {"printf(\"[%*d][%-5d][%+d][%05d][%.3s]\", 4, 7, 3, 5, 42, \"abcdef\");", "[   7][3    ][+5][00042][abc]"},
    {"printf(\"%lf %ld %hd\", 1.5, 2, 3);", "1.500000 2 3"},
    {"void* p = 0; printf(\"%s\", \"plain\");", "plain"},
};

struct ErrorCase { const char* body; const char* message; };

const ErrorCase kFormatErrors[] = {
    {"printf(\"%d\", 1.5);", "printf: conversion '%d' does not match argument 2 (double)"},
    {"printf(\"%s\", 5);", "printf: conversion '%s' does not match argument 2 (int)"},
    {"int i = 1; printf(\"%f\", i);", "printf: conversion '%f' does not match argument 2 (int)"},
    {"printf(\"%d %d\", 1);", "printf: conversion '%d' has no argument"},
    {"printf(\"%d\", 1, 2);", "printf: 1 arguments more than the format uses"},
    {"printf(\"%q\", 1);", "printf: unsupported conversion '%q'"},
    {"printf(\"%n\", 1);", "printf: unsupported conversion '%n'"},
    {"printf(\"%*d\", 1.5, 2);", "field width '*' needs an int argument"},
    {"char d[8]; sprintf(d, \"%100000d\", 1);", "sprintf: field width or precision above 4096"},
    {"double d; sscanf(\"1.5\", \"%f\", d);", "sscanf: conversion '%f' does not match argument 3 (double)"},
    {"float f; sscanf(\"1.5\", \"%lf\", f);", "sscanf: conversion '%lf' does not match argument 3 (float)"},
    {"double d; sscanf(\"1\", \"%d\", d);", "sscanf: conversion '%d' does not match argument 3 (double)"},
    {"int i; sscanf(\"x\", \"%s\", i);", "sscanf: conversion '%s' does not match argument 3 (int)"},
    {"int i; int j; sscanf(\"1\", \"%d\", i, j);", "sscanf: 1 arguments more than the format uses"},
    {"int i; sscanf(\"x\", \"%d %d\", i);", "sscanf: conversion '%d' has no argument"},
    {"char c[4]; printf(\"%d\", c);", "printf: conversion '%d' does not match argument 2 (char array)"},
};

int run_int(const std::string& source, Messages& messages)
{
  Scope scope;
  int errors = ast_sci_parse_string(source.c_str());
  EXPECT_EQ(errors, 0) << messages.text() << source;
  if (errors) return std::numeric_limits<int>::min();
  return script_test::call0("main").i;
}

}  // namespace

TEST(ScriptBuiltins, Mathematics)
{
  Messages messages;
  for (const MathCase& c : kMath) {
    SCOPED_TRACE(c.expression);
    Scope scope;
    std::string source = std::string("double main() { return ") + c.expression + "; }";
    ASSERT_EQ(ast_sci_parse_string(source.c_str()), 0) << messages.text();
    EXPECT_NEAR(script_test::call0("main").d, c.expected, 1e-12);
  }
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("double big() { return atof(\"1e400\"); } double tiny() { return atof(\"1e-400\"); }"), 0);
  EXPECT_TRUE(std::isinf(script_test::call0("big").d));
  EXPECT_EQ(script_test::call0("tiny").d, 0.0);
}

TEST(ScriptBuiltins, StringsStayInsideTheirArrays)
{
  Messages messages;
  for (const IntCase& c : kStrings) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run_int(std::string("int main() { ") + c.body + " }", messages), c.expected);
    EXPECT_EQ(ast_sci_call_failed(), 0) << messages.text();
  }
}

// The same writes into a five-byte buffer of the host's heap, where the address sanitizer sees
// every byte past its end.
TEST(ScriptBuiltins, WritesStayInsideAHostBufferOfFiveBytes)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("void w_strcpy(char s[]) { strcpy(s, \"overflowing\"); }\n"
                                 "void w_strcat(char s[]) { strcat(s, \"overflowing\"); }\n"
                                 "void w_strncpy(char s[]) { strncpy(s, \"overflowing\", 100); }\n"
                                 "void w_sprintf(char s[]) { sprintf(s, \"%s-%d\", \"overflowing\", 12345); }\n"
                                 "void w_sscanf_s(char s[]) { sscanf(\"overflowing\", \"%s\", s); }\n"
                                 "void w_sscanf_set(char s[]) { sscanf(\"overflowing\", \"%[a-z]\", s); }\n"
                                 "void w_sscanf_c(char s[]) { sscanf(\"overflowing\", \"%9c\", s); }\n"
                                 "void w_index(char s[]) { for (int i = 0; i < 10; i++) s[i] = 'x'; }\n"),
            0)
      << messages.text();
  struct Write {
    const char* function;
    const char* expected;  // the five bytes afterwards, as a text
    bool fails;
  };
  const Write writes[] = {
      {"w_strcpy", "over", false},      {"w_strcat", "abov", false},     {"w_strncpy", "overf", false},
      {"w_sprintf", "over", false},     {"w_sscanf_s", "over", false},   {"w_sscanf_set", "over", false},
      {"w_sscanf_c", "overf", false},   {"w_index", "xxxxx", true},
  };
  for (const Write& w : writes) {
    SCOPED_TRACE(w.function);
    std::unique_ptr<char[]> buffer(new char[5]{'a', 'b', 0, 0, 0});
    {
      ast_sci_array_scope size(buffer.get(), 5);
      ast_sci_call_function(ast_sci_find_function(w.function), buffer.get());
    }
    EXPECT_EQ(ast_sci_call_failed(), w.fails ? 1 : 0) << messages.text();
    EXPECT_EQ(std::string(buffer.get(), 5), std::string(w.expected).append(5 - std::strlen(w.expected), '\0'));
  }
}

TEST(ScriptBuiltins, PrintfWritesToTheMessageOutput)
{
  Messages messages;
  for (const FormatCase& c : kPrintf) {
    SCOPED_TRACE(c.call);
    messages.clear();
    run_int(std::string("int main() { ") + c.call + " return 0; }", messages);
    EXPECT_EQ(messages.text(), c.output);
  }
  messages.clear();
  EXPECT_EQ(run_int("int main() { return printf(\"%s=%d\", \"n\", 12); }", messages), 4);
}

TEST(ScriptBuiltins, SprintfTruncates)
{
  Messages messages;
  EXPECT_EQ(run_int("int main() { char d[8]; int n = sprintf(d, \"%s-%d\", \"abcdef\", 12345); return n * 1000 + strlen(d) * 10 + (d[6] == '-'); }",
                    messages),
            7071);
  EXPECT_EQ(run_int("int main() { char d[16] = \"ab\"; sprintf(d, \"%s%s\", d, d); return strcmp(d, \"abab\"); }", messages), 0);
  EXPECT_EQ(run_int("int main() { char d[4]; sprintf(d, \"%.2f\", 3.14159); return d[0] * 100 + d[2]; }", messages), '3' * 100 + '1');
}

TEST(ScriptBuiltins, SscanfWritesThroughItsArguments)
{
  const IntCase cases[] = {
      {"all kinds", "int i; float f; double d; char w[3]; int n = sscanf(\"12 3.5 2.25 word rest\", \"%d %f %lf %s\", i, f, d, w);"
                    " return n * 100000 + i * 1000 + (f == 3.5) * 100 + (d == 2.25) * 10 + (strcmp(w, \"wo\") == 0);", 412111},
      {"no match", "int i = 5; return sscanf(\"abc\", \"%d\", i) * 10 + i;", 5},
      {"input end", "int i = 5; return sscanf(\"   \", \"%d\", i);", -1},
      {"literal between", "int a; int b; int n = sscanf(\"7,8\", \"%d,%d\", a, b); return n * 100 + a * 10 + b;", 278},
      {"sets and %n", "char k[8]; char v[8]; int used; int n = sscanf(\"key=value;rest\", \"%[^=]=%[^;]%n\", k, v, used);"
                      " return n * 1000 + used * 10 + (strcmp(k, \"key\") == 0) + (strcmp(v, \"value\") == 0) * 2;", 2093},
      {"skip, hex, any base", "int x; int y; int n = sscanf(\"1 ff 0x10\", \"%*d %x %i\", x, y); return n * 1000 + x + y;", 2000 + 255 + 16},
      {"characters", "char c; char t[3]; int n = sscanf(\"qabc\", \"%c%3c\", c, t); return n * 1000 + c + t[2];", 2000 + 'q' + 'c'},
      {"%hhd", "char c = 0; return sscanf(\"  -12\", \"%hhd\", c) * 100 + c;", 100 - 12},
      {"%%", "int i; return sscanf(\"100%\", \"%d%%\", i) * 1000 + i;", 1100},
      // Scan sets: ranges (also the first item), negation, a '-' of its own at either end.
      {"scan sets", "char a[8]; char b[8]; char c[8]; int n = sscanf(\"2024ab-x;\", \"%[0-9]%[^-]%[-x]\", a, b, c);"
                    " return n * 1000 + (strcmp(a, \"2024\") == 0) + (strcmp(b, \"ab\") == 0) * 10 + (strcmp(c, \"-x\") == 0) * 100;", 3111},
      {"trailing dash", "char a[8]; return sscanf(\"a-b\", \"%[a-]\", a) * 10 + strlen(a);", 12},
      // "%hhn" and "%hhd" fill one char: the array next to the target keeps its text.
      {"%hhn into a char", "char s[8]; char t[8] = \"xyz\"; sscanf(\"ab\", \"ab%hhn\", s[7]); return s[7] * 1000 + strcmp(t, \"xyz\");", 2000},
      {"%hhd into a char", "char s[8]; char t[8] = \"xyz\"; sscanf(\"-1\", \"%hhd\", s[7]); return s[7] * 1000 + strcmp(t, \"xyz\");", -1000},
  };
  Messages messages;
  for (const IntCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run_int(std::string("int main() { ") + c.body + " }", messages), c.expected);
  }
}

TEST(ScriptBuiltins, FormatMismatchesAreRuntimeErrors)
{
  Messages messages;
  for (const ErrorCase& c : kFormatErrors) {
    SCOPED_TRACE(c.body);
    Scope scope;
    ASSERT_EQ(ast_sci_parse_string((std::string("int main() { ") + c.body + " return 1; }\nint ok() { return 2; }").c_str()), 0)
        << messages.text();
    messages.clear();
    EXPECT_EQ(script_test::call0("main").i, 0);
    EXPECT_EQ(ast_sci_call_failed(), 1);
    EXPECT_TRUE(messages.contains(c.message)) << messages.text();
    EXPECT_EQ(script_test::call0("ok").i, 2);
  }
}

namespace {

// Switches LC_NUMERIC to a locale whose decimal point is a comma; when none is installed, one is
// built from the system's locale sources into a temporary directory. False when neither works.
bool use_decimal_comma_locale()
{
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8"};
  for (const char* name : names)
    if (std::setlocale(LC_NUMERIC, name)) return true;
  if (!std::filesystem::exists("/usr/share/i18n/locales/de_DE")) return false;
  std::string directory = ::testing::TempDir() + "torvu_script_locales";
  std::filesystem::create_directories(directory);
  std::string command = "localedef -i de_DE -f UTF-8 '" + directory + "/de_DE.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  setenv("LOCPATH", directory.c_str(), 1);
  bool found = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  unsetenv("LOCPATH");
  return found;
}

class NumericLocaleGuard {
 public:
  NumericLocaleGuard()
  {
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    _saved = current ? current : "C";
  }
  ~NumericLocaleGuard() { std::setlocale(LC_NUMERIC, _saved.c_str()); }

 private:
  std::string _saved;
};

}  // namespace

TEST(ScriptBuiltins, NumbersIgnoreTheLocale)
{
  NumericLocaleGuard guard;
  if (!use_decimal_comma_locale()) GTEST_SKIP() << "no locale with a decimal comma available";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int main() { double d; char s[16]; sscanf(\"2.5\", \"%lf\", d); sprintf(s, \"%.1f\", d * 2);\n"
                                 "  printf(\"%g|%s|%c|%e\", atof(\"1.25\"), \"a,b\", ',', 1.5); return strcmp(s, \"5.0\"); }"),
            0);
  EXPECT_EQ(script_test::call0("main").i, 0);
  // Only the decimal point of numbers is the locale's; commas in texts stay commas.
  EXPECT_EQ(messages.text(), "1.25|a,b|,|1.500000e+00");
}
