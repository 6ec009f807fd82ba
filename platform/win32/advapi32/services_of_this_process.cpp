// The services that this process created or started. A run that ends at once (kvplat/run_end.h) never
// reaches the program's own removal of its service, so their records go with it: a driver of this process
// runs nowhere once it has ended, and the next start would otherwise find the record.
#include <cstdlib>
#include <mutex>
#include <vector>

#include "scm_handles.h"

namespace kvplat {

namespace {

struct Remembered {
  std::shared_ptr<const ScmDatabase> database;
  std::string name;
  std::string id;
};

struct Services {
  std::mutex mutex;
  std::vector<Remembered> list;
  bool hooked = false;
};

Services &OfThisProcess() {
  static auto *services = new Services;  // read at the very end of the process
  return *services;
}

void RemoveServicesOfThisProcess() {
  Services &services = OfThisProcess();
  std::lock_guard<std::mutex> lock(services.mutex);
  for (const Remembered &service : services.list) {
    try {
      ScmSession session(service.database);
      if (session.error()) continue;
      const std::optional<ServiceRecord> record = session.Read(service.name);
      // Another process's record of the same name, or one that another process started since, stays.
      if (!record || record->id != service.id) continue;
      if (record->running && !(record->starter == CurrentProcessIdentity())) continue;
      session.Remove(service.name);
    } catch (const std::exception &) {
      // Nothing more can be done at the end; the next start removes a record whose process has ended.
    }
  }
}

}  // namespace

void RememberServiceOfThisProcess(const std::shared_ptr<const ScmDatabase> &database, const std::string &name,
                                  const std::string &id) {
  Services &services = OfThisProcess();
  std::lock_guard<std::mutex> lock(services.mutex);
  services.list.push_back({database, name, id});
  if (!services.hooked) services.hooked = std::at_quick_exit(RemoveServicesOfThisProcess) == 0;
}

}  // namespace kvplat
