// Where the service database lives, and opening it only when no other user can have written it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "host/opener.h"
#include "kvplat/diag.h"
#include "scm_store.h"
#include "scm_temporaries.h"

namespace kvplat {

namespace {

// Whether this process may use the folder with `access` (R_OK, W_OK, X_OK): root may, and so may its owner
// by the owner's bits. Others are never let in: a trusted folder belongs to this process's user or root and
// no other user may write it.
bool MayUse(const struct stat &st, int access) {
  if (::geteuid() == 0) return true;
  if (st.st_uid != ::geteuid()) return false;
  return (!(access & R_OK) || (st.st_mode & S_IRUSR)) && (!(access & W_OK) || (st.st_mode & S_IWUSR)) &&
         (!(access & X_OK) || (st.st_mode & S_IXUSR));
}

// Opens the folder through the host's one opener (made, mode 0700, when `create` and it is missing), when
// this process may reach it with `access`.
kvhost::UniqueFd OpenTrustedFolder(const std::string &path, bool create, int access, kvhost::OpenFailure *failure) {
  struct stat st;
  kvhost::UniqueFd fd = kvhost::OpenPath(path, create ? kvhost::OpenFor::kNewFolder : kvhost::OpenFor::kFolder,
                                         failure, &st);
  if (fd.valid() && !MayUse(st, access)) {
    failure->why = (access & W_OK) ? "this process may not write it" : "this process may not read it";
    return kvhost::UniqueFd();
  }
  return fd;
}

// The reason in a line that speaks of the folder: "it may be written by other users (mode 0777)".
std::string Reason(const kvhost::OpenFailure &failure) {
  constexpr std::string_view kFailedOpen = "cannot open: ";
  if (failure.why.starts_with(kFailedOpen)) return "it cannot be opened: " + failure.why.substr(kFailedOpen.size());
  return "it " + failure.why;
}

}  // namespace

std::string ScmFolder() {
  if (const char *folder = std::getenv("KELVORANT_SCM_DIR"); folder && folder[0]) {
    // Made absolute once, so that a manager handle keeps its database when the current directory changes.
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, ignored);
    return absolute.empty() ? std::string(folder) : absolute.string();
  }
  // Root's database is where only root can write, whatever its environment says (sudo and su leave
  // XDG_RUNTIME_DIR unset, or set to the user's own folder).
  if (::geteuid() == 0) return "/run/kelvorant-scm";
  if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0]) {
    return std::string(runtime) + "/kelvorant-scm";
  }
  return "/tmp/kelvorant-scm-" + std::to_string(::geteuid());
}

std::shared_ptr<const ScmDatabase> OpenScmDatabase(bool forChanges, DWORD *error) {
  auto database = std::make_shared<ScmDatabase>();
  database->path = ScmFolder();
  const std::string &path = database->path;
  std::string why;
  auto refuse = [&](const char *what) -> std::shared_ptr<const ScmDatabase> {
    Diag("the service database %s cannot be %s: %s", path.c_str(), what, why.c_str());
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  };

  kvhost::OpenFailure failure;
  if (forChanges) {
    database->folder = OpenTrustedFolder(path, true, R_OK | W_OK | X_OK, &failure);
    if (!database->folder.valid()) {
      why = Reason(failure);
      return refuse("opened for changes");
    }
    database->writable = true;
    RemoveEndedWritersTemporaries(database->folder.get(), path);
    return database;
  }

  database->folder = OpenTrustedFolder(path, false, R_OK | X_OK, &failure);
  if (!database->folder.valid()) {
    if (failure.error == ENOENT || failure.missingFolder) return database;  // reads as empty
    why = Reason(failure);
    return refuse("read");
  }
  struct stat st;
  database->writable = ::fstat(database->folder.get(), &st) == 0 && MayUse(st, R_OK | W_OK | X_OK);
  return database;
}

bool IsValidServiceName(const char *name) {
  if (name == nullptr || name[0] == '\0') return false;
  const std::string text = name;
  return text.size() <= 256 && text.find_first_of("\\/") == std::string::npos;
}

}  // namespace kvplat
