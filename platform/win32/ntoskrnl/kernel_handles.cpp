#include "kernel_handles.h"

#include <cstdint>
#include <map>
#include <mutex>

#include "kvplat/lock.h"

namespace kvplat {

namespace {

struct HandleTable {
  Lock mutex;
  uintptr_t next = 0;
  std::map<uintptr_t, std::unique_ptr<KernelObject>> objects;
};

HandleTable &Table() {
  static HandleTable *table = new HandleTable;  // handles may be closed until the last driver is gone
  return *table;
}

constexpr uintptr_t kKernelHandleBit = uintptr_t{1} << (sizeof(uintptr_t) * 8 - 1);

}  // namespace

HANDLE InsertKernelHandle(std::unique_ptr<KernelObject> object) {
  HandleTable &table = Table();
  std::lock_guard lock(table.mutex);
  table.next += 4;
  const uintptr_t value = kKernelHandleBit | table.next;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

KernelObject *LookupKernelHandle(HANDLE handle) {
  HandleTable &table = Table();
  std::lock_guard lock(table.mutex);
  auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == table.objects.end() ? nullptr : it->second.get();
}

}  // namespace kvplat

extern "C" NTSTATUS ZwClose(HANDLE handle) {
  kvplat::HandleTable &table = kvplat::Table();
  std::unique_ptr<kvplat::KernelObject> closed;
  std::lock_guard lock(table.mutex);
  auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == table.objects.end()) return STATUS_INVALID_HANDLE;
  closed = std::move(it->second);
  table.objects.erase(it);
  return STATUS_SUCCESS;
}
