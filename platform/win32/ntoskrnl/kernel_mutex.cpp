// Kernel mutexes: a KMUTEX holds a recursive lock, as the kernel's mutex objects may be acquired again by
// the thread that owns them. Waits are for mutexes only, without a timeout.
#include <cstdint>
#include <new>

#include <ddk/ntddk.h>

#include "kvplat/diag.h"
#include "kvplat/lock.h"

namespace {

struct KernelMutex {
  kvplat::RecursiveLock mutex;
  uint64_t tag = kTag;
  static constexpr uint64_t kTag = 0x584554554d4c454bULL;  // "KELMUTEX", what KeInitializeMutex leaves
};
static_assert(sizeof(KernelMutex) <= sizeof(KMUTEX) && alignof(KMUTEX) % alignof(KernelMutex) == 0);

KernelMutex *MutexOf(PVOID object) {
  auto *mutex = static_cast<KernelMutex *>(object);
  if (mutex == nullptr || mutex->tag != KernelMutex::kTag) {
    kvplat::ReportUnimplemented("a wait for an object that is not a kernel mutex");
    return nullptr;
  }
  return mutex;
}

}  // namespace

// A mutex lives as long as the memory it is in: the kernel has no call that ends one.
extern "C" void KeInitializeMutex(PRKMUTEX mutex, ULONG /*level*/) { new (mutex) KernelMutex; }

extern "C" NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON /*waitReason*/, KPROCESSOR_MODE /*waitMode*/,
                                          BOOLEAN /*alertable*/, PLARGE_INTEGER timeout) {
  if (timeout != nullptr) {
    kvplat::ReportUnimplemented("KeWaitForSingleObject with a timeout");
    return STATUS_NOT_IMPLEMENTED;
  }
  KernelMutex *mutex = MutexOf(object);
  if (mutex == nullptr) return STATUS_INVALID_PARAMETER;
  mutex->mutex.lock();
  return STATUS_SUCCESS;
}

extern "C" LONG KeReleaseMutex(PRKMUTEX mutex, BOOLEAN /*wait*/) {
  if (KernelMutex *m = MutexOf(mutex)) m->mutex.unlock();
  return 0;
}
