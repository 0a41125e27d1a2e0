// The status and info files of a run hold any bytes (another process wrote them, or a disk
// damaged them): the input's first byte gives the length of the status file, which follows,
// the rest is the info file; an input of odd length has a run lock of this process beside
// them. The status file reads as its first word, or "unknown" when it holds none; the info
// answers the file as it is; a run is under way when the word says so and a live process
// holds the lock, and one that no lock stands for answers "finished".
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "AK_Files.h"
#include "AK_ProcessLock.h"
#include "FuzzSupport.h"
#include "SW_Simulation.h"
#include "SW_SimulationClasses.h"
#include "SW_SimulationStatus.h"

namespace {

// The first word of the text: at most 63 bytes up to the first blank, a text ending at a zero
// byte.
std::string FirstWord(const std::string& text)
{
  auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  auto begin = std::find_if_not(text.begin(), text.end(), blank);
  auto end = std::find_if(begin, text.end(), blank);
  std::string word(begin, begin + std::min<std::ptrdiff_t>(end - begin, 63));
  return word.substr(0, word.find('\0'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  static const bool registered = (SW_RegisterSimulationClasses(), true);
  (void)registered;
  static SW_Simulation* sim = [] {
    auto* s = new SW_Simulation("Avalanche1", nullptr);
    s->SetProjectDirRecursive(FuzzScratchDirectory("fuzz_status_files").c_str());
    (void)AK_MakeDirectory(s->ProjectDir());  // a failure shows in what the target then reads
    return s;
  }();
  const std::string dir = sim->ProjectDir().c_str();
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t cut = std::min<size_t>(data[0], input.size());
  const std::string status = input.substr(0, cut);
  const std::string info = input.substr(cut);
  FuzzWriteFile(dir + "/.simulation_status", status);
  FuzzWriteFile(dir + "/.simulation_info", info);
  const bool locked = size % 2 == 1;
  if (locked) FuzzWriteFile(dir + "/.simulation_lock", std::to_string(AK_ProcessId()) + "\n");
  else (void)AK_DeleteFile((dir + "/.simulation_lock").c_str());  // it may not stand

  const std::string word = FirstWord(status);
  const std::string expected = word.empty() ? "unknown" : word;
  // Both files were just written: each must read, never as missing or unreadable.
  const AK_Read<AK_String> statusRead = SW_ReadStatusFile(dir.c_str());
  if (!statusRead.Value() || std::string(statusRead.Value()->c_str()) != expected) __builtin_trap();
  // A text ends at a zero byte.
  const AK_Read<AK_String> infoRead = SW_ReadInfoFile(dir.c_str());
  if (!infoRead.Value() || std::string(infoRead.Value()->c_str()) != info.substr(0, info.find('\0'))) __builtin_trap();

  // What the simulation answers follows from the word and the lock: a run said to go on that
  // no lock stands for is gone, and reads as finished.
  const bool goesOn = expected == "running" || expected == "started";
  const bool underWay = locked && goesOn;
  const std::string answer = goesOn && !locked ? "finished" : expected;
  if (!(sim->Get("Status") == answer.c_str()) || sim->RunUnderWay() != underWay ||
      !(sim->Get("InterruptVis") == (answer == "running" ? "w" : "r")) || !(sim->Get("RunVis") == "r"))
    __builtin_trap();
  AK_ErrorText = "";
  return 0;
}
