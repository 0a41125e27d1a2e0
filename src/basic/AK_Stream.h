// The binary record stream: a gzip file (readable by "gzip -d") holding little-endian numbers
// and length-prefixed texts. Project data files and time-step files are written through it.
//
// Layout of the items, whatever the host:
//   i32     4 bytes, two's complement, little-endian
//   f32     4 bytes IEEE single, little-endian
//   f64     8 bytes IEEE double, little-endian
//   text    an i32 length, then that many bytes without terminator
//   array   an i32 count, then its elements
//
// The fail flag `_fail` tells whether the last item was transferred (0) or not (1). A read that
// fails loses the position inside the record, so once a read has failed every later read of the
// same stream fails too; a write that fails (a full disk) likewise leaves every later write and
// the close failing, so a writer that tests the flag after its last item, or the result of
// AK_StreamClose, never mistakes a short file for a success.
//
// Reading never trusts a length or count in the file: a negative one fails at once, and
// texts and arrays grow only as their data actually arrives, so a corrupt length allocates
// nothing large and a truncated file simply fails.
//
// Argument order of every bulk function: (stream, data, n).
#pragma once

#include <cstdint>

#include "AK_Array.h"
#include "AK_String.h"
#include "AK_Vec.h"

struct gzFile_s;
struct AK_StreamReading;

class AK_STREAM {
public:
  int32_t _fail = 0;             // 1 when the last item was not transferred
  gzFile_s* _file = nullptr;     // writing: the open gzip file, null when closed

  AK_STREAM();
  // Opens at once, like AK_StreamOpen.
  AK_STREAM(const char* path, const char* mode);
  AK_STREAM(const AK_STREAM&) = delete;
  AK_STREAM& operator=(const AK_STREAM&) = delete;
  // Closes a file that is still open; a write stream whose data could not all be stored
  // reports it through the message hook, since nobody can read a result here. A replacing
  // stream (AK_StreamOpenReplacing) that was not closed is discarded instead.
  ~AK_STREAM();

  bool IsOpen() const { return _file != nullptr || _reading != nullptr; }
  bool Fail() const { return _fail != 0; }
  bool IsWriting() const { return _writing; }
  const AK_String& Name() const { return _name; }

  AK_STREAM& operator<<(int32_t value);
  AK_STREAM& operator<<(float value);  // 4 bytes: a float never becomes a double by accident
  AK_STREAM& operator<<(double value);
  AK_STREAM& operator<<(const AK_String& text);
  AK_STREAM& operator<<(const char* text);
  // A char would silently widen to a 4-byte integer; write bytes with AK_StreamWriteBytes.
  AK_STREAM& operator<<(char) = delete;
  AK_STREAM& operator<<(signed char) = delete;
  AK_STREAM& operator<<(unsigned char) = delete;

  AK_STREAM& operator>>(int32_t& value);
  AK_STREAM& operator>>(float& value);
  AK_STREAM& operator>>(double& value);
  // A text whose length cannot be read, or is negative, becomes "" and sets the fail flag.
  AK_STREAM& operator>>(AK_String& text);

  // Raw transfer of n bytes; true when all were transferred. Sets no flag.
  bool PutRaw(const void* data, int64_t n);
  int64_t GetRaw(void* data, int64_t n);  // bytes actually read
  // Marks the record as corrupt: the fail flag is set and stays set for every later read.
  void MarkFailed() { _broken = true; _fail = 1; }
  // The system's error number of the first failure of the file itself since it was opened
  // (its open, a write, the close or the rename into place), 0 when there was none.
  int SystemError() const { return _systemError; }

private:
  friend int AK_StreamOpen(AK_STREAM& stream, const char* path, const char* mode);
  friend int CloseStream(AK_STREAM& stream, AK_String* digest);
  friend int OpenStream(AK_STREAM& stream, const char* path, const char* mode, bool replacing);
  // Keeps errno (EIO when it says nothing) as the reason of a failure, unless one is kept.
  void NoteSystemError();

  bool Flush();
  bool Refill();
  void ResetBuffer();

  AK_String _name;
  bool _writing = false;
  bool _broken = false;       // a transfer failed; the stream stays failed
  unsigned char* _buffer = nullptr;
  int32_t _pos = 0;           // next byte to read or write in _buffer
  int32_t _end = 0;           // reading: bytes valid in _buffer
  AK_String _temp;            // a replacing stream's temporary file ("" otherwise)
  int _syncFd = -1;           // and its descriptor, kept to sync the data before the rename
  int _systemError = 0;       // see SystemError()
  AK_StreamReading* _reading = nullptr;  // reading: the file, its inflation and its digest
};

// The system's message for SystemError() ("No space left on device", "File too large", ...),
// "" when the file itself never failed.
AK_String AK_StreamSystemError(const AK_STREAM& stream);

// Opens a gzip file with a mode such as "wb" or "rb" (the path goes through AK_NormalizePath).
// 1 when open; 0 when not, with the fail flag set. A mode without "b" sends
// "AK_STREAM " + path + " must be opened in binary mode!" and fails.
// A stream that is still open is closed first.
[[nodiscard]] int AK_StreamOpen(AK_STREAM& stream, const char* path, const char* mode);

// The same for a write mode ("wb"), but the data goes to a temporary file beside `path` that
// takes its place only when AK_StreamClose finds every byte written: a failed write leaves
// the previous file as it was. Project data files and time-step files are written so.
[[nodiscard]] int AK_StreamOpenReplacing(AK_STREAM& stream, const char* path, const char* mode);

// Closes the file and stores the result in the fail flag: 0 when every byte reached the file
// and the close succeeded, 1 otherwise (also for a stream that was not open). Returns the flag.
[[nodiscard]] int AK_StreamClose(AK_STREAM& stream);

// Closes like AK_StreamClose and gives, when that succeeds, the digest of the file (as
// AK_FileDigest gives it) from the bytes that passed through the stream, with no other open of
// the file: a read stream digests the file's bytes as it read them and reads the rest that its
// reader left unread (not inflating them); a replacing write stream digests its temporary file,
// read back through the descriptor it wrote, before that takes the target's place. "" when the
// close fails or the bytes cannot be read whole, and for a stream written in place.
[[nodiscard]] int AK_StreamCloseDigesting(AK_STREAM& stream, AK_String& digest);

// Bulk transfers of n items (n < 0 transfers nothing and fails). Each returns the number of
// items transferred and sets the fail flag when that is fewer than n.
int32_t AK_StreamWriteBytes(AK_STREAM& stream, const void* data, int32_t n);
int32_t AK_StreamWriteInts(AK_STREAM& stream, const int32_t* data, int32_t n);
int32_t AK_StreamWriteFloats(AK_STREAM& stream, const float* data, int32_t n);
int32_t AK_StreamWriteDoubles(AK_STREAM& stream, const double* data, int32_t n);
int32_t AK_StreamReadBytes(AK_STREAM& stream, void* data, int32_t n);
int32_t AK_StreamReadInts(AK_STREAM& stream, int32_t* data, int32_t n);
int32_t AK_StreamReadFloats(AK_STREAM& stream, float* data, int32_t n);
int32_t AK_StreamReadDoubles(AK_STREAM& stream, double* data, int32_t n);

// Reads n items into an array whose count becomes n. The array grows only as the data
// arrives, so a count taken from a corrupt file cannot make it allocate more than the file
// holds. On failure (n < 0, or fewer than n items) the array is left empty and the fail flag
// set. Returns 0 on success, 1 on failure.
int AK_StreamReadArray(AK_STREAM& stream, AK_Array<int32_t>& out, int32_t n);
int AK_StreamReadArray(AK_STREAM& stream, AK_Array<float>& out, int32_t n);
int AK_StreamReadArray(AK_STREAM& stream, AK_Array<double>& out, int32_t n);
int AK_StreamReadArray(AK_STREAM& stream, AK_Array<char>& out, int32_t n);
int AK_StreamReadArray(AK_STREAM& stream, AK_Array<unsigned char>& out, int32_t n);
int AK_StreamReadArray(AK_STREAM& stream, AK_Array<AK_Vec3>& out, int32_t n);

// Writes the elements of an array (without a count); 0 on success, 1 on failure.
int AK_StreamWriteArray(AK_STREAM& stream, const AK_Array<int32_t>& items);
int AK_StreamWriteArray(AK_STREAM& stream, const AK_Array<float>& items);
int AK_StreamWriteArray(AK_STREAM& stream, const AK_Array<double>& items);
int AK_StreamWriteArray(AK_STREAM& stream, const AK_Array<char>& items);
int AK_StreamWriteArray(AK_STREAM& stream, const AK_Array<unsigned char>& items);
int AK_StreamWriteArray(AK_STREAM& stream, const AK_Array<AK_Vec3>& items);

// A vector array: an i32 count, then x, y, z as f64 for each element.
// Both return 0 on success and 1 on failure (the fail flag tells the same); a failed read
// leaves the array empty.
int AK_WriteVec3Array(AK_STREAM& stream, const AK_Array<AK_Vec3>& points);
int AK_ReadVec3Array(AK_STREAM& stream, AK_Array<AK_Vec3>& points);
