// Opening the files a run writes.
#include "host_files.h"
#include "opener.h"

namespace kvhost {

UniqueFd OpenOutput(const std::string &path, bool append, std::string *why, struct stat *st) {
  OpenFailure failure;
  UniqueFd fd = OpenPath(path, append ? OpenFor::kAppend : OpenFor::kOutput, &failure, st);
  if (!fd.valid()) *why = failure.why;
  return fd;
}

}  // namespace kvhost
