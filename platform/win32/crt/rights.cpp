#include "rights.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "host/privileges.h"
#include "kvplat/diag.h"
#include "kvplat/kernel.h"

namespace kvplat {

namespace {

// Descriptors that a run needs besides those of the functions: standard streams, the outputs, the script,
// the service database, the driver module, the window library, the display. A limit below this is said at
// once, rather than as a missing driver or an unreadable record later.
constexpr rlim_t kLeastDescriptors = 32;

bool EnoughDescriptors() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return true;
  // A soft limit below the hard one is only a default: take what may be had. Root may raise the hard limit
  // too, before it is given up.
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  if (limit.rlim_cur < kLeastDescriptors) {
    const struct rlimit least = {kLeastDescriptors, kLeastDescriptors};
    ::setrlimit(RLIMIT_NOFILE, &least);
  }
  ::getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur >= kLeastDescriptors) return true;
  Diag("this process may have only %llu files open (ulimit -n), and kelvorant needs at least %llu",
       static_cast<unsigned long long>(limit.rlim_cur), static_cast<unsigned long long>(kLeastDescriptors));
  return false;
}

}  // namespace

bool PrepareRights(bool unprivileged) {
  std::optional<kvhost::User> user;
  std::string why;
  if (!kvhost::UserToBecome(&user, &why)) {
    Diag("%s", why.c_str());
    return false;
  }
  if (unprivileged && !user && ::geteuid() == 0) {
    Diag("--unprivileged: this is root's own run, with no user to run as (no SUDO_UID or PKEXEC_UID names "
         "one): start kelvorant as an ordinary user, or without --unprivileged");
    return false;
  }
  MachineVariable machine;
  if (!ParseMachineVariable(std::getenv("KELVORANT_MACHINE"), &machine, &why)) {
    Diag("%s", why.c_str());
    return false;
  }
  ChooseDefaultMachine(&machine);
  const bool sysfs = machine.kind == MachineVariable::Kind::kSysfs;
  const bool thisComputer = sysfs && machine.sysfsRoot == kLiveSysfsRoot;
  if (!EnoughDescriptors()) return false;

  // This computer's functions are opened with the rights the process has now (root's, for a user), unless
  // asked for none, and a folder of the tests with the user's.
  const bool asRoot = thisComputer && !unprivileged;
  if (asRoot && !OpenHalBuses(machine.sysfsRoot, machine.domain, true, &why)) {
    Diag("%s", why.c_str());
    return false;
  }
  if (user && !kvhost::BecomeUser(*user, &why)) {
    Diag("cannot become user %u (%s, from %s): %s", static_cast<unsigned>(user->uid),
         user->name.empty() ? "no name" : user->name.c_str(), user->from.c_str(), why.c_str());
    return false;
  }
  if (sysfs && !asRoot && !OpenHalBuses(machine.sysfsRoot, machine.domain, thisComputer, &why)) {
    Diag("%s", why.c_str());
    return false;
  }
  return true;
}

}  // namespace kvplat
