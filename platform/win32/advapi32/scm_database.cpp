// Where the service database lives, and opening it only when no other user can have written it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "kvplat/diag.h"
#include "scm_store.h"
#include "scm_temporaries.h"

namespace kvplat {

namespace {

// Opens the folder at `path` once it and the folders above it have passed the trust test and this process
// may reach it with `access` (R_OK, W_OK, X_OK).
kvhost::UniqueFd OpenTrustedFolder(const std::string &path, int access, std::string *why) {
  if (!kvhost::IsTrustedFolder(path, false, why)) return kvhost::UniqueFd();
  if (::faccessat(AT_FDCWD, path.c_str(), access, AT_EACCESS) != 0) {
    *why = (access & W_OK) ? "this process may not write it" : "this process may not read it";
    return kvhost::UniqueFd();
  }
  char *resolved = ::realpath(path.c_str(), nullptr);
  const std::string target = resolved ? resolved : path;
  std::free(resolved);
  // O_NOFOLLOW: the resolved path has no link left, unless one was put there since; then this fails. The
  // folder opened is checked once more, in case it was replaced after the test.
  kvhost::UniqueFd fd(::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
    *why = std::string("it cannot be opened: ") + std::strerror(errno);
    return kvhost::UniqueFd();
  }
  if ((st.st_uid != ::geteuid() && st.st_uid != 0) || (st.st_mode & (S_IWGRP | S_IWOTH))) {
    *why = "it was replaced while it was opened";
    return kvhost::UniqueFd();
  }
  return fd;
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

  if (forChanges) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
      why = std::string("it cannot be created: ") + std::strerror(errno);
      return refuse("opened for changes");
    }
    database->folder = OpenTrustedFolder(path, R_OK | W_OK | X_OK, &why);
    if (!database->folder.valid()) return refuse("opened for changes");
    database->writable = true;
    RemoveEndedWritersTemporaries(database->folder.get(), path);
    return database;
  }

  struct stat st;
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return database;  // reads as empty
  database->folder = OpenTrustedFolder(path, R_OK | X_OK, &why);
  if (!database->folder.valid()) return refuse("read");
  database->writable = ::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK | X_OK, AT_EACCESS) == 0;
  return database;
}

bool IsValidServiceName(const char *name) {
  if (name == nullptr || name[0] == '\0') return false;
  const std::string text = name;
  return text.size() <= 256 && text.find_first_of("\\/") == std::string::npos;
}

}  // namespace kvplat
