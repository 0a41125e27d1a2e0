// Pairs and triples of numbers typed as text: what can be read is read, short input warns.
#include <gtest/gtest.h>

#include "AK_NumberText.h"
#include "TestSupport.h"

TEST(NumberLists, ParseWhatTheyCanAndWarnOnShortInput)
{
  constexpr double kKeep = 99;  // what an untouched place holds
  struct Case {
    const char* text;
    int count;  // 2 or 3
    bool asDouble;
    double expected[3];
    bool warns;
  };
  const Case cases[] = {
      {"0.5 0.25", 2, false, {0.5, 0.25, kKeep}, false},
      {"0.5", 2, false, {0.5, kKeep, kKeep}, true},
      {"", 2, false, {kKeep, kKeep, kKeep}, true},
      {"   \t ", 2, false, {kKeep, kKeep, kKeep}, true},
      {"1 2 3", 2, false, {1, 2, kKeep}, false},
      {"1,2", 2, true, {1, kKeep, kKeep}, true},
      {"1;2", 2, false, {1, kKeep, kKeep}, true},
      {"1 2 3 4", 3, false, {1, 2, 3}, false},
      {"1 2", 3, false, {1, 2, kKeep}, true},
      {"x 2 3", 3, false, {kKeep, kKeep, kKeep}, true},
      {"  -1e3\t7", 2, true, {-1000, 7, kKeep}, false},
      {"\n+2.5E1\r\n.5", 2, true, {25, 0.5, kKeep}, false},
      {"0.1 0.2", 2, true, {0.1, 0.2, kKeep}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    MessageCapture messages;
    const AK_String text(c.text);
    double got[3] = {kKeep, kKeep, kKeep};
    float f[3] = {float(kKeep), float(kKeep), float(kKeep)};
    if (c.asDouble)
      ParseDoublePairList(text, got);
    else if (c.count == 2)
      ParseFloatPairList(text, f);
    else
      ParseFloatTripleList(text, f);
    for (int i = 0; i < 3; ++i) {
      if (c.asDouble)
        EXPECT_DOUBLE_EQ(got[i], c.expected[i]) << "place " << i;
      else
        EXPECT_FLOAT_EQ(f[i], float(c.expected[i])) << "place " << i;
    }
    EXPECT_TRUE(text == c.text);
    EXPECT_EQ(messages.messages, c.warns ? std::vector<std::string>{"WARNING:wrong input!"} : std::vector<std::string>{});
    // Each reader names a line of its own.
    const char* place = c.asDouble ? "AK_Basic.h:858" : c.count == 2 ? "AK_Basic.h:849" : "AK_Basic.h:852";
    EXPECT_EQ(messages.locations, c.warns ? std::vector<std::string>{place} : std::vector<std::string>{});
  }
}
