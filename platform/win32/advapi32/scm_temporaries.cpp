#include "scm_temporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "kvplat/diag.h"
#include "process_identity.h"

namespace kvplat {

namespace {

constexpr std::string_view kMark = ".service.tmp";

bool ParseNumber(std::string_view text, uint64_t *value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The writer that a temporary's name records; nothing when the name is not a temporary's. A name without a
// start time gives 0.
std::optional<ProcessIdentity> WriterOf(std::string_view name) {
  const size_t mark = name.rfind(kMark);
  if (mark == std::string_view::npos) return std::nullopt;
  std::string_view rest = name.substr(mark + kMark.size());
  const size_t dash = rest.find('-');
  uint64_t pid = 0, startTime = 0;
  if (!ParseNumber(rest.substr(0, dash), &pid) || pid > INT32_MAX) return std::nullopt;
  if (dash != std::string_view::npos && !ParseNumber(rest.substr(dash + 1), &startTime)) return std::nullopt;
  return ProcessIdentity{static_cast<int>(pid), startTime};
}

bool StillWrites(const ProcessIdentity &writer) {
  // A name without a start time cannot tell a reused pid from its writer: it waits while the pid is alive.
  return writer.startTime == 0 ? ProcessStartTime(writer.pid) != 0 : IsProcessRunning(writer);
}

}  // namespace

std::string TemporaryRecordName(const std::string &recordFile) {
  const ProcessIdentity self = CurrentProcessIdentity();
  return recordFile + ".tmp" + std::to_string(self.pid) + "-" + std::to_string(self.startTime);
}

void RemoveEndedWritersTemporaries(int folder, const std::string &path) {
  // A descriptor of its own for the listing: closedir closes it.
  const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR *dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
  if (!dir) {
    if (listing >= 0) ::close(listing);
    Diag("the service database %s cannot be listed for the temporary files of ended writers: %s", path.c_str(),
         std::strerror(errno));
    return;
  }
  while (const dirent *entry = ::readdir(dir)) {
    const std::optional<ProcessIdentity> writer = WriterOf(entry->d_name);
    if (!writer || StillWrites(*writer)) continue;
    if (::unlinkat(folder, entry->d_name, 0) != 0 && errno != ENOENT) {
      Diag("the service database %s keeps %s, the temporary file of a writer that has ended: %s", path.c_str(),
           entry->d_name, std::strerror(errno));
    }
  }
  ::closedir(dir);
}

}  // namespace kvplat
