// A folder from which the built kelvorant runs headless: a copy of KELVORANT.sys, a service database of its
// own, the automation script and the JSON lines of the front end. Removed with the object.
#pragma once
#include <filesystem>
#include <string>

#include "child_process.h"

namespace kvbench {

class KelvorantFolder {
 public:
  explicit KelvorantFolder(const std::string &tag);
  ~KelvorantFolder();
  KelvorantFolder(const KelvorantFolder &) = delete;
  KelvorantFolder &operator=(const KelvorantFolder &) = delete;

  bool Ready() const { return ready_; }
  const std::filesystem::path &Dir() const { return dir_; }

  // kelvorant headless on the machine (what KELVORANT_MACHINE takes) with a script of these lines; no lines:
  // the dialog closes as soon as it is shown. Standard output goes to /dev/null.
  ChildCommand Command(const std::string &machine, const std::string &script = "") const;

  // The device-list rows of one run that dumps the dialog; -1 when the run fails.
  long ListedRows(const std::string &machine) const;
  // The driver requests of one run that only starts and closes; -1 when the run fails.
  long Requests(const std::string &machine) const;

 private:
  std::filesystem::path dir_;
  bool ready_ = false;
};

}  // namespace kvbench
