#include "AK_Record.h"

#include <cstdlib>
#include <cstring>

#include "AK_Object.h"

namespace {

// "<absolute path>: IO error at <file:line>" in the error text; always 1.
int RecordFailure(AK_Object* object, const char* file, int line)
{
  char location[256];
  AK_FormatLocation(location, sizeof location, file, line);
  AK_ErrorText = object->GetAbsolutePath() + ": IO error at " + location;
  return 1;
}

AK_String Tag(const char* className, int version)
{
  return AK_String(className) + ":v" + AK_String(version);
}

}  // namespace

AK_RecordWriter::AK_RecordWriter(AK_STREAM& stream, AK_Object* object, const char* className,
                                 int version)
    : _stream(stream), _object(object)
{
  _stream << Tag(className, version);
}

int AK_RecordWriter::Finish(const char* file, int line)
{
  return _stream.Fail() ? RecordFailure(_object, file, line) : 0;
}

AK_RecordReader::AK_RecordReader(AK_STREAM& stream, AK_Object* object, const char* className)
    : _stream(stream), _object(object), _className(className)
{
}

int AK_RecordReader::Version(int newest)
{
  AK_String tag;
  _stream >> tag;
  AK_String prefix = _className + ":v";
  int version = -1;
  if (!_stream.Fail() && std::strncmp(tag, prefix, prefix.Length()) == 0) {
    const char* digits = tag.c_str() + prefix.Length();
    size_t n = std::strlen(digits);
    if (n >= 1 && n <= 9 && std::strspn(digits, "0123456789") == n) version = std::atoi(digits);
  }
  if (version < 0 || version > newest) {
    _failed = true;
    return -1;
  }
  return version;
}

int32_t AK_RecordReader::Count(int32_t limit)
{
  int32_t n = -1;
  _stream >> n;
  if (Failed() || n < 0 || n > limit || n > AK_RecordCountLimit) {
    _failed = true;
    return 0;
  }
  return n;
}

int AK_RecordReader::Finish(const char* file, int line)
{
  return Failed() ? RecordFailure(_object, file, line) : 0;
}
