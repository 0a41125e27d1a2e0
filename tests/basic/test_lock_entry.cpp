// What a lock file says, read back from every form it was ever written in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AK_ProcessLock.h"

// Each form reads as its holder, start and purpose, and an entry writes the line it was read
// from; anything else is damage, an entry of no holder.
TEST(LockEntry, ReadsEveryFormAndWritesWhatItRead)
{
  struct Case {
    const char* text;
    int pid;
    long long start;
    const char* purpose;
  };
  const std::vector<Case> cases = {
      {"123\n", 123, -1, ""},
      {"123 456\n", 123, 456, ""},
      {"123 456 copy\n", 123, 456, "copy"},
      {"123 456 write\n", 123, 456, "write"},
      {"", 0, -1, ""},
      {"123", 0, -1, ""},
      {"123 456", 0, -1, ""},
      {"123 456 \n", 0, -1, ""},
      {"123 456 Copy\n", 0, -1, ""},
      {"123 456 copy write\n", 0, -1, ""},
      {"123 456 abcdefghijklmnopq\n", 0, -1, ""},
      {"-5 456\n", 0, -1, ""},
      {"0 456\n", 0, -1, ""},
      {"123 x\n", 0, -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const AK_LockEntry entry = AK_LockEntry::Parse(c.text);
    EXPECT_EQ(entry.pid, c.pid);
    EXPECT_EQ(entry.start, c.start);
    EXPECT_STREQ(entry.purpose.c_str(), c.purpose);
    if (entry.pid != 0) {
      EXPECT_STREQ(entry.Line().c_str(), c.text);
    }
  }
}
