// The kernel's handle table: what ZwOpenKey and ZwCreateFile return, and ZwClose closes. Kernel handles
// have the top bit set, as Windows' kernel handles do, so that they never meet a user handle.
#pragma once
#include <ddk/ntddk.h>

#include <memory>

namespace kvplat {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

HANDLE InsertKernelHandle(std::unique_ptr<KernelObject> object);

// The object behind `handle` when it is open and a T, else null. Valid until the handle is closed.
KernelObject *LookupKernelHandle(HANDLE handle);
template <class T>
T *LookupKernelHandleAs(HANDLE handle) {
  return dynamic_cast<T *>(LookupKernelHandle(handle));
}

}  // namespace kvplat
