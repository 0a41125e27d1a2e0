// Binary records: the class tag with its version, checked counts, and an object that stays
// as it was when its record fails.
#include <gtest/gtest.h>

#include <string>

#include "AK_Record.h"
#include "TestClasses.h"

namespace {

constexpr int32_t kMaxSamples = 1 << 20;

// Version 0 held a name; version 1 added the samples.
class TST_Samples : public AK_Object {
public:
  using AK_Object::AK_Object;
  AK_String _name = "old";
  AK_Array<double> _samples;

  int SaveData(AK_STREAM& stream) override
  {
    AK_RecordWriter w(stream, this, "TST_Samples", 1);
    w << _name;
    w.Array(_samples);
    return w.Finish(__FILE__, __LINE__);
  }
  int LoadData(AK_STREAM& stream) override
  {
    AK_RecordReader r(stream, this, "TST_Samples");
    AK_String name;
    AK_Array<double> samples;
    switch (r.Version(1)) {
      case 0: r >> name; break;
      case 1: r >> name; r.Array(samples, kMaxSamples); break;
    }
    return r.Finish("TST_Samples.cpp", 7, [&] {
      _name = name;
      _samples = samples;
    });
  }
  std::string Text() const
  {
    std::string text = _name.c_str();
    for (double x : _samples) text += " " + std::to_string(x);
    return text;
  }
};

}  // namespace

TEST(Record, VersionsCountsAndFailures)
{
  struct Case {
    const char* tag;
    int32_t count;       // -1: no count at all (version 0)
    int32_t written;     // samples actually in the file
    const char* loaded;  // nullptr: the record fails and the object stays "old 9"
  };
  const Case cases[] = {
      {"TST_Samples:v1", 2, 2, "new 0.500000 1.500000"},
      {"TST_Samples:v0", -1, 0, "new"},
      {"TST_Samples:v2", 0, 0, nullptr},  // a version this reader does not know
      {"TST_Samples:v", 0, 0, nullptr},
      {"TST_Samples:v-1", 0, 0, nullptr},
      {"TST_Other:v1", 0, 0, nullptr},               // another class's record
      {"TST_Samples:v1", 3, 2, nullptr},             // truncated
      {"TST_Samples:v1", 1 << 30, 0, nullptr},       // above the limit: nothing allocated
      {"TST_Samples:v1", kMaxSamples, 1, nullptr},   // within it, but the data is not there
      {"TST_Samples:v1", -5, 0, nullptr},
  };
  ScratchDir dir;
  TST_Holder top("T", nullptr);
  auto* s = new TST_Samples("s", &top);
  top.AddComponent(s);
  std::string file = dir / "s.dat";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tag) + " " + std::to_string(c.count));
    {
      AK_STREAM out(file.c_str(), "wb");
      out << AK_String(c.tag) << AK_String("new");
      if (c.count != -1) out << c.count;
      for (int i = 0; i < c.written; ++i) out << 0.5 + i;
    }
    s->_name = "old";
    s->_samples.Clear();
    s->_samples.Append(9.0);
    AK_ErrorText = "";
    AK_STREAM in(file.c_str(), "rb");
    EXPECT_EQ(s->LoadData(in), c.loaded ? 0 : 1);
    EXPECT_EQ(s->Text(), c.loaded ? c.loaded : "old 9.000000");
    EXPECT_STREQ(AK_ErrorText.c_str(), c.loaded ? "" : "T/s: IO error at TST_Samples.cpp:7");
  }

  // What the writer writes, the reader reads back.
  for (int i = 0; i < 1000; ++i) s->_samples.Append(i * 0.25);
  {
    AK_STREAM out(file.c_str(), "wb");
    EXPECT_EQ(s->SaveData(out), 0);
  }
  TST_Samples copy("copy", nullptr);
  AK_STREAM in(file.c_str(), "rb");
  EXPECT_EQ(copy.LoadData(in), 0);
  EXPECT_EQ(copy.Text(), s->Text());
}
