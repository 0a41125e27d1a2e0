// A class's binary record in a data file: a tag "Class:vN" (a text: the class name, ":v",
// the version number, e.g. "SW_Mesh:v1"), then the class's items. A writer always writes
// the newest version; a reader accepts every version it knows and refuses the rest.
//
// Reading never trusts the file: every count is checked against the caller's limit before
// anything is allocated (arrays then grow only as their data arrives, so a count larger than
// the bytes left fails without a large allocation), and the object is changed only once the
// whole record has been read. A failed record stores
//   "<absolute path of the object>: IO error at <file:line>"
// in AK_ErrorText and answers 1, as SaveData and LoadData do.
//
//   int SW_Foo::SaveData(AK_STREAM& stream)
//   {
//     AK_RecordWriter w(stream, this, "SW_Foo", 1);
//     w << _name;
//     w.Array(_heights);
//     return w.Finish(__FILE__, __LINE__);
//   }
//
//   int SW_Foo::LoadData(AK_STREAM& stream)
//   {
//     AK_RecordReader r(stream, this, "SW_Foo");
//     AK_String name;                              // temporaries, never the members
//     AK_Array<double> heights;
//     switch (r.Version(1)) {
//       case 0: r >> name; break;                  // version 0 had no heights
//       case 1: r >> name; r.Array(heights, kMaxVertices); break;
//     }
//     return r.Finish(__FILE__, __LINE__, [&] {   // runs only for a whole record
//       _name = name;
//       _heights = std::move(heights);
//     });
//   }
#pragma once

#include <cstdint>

#include "AK_Basic.h"

class AK_Object;

// What no record of the system holds more of: a count above it is a corrupt file.
constexpr int32_t AK_RecordCountLimit = 1 << 28;

class AK_RecordWriter {
public:
  // Writes the tag of the class's newest version.
  AK_RecordWriter(AK_STREAM& stream, AK_Object* object, const char* className, int version);

  template <class T>
  AK_RecordWriter& operator<<(const T& item)
  {
    _stream << item;
    return *this;
  }
  // The count, then the elements.
  template <class T>
  void Array(const AK_Array<T>& items)
  {
    _stream << items.Count();
    AK_StreamWriteArray(_stream, items);
  }
  // 0 when every item was written; else 1 and the error text naming this place.
  int Finish(const char* file, int line);

private:
  AK_STREAM& _stream;
  AK_Object* _object;
};

class AK_RecordReader {
public:
  AK_RecordReader(AK_STREAM& stream, AK_Object* object, const char* className);

  // Reads the tag: its version when it names this class and a version 0 .. newest, else -1
  // and the record fails.
  int Version(int newest);

  template <class T>
  AK_RecordReader& operator>>(T& item)
  {
    _stream >> item;
    return *this;
  }
  // A count in 0 .. limit; anything else fails the record and gives 0.
  int32_t Count(int32_t limit);
  // A count in 0 .. limit, then that many elements; a failure leaves the array empty.
  template <class T>
  void Array(AK_Array<T>& items, int32_t limit)
  {
    int32_t n = Count(limit);
    if (Failed() || AK_StreamReadArray(_stream, items, n) != 0) items.Clear();
  }

  bool Failed() const { return _failed || _stream.Fail(); }
  // 0 when the whole record was read; else 1 and the error text naming this place.
  int Finish(const char* file, int line);
  // The same, and for a whole record first the commit that moves the temporaries into the
  // object.
  template <class Commit>
  int Finish(const char* file, int line, Commit commit)
  {
    if (Finish(file, line) != 0) return 1;
    commit();
    return 0;
  }

private:
  AK_STREAM& _stream;
  AK_Object* _object;
  AK_String _className;
  bool _failed = false;
};
