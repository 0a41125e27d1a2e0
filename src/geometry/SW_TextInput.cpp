#include "SW_TextInput.h"

#include <cstdio>

namespace {

constexpr unsigned char kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};

}  // namespace

bool SW_OpenTextInput(AK_File& file, const char* path, const char* mode)
{
  file = AK_File();
  if (!AK_IsRegularFile(path)) return false;
  file = AK_File(path, mode);
  if (!file) return false;
  unsigned char head[3] = {0, 0, 0};
  const size_t n = std::fread(head, 1, 3, file);
  if (n < 3 || head[0] != kByteOrderMark[0] || head[1] != kByteOrderMark[1] || head[2] != kByteOrderMark[2])
    std::rewind(file);
  return true;
}

bool SW_OpenTextInput(std::ifstream& in, const char* path)
{
  if (in.is_open()) in.close();
  in.clear();
  if (!AK_IsRegularFile(path)) {
    in.setstate(std::ios::failbit);
    return false;
  }
  in.open(AK_NormalizePath(path).c_str(), std::ios::binary);
  if (!in) return false;
  char head[3] = {0, 0, 0};
  in.read(head, 3);
  const bool mark = in.gcount() == 3 && static_cast<unsigned char>(head[0]) == kByteOrderMark[0] &&
                    static_cast<unsigned char>(head[1]) == kByteOrderMark[1] &&
                    static_cast<unsigned char>(head[2]) == kByteOrderMark[2];
  in.clear();
  in.seekg(mark ? 3 : 0);
  return true;
}

AK_String SW_TextInputError(const char* path, const AK_String& cannotOpen)
{
  if (AK_FileExists(path) && !AK_IsRegularFile(path)) return AK_String("'") + path + "' is no regular file";
  return cannotOpen;
}
