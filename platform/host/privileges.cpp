// Becoming the user that root works for (privileges.h).
#include "privileges.h"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kvhost {

namespace {

constexpr uint32_t kNoId = static_cast<uint32_t>(-1);  // what setresuid takes for "unchanged"

struct Capabilities {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
};

bool GetCapabilities(Capabilities *caps) { return ::syscall(SYS_capget, &caps->header, caps->data) == 0; }

bool ClearCapabilities() {
  Capabilities none;
  return ::syscall(SYS_capset, &none.header, none.data) == 0;
}

bool AnyCapability(const Capabilities &caps) {
  for (const auto &word : caps.data)
    if (word.effective || word.permitted || word.inheritable) return true;
  return false;
}

std::string Failed(const char *step) { return std::string(step) + " failed: " + std::strerror(errno); }

// The user's entry in the user database; false when there is none.
bool LookUp(uid_t uid, User *user) {
  const passwd *entry = ::getpwuid(uid);
  if (!entry) return false;
  user->name = entry->pw_name ? entry->pw_name : "";
  user->home = entry->pw_dir ? entry->pw_dir : "";
  user->gid = entry->pw_gid;
  return true;
}

// The supplementary groups that the user database gives the user, with its group.
std::vector<gid_t> GroupsOf(const User &user) {
  if (user.name.empty()) return {user.gid};
  int count = static_cast<int>(::sysconf(_SC_NGROUPS_MAX)) + 1;  // as many as a process may have, and its group
  std::vector<gid_t> groups(static_cast<size_t>(count));
  if (::getgrouplist(user.name.c_str(), user.gid, groups.data(), &count) < 0) return {user.gid};
  groups.resize(static_cast<size_t>(count));
  return groups;
}

// Drops every capability from the bounding set (while root may), so that nothing this process could run
// would get one back.
bool DropBoundingSet(std::string *why) {
  for (int cap = 0; ::prctl(PR_CAPBSET_READ, cap, 0, 0, 0) >= 0; ++cap) {
    if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) {
      *why = Failed("dropping the capability bounding set");
      return false;
    }
  }
  return true;
}

bool BoundingSetEmpty() {
  for (int cap = 0;; ++cap) {
    const int set = ::prctl(PR_CAPBSET_READ, cap, 0, 0, 0);
    if (set < 0) return true;
    if (set > 0) return false;
  }
}

// What makes sure the change holds: every id is the user's, no capability is left, and neither the user
// id nor the group id can be set back to root's.
bool Verify(const User &user, const std::vector<gid_t> &groups, std::string *why) {
  const auto holds = [why](bool held, const char *otherwise) {
    if (!held) *why = otherwise;
    return held;
  };
  uid_t ruid, euid, suid;
  gid_t rgid, egid, sgid;
  const bool ids = ::getresuid(&ruid, &euid, &suid) == 0 && ruid == user.uid && euid == user.uid &&
                   suid == user.uid && ::getresgid(&rgid, &egid, &sgid) == 0 && rgid == user.gid &&
                   egid == user.gid && sgid == user.gid;
  std::vector<gid_t> now(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
  const bool groupsSet = ::getgroups(static_cast<int>(now.size()), now.data()) == static_cast<int>(now.size()) &&
                         std::is_permutation(now.begin(), now.end(), groups.begin(), groups.end());
  Capabilities caps;
  // Each checked only when the ones before it hold: root is tried for only once the ids are the user's.
  return holds(ids, "the user and group ids did not all change") &&
         holds(groupsSet, "the supplementary groups did not change") &&
         holds(GetCapabilities(&caps) && !AnyCapability(caps) && BoundingSetEmpty() &&
                   ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_IS_SET, CAP_SETUID, 0, 0) <= 0,
               "a capability is left") &&
         holds(::setresuid(kNoId, 0, kNoId) != 0 && (user.gid == 0 || ::setresgid(kNoId, 0, kNoId) != 0),
               "root could be had back") &&
         holds(::prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) == 1, "exec could still give privileges");
}

}  // namespace

bool ParseId(const char *text, uint32_t *id) {
  if (!text || !*text || std::strlen(text) > 10) return false;
  uint64_t value = 0;
  for (const char *c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(*c - '0');
  }
  if (value >= kNoId) return false;
  *id = static_cast<uint32_t>(value);
  return true;
}

bool UserToBecome(std::optional<User> *user, std::string *why) {
  user->reset();
  if (::geteuid() != 0) return true;
  User found;
  const char *pkexec = std::getenv("PKEXEC_UID"), *sudo = std::getenv("SUDO_UID");
  if (pkexec || sudo) {
    found.from = pkexec ? "PKEXEC_UID" : "SUDO_UID";
    const char *text = pkexec ? pkexec : sudo;
    uint32_t uid = 0, gid = 0;
    if (!ParseId(text, &uid)) {
      *why = found.from + " is \"" + text + "\", not a user id";
      return false;
    }
    if (uid == 0) return true;
    found.uid = uid;
    // sudo and pkexec name a user they found in the database: one without an entry is not theirs to name.
    if (!LookUp(uid, &found)) {
      *why = found.from + " names user " + std::to_string(uid) + ", who has no entry in the user database";
      return false;
    }
    const char *sudoGid = pkexec ? nullptr : std::getenv("SUDO_GID");  // sudo's group, which pkexec has not
    if (sudoGid && !ParseId(sudoGid, &gid)) {
      *why = std::string("SUDO_GID is \"") + sudoGid + "\", not a group id";
      return false;
    }
    if (sudoGid) found.gid = gid;
  } else if (::getuid() != 0) {
    // Started set-user-ID root: the real user is the one it works for.
    found.from = "the real user id";
    found.uid = ::getuid();
    LookUp(found.uid, &found);
    found.gid = ::getgid();
  } else {
    return true;
  }
  *user = found;
  return true;
}

bool BecomeUser(const User &user, std::string *why) {
  const std::vector<gid_t> groups = GroupsOf(user);
  // Each step in turn, the first that fails said: the process's memory and descriptors hold what root
  // opened, so no other process of the user may trace it or reach them through /proc (the kernel makes it so
  // when the ids change; this says it); leaving root clears the effective and permitted capabilities, and
  // the inheritable ones are cleared too.
  const auto step = [why](bool done, const char *what) {
    if (!done) *why = Failed(what);
    return done;
  };
  if (!step(::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0, "PR_SET_DUMPABLE") ||
      !step(::prctl(PR_SET_KEEPCAPS, 0, 0, 0, 0) == 0, "PR_SET_KEEPCAPS") || !DropBoundingSet(why) ||
      !step(::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) == 0 || errno == EINVAL,
            "clearing the ambient capabilities") ||
      !step(::setgroups(groups.size(), groups.data()) == 0, "setgroups") ||
      !step(::setresgid(user.gid, user.gid, user.gid) == 0, "setresgid") ||
      !step(::setresuid(user.uid, user.uid, user.uid) == 0, "setresuid") || !step(ClearCapabilities(), "capset") ||
      !step(::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0, "PR_SET_NO_NEW_PRIVS"))
    return false;
  if (!Verify(user, groups, why)) return false;

  // What the user's own programs look at: the user's home (X's cookie, fonts), and a runtime folder only
  // when it is the user's.
  if (!user.name.empty()) {
    ::setenv("HOME", user.home.c_str(), 1);
    ::setenv("USER", user.name.c_str(), 1);
    ::setenv("LOGNAME", user.name.c_str(), 1);
  }
  if (const char *runtime = std::getenv("XDG_RUNTIME_DIR")) {
    struct stat st;
    if (::lstat(runtime, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != user.uid) ::unsetenv("XDG_RUNTIME_DIR");
  }
  return true;
}

}  // namespace kvhost
