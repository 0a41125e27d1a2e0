// Messages name the line that sends them, also through a helper; numbers as text read back
// bit for bit and are scanned as the "C" locale scans them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

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
