// Building long texts piece by piece: a macro's explanation block read line by line, a
// text grown one character at a time, and a long attribute value written as a set command
// and read back.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "AK_FrameworkState.h"
#include "AK_Object.h"

namespace {

void BM_AppendLines(benchmark::State& state)
{
  const char* line = "# an explanation line of a macro, about eighty characters long........\n";
  int lines = static_cast<int>(state.range(0)) / static_cast<int>(std::char_traits<char>::length(line));
  for (auto _ : state) {
    AK_String text;
    for (int i = 0; i < lines; ++i) text += line;
    benchmark::DoNotOptimize(text.c_str());
  }
}
BENCHMARK(BM_AppendLines)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

void BM_AppendChars(benchmark::State& state)
{
  for (auto _ : state) {
    AK_String text;
    for (int64_t i = 0; i < state.range(0); ++i) text += static_cast<char>('a' + i % 26);
    benchmark::DoNotOptimize(text.c_str());
  }
}
BENCHMARK(BM_AppendChars)->Arg(1 << 18)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

// A long value with every escaped character in it, through the set command and back.
void BM_EscapeRoundTrip(benchmark::State& state)
{
  std::string tmp = (std::filesystem::temp_directory_path() / "torvu_bench_string").string();
  std::filesystem::create_directories(tmp);
  AttributesDirectory = TORVU_BENCH_ATTRIBUTES_DIR "/";
  UserAttributesDirectory = (tmp + "/").c_str();
  AK_Object object("o", nullptr);
  std::string value;
  const char pieces[] = "ab\"c\n%%n\\d\t";
  while (value.size() < static_cast<size_t>(state.range(0))) value += pieces;
  for (auto _ : state) {
    AK_String command = AK_FormatSetCommand("o", "Attr", value.c_str());
    AK_String kind, path, attribute, parsed;
    object.ParseCommand(command.c_str(), kind, path, attribute, parsed);
    if (parsed != value.c_str()) state.SkipWithError("the value did not survive");
  }
}
BENCHMARK(BM_EscapeRoundTrip)->Arg(50000)->Arg(800000)->Unit(benchmark::kMillisecond);

}  // namespace
