// The kept length of a growing text against a plain string doing the same edits, writes of a
// terminator through [] included.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "AK_String.h"

TEST(StringGrowth, EditsAgreeWithPlainStringProperty)
{
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    AK_String text;
    std::string oracle;
    for (int step = 0; step < 60; ++step) {
      std::string piece(random() % 40, static_cast<char>('a' + random() % 3));
      if (random() % 4 == 0) piece += '.';
      switch (random() % 7) {
        case 0: text += piece.c_str(); oracle += piece; break;
        case 1: text += AK_String(piece.c_str()); oracle += piece; break;
        case 2: text += static_cast<char>(piece.empty() ? '\0' : piece[0]);
                if (!piece.empty()) oracle += piece[0];
                break;
        case 3:
          if (!oracle.empty()) {
            size_t at = random() % oracle.size();
            text[static_cast<int>(at)] = '\0';
            oracle.resize(at);
          }
          break;
        case 4: text.CutExtension();
                if (oracle.rfind('.') != std::string::npos) oracle.resize(oracle.rfind('.'));
                break;
        case 5: text.ReplaceChar('b', '\0');
                if (oracle.find('b') != std::string::npos) oracle.resize(oracle.find('b'));
                break;
        default: text = AK_String(piece.c_str()) + text; oracle = piece + oracle;
      }
      ASSERT_EQ(text.Length(), static_cast<int>(oracle.size()));
      ASSERT_STREQ(text.c_str(), oracle.c_str());
    }
  }
}
