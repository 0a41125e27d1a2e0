#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

std::string Pieces(const AK_Array<AK_String>& list)
{
  std::string out;
  for (int i = 0; i < list.Count(); ++i) out += std::string("[") + list[i].c_str() + "]";
  return out;
}

}  // namespace

TEST(String, Split)
{
  struct Case { const char* text; const char* separator; const char* pieces; };
  const Case cases[] = {
      {"", "|", ""},
      {"abc", "|", "[abc]"},
      {"a||b|", "|", "[a][][b]"},
      {"|a", "|", "[][a]"},
      {"|", "|", "[]"},
      {"x%AK_SEP%y%AK_SEP%", "%AK_SEP%", "[x][y]"},
      {"x%AK_SEP%%AK_SEP%y", "%AK_SEP%", "[x][][y]"},
      {"root/a/b", "/", "[root][a][b]"},
      {"line1\nline2\n", "\n", "[line1][line2]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    AK_Array<AK_String> out;
    int n = AK_String(c.text).Split(c.separator, out);
    EXPECT_EQ(Pieces(out), c.pieces);
    EXPECT_EQ(n, out.Count());
    if (c.separator[1] == '\0') {
      AK_Array<AK_String> byChar;
      AK_String(c.text).Split(c.separator[0], byChar);
      EXPECT_EQ(Pieces(byChar), c.pieces);
    }
  }
  AK_Array<AK_String> existing;
  existing.Append("keep");
  EXPECT_EQ(AK_String("a|b").Split('|', existing), 3);  // the count after appending
}

TEST(String, JoinAndNumberTexts)
{
  AK_Array<AK_String> list;
  EXPECT_STREQ(AK_String(list, "%AK_SEP%"), "");
  list.Append("a");
  list.Append("");
  list.Append("c");
  EXPECT_STREQ(AK_String(list, "%AK_SEP%"), "a%AK_SEP%%AK_SEP%c%AK_SEP%");
  const double d[] = {1.5, 0.1, 1e20, -2};
  EXPECT_STREQ(AK_String(d, 4), "1.5 0.1 1e+20 -2");
  EXPECT_STREQ(AK_String(d, 0), "");
  EXPECT_STREQ(AK_String(d, -1), "");
  EXPECT_STREQ(AK_FormatDoubleList(d, 2), "1.5 0.1");
  const float f[] = {0.1f, 3.0f};
  EXPECT_STREQ(AK_String(f, 2), "0.1 3");
  EXPECT_STREQ(AK_String(-42), "-42");
  EXPECT_STREQ(AK_String::Format("%04d|%.15g", 7, 0.1), "0007|0.1");
  int object = 0;
  AK_String pointer = AK_String::FromPointer(&object);
  EXPECT_EQ(std::string(pointer.c_str()).rfind("%ak_ptr%", 0), 0u);
  EXPECT_EQ(pointer.ToPointer(), &object);
  EXPECT_EQ(AK_String("garbage").ToPointer(), nullptr);
  EXPECT_EQ(AK_String::FromPointer(nullptr).ToPointer(), nullptr);
}

TEST(String, ReplaceFamily)
{
  AK_String s("a-b-c");
  EXPECT_EQ(s.ReplaceFirst("-", "+"), 1);
  EXPECT_STREQ(s, "a+b-c");
  EXPECT_EQ(s.ReplaceFirst("x", "y"), 0);
  EXPECT_EQ(s.ReplaceFirst("-", "-"), 0);
  EXPECT_STREQ(s, "a+b-c");

  struct Case { const char* text; const char* from; const char* to; const char* result; int count; };
  // Replacements that contain the search text must not be rescanned.
  const Case all[] = {
      {"aXa", "a", "aa", "aaXaa", 2},
      {"\\\\", "\\", "\\\\", "\\\\\\\\", 2},
      {"aaaa", "aa", "b", "bb", 2},
      {"abc", "", "x", "abc", 0},
      {"abc", "z", "x", "abc", 0},
      {"x%AK_SEP%y", "%AK_SEP%", "", "xy", 1},
  };
  for (const Case& c : all) {
    SCOPED_TRACE(c.text);
    AK_String t(c.text);
    EXPECT_EQ(t.ReplaceAll(c.from, c.to), c.count);
    EXPECT_STREQ(t, c.result);
  }

  AK_String id("my mesh/1");
  EXPECT_EQ(id.ReplaceNonIdentifierChars('_'), 2);
  EXPECT_STREQ(id, "my_mesh_1");
  AK_String blanks("a b\tc");
  EXPECT_EQ(blanks.ReplaceBlanks('_'), 2);
  EXPECT_STREQ(blanks, "a_b_c");
  AK_String chars("a.b.c");
  EXPECT_EQ(chars.ReplaceChar('.', '/'), 2);
  EXPECT_STREQ(chars, "a/b/c");

  AK_String marker("val $x1 + $y");
  EXPECT_EQ(marker.ExpandMarker('$', "get(\"", "\")"), 1);
  EXPECT_STREQ(marker, "val get(\"x1\") + $y");
  AK_String lone("a $ b");
  EXPECT_EQ(lone.ExpandMarker('$', "<", ">"), 0);
  AK_String upper("MiXeD 1_Z");
  upper.ToLower();
  EXPECT_STREQ(upper, "mixed 1_z");
}

TEST(String, PathsAndExtensions)
{
  struct Case { const char* path; const char* extension; const char* cut; const char* base; bool absolute; };
  const Case cases[] = {
      {"file.txt", "txt", "file", "file.txt", false},
      {"a.b.c", "c", "a.b", "a.b.c", false},
      {"dir.v1/file", "", "dir", "file", false},
      {"dir.v1\\file", "", "dir", "file", false},
      {"C:\\data\\grid.asc", "asc", "C:\\data\\grid", "grid.asc", true},
      {"c:/x", "", "c:/x", "x", true},
      {"C:x", "", "C:x", "C:x", false},
      {"/abs/at_0000005.0000.TimeStep", "TimeStep", "/abs/at_0000005.0000", "at_0000005.0000.TimeStep", true},
      {"\\share\\f.", "", "\\share\\f", "f.", true},
      {"noext", "", "noext", "noext", false},
      {"", "", "", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    AK_String p(c.path);
    EXPECT_STREQ(p.GetExtension(), c.extension);
    EXPECT_STREQ(p.BaseName(), c.base);
    EXPECT_EQ(p.IsAbsolutePath(), c.absolute);
    p.CutExtension();
    EXPECT_STREQ(p, c.cut);
  }
  struct Join { const char* dir; const char* name; const char* joined; };
  const Join joins[] = {{"", "Foo.atr", "./Foo.atr"}, {"dir", "x", "dir/x"}, {"dir/", "x", "dir/x"}};
  for (const Join& j : joins) {
    AK_String d(j.dir);
    d.EnsureTrailingChar(j.name, AK_DIR_SEP);
    EXPECT_STREQ(d, j.joined);
  }
  struct Dot { const char* text; int n; const char* component; };
  const Dot dots[] = {{"obj.Mesh", 1, "Mesh"}, {"obj.Mesh", 0, "obj"}, {"obj.Mesh", 2, ""},
                      {"a..c", 1, ""},         {"a..c", 2, "c"},      {"plain", 0, "plain"}};
  for (const Dot& d : dots) EXPECT_STREQ(AK_String(d.text).DotComponent(d.n), d.component) << d.text;
}

TEST(String, NumbersAndKeyValues)
{
  const std::pair<const char*, bool> numeric[] = {{"", true},       {"1.5e-3 2", true}, {"+1D5\t-2", true},
                                                 {"1,5", false},   {"x", false},       {"nan", false}};
  for (auto [text, expected] : numeric) EXPECT_EQ(AK_String(text).IsNumeric(), expected) << text;

  double out[4] = {9, 9, 9, 9};
  EXPECT_EQ(AK_String("1 2.5 3").ToDoubles(out, 2), 2);
  EXPECT_EQ(out[0], 1.0);
  EXPECT_EQ(out[1], 2.5);
  EXPECT_EQ(out[2], 9.0);
  EXPECT_EQ(AK_String("7").ToDoubles(out, 3), 1);
  EXPECT_EQ(out[0], 7.0);
  EXPECT_EQ(out[1], 2.5);

  const char* annotations = "d0=1.5;ah=2;rho=300;";
  EXPECT_STREQ(AK_String::GetKeyValue(annotations, "d0", '=', ';'), "1.5");
  EXPECT_STREQ(AK_String::GetKeyValue(annotations, "h", '=', ';'), "");  // not inside "ah"
  EXPECT_STREQ(AK_String::GetKeyValue(annotations, "rho", '=', ';'), "300");
  EXPECT_STREQ(AK_String::GetKeyValue("last=9", "last", '=', ';'), "9");
  AK_String text(annotations);
  AK_String::SetKeyValue(text, "ah", "5", '=', ';');
  EXPECT_STREQ(text, "d0=1.5;ah=5;rho=300;");
  AK_String::SetKeyValue(text, "temp", "-3", '=', ';');
  EXPECT_STREQ(text, "d0=1.5;ah=5;rho=300;temp=-3;");
  // A text whose last entry lacks its separator keeps that entry's value apart from the new one.
  AK_String open("d0=1.5");
  AK_String::SetKeyValue(open, "ah", "2", '=', ';');
  EXPECT_STREQ(open, "d0=1.5;ah=2;");
  EXPECT_STREQ(AK_String::GetKeyValue(open, "d0", '=', ';'), "1.5");
  AK_String empty;
  AK_String::SetKeyValue(empty, "ah", "2", '=', ';');
  EXPECT_STREQ(empty, "ah=2;");

  MessageCapture capture;
  double x = 0, y = 0, z = 42;
  AK_ParseVec3("1 2", x, y, z);
  EXPECT_EQ(x, 1.0);
  EXPECT_EQ(y, 2.0);
  EXPECT_EQ(z, 42.0);
  ASSERT_EQ(capture.messages.size(), 1u);
  EXPECT_EQ(capture.messages[0], "WARNING:wrong input!");
  AK_ParseVec3(" 4 5 6 7", x, y, z);
  EXPECT_EQ(z, 6.0);
  EXPECT_EQ(capture.messages.size(), 1u);
}

TEST(String, AssignmentAndConcatenation)
{
  AK_String s("abc");
  s = s;
  EXPECT_STREQ(s, "abc");
  s = s.c_str() + 1;  // a piece of itself
  EXPECT_STREQ(s, "bc");
  s += s.c_str();
  EXPECT_STREQ(s, "bcbc");
  AK_String front("x");
  s.Prepend(front);
  EXPECT_STREQ(s, "xbcbc");
  EXPECT_STREQ("<" + AK_String("a") + ">", "<a>");
  EXPECT_TRUE(AK_String("a") == "a");
  EXPECT_FALSE(AK_String("a") == "A");
  EXPECT_FALSE(AK_String("a") == static_cast<const char*>(nullptr));
  AK_String trimmed(" \t x y \r\n");
  trimmed.Trim();
  EXPECT_STREQ(trimmed, "x y");
}

TEST(StringDeathTest, FatalAssertions)
{
  EXPECT_DEATH(
      {
        AK_MessageHook = MessagesToStderr;
        AK_String s(static_cast<const char*>(nullptr));
      },
      "ERROR:FATAL:s failed!");
  EXPECT_DEATH(
      {
        AK_MessageHook = MessagesToStderr;
        AK_String s("a");
        s += s;
      },
      "ERROR:FATAL:&s != this failed!");
}

TEST(Array, GrowthResizeAndCopies)
{
  AK_Array<int> a(0);
  EXPECT_EQ(a.Capacity(), 1);
  std::vector<int> capacities;
  for (int i = 0; i < 9; ++i) {
    a.Append(i);
    capacities.push_back(a.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{1, 2, 4, 4, 8, 8, 8, 8, 16}));
  EXPECT_EQ(a.Resize(16), 16);  // same capacity: nothing changes
  EXPECT_EQ(a.Count(), 9);
  EXPECT_EQ(a.Resize(5), 5);  // shrinking lowers the count
  EXPECT_EQ(a.Count(), 5);
  EXPECT_EQ(a[4], 4);
  EXPECT_EQ(a.Resize(0), 1);
  EXPECT_EQ(a.Count(), 1);

  AK_Array<AK_Vec3> v;
  v.Resize(4);
  v.SetCount(4);
  EXPECT_TRUE(v[3] == AK_Vec3(0, 0, 0));

  AK_Array<AK_Array<int>> nested;
  nested.Append(AK_Array<int>());
  nested[0].Append(7);
  nested.Resize(10);
  EXPECT_EQ(nested[0].Count(), 1);
  EXPECT_EQ(nested[0][0], 7);
  EXPECT_EQ(nested[5].Count(), 0);

  AK_Array<AK_String> names;
  names.Append("a");
  for (int i = 0; i < 5; ++i) names.Append(names[0]);  // the element lives in the array itself
  EXPECT_EQ(names.Count(), 6);
  EXPECT_STREQ(names[5], "a");
  AK_Array<AK_String> more;
  more.Append("b");
  EXPECT_EQ(names.AppendAll(more), 6);
  EXPECT_EQ(names.AppendAll(names), 13);
  EXPECT_STREQ(names[13], "b");

  AK_Array<int> copy;
  copy = a;
  copy.Append(5);
  EXPECT_EQ(a.Count(), 1);
  AK_Array<int> list;
  for (int i = 0; i < 5; ++i) list.Append(i);
  list.Insert(0, 9);
  list.Insert(6, 8);
  list.Remove(2);
  EXPECT_EQ(std::vector<int>(list.begin(), list.end()), (std::vector<int>{9, 0, 2, 3, 4, 8}));
  EXPECT_EQ(list.Find(3), 3);
  EXPECT_EQ(list.Find(7), -1);
}
