// Messages name the line that sends them, also through a helper; numbers as text read back
// bit for bit and are scanned as the "C" locale scans them.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <random>
#include <vector>

#include "TestSupport.h"

namespace {

void Warn(const char* what, AK_SourceLocation where = AK_SourceLocation::Current())
{
  AK_MessageAt(where, "WARNING:%s", what);
}

}  // namespace

TEST(Messages, NameTheCallersFileAndLine)
{
  MessageCapture capture;
  const int line = __LINE__ + 1;
  AK_Messagef("%d cells of %s", 3, AK_String("mesh"));
  Warn("helper");
  AK_ModuleMessage("SW_Mesh", "module");
  ASSERT_EQ(capture.messages, (std::vector<std::string>{"3 cells of mesh", "WARNING:helper", "module"}));
  EXPECT_EQ(capture.locations, (std::vector<std::string>{
                                   "test_messages_numbers.cpp:" + std::to_string(line),
                                   "test_messages_numbers.cpp:" + std::to_string(line + 1),
                                   "SW_Mesh:" + std::to_string(line + 2)}));
}

TEST(NumberText, RoundTripAndScanning)
{
  std::mt19937_64 random(5);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = random();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    double back = 0;
    ASSERT_TRUE(AK_ParseDouble(std::string_view(AK_FormatRoundTrip(v).c_str()), back));
    ASSERT_EQ(std::memcmp(&back, &v, sizeof v), 0) << AK_FormatRoundTrip(v).c_str();
  }

  struct Case {
    const char* text;
    bool ok;
    double value;
    const char* rest;
  };
  const Case cases[] = {{" \t1.5e3 x", true, 1500, " x"}, {"+.5,2", true, 0.5, ",2"},
                        {"-2e", true, -2, "e"},          {"1e400", false, 0, ""},
                        {"inf", false, 0, ""},           {"+-1", false, 0, ""},
                        {"  ", false, 0, ""},            {"x1", false, 0, ""}};
  for (const Case& c : cases) {
    const char* s = c.text;
    double v = 0;
    EXPECT_EQ(AK_ScanDouble(s, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
      EXPECT_STREQ(s, c.rest) << c.text;
    }
  }
}

// Numbers as atof and atoi read them, in any locale: the leading number, none, or one that
// is not finite; against the C library's strtod (in the "C" locale) over random doubles.
TEST(NumberText, LeadingNumbersAsTheCLibraryReadsThem)
{
  struct Row { const char* text; AK_NumberRead read; double value; };
  const std::string tiny = "0." + std::string(400, '0') + "1", huge = "1" + std::string(400, '0');
  const Row doubles[] = {
      {"  12abc", AK_NumberRead::Number, 12},   {"1.5x", AK_NumberRead::Number, 1.5},
      {"abc", AK_NumberRead::NoNumber, 0},      {"", AK_NumberRead::NoNumber, 0},
      {"+-1", AK_NumberRead::NoNumber, 0},      {"+7", AK_NumberRead::Number, 7},
      {"nan", AK_NumberRead::NotFinite, 0},     {"-inf", AK_NumberRead::NotFinite, 0},
      {"1e999", AK_NumberRead::NotFinite, 0},   {"1e+999", AK_NumberRead::NotFinite, 0},
      {"1e-400", AK_NumberRead::Number, 0},     {"-2.5e-3 4", AK_NumberRead::Number, -0.0025},
      {tiny.c_str(), AK_NumberRead::Number, 0},  {huge.c_str(), AK_NumberRead::NotFinite, 0},
      {"0x10", AK_NumberRead::Number, 16},      {"-0X1.8p1x", AK_NumberRead::Number, -3},
      {"0x", AK_NumberRead::Number, 0},         {"0x-1", AK_NumberRead::Number, 0},
      {"0xinf", AK_NumberRead::Number, 0},      {"0x1p99999", AK_NumberRead::NotFinite, 0},
      {"0x1p-99999", AK_NumberRead::Number, 0}};
  for (const Row& r : doubles) {
    SCOPED_TRACE(r.text);
    double v = -1;
    EXPECT_EQ(AK_LeadingDouble(r.text, v), r.read);
    EXPECT_EQ(v, r.value);
    EXPECT_EQ(AK_Atof(r.text), r.value);
  }
  const std::pair<const char*, int32_t> ints[] = {{"2.7", 2}, {" -12abc", -12}, {"+9", 9}, {"x", 0},
                                                  {"-2147483648", INT32_MIN}, {"2147483648", 0}};
  for (auto [text, value] : ints) EXPECT_EQ(AK_Atoi(text), value) << text;
  int32_t big = 5;
  EXPECT_EQ(AK_LeadingInt("99999999999", big), AK_NumberRead::NotFinite);

  double list[3] = {7, 8, 9};
  EXPECT_EQ(AK_LeadingNumbers("1 2,3", list, 3), 2);
  EXPECT_EQ(list[0], 1);
  EXPECT_EQ(list[2], 9);  // not read: kept
  EXPECT_EQ(AK_LeadingNumbers("1 inf 3", list, 3), -1);
  EXPECT_EQ(AK_ThroughText(1.0 / 3, 6), 0.333333);

  std::mt19937_64 random(7);
  for (int i = 0; i < 2000; ++i) {
    uint64_t bits = random();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    char text[64];
    for (const char* format : {"%.17g", "%a"}) {
      std::snprintf(text, sizeof text, format, x);
      double v = 0;
      ASSERT_EQ(AK_LeadingDouble(text, v), AK_NumberRead::Number) << text;
      EXPECT_EQ(v, std::strtod(text, nullptr)) << text;
    }
  }
}

// The text every attribute answers and saves for a double reads back as a finite number:
// the "%.15g" text itself wherever that reads back (so stored projects keep their bytes),
// else a text that reads back bit for bit. Read back by the C library's strtod, over random
// doubles, random subnormals and the doubles next to the largest, of either sign.
TEST(NumberText, AttributeTextOfEveryDoubleReadsBack)
{
  std::vector<double> values = {0.0, -0.0, 1e308, -1e308, 1.79769313486231e308};
  std::mt19937_64 random(11);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = random();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
    bits &= (uint64_t{1} << 63) | ((uint64_t{1} << 52) - 1);  // the same mantissa, subnormal
    std::memcpy(&v, &bits, sizeof v);
    values.push_back(v);
  }
  // The four largest doubles round past the largest with 15 digits; go well below them.
  for (double v = DBL_MAX; values.size() < 50000; v = std::nextafter(v, 0.0)) {
    values.push_back(v);
    values.push_back(-v);
  }
  int exact = 0;
  for (double v : values) {
    const std::string text = AK_FormatDouble(v).c_str();
    char general[64];
    std::snprintf(general, sizeof general, "%.15g", v);
    const double back = std::strtod(text.c_str(), nullptr);
    ASSERT_TRUE(std::isfinite(back)) << text;
    double parsed = 0;
    ASSERT_TRUE(AK_ParseDouble(text, parsed)) << text;  // the program's own reading agrees
    ASSERT_EQ(parsed, back) << text;
    if (std::isfinite(std::strtod(general, nullptr))) {
      ASSERT_EQ(text, general);
      ASSERT_LE(std::fabs(back - v), 5e-15 * std::fabs(v) + std::numeric_limits<double>::denorm_min()) << text;
    } else {
      ASSERT_EQ(std::memcmp(&back, &v, sizeof v), 0) << text;
      ++exact;
    }
  }
  EXPECT_EQ(exact, 8);  // the four largest of either sign took the exact text
  EXPECT_STREQ(AK_FormatDouble(DBL_MAX).c_str(), "1.7976931348623157e+308");
  EXPECT_STREQ(AK_FormatDouble(-DBL_MAX).c_str(), "-1.7976931348623157e+308");
  EXPECT_STREQ(AK_FormatDouble(std::numeric_limits<double>::denorm_min()).c_str(), "4.94065645841247e-324");
}
