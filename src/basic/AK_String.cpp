#include "AK_String.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "AK_NumberText.h"

namespace {

char* NewBuffer(int32_t size)
{
  char* b = new (std::nothrow) char[static_cast<size_t>(size)];
  AK_FATAL_ASSERT_NAMED(b, "buf");
  b[0] = '\0';
  return b;
}

constexpr size_t kMaxLength = 0x7ffffff0u;  // the buffer size must fit 32 bits

int32_t BufferSizeFor(size_t length)
{
  AK_FATAL_ASSERT_NAMED(length < kMaxLength, "length < 2^31");
  int32_t size = static_cast<int32_t>(length) + 1;
  return size < 2 ? 2 : size;
}

// Room for `length` bytes when the buffer of `size` bytes is too small: at least half as
// much again, so that a text built piece by piece is copied a bounded number of times.
int32_t GrownSizeFor(size_t length, int32_t size)
{
  int32_t need = BufferSizeFor(length);
  size_t grown = static_cast<size_t>(size) + static_cast<size_t>(size) / 2;
  if (grown > kMaxLength) grown = kMaxLength;
  return need > static_cast<int32_t>(grown) ? need : static_cast<int32_t>(grown);
}

bool IsSeparatorChar(char c) { return c == '/' || c == '\\'; }

}  // namespace

AK_String::AK_String() : _size(2), _s(NewBuffer(2)), _length(0) {}

AK_String::AK_String(const char* s)
{
  AK_FATAL_ASSERT_NAMED(s, "s");
  size_t n = std::strlen(s);
  _size = BufferSizeFor(n);
  _s = NewBuffer(_size);
  _length = static_cast<int32_t>(n);
  std::memcpy(_s, s, n + 1);
}

AK_String::AK_String(const AK_String& other) : AK_String(other._s, other._s + other.Length()) {}

AK_String::AK_String(AK_String&& other) noexcept
    : _size(other._size), _s(other._s), _length(other._length)
{
  other._size = 2;
  other._length = 0;
  other._s = new (std::nothrow) char[2];
  if (other._s) other._s[0] = '\0';
  AK_FATAL_ASSERT_NAMED(other._s, "buf");
}

AK_String::AK_String(const char* first, const char* last)
{
  size_t n = (first && last > first) ? static_cast<size_t>(last - first) : 0;
  _size = BufferSizeFor(n);
  _s = NewBuffer(_size);
  if (n) std::memcpy(_s, first, n);
  _s[n] = '\0';
  const void* end = n ? std::memchr(_s, '\0', n) : nullptr;  // the range may hold one
  _length = end ? static_cast<int32_t>(static_cast<const char*>(end) - _s)
                : static_cast<int32_t>(n);
}

AK_String::AK_String(char c) : _size(2), _s(NewBuffer(2)), _length(c ? 1 : 0)
{
  _s[0] = c;
  _s[1] = '\0';
}

AK_String::AK_String(int value) : _size(16), _s(NewBuffer(16))
{
  _length = std::snprintf(_s, 16, "%d", value);
}

AK_String::AK_String(const double* values, int n) : _size(2), _s(NewBuffer(2)), _length(0)
{
  for (int i = 0; i < n; ++i) {
    if (i) *this += ' ';
    *this += AK_FormatDouble(values[i]);
  }
}

AK_String::AK_String(const float* values, int n) : _size(2), _s(NewBuffer(2)), _length(0)
{
  char buf[64];
  for (int i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, i ? " %g" : "%g", static_cast<double>(values[i]));
    *this += buf;
  }
}

AK_String::AK_String(const AK_Array<AK_String>& list, const char* separator)
    : _size(2), _s(NewBuffer(2)), _length(0)
{
  size_t total = 0, sepLen = std::strlen(separator);
  for (int i = 0; i < list.Size(); ++i) total += static_cast<size_t>(list[i].Length()) + sepLen;
  Reserve(static_cast<int>(total));
  for (int i = 0; i < list.Size(); ++i) {
    *this += list[i]._s;
    *this += separator;
  }
}

AK_String::~AK_String() { delete[] _s; }

AK_String AK_String::Format(const char* format, ...)
{
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  AK_String result;
  if (n > 0) {
    result.Reserve(n);
    std::vsnprintf(result._s, static_cast<size_t>(n) + 1, format, args);
    result._length = n;
  }
  va_end(args);
  return result;
}

AK_String AK_String::FromPointer(const void* address)
{
  return Format("%%ak_ptr%%%p", address);
}

void* AK_String::ToPointer() const
{
  void* p = nullptr;
  if (std::sscanf(_s, "%%ak_ptr%%%p", &p) != 1) return nullptr;
  return p;
}

void AK_String::Reserve(int length)
{
  if (length < 0) length = 0;
  if (BufferSizeFor(static_cast<size_t>(length)) <= _size) return;
  int32_t size = GrownSizeFor(static_cast<size_t>(length), _size);
  char* b = NewBuffer(size);
  std::memcpy(b, _s, static_cast<size_t>(Length()) + 1);
  delete[] _s;
  _s = b;
  _size = size;
}

void AK_String::Append(const char* s, size_t n)
{
  size_t a = static_cast<size_t>(Length());
  AK_FATAL_ASSERT_NAMED(n < kMaxLength - a, "length < 2^31");
  Reserve(static_cast<int>(a + n));
  std::memcpy(_s + a, s, n);
  _s[a + n] = '\0';
  _length = static_cast<int32_t>(a + n);
}

AK_String& AK_String::operator=(const AK_String& other)
{
  if (this == &other) return *this;
  return *this = other._s;
}

AK_String& AK_String::operator=(AK_String&& other) noexcept
{
  if (this == &other) return *this;
  char* s = _s;
  int32_t size = _size, length = _length;
  _s = other._s;
  _size = other._size;
  _length = other._length;
  other._s = s;
  other._size = size;
  other._length = length;
  return *this;
}

AK_String& AK_String::operator=(const char* s)
{
  AK_FATAL_ASSERT_NAMED(s, "s");
  if (s == _s) return *this;
  size_t n = std::strlen(s);
  if (static_cast<size_t>(_size) > n && !(s > _s && s < _s + _size)) {
    std::memcpy(_s, s, n + 1);
    _length = static_cast<int32_t>(n);
    return *this;
  }
  int32_t size = BufferSizeFor(n);
  char* b = NewBuffer(size);
  std::memcpy(b, s, n + 1);
  delete[] _s;
  _s = b;
  _size = size;
  _length = static_cast<int32_t>(n);
  return *this;
}

int AK_String::operator==(const char* s) const { return s && std::strcmp(_s, s) == 0; }
int AK_String::operator==(const AK_String& other) const { return std::strcmp(_s, other._s) == 0; }
bool AK_String::operator<(const AK_String& other) const { return std::strcmp(_s, other._s) < 0; }

int AK_String::Length() const
{
  if (_length < 0) _length = static_cast<int32_t>(std::strlen(_s));
  return _length;
}

AK_String& AK_String::operator+=(const AK_String& other)
{
  AK_FATAL_ASSERT_NAMED(&other != this, "&s != this");
  Append(other._s, static_cast<size_t>(other.Length()));
  return *this;
}

AK_String& AK_String::operator+=(const char* s)
{
  AK_FATAL_ASSERT_NAMED(s, "s");
  if (s >= _s && s < _s + _size) {  // a piece of ourselves: copy before growing
    AK_String copy(s);
    return *this += copy;
  }
  Append(s, std::strlen(s));
  return *this;
}

AK_String& AK_String::operator+=(char c)
{
  if (c) Append(&c, 1);
  return *this;
}

void AK_String::Prepend(const AK_String& other)
{
  AK_FATAL_ASSERT_NAMED(&other != this, "&s != this");
  AK_String joined = other + *this;
  *this = std::move(joined);
}

AK_String operator+(const AK_String& a, const AK_String& b)
{
  AK_String r(a);
  r += b;
  return r;
}

AK_String operator+(const AK_String& a, const char* b)
{
  AK_FATAL_ASSERT_NAMED(b, "s");
  AK_String r(a);
  r += b;
  return r;
}

AK_String operator+(const char* a, const AK_String& b)
{
  AK_FATAL_ASSERT_NAMED(a, "s");
  AK_String r(a);
  r += b;
  return r;
}

int AK_String::Split(char separator, AK_Array<AK_String>& out) const
{
  char sep[2] = {separator, '\0'};
  return Split(sep, out);
}

int AK_String::Split(const char* separator, AK_Array<AK_String>& out) const
{
  size_t sepLen = std::strlen(separator);
  if (sepLen == 0) {
    if (_s[0]) out.Append(*this);
    return out.Size();
  }
  const char* start = _s;
  for (const char* hit = std::strstr(start, separator); hit; hit = std::strstr(start, separator)) {
    out.Append(AK_String(start, hit));
    start = hit + sepLen;
  }
  if (*start) out.Append(AK_String(start));
  return out.Size();
}

AK_String AK_String::DotComponent(int n) const
{
  const char* p = _s;
  for (int i = 0; i < n; ++i) {
    p = std::strchr(p, '.');
    if (!p) return AK_String();
    ++p;
  }
  const char* end = std::strchr(p, '.');
  return end ? AK_String(p, end) : AK_String(p);
}

void AK_String::CutExtension()
{
  char* dot = std::strrchr(_s, '.');
  if (dot) {
    *dot = '\0';
    _length = static_cast<int32_t>(dot - _s);
  }
}

AK_String AK_String::GetExtension() const
{
  const char* dot = std::strrchr(_s, '.');
  if (!dot) return AK_String();
  for (const char* p = dot; *p; ++p)
    if (IsSeparatorChar(*p)) return AK_String();
  return AK_String(dot + 1);
}

AK_String AK_String::BaseName() const
{
  const char* base = _s;
  for (const char* p = _s; *p; ++p)
    if (IsSeparatorChar(*p)) base = p + 1;
  return AK_String(base);
}

void AK_String::EnsureTrailingChar(const char* name, char separator)
{
  if (IsEmpty()) *this = ".";
  int n = Length();
  if (_s[n - 1] != separator) *this += separator;
  *this += name;
}

bool AK_String::IsAbsolutePath() const
{
  if (IsSeparatorChar(_s[0])) return true;
  bool letter = (_s[0] >= 'a' && _s[0] <= 'z') || (_s[0] >= 'A' && _s[0] <= 'Z');
  return letter && _s[1] == ':' && IsSeparatorChar(_s[2]);
}

bool AK_String::IsNumeric() const
{
  for (const char* p = _s; *p; ++p) {
    char c = *p;
    bool ok = (c >= '0' && c <= '9') || c == '\t' || c == ' ' || c == '+' || c == '-' ||
              c == '.' || c == 'D' || c == 'E' || c == 'd' || c == 'e';
    if (!ok) return false;
  }
  return true;
}

int AK_String::ReplaceChar(char c, char d)
{
  int count = 0;
  for (char* p = _s; *p; ++p)
    if (*p == c) { *p = d; ++count; }
  if (count && !d) _length = -1;
  return count;
}

int AK_String::ReplaceFirst(const char* from, const char* to)
{
  if (!from || !*from || !to || std::strcmp(from, to) == 0) return 0;
  const char* hit = std::strstr(_s, from);
  if (!hit) return 0;
  AK_String result(_s, hit);
  result += to;
  result += hit + std::strlen(from);
  *this = std::move(result);
  return 1;
}

int AK_String::ReplaceAll(const char* from, const char* to)
{
  if (!from || !*from || !to) return 0;
  size_t fromLen = std::strlen(from);
  int count = 0;
  AK_String result;
  const char* start = _s;
  for (const char* hit = std::strstr(start, from); hit; hit = std::strstr(start, from)) {
    result += AK_String(start, hit)._s;
    result += to;
    start = hit + fromLen;
    ++count;
  }
  if (!count) return 0;
  result += start;
  *this = std::move(result);
  return count;
}

bool AK_IsIdentifierChar(char c)
{
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

int AK_String::ReplaceNonIdentifierChars(char c)
{
  int count = 0;
  for (char* p = _s; *p; ++p)
    if (!AK_IsIdentifierChar(*p)) { *p = c; ++count; }
  if (count && !c) _length = -1;
  return count;
}

int AK_String::ReplaceBlanks(char c)
{
  int count = 0;
  for (char* p = _s; *p; ++p)
    if (*p == ' ' || *p == '\t') { *p = c; ++count; }
  if (count && !c) _length = -1;
  return count;
}

int AK_String::ExpandMarker(char marker, const char* prefix, const char* suffix)
{
  for (char* p = _s; *p; ++p) {
    if (*p != marker) continue;
    const char* idStart = p + 1;
    const char* idEnd = idStart;
    while (*idEnd && AK_IsIdentifierChar(*idEnd)) ++idEnd;
    if (idEnd == idStart) continue;
    AK_String result(_s, p);
    result += prefix;
    result += AK_String(idStart, idEnd)._s;
    result += suffix;
    result += idEnd;
    *this = std::move(result);
    return 1;
  }
  return 0;
}

void AK_String::ToLower()
{
  for (char* p = _s; *p; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
}

void AK_String::Trim()
{
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  const char* b = _s;
  while (*b && blank(*b)) ++b;
  const char* e = _s + Length();
  while (e > b && blank(e[-1])) --e;
  *this = AK_String(b, e);
}

static const char* FindKeyEntry(const char* text, const char* key, char assign, char separator)
{
  size_t keyLen = std::strlen(key);
  for (const char* p = text; *p;) {
    if (std::strncmp(p, key, keyLen) == 0 && p[keyLen] == assign) return p;
    const char* next = std::strchr(p, separator);
    if (!next) break;
    p = next + 1;
  }
  return nullptr;
}

AK_String AK_String::GetKeyValue(const char* text, const char* key, char assign, char separator)
{
  if (!text || !key || !*key) return AK_String();
  const char* entry = FindKeyEntry(text, key, assign, separator);
  if (!entry) return AK_String();
  const char* value = entry + std::strlen(key) + 1;
  const char* end = std::strchr(value, separator);
  return end ? AK_String(value, end) : AK_String(value);
}

void AK_String::SetKeyValue(AK_String& text, const char* key, const char* value, char assign,
                            char separator)
{
  const char* entry = FindKeyEntry(text._s, key, assign, separator);
  if (!entry) {
    // A last entry without its separator would otherwise run into the new key.
    int n = text.Length();
    if (n > 0 && text[n - 1] != separator) text += separator;
    text += key;
    text += assign;
    text += value;
    text += separator;
    return;
  }
  const char* valueStart = entry + std::strlen(key) + 1;
  const char* end = std::strchr(valueStart, separator);
  AK_String result(text._s, valueStart);
  result += value;
  if (end) result += end;
  text = std::move(result);
}

int AK_String::ToDoubles(double* out, int n) const
{
  AK_Array<AK_String> tokens;
  Split(' ', tokens);
  int stored = 0;
  for (int i = 0; i < tokens.Size() && stored < n; ++i) out[stored++] = AK_Atof(tokens[i]._s);
  return stored;
}

bool AK_ParseVec3(const char* text, double& x, double& y, double& z)
{
  double v[3] = {x, y, z};
  int n = AK_LeadingNumbers(text, v, 3);
  if (n < 0) return false;
  x = v[0];
  y = v[1];
  z = v[2];
  if (n < 3) AK_WarnWrongInput(3, false);
  return true;
}

AK_String AK_FormatDoubleList(const double* values, int count) { return AK_String(values, count); }
