// What a lock file says, read back from every form it was ever written in.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "AK_ProcessLock.h"

namespace {

// The holder that a build which knew no purpose reads from a lock file: it reads the first line
// alone, and that is "pid" or "pid start" in decimal digits; anything else is damage (0).
int HolderForTheOldestBuild(const std::string& text)
{
  const size_t newline = text.find('\n');
  if (newline == std::string::npos) return 0;
  const std::string line = text.substr(0, newline);
  const size_t blank = line.find(' ');
  const std::string pid = line.substr(0, blank);
  const std::string start = blank == std::string::npos ? "1" : line.substr(blank + 1);
  const auto digits = [](const std::string& s) {
    return !s.empty() && s.size() <= 19 && s.find_first_not_of("0123456789") == std::string::npos;
  };
  if (!digits(pid) || !digits(start) || pid.size() > 10 || std::stoll(pid) <= 0) return 0;
  return int(std::stoll(pid));
}

}  // namespace

// Each form reads as its holder, start and purpose, and an entry writes the text of its form;
// anything else is damage, an entry of no holder.
TEST(LockEntry, ReadsEveryFormAndWritesWhatItRead)
{
  struct Case {
    const char* text;
    int pid;
    long long start;
    const char* purpose;
    const char* written;  // what the entry writes, nullptr: the text it was read from
  };
  const std::vector<Case> cases = {
      {"123\n", 123, -1, "", nullptr},
      {"123 456\n", 123, 456, "", nullptr},
      {"123 456\ncopy\n", 123, 456, "copy", nullptr},
      {"123\nwrite\n", 123, -1, "write", nullptr},
      {"1073741823 9223372036854775807\nabcdefghijklmno\n", 1073741823, INT64_MAX, "abcdefghijklmno", nullptr},
      // The one-line form of the build before: read, and written in the form of this one.
      {"123 456 copy\n", 123, 456, "copy", "123 456\ncopy\n"},
      {"123 456 write\n", 123, 456, "write", "123 456\nwrite\n"},
      {"", 0, -1, "", nullptr},
      {"123", 0, -1, "", nullptr},
      {"123 456", 0, -1, "", nullptr},
      {"123 456 \n", 0, -1, "", nullptr},
      {"123 456 Copy\n", 0, -1, "", nullptr},
      {"123 456 copy write\n", 0, -1, "", nullptr},
      {"123 456 abcdefghijklmnopq\n", 0, -1, "", nullptr},
      {"-5 456\n", 0, -1, "", nullptr},
      {"0 456\n", 0, -1, "", nullptr},
      {"123 x\n", 0, -1, "", nullptr},
      {"123 456\n\n", 0, -1, "", nullptr},
      {"123\n\n", 0, -1, "", nullptr},
      {"123 456\ncopy", 0, -1, "", nullptr},
      {"123 456\ncopy\nwrite\n", 0, -1, "", nullptr},
      {"123 456\ncopy\n\n", 0, -1, "", nullptr},
      {"123 456\ncopy write\n", 0, -1, "", nullptr},
      {"123 456\nCopy\n", 0, -1, "", nullptr},
      {"123 456\n789\n", 0, -1, "", nullptr},
      {"123\nabcdefghijklmnop\n", 0, -1, "", nullptr},
      {"123 456 copy\nwrite\n", 0, -1, "", nullptr},
      {"123 456 copy\n\n", 0, -1, "", nullptr},
      {"123 copy\n", 0, -1, "", nullptr},
      {"123 456\r\n", 0, -1, "", nullptr},
      {" 123\n", 0, -1, "", nullptr},
      {"+123\n", 0, -1, "", nullptr},
      {"1073741824\n", 0, -1, "", nullptr},
      {"123 9223372036854775808\n", 0, -1, "", nullptr},
      {"123 99999999999999999999\n", 0, -1, "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const AK_LockEntry entry = AK_LockEntry::Parse(c.text);
    EXPECT_EQ(entry.pid, c.pid);
    EXPECT_EQ(entry.start, c.start);
    EXPECT_STREQ(entry.purpose.c_str(), c.purpose);
    if (entry.pid != 0) {
      EXPECT_STREQ(entry.Line().c_str(), c.written ? c.written : c.text);
    }
  }
}

// Every entry reads back as itself, fits the room a reader gives a lock file, and names its
// holder to a build that knew no purpose: its first line is exactly what that build wrote for the
// same process (the whole text when there is no purpose), so that build sees the lock as held.
// The one-line form of the build before was damage to it.
TEST(LockEntry, EveryEntryReadsBackAndOlderBuildsSeeItsHolder)
{
  const int pids[] = {1, 123, 4194304, (1 << 30) - 1};
  const int64_t starts[] = {-1, 0, 456, INT64_MAX};
  const char* purposes[] = {"", "a", "copy", "write", "delete", "abcdefghijklmno"};
  for (const int pid : pids)
    for (const int64_t start : starts)
      for (const char* purpose : purposes) {
        const AK_LockEntry entry{pid, start, purpose};
        const std::string text = entry.Line().c_str();
        SCOPED_TRACE(text);
        EXPECT_TRUE(AK_LockEntry::Parse(text.c_str()) == entry);
        EXPECT_LT(text.size(), 64u);
        const std::string oldForm =
            start < 0 ? std::to_string(pid) + "\n" : std::to_string(pid) + " " + std::to_string(start) + "\n";
        EXPECT_EQ(text.substr(0, oldForm.size()), oldForm);
        EXPECT_EQ(text, *purpose ? oldForm + purpose + "\n" : oldForm);
        EXPECT_EQ(HolderForTheOldestBuild(text), pid);
      }
  EXPECT_EQ(HolderForTheOldestBuild("123 456 write\n"), 0);
  EXPECT_EQ(HolderForTheOldestBuild("123 456\n"), 123);
}
