// AK_AttributeTable: the names a class reads and writes, one declaration a line.
//
// Each entry binds a name to a member or to a handler and says how Get formats it and how
// Set parses it:
//
//   declaration  member                 Get answers             Set takes
//   Int          int32_t                "%d"                    a whole number (atoi)
//   Switch       int32_t                "%d"                    a whole number (atoi)
//   Double       double                 "%.15g" (see below)     a finite number (atof)
//   Float        float                  "%g"                    a finite number that fits
//   Vector       double[N] or float[N]  the numbers, one blank  up to N finite numbers
//                                       between ("%.15g"/"%g")
//   Text         AK_String              the text                any text
//   FileName     AK_String              the text                any text (a file name)
//   Reference    AK_String              the path                "" or a path from the object
//                                                               that names an object (of the
//                                                               type, when one is given)
//   Option       int32_t or AK_String   the option's text       one of the option texts
//   Answer       -                      the handler's text      (read-only)
//   Vis          -                      "w", "r" or "-"         (read-only; for "vis" keys)
//   Options      -                      the choices, each       (read-only; for "options"
//                                       followed by %AK_SEP%    keys)
//   Command      -                      (not readable)          the handler, value passed on
//   Attribute    -                      the get handler         the set handler
//
// Doubles are written by AK_FormatDouble: "%.15g", except the few near the largest doubles
// whose "%.15g" text would overflow when read back; they get the shortest exact text, so
// that every value Get answers (and a project saves) reads back. Classes that answer a
// double through a handler of their own write it with the same function.
//
// Numbers are read the way the C library reads them, as the macros and saved files of the
// system rely on: atoi and atof take the number a text starts with ("2.7" is 2 for a whole
// number, "1.5x" is 1.5, "0x10" is 16 for a real number and 0 for a whole one, a text that
// starts with none is 0), and a vector takes the numbers
// before the first text that is none, keeps the places after them as they were and says
// "WARNING:wrong input!" when there were fewer than N (numbers after the N-th are ignored).
// Refused are only numbers that are not finite (nan, inf, beyond the doubles or, for a whole
// number, beyond 32 bits) and those outside a Range(lo, hi) (each component of a vector).
// Strict() refuses, besides, what is no number as a whole, a whole number that is not whole,
// a switch other than 0 or 1 and a vector of another count. A value that Set refuses (see
// above; no such option, no such object) leaves an error text and changes nothing.
// AlsoStamps(name) stamps a second name after the entry's own (for instance "touch", which
// the update after a command reacts to).
//
// An entry whose value is the path of another object says so: a Reference does by itself, a
// Text or an Answer with Path(). A rename, a move or a deletion of that object (or of one
// above it) then makes the holder due for its next save, and the text follows the object:
// `repath` stores the new path as it is, without acting on it (a Text's member; an Answer
// gives its own). The object is the one that the path Get answers names from the holder. A
// Path() entry without `repath` holds its objects as links (a group's members).
//
// Get of an entry clears the error text and answers. Set of an entry clears the error text,
// acts, and stamps the attribute (MarkModified with its name) unless the value was refused
// or the object did not survive the action; the name counts as handled either way.
//
// A class declares its entries in a public static DeclareAttributes, which AK_Class (see
// AK_ClassHelper.h) calls once; the lambdas run with the class's own access rights. An
// entry of a derived class hides the base class's entry of the same name:
//
//   static void DeclareAttributes(AK_AttributeTableOf<SW_Mesh>& t)
//   {
//     t.Int("Nx", &SW_Mesh::_nx).Range(1, 100000);
//     t.Double("GridSize", &SW_Mesh::_gridSize).Range(0, HUGE_VAL);
//     t.Switch("DisplayFaces", &SW_Mesh::_displayFaces);
//     t.Vector("Xll", &SW_Mesh::_xll);
//     t.Text("ContourLinesLabelsFont", &SW_Mesh::_font);
//     t.Reference("BaseMesh", &SW_Mesh::_baseMesh, "DHM");
//     t.Vis("DxVis", [](SW_Mesh& m) { return m.IsGrid() ? "r" : "w"; });
//     t.Options("ContourLinesLabelsFontOptions", [](SW_Mesh&) { return FontList(); });
//     t.Answer("NumVertices", [](SW_Mesh& m) { return AK_String(m.VertexCount()); });
//     t.Command("Smooth", &SW_Mesh::Smooth);
//   }
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "AK_Basic.h"

class AK_Object;

enum class AK_AttributeType {
  Int, Switch, Double, Float, Vector, Text, FileName, Reference, Option,
  Answer, Vis, Options, Command, Attribute
};

struct AK_AttributeEntry {
  const char* name = "";
  AK_AttributeType type = AK_AttributeType::Attribute;
  bool strict = false;
  double min = -HUGE_VAL;
  double max = HUGE_VAL;
  int count = 1;                        // the numbers of a vector
  const char* objectType = nullptr;     // a reference's type, none for any
  const char* alsoStamps = nullptr;     // a second name stamped on every accepted Set
  bool holdsPath = false;               // the value names another object (see above)
  std::vector<const char*> options;     // an option's texts
  std::function<AK_String(AK_Object&)> get;  // empty: Get passes the name on
  // Empty: Set passes the name on. False: the value was refused (the error text says why).
  std::function<bool(AK_Object&, const AK_AttributeEntry&, const char*)> set;
  // Stores a path entry's text as it is, without acting on it ("" when the object is gone).
  std::function<void(AK_Object&, const char*)> repath;
  // For a value that names an object otherwise than by its path (an identifier inside a longer
  // text): the path of that object; `repath` then gives the value that names it at the path.
  // Empty: the value Get answers is the path.
  std::function<AK_String(AK_Object&)> pathOf;

  AK_AttributeEntry& Range(double lo, double hi);
  AK_AttributeEntry& Strict();
  AK_AttributeEntry& AlsoStamps(const char* name);
  AK_AttributeEntry& Path(const char* type = nullptr);  // the value is an object's path
  // Set refuses some values (numbers, options, references).
  bool Refuses() const;
};

class AK_AttributeTable {
public:
  AK_AttributeTable(const char* className, const AK_AttributeTable* base);
  AK_AttributeTable(const AK_AttributeTable&) = delete;
  AK_AttributeTable& operator=(const AK_AttributeTable&) = delete;

  const char* ClassName() const { return _className; }
  // The table of the base class; none for the root class.
  const AK_AttributeTable* Base() const { return _base; }
  const std::vector<AK_AttributeEntry>& Entries() const { return _entries; }
  const AK_AttributeEntry* Find(const char* name) const;

  // Answers a readable entry of that name; false when this table has none.
  bool Get(AK_Object& object, const char* name, AK_String& answer) const;
  // Acts on a writable entry of that name; false when this table has none.
  bool Set(AK_Object& object, const char* name, const char* value) const;

protected:
  AK_AttributeEntry& Add(AK_AttributeEntry entry);

private:
  const char* _className;
  const AK_AttributeTable* _base;
  std::vector<AK_AttributeEntry> _entries;
  std::unordered_map<std::string_view, size_t> _index;
};

// The parsers behind the number entries: each leaves an error text naming the attribute and
// the value, and writes nothing, when it refuses.
bool AK_ParseIntValue(const AK_AttributeEntry& entry, const char* text, int32_t& out);
bool AK_ParseDoubleValue(const AK_AttributeEntry& entry, const char* text, double& out);
bool AK_ParseFloatValue(const AK_AttributeEntry& entry, const char* text, float& out);
// `out` holds the old values: the places a loose vector does not read keep them.
bool AK_ParseVectorValue(const AK_AttributeEntry& entry, const char* text, double* out,
                         bool floats = false);
int AK_FindOption(const AK_AttributeEntry& entry, const char* text);  // -1: refused
bool AK_CheckReference(const AK_AttributeEntry& entry, AK_Object& object, const char* path);
// True while a load runs an object's saved attribute file (AK_Object::ReplayingSavedAttributes).
bool AK_ReplayingSavedAttributes();
// What a set of the holder's attribute does with a path that names no object. While a load
// replays a saved file, a path to an object whose deletion the project has not saved whole yet is
// Dropped (the error text is cleared, the load goes on and the holder's next save says so); any
// other is KeptAsRead (the caller holds it as it was read, for a save to write it back, and the set
// answers failure, so that the load names it). Outside a load it is Refused.
enum class AK_PathNamingNothing { Dropped, KeptAsRead, Refused };
AK_PathNamingNothing AK_TakePathNamingNothing(AK_Object& holder, const char* attribute, const char* path);
// The same reading for attributes with handlers of their own: a number as atof (or atoi)
// reads it; false, with an error text naming the attribute and the text, when it is not
// finite (or beyond 32 bits), `value` then unchanged.
bool AK_ReadFiniteNumber(const char* name, const char* text, double& value);
bool AK_ReadWholeNumber(const char* name, const char* text, int32_t& value);
// Each item followed by "%AK_SEP%".
AK_String AK_JoinOptions(const std::vector<const char*>& items);

// The table of each class that has constructed an object, by C++ class name; none when the
// class never did.
void AK_RegisterAttributeTable(const AK_AttributeTable* table);
const AK_AttributeTable* AK_FindAttributeTable(const char* className);

template <class T>
class AK_AttributeTableOf : public AK_AttributeTable {
public:
  using AK_AttributeTable::AK_AttributeTable;
  using Getter = std::function<AK_String(T&)>;
  using Setter = std::function<void(T&, const char*)>;

  AK_AttributeEntry& Int(const char* name, int32_t T::*member)
  {
    return AddNumber<int32_t>(name, AK_AttributeType::Int, member);
  }
  AK_AttributeEntry& Switch(const char* name, int32_t T::*member)
  {
    return AddNumber<int32_t>(name, AK_AttributeType::Switch, member);
  }
  AK_AttributeEntry& Double(const char* name, double T::*member)
  {
    return AddNumber<double>(name, AK_AttributeType::Double, member);
  }
  AK_AttributeEntry& Float(const char* name, float T::*member)
  {
    return AddNumber<float>(name, AK_AttributeType::Float, member);
  }

  template <class V, int N>
  AK_AttributeEntry& Vector(const char* name, V (T::*member)[N])
  {
    static_assert(std::is_same_v<V, double> || std::is_same_v<V, float>);
    AK_AttributeEntry e = Named(name, AK_AttributeType::Vector);
    e.count = N;
    e.get = [member](AK_Object& o) { return AK_String(Self(o).*member, N); };
    e.set = [member](AK_Object& o, const AK_AttributeEntry& entry, const char* v) {
      double values[N];
      for (int i = 0; i < N; ++i) values[i] = (Self(o).*member)[i];
      if (!AK_ParseVectorValue(entry, v, values, std::is_same_v<V, float>)) return false;
      for (int i = 0; i < N; ++i) (Self(o).*member)[i] = static_cast<V>(values[i]);
      return true;
    };
    return Add(std::move(e));
  }

  AK_AttributeEntry& Text(const char* name, AK_String T::*member)
  {
    return AddText(name, AK_AttributeType::Text, member);
  }
  AK_AttributeEntry& FileName(const char* name, AK_String T::*member)
  {
    return AddText(name, AK_AttributeType::FileName, member);
  }
  AK_AttributeEntry& Reference(const char* name, AK_String T::*member,
                               const char* objectType = nullptr)
  {
    return AddText(name, AK_AttributeType::Reference, member).Path(objectType);
  }

  template <size_t N>
  AK_AttributeEntry& Option(const char* name, int32_t T::*member, const char* const (&options)[N])
  {
    AK_AttributeEntry e = Named(name, AK_AttributeType::Option);
    e.options.assign(options, options + N);
    e.get = [member, list = e.options](AK_Object& o) {
      int32_t i = Self(o).*member;
      return i >= 0 && i < static_cast<int32_t>(N) ? AK_String(list[i]) : AK_String(i);
    };
    e.set = [member](AK_Object& o, const AK_AttributeEntry& entry, const char* v) {
      int i = AK_FindOption(entry, v);
      if (i >= 0) Self(o).*member = i;
      return i >= 0;
    };
    return Add(std::move(e));
  }
  template <size_t N>
  AK_AttributeEntry& Option(const char* name, AK_String T::*member, const char* const (&options)[N])
  {
    AK_AttributeEntry e = Named(name, AK_AttributeType::Option);
    e.options.assign(options, options + N);
    e.get = [member](AK_Object& o) { return AK_String(Self(o).*member); };
    e.set = [member](AK_Object& o, const AK_AttributeEntry& entry, const char* v) {
      if (AK_FindOption(entry, v) < 0) return false;
      Self(o).*member = v;
      return true;
    };
    return Add(std::move(e));
  }

  AK_AttributeEntry& Answer(const char* name, Getter get)
  {
    return AddGetter(name, AK_AttributeType::Answer, std::move(get));
  }
  AK_AttributeEntry& Vis(const char* name, Getter get)
  {
    return AddGetter(name, AK_AttributeType::Vis, std::move(get));
  }
  AK_AttributeEntry& Options(const char* name, Getter get)
  {
    return AddGetter(name, AK_AttributeType::Options, std::move(get));
  }
  template <size_t N>
  AK_AttributeEntry& Options(const char* name, const char* const (&items)[N])
  {
    std::vector<const char*> list(items, items + N);
    return Options(name, [list](T&) { return AK_JoinOptions(list); });
  }

  AK_AttributeEntry& Command(const char* name, Setter act)
  {
    AK_AttributeEntry e = Named(name, AK_AttributeType::Command);
    e.set = Wrap(std::move(act));
    return Add(std::move(e));
  }
  template <class R>
  AK_AttributeEntry& Command(const char* name, R (T::*method)(const char*))
  {
    return Command(name, [method](T& o, const char* v) { (o.*method)(v); });
  }
  template <class R>
  AK_AttributeEntry& Command(const char* name, R (T::*method)())
  {
    return Command(name, [method](T& o, const char*) { (o.*method)(); });
  }

  AK_AttributeEntry& Attribute(const char* name, Getter get, Setter set)
  {
    AK_AttributeEntry e = Named(name, AK_AttributeType::Attribute);
    e.get = [get = std::move(get)](AK_Object& o) { return get(Self(o)); };
    e.set = Wrap(std::move(set));
    return Add(std::move(e));
  }

private:
  static T& Self(AK_Object& o) { return static_cast<T&>(o); }

  static AK_AttributeEntry Named(const char* name, AK_AttributeType type)
  {
    AK_AttributeEntry e;
    e.name = name;
    e.type = type;
    return e;
  }

  static decltype(AK_AttributeEntry::set) Wrap(Setter act)
  {
    return [act = std::move(act)](AK_Object& o, const AK_AttributeEntry&, const char* v) {
      act(Self(o), v);
      return true;
    };
  }

  template <class V>
  AK_AttributeEntry& AddNumber(const char* name, AK_AttributeType type, V T::*member)
  {
    AK_AttributeEntry e = Named(name, type);
    e.get = [member](AK_Object& o) {
      if constexpr (std::is_same_v<V, int32_t>) return AK_String(Self(o).*member);
      else if constexpr (std::is_same_v<V, float>) return AK_String::Format("%g", static_cast<double>(Self(o).*member));
      else return AK_FormatDouble(Self(o).*member);
    };
    e.set = [member](AK_Object& o, const AK_AttributeEntry& entry, const char* v) {
      V value{};
      bool ok;
      if constexpr (std::is_same_v<V, int32_t>) ok = AK_ParseIntValue(entry, v, value);
      else if constexpr (std::is_same_v<V, float>) ok = AK_ParseFloatValue(entry, v, value);
      else ok = AK_ParseDoubleValue(entry, v, value);
      if (ok) Self(o).*member = value;
      return ok;
    };
    return Add(std::move(e));
  }

  AK_AttributeEntry& AddText(const char* name, AK_AttributeType type, AK_String T::*member)
  {
    AK_AttributeEntry e = Named(name, type);
    e.get = [member](AK_Object& o) { return AK_String(Self(o).*member); };
    e.set = [member](AK_Object& o, const AK_AttributeEntry& entry, const char* v) {
      if (entry.type == AK_AttributeType::Reference && !AK_CheckReference(entry, o, v)) {
        const AK_PathNamingNothing taken = AK_TakePathNamingNothing(o, entry.name, v);
        if (taken == AK_PathNamingNothing::KeptAsRead) Self(o).*member = v;
        return taken == AK_PathNamingNothing::Dropped;
      }
      Self(o).*member = v;
      return true;
    };
    e.repath = [member](AK_Object& o, const char* v) { Self(o).*member = v; };
    return Add(std::move(e));
  }

  AK_AttributeEntry& AddGetter(const char* name, AK_AttributeType type, Getter get)
  {
    AK_AttributeEntry e = Named(name, type);
    e.get = [get = std::move(get)](AK_Object& o) { return get(Self(o)); };
    return Add(std::move(e));
  }
};
