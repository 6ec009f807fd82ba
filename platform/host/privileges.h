// Root for what needs root, and nothing else. kelvorant is started as root on behalf of a user (sudo,
// pkexec); once the platform has opened what only root may open, the process becomes that user for good,
// as privilege-separated programs do (OpenSSH, ping, X servers): its supplementary groups, group and user
// ids (real, effective and saved), no capability in any set, no new privileges through exec, and a check
// that root cannot be had back.
#pragma once
#include <sys/types.h>

#include <optional>
#include <string>

namespace kvhost {

struct User {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string name;  // from the user database; empty when it has no entry
  std::string home;
  std::string from;  // what named the user, for messages: "SUDO_UID"
};

// The user that a process running as root works for: PKEXEC_UID (pkexec), else SUDO_UID with SUDO_GID
// (sudo), else the real user of a set-user-ID start. Nothing for a process that is not root, or that is
// root for root (a root login, SUDO_UID=0). False with the reason when a variable is malformed or names a
// user it cannot become.
bool UserToBecome(std::optional<User> *user, std::string *why);

// Becomes `user` irrevocably. False with the reason when any step fails or root could be had back; the
// process must then end.
bool BecomeUser(const User &user, std::string *why);

// Parses a user or group id as sudo and pkexec write it: decimal digits only, below (uid_t)-1.
bool ParseId(const char *text, uint32_t *id);

}  // namespace kvhost
