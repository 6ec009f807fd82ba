#include "kvplat/handles.h"

#include <cstdint>
#include <mutex>

#include "kvplat/lock.h"
#include <unordered_map>

namespace kvplat {

namespace {

struct HandleTable {
  Lock mutex;
  uintptr_t next = 4;  // Windows hands out multiples of 4; 0 and -1 never name a handle
  std::unordered_map<uintptr_t, std::shared_ptr<HandleObject>> entries;
};

// Never destroyed: handles stay valid while static destructors and atexit handlers run, and the objects
// stay reachable for the leak checker.
HandleTable &Table() {
  static HandleTable *table = new HandleTable;
  return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<HandleObject> object) {
  HandleTable &table = Table();
  std::lock_guard lock(table.mutex);
  uintptr_t value = table.next;
  table.next += 4;
  table.entries.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<HandleObject> LookupHandle(const void *handle, HandleType type) {
  HandleTable &table = Table();
  std::lock_guard lock(table.mutex);
  auto it = table.entries.find(reinterpret_cast<uintptr_t>(handle));
  if (it == table.entries.end() || it->second->type() != type) return nullptr;
  return it->second;
}

bool CloseHandleOf(const void *handle, std::initializer_list<HandleType> types) {
  std::shared_ptr<HandleObject> closed;  // released after the lock, so a destructor may use the table
  HandleTable &table = Table();
  std::lock_guard lock(table.mutex);
  auto it = table.entries.find(reinterpret_cast<uintptr_t>(handle));
  if (it == table.entries.end()) return false;
  for (HandleType type : types) {
    if (it->second->type() == type) {
      closed = std::move(it->second);
      table.entries.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace kvplat
