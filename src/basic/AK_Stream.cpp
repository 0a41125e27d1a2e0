#include "AK_Stream.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <new>

#include "AK_Files.h"
#include "AK_Message.h"

namespace {

constexpr int32_t kBufferSize = 1 << 16;
// Texts and arrays of unknown honesty are read in pieces of this many bytes at most.
constexpr int64_t kGrowStep = 1 << 20;
// No text in a record is longer than this; a longer length is corrupt data.
constexpr int32_t kMaxTextLength = (1 << 30);

template <class T>
T ToLittle(T value)
{
  if constexpr (std::endian::native == std::endian::little) {
    return value;
  } else {
    unsigned char b[sizeof(T)];
    std::memcpy(b, &value, sizeof(T));
    for (size_t i = 0; i < sizeof(T) / 2; ++i) {
      unsigned char t = b[i];
      b[i] = b[sizeof(T) - 1 - i];
      b[sizeof(T) - 1 - i] = t;
    }
    std::memcpy(&value, b, sizeof(T));
    return value;
  }
}

template <class T>
bool PutItems(AK_STREAM& s, const T* data, int64_t n)
{
  if constexpr (std::endian::native == std::endian::little) {
    return s.PutRaw(data, n * static_cast<int64_t>(sizeof(T)));
  } else {
    for (int64_t i = 0; i < n; ++i) {
      T v = ToLittle(data[i]);
      if (!s.PutRaw(&v, sizeof(T))) return false;
    }
    return true;
  }
}

// Reads up to n items; returns how many were complete.
template <class T>
int64_t GetItems(AK_STREAM& s, T* data, int64_t n)
{
  int64_t bytes = s.GetRaw(data, n * static_cast<int64_t>(sizeof(T)));
  int64_t items = bytes / static_cast<int64_t>(sizeof(T));
  if constexpr (std::endian::native != std::endian::little) {
    for (int64_t i = 0; i < items; ++i) data[i] = ToLittle(data[i]);
  }
  return items;
}

template <class T>
int32_t WriteBulk(AK_STREAM& s, const T* data, int32_t n)
{
  if (n < 0 || (n > 0 && !data)) { s._fail = 1; return 0; }
  bool ok = PutItems(s, data, n);
  s._fail = ok ? 0 : 1;
  return ok ? n : 0;
}

template <class T>
int32_t ReadBulk(AK_STREAM& s, T* data, int32_t n)
{
  if (n < 0 || (n > 0 && !data)) { s.MarkFailed(); return 0; }
  int32_t got = static_cast<int32_t>(GetItems(s, data, n));
  s._fail = got == n ? 0 : 1;
  return got;
}

// Room for `need` elements, growing geometrically so that piecewise reading stays linear.
template <class T>
void GrowFor(AK_Array<T>& a, int32_t need, int32_t limit)
{
  if (need <= a.Capacity()) return;
  int64_t twice = 2 * static_cast<int64_t>(a.Capacity());
  int64_t target = need > twice ? need : twice;
  if (target > limit) target = limit;
  a.Reserve(static_cast<int32_t>(target));
}

template <class T>
int ReadArrayOf(AK_STREAM& s, AK_Array<T>& out, int32_t n)
{
  out.Clear();
  if (n < 0) { s.MarkFailed(); return 1; }
  const int64_t step = kGrowStep / static_cast<int64_t>(sizeof(T)) + 1;
  int32_t have = 0;
  while (have < n) {
    int32_t want = static_cast<int32_t>(n - have < step ? n - have : step);
    GrowFor(out, have + want, n);
    int32_t got = static_cast<int32_t>(GetItems(s, out._elems + have, want));
    have += got;
    out.SetCount(have);
    if (got < want) {
      out.Clear();
      out.Resize(1);
      s._fail = 1;
      return 1;
    }
  }
  s._fail = 0;
  return 0;
}

template <class T>
int WriteArrayOf(AK_STREAM& s, const AK_Array<T>& items)
{
  bool ok = PutItems(s, items._elems, items.Count());
  s._fail = ok ? 0 : 1;
  return s._fail;
}

// One number; the flag tells whether it was transferred. A value that could not be read
// leaves the caller's variable as it was.
template <class T>
AK_STREAM& WriteOne(AK_STREAM& s, T value)
{
  s._fail = PutItems(s, &value, 1) ? 0 : 1;
  return s;
}

template <class T>
AK_STREAM& ReadOne(AK_STREAM& s, T& value)
{
  T v;
  s._fail = GetItems(s, &v, 1) == 1 ? 0 : 1;
  if (!s._fail) value = v;
  return s;
}

// Reads a whole descriptor from its start into the digest; false when a read fails.
bool DigestFrom(int fd, AK_DigestOfBytes& digest)
{
  unsigned char chunk[1 << 16];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, chunk, sizeof chunk, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    digest.Add(chunk, static_cast<size_t>(n));
    at += n;
  }
}

bool ModeIsBinary(const char* mode) { return mode && std::strchr(mode, 'b'); }
bool ModeWrites(const char* mode) { return std::strchr(mode, 'w') || std::strchr(mode, 'a'); }

}  // namespace

// A file read as gzip reads it (a file that does not begin as gzip data is read as it is, and what
// follows the last gzip member that is no member is left), but through a descriptor of its own, so
// that every byte read from the file passes the digest once: the reader's read of the file is the
// only one.
struct AK_StreamReading {
  int fd = -1;
  z_stream z{};
  bool inflating = false;  // inflateInit2 done
  bool direct = false;     // no gzip data: the bytes are the data
  bool started = false;    // the first bytes were looked at
  bool atMember = false;   // a member ended: what follows decides whether another begins
  bool ended = false;      // no data follows
  bool eof = false;        // the file gave its last byte
  bool failed = false;     // a read of the file failed
  AK_DigestOfBytes digest;
  unsigned char in[1 << 15];

  ~AK_StreamReading()
  {
    if (inflating) inflateEnd(&z);
    if (fd >= 0) ::close(fd);
  }

  // Reads more of the file behind what the input still holds.
  bool ReadMore()
  {
    if (eof || failed) return false;
    if (z.avail_in > 0 && z.next_in != in) std::memmove(in, z.next_in, z.avail_in);
    z.next_in = in;
    for (;;) {
      const ssize_t n = ::read(fd, in + z.avail_in, sizeof in - z.avail_in);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) { failed = true; return false; }
      if (n == 0) { eof = true; return false; }
      digest.Add(in + z.avail_in, static_cast<size_t>(n));
      z.avail_in += static_cast<uInt>(n);
      return true;
    }
  }

  // At least `n` bytes of input, unless the file ends first.
  bool Have(uInt n)
  {
    while (z.avail_in < n)
      if (!ReadMore()) return false;
    return true;
  }

  bool GzipFollows() { return Have(2) && z.next_in[0] == 0x1f && z.next_in[1] == 0x8b; }

  // Up to `size` bytes of data into `out`; -1 for a damaged or cut-off file or a failed read.
  int64_t Read(unsigned char* out, int64_t size)
  {
    if (!started) {
      started = true;
      direct = !GzipFollows();
      if (failed) return -1;
      if (!direct) {
        if (inflateInit2(&z, 15 + 16) != Z_OK) return -1;
        inflating = true;
      }
    }
    int64_t got = 0;
    if (direct) {
      while (got < size) {
        if (z.avail_in == 0 && !ReadMore()) break;
        const uInt take = static_cast<uInt>(size - got < z.avail_in ? size - got : z.avail_in);
        std::memcpy(out + got, z.next_in, take);
        z.next_in += take;
        z.avail_in -= take;
        got += take;
      }
      return failed ? -1 : got;
    }
    while (got < size && !ended) {
      if (atMember) {
        // Another member, or the end: what is no gzip data after a member is left unread.
        if (!GzipFollows()) {
          if (failed) return -1;
          ended = true;
          z.avail_in = 0;
          break;
        }
        if (inflateReset(&z) != Z_OK) return -1;
        atMember = false;
      }
      if (z.avail_in == 0 && !ReadMore()) return -1;  // cut off inside a member
      z.next_out = out + got;
      z.avail_out = static_cast<uInt>(size - got);
      const int result = inflate(&z, Z_NO_FLUSH);
      got = size - z.avail_out;
      if (result == Z_STREAM_END) atMember = true;
      // No progress with input at hand is damage as well: nothing more would come of it.
      else if (result != Z_OK && !(result == Z_BUF_ERROR && z.avail_in == 0)) return -1;
    }
    return got;
  }

  // The rest of the file into the digest.
  bool ReadRest()
  {
    z.avail_in = 0;
    while (ReadMore()) z.avail_in = 0;
    return !failed;
  }
};

AK_STREAM::AK_STREAM() = default;

// A failed open stays in the fail flag, which the caller asks.
AK_STREAM::AK_STREAM(const char* path, const char* mode) { (void)AK_StreamOpen(*this, path, mode); }

AK_STREAM::~AK_STREAM()
{
  if (_file && !_temp.IsEmpty()) {
    gzclose(_file);
    _file = nullptr;
    // Given up: nothing is put in place, and the target stays as it was whatever this answers.
    (void)AK_CommitReplacement(_syncFd, _temp, _name, false);
  } else if (_file || _reading) {
    bool writing = _writing;
    if (AK_StreamClose(*this) && writing) {
      AK_String text = "ERROR:AK_STREAM " + _name + " could not be written completely!";
      AK_MESSAGE(text);
    }
  }
  delete[] _buffer;
}

void AK_STREAM::NoteSystemError()
{
  if (_systemError == 0) _systemError = errno != 0 ? errno : EIO;
}

AK_String AK_StreamSystemError(const AK_STREAM& stream)
{
  return stream.SystemError() != 0 ? AK_String(std::strerror(stream.SystemError())) : AK_String();
}

void AK_STREAM::ResetBuffer()
{
  _pos = 0;
  _end = 0;
}

bool AK_STREAM::Flush()
{
  if (!_file || !_writing) return false;
  if (_pos > 0 && !_broken) {
    errno = 0;
    int written = gzwrite(_file, _buffer, static_cast<unsigned>(_pos));
    if (written != _pos) {
      _broken = true;
      NoteSystemError();
    }
  }
  _pos = 0;
  return !_broken;
}

bool AK_STREAM::Refill()
{
  if (!_reading || _writing || _broken) return false;
  errno = 0;
  const int64_t got = _reading->Read(_buffer, kBufferSize);
  _pos = 0;
  _end = 0;
  // A piece that ends in a damaged or cut-off file is not trusted: its check sum is missing.
  if (got < 0 && _reading->failed) NoteSystemError();
  if (got <= 0) return false;
  _end = static_cast<int32_t>(got);
  return true;
}

bool AK_STREAM::PutRaw(const void* data, int64_t n)
{
  if (!_file || !_writing || _broken) return false;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (n > 0) {
    if (_pos == kBufferSize && !Flush()) return false;
    int64_t room = kBufferSize - _pos;
    int64_t take = n < room ? n : room;
    std::memcpy(_buffer + _pos, p, static_cast<size_t>(take));
    _pos += static_cast<int32_t>(take);
    p += take;
    n -= take;
  }
  return true;
}

int64_t AK_STREAM::GetRaw(void* data, int64_t n)
{
  if (!_reading || _writing || _broken) return 0;
  unsigned char* p = static_cast<unsigned char*>(data);
  int64_t done = 0;
  while (done < n) {
    if (_pos == _end && !Refill()) {
      _broken = true;  // end of data or a damaged file: the record cannot go on
      break;
    }
    int64_t have = _end - _pos;
    int64_t take = n - done < have ? n - done : have;
    std::memcpy(p + done, _buffer + _pos, static_cast<size_t>(take));
    _pos += static_cast<int32_t>(take);
    done += take;
  }
  return done;
}

AK_STREAM& AK_STREAM::operator<<(int32_t value) { return WriteOne(*this, value); }
AK_STREAM& AK_STREAM::operator<<(float value) { return WriteOne(*this, value); }
AK_STREAM& AK_STREAM::operator<<(double value) { return WriteOne(*this, value); }

AK_STREAM& AK_STREAM::operator<<(const AK_String& text) { return *this << text.c_str(); }

AK_STREAM& AK_STREAM::operator<<(const char* text)
{
  if (!text) text = "";
  size_t n = std::strlen(text);
  if (n > static_cast<size_t>(kMaxTextLength)) { _fail = 1; return *this; }
  int32_t length = ToLittle(static_cast<int32_t>(n));
  bool ok = PutRaw(&length, sizeof length) && PutRaw(text, static_cast<int64_t>(n));
  _fail = ok ? 0 : 1;
  return *this;
}

AK_STREAM& AK_STREAM::operator>>(int32_t& value) { return ReadOne(*this, value); }
AK_STREAM& AK_STREAM::operator>>(float& value) { return ReadOne(*this, value); }
AK_STREAM& AK_STREAM::operator>>(double& value) { return ReadOne(*this, value); }

AK_STREAM& AK_STREAM::operator>>(AK_String& text)
{
  int32_t length = 0;
  if (GetItems(*this, &length, 1) != 1 || length < 0 || length > kMaxTextLength) {
    if (length < 0 || length > kMaxTextLength) _broken = true;
    text = "";
    _fail = 1;
    return *this;
  }
  AK_Array<char> bytes;
  if (ReadArrayOf(*this, bytes, length)) {
    text = "";
    return *this;  // ReadArrayOf has set the flag
  }
  // A NUL inside the bytes ends the text; the bytes after it are consumed all the same.
  text = AK_String(bytes._elems, bytes._elems + length);
  _fail = 0;
  return *this;
}

int OpenStream(AK_STREAM& stream, const char* path, const char* mode, bool replacing)
{
  if (stream.IsOpen()) (void)AK_StreamClose(stream);  // its outcome stays in the stream's flag, set anew below
  stream._name = path ? path : "";
  stream._broken = false;
  stream._systemError = 0;
  stream.ResetBuffer();
  if (!ModeIsBinary(mode)) {
    AK_String text = "AK_STREAM " + stream._name + " must be opened in binary mode!";
    AK_MESSAGE(text);
    stream._fail = 1;
    return 0;
  }
  if (!path || !*path) { stream._fail = 1; return 0; }
  if (!stream._buffer) {
    stream._buffer = new (std::nothrow) unsigned char[kBufferSize];
    AK_FATAL_ASSERT_NAMED(stream._buffer, "buffer_new");
  }
  stream._writing = ModeWrites(mode);
  if (replacing) {
    if (!stream._writing) { stream._fail = 1; return 0; }
    errno = 0;
    int fd = AK_CreateReplacement(path, stream._temp);
    stream._syncFd = fd < 0 ? -1 : ::dup(fd);
    stream._file = stream._syncFd < 0 ? nullptr : gzdopen(fd, mode);
    if (!stream._file) {
      stream.NoteSystemError();
      if (fd >= 0) ::close(fd);
      if (stream._syncFd >= 0) (void)AK_CommitReplacement(stream._syncFd, stream._temp, path, false);  // drops it
      else if (fd >= 0) AK_DropReplacement(stream._temp);
      stream._temp = "";
      stream._syncFd = -1;
      stream._fail = 1;
      return 0;
    }
  } else if (stream._writing) {
    AK_String native = AK_NormalizePath(path);
    errno = 0;
    stream._file = AK_FailsNow("create", native) ? nullptr : gzopen(native.c_str(), mode);
    if (!stream._file) stream.NoteSystemError();
  } else {
    AK_String native = AK_NormalizePath(path);
    errno = 0;
    const int fd = AK_OpenForReadingFails(path) ? -1 : ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      stream.NoteSystemError();
      stream._fail = 1;
      return 0;
    }
    // Without the memory to read, the file is one that cannot be opened, as with gzip's own.
    stream._reading = new (std::nothrow) AK_StreamReading;
    if (!stream._reading) {
      ::close(fd);
      errno = ENOMEM;
      stream.NoteSystemError();
      stream._fail = 1;
      return 0;
    }
    stream._reading->fd = fd;
    stream._fail = 0;
    return 1;
  }
  if (!stream._file) { stream._fail = 1; return 0; }
  gzbuffer(stream._file, 1u << 17);
  stream._fail = 0;
  return 1;
}

int AK_StreamOpen(AK_STREAM& stream, const char* path, const char* mode)
{
  return OpenStream(stream, path, mode, false);
}

int AK_StreamOpenReplacing(AK_STREAM& stream, const char* path, const char* mode)
{
  return OpenStream(stream, path, mode, true);
}

int CloseStream(AK_STREAM& stream, AK_String* digest)
{
  if (digest) *digest = "";
  if (stream._reading) {
    // Closing a read stream before the end of its data is normal.
    bool ok = !digest || stream._reading->ReadRest();
    if (ok && digest) *digest = stream._reading->digest.Text();
    const int fd = stream._reading->fd;
    stream._reading->fd = -1;
    ok = ::close(fd) == 0 && ok;
    delete stream._reading;
    stream._reading = nullptr;
    stream.ResetBuffer();
    stream._fail = ok ? 0 : 1;
    if (!ok && digest) *digest = "";
    return stream._fail;
  }
  if (!stream._file) { stream._fail = 1; return 1; }
  bool ok = true;
  // The data counts as one write of the failure hook, at its end, where the last of it goes.
  if (stream._writing && !stream._broken && AK_FailsNow("write", stream._name)) {
    stream._broken = true;
    stream.NoteSystemError();
  }
  if (stream._writing) ok = stream.Flush();
  // A stream written in place closes its file here; a replacing one in AK_CommitReplacement.
  const bool closeFails = stream._writing && ok && stream._temp.IsEmpty() && AK_FailsNow("close", stream._name);
  if (closeFails) stream.NoteSystemError();
  errno = 0;
  int result = gzclose(stream._file);
  stream._file = nullptr;
  // The last of the data reaches the file only now: a full disk shows here first.
  if (stream._writing && result != Z_OK) stream.NoteSystemError();
  // Closing a read stream before the end of its data is normal; only a write must be whole.
  if (stream._writing) ok = ok && result == Z_OK && !closeFails;
  else ok = result == Z_OK || result == Z_BUF_ERROR;
  if (!stream._temp.IsEmpty()) {
    // What the temporary holds is what takes the target's place.
    AK_DigestOfBytes bytes;
    if (ok && digest && DigestFrom(stream._syncFd, bytes)) *digest = bytes.Text();
    const bool written = ok;
    errno = 0;
    ok = AK_CommitReplacement(stream._syncFd, stream._temp, stream._name, ok);
    if (written && !ok) stream.NoteSystemError();
    stream._temp = "";
    stream._syncFd = -1;
  }
  stream.ResetBuffer();
  stream._fail = ok ? 0 : 1;
  if (!ok && digest) *digest = "";
  return stream._fail;
}

int AK_StreamClose(AK_STREAM& stream) { return CloseStream(stream, nullptr); }

int AK_StreamCloseDigesting(AK_STREAM& stream, AK_String& digest) { return CloseStream(stream, &digest); }

int32_t AK_StreamWriteBytes(AK_STREAM& s, const void* data, int32_t n)
{
  return WriteBulk(s, static_cast<const unsigned char*>(data), n);
}
int32_t AK_StreamWriteInts(AK_STREAM& s, const int32_t* data, int32_t n) { return WriteBulk(s, data, n); }
int32_t AK_StreamWriteFloats(AK_STREAM& s, const float* data, int32_t n) { return WriteBulk(s, data, n); }
int32_t AK_StreamWriteDoubles(AK_STREAM& s, const double* data, int32_t n) { return WriteBulk(s, data, n); }

int32_t AK_StreamReadBytes(AK_STREAM& s, void* data, int32_t n)
{
  return ReadBulk(s, static_cast<unsigned char*>(data), n);
}
int32_t AK_StreamReadInts(AK_STREAM& s, int32_t* data, int32_t n) { return ReadBulk(s, data, n); }
int32_t AK_StreamReadFloats(AK_STREAM& s, float* data, int32_t n) { return ReadBulk(s, data, n); }
int32_t AK_StreamReadDoubles(AK_STREAM& s, double* data, int32_t n) { return ReadBulk(s, data, n); }

int AK_StreamReadArray(AK_STREAM& s, AK_Array<int32_t>& out, int32_t n) { return ReadArrayOf(s, out, n); }
int AK_StreamReadArray(AK_STREAM& s, AK_Array<float>& out, int32_t n) { return ReadArrayOf(s, out, n); }
int AK_StreamReadArray(AK_STREAM& s, AK_Array<double>& out, int32_t n) { return ReadArrayOf(s, out, n); }
int AK_StreamReadArray(AK_STREAM& s, AK_Array<char>& out, int32_t n) { return ReadArrayOf(s, out, n); }
int AK_StreamReadArray(AK_STREAM& s, AK_Array<unsigned char>& out, int32_t n)
{
  return ReadArrayOf(s, out, n);
}

int AK_StreamReadArray(AK_STREAM& s, AK_Array<AK_Vec3>& out, int32_t n)
{
  out.Clear();
  if (n < 0) { s.MarkFailed(); return 1; }
  constexpr int32_t kStep = 4096;
  double xyz[3 * kStep];
  int32_t have = 0;
  while (have < n) {
    int32_t want = n - have < kStep ? n - have : kStep;
    int64_t got = GetItems(s, xyz, 3 * static_cast<int64_t>(want));
    if (got != 3 * static_cast<int64_t>(want)) {
      out.Clear();
      out.Resize(1);
      s._fail = 1;
      return 1;
    }
    GrowFor(out, have + want, n);
    for (int32_t i = 0; i < want; ++i)
      out._elems[have + i] = AK_Vec3(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
    have += want;
    out.SetCount(have);
  }
  s._fail = 0;
  return 0;
}

int AK_StreamWriteArray(AK_STREAM& s, const AK_Array<int32_t>& items) { return WriteArrayOf(s, items); }
int AK_StreamWriteArray(AK_STREAM& s, const AK_Array<float>& items) { return WriteArrayOf(s, items); }
int AK_StreamWriteArray(AK_STREAM& s, const AK_Array<double>& items) { return WriteArrayOf(s, items); }
int AK_StreamWriteArray(AK_STREAM& s, const AK_Array<char>& items) { return WriteArrayOf(s, items); }
int AK_StreamWriteArray(AK_STREAM& s, const AK_Array<unsigned char>& items)
{
  return WriteArrayOf(s, items);
}

int AK_StreamWriteArray(AK_STREAM& s, const AK_Array<AK_Vec3>& items)
{
  bool ok = true;
  for (int32_t i = 0; i < items.Count() && ok; ++i) {
    const double xyz[3] = {items[i].x, items[i].y, items[i].z};
    ok = PutItems(s, xyz, 3);
  }
  s._fail = ok ? 0 : 1;
  return s._fail;
}

int AK_WriteVec3Array(AK_STREAM& s, const AK_Array<AK_Vec3>& points)
{
  s << points.Count();
  if (s._fail) return 1;
  return AK_StreamWriteArray(s, points);
}

int AK_ReadVec3Array(AK_STREAM& s, AK_Array<AK_Vec3>& points)
{
  int32_t n = 0;
  s >> n;
  if (s._fail) {
    points.Clear();
    return 1;
  }
  return AK_StreamReadArray(s, points, n);
}
