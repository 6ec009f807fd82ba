// The process's handle table. kernel32's file and device handles and advapi32's service handles are entries
// of one table, each a typed object; a call that gets a handle of another type, or one that was closed,
// fails with ERROR_INVALID_HANDLE. Handle values are never reused, so a stale handle cannot reach an object
// opened later.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <memory>

namespace kvplat {

enum class HandleType { File, Device, ServiceManager, Service };

class HandleObject {
 public:
  explicit HandleObject(HandleType type) : type_(type) {}
  virtual ~HandleObject() = default;
  HandleObject(const HandleObject &) = delete;
  HandleObject &operator=(const HandleObject &) = delete;
  HandleType type() const { return type_; }

 private:
  HandleType type_;
};

// Enters `object` into the table and returns its handle (a nonzero multiple of 4, never
// INVALID_HANDLE_VALUE).
HANDLE InsertHandle(std::shared_ptr<HandleObject> object);

// The object behind `handle` when it is open and of type `type`, else null.
std::shared_ptr<HandleObject> LookupHandle(const void *handle, HandleType type);

template <class T>
std::shared_ptr<T> LookupHandleAs(const void *handle, HandleType type) {
  return std::static_pointer_cast<T>(LookupHandle(handle, type));
}

// Removes `handle` when it is open and of one of `types`; returns whether it was.
bool CloseHandleOf(const void *handle, std::initializer_list<HandleType> types);

}  // namespace kvplat
