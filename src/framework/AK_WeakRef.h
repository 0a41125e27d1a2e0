// Object lifetime: weak references and operation scopes.
//
// Two rules keep pointers to objects of the tree sound:
//
// 1. Within one operation (a command, a macro line, a script call, a load, an update pass)
//    an object that is deleted is unlinked from the tree at once and marked dead, but its
//    memory is freed only when the outermost operation returns. Code that holds a pointer
//    across a call that may run commands opens an AK_OperationScope first and afterwards
//    asks the object `IsDead()`:
//
//      AK_OperationScope scope;
//      child->Set(name, value);      // may delete child, or this
//      if (IsDead()) return;
//
// 2. A reference that lives longer than one operation (a link, a group member, a mesh that
//    an area refers to) is an AK_WeakRef. It answers null once its object is dead, and it
//    can never answer a newer object that happens to occupy the same address:
//
//      AK_WeakRef<SW_Mesh> _mesh;    // set with _mesh = mesh;
//      if (SW_Mesh* mesh = _mesh.Get()) mesh->...;
//
// Objects are deleted with AK_Object::Destroy (never plain delete while the tree is in use).
#pragma once

#include <memory>

class AK_Object;

// Shared by an object and every reference to it; outlives the object.
struct AK_LifeToken {
  bool dead = false;
};

// A reference to any object of the tree that answers null once the object is dead.
class AK_ObjectRef {
public:
  AK_ObjectRef() = default;
  AK_ObjectRef(AK_Object* object);  // implicit: wherever a pointer is, a reference may be made
  AK_Object* Get() const { return _token && !_token->dead ? _object : nullptr; }
  AK_Object* operator->() const { return Get(); }
  explicit operator bool() const { return Get() != nullptr; }
  // The same object, not merely the same address.
  bool operator==(const AK_ObjectRef& other) const { return _token == other._token; }
  void Reset() { *this = AK_ObjectRef(); }

private:
  friend class AK_Object;  // the owner frees its dead components through the address
  AK_Object* _object = nullptr;
  std::shared_ptr<AK_LifeToken> _token;
};

// The same for a reference of a known class.
template <class T>
class AK_WeakRef {
public:
  AK_WeakRef() = default;
  AK_WeakRef(T* object) : _ref(object) {}
  T* Get() const { return static_cast<T*>(_ref.Get()); }
  T* operator->() const { return Get(); }
  explicit operator bool() const { return Get() != nullptr; }
  bool operator==(const AK_WeakRef& other) const { return _ref == other._ref; }
  void Reset() { _ref.Reset(); }

private:
  AK_ObjectRef _ref;
};

// Defers the freeing of deleted objects while it lives; the outermost scope frees them
// when it ends.
class AK_OperationScope {
public:
  AK_OperationScope();
  ~AK_OperationScope();
  AK_OperationScope(const AK_OperationScope&) = delete;
  AK_OperationScope& operator=(const AK_OperationScope&) = delete;
  // True while some operation runs.
  static bool Active();
};
